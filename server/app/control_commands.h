// What korrind-ctl asks of the running server, one JSON object per line:
// {"command":"status"}, {"command":"add","entry":{...}} and so on; the
// answer is one JSON object with "ok" and, on refusal, "message" (the text
// the dialogs would show). Changes go through the dialogs' checks and the
// document's writer.
#pragma once

#include <functional>
#include <string>

class CKorrindDoc;

namespace korrind {

class RequestHistory;

struct ControlContext {
    CKorrindDoc* doc = nullptr;
    const RequestHistory* history = nullptr;
    // Shows and raises the main window.
    std::function<void()> show;
    // A dialog on the desktop is editing the working list: a change from
    // the socket would write the operator's pending edits with it.
    std::function<bool()> busy;
};

std::string AnswerControlRequest(const std::string& line, const ControlContext& context);

inline constexpr const char* kControlBusy =
    "A dialog of the server is open on its desktop; close it and try again.";
inline constexpr const char* kInvalidComment = "Invalid comment specification";

} // namespace korrind
