// What an operator uses to reach a running server: korrind --show through
// the one-instance name, --help and --version, and the error lines in the
// journal. The server runs in this process, in a network namespace of its
// own and with a journal socket of the test's; the program is run as a
// process against it.
#include "test_support.h"

#include "platform/messagebox.h"
#include "server/app/error_journal.h"
#include "server/app/korrind_app.h"
#include "server/app/main_frame.h"
#include "server/app/request_history_view.h"
#include "server/dialogs/dialog_parts.h"
#include "server/dialogs/entry_checks.h"
#include "tests/support/message_boxes.h"

#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <cstring>
#include <memory>

#include <sched.h>
#include <sys/mount.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

using namespace korrind_test;

namespace {

int journal = -1;

// The journal's socket in a private /run of this process's own mount
// namespace; sd_journal_send writes its datagrams there. -1 on failure.
int OwnJournal() {
    if (::unshare(CLONE_NEWNS) != 0 ||
        ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
        ::mount("tmpfs", "/run", "tmpfs", 0, "mode=0755") != 0)
        return -1;
    ::mkdir("/run/systemd", 0755);
    ::mkdir("/run/systemd/journal", 0755);
    int fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strcpy(address.sun_path, "/run/systemd/journal/socket");
    if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0)
        return -1;
    return fd;
}

// The journal entries received so far, one text per datagram.
QStringList JournalEntries() {
    static QStringList entries;
    char buffer[8192];
    ssize_t n;
    while ((n = ::recv(journal, buffer, sizeof buffer, 0)) > 0)
        entries << QString::fromUtf8(buffer, static_cast<int>(n));
    return entries;
}

struct Server {
    CKorrindApp app{""};
    bool started = app.InitInstance() && app.ServerRunning() && app.m_pMainWnd != nullptr;
    CMainFrame& Frame() { return *app.m_pMainWnd; }
    ~Server() {
        if (app.m_pMainWnd != nullptr)
            app.m_pMainWnd->close();
        app.ExitInstance();
    }
};

// Runs korrind (optionally through a prefix such as setpriv) while the
// event loop of this process goes on; returns the exit status, or -1.
// `out` gets standard output, `err` standard error.
int RunKorrind(const QStringList& arguments, QByteArray* out = nullptr, QByteArray* err = nullptr,
               const QStringList& prefix = {}) {
    QProcess process;
    QStringList all = prefix;
    all << QStringLiteral(KORRIND_BINARY) << arguments;
    process.start(all.takeFirst(), all);
    if (!process.waitForStarted(10000))
        return -1;
    if (!QTest::qWaitFor([&process] { return process.state() == QProcess::NotRunning; }, 20000))
        return -1;
    if (out != nullptr)
        *out = process.readAllStandardOutput();
    if (err != nullptr)
        *err = process.readAllStandardError();
    return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
}

} // namespace

class AppOperatorTest : public QObject {
    Q_OBJECT
public:
    explicit AppOperatorTest(QString dir) : dir_(std::move(dir)) {}

private:
    std::string Path(const char* name) const { return (dir_ + "/" + name).toStdString(); }

private slots:
    void initTestCase() { boxes_ = std::make_unique<olvani_test::MessageBoxRecorder>(); }
    void cleanupTestCase() { boxes_.reset(); }

    void init() {
        boxes_->Clear();
        WriteFile(Path("bootptab"), ReadFile(KORRIND_EXAMPLE_TABLE));
        SetSetting("Bootptabfile", Path("bootptab"));
        SetSetting("EnableLogging", std::nullopt);
    }

    void helpAndVersion() {
        QByteArray out;
        QCOMPARE(RunKorrind({"--help"}, &out), 0);
        QVERIFY2(out.startsWith("Usage: korrind"), out.constData());
        QVERIFY(out.contains("--show"));
        QCOMPARE(RunKorrind({"--version"}, &out), 0);
        QCOMPARE(out, QByteArray("korrind " OLVANI_VERSION "\n"));
        // Any other switch keeps its designed end: status 1, nothing said.
        QCOMPARE(RunKorrind({"--bogus"}, &out), 1);
        QVERIFY2(out.isEmpty(), out.constData());
    }

    void showRaisesTheHiddenWindow() {
        Server server;
        QVERIFY(server.started);
        QVERIFY(!server.Frame().isVisible());
        // Another user's request is refused: the window stays hidden.
        QVERIFY(RunKorrind({"--show"}, nullptr, nullptr,
                           {"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"}) != 0);
        QVERIFY(!server.Frame().isVisible());
        QCOMPARE(RunKorrind({"--show"}), 0);
        QVERIFY(server.Frame().isVisible());
        // A second plain launch keeps its message and leaves the first alone.
        QByteArray err;
        QCOMPARE(RunKorrind({}, nullptr, &err), 0);
        QVERIFY2(err.contains("The BootP Server is already running."), err.constData());
        QVERIFY(Port67Bound());
        QVERIFY(boxes_->texts.empty());
    }

    void errorLinesReachTheJournal() {
        Server server;
        QVERIFY(server.started);
        QVERIFY(SendToServer(BootRequest({0x02, 0x00, 0x0B, 0x0C, 0x0D, 0x0E}, 7)));
        auto refused = [] {
            for (const QString& entry : JournalEntries())
                if (entry.contains("MESSAGE=Error:  Hardware address not found in BOOTPTAB: "
                                   "02000B0C0D0E\n") &&
                    entry.contains("PRIORITY=3\n") && entry.contains("SYSLOG_IDENTIFIER=korrind\n"))
                    return true;
            return false;
        };
        QTRY_VERIFY_WITH_TIMEOUT(refused(), 10000);
        // Status lines stay out of it, and logging is off.
        for (const QString& entry : JournalEntries())
            QVERIFY2(!entry.contains("MESSAGE=Status:"), qPrintable(entry));
    }

    void historyOffersTheUnknownAddress() {
        Server server;
        QVERIFY(server.started);
        server.Frame().ShowAndRaise();
        QVERIFY(QTest::qWaitForWindowExposed(&server.Frame()));
        CRequestHistoryView* history = server.Frame().History();
        for (uint8_t last : {0x0E, 0x0F})
            QVERIFY(SendToServer(BootRequest({0x02, 0x00, 0x0B, 0x0C, 0x0D, last}, last)));
        QTRY_COMPARE_WITH_TIMEOUT(history->topLevelItemCount(), 2, 10000);
        // Newest first; copied as tab-separated lines.
        QTreeWidgetItem* older = history->topLevelItem(1);
        QCOMPARE(older->text(1), QStringLiteral("02000B0C0D0E"));
        QCOMPARE(older->text(2), QStringLiteral("unknown"));
        older->setSelected(true);
        QVERIFY(history->SelectedText().endsWith("\t02000B0C0D0E\tunknown\t\n"));

        // A double click on it opens Add Entry with that address selected,
        // not the first of the recent ones.
        QString selected;
        QTimer poll;
        poll.setInterval(10);
        QObject::connect(&poll, &QTimer::timeout, [&selected] {
            auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
            if (dialog == nullptr)
                return;
            auto* box = dialog->findChild<QComboBox*>(korrind::ControlName(korrind::kIdAddressBox));
            selected = dialog->windowTitle() + ": " + (box ? box->currentText() : QString());
            dialog->reject();
        });
        poll.start();
        QRect cell = history->visualItemRect(history->topLevelItem(0));
        // As a mouse does it: press and release, then the second press.
        QTest::mouseClick(history->viewport(), Qt::LeftButton, {}, cell.center());
        QTest::mouseDClick(history->viewport(), Qt::LeftButton, {}, cell.center());
        QCOMPARE(selected, QStringLiteral("Add Bootp Entry: 02000B0C0D0F"));
    }

    void journalRateLimit() {
        using namespace std::chrono_literals;
        korrind::RateLimit limit(3, 10s);
        auto start = korrind::RateLimit::Clock::now();
        size_t held = 0;
        int admitted = 0;
        for (int i = 0; i < 5; ++i)
            admitted += limit.Admit(start + std::chrono::seconds(i), held) ? 1 : 0;
        QCOMPARE(admitted, 3);
        QCOMPARE(held, size_t(0));
        // The next window lets lines through again and tells what it held.
        QVERIFY(limit.Admit(start + 10s, held));
        QCOMPARE(held, size_t(2));
        QVERIFY(limit.Admit(start + 11s, held));
        QCOMPARE(held, size_t(0));
    }

private:
    QString dir_;
    std::unique_ptr<olvani_test::MessageBoxRecorder> boxes_;
};

int main(int argc, char** argv) {
    if (!EnterPrivateNetwork())
        return ReportSkipped("needs root for a network namespace of its own");
    journal = OwnJournal();
    if (journal < 0)
        return ReportSkipped("needs root for a mount namespace of its own");
    QTemporaryDir dir;
    // The other user's copy must reach the program through this folder.
    ::chmod(dir.path().toLocal8Bit().constData(), 0755);
    ::setenv("OLVANI_REGISTRY_DIR", (dir.path() + "/registry").toLocal8Bit().constData(), 1);
    QApplication qt(argc, argv);
    AppOperatorTest test(dir.path());
    return QTest::qExec(&test, argc, argv);
}

#include "app_operator_test.moc"
