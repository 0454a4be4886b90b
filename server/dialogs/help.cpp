#include "server/dialogs/help.h"

#include "platform/messagebox.h"
#include "server/core/korrind_doc.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QFileInfo>
#include <QStringList>

namespace korrind {
namespace {

HelpOpener& Opener() {
    static HelpOpener opener;
    return opener;
}

constexpr const char* kHelpFileName = "korrind.html";

} // namespace

QString HelpFilePath() {
    QStringList candidates;
    QString resources = qEnvironmentVariable("OLVANI_RESOURCE_DIR");
    if (!resources.isEmpty()) {
        candidates << resources + QStringLiteral("/korrind/en/") + kHelpFileName
                   << resources + QStringLiteral("/korrind/") + kHelpFileName;
    }
    candidates << QStringLiteral(KORRIND_HELP_INSTALL_DIR "/") + kHelpFileName;
    if (QCoreApplication::instance())
        candidates << QCoreApplication::applicationDirPath() + '/' + kHelpFileName;
    candidates << QStringLiteral(KORRIND_HELP_SOURCE_DIR "/") + kHelpFileName;
    for (const QString& candidate : candidates)
        if (QFileInfo(candidate).isFile())
            return QFileInfo(candidate).absoluteFilePath();
    return QString();
}

QUrl HelpUrl(const QString& path, int contextId) {
    QUrl url = QUrl::fromLocalFile(path);
    if (contextId != kHelpContents)
        url.setFragment(QString::number(contextId));
    return url;
}

void OpenHelp(int contextId) {
    QString path = HelpFilePath();
    if (path.isEmpty()) {
        MessageBox("The help file korrind.html was not found.", kKorrindTitle,
                   MB_OK | MB_ICONEXCLAMATION);
        return;
    }
    QUrl url = HelpUrl(path, contextId);
    bool shown = Opener() ? Opener()(url) : QDesktopServices::openUrl(url);
    if (!shown)
        MessageBox("No browser could show the help file " + path.toStdString() + ".", kKorrindTitle,
                   MB_OK | MB_ICONEXCLAMATION);
}

HelpOpener SetHelpOpener(HelpOpener opener) {
    HelpOpener previous = std::move(Opener());
    Opener() = std::move(opener);
    return previous;
}

} // namespace korrind
