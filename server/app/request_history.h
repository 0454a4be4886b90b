// The latest requests and what became of them, for the history beside the
// status view and for korrind-ctl. It follows the engine's status lines,
// the one path by which the engine reports what it does: a request begins
// with the "received at outer most layer" line and ends with the
// "finished processing" line.
#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <string>
#include <string_view>

namespace korrind {

struct RequestRecord {
    std::chrono::system_clock::time_point time;
    std::string hardwareAddress; // empty when the client asked by its IP address
    std::string clientAddress;   // the IP address a client gave, else empty
    std::string answeredAddress; // the address the reply carried; empty: none
    std::string file;            // the boot file the reply named
    bool unknown = false;        // the hardware address is not in the table
    bool answered = false;       // a reply was sent
};

class RequestHistory {
public:
    using Clock = std::chrono::system_clock;
    static constexpr size_t kCapacity = 500;
    static constexpr size_t kUnknownKept = 256;

    void Observe(std::string_view line, Clock::time_point now);

    // Oldest first, at most kCapacity.
    const std::deque<RequestRecord>& Records() const { return records_; }
    uint64_t Answered() const { return answered_; }
    uint64_t Refused() const { return refused_; }
    // When an unknown hardware address last asked; the epoch when never.
    Clock::time_point LastSeenUnknown(const std::string& hardwareAddress) const;

    // Called for every finished request (the desktop's history list).
    std::function<void(const RequestRecord&)> onRecord;

private:
    void Finish();

    std::deque<RequestRecord> records_;
    RequestRecord current_;
    bool inRequest_ = false;
    uint64_t answered_ = 0;
    uint64_t refused_ = 0;
    std::map<std::string, Clock::time_point> unknownSeen_;
};

// "YYYY-MM-DD HH:MM:SS" in local time.
std::string LocalTimeText(std::chrono::system_clock::time_point time);

} // namespace korrind
