// What an operator uses to reach a running server: korrind --show through
// the one-instance name, --help and --version. The server runs in this
// process, in a network namespace of its own; the program is run as a
// process against it.
#include "test_support.h"

#include "platform/messagebox.h"
#include "server/app/korrind_app.h"
#include "server/app/main_frame.h"

#include <QApplication>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>
#include <unistd.h>

using namespace korrind_test;

namespace {

std::vector<std::string> Messages;

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
    void initTestCase() {
        olvani::SetMessageBoxHandler([](const olvani::MessageBoxRequest& request) {
            Messages.push_back(request.text);
            return olvani::DefaultMessageBoxAnswer(request.type);
        });
    }

    void init() {
        Messages.clear();
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
        QVERIFY(Messages.empty());
    }

private:
    QString dir_;
};

int main(int argc, char** argv) {
    if (!EnterPrivateNetwork())
        return ReportSkipped("needs root for a network namespace of its own");
    QTemporaryDir dir;
    // The other user's copy must reach the program through this folder.
    ::chmod(dir.path().toLocal8Bit().constData(), 0755);
    ::setenv("OLVANI_REGISTRY_DIR", (dir.path() + "/registry").toLocal8Bit().constData(), 1);
    QApplication qt(argc, argv);
    AppOperatorTest test(dir.path());
    return QTest::qExec(&test, argc, argv);
}

#include "app_operator_test.moc"
