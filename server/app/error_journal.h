// Every "Error:" status line also goes to the system journal (or, where no
// journal runs, the system log), whatever the log-file setting: that is
// where the operator of a headless server looks. A flood of failing
// requests is cut down to a steady trickle, and the journal is told how
// many lines it missed.
#pragma once

#include <chrono>
#include <cstddef>
#include <string>
#include <string_view>

namespace korrind {

// At most `burst` lines per `window`; what is held back is counted.
class RateLimit {
public:
    using Clock = std::chrono::steady_clock;
    RateLimit(size_t burst, Clock::duration window) : burst_(burst), window_(window) {}

    // Whether a line at `now` may go out. When a new window starts, the
    // number held back in the previous ones is handed out once through
    // `heldBack`.
    bool Admit(Clock::time_point now, size_t& heldBack);

private:
    size_t burst_;
    Clock::duration window_;
    Clock::time_point start_{};
    size_t sent_ = 0;
    size_t held_ = 0;
};

// Sends `line` when it is an "Error:" line; other lines are ignored.
void JournalErrorLine(std::string_view line);

} // namespace korrind
