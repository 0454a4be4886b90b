// The status view's lines and where each one is drawn, apart from the widget
// so the layout can be checked without a window.
#pragma once

#include <string>
#include <vector>

namespace korrind {

class StatusLines {
public:
    static constexpr int kLeftMargin = 5;

    // Stores a line and returns the y of its top edge: every line, the first
    // included, moves down by one line advance before it is drawn.
    int Add(std::string text, int lineAdvance);
    // Forgets every line; the next one goes one advance below the top again.
    void Clear();
    // Restarts the running position for a full redraw; Advance then yields
    // the y of each stored line in turn.
    void Restart();
    int Advance(int lineAdvance);

    const std::vector<std::string>& Lines() const { return lines_; }
    int LeftMargin() const { return leftMargin_; }
    int NextY() const { return nextY_; }

private:
    int leftMargin_ = kLeftMargin;
    int nextY_ = 0;
    std::vector<std::string> lines_;
};

} // namespace korrind
