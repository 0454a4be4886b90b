// The server's widget-free pieces: the version gate, the one-instance lock
// and what the log file refuses. The log's lines and layout are checked
// through the window.
#include "server/app/comctl_version.h"
#include "server/app/log_file.h"
#include "server/app/single_instance.h"

#include <QTemporaryDir>
#include <QTest>

#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
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

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream all;
    all << in.rdbuf();
    return all.str();
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
        QCOMPARE(ReadAll(victim), std::string("kept"));

        QCOMPARE(::mkfifo(fifo.c_str(), 0600), 0);
        int reader = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
        QVERIFY(!AppendLogLine(fifo, "line"));
        char byte;
        QVERIFY(::read(reader, &byte, 1) <= 0);
        ::close(reader);

        QVERIFY(AppendLogLine(fresh, "line"));
        QCOMPARE(ReadAll(fresh), std::string("line\r\n"));
        struct stat status {};
        QCOMPARE(::stat(fresh.c_str(), &status), 0);
        QCOMPARE(status.st_mode & 0007, 0u);
    }
};

QTEST_GUILESS_MAIN(AppLogicTest)
#include "app_logic_test.moc"
