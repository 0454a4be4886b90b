#include "tests/support/message_boxes.h"

namespace olvani_test {

MessageBoxRecorder::MessageBoxRecorder(
    std::function<int(const olvani::MessageBoxRequest&)> answer) {
    previous_ = olvani::SetMessageBoxHandler(
        [this, answer = std::move(answer)](const olvani::MessageBoxRequest& box) {
            texts.push_back(box.text);
            captions.push_back(box.caption);
            types.push_back(box.type);
            return answer ? answer(box) : IDOK;
        });
}

MessageBoxRecorder::~MessageBoxRecorder() {
    olvani::SetMessageBoxHandler(std::move(previous_));
}

std::vector<std::string> MessageBoxRecorder::CaptionsAndTexts() const {
    std::vector<std::string> boxes;
    for (size_t i = 0; i < texts.size(); ++i)
        boxes.push_back(captions[i] + "|" + texts[i]);
    return boxes;
}

void MessageBoxRecorder::Clear() {
    texts.clear();
    captions.clear();
    types.clear();
}

} // namespace olvani_test
