// The right to log on as a service: membership of one Unix group, given with
// the system's own tool (which locks the group file properly) and checked
// through the account's groups.
#include "platform/strings.h"
#include "trace/client/module_trace.h"
#include "utils/dravik.h"
#include "utils/frame.h"
#include "utils/last_error.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

constexpr UINT kAddRightFailed = 30;
constexpr UINT kVerifyRightFailed = 31;
constexpr const char* kLogonGroup = "olvani-service-logon";
constexpr char16_t kAuthorityPrefix[] = u"nt authority\\";
constexpr size_t kAuthorityPrefixLength = 13;
constexpr size_t kEntryRoom = 16384;

struct Account {
    bool everyone = false;
    std::string name;
    gid_t group = 0;
};

// The principal behind an account name: "NT Authority\x" is the account x;
// "Everyone" is every account, never looked up.
bool LookUpPrincipal(const char16_t* given, Account& account) {
    std::u16string_view name = given ? given : u"";
    if (olvani::AsciiEqualIgnoringCase(name, u"Everyone")) {
        account.everyone = true;
        return true;
    }
    if (name.size() >= kAuthorityPrefixLength &&
        olvani::AsciiEqualIgnoringCase(name.substr(0, kAuthorityPrefixLength), kAuthorityPrefix))
        name.remove_prefix(kAuthorityPrefixLength);
    std::vector<char> buffer(kEntryRoom);
    passwd entry{};
    passwd* found = nullptr;
    const std::string wanted = olvani::Utf16ToUtf8(name);
    const int error = getpwnam_r(wanted.c_str(), &entry, buffer.data(), buffer.size(), &found);
    if (!found) {
        errno = error ? error : ENOENT;
        return false;
    }
    account.name = entry.pw_name;
    account.group = entry.pw_gid;
    return true;
}

// The group's id; false with errno 0 when it does not exist.
bool FindLogonGroup(gid_t& id) {
    std::vector<char> buffer(kEntryRoom);
    group entry{};
    group* found = nullptr;
    const int error = getgrnam_r(kLogonGroup, &entry, buffer.data(), buffer.size(), &found);
    errno = found ? 0 : error;
    if (found)
        id = entry.gr_gid;
    return found != nullptr;
}

// Runs a system tool with a fixed path and a plain environment, its output
// discarded; EPERM when it refuses.
bool RunTool(const std::vector<const char*>& arguments) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    std::vector<char*> argv;
    for (const char* argument : arguments)
        argv.push_back(const_cast<char*>(argument));
    argv.push_back(nullptr);
    char path[] = "PATH=/usr/sbin:/usr/bin:/sbin:/bin";
    char* environment[] = {path, nullptr};
    pid_t child = 0;
    const int error = posix_spawn(&child, argv[0], &actions, nullptr, argv.data(), environment);
    posix_spawn_file_actions_destroy(&actions);
    if (error != 0) {
        errno = error;
        return false;
    }
    int status = 0;
    while (waitpid(child, &status, 0) < 0) {
        if (errno != EINTR)
            return false;
    }
    if (WIFEXITED(status) && WEXITSTATUS(status) == 0)
        return true;
    errno = EPERM;
    return false;
}

// "Opening the policy": the group that stands for the right, created once.
bool OpenPolicy() {
    gid_t id = 0;
    if (FindLogonGroup(id))
        return true;
    if (errno != 0)
        return false;
    return RunTool({"/usr/sbin/groupadd", "--system", kLogonGroup}) || FindLogonGroup(id);
}

HRESULT Fail(const ScopeTrace& scope, const char16_t* text, UINT number, const char16_t* account) {
    const int error = errno;
    TraceFormat(scope, text);
    errno = error;
    return dravik::ReportLastError(number, account ? account : u"");
}

} // namespace

HRESULT ASVeskAddServiceLogonPrivilege(const char16_t* account) {
    DRAVIK_REQUIRE_USABLE();
    ScopeTrace scope(5, u"ASVeskAddServiceLogonPrivilege");
    TraceFormat(scope, u"Adding ServiceLogon privilege to '%s'...", account ? account : u"");
    if (!OpenPolicy())
        return Fail(scope, u"Error opening policy", kAddRightFailed, account);
    Account principal;
    if (!LookUpPrincipal(account, principal))
        return Fail(scope, u"Error getting principal SID", kAddRightFailed, account);
    // Every account cannot join a group; that right is not given away here.
    if (principal.everyone) {
        errno = EINVAL;
        return Fail(scope, u"Error setting ServiceLogon privilege", kAddRightFailed, account);
    }
    if (!RunTool({"/usr/bin/gpasswd", "-a", principal.name.c_str(), kLogonGroup}))
        return Fail(scope, u"Error setting ServiceLogon privilege", kAddRightFailed, account);
    TraceFormat(scope, u"ASVeskAddServiceLogonPrivilege success!");
    return S_OK;
}

HRESULT ASVeskVerifyServiceLogonPrivilege(const char16_t* account, DWORD* hasRight) {
    DRAVIK_REQUIRE_USABLE();
    ScopeTrace scope(5, u"ASVeskVerifyServiceLogonPrivilege");
    TraceFormat(scope, u"Verifying ServiceLogon privilege for '%s'...", account ? account : u"");
    if (!hasRight)
        return E_INVALIDARG;
    *hasRight = 0;
    Account principal;
    if (!LookUpPrincipal(account, principal))
        return Fail(scope, u"Error getting principal SID", kVerifyRightFailed, account);
    gid_t logonGroup = 0;
    // The world is no member of any group; and without the group yet no
    // account holds the right.
    if (principal.everyone) {
        TraceFormat(scope, u"ASVeskVerifyServiceLogonPrivilege success!");
        return S_OK;
    }
    if (!FindLogonGroup(logonGroup)) {
        if (errno != 0)
            return Fail(scope, u"Error verifying ServiceLogon privilege", kVerifyRightFailed,
                        account);
        TraceFormat(scope, u"ASVeskVerifyServiceLogonPrivilege success!");
        return S_OK;
    }
    std::vector<gid_t> groups(64);
    int count = static_cast<int>(groups.size());
    while (getgrouplist(principal.name.c_str(), principal.group, groups.data(), &count) < 0 &&
           groups.size() < 65536) {
        groups.resize(std::max<size_t>(static_cast<size_t>(count), groups.size() * 2));
        count = static_cast<int>(groups.size());
    }
    for (int i = 0; i < count && i < static_cast<int>(groups.size()); ++i)
        if (groups[static_cast<size_t>(i)] == logonGroup)
            *hasRight = 1;
    TraceFormat(scope, u"ASVeskVerifyServiceLogonPrivilege success!");
    return S_OK;
}
