#include "server/app/request_history.h"

#include <algorithm>
#include <ctime>

namespace korrind {
namespace {

// The text after `prefix` when the line starts with it.
bool After(std::string_view line, std::string_view prefix, std::string_view& rest) {
    if (!line.starts_with(prefix))
        return false;
    rest = line.substr(prefix.size());
    return true;
}

} // namespace

void RequestHistory::Observe(std::string_view line, Clock::time_point now) {
    std::string_view rest;
    if (line == "Status: BOOTP Request received at outer most layer") {
        current_ = RequestRecord{};
        current_.time = now;
        inRequest_ = true;
        return;
    }
    if (!inRequest_)
        return;
    if (line == "Status: BOOTP Request finished processing at outer most layer") {
        Finish();
    } else if (After(line, "Status: BOOTP Request received from hardware address: ", rest)) {
        current_.hardwareAddress = rest;
    } else if (After(line, "Status: request from IP addr: ", rest)) {
        current_.clientAddress = rest;
    } else if (After(line, "Error:  Hardware address not found in BOOTPTAB: ", rest)) {
        current_.unknown = true;
    } else if (After(line, "Status: found ", rest)) {
        current_.answeredAddress = rest.substr(0, rest.find(' '));
    } else if (After(line, "Status: BOOTP Server responding with file: ", rest)) {
        current_.file = rest;
    } else if (line == "Status: Reply to BOOTP Request has been sent") {
        current_.answered = true;
    }
}

void RequestHistory::Finish() {
    inRequest_ = false;
    // A notification that found no datagram, or one too short to read, names
    // no client: nothing to list.
    if (current_.hardwareAddress.empty() && current_.clientAddress.empty())
        return;
    if (!current_.answered)
        current_.answeredAddress.clear();
    ++(current_.answered ? answered_ : refused_);
    if (current_.unknown) {
        unknownSeen_[current_.hardwareAddress] = current_.time;
        if (unknownSeen_.size() > kUnknownKept) {
            auto oldest =
                std::min_element(unknownSeen_.begin(), unknownSeen_.end(),
                                 [](const auto& a, const auto& b) { return a.second < b.second; });
            unknownSeen_.erase(oldest);
        }
    }
    records_.push_back(std::move(current_));
    if (records_.size() > kCapacity)
        records_.pop_front();
    if (onRecord)
        onRecord(records_.back());
}

RequestHistory::Clock::time_point
RequestHistory::LastSeenUnknown(const std::string& hardwareAddress) const {
    auto found = unknownSeen_.find(hardwareAddress);
    return found == unknownSeen_.end() ? Clock::time_point{} : found->second;
}

std::string LocalTimeText(std::chrono::system_clock::time_point time) {
    std::time_t seconds = std::chrono::system_clock::to_time_t(time);
    std::tm local{};
    localtime_r(&seconds, &local);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
    return text;
}

} // namespace korrind
