#include "utils/service_bus.h"

#include "platform/strings.h"

#include <cerrno>
#include <cstdarg>
#include <cstdlib>
#include <systemd/sd-bus.h>

namespace dravik {
namespace {

constexpr const char* kDestination = "org.freedesktop.systemd1";
constexpr const char* kManagerPath = "/org/freedesktop/systemd1";
constexpr const char* kManager = "org.freedesktop.systemd1.Manager";
constexpr const char* kUnit = "org.freedesktop.systemd1.Unit";
constexpr const char* kService = "org.freedesktop.systemd1.Service";
constexpr size_t kLongestUnitName = 255;

// Unit names are a closed alphabet; anything else (a slash, a newline) is
// refused before it reaches the manager or a file name.
bool IsUnitName(const std::string& name) {
    if (name.empty() || name.size() > kLongestUnitName || name[0] == '.')
        return false;
    for (char c : name) {
        const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                           (c >= '0' && c <= '9') || c == ':' || c == '_' || c == '.' || c == '-' ||
                           c == '@' || c == '\\';
        if (!plain)
            return false;
    }
    return true;
}

// A call's failure as errno: the D-Bus error's own errno, else the call's.
bool Failed(int result, const sd_bus_error& error) {
    if (result >= 0)
        return false;
    const int mapped = sd_bus_error_get_errno(&error);
    errno = mapped > 0 ? mapped : -result;
    return true;
}

DWORD UsecToMs(uint64_t usec) {
    const uint64_t ms = usec / 1000;
    return ms > UINT32_MAX ? UINT32_MAX : static_cast<DWORD>(ms);
}

} // namespace

DWORD ServiceStateFromActiveState(const std::string& activeState) {
    if (activeState == "activating")
        return kServiceStartPending;
    if (activeState == "deactivating")
        return kServiceStopPending;
    if (activeState == "active" || activeState == "reloading")
        return kServiceRunning;
    return kServiceStopped;
}

ServiceManager::~ServiceManager() {
    sd_bus_flush_close_unref(bus_);
}

bool ServiceManager::Connect() {
    int result = 0;
    const char* address = secure_getenv("OLVANI_SERVICE_BUS");
    if (address && *address) {
        result = sd_bus_new(&bus_);
        if (result >= 0)
            result = sd_bus_set_address(bus_, address);
        if (result >= 0)
            result = sd_bus_set_bus_client(bus_, 1);
        if (result >= 0)
            result = sd_bus_start(bus_);
    } else {
        result = sd_bus_open_system(&bus_);
    }
    if (result < 0) {
        bus_ = sd_bus_flush_close_unref(bus_);
        errno = -result;
        return false;
    }
    return true;
}

bool ServiceManager::CallManager(std::string* objectPath, const char* method, const char* types,
                                 ...) {
    sd_bus_error error = SD_BUS_ERROR_NULL;
    sd_bus_message* reply = nullptr;
    va_list args;
    va_start(args, types);
    const int result = sd_bus_call_methodv(bus_, kDestination, kManagerPath, kManager, method,
                                           &error, &reply, types, args);
    va_end(args);
    const bool failed = Failed(result, error);
    const char* path = nullptr;
    if (!failed && objectPath && sd_bus_message_read(reply, "o", &path) > 0)
        *objectPath = path;
    sd_bus_message_unref(reply);
    sd_bus_error_free(&error);
    return !failed;
}

bool ServiceManager::ReadString(const char* interface, const char* property, std::string& value) {
    sd_bus_error error = SD_BUS_ERROR_NULL;
    char* text = nullptr;
    const int result = sd_bus_get_property_string(bus_, kDestination, path_.c_str(), interface,
                                                  property, &error, &text);
    const bool failed = Failed(result, error);
    sd_bus_error_free(&error);
    if (!failed)
        value = text;
    free(text);
    return !failed;
}

bool ServiceManager::OpenService(const char16_t* service) {
    unit_ = olvani::Utf16ToUtf8(service ? service : u"");
    if (unit_.find('.') == std::string::npos)
        unit_ += ".service";
    if (!IsUnitName(unit_)) {
        errno = EINVAL;
        return false;
    }
    std::string loadState;
    if (!CallManager(&path_, "LoadUnit", "s", unit_.c_str()) ||
        !ReadString(kUnit, "LoadState", loadState))
        return false;
    if (loadState == "not-found") {
        errno = ENOENT;
        return false;
    }
    return true;
}

bool ServiceManager::Query(ServiceStatus& status) {
    std::string activeState;
    if (!ReadString(kUnit, "ActiveState", activeState))
        return false;
    status.state = ServiceStateFromActiveState(activeState);

    sd_bus_error error = SD_BUS_ERROR_NULL;
    sd_bus_message* reply = nullptr;
    uint32_t job = 0;
    const char* jobPath = nullptr;
    int result = sd_bus_get_property(bus_, kDestination, path_.c_str(), kUnit, "Job", &error,
                                     &reply, "(uo)");
    if (result >= 0)
        result = sd_bus_message_read(reply, "(uo)", &job, &jobPath);
    sd_bus_message_unref(reply);
    const bool failed = Failed(result, error);
    sd_bus_error_free(&error);
    if (failed)
        return false;
    status.jobHeld = job != 0;

    // Only services have these; other units simply have no wait hint.
    uint64_t usec = 0;
    if (sd_bus_get_property_trivial(bus_, kDestination, path_.c_str(), kService, "TimeoutStartUSec",
                                    nullptr, 't', &usec) >= 0)
        status.startWaitHintMs = UsecToMs(usec);
    if (sd_bus_get_property_trivial(bus_, kDestination, path_.c_str(), kService, "TimeoutStopUSec",
                                    nullptr, 't', &usec) >= 0)
        status.stopWaitHintMs = UsecToMs(usec);
    int32_t value = 0;
    if (sd_bus_get_property_trivial(bus_, kDestination, path_.c_str(), kService, "ExecMainStatus",
                                    nullptr, 'i', &value) >= 0)
        status.exitCode = value;
    if (sd_bus_get_property_trivial(bus_, kDestination, path_.c_str(), kService, "ExecMainCode",
                                    nullptr, 'i', &value) >= 0)
        status.specificExitCode = value;
    return true;
}

// systemd starts a running unit again without complaint; a service control
// manager refuses, and callers rely on hearing that it already runs.
bool ServiceManager::Start() {
    ServiceStatus status;
    if (!Query(status))
        return false;
    if (status.state == kServiceRunning) {
        errno = EALREADY;
        return false;
    }
    return CallManager(nullptr, "StartUnit", "ss", unit_.c_str(), "replace");
}

bool ServiceManager::Stop() {
    return CallManager(nullptr, "StopUnit", "ss", unit_.c_str(), "replace");
}

bool ServiceManager::ChangeUnitFiles(const char* method, bool withRuntimeAndForce) {
    return withRuntimeAndForce ? CallManager(nullptr, method, "asbb", 1, unit_.c_str(), 0, 1)
                               : CallManager(nullptr, method, "asb", 1, unit_.c_str(), 0);
}

bool ServiceManager::SetStartType(DWORD startType) {
    bool done = false;
    switch (startType) {
    case 0:
    case 1:
    case 2:
        done =
            ChangeUnitFiles("UnmaskUnitFiles", false) && ChangeUnitFiles("EnableUnitFiles", true);
        break;
    case 3:
        done =
            ChangeUnitFiles("UnmaskUnitFiles", false) && ChangeUnitFiles("DisableUnitFiles", false);
        break;
    case 4:
        done = ChangeUnitFiles("DisableUnitFiles", false) && ChangeUnitFiles("MaskUnitFiles", true);
        break;
    default:
        errno = EINVAL;
        return false;
    }
    return done && Reload();
}

bool ServiceManager::Reload() {
    return CallManager(nullptr, "Reload", "");
}

} // namespace dravik
