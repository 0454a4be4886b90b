// The service control manager on this platform: systemd's manager reached
// over D-Bus. One connection per operation; every failure leaves errno set.
#pragma once

#include "platform/wintypes.h"

#include <string>

struct sd_bus;

namespace dravik {

// Service states as the exports hand them out.
enum ServiceState : DWORD {
    kServiceStopped = 1,
    kServiceStartPending = 2,
    kServiceStopPending = 3,
    kServiceRunning = 4,
};

// What one status query learns about a unit.
struct ServiceStatus {
    DWORD state = kServiceStopped;
    bool jobHeld = false;      // systemd is still working on a start or stop
    DWORD startWaitHintMs = 0; // the unit's start time-out
    DWORD stopWaitHintMs = 0;  // the unit's stop time-out
    LONG exitCode = 0;         // the main process's exit status
    LONG specificExitCode = 0; // how it ended (exited, killed, dumped core)
};

// systemd's active state as a service state: inactive or failed is stopped.
DWORD ServiceStateFromActiveState(const std::string& activeState);

class ServiceManager {
public:
    ServiceManager() = default;
    ~ServiceManager();
    ServiceManager(const ServiceManager&) = delete;
    ServiceManager& operator=(const ServiceManager&) = delete;

    // The system bus, or the bus OLVANI_SERVICE_BUS names (ignored in
    // secure-execution mode). False with errno set when it cannot be reached.
    bool Connect();

    // Resolves a service name to a loaded unit; ENOENT for an unknown unit,
    // EINVAL for a name that is no unit name.
    bool OpenService(const char16_t* service);
    const std::string& UnitName() const { return unit_; }

    bool Query(ServiceStatus& status);
    bool Start();
    bool Stop();
    // Windows start types: 0, 1, 2 enable, 3 disable, 4 disable and mask.
    bool SetStartType(DWORD startType);
    // Makes the unit run as `user` through a drop-in, then reloads.
    bool SetUser(const std::string& user);
    // Reloads the manager's configuration so changed unit files count.
    bool Reload();

private:
    bool CallManager(std::string* objectPath, const char* method, const char* types, ...);
    bool ReadString(const char* interface, const char* property, std::string& value);
    bool ChangeUnitFiles(const char* method, bool withRuntimeAndForce);

    sd_bus* bus_ = nullptr;
    std::string unit_;
    std::string path_;
};

} // namespace dravik
