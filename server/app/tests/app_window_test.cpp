// The application object, main window and status view in this process. As
// root the engine binds port 67 in a network namespace of the test's own;
// any other user's run binds a free port on the loopback interface, so the
// window is tested without privileges.
#include "test_support.h"

#include "platform/messagebox.h"
#include "server/app/comctl_version.h"
#include "server/app/command_ids.h"
#include "server/app/desktop_messagebox.h"
#include "server/app/korrind_app.h"
#include "server/app/korrind_view.h"
#include "server/app/main_frame.h"
#include "server/app/single_instance.h"
#include "server/core/korrind_doc.h"
#include "tests/support/message_boxes.h"

#include <QApplication>
#include <QDialog>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <arpa/inet.h>
#include <array>
#include <netinet/in.h>
#include <optional>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace korrind_test;

namespace {

const std::vector<uint8_t> kUnknownAddress = {0x02, 0x00, 0x0B, 0x0C, 0x0D, 0x0E};
const char kReceived[] = "Status: BOOTP Request received at outer most layer";
const char kFinished[] = "Status: BOOTP Request finished processing at outer most layer";

// Where each test's engine listens (chosen in init).
ListenAddress EngineListen;

// A loopback port that nothing is bound to just now.
uint16_t FreeLoopbackPort() {
    int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    uint16_t port = 0;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0)
        port = ntohs(address.sin_port);
    ::close(fd);
    return port;
}

bool EngineBound() {
    return PortBound(EngineListen.port);
}

bool SendToEngine(const std::vector<uint8_t>& datagram) {
    return SendToServer(datagram, EngineListen.port);
}

// Starts the server in this process; the frame and engine stop when it goes.
struct Server {
    CKorrindApp app{"", EngineListen};
    bool started = app.InitInstance() && app.ServerRunning() && app.m_pMainWnd != nullptr;
    CMainFrame& Frame() { return *app.m_pMainWnd; }
    CKorrindView& View() { return *app.m_pView; }
    const std::vector<std::string>& Lines() { return View().Lines().Lines(); }
    void Trigger(int id) { Frame().Command(id)->trigger(); }
    ~Server() {
        if (app.m_pMainWnd != nullptr)
            app.m_pMainWnd->close();
        app.ExitInstance();
    }
};

// Triggers a command and closes the modal dialog it opens; returns the
// dialog's class and caption, or an empty text when none opened.
QString ModalOf(QAction* command) {
    QString seen;
    QTimer poll;
    poll.setInterval(10);
    QObject::connect(&poll, &QTimer::timeout, [&seen] {
        if (QWidget* modal = QApplication::activeModalWidget()) {
            seen =
                QString::fromLatin1(modal->metaObject()->className()) + ": " + modal->windowTitle();
            if (auto* label = modal->findChild<QLabel*>(QStringLiteral("aboutText")))
                seen += ": " + label->text();
            qobject_cast<QDialog*>(modal)->reject();
        }
    });
    poll.start();
    command->trigger();
    return seen;
}

// Whether a line ends a request's block in the view.
bool RequestDone(const std::vector<std::string>& lines) {
    return lines.size() >= 2 && lines.back() == "    " && lines[lines.size() - 2] == kFinished;
}

} // namespace

class AppWindowTest : public QObject {
    Q_OBJECT
public:
    AppWindowTest(bool isolated, QString dir) : isolated_(isolated), dir_(std::move(dir)) {}

private:
    std::string Path(const char* name) const { return (dir_ + "/" + name).toStdString(); }

private slots:
    void initTestCase() {
        boxes_.emplace([](const olvani::MessageBoxRequest& box) {
            return olvani::DefaultMessageBoxAnswer(box.type);
        });
    }
    void cleanupTestCase() { boxes_.reset(); }

    void init() {
        EngineListen =
            isolated_ ? ListenAddress{} : ListenAddress{INADDR_LOOPBACK, FreeLoopbackPort()};
        QVERIFY(EngineListen.port != 0);
        boxes_->Clear();
        WriteFile(Path("bootptab"), ReadFile(KORRIND_EXAMPLE_TABLE));
        ::unlink(Path("log.txt").c_str());
        SetSetting("Bootptabfile", Path("bootptab"));
        SetSetting("Bootplogfile", Path("log.txt"));
        SetSetting("EnableLogging", std::nullopt);
    }

    void settings_data() {
        QTest::addColumn<QString>("value");
        QTest::addColumn<bool>("present");
        QTest::addColumn<int>("enabled");
        QTest::newRow("1") << "1" << true << 1;
        QTest::newRow("0") << "0" << true << 0;
        QTest::newRow("yes") << "yes" << true << 0;
        QTest::newRow("empty") << "" << true << 0;
        QTest::newRow("missing") << "" << false << 0;
        QTest::newRow("11") << "11" << true << 0;
    }
    void settings() {
        QFETCH(QString, value);
        QFETCH(bool, present);
        QFETCH(int, enabled);
        SetSetting("EnableLogging",
                   present ? std::optional<std::string>(value.toStdString()) : std::nullopt);
        CKorrindApp app("");
        QCOMPARE(app.LoggingEnabled(), enabled);
        QCOMPARE(app.LogPath(), Path("log.txt"));
    }

    void logPathDefaults() {
        SetSetting("EnableLogging", "1");
        SetSetting("Bootplogfile", std::nullopt);
        {
            CKorrindApp app("");
            QCOMPARE(app.LogPath(), std::string("TRACE.TXT"));
            QCOMPARE(app.LoggingEnabled(), 1);
            // Re-read: the registry's current values win, defaults first.
            SetSetting("Bootplogfile", "elsewhere.log");
            SetSetting("EnableLogging", "0");
            app.ReadSettings();
            QCOMPARE(app.LogPath(), std::string("elsewhere.log"));
            QCOMPARE(app.LoggingEnabled(), 0);
        }
        DeleteSettingsKey();
        CKorrindApp app("");
        QCOMPARE(app.LogPath(), std::string("TRACE.TXT"));
        QCOMPARE(app.LoggingEnabled(), 0);
    }

    void startUp() {
        Server server;
        QVERIFY(server.started);
        QVERIFY(boxes_->texts.empty());
        CMainFrame& frame = server.Frame();
        QCOMPARE(frame.windowTitle(), QStringLiteral("OXL Bootp Server"));
        QVERIFY(!frame.isVisible());
        QVERIFY(EngineBound());
        // The defaults come from the lines read at the engine's start.
        CKorrindDoc* doc = server.app.Document();
        QCOMPARE(doc->DefaultSubnetMask(), std::string("255.255.255.0"));
        QCOMPARE(doc->DefaultGateway(), std::string("10.77.0.1"));
        QCOMPARE(server.app.DocumentTitle(), std::string("BOOTP"));
        QCOMPARE(frame.statusBar()->objectName(), QStringLiteral("59393"));
        for (const char* pane : {"CAP", "NUM", "SCRL"}) {
            bool found = false;
            for (auto* label : frame.statusBar()->findChildren<QLabel*>())
                found = found || label->text() == QLatin1String(pane);
            QVERIFY2(found, pane);
        }
        // Settings are read again after the engine started.
        QCOMPARE(server.app.LoggingEnabled(), 0);
    }

    void menus() {
        Server server;
        QVERIFY(server.started);
        // Captions and separators in order, submenus by their captions.
        QStringList layout;
        for (QAction* top : server.Frame().menuBar()->actions()) {
            layout << top->text();
            for (QAction* item : top->menu()->actions()) {
                if (item->isSeparator()) {
                    layout << "-";
                    continue;
                }
                layout << item->text();
                if (item->menu() != nullptr) {
                    for (QAction* sub : item->menu()->actions())
                        layout << ">" + sub->text();
                }
            }
        }
        QCOMPARE(layout, QStringList({"&File", "&Log to disk", ">&Enable", ">&Disable", "-",
                                      "E&xit", "&Configure", "&Bootp Manager...", "-",
                                      "&Add Entry...", "&Default Settings...", "&View", "&Clear",
                                      "&Help", "&Contents", "-", "&About Korrind..."}));
        const std::pair<int, const char*> prompts[] = {
            {32774, "Save bootp requests to trace.txt"},
            {32773, "Disable trace to trace.txt"},
            {57665, "Quit Bootp server application."},
            {32775, "List and edit bootptab file entries"},
            {32776, "Add new entry to bootptab file"},
            {32778, "Default settings for new bootptab entries"},
            {57632, "Clear the trace messages in the main window"},
            {32779, "Displays the table of contents for the on-line help"},
            {57664, "Display program information, version number and copyright"},
        };
        for (const auto& [id, prompt] : prompts) {
            QAction* action = server.Frame().Command(id);
            QVERIFY2(action != nullptr, QByteArray::number(id));
            QCOMPARE(action->statusTip(), QString::fromLatin1(prompt));
        }
    }

    void commandsOpenDialogs() {
        Server server;
        QVERIFY(server.started);
        QCOMPARE(ModalOf(server.Frame().Command(korrind::ID_APP_ABOUT)),
                 QStringLiteral("CAboutDlg: About Korrind: OXL Korrind Application Version 1.1"));
        QCOMPARE(ModalOf(server.Frame().Command(korrind::ID_BOOTP_MANAGER)),
                 QStringLiteral("CManagerDlg: Bootp Manager"));
        QCOMPARE(ModalOf(server.Frame().Command(korrind::ID_ADD_ENTRY)),
                 QStringLiteral("CEntryDlg: Add Bootp Entry"));
        QCOMPARE(ModalOf(server.Frame().Command(korrind::ID_DEFAULT_SETTINGS)),
                 QStringLiteral("CDefaultsDlg: Default Settings"));
        QVERIFY(boxes_->texts.empty());

        // Controls older than 4.71: Add and Default Settings refuse with a
        // message, no dialog opens.
        korrind::SetCommonControlsLoader([] {
            return korrind::CommonControlsLibrary{true, [](korrind::DLLVERSIONINFO* info) {
                                                      info->dwMajorVersion = 4;
                                                      info->dwMinorVersion = 70;
                                                      return S_OK;
                                                  }};
        });
        QCOMPARE(ModalOf(server.Frame().Command(korrind::ID_ADD_ENTRY)), QString());
        QCOMPARE(ModalOf(server.Frame().Command(korrind::ID_DEFAULT_SETTINGS)), QString());
        QCOMPARE(boxes_->texts,
                 std::vector<std::string>(2, "Upgrade comctl32.dll to version 4.71"));
    }

    void desktopMessageBox() {
        // The desktop handler maps the box type to buttons and the pressed
        // button back to the answer.
        korrind::InstallDesktopMessageBox();
        QString seen;
        auto press = [&seen](QMessageBox::StandardButton button) {
            QTimer::singleShot(0, [&seen, button] {
                auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
                if (box == nullptr)
                    return;
                seen = box->windowTitle() + "|" + box->text() + "|" +
                       QString::number(box->standardButtons()) + "|" +
                       QString::number(box->standardButton(box->defaultButton()));
                box->button(button)->click();
            });
        };
        press(QMessageBox::No);
        int answer = MessageBox("Save?\n", "Korrind Application", MB_YESNO | MB_DEFBUTTON2);
        QCOMPARE(answer, IDNO);
        QCOMPARE(seen, QStringLiteral("Korrind Application|Save?|%1|%2")
                           .arg(int(QMessageBox::Yes | QMessageBox::No))
                           .arg(int(QMessageBox::No)));
        press(QMessageBox::Cancel);
        QCOMPARE(MessageBox("Go on?", "c", MB_OKCANCEL), IDCANCEL);
        press(QMessageBox::Ok);
        QCOMPARE(MessageBox("Done.", "c", MB_OK | MB_ICONEXCLAMATION), IDOK);
        initTestCase(); // the recorder again
    }

    void logToDisk() {
        Server server;
        QVERIFY(server.started);
        QAction* enable = server.Frame().Command(korrind::ID_LOG_ENABLE);
        QAction* disable = server.Frame().Command(korrind::ID_LOG_DISABLE);
        QVERIFY(!enable->isChecked());
        QVERIFY(disable->isChecked());

        // Off: the window shows the line, no file appears.
        server.app.AddStatusLine("Status: not logged");
        QCOMPARE(server.Lines().back(), std::string("Status: not logged"));
        QVERIFY(::access(Path("log.txt").c_str(), F_OK) != 0);

        server.Trigger(korrind::ID_LOG_ENABLE);
        QCOMPARE(server.app.LoggingEnabled(), 1);
        QVERIFY(enable->isChecked());
        QVERIFY(!disable->isChecked());
        server.app.AddStatusLine("Status: first");
        server.app.AddStatusLine("");
        server.app.AddStatusLine("Error:  last");
        QCOMPARE(ReadFile(Path("log.txt")), std::string("Status: first\r\n\r\nError:  last\r\n"));

        server.Trigger(korrind::ID_LOG_DISABLE);
        QCOMPARE(server.app.LoggingEnabled(), 0);
        QVERIFY(!enable->isChecked());
        QVERIFY(disable->isChecked());
        server.app.AddStatusLine("Status: after");
        QCOMPARE(ReadFile(Path("log.txt")), std::string("Status: first\r\n\r\nError:  last\r\n"));
        // The choice is not written back: the next start reads the registry.
        SetSetting("EnableLogging", std::nullopt);
        server.Trigger(korrind::ID_LOG_ENABLE);
        CKorrindApp fresh("");
        QCOMPARE(fresh.LoggingEnabled(), 0);
    }

    void viewDrawing() {
        Server server;
        QVERIFY(server.started);
        CKorrindView& view = server.View();
        view.resize(400, 300);
        int advance = view.LineAdvance();
        QFontMetrics metrics(view.font());
        QCOMPARE(advance, metrics.height() + metrics.leading());
        QVERIFY(advance > 0);

        server.app.AddStatusLine("Status: MMMMMMMM");
        server.app.AddStatusLine("Status: WWWWWWWW");
        QCOMPARE(view.Lines().NextY(), 2 * advance);
        auto inkRows = [&view] {
            QImage image = view.grab().toImage();
            std::vector<bool> rows(static_cast<size_t>(image.height()), false);
            for (int y = 0; y < image.height(); ++y)
                for (int x = 0; x < image.width(); ++x)
                    rows[static_cast<size_t>(y)] =
                        rows[static_cast<size_t>(y)] || image.pixel(x, y) != qRgb(255, 255, 255);
            return rows;
        };
        // The first line's top edge is one line advance below the top.
        std::vector<bool> rows = inkRows();
        std::array<bool, 3> bands{};
        for (size_t y = 0; y < rows.size(); ++y) {
            size_t band = y / static_cast<size_t>(advance);
            if (band < bands.size())
                bands[band] = bands[band] || rows[y];
        }
        QVERIFY(!bands[0]);
        QVERIFY(bands[1]);
        QVERIFY(bands[2]);

        // View > Clear: blank, and the next line starts one advance down again.
        server.Trigger(korrind::ID_EDIT_CLEAR);
        QVERIFY(view.Lines().Lines().empty());
        rows = inkRows();
        QVERIFY(std::none_of(rows.begin(), rows.end(), [](bool ink) { return ink; }));
        server.app.AddStatusLine("Status: again");
        QCOMPARE(view.Lines().NextY(), advance);

        // Another font, another advance.
        QFont larger = view.font();
        larger.setPixelSize(3 * advance);
        view.setFont(larger);
        QVERIFY(view.LineAdvance() > advance);
    }

    void requests() {
        SetSetting("EnableLogging", "1");
        Server server;
        QVERIFY(server.started);
        QVERIFY(SendToEngine(BootRequest(kUnknownAddress, 1)));
        QTRY_VERIFY_WITH_TIMEOUT(RequestDone(server.Lines()), 10000);
        std::vector<std::string> first = server.Lines();
        QVERIFY(first.size() >= 5);
        QVERIFY(!first[0].empty());
        QCOMPARE(first[1], std::string(kReceived));
        // The unknown address is remembered for the Add dialog.
        QCOMPARE(server.app.Document()->RecentAddresses().size(), size_t(1));
        QCOMPARE(server.app.Document()->RecentAddresses().front(), std::string("02000B0C0D0E"));

        // The next request clears the window; the log file keeps both.
        server.app.AddStatusLine("Status: between");
        QVERIFY(SendToEngine(BootRequest(kUnknownAddress, 2)));
        QTRY_VERIFY_WITH_TIMEOUT(
            RequestDone(server.Lines()) && server.Lines()[0] != "Status: between", 10000);
        QCOMPARE(server.Lines().size(), first.size());
        QCOMPARE(server.Lines()[1], std::string(kReceived));
        bool allCrLf = false;
        std::vector<std::string> logged = CrLfLines(ReadFile(Path("log.txt")), &allCrLf);
        QVERIFY(allCrLf);
        QCOMPARE(logged.size(), 2 * first.size() + 1);
        QCOMPARE(logged[first.size()], std::string("Status: between"));
        QCOMPARE(logged[1], std::string(kReceived));
        QCOMPARE(logged[first.size() + 2], std::string(kReceived));
        QVERIFY(boxes_->texts.empty());
    }

    void tableGoneIsToldOnTheNextRequest() {
        // The document returns the failure; the application shows it.
        Server server;
        QVERIFY(server.started);
        QVERIFY(::unlink(Path("bootptab").c_str()) == 0);
        QVERIFY(SendToServer(BootRequest(kUnknownAddress, 1)));
        QTRY_VERIFY_WITH_TIMEOUT(RequestDone(server.Lines()), 10000);
        QCOMPARE(boxes_->texts, std::vector<std::string>{"Problem reading bootptab file"});
    }

    void unwritableLog_data() {
        QTest::addColumn<QString>("logName");
        QTest::newRow("missing folder") << "no/such/folder/log.txt";
        QTest::newRow("pipe nobody reads") << "fifo";
    }
    void unwritableLog() {
        QFETCH(QString, logName);
        ::mkfifo(Path("fifo").c_str(), 0600);
        SetSetting("EnableLogging", "1");
        SetSetting("Bootplogfile", Path(logName.toLatin1().constData()));
        Server server;
        QVERIFY(server.started);
        for (uint32_t xid = 1; xid <= 2; ++xid) {
            server.app.AddStatusLine("Status: before");
            QVERIFY(SendToEngine(BootRequest(kUnknownAddress, xid)));
            QTRY_VERIFY_WITH_TIMEOUT(RequestDone(server.Lines()), 10000);
            QCOMPARE(server.Lines()[1], std::string(kReceived));
        }
        QVERIFY(boxes_->texts.empty());
        QVERIFY(EngineBound());
        ::unlink(Path("fifo").c_str());
    }

    void failedStart() {
        // The port taken: the bind message, then the frame's, then the end.
        int blocker = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        sockaddr_in any{};
        any.sin_family = AF_INET;
        any.sin_port = htons(EngineListen.port);
        any.sin_addr.s_addr = htonl(EngineListen.address);
        QCOMPARE(::bind(blocker, reinterpret_cast<sockaddr*>(&any), sizeof any), 0);
        CKorrindApp app("", EngineListen);
        int status = app.Run();
        ::close(blocker);
        QCOMPARE(status, 1);
        QCOMPARE(app.ServerRunning(), 0);
        QVERIFY(app.m_pMainWnd == nullptr);
        QVERIFY(app.m_pView == nullptr);
        QCOMPARE(boxes_->texts.size(), size_t(2));
        QVERIFY2(boxes_->texts[0].starts_with("The WinSock bind function failed with: "),
                 boxes_->texts[0].c_str());
        QCOMPARE(boxes_->texts[1], std::string("The BootP Server failed to start."));
        QVERIFY(!korrind::InstanceLock::HeldElsewhere(korrind::kMainCaption));
        // The engine left nothing behind: a new start succeeds.
        boxes_->Clear();
        Server server;
        QVERIFY(server.started);
    }

    void unknownSwitch() {
        // The program ends with status 1 and says nothing.
        CKorrindApp app("-x", EngineListen);
        QCOMPARE(app.Run(), 1);
        QCOMPARE(app.ServerRunning(), 0);
        QVERIFY(boxes_->texts.empty());
        QVERIFY(!EngineBound());
    }

    void secondCopy() {
        korrind::InstanceLock first(korrind::kMainCaption);
        QVERIFY(first.Acquire());
        ::unlink(Path("bootptab").c_str());
        CKorrindApp app("", EngineListen);
        QCOMPARE(app.Run(), 0);
        QCOMPARE(boxes_->texts, std::vector<std::string>{"The BootP Server is already running."});
        // Neither the socket nor the table was touched.
        QVERIFY(!EngineBound());
        QVERIFY(::access(Path("bootptab").c_str(), F_OK) != 0);
        QVERIFY(first.Held());
    }

    void engineWithoutASocket() {
        // A window under test may run its engine unbound: the table is read,
        // the menus work, nothing listens.
        EngineListen.bind = false;
        Server server;
        QVERIFY(server.started);
        QCOMPARE(server.Frame().Server().SocketHandle(), -1);
        QVERIFY(!EngineBound());
        QCOMPARE(server.app.Document()->DefaultGateway(), std::string("10.77.0.1"));
        QCOMPARE(ModalOf(server.Frame().Command(korrind::ID_DEFAULT_SETTINGS)),
                 QStringLiteral("CDefaultsDlg: Default Settings"));
        server.Trigger(korrind::ID_APP_EXIT);
        QVERIFY(boxes_->texts.empty());
    }

    void closeStopsEngine() {
        Server server;
        QVERIFY(server.started);
        QVERIFY(EngineBound());
        server.Trigger(korrind::ID_APP_EXIT);
        QVERIFY(!EngineBound());
        server.app.ExitInstance();
        QVERIFY(server.app.m_pMainWnd == nullptr);
        QVERIFY(!korrind::InstanceLock::HeldElsewhere(korrind::kMainCaption));
    }

    void closeButtonHidesBesideATrayIcon() {
        Server server;
        QVERIFY(server.started);
        server.Frame().InstallTrayIcon(true);
        server.Frame().show();
        QVERIFY(QTest::qWaitForWindowExposed(&server.Frame()));
        QVERIFY(!server.Frame().close()); // as the title bar's button asks
        QVERIFY(!server.Frame().isVisible());
        QVERIFY(EngineBound());
        server.Trigger(korrind::ID_APP_EXIT);
        QVERIFY(!EngineBound());
    }

    void closeButtonStopsWithoutATray() {
        Server server;
        QVERIFY(server.started);
        server.Frame().InstallTrayIcon(false);
        QVERIFY(server.Frame().close());
        QVERIFY(!EngineBound());
    }

private:
    bool isolated_;
    QString dir_;
    // Every box shown, answered with its default button.
    std::optional<olvani_test::MessageBoxRecorder> boxes_;
};

int main(int argc, char** argv) {
    bool isolated = EnterPrivateNetwork();
    QTemporaryDir dir;
    ::setenv("OLVANI_REGISTRY_DIR", (dir.path() + "/registry").toLocal8Bit().constData(), 1);
    QApplication qt(argc, argv);
    AppWindowTest test(isolated, dir.path());
    return QTest::qExec(&test, argc, argv);
}

#include "app_window_test.moc"
