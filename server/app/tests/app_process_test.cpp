// The korrind program as a process: start-up failure, the one-instance rule,
// headless start and service stop. Runs in a network namespace of its own.
#include "test_support.h"

#include <QCoreApplication>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace korrind_test;

namespace {

const char kAlreadyRunning[] = "Korrind Application: The BootP Server is already running.";
const char kFailed[] = "Korrind Application: The BootP Server failed to start.";
const char kBindFailed[] = "The WinSock bind function failed with: 98";

// Headless message boxes are the lines that mention a caption or the
// engine's WinSock texts; Qt's own warnings are left out.
QStringList MessageLines(const QByteArray& output) {
    QStringList lines;
    for (const QString& line : QString::fromUtf8(output).split('\n'))
        if (line.startsWith(QLatin1String("Korrind Application: ")) ||
            line.contains(QLatin1String("WinSock")))
            lines << line;
    return lines;
}

} // namespace

class AppProcessTest : public QObject {
    Q_OBJECT
public:
    explicit AppProcessTest(bool isolated) : isolated_(isolated) {}

private:
    // A korrind process on the settings of this test's registry.
    void Prepare(QProcess& process, bool headlessByItself) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("OLVANI_REGISTRY_DIR", dir_.path() + "/registry");
        env.remove("DISPLAY");
        env.remove("WAYLAND_DISPLAY");
        if (headlessByItself)
            env.remove("QT_QPA_PLATFORM");
        else
            env.insert("QT_QPA_PLATFORM", "offscreen");
        process.setProcessEnvironment(env);
        process.setWorkingDirectory(dir_.path());
        process.setProgram(KORRIND_BINARY);
    }
    std::string Path(const char* name) const { return (dir_.path() + "/" + name).toStdString(); }

private slots:
    void initTestCase() {
        if (!isolated_)
            QSKIP("needs root for a network namespace of its own");
        QVERIFY(dir_.isValid());
        ::setenv("OLVANI_REGISTRY_DIR", (dir_.path() + "/registry").toLocal8Bit().constData(), 1);
        WriteFile(Path("bootptab"), ReadFile(KORRIND_EXAMPLE_TABLE));
        SetSetting("Bootptabfile", Path("bootptab"));
        SetSetting("Bootplogfile", Path("log.txt"));
        SetSetting("EnableLogging", "1");
    }

    void portTaken() {
        int blocker = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        sockaddr_in any{};
        any.sin_family = AF_INET;
        any.sin_port = htons(67);
        QCOMPARE(::bind(blocker, reinterpret_cast<sockaddr*>(&any), sizeof any), 0);
        QProcess korrind;
        Prepare(korrind, false);
        korrind.start();
        QVERIFY(korrind.waitForFinished(30000));
        ::close(blocker);
        QCOMPARE(korrind.exitStatus(), QProcess::NormalExit);
        QCOMPARE(korrind.exitCode(), 1);
        QStringList messages = MessageLines(korrind.readAllStandardError());
        QCOMPARE(messages.size(), 2);
        QVERIFY2(messages[0].endsWith(kBindFailed), qPrintable(messages[0]));
        QCOMPARE(messages[1], QString(kFailed));
    }

    void secondCopy() {
        QProcess first;
        Prepare(first, false);
        first.start();
        QVERIFY(first.waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(Port67Bound(), 20000);

        // The second copy picks the offscreen platform by itself.
        QProcess second;
        Prepare(second, true);
        second.start();
        QVERIFY(second.waitForFinished(30000));
        QCOMPARE(second.exitCode(), 0);
        QCOMPARE(MessageLines(second.readAllStandardError()), QStringList{kAlreadyRunning});

        // The first goes on answering and logging.
        QCOMPARE(first.state(), QProcess::Running);
        QVERIFY(Port67Bound());
        QVERIFY(SendToServer(BootRequest({0x02, 0x00, 0x0B, 0x0C, 0x0D, 0x0F}, 7)));
        QTRY_VERIFY_WITH_TIMEOUT(
            ReadFile(Path("log.txt")).find("finished processing at outer most layer") !=
                std::string::npos,
            10000);

        // A service stop closes the window: the engine stops, status 0.
        first.terminate();
        QVERIFY(first.waitForFinished(10000));
        QCOMPARE(first.exitStatus(), QProcess::NormalExit);
        QCOMPARE(first.exitCode(), 0);
        QVERIFY(!Port67Bound());
        QVERIFY(MessageLines(first.readAllStandardError()).isEmpty());
    }

    void staleDisplayRunsOffscreen() {
        // A display nobody serves, as DISPLAY is after sudo from a desktop
        // that has gone (X sockets are per network namespace, like ours).
        QProcess korrind;
        Prepare(korrind, true);
        QProcessEnvironment env = korrind.processEnvironment();
        env.insert("DISPLAY", ":8471");
        korrind.setProcessEnvironment(env);
        korrind.start();
        QVERIFY(korrind.waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(Port67Bound() || korrind.state() == QProcess::NotRunning, 20000);
        QCOMPARE(korrind.state(), QProcess::Running);
        korrind.terminate();
        QVERIFY(korrind.waitForFinished(10000));
        QCOMPARE(korrind.exitStatus(), QProcess::NormalExit);
        QCOMPARE(korrind.exitCode(), 0);
        QStringList displayLines = QString::fromUtf8(korrind.readAllStandardError())
                                       .split('\n')
                                       .filter(QStringLiteral(":8471"));
        QCOMPARE(displayLines,
                 QStringList{QStringLiteral(
                     "korrind: cannot open display \":8471\"; running without a window")});
    }

private:
    bool isolated_;
    QTemporaryDir dir_;
};

int main(int argc, char** argv) {
    bool isolated = EnterPrivateNetwork();
    if (!isolated)
        return ReportSkipped("needs root for a network namespace of its own");
    QCoreApplication qt(argc, argv);
    AppProcessTest test(isolated);
    return QTest::qExec(&test, argc, argv);
}

#include "app_process_test.moc"
