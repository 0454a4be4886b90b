// The editor's texts, dialog layouts and help, all taken from its resource
// module: strings by number, dialogs by number (a layout file "<id>.ui"
// whose controls carry their control ids as object names), and the help
// file opened at its one topic.
#pragma once

#include "platform/wintypes.h"

#include <QString>
#include <QWidget>

#include <functional>

class QDialog;
class QUrl;

namespace tesslin {

// The resource module every text and dialog comes from.
void SetResourceModule(HINSTANCE module);
HINSTANCE ResourceModule();

// String `id` of the resource module; empty when it has none.
QString ResourceString(UINT id);
// String `id` used as a format with one integer argument. A text whose
// conversions are not one integer conversion is shown with the number after it.
QString ResourceFormat(UINT id, long long argument);

// Dialog `id` from its layout, or nullptr when the module has no such layout.
QDialog* LoadDialog(int id, QWidget* parent);

// The child control with the given control id, or nullptr.
template <class Control> Control* FindControl(QWidget* dialog, int id) {
    return dialog ? dialog->findChild<Control*>(QString::number(id)) : nullptr;
}

// A message box owned by the active window (see platform/messagebox.h).
int ShowMessage(const QString& text, const QString& caption, UINT type);

// Opens the help file at the program's topic; does nothing when the
// resource module has no help file.
void OpenHelpTopic();
// Test seam: what opens the help URL (default: the desktop's browser).
using HelpOpener = std::function<bool(const QUrl&)>;
HelpOpener SetHelpOpener(HelpOpener opener);

// The context id of the program's help topic.
constexpr int kHelpTopic = 40001;

} // namespace tesslin
