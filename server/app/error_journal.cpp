#include "server/app/error_journal.h"

#include <string>
#include <syslog.h>
#include <systemd/sd-journal.h>
#include <unistd.h>

namespace korrind {
namespace {

constexpr size_t kBurst = 20;
constexpr auto kWindow = std::chrono::seconds(30);

void Send(int priority, const std::string& text) {
    // Checked each time: journald may start after us, and errors are rare.
    if (::access("/run/systemd/journal/socket", W_OK) == 0 &&
        sd_journal_send("MESSAGE=%s", text.c_str(), "PRIORITY=%d", priority,
                        "SYSLOG_IDENTIFIER=korrind", nullptr) >= 0)
        return;
    ::openlog("korrind", LOG_PID, LOG_DAEMON);
    ::syslog(priority, "%s", text.c_str());
}

} // namespace

bool RateLimit::Admit(Clock::time_point now, size_t& heldBack) {
    heldBack = 0;
    if (start_ == Clock::time_point{})
        start_ = now;
    if (now - start_ >= window_) {
        heldBack = held_;
        held_ = 0;
        sent_ = 0;
        start_ = now;
    }
    if (sent_ >= burst_) {
        ++held_;
        return false;
    }
    ++sent_;
    return true;
}

void JournalErrorLine(std::string_view line) {
    if (!line.starts_with("Error:"))
        return;
    static RateLimit limit(kBurst, kWindow);
    size_t heldBack = 0;
    bool admitted = limit.Admit(RateLimit::Clock::now(), heldBack);
    if (heldBack != 0)
        Send(LOG_WARNING,
             std::to_string(heldBack) + " error lines were not sent to the journal (too many)");
    if (admitted)
        Send(LOG_ERR, std::string(line));
}

} // namespace korrind
