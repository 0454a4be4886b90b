// The operator's most common job, end to end: a device the table does not
// know asks for BOOTP service; its hardware address is offered by
// Configure > Add Entry...; the operator completes the entry and presses OK;
// the table file holds the new entry as the server writes it, and the
// device's next request is answered with the new address.
//
// The server (application object, main window and engine) runs in this
// process, in a network namespace of its own. The clients, klibc's ipconfig
// and Debian's bootpc, run in a second namespace joined to it by a veth
// pair. That namespace is held by a child process that dies with this one,
// so nothing is left behind however the test ends. Needs root.
#include "server/app/tests/test_support.h"
#include "server/dialogs/tests/dialog_fixture.h"
#include "tests/support/message_boxes.h"

#include "server/app/command_ids.h"
#include "server/app/korrind_app.h"
#include "server/app/main_frame.h"
#include "server/dialogs/dialog_parts.h"
#include "server/dialogs/entry_checks.h"
#include "server/dialogs/entry_dlg.h"

#include <QComboBox>
#include <QDeadlineTimer>
#include <QLineEdit>
#include <QProcess>
#include <QRegularExpression>

#include <csignal>
#include <fcntl.h>
#include <functional>
#include <optional>
#include <sched.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace korrind_test;

namespace {

// Addresses inside the two namespaces only.
const QString kServerAddress = QStringLiteral("10.67.0.1");
const QString kClientMac = QStringLiteral("02:00:0a:43:00:0b");
const std::string kClientHa = "02000A43000B";
const QString kNewIp = QStringLiteral("10.67.0.20");
const QString kNewHost = QStringLiteral("bench7");
const QString kNewComment = QStringLiteral("found on the bench");

const char kIpconfig[] = "/usr/lib/klibc/bin/ipconfig";
const char kBootpc[] = "/sbin/bootpc";

// The table as the server writes it: defaults that pre-fill new entries and
// one entry for some other device.
const std::string kTable = "# OXL Bootptab file\r\n"
                           "\r\n"
                           "# global defaults\r\n"
                           "global.defaults:\\\r\n"
                           "sm=255.255.255.0:\\\r\n"
                           "gw=10.67.0.1:\r\n"
                           "\r\n"
                           "# rack\r\n"
                           "rack1:\\\r\n"
                           "ht=1:\\\r\n"
                           "ha=02000A4300A1:\\\r\n"
                           "ip=10.67.0.5:\\\r\n"
                           "sm=255.255.255.0:\\\r\n"
                           "vm=auto:\\\r\n"
                           "hn:\\\r\n"
                           "bs=auto:\\\r\n"
                           "T145=64:T146=01:T147=01\r\n";

// The file the server creates when there is none: no defaults.
const std::string kTemplate = "# OXL Bootptab file\r\n"
                              "\r\n"
                              "# global defaults\r\n"
                              "global.defaults:\\\r\n"
                              "sm=:\\\r\n"
                              "gw=:\r\n";

// What Add Entry... appends for the device.
const std::string kNewBlock = "\r\n"
                              "# found on the bench\r\n"
                              "bench7:\\\r\n"
                              "ht=1:\\\r\n"
                              "ha=02000A43000B:\\\r\n"
                              "ip=10.67.0.20:\\\r\n"
                              "sm=255.255.255.0:\\\r\n"
                              "gw=10.67.0.1:\\\r\n"
                              "vm=auto:\\\r\n"
                              "hn:\\\r\n"
                              "bs=auto:\\\r\n"
                              "T145=64:T146=01:T147=01\r\n";

// A child in a network namespace of its own, which the clients join. It is
// killed when this process ends, and the namespace and the veth pair go
// with it. Started before any thread exists.
pid_t StartClientNamespace() {
    int ready[2];
    if (::pipe2(ready, O_CLOEXEC) != 0)
        return -1;
    pid_t parent = ::getpid();
    pid_t pid = ::fork();
    if (pid == 0) {
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        // Nothing of the test's output stays open in it.
        int null = ::open("/dev/null", O_RDWR);
        for (int fd = 0; fd <= 2; ++fd)
            ::dup2(null, fd);
        char ok = ::getppid() == parent && ::unshare(CLONE_NEWNET) == 0 ? '1' : '0';
        ssize_t written = ::write(ready[1], &ok, 1);
        if (ok != '1' || written != 1)
            ::_exit(1);
        for (;;)
            ::pause();
    }
    ::close(ready[1]);
    char ok = '0';
    bool started = pid > 0 && ::read(ready[0], &ok, 1) == 1 && ok == '1';
    ::close(ready[0]);
    if (pid > 0 && !started) {
        ::kill(pid, SIGKILL);
        ::waitpid(pid, nullptr, 0);
        return -1;
    }
    return pid;
}

void StopClientNamespace(pid_t holder) {
    if (holder <= 0)
        return;
    ::kill(holder, SIGKILL);
    ::waitpid(holder, nullptr, 0);
}

// The server in this process; the frame and engine stop when it goes.
struct Server {
    CKorrindApp app{""};
    bool started = app.InitInstance() && app.ServerRunning() && app.m_pMainWnd != nullptr;
    ~Server() {
        if (app.m_pMainWnd != nullptr)
            app.m_pMainWnd->close();
        app.ExitInstance();
    }
};

// Waits (at most `seconds`) until the condition holds, while the event loop,
// and so the server, keeps running. Returns whether it holds.
bool WaitUntil(const std::function<bool()>& condition, int seconds) {
    QDeadlineTimer deadline(seconds * 1000);
    while (!condition()) {
        if (deadline.hasExpired())
            return false;
        QTest::qWait(20);
    }
    return true;
}

// A program running in the background. The command carries its own time
// limit; whatever still runs when the object goes is stopped.
class Client {
public:
    explicit Client(const QStringList& command) {
        process_.setProcessChannelMode(QProcess::MergedChannels);
        // Should this process be killed, the program goes with it.
        process_.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
        process_.start(command.front(), command.mid(1));
        if (!process_.waitForStarted(5000))
            output_ = command.front() + ": " + process_.errorString();
    }
    ~Client() { Stop(); }

    bool Running() const { return process_.state() != QProcess::NotRunning; }
    // Waits (at most `seconds`) for the end; true when the program ended on
    // its own with status 0.
    bool Succeeds(int seconds) {
        WaitUntil([this] { return !Running(); }, seconds);
        return !Running() && process_.exitStatus() == QProcess::NormalExit &&
               process_.exitCode() == 0;
    }
    void Stop() {
        if (!Running())
            return;
        process_.terminate(); // the time limit passes it on to the program
        if (!process_.waitForFinished(3000)) {
            process_.kill();
            process_.waitForFinished(3000);
        }
    }
    QString Output() {
        output_ += QString::fromLocal8Bit(process_.readAll());
        return output_;
    }

private:
    QProcess process_;
    QString output_;
};

} // namespace

class UnknownDeviceTest : public QObject {
    Q_OBJECT
public:
    UnknownDeviceTest(bool root, bool isolated, pid_t holder, QString dir)
        : root_(root), isolated_(isolated), holder_(QString::number(holder)), dir_(std::move(dir)),
          serverIf_(QStringLiteral("kfs%1").arg(::getpid())),
          clientIf_(QStringLiteral("kfc%1").arg(::getpid())) {}

private:
    std::string Path(const char* name) const { return (dir_ + "/" + name).toStdString(); }

    // A command in the clients' namespace.
    QStringList InClient(const QStringList& command) const {
        return QStringList{"nsenter", "-t", holder_, "-n"} + command;
    }
    // A client program there, with a private /run (where ipconfig writes)
    // and host name (which ipconfig sets), bounded by `seconds`, and ended
    // with the time limit itself.
    QStringList ClientProgram(int seconds, const QStringList& command) const {
        return InClient({"unshare", "-m", "-u", "sh", "-c",
                         "mount -t tmpfs tmpfs /run && exec \"$@\"", "sh", "timeout", "-k", "5",
                         QString::number(seconds), "setpriv", "--pdeathsig", "KILL"}) +
               command;
    }

    // Runs a set-up command to its end.
    static bool Run(const QStringList& command) {
        Client run(command);
        if (run.Succeeds(15))
            return true;
        qWarning("%s: %s", qPrintable(command.join(' ')), qPrintable(run.Output()));
        return false;
    }

    // Waits (bounded) until the client's end of the veth pair has a carrier.
    bool LinksUp() const {
        for (int tries = 0; tries < 100; ++tries) {
            Client link(InClient({"ip", "-o", "link", "show", "dev", clientIf_}));
            if (link.Succeeds(5) && link.Output().contains("LOWER_UP"))
                return true;
            QTest::qWait(50);
        }
        return false;
    }

    // As text, so that a failed comparison shows it.
    QString FileText(const char* name) const {
        return QString::fromStdString(ReadFile(Path(name)));
    }
    QString Log() const { return FileText("log.txt"); }

private slots:
    void initTestCase() {
        if (!root_)
            QSKIP("needs root: the test creates network namespaces and a veth pair");
        QVERIFY2(isolated_, "could not create the server's or the clients' network namespace");
        QVERIFY2(::access(kIpconfig, X_OK) == 0, "klibc ipconfig missing (klibc-utils)");
        QVERIFY2(::access(kBootpc, X_OK) == 0, "bootpc missing");

        // Server side here, client side in the holder's namespace; the
        // client starts without an address, with a route for the limited
        // broadcast only.
        QVERIFY(Run({"ip", "link", "add", serverIf_, "type", "veth", "peer", "name", clientIf_,
                     "netns", holder_}));
        QVERIFY(Run(InClient({"ip", "link", "set", "dev", clientIf_, "address", kClientMac})));
        const QString noFilter = "net.ipv4.conf.%1.rp_filter=0";
        QVERIFY(Run({"sysctl", "-qw", noFilter.arg("all"), noFilter.arg("default"),
                     noFilter.arg(serverIf_)}));
        QVERIFY(Run(InClient({"sysctl", "-qw", noFilter.arg("all"), noFilter.arg("default"),
                              noFilter.arg(clientIf_)})));
        QVERIFY(Run({"ip", "addr", "add", kServerAddress + "/24", "dev", serverIf_}));
        QVERIFY(Run({"ip", "link", "set", "dev", serverIf_, "up"}));
        QVERIFY(Run(InClient({"ip", "link", "set", "dev", "lo", "up"})));
        QVERIFY(Run(InClient({"ip", "link", "set", "dev", clientIf_, "up"})));
        QVERIFY(Run(InClient({"ip", "route", "add", "255.255.255.255/32", "dev", clientIf_})));
        QVERIFY2(LinksUp(), "the veth pair did not come up");
        messages_.emplace();
    }

    void cleanupTestCase() { messages_.reset(); }

    // Each case starts from a bare client interface and no log; its server's
    // document brings a working list of its own.
    void init() {
        ::unlink(Path("log.txt").c_str());
        ::unlink(Path("bootptab.bak").c_str());
        QVERIFY(Run(InClient({"ip", "addr", "flush", "dev", clientIf_})));
        QVERIFY(Run(InClient({"ip", "route", "replace", "255.255.255.255/32", "dev", clientIf_})));
    }

    void unknownDeviceAddedFromTheMenuIsAnswered_data() {
        QTest::addColumn<bool>("fresh");
        // A table with defaults and an entry: the dialog fills in mask and
        // gateway. A first start without a table: the operator types them.
        QTest::newRow("table with defaults") << false;
        QTest::newRow("first start") << true;
    }

    void unknownDeviceAddedFromTheMenuIsAnswered() {
        QFETCH(bool, fresh);
        const std::string before = fresh ? kTemplate : kTable;
        if (fresh)
            ::unlink(Path("bootptab").c_str());
        else
            WriteFile(Path("bootptab"), kTable);
        SetSetting("Bootptabfile", Path("bootptab"));
        SetSetting("Bootplogfile", Path("log.txt"));
        SetSetting("EnableLogging", "1");
        Server server;
        QVERIFY(server.started);
        CKorrindDoc* doc = server.app.Document();

        // The device boots: klibc's ipconfig, as an initramfs runs it, asks
        // and gets no answer, but goes on asking; its address is kept.
        Client device(ClientProgram(90, {kIpconfig, "-c", "bootp", "-t", "75", "-d", clientIf_}));
        QVERIFY2(WaitUntil([doc] { return !doc->RecentAddresses().empty(); }, 30),
                 qPrintable(device.Output() + Log()));
        QVERIFY2(Log().contains(QStringLiteral("Error:  Hardware address not found in BOOTPTAB: ") +
                                QString::fromStdString(kClientHa)),
                 qPrintable(Log()));
        QVERIFY(!Log().contains("Status: Reply to BOOTP Request has been sent"));
        QCOMPARE(doc->RecentAddresses(), std::deque<std::string>{kClientHa});
        QVERIFY2(device.Running(), qPrintable(device.Output()));

        // Configure > Add Entry...: the operator takes the offered address,
        // types host name, IP address and comment, and mask and gateway
        // when there are no defaults to keep.
        QStringList offered;
        QString shown;
        int result = -1;
        bool typed = false;
        bool servedMeanwhile = false;
        dialogtest::WhenModal<CEntryDlg>([&](CEntryDlg* dialog) {
            auto* box = dialogtest::Control<QComboBox>(*dialog, korrind::kIdAddressBox);
            auto* host = dialogtest::Control<QLineEdit>(*dialog, korrind::kIdHostName);
            if (box == nullptr || host == nullptr || !QTest::qWaitForWindowActive(dialog)) {
                dialog->reject();
                return;
            }
            for (int i = 0; i < box->count(); ++i)
                offered << box->itemText(i);
            shown = box->currentText();
            host->setFocus();
            auto type = [](const QString& keys) {
                for (QChar key : keys)
                    QTest::keyClick(QApplication::focusWidget(), key.toLatin1());
            };
            type(kNewHost);
            // The operator takes a while; the device asks again meanwhile
            // and the server, still serving, turns it away again.
            const QString notFound = QStringLiteral("Error:  Hardware address not found");
            const qsizetype refusals = Log().count(notFound);
            servedMeanwhile = WaitUntil([&] { return Log().count(notFound) > refusals; }, 20);
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            type(kNewIp);
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            typed = dialogtest::HasFocus(*dialog, korrind::kIdComment);
            type(kNewComment);
            if (fresh) {
                QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
                type(QStringLiteral("255.255.255.0"));
                QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
                typed = typed && dialogtest::HasFocus(*dialog, korrind::kIdGateway);
                type(kServerAddress);
            }
            dialogtest::Click(*dialog, korrind::kIdOk);
            result = dialog->result();
            if (dialog->isVisible())
                dialog->reject(); // a check failed; its message is recorded
        });
        QAction* addEntry = server.app.m_pMainWnd->Command(korrind::ID_ADD_ENTRY);
        QVERIFY(addEntry != nullptr);
        QCOMPARE(addEntry->objectName(), QString::number(korrind::ID_ADD_ENTRY));
        addEntry->trigger();
        QCOMPARE(offered, QStringList{QString::fromStdString(kClientHa)});
        QCOMPARE(shown, QString::fromStdString(kClientHa));
        QVERIFY(typed);
        QVERIFY(servedMeanwhile);
        QCOMPARE(messages_->texts, std::vector<std::string>{});
        QCOMPARE(result, int(QDialog::Accepted));

        // Written at once, in the server's layout, the old file kept.
        QCOMPARE(FileText("bootptab"), QString::fromStdString(before + kNewBlock));
        QCOMPARE(FileText("bootptab.bak"), QString::fromStdString(before));
        QVERIFY(doc->RecentAddresses().empty());

        // The device, still asking, gets the new address.
        QVERIFY2(device.Succeeds(80), qPrintable(device.Output()));
        const QString got = device.Output();
        QVERIFY2(got.contains("complete (bootp from " + kServerAddress + ")"), qPrintable(got));
        QVERIFY2(got.contains(
                     QRegularExpression("address: 10\\.67\\.0\\.20 +broadcast: [0-9.]+ +netmask: "
                                        "255\\.255\\.255\\.0\\b")),
                 qPrintable(got));
        QVERIFY2(got.contains(QRegularExpression("gateway: 10\\.67\\.0\\.1\\b")), qPrintable(got));
        QVERIFY2(got.contains(QRegularExpression("host +: bench7\\b")), qPrintable(got));

        // Another client on the same device, Debian's bootpc (300-byte
        // requests), gets the same.
        Client bootpc(ClientProgram(30, {kBootpc, "--dev", clientIf_, "--timeoutwait", "10"}));
        QVERIFY2(bootpc.Succeeds(40), qPrintable(bootpc.Output()));
        for (const QString& line :
             {"IPADDR='" + kNewIp + "'", QStringLiteral("NETMASK='255.255.255.0'"),
              QStringLiteral("GATEWAYS='10.67.0.1'"), "HOSTNAME='" + kNewHost + "'"})
            QVERIFY2(bootpc.Output().contains(line), qPrintable(bootpc.Output()));

        // The server's side: found by its new entry, answered from the
        // receiving interface, nothing new remembered.
        QString log = Log();
        QVERIFY2(log.contains("Status: found " + kNewIp + " " + kNewHost + ":"), qPrintable(log));
        QVERIFY2(log.contains("Status: Host IP Address is: " + kServerAddress), qPrintable(log));
        QVERIFY(log.count("Status: Reply to BOOTP Request has been sent") >= 2);
        QVERIFY(doc->RecentAddresses().empty());
        QCOMPARE(messages_->texts, std::vector<std::string>{});
        QCOMPARE(FileText("bootptab"), QString::fromStdString(before + kNewBlock));
    }

private:
    bool root_;
    bool isolated_;
    QString holder_;
    QString dir_;
    QString serverIf_;
    QString clientIf_;
    std::optional<olvani_test::MessageBoxRecorder> messages_;
};

int main(int argc, char** argv) {
    // Namespaces first, while this is the only thread.
    bool root = ::geteuid() == 0;
    if (!root)
        return korrind_test::ReportSkipped("needs root: the test creates network namespaces");
    pid_t holder = root ? StartClientNamespace() : -1;
    bool isolated = holder > 0 && EnterPrivateNetwork() && ::unshare(CLONE_NEWUTS) == 0 &&
                    // Resolves to a loopback address, so each reply names the
                    // interface it leaves by as the server.
                    ::sethostname("localhost", 9) == 0;
    int status = 1;
    {
        QTemporaryDir dir;
        ::setenv("OLVANI_REGISTRY_DIR", (dir.path() + "/registry").toLocal8Bit().constData(), 1);
        QApplication qt(argc, argv);
        UnknownDeviceTest test(root, isolated, holder, dir.path());
        status = QTest::qExec(&test, argc, argv);
    }
    StopClientNamespace(holder);
    return status;
}

#include "unknown_device_test.moc"
