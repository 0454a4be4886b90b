// A private D-Bus bus of the test's own, and on it a small stand-in of
// systemd's manager: units with scripted states, the calls it received and
// how often each unit's state was read.
#pragma once

#include <atomic>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <sys/types.h>
#include <thread>
#include <vector>

struct sd_bus;

namespace olvani::testing {

struct StandInUnit {
    std::string loadState = "loaded";
    std::string activeState = "inactive";
    std::string afterStart = "active"; // the state a start request leads to
    std::string afterStop = "inactive";
    bool requestHoldsJob = false; // a request leaves a job behind
    // When > 0: after this many more state reads the job ends in `settled`.
    int settleAfterReads = 0;
    std::string settled;
    uint64_t timeoutUsec = 0; // start and stop time-out, the wait hint
    int32_t exitStatus = 0;

    // Kept by the stand-in.
    bool jobHeld = false;
    int readsLeft = 0;
    int stateReads = 0;
};

class ServiceManagerStandIn {
public:
    // Starts the bus in `folder` and serves the manager on it.
    explicit ServiceManagerStandIn(const std::string& folder);
    ~ServiceManagerStandIn();

    const std::string& Address() const { return address_; }
    void AddUnit(const std::string& name, const StandInUnit& unit);
    int StateReads(const std::string& name);
    std::string ActiveState(const std::string& name);
    // "Method unit" for every call received, in order.
    std::vector<std::string> Calls();

    // For the bus callbacks.
    StandInUnit* Find(const std::string& name);
    void Record(const std::string& call);
    std::mutex lock;

private:
    void Serve();

    pid_t daemon_ = -1;
    std::string address_;
    sd_bus* bus_ = nullptr;
    std::atomic<bool> stop_{false};
    std::thread thread_;
    std::map<std::string, StandInUnit> units_;
    std::vector<std::string> calls_;
};

} // namespace olvani::testing
