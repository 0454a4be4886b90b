// bootp-driver: runs the BOOTP engine without the windowed application. It
// supplies the six application operations in their plainest form, prints every
// status line to standard output, and watches the engine's socket in a poll
// loop until SIGINT or SIGTERM.
//
// Usage: bootp-driver [--quiet] [--listed ADDRESS]... [engine arguments...]
//   --quiet    keep status lines off standard output (for load runs)
//   --listed   a hardware address the pending entry list holds
// The engine arguments are joined with blanks into one command-line tail.

#include "bootp/app_interface.h"
#include "bootp/server.h"
#include "bootp/table_paths.h"
#include "platform/messagebox.h"

#include <poll.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <deque>
#include <fstream>
#include <string>
#include <strings.h>
#include <vector>

namespace {

class DriverApplication : public BootpApplication {
public:
    DriverApplication(bool quiet, const CBootPServer& server) : quiet_(quiet), server_(server) {}

    void AddStatusLine(std::string line) override {
        if (!quiet_)
            std::printf("%s\n", line.c_str());
    }

    void ClearLog() override {}

    BOOL CheckTableFile() override {
        const std::string& path = server_.TablePath();
        if (path.empty()) {
            Report("no table file configured (Bootptabfile)");
            return FALSE;
        }
        struct stat status;
        if (stat(path.c_str(), &status) == 0)
            return TRUE;
        // A missing table starts out empty, as a new one would.
        std::ofstream created(path, std::ios::binary);
        if (!created) {
            Report("cannot create the table file " + path + ": " + std::strerror(errno));
            return FALSE;
        }
        return TRUE;
    }

    BOOL ReadTableLines() override {
        const std::string& path = server_.TablePath();
        struct stat status;
        if (stat(path.c_str(), &status) != 0) {
            Report("cannot read the table file " + path + ": " + std::strerror(errno));
            return FALSE;
        }
        if (haveLines_ && status.st_mtim.tv_sec == mtime_.tv_sec &&
            status.st_mtim.tv_nsec == mtime_.tv_nsec && status.st_size == size_ &&
            status.st_ino == inode_)
            return TRUE;
        std::ifstream file(path, std::ios::binary);
        if (!file) {
            Report("cannot open the table file " + path + ": " + std::strerror(errno));
            return FALSE;
        }
        lines_.clear();
        for (std::string line; std::getline(file, line);) {
            if (!line.empty() && line.back() == '\r')
                line.pop_back();
            lines_.push_back(std::move(line));
        }
        haveLines_ = true;
        mtime_ = status.st_mtim;
        size_ = status.st_size;
        inode_ = status.st_ino;
        return TRUE;
    }

    int IsListedAddress(const std::string& hardwareAddress) override {
        for (const std::string& listed : listed_) {
            if (strcasecmp(listed.c_str(), hardwareAddress.c_str()) == 0)
                return 1;
        }
        return 0;
    }

    int InsertHAEntry(const std::string& hardwareAddress) override {
        recent_.push_front(hardwareAddress);
        if (recent_.size() > kRecentUnknown)
            recent_.pop_back();
        Report("remembered unknown address " + hardwareAddress);
        return 1;
    }

    void AddListed(std::string address) { listed_.push_back(std::move(address)); }

private:
    static constexpr size_t kRecentUnknown = 8;

    void Report(const std::string& text) {
        if (!quiet_)
            std::printf("driver: %s\n", text.c_str());
    }

    bool quiet_;
    const CBootPServer& server_;
    bool haveLines_ = false;
    timespec mtime_{};
    off_t size_ = 0;
    ino_t inode_ = 0;
    std::vector<std::string> lines_;
    std::vector<std::string> listed_;
    std::deque<std::string> recent_;
};

sigset_t StopSignals() {
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    return stopSignals;
}

// SIGINT and SIGTERM arrive as a readable descriptor in the poll loop.
int SignalDescriptor() {
    sigset_t stopSignals = StopSignals();
    sigprocmask(SIG_BLOCK, &stopSignals, nullptr);
    return signalfd(-1, &stopSignals, SFD_CLOEXEC);
}

// One read event: the waiting datagram and every one queued behind it, as
// the window does. False when the program must end.
bool ServeBurst(CBootPServer& server, DriverApplication& application) {
    if (!OnSocketReadEvent(server, application))
        return !server.EndsProgram();
    for (int served = 1; served < kDatagramsPerNotification; ++served) {
        int result = OnWaitingDatagram(server, application);
        if (result <= 0)
            return result == 0 || !server.EndsProgram();
    }
    return true;
}

} // namespace

int main(int argc, char** argv) {
    setvbuf(stdout, nullptr, _IOLBF, 0);
    bool quiet = false;
    std::vector<std::string> listed;
    int first = 1;
    for (; first < argc; ++first) {
        if (std::strcmp(argv[first], "--quiet") == 0)
            quiet = true;
        else if (std::strcmp(argv[first], "--listed") == 0 && first + 1 < argc)
            listed.push_back(argv[++first]);
        else
            break;
    }
    std::string arguments;
    for (int i = first; i < argc; ++i) {
        if (!arguments.empty())
            arguments += ' ';
        arguments += argv[i];
    }

    int stopSignal = SignalDescriptor();
    CBootPServer server(LoadTablePaths());
    DriverApplication application(quiet, server);
    for (std::string& address : listed)
        application.AddListed(std::move(address));
    if (!server.Initialize(application, arguments)) {
        if (!server.EndsProgram())
            MessageBox("The BootP Server failed to start.", "", MB_OK | MB_ICONERROR);
        return 1;
    }
    std::printf("driver: listening\n");

    pollfd watched[2] = {{server.SocketHandle(), POLLIN, 0}, {stopSignal, POLLIN, 0}};
    for (;;) {
        if (poll(watched, 2, -1) < 0) {
            if (errno == EINTR)
                continue;
            std::perror("driver: poll");
            break;
        }
        if (watched[1].revents != 0)
            break;
        if ((watched[0].revents & POLLIN) && !ServeBurst(server, application))
            break;
    }
    // A stop request often comes twice (timeout signals its child and its
    // group); one left pending would keep a sanitizer's exit check waiting.
    // Ignored and no longer blocked, a pending one is dropped.
    signal(SIGINT, SIG_IGN);
    signal(SIGTERM, SIG_IGN);
    sigset_t stopSignals = StopSignals();
    sigprocmask(SIG_UNBLOCK, &stopSignals, nullptr);
    server.Terminate();
    std::printf("driver: stopped\n");
    return server.EndsProgram() ? 1 : 0;
}
