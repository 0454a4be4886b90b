#include "messagebox.h"

#include "platform/strings.h"

#include <mutex>
#include <syslog.h>
#include <unistd.h>

namespace olvani {
namespace {

std::mutex handlerMutex;
MessageBoxHandler& Handler() {
    static MessageBoxHandler handler;
    return handler;
}

} // namespace

MessageBoxHandler SetMessageBoxHandler(MessageBoxHandler handler) {
    std::lock_guard lock(handlerMutex);
    MessageBoxHandler previous = std::move(Handler());
    Handler() = std::move(handler);
    return previous;
}

int DefaultMessageBoxAnswer(UINT type) {
    bool second = (type & 0xF00) == MB_DEFBUTTON2;
    switch (type & 0xF) {
    case MB_OKCANCEL:
        return second ? IDCANCEL : IDOK;
    case MB_YESNO:
    case MB_YESNOCANCEL:
        return second ? IDNO : IDYES;
    default:
        return IDOK;
    }
}

int HeadlessMessageBox(const MessageBoxRequest& request) {
    std::string line =
        request.caption.empty() ? request.text : request.caption + ": " + request.text;
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r'))
        line.pop_back();
    ::syslog((request.type & 0xF0) == MB_ICONERROR ? LOG_ERR : LOG_NOTICE, "%s", line.c_str());
    line.push_back('\n');
    ssize_t ignored = ::write(STDERR_FILENO, line.data(), line.size());
    (void)ignored;
    return DefaultMessageBoxAnswer(request.type);
}

} // namespace olvani

int MessageBox(const std::string& text, const std::string& caption, UINT type) {
    olvani::MessageBoxHandler handler;
    {
        std::lock_guard lock(olvani::handlerMutex);
        handler = olvani::Handler();
    }
    olvani::MessageBoxRequest request{text, caption, type};
    return handler ? handler(request) : olvani::HeadlessMessageBox(request);
}

int MessageBoxW(const char16_t* text, const char16_t* caption, UINT type) {
    auto view = [](const char16_t* s) {
        return s ? std::u16string_view(s) : std::u16string_view();
    };
    return MessageBox(olvani::Utf16ToUtf8(view(text)), olvani::Utf16ToUtf8(view(caption)), type);
}
