#include "editor/resource_ui.h"

#include "platform/messagebox.h"
#include "platform/resources.h"
#include "server/dialogs/ip_address_edit.h"

#include <QDesktopServices>
#include <QDialog>
#include <QFile>
#include <QUiLoader>
#include <QUrl>

#include <cstdio>

namespace tesslin {
namespace {

HINSTANCE g_resources = nullptr;

HelpOpener& Opener() {
    static HelpOpener opener;
    return opener;
}

// Qt's loader knows the standard widgets; the IP address control is ours.
class DialogLoader : public QUiLoader {
public:
    QWidget* createWidget(const QString& className, QWidget* parent, const QString& name) override {
        if (className == QLatin1String("IpAddressEdit")) {
            auto* control = new IpAddressEdit(parent);
            control->setObjectName(name);
            return control;
        }
        return QUiLoader::createWidget(className, parent, name);
    }
};

// True when `format` holds exactly one conversion and it takes an integer.
bool IsOneIntegerFormat(const QByteArray& format) {
    int conversions = 0;
    for (qsizetype i = 0; i < format.size(); ++i) {
        if (format[i] != '%')
            continue;
        if (i + 1 < format.size() && format[i + 1] == '%') {
            ++i;
            continue;
        }
        qsizetype at = i + 1;
        while (at < format.size() && QByteArray("-+ #0123456789").contains(format[at]))
            ++at;
        if (at >= format.size() || !QByteArray("diuxX").contains(format[at]))
            return false;
        ++conversions;
        i = at;
    }
    return conversions == 1;
}

} // namespace

void SetResourceModule(HINSTANCE module) {
    g_resources = module;
}

HINSTANCE ResourceModule() {
    return g_resources;
}

QString ResourceString(UINT id) {
    char16_t buffer[1024];
    int length = LoadStringW(g_resources, id, buffer, 1024);
    return QString::fromUtf16(buffer, length);
}

QString ResourceFormat(UINT id, long long argument) {
    QString text = ResourceString(id);
    QByteArray format = text.toUtf8();
    if (!IsOneIntegerFormat(format))
        return text + QStringLiteral(" (%1)").arg(argument);
    // Widen the conversion to the argument's size.
    qsizetype at = format.indexOf('%');
    while (format[at + 1] == '%')
        at = format.indexOf('%', at + 2);
    qsizetype letter = at + 1;
    while (!QByteArray("diuxX").contains(format[letter]))
        ++letter;
    format.insert(letter, "ll");
    int size = std::snprintf(nullptr, 0, format.constData(), argument);
    QByteArray out(size + 1, '\0');
    std::snprintf(out.data(), out.size(), format.constData(), argument);
    return QString::fromUtf8(out.constData(), size);
}

QDialog* LoadDialog(int id, QWidget* parent) {
    QString folder = QString::fromStdString(olvani::ResourceFolder(g_resources));
    QFile layout(folder + QStringLiteral("/%1.ui").arg(id));
    if (folder.isEmpty() || !layout.open(QIODevice::ReadOnly))
        return nullptr;
    DialogLoader loader;
    QWidget* widget = loader.load(&layout, parent);
    auto* dialog = qobject_cast<QDialog*>(widget);
    if (!dialog)
        delete widget;
    return dialog;
}

int ShowMessage(const QString& text, const QString& caption, UINT type) {
    return MessageBox(text.toStdString(), caption.toStdString(), type);
}

// The help file of the program's resources; where the program's own file
// name names no resources (a test program), the loaded resource module's.
QString HelpFile() {
    BSTR helpFile = nullptr;
    BSTR second = nullptr;
    QString path;
    if (ASGetHelpFile(OlvaniThisModule(), 0, &helpFile, &second) >= 0 && helpFile)
        path = QString::fromUtf16(helpFile, SysStringLen(helpFile));
    SysFreeString(helpFile);
    SysFreeString(second);
    if (path.isEmpty() && g_resources) {
        QString folder = QString::fromStdString(olvani::ResourceFolder(g_resources));
        if (QFile::exists(folder + QStringLiteral("/tesslin.html")))
            path = folder + QStringLiteral("/tesslin.html");
    }
    return path;
}

void OpenHelpTopic() {
    QString path = HelpFile();
    if (path.isEmpty())
        return;
    QUrl url = QUrl::fromLocalFile(path);
    url.setFragment(QString::number(kHelpTopic));
    if (Opener())
        Opener()(url);
    else
        QDesktopServices::openUrl(url);
}

HelpOpener SetHelpOpener(HelpOpener opener) {
    HelpOpener previous = std::move(Opener());
    Opener() = std::move(opener);
    return previous;
}

} // namespace tesslin
