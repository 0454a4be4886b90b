// The server's widget-free pieces: the version gate, the one-instance lock,
// what the log file refuses and how a request's lines reach it. The log's
// lines and layout are checked through the window.
#include "server/app/comctl_version.h"
#include "server/app/log_file.h"
#include "server/app/single_instance.h"
#include "tests/support/files.h"

#include <QTemporaryDir>
#include <QTest>

#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <grp.h>
#include <sstream>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace korrind;

namespace {

CommonControlsLoader VersionLoader(DWORD major, DWORD minor) {
    return [major, minor] {
        return CommonControlsLibrary{true, [major, minor](DLLVERSIONINFO* info) {
                                         if (info->cbSize != sizeof(DLLVERSIONINFO))
                                             return E_INVALIDARG;
                                         info->dwMajorVersion = major;
                                         info->dwMinorVersion = minor;
                                         return S_OK;
                                     }};
    };
}

using olvani_test::ReadFile;

// The unprivileged account that plays another local user.
constexpr uid_t kNobody = 65534;

bool BecomeNobody() {
    return ::setgroups(0, nullptr) == 0 && ::setgid(kNobody) == 0 && ::setuid(kNobody) == 0;
}

// Runs `step` in a child process as that user; whether it returned true.
bool AsNobody(const std::function<bool()>& step) {
    pid_t child = ::fork();
    if (child == 0)
        ::_exit(BecomeNobody() && step() ? 0 : 1);
    int status = 0;
    return child > 0 && ::waitpid(child, &status, 0) == child && WIFEXITED(status) &&
           WEXITSTATUS(status) == 0;
}

// Runs `program` as that user with only `environment`; its standard output
// and error together.
std::string RunAsNobody(const std::string& program, std::vector<std::string> environment) {
    int out[2];
    if (::pipe2(out, O_CLOEXEC) != 0)
        return "pipe failed";
    pid_t child = ::fork();
    if (child == 0) {
        std::vector<char*> env;
        for (auto& entry : environment)
            env.push_back(entry.data());
        env.push_back(nullptr);
        char* argv[] = {const_cast<char*>(program.c_str()), nullptr};
        if (::dup2(out[1], STDOUT_FILENO) >= 0 && ::dup2(out[1], STDERR_FILENO) >= 0 &&
            BecomeNobody())
            ::execve(argv[0], argv, env.data());
        ::_exit(127);
    }
    ::close(out[1]);
    std::string text;
    char buffer[4096];
    ssize_t n;
    while ((n = ::read(out[0], buffer, sizeof buffer)) > 0)
        text.append(buffer, static_cast<size_t>(n));
    ::close(out[0]);
    ::waitpid(child, nullptr, 0);
    return text;
}

bool Contains(const std::string& text, const std::string& line) {
    return text.find(line + "\n") != std::string::npos;
}

} // namespace

class AppLogicTest : public QObject {
    Q_OBJECT

private slots:
    void cleanup() { SetCommonControlsLoader({}); }

    void versionGate_data() {
        QTest::addColumn<uint>("major");
        QTest::addColumn<uint>("minor");
        QTest::addColumn<int>("accepted");
        QTest::newRow("4.70") << 4u << 70u << 0;
        QTest::newRow("4.71") << 4u << 71u << 1;
        QTest::newRow("4.72") << 4u << 72u << 1;
        QTest::newRow("5.80") << 5u << 80u << 1;
        QTest::newRow("6.0") << 6u << 0u << 1;
        QTest::newRow("3.99") << 3u << 99u << 0;
    }
    void versionGate() {
        QFETCH(uint, major);
        QFETCH(uint, minor);
        QFETCH(int, accepted);
        SetCommonControlsLoader(VersionLoader(major, minor));
        unsigned gotMajor = 0, gotMinor = 0;
        QCOMPARE(GetComCtlVersion(&gotMajor, &gotMinor), S_OK);
        QCOMPARE(gotMajor, major);
        QCOMPARE(gotMinor, minor);
        QCOMPARE(RequireComCtl471(), accepted);
    }

    void versionGateFailures() {
        unsigned major = 9, minor = 9;
        SetCommonControlsLoader(VersionLoader(6, 0));
        QCOMPARE(GetComCtlVersion(nullptr, &minor), E_INVALIDARG);
        QCOMPARE(GetComCtlVersion(&major, nullptr), E_INVALIDARG);

        // No version function: 4.0, refused.
        SetCommonControlsLoader([] { return CommonControlsLibrary{true, {}}; });
        QCOMPARE(GetComCtlVersion(&major, &minor), S_OK);
        QCOMPARE(major, 4u);
        QCOMPARE(minor, 0u);
        QCOMPARE(RequireComCtl471(), 0);

        // Not loadable, no loader at all, or a failing version function.
        SetCommonControlsLoader([] { return CommonControlsLibrary{false, {}}; });
        QCOMPARE(GetComCtlVersion(&major, &minor), E_FAIL);
        QCOMPARE(RequireComCtl471(), 0);
        SetCommonControlsLoader({});
        QCOMPARE(RequireComCtl471(), 0);
        SetCommonControlsLoader([] {
            return CommonControlsLibrary{true, [](DLLVERSIONINFO*) { return E_NOTIMPL; }};
        });
        QCOMPARE(GetComCtlVersion(&major, &minor), E_FAIL);
        QCOMPARE(RequireComCtl471(), 0);
    }

    void instanceLock() {
        const std::string name = "korrind test lock " + std::to_string(::getpid());
        QVERIFY(!InstanceLock::HeldElsewhere(name));
        InstanceLock first(name);
        QVERIFY(first.Acquire());
        QVERIFY(first.Held());
        QVERIFY(first.Acquire()); // again: still ours
        InstanceLock second(name);
        QVERIFY(!second.Acquire());
        QVERIFY(!second.Held());
        QVERIFY(InstanceLock::HeldElsewhere(name));
        first.Release();
        QVERIFY(!InstanceLock::HeldElsewhere(name));
        QVERIFY(second.Acquire());
    }

    // Any local user can take the name first: a holder of another account
    // does not keep the server from starting, one of root's does.
    void instanceLockCountsOnlyOurUserOrRoot() {
        if (::geteuid() != 0)
            QSKIP("acting as another user needs root");
        const std::string name = "korrind squatted lock " + std::to_string(::getpid());
        int ready[2], release[2];
        QCOMPARE(::pipe2(ready, O_CLOEXEC), 0);
        QCOMPARE(::pipe2(release, O_CLOEXEC), 0);
        pid_t squatter = ::fork();
        if (squatter == 0) {
            ::close(release[1]);
            InstanceLock squat(name);
            char held = BecomeNobody() && squat.Acquire() && squat.Held() ? '1' : '0';
            char ignored;
            if (::write(ready[1], &held, 1) == 1)
                (void)::read(release[0], &ignored, 1); // until the test closes it
            ::_exit(0);
        }
        ::close(ready[1]);
        ::close(release[0]);
        char held = 0;
        QCOMPARE(::read(ready[0], &held, 1), ssize_t(1));
        QCOMPARE(held, '1');
        {
            InstanceLock ours(name);
            QVERIFY(ours.Acquire());
            QVERIFY(!InstanceLock::HeldElsewhere(name));
        }
        ::close(release[1]);
        ::close(ready[0]);
        ::waitpid(squatter, nullptr, 0);

        InstanceLock root(name);
        QVERIFY(root.Acquire());
        QVERIFY(root.Held());
        QVERIFY(AsNobody([&] {
            InstanceLock other(name);
            return !other.Acquire() && InstanceLock::HeldElsewhere(name);
        }));
    }

    // The log path may name a folder others can write: a link or a pipe there
    // is never written through, and a new log is not readable by everyone.
    void logFileRefusesLinksAndPipes() {
        QTemporaryDir dir;
        const std::string base = dir.path().toStdString();
        const std::string victim = base + "/victim", link = base + "/link.log";
        const std::string fifo = base + "/fifo", fresh = base + "/new.log";
        std::ofstream(victim) << "kept";
        QCOMPARE(::symlink(victim.c_str(), link.c_str()), 0);
        QVERIFY(!AppendLogLine(link, "line"));
        QCOMPARE(ReadFile(victim), std::string("kept"));

        QCOMPARE(::mkfifo(fifo.c_str(), 0600), 0);
        int reader = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
        QVERIFY(!AppendLogLine(fifo, "line"));
        char byte;
        QVERIFY(::read(reader, &byte, 1) <= 0);
        ::close(reader);

        QVERIFY(AppendLogLine(fresh, "line"));
        QCOMPARE(ReadFile(fresh), std::string("line\r\n"));
        struct stat status {};
        QCOMPARE(::stat(fresh.c_str(), &status), 0);
        QCOMPARE(status.st_mode & 0007, 0u);
    }

    // A request's lines reach the file together when it ends, in order, also
    // across a nested request; a log moved away in between is made anew.
    void logBatchWritesEachRequestOnce() {
        QTemporaryDir dir;
        const std::string log = dir.path().toStdString() + "/log.txt";
        LogBatch batch;
        batch.Add(log, "alone");
        QCOMPARE(ReadFile(log), std::string("alone\r\n"));
        batch.Hold();
        batch.Add(log, "outer 1");
        batch.Hold();
        batch.Add(log, "inner");
        batch.Release(log);
        QCOMPARE(ReadFile(log), std::string("alone\r\n"));
        batch.Add(log, "");
        batch.Release(log);
        QCOMPARE(ReadFile(log), std::string("alone\r\nouter 1\r\ninner\r\n\r\n"));

        QCOMPARE(::rename(log.c_str(), (log + ".1").c_str()), 0);
        batch.Hold();
        batch.Add(log, "after rotation");
        batch.Release(log);
        QCOMPARE(ReadFile(log), std::string("after rotation\r\n"));
    }

    // Started with a capability by a user who lacks it, the program takes
    // nothing from that user's environment but the locale: not our registry
    // folder or debugger output, not Qt's plugin path or platform.
    void secureExecutionIgnoresTheCallersEnvironment() {
        if (::geteuid() != 0)
            QSKIP("giving a program a capability and acting as another user need root");
        QTemporaryDir dir;
        const std::string base = dir.path().toStdString();
        const std::string plain = base + "/plain", capable = base + "/capable";
        QCOMPARE(::chmod(base.c_str(), 0755), 0);
        for (const std::string& copy : {plain, capable}) {
            QVERIFY(std::filesystem::copy_file(KORRIND_SECURE_PROBE, copy));
            QCOMPARE(::chmod(copy.c_str(), 0755), 0);
        }
        QCOMPARE(std::system(("setcap cap_net_bind_service=+ep " + capable).c_str()), 0);
        const std::vector<std::string> hostile = {
            "OLVANI_REGISTRY_DIR=/hostile/registry", "OLVANI_DEBUG_OUTPUT=stderr",
            "QT_PLUGIN_PATH=/hostile/plugins",       "QT_QPA_PLATFORM=xcb",
            "XDG_CONFIG_HOME=/hostile/config",       "LANG=C.UTF-8"};

        std::string out = RunAsNobody(plain, hostile);
        QVERIFY2(Contains(out, "secure 0"), out.c_str());
        QVERIFY(Contains(out, "registry /hostile/registry"));
        QVERIFY(Contains(out, "env QT_PLUGIN_PATH=/hostile/plugins"));
        QVERIFY(Contains(out, "probe debug output"));

        out = RunAsNobody(capable, hostile);
        QVERIFY2(Contains(out, "secure 1"), out.c_str());
        QVERIFY(Contains(out, "registry /var/lib/olvani/registry"));
        for (const char* gone : {"OLVANI_", "QT_PLUGIN_PATH", "XDG_CONFIG_HOME", "probe debug"})
            QVERIFY2(out.find(gone) == std::string::npos, gone);
        QVERIFY(Contains(out, "env QT_QPA_PLATFORM=offscreen"));
        QVERIFY(Contains(out, "env LANG=C.UTF-8"));
    }
};

QTEST_GUILESS_MAIN(AppLogicTest)
#include "app_logic_test.moc"
