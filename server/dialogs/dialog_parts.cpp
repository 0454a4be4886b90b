#include "server/dialogs/dialog_parts.h"

#include "server/dialogs/help.h"

#include <QDialog>
#include <QFontMetrics>
#include <QPushButton>
#include <QShortcut>
#include <QSize>
#include <QVBoxLayout>

namespace korrind {

QString ControlName(int id) {
    return QString::number(id);
}

QPushButton* MakeButton(QWidget* parent, int id, const QString& text) {
    auto* button = new QPushButton(text, parent);
    button->setObjectName(ControlName(id));
    return button;
}

QWidget* MakeOkCancelHelp(QDialog* dialog, const QString& helpText,
                          std::function<int()> helpContext) {
    auto* column = new QWidget(dialog);
    auto* layout = new QVBoxLayout(column);
    layout->setContentsMargins(0, 0, 0, 0);
    QPushButton* ok = MakeButton(column, kIdOk, QStringLiteral("OK"));
    QPushButton* cancel = MakeButton(column, kIdCancel, QStringLiteral("Cancel"));
    QPushButton* help = MakeButton(column, kIdHelp, helpText);
    ok->setDefault(true);
    layout->addWidget(ok);
    layout->addWidget(cancel);
    layout->addWidget(help);
    layout->addStretch();
    QObject::connect(ok, &QPushButton::clicked, dialog, &QDialog::accept);
    QObject::connect(cancel, &QPushButton::clicked, dialog, &QDialog::reject);
    auto showHelp = [helpContext] { OpenHelp(helpContext()); };
    QObject::connect(help, &QPushButton::clicked, dialog, showHelp);
    auto* f1 = new QShortcut(QKeySequence::HelpContents, dialog);
    QObject::connect(f1, &QShortcut::activated, dialog, showHelp);
    return column;
}

QSize DialogUnitsToPixels(const QWidget* dialog, int width, int height) {
    QFontMetrics metrics(dialog->font());
    // A dialog unit is a quarter of the average character width across and
    // an eighth of the character height down.
    int charWidth = metrics.averageCharWidth();
    int charHeight = metrics.height();
    return QSize(width * charWidth / 4, height * charHeight / 8);
}

} // namespace korrind
