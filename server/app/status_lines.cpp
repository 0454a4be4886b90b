#include "status_lines.h"

namespace korrind {

int StatusLines::Add(std::string text, int lineAdvance) {
    lines_.push_back(std::move(text));
    return Advance(lineAdvance);
}

void StatusLines::Clear() {
    lines_.clear();
    Restart();
}

void StatusLines::Restart() {
    leftMargin_ = kLeftMargin;
    nextY_ = 0;
}

int StatusLines::Advance(int lineAdvance) {
    nextY_ += lineAdvance;
    return nextY_;
}

} // namespace korrind
