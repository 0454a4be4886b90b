// Small pieces every dialog of the server builds from.
#pragma once

#include <QString>

#include <functional>

class QDialog;
class QDialogButtonBox;
class QPushButton;
class QSize;
class QWidget;

namespace korrind {

// Control ids shared by the dialogs.
constexpr int kIdOk = 1;
constexpr int kIdCancel = 2;
constexpr int kIdHelp = 107;

// Object name of a control: its control id, so tests can find it.
QString ControlName(int id);

// A push button named by its control id.
QPushButton* MakeButton(QWidget* parent, int id, const QString& text);

// OK (the default button), Cancel and Help in a column, wired to the
// dialog; Help and F1 open the help at contextId.
QWidget* MakeOkCancelHelp(QDialog* dialog, const QString& helpText,
                          std::function<int()> helpContext);

// Pixel size of a dialog laid out in dialog units of the dialog's font.
QSize DialogUnitsToPixels(const QWidget* dialog, int width, int height);

} // namespace korrind
