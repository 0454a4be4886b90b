#include "server/app/desktop_messagebox.h"

#include "platform/messagebox.h"

#include <QApplication>
#include <QMessageBox>

namespace korrind {
namespace {

QMessageBox::Icon IconOf(UINT type) {
    switch (type & 0xF0) {
    case MB_ICONERROR:
        return QMessageBox::Critical;
    case MB_ICONQUESTION:
        return QMessageBox::Question;
    case MB_ICONWARNING:
        return QMessageBox::Warning;
    case MB_ICONINFORMATION:
        return QMessageBox::Information;
    default:
        return QMessageBox::NoIcon;
    }
}

int ShowMessageBox(const olvani::MessageBoxRequest& request) {
    QMessageBox box(IconOf(request.type), QString::fromUtf8(request.caption),
                    QString::fromUtf8(request.text).trimmed(), QMessageBox::NoButton,
                    QApplication::activeWindow());
    struct Choice {
        QMessageBox::StandardButton button;
        int answer;
    };
    std::vector<Choice> choices;
    switch (request.type & 0xF) {
    case MB_OKCANCEL:
        choices = {{QMessageBox::Ok, IDOK}, {QMessageBox::Cancel, IDCANCEL}};
        break;
    case MB_YESNOCANCEL:
        choices = {
            {QMessageBox::Yes, IDYES}, {QMessageBox::No, IDNO}, {QMessageBox::Cancel, IDCANCEL}};
        break;
    case MB_YESNO:
        choices = {{QMessageBox::Yes, IDYES}, {QMessageBox::No, IDNO}};
        break;
    default:
        choices = {{QMessageBox::Ok, IDOK}};
        break;
    }
    int defaultAnswer = olvani::DefaultMessageBoxAnswer(request.type);
    for (const Choice& choice : choices) {
        box.addButton(choice.button);
        if (choice.answer == defaultAnswer)
            box.setDefaultButton(choice.button);
    }
    auto pressed = static_cast<QMessageBox::StandardButton>(box.exec());
    for (const Choice& choice : choices) {
        if (choice.button == pressed)
            return choice.answer;
    }
    // Closed without a button: Cancel where there is one, else the default.
    for (const Choice& choice : choices) {
        if (choice.answer == IDCANCEL)
            return IDCANCEL;
    }
    return defaultAnswer;
}

} // namespace

bool IsHeadless() {
    QString platform = QGuiApplication::platformName();
    return platform == QLatin1String("offscreen") || platform == QLatin1String("minimal");
}

void InstallDesktopMessageBox() {
    olvani::SetMessageBoxHandler(ShowMessageBox);
}

} // namespace korrind
