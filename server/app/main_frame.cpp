#include "server/app/main_frame.h"

#include "platform/messagebox.h"
#include "server/app/about_dlg.h"
#include "server/app/command_ids.h"
#include "server/app/korrind_app.h"
#include "server/app/korrind_view.h"
#include "server/app/request_history_view.h"
#include "server/core/korrind_doc.h"
#include "server/dialogs/dialog_commands.h"
#include "server/dialogs/help.h"

#include <QActionGroup>
#include <QCloseEvent>
#include <QLabel>
#include <QMenuBar>
#include <QSocketNotifier>
#include <QSplitter>
#include <QStatusBar>
#include <QSystemTrayIcon>

using namespace korrind;

namespace {

QAction* AddCommand(QMenu* menu, const char* caption, int id, const char* prompt) {
    QAction* action = menu->addAction(QString::fromUtf8(caption));
    action->setObjectName(QString::number(id));
    action->setStatusTip(QString::fromUtf8(prompt));
    return action;
}

} // namespace

CMainFrame::CMainFrame(CKorrindApp& app)
    : app_(app), m_server(app.StartPaths(), app.EngineListen()) {
    app_.m_pMainWnd = this;
    setWindowIcon(ProgramIcon());
    // Room for a request's lines and the history beside them.
    resize(960, 420);
    BuildMenus();
}

CMainFrame::~CMainFrame() {
    // A frame destroyed without a close still stops the engine.
    if (!stopped_) {
        delete notifier_;
        m_server.Terminate();
    }
    if (app_.m_pMainWnd == this)
        app_.m_pMainWnd = nullptr;
    app_.History().onRecord = nullptr;
}

void CMainFrame::Create(const std::string& commandTail) {
    app_.m_pMainWnd = this;
    // The status view as designed, and the latest requests beside it.
    auto* split = new QSplitter(this);
    view_ = new CKorrindView(app_, split);
    history_ = new CRequestHistoryView(
        [this](const std::string& address) { OnAddEntryFor(address); }, split);
    split->addWidget(view_);
    split->addWidget(history_);
    split->setStretchFactor(0, 1);
    split->setStretchFactor(1, 1);
    setCentralWidget(split);
    for (const korrind::RequestRecord& record : app_.History().Records())
        history_->AddRecord(record);
    app_.History().onRecord = [this](const korrind::RequestRecord& record) {
        history_->AddRecord(record);
    };
    BuildStatusBar();
    StartEngine(commandTail);
}

void CMainFrame::StartEngine(const std::string& commandTail) {
    if (!m_server.Initialize(app_, commandTail)) {
        if (!m_server.EndsProgram())
            MessageBox("The BootP Server failed to start.", kKorrindTitle,
                       MB_OK | MB_ICONEXCLAMATION);
        app_.SetServerRunning(0);
        return;
    }
    app_.SetServerRunning(1);
    if (m_server.SocketHandle() < 0)
        return; // an engine under test, started without a socket
    // One notification per waiting datagram, on this thread.
    notifier_ = new QSocketNotifier(m_server.SocketHandle(), QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &CMainFrame::OnSocketMessage);
}

void CMainFrame::OnSocketMessage() {
    // Everything queued is served here, each datagram in full and in turn,
    // so the event loop runs once per burst rather than once per datagram.
    // Each request's log lines go to the file in one write when it is done.
    app_.HoldLogLines();
    bool going = OnSocketReadEvent(m_server, app_);
    app_.ReleaseLogLines();
    for (int served = 1; going && served < kDatagramsPerNotification; ++served) {
        app_.HoldLogLines();
        int result = OnWaitingDatagram(m_server, app_);
        app_.ReleaseLogLines();
        if (result == 0)
            return;
        going = result > 0;
    }
    if (going || !m_server.EndsProgram())
        return;
    // The engine cannot go on (memory ran out): the program ends with
    // status 1, once this notification has returned.
    notifier_->setEnabled(false);
    app_.SetServerRunning(0);
    QMetaObject::invokeMethod(this, &CMainFrame::Exit, Qt::QueuedConnection);
}

void CMainFrame::Exit() {
    exitRequested_ = true;
    close();
}

void CMainFrame::closeEvent(QCloseEvent* event) {
    // Closing a window that the tray icon can bring back only hides it;
    // Exit (the menu's, the tray's, a service stop) stops the server.
    if (tray_ != nullptr && !exitRequested_) {
        hide();
        event->ignore();
        return;
    }
    if (!stopped_) {
        // The socket goes away with the engine: stop watching it first.
        delete notifier_;
        notifier_ = nullptr;
        m_server.Terminate();
        stopped_ = true;
    }
    if (tray_ != nullptr)
        tray_->hide();
    event->accept();
    emit closed();
}

void CMainFrame::BuildMenus() {
    QMenu* file = menuBar()->addMenu(QStringLiteral("&File"));
    QMenu* log = file->addMenu(QStringLiteral("&Log to disk"));
    QAction* enable = AddCommand(log, "&Enable", ID_LOG_ENABLE, "Save bootp requests to trace.txt");
    QAction* disable = AddCommand(log, "&Disable", ID_LOG_DISABLE, "Disable trace to trace.txt");
    logGroup_ = new QActionGroup(this);
    for (QAction* action : {enable, disable}) {
        action->setCheckable(true);
        logGroup_->addAction(action);
    }
    connect(enable, &QAction::triggered, this, [this] {
        app_.OnLogEnable();
        UpdateLogMarks();
    });
    connect(disable, &QAction::triggered, this, [this] {
        app_.OnLogDisable();
        UpdateLogMarks();
    });
    // The marks follow the flag whenever the menu opens, as update handlers do.
    connect(log, &QMenu::aboutToShow, this, &CMainFrame::UpdateLogMarks);
    UpdateLogMarks();
    file->addSeparator();
    connect(AddCommand(file, "E&xit", ID_APP_EXIT, "Quit Bootp server application."),
            &QAction::triggered, this, &CMainFrame::Exit);

    QMenu* configure = menuBar()->addMenu(QStringLiteral("&Configure"));
    connect(AddCommand(configure, "&Bootp Manager...", ID_BOOTP_MANAGER,
                       "List and edit bootptab file entries"),
            &QAction::triggered, this, [this] { view_->OnBootpManager(); });
    configure->addSeparator();
    connect(AddCommand(configure, "&Add Entry...", ID_ADD_ENTRY, "Add new entry to bootptab file"),
            &QAction::triggered, this, &CMainFrame::OnAddEntry);
    connect(AddCommand(configure, "&Default Settings...", ID_DEFAULT_SETTINGS,
                       "Default settings for new bootptab entries"),
            &QAction::triggered, this, &CMainFrame::OnDefaultSettings);

    QMenu* view = menuBar()->addMenu(QStringLiteral("&View"));
    connect(
        AddCommand(view, "&Clear", ID_EDIT_CLEAR, "Clear the trace messages in the main window"),
        &QAction::triggered, this, [this] { view_->ClearLog(); });

    QMenu* help = menuBar()->addMenu(QStringLiteral("&Help"));
    connect(AddCommand(help, "&Contents", ID_HELP_CONTENTS,
                       "Displays the table of contents for the on-line help"),
            &QAction::triggered, this, &CMainFrame::OnHelpContents);
    help->addSeparator();
    connect(AddCommand(help, "&About Korrind...", ID_APP_ABOUT,
                       "Display program information, version number and copyright"),
            &QAction::triggered, &app_, &CKorrindApp::OnAppAbout);
}

void CMainFrame::BuildStatusBar() {
    auto* bar = new QStatusBar(this);
    bar->setObjectName(QString::number(AFX_IDW_STATUS_BAR));
    // The key indicators stay greyed: the lock keys' state is not known to
    // a window that is usually hidden or without a keyboard at all.
    const std::pair<const char*, int> indicators[] = {
        {"CAP", ID_INDICATOR_CAPS}, {"NUM", ID_INDICATOR_NUM}, {"SCRL", ID_INDICATOR_SCRL}};
    for (const auto& [text, id] : indicators) {
        auto* pane = new QLabel(QString::fromLatin1(text), bar);
        pane->setObjectName(QString::number(id));
        pane->setEnabled(false);
        bar->addPermanentWidget(pane);
    }
    setStatusBar(bar);
}

QAction* CMainFrame::Command(int id) const {
    return findChild<QAction*>(QString::number(id));
}

void CMainFrame::UpdateLogMarks() {
    bool enabled = app_.LoggingEnabled() == 1;
    Command(ID_LOG_ENABLE)->setChecked(enabled);
    Command(ID_LOG_DISABLE)->setChecked(!enabled);
}

void CMainFrame::OnAddEntry() {
    if (CKorrindDoc* doc = app_.Document())
        AddEntryFromMenu(*doc, this, &CKorrindApp::RequireComCtl471);
}

void CMainFrame::OnAddEntryFor(const std::string& hardwareAddress) {
    if (CKorrindDoc* doc = app_.Document())
        AddEntryFromMenu(*doc, this, &CKorrindApp::RequireComCtl471, hardwareAddress);
}

void CMainFrame::OnDefaultSettings() {
    if (CKorrindDoc* doc = app_.Document())
        EditDefaultSettings(*doc, this, &CKorrindApp::RequireComCtl471);
}

void CMainFrame::OnHelpContents() {
    OpenHelp(kHelpContents);
}

void CMainFrame::InstallTrayIcon(bool trayAvailable) {
    if (tray_ != nullptr || !trayAvailable)
        return;
    tray_ = new QSystemTrayIcon(ProgramIcon(), this);
    tray_->setToolTip(QString::fromLatin1(kMainCaption));
    auto* menu = new QMenu(this);
    QAction* toggle = menu->addAction(tr("Show window"));
    connect(menu, &QMenu::aboutToShow, this, [this, toggle] {
        toggle->setText(isVisible() ? tr("Hide window") : tr("Show window"));
    });
    connect(toggle, &QAction::triggered, this, &CMainFrame::ToggleShown);
    menu->addSeparator();
    connect(menu->addAction(tr("Exit")), &QAction::triggered, this, &CMainFrame::Exit);
    tray_->setContextMenu(menu);
    connect(tray_, &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason why) {
                if (why == QSystemTrayIcon::Trigger)
                    ToggleShown();
            });
    tray_->show();
}

void CMainFrame::ToggleShown() {
    if (isVisible()) {
        hide();
        return;
    }
    ShowAndRaise();
}

void CMainFrame::ShowAndRaise() {
    show();
    raise();
    activateWindow();
}
