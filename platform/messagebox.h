// Message boxes. On a desktop the application installs a handler that shows
// a real dialog; with no display (a server under systemd) the text goes to
// standard error and the system log and the default answer comes back at
// once, so a headless server never blocks. Tests install a recorder.
#pragma once

#include "platform/wintypes.h"

#include <functional>
#include <string>

constexpr UINT MB_OK = 0x0;
constexpr UINT MB_OKCANCEL = 0x1;
constexpr UINT MB_YESNOCANCEL = 0x3;
constexpr UINT MB_YESNO = 0x4;
constexpr UINT MB_ICONERROR = 0x10;
constexpr UINT MB_ICONSTOP = 0x10;
constexpr UINT MB_ICONQUESTION = 0x20;
constexpr UINT MB_ICONWARNING = 0x30;
constexpr UINT MB_ICONEXCLAMATION = 0x30;
constexpr UINT MB_ICONINFORMATION = 0x40;
constexpr UINT MB_DEFBUTTON2 = 0x100;

constexpr int IDOK = 1;
constexpr int IDCANCEL = 2;
constexpr int IDYES = 6;
constexpr int IDNO = 7;

namespace olvani {

struct MessageBoxRequest {
    std::string text;    // UTF-8
    std::string caption; // UTF-8
    UINT type = MB_OK;
};

using MessageBoxHandler = std::function<int(const MessageBoxRequest&)>;

// Installs the handler every MessageBox call goes to; an empty handler
// restores the headless default. Returns the previous handler.
MessageBoxHandler SetMessageBoxHandler(MessageBoxHandler handler);

// The answer a box of this type gives when nobody can press a button: the
// default button (OK, Yes, or the second button with MB_DEFBUTTON2).
int DefaultMessageBoxAnswer(UINT type);

// The headless handler: standard error and the system log.
int HeadlessMessageBox(const MessageBoxRequest& request);

} // namespace olvani

int MessageBox(const std::string& text, const std::string& caption, UINT type = MB_OK);
int MessageBoxW(const char16_t* text, const char16_t* caption, UINT type = MB_OK);
