// Starting and stopping a lab database by running its line-mode server
// manager with a generated script. The script holds a password: it lives in
// a private folder, readable by this account only, and goes with the call.
#include "platform/strings.h"
#include "trace/client/module_trace.h"
#include "utils/dravik.h"
#include "utils/frame.h"
#include "utils/lab.h"
#include "utils/report.h"

#include <cerrno>
#include <chrono>
#include <climits>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <string>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

using dravik::BstrHolder;

constexpr size_t kOutputBuffer = 4096;
constexpr char16_t kDefaultProgram[] = u"svrmgrl.exe";
// A server manager that has not ended by then never will; the wait can be
// set in seconds under the LNS key.
constexpr int kDefaultWaitSeconds = 600;
constexpr int kLongestWaitSeconds = 24 * 3600;

// The script file and the output file in a folder of their own; all three
// are removed when this goes, whatever happened in between.
struct TempFiles {
    std::string folder, script, output;
    bool made = false;

    TempFiles() {
        const char* base = secure_getenv("TMPDIR");
        std::string pattern = (base && base[0] == '/' ? base : "/tmp");
        pattern += "/olvani-svrmgr-XXXXXX";
        if (!mkdtemp(pattern.data()))
            return;
        folder = pattern;
        made = Make("/script-XXXXXX", &script) && Make("/output-XXXXXX", &output);
    }
    ~TempFiles() {
        if (!script.empty())
            unlink(script.c_str());
        if (!output.empty())
            unlink(output.c_str());
        if (!folder.empty())
            rmdir(folder.c_str());
    }
    bool Make(const char* name, std::string* path) {
        std::string pattern = folder + name;
        const int fd = mkostemp(pattern.data(), O_CLOEXEC);
        if (fd < 0)
            return false;
        close(fd);
        *path = pattern;
        return true;
    }
};

// A line break in a user name, password or parameter file would add lines
// of its own to the script.
bool OneLine(const char16_t* text) {
    for (; text && *text; ++text)
        if (*text < 0x20)
            return false;
    return true;
}

int WaitSeconds() {
    const std::optional<std::u16string> text = dravik::ReadLnsSetting(u"SvrMgrTimeout");
    if (!text || text->empty() || text->size() > 6)
        return kDefaultWaitSeconds;
    int seconds = 0;
    for (char16_t c : *text) {
        if (c < u'0' || c > u'9')
            return kDefaultWaitSeconds;
        seconds = seconds * 10 + (c - u'0');
    }
    return seconds > 0 && seconds <= kLongestWaitSeconds ? seconds : kDefaultWaitSeconds;
}

// The program and the files go to the shell as positional parameters, so no
// character of theirs is ever read as shell syntax.
bool Spawn(const std::string& program, const TempFiles& files, pid_t* child) {
    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attributes;
    posix_spawn_file_actions_init(&actions);
    posix_spawnattr_init(&attributes);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    // No handle of this process goes along, whoever opened it.
    posix_spawn_file_actions_addclosefrom_np(&actions, STDERR_FILENO + 1);
    sigset_t none, defaults;
    sigemptyset(&none);
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGPIPE);
    // Its own process group: whatever it starts is stopped with it.
    posix_spawnattr_setpgroup(&attributes, 0);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGMASK |
                                              POSIX_SPAWN_SETSIGDEF);
    const char* argv[] = {"sh",
                          "-c",
                          "exec \"$0\" <\"$1\" >\"$2\"",
                          program.c_str(),
                          files.script.c_str(),
                          files.output.c_str(),
                          nullptr};
    const int error = posix_spawn(child, "/bin/sh", &actions, &attributes,
                                  const_cast<char* const*>(argv), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    return error == 0;
}

// True when the child ended within the wait; else it and its group are
// killed.
bool WaitOrKill(pid_t child, int seconds) {
    const int pidfd = static_cast<int>(syscall(SYS_pidfd_open, child, 0));
    bool ended = false;
    if (pidfd >= 0) {
        const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
        for (;;) {
            const auto left = std::chrono::ceil<std::chrono::milliseconds>(
                limit - std::chrono::steady_clock::now());
            pollfd wait{pidfd, POLLIN, 0};
            const int r = poll(&wait, 1, left.count() > 0 ? static_cast<int>(left.count()) : 0);
            ended = r == 1;
            if (r >= 0 || errno != EINTR)
                break;
        }
        close(pidfd);
    } else {
        // Kernels without process descriptors: look every tenth of a second.
        for (int tick = 0; tick < seconds * 10 && !ended; ++tick) {
            ended = waitpid(child, nullptr, WNOHANG) == child;
            if (!ended)
                usleep(100000);
        }
        if (ended)
            return true;
    }
    if (!ended)
        kill(-child, SIGKILL);
    while (waitpid(child, nullptr, 0) < 0 && errno == EINTR) {
    }
    return ended;
}

HRESULT RunSvrMgrCommand(const std::u16string& program, const TempFiles& files,
                         std::string* output) {
    ScopeTrace scope(5, u"RunSvrMgrCommand");
    const std::u16string command = u"/bin/sh -c '\"" + program + u"\" <" +
                                   olvani::Utf8ToUtf16(files.script) + u" >" +
                                   olvani::Utf8ToUtf16(files.output) + u"'";
    pid_t child = -1;
    if (!Spawn(olvani::Utf16ToUtf8(program), files, &child)) {
        TraceFormat(scope, u"CreateProcess failed for '%s'.", command.c_str());
        dravik::ReportError(dravik::kSvrMgrFailed, command.c_str());
        return E_UNEXPECTED;
    }
    const int seconds = WaitSeconds();
    if (!WaitOrKill(child, seconds)) {
        TraceFormat(scope, u"%s did not end within %d seconds and was stopped.", command.c_str(),
                    seconds);
        dravik::ReportError(dravik::kSvrMgrFailed, command.c_str());
        return E_UNEXPECTED;
    }
    const std::u16string outputName = olvani::Utf8ToUtf16(files.output);
    const int fd = open(files.output.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) {
        TraceFormat(scope, u"Can't open the temporary file %s.", outputName.c_str());
        dravik::ReportError(dravik::kTempFileUnusable, outputName.c_str());
        return E_UNEXPECTED;
    }
    char buffer[kOutputBuffer];
    size_t got = 0;
    for (ssize_t r = 1; r > 0 && got<kOutputBuffer - 1; got += r> 0 ? r : 0)
        r = read(fd, buffer + got, kOutputBuffer - 1 - got);
    close(fd);
    if (got == 0) {
        TraceFormat(scope, u"Error: The svrmgr30 oracle command did not execute properly.");
        dravik::ReportError(dravik::kSvrMgrFailed, program.c_str());
        return E_UNEXPECTED;
    }
    output->assign(buffer, got);
    return S_OK;
}

bool WriteScript(const TempFiles& files, const std::u16string& script) {
    const int fd = open(files.script.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0)
        return false;
    const std::string text = olvani::Utf16ToUtf8(script);
    const bool written = write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
    return close(fd) == 0 && written;
}

enum class Operation { kStart, kStopNormal, kStopImmediate };

HRESULT RunDatabaseOperation(const ScopeTrace& scope, const char16_t* dbId, const char16_t* user,
                             const char16_t* password, Operation operation) {
    TempFiles files;
    BstrHolder first, value, fourth;
    if (const HRESULT hr = ASVeskGetDbIdTokens(dbId, &first.text, &value.text, &fourth.text);
        FAILED(hr))
        return hr;
    const std::optional<std::u16string> parameterFile =
        operation == Operation::kStart ? dravik::ReadLnsSetting(u"PFILE") : std::nullopt;
    if (!OneLine(user) || !OneLine(password) ||
        (parameterFile && !OneLine(parameterFile->c_str()))) {
        TraceFormat(scope, u"Invalid Argument - a user, password or PFILE of several lines");
        return E_INVALIDARG;
    }
    std::u16string script = u"connect " + std::u16string(user ? user : u"") + u"/" +
                            (password ? password : u"") + u"\n";
    if (operation == Operation::kStart)
        script += parameterFile ? u"startup PFILE=" + *parameterFile + u"\n" : u"startup\n";
    else
        script +=
            operation == Operation::kStopNormal ? u"shutdown normal\n" : u"shutdown immediate\n";
    script += u"quit\n";
    if (!files.made || !WriteScript(files, script)) {
        const std::u16string name = olvani::Utf8ToUtf16(files.script);
        TraceFormat(scope, u"Can't open the temporary file %s.", name.c_str());
        dravik::ReportError(dravik::kTempFileUnusable, name.c_str());
        return E_UNEXPECTED;
    }
    const std::u16string program = dravik::ReadLnsSetting(u"SVRMGR").value_or(kDefaultProgram);
    std::string output;
    if (const HRESULT hr = RunSvrMgrCommand(program, files, &output); FAILED(hr))
        return hr;
    const std::u16string text = olvani::Utf8ToUtf16(output);
    const bool start = operation == Operation::kStart;
    if (text.find(start ? u"Database opened" : u"ORACLE instance shut down") !=
        std::u16string::npos)
        return S_OK;
    dravik::ReportError(start ? dravik::kDbNotStarted : dravik::kDbNotStopped, program.c_str(),
                        text.c_str());
    return E_UNEXPECTED;
}

} // namespace

HRESULT ASVeskStartDb(const char16_t* dbId, const char16_t* user, const char16_t* password) {
    DRAVIK_REQUIRE_USABLE();
    ScopeTrace scope(5, u"ASVeskStartDb");
    return RunDatabaseOperation(scope, dbId, user, password, Operation::kStart);
}

HRESULT ASVeskStopDb(const char16_t* dbId, const char16_t* user, const char16_t* password,
                     LONG immediate) {
    DRAVIK_REQUIRE_USABLE();
    ScopeTrace scope(5, u"ASVeskStopDb");
    return RunDatabaseOperation(scope, dbId, user, password,
                                immediate ? Operation::kStopImmediate : Operation::kStopNormal);
}
