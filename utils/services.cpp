// Start, stop and query services and change how they start and whom they run
// as, through the system's service manager.
#include "trace/client/module_trace.h"
#include "utils/dravik.h"
#include "utils/frame.h"
#include "utils/last_error.h"
#include "utils/service_bus.h"

#include "platform/strings.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <pwd.h>
#include <thread>
#include <unistd.h>
#include <vector>

using dravik::ServiceManager;
using dravik::ServiceStatus;

namespace {

enum ServiceError : UINT {
    kStartFailed = 11,
    kStopFailed = 12,
    kStatusFailed = 13,
    kStartTypeFailed = 26,
    kAccountFailed = 29,
};

constexpr DWORD kShortestPollMs = 1000;
constexpr DWORD kLongestPollMs = 10000;
constexpr std::chrono::milliseconds kLongestWait{10000};

const char16_t* Name(const char16_t* text) {
    return text ? text : u"";
}

bool OpenSCManagerOnLocalHost(ServiceManager& manager) {
    ScopeTrace scope(9, u"OpenSCManagerOnLocalHost");
    if (manager.Connect())
        return true;
    const int error = errno;
    BSTR text = nullptr;
    DWORD code = 0;
    ASVeskNTGetLastError(&text, &code);
    TraceFormat(scope, u"Error: cannot reach the service manager, code = %d, msg = %s",
                static_cast<LONG>(code), text ? text : u"");
    SysFreeString(text);
    errno = error;
    return false;
}

// Connects and opens the service; traces which step failed.
bool OpenService(const ScopeTrace& scope, ServiceManager& manager, const char16_t* service,
                 const char16_t* noManagerText = nullptr) {
    if (!OpenSCManagerOnLocalHost(manager)) {
        if (noManagerText)
            TraceFormat(scope, noManagerText);
        return false;
    }
    if (!manager.OpenService(service)) {
        TraceFormat(scope, u"Error: service handle = NULL");
        return false;
    }
    return true;
}

// The texts and states that tell a start from a stop.
struct Transition {
    UINT error;
    const char16_t* announce;
    const char16_t* noManager;
    const char16_t* requestFailed;
    const char16_t* success;
    const char16_t* notReached;
    DWORD pending;
    DWORD from;
    DWORD target;
    bool (ServiceManager::*request)();
    DWORD ServiceStatus::*waitHint;
};

const Transition kStart{kStartFailed,
                        u"Starting NT Service '%s'...",
                        nullptr,
                        u"Error starting NT service",
                        u"StartService SUCCESS.\n",
                        u"\nService not started. \n",
                        dravik::kServiceStartPending,
                        dravik::kServiceStopped,
                        dravik::kServiceRunning,
                        &ServiceManager::Start,
                        &ServiceStatus::startWaitHintMs};
const Transition kStop{kStopFailed,
                       u"Stopping NT Service '%s'...",
                       u"Error: NULL SC Manager Handle.",
                       u"Error stopping NT service",
                       u"StopService SUCCESS.\n",
                       u"\nService not stopped. \n",
                       dravik::kServiceStopPending,
                       dravik::kServiceRunning,
                       dravik::kServiceStopped,
                       &ServiceManager::Stop,
                       &ServiceStatus::stopWaitHintMs};

// Pending also while the manager still holds the job but the unit has not
// left its old state yet: the request is queued, not refused.
bool IsPending(const Transition& how, const ServiceStatus& status) {
    return status.state == how.pending || (status.state == how.from && status.jobHeld);
}

// Polls while the service is pending. The check point moves while systemd
// still works on a job for the unit; a stuck one ends the wait after one poll.
void WaitWhilePending(const ScopeTrace& scope, const Transition& how, ServiceManager& manager,
                      ServiceStatus& status) {
    const auto begin = std::chrono::steady_clock::now();
    DWORD checkPoint = 0;
    while (IsPending(how, status)) {
        const DWORD previous = checkPoint;
        const DWORD poll = std::clamp(status.*how.waitHint, kShortestPollMs, kLongestPollMs);
        std::this_thread::sleep_for(std::chrono::milliseconds(poll));
        if (!manager.Query(status)) {
            TraceFormat(scope, u"Error getting the service status.\n");
            break;
        }
        if (status.jobHeld)
            ++checkPoint;
        const auto waited = std::chrono::steady_clock::now() - begin;
        if (checkPoint <= previous || waited > kLongestWait)
            break;
    }
}

HRESULT ChangeState(const ScopeTrace& scope, const Transition& how, const char16_t* service) {
    TraceFormat(scope, how.announce, Name(service));
    ServiceManager manager;
    if (!OpenService(scope, manager, service, how.noManager))
        return dravik::ReportLastError(how.error, Name(service));
    if (!(manager.*how.request)()) {
        TraceFormat(scope, how.requestFailed);
        return dravik::ReportLastError(how.error, Name(service));
    }
    TraceFormat(scope, how.pending == dravik::kServiceStartPending ? u"Service start pending.\n"
                                                                   : u"Service stop pending.\n");
    ServiceStatus status;
    if (!manager.Query(status)) {
        TraceFormat(scope, u"Error getting the service status.\n");
        return dravik::ReportLastError(how.error, Name(service));
    }
    WaitWhilePending(scope, how, manager, status);
    if (status.state == how.target) {
        TraceFormat(scope, how.success);
        return S_OK;
    }
    const DWORD waitHint = status.*how.waitHint;
    TraceFormat(scope, how.notReached);
    TraceFormat(scope, u"  Current State: %d\n", status.state);
    TraceFormat(scope, u"  Exit Code: %d\n", status.exitCode);
    TraceFormat(scope, u"  Service Specific Exit Code: %d\n", status.specificExitCode);
    TraceFormat(scope, u"  Check Point: %d\n", status.jobHeld ? 1 : 0);
    TraceFormat(scope, u"  Wait Hint: %d\n", waitHint);
    // A process's exit status is no system error number, and a service that
    // is still pending has not started: neither may come back as success.
    errno = IsPending(how, status) ? ETIMEDOUT : EIO;
    return dravik::ReportLastError(how.error, Name(service));
}

// The account as the user database knows it; ENOENT when it does not.
bool LookUpAccount(const char16_t* account, std::string& name) {
    const std::string wanted = olvani::Utf16ToUtf8(Name(account));
    std::vector<char> buffer(16384);
    passwd entry{};
    passwd* found = nullptr;
    const int error = getpwnam_r(wanted.c_str(), &entry, buffer.data(), buffer.size(), &found);
    if (!found) {
        errno = error ? error : ENOENT;
        return false;
    }
    name = entry.pw_name;
    return true;
}

} // namespace

HRESULT ASVeskStartNTService(const char16_t* service) {
    DRAVIK_REQUIRE_USABLE();
    ScopeTrace scope(5, u"ASVeskStartNTService");
    return ChangeState(scope, kStart, service);
}

HRESULT ASVeskStopNTService(const char16_t* service) {
    DRAVIK_REQUIRE_USABLE();
    ScopeTrace scope(5, u"ASVeskStopNTService");
    return ChangeState(scope, kStop, service);
}

HRESULT ASVeskGetNTServiceStatus(const char16_t* service, DWORD* state) {
    DRAVIK_REQUIRE_USABLE();
    ScopeTrace scope(5, u"ASVeskGetNTServiceStatus");
    TraceFormat(scope, u"Getting status of the NT Service '%s'...", Name(service));
    if (!state)
        return E_INVALIDARG;
    ServiceManager manager;
    if (!OpenService(scope, manager, service))
        return dravik::ReportLastError(kStatusFailed, Name(service));
    ServiceStatus status;
    if (!manager.Query(status)) {
        TraceFormat(scope, u"Error getting the service status.\n");
        return dravik::ReportLastError(kStatusFailed, Name(service));
    }
    *state = status.state;
    return S_OK;
}

HRESULT ASVeskSetStartTypeNTService(const char16_t* service, DWORD startType) {
    DRAVIK_REQUIRE_USABLE();
    ScopeTrace scope(5, u"ASVeskSetStartTypeNTService");
    TraceFormat(scope, u"Changing StartTyoe for NT Service '%s'...", Name(service));
    ServiceManager manager;
    if (!OpenService(scope, manager, service))
        return dravik::ReportLastError(kStartTypeFailed, Name(service));
    if (!manager.SetStartType(startType)) {
        TraceFormat(scope, u"Error changing service configuration");
        return dravik::ReportLastError(kStartTypeFailed, Name(service));
    }
    TraceFormat(scope, u"SetStartTypeService SUCCESS.\n");
    return S_OK;
}

// The password is not needed: the manager starts the service as the account.
HRESULT ASVeskSetAccountNTService(const char16_t* service, const char16_t* account,
                                  const char16_t* /*password*/) {
    DRAVIK_REQUIRE_USABLE();
    ScopeTrace scope(5, u"ASVeskSetAccountNTService");
    TraceFormat(scope, u"Setting user account for '%s'...", Name(service));
    ServiceManager manager;
    if (!OpenService(scope, manager, service))
        return dravik::ReportLastError(kAccountFailed, Name(service));
    std::string user;
    if (!LookUpAccount(account, user) || !manager.SetUser(user)) {
        TraceFormat(scope, u"Error setting user account");
        return dravik::ReportLastError(kAccountFailed, Name(service));
    }
    TraceFormat(scope, u"SetAccountService SUCCESS.\n");
    return S_OK;
}
