// Records every message box shown while it lives, instead of showing it, and
// puts the previous handler back when it goes.
#pragma once

#include "platform/messagebox.h"

#include <functional>
#include <string>
#include <vector>

namespace olvani_test {

class MessageBoxRecorder {
public:
    // Answers every box with `answer(box)`; without one, with IDOK.
    explicit MessageBoxRecorder(std::function<int(const olvani::MessageBoxRequest&)> answer = {});
    ~MessageBoxRecorder();
    MessageBoxRecorder(const MessageBoxRecorder&) = delete;
    MessageBoxRecorder& operator=(const MessageBoxRecorder&) = delete;

    // One element per box, in the order shown.
    std::vector<std::string> texts;
    std::vector<std::string> captions;
    std::vector<UINT> types;

    // Each box as "caption|text".
    std::vector<std::string> CaptionsAndTexts() const;
    void Clear();

private:
    olvani::MessageBoxHandler previous_;
};

} // namespace olvani_test
