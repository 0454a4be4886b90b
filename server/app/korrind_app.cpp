#include "server/app/korrind_app.h"

#include "bootp/server.h"
#include "platform/messagebox.h"
#include "platform/registry.h"
#include "server/app/about_dlg.h"
#include "server/app/comctl_version.h"
#include "server/app/command_ids.h"
#include "server/app/control_commands.h"
#include "server/app/error_journal.h"
#include "server/app/korrind_view.h"
#include "server/app/line_channel.h"
#include "server/app/log_file.h"
#include "server/app/main_frame.h"
#include "server/app/termination.h"
#include "server/core/korrind_doc.h"
#include "server/dialogs/doc_messages.h"
#include "server/dialogs/host_listing.h"
#include "server/dialogs/ip_address_edit.h"

#include <QApplication>
#include <QPalette>
#include <QSystemTrayIcon>

#include <cstdio>
#include <strings.h>

#include <utility>

namespace {

constexpr char kSettingsKey[] = "SOFTWARE\\Tarvex\\Olvani\\BootpSettings";
constexpr DWORD kValueBufferSize = 260;

// One string value of the settings key; false when the key does not open
// with full access or the value cannot be read.
bool QuerySetting(const char* name, std::string& text) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSettingsKey, 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS)
        return false;
    char buffer[kValueBufferSize] = {};
    DWORD size = kValueBufferSize;
    LONG result =
        RegQueryValueExA(key, name, nullptr, nullptr, reinterpret_cast<BYTE*>(buffer), &size);
    RegCloseKey(key);
    if (result != ERROR_SUCCESS)
        return false;
    buffer[kValueBufferSize - 1] = '\0';
    text = buffer;
    return true;
}

} // namespace

CKorrindApp::CKorrindApp(std::string commandTail, ListenAddress listen)
    : m_listen(listen), m_commandTail(std::move(commandTail)), m_instance(korrind::kMainCaption) {
    // The IP address control is our own widget; its version answers the gate.
    korrind::SetCommonControlsLoader([] {
        return korrind::CommonControlsLibrary{true, [](korrind::DLLVERSIONINFO* info) {
                                                  info->dwMajorVersion =
                                                      IpAddressEdit::Version() >> 16;
                                                  info->dwMinorVersion =
                                                      IpAddressEdit::Version() & 0xFFFF;
                                                  return S_OK;
                                              }};
    });
    // The table path is fixed once, before any window exists.
    m_tablePaths = LoadTablePaths();
    ReadSettings();
}

CKorrindApp::~CKorrindApp() {
    // The frame and its view refer to the document: they go first.
    delete m_pMainWnd;
    m_pMainWnd = nullptr;
}

void CKorrindApp::ReadSettings() {
    m_loggingEnabled = 0;
    m_logPath = "TRACE.TXT";
    std::string text;
    if (QuerySetting("EnableLogging", text) && ::strcasecmp(text.c_str(), "1") == 0)
        m_loggingEnabled = 1;
    if (QuerySetting("Bootplogfile", text))
        m_logPath = text;
}

BOOL CKorrindApp::InitInstance() {
    if (!m_instance.Acquire()) {
        MessageBox("The BootP Server is already running.", kKorrindTitle,
                   MB_OK | MB_ICONEXCLAMATION);
        return FALSE;
    }

    // Dialogs and message boxes: grey background, black text.
    QPalette palette = QApplication::palette();
    palette.setColor(QPalette::Window, QColor(192, 192, 192));
    palette.setColor(QPalette::WindowText, QColor(0, 0, 0));
    QApplication::setPalette(palette);

    // Document first, then the frame with its view, status bar and engine;
    // the defaults are read from the lines the engine start loaded.
    m_document = std::make_unique<CKorrindDoc>(m_tablePaths.table);
    auto* frame = new CMainFrame(*this);
    connect(frame, &CMainFrame::closed, this, &CKorrindApp::OnMainFrameClosed);
    frame->Create(m_commandTail);
    m_document->LoadDefaults();
    m_documentTitle = "BOOTP";

    if (!m_serverRunning) {
        // The frame has said why; closing it stops the engine and ends us.
        frame->close();
        return TRUE;
    }
    ReadSettings();
    frame->setWindowTitle(korrind::kMainCaption);
    frame->InstallTrayIcon(QSystemTrayIcon::isSystemTrayAvailable());
    OpenChannels();
    if (m_showOnStart)
        frame->ShowAndRaise();
    return TRUE;
}

void CKorrindApp::OpenChannels() {
    // korrind --show of this user (or root) reaches the window through the
    // one-instance name.
    if (m_instance.Held())
        m_instanceChannel = std::make_unique<korrind::LineChannel>(
            m_instance.Handle(), korrind::PeerIsUserOrRoot,
            [this](const std::string& line) { return AnswerInstanceRequest(line); },
            korrind::LineChannel::Limits{256, 4});
    // korrind-ctl of this user, the service's group or root.
    std::string error;
    if (!m_controlSocket.Open(korrind::ControlSocketPath(), error)) {
        std::fprintf(stderr, "korrind: no control socket: %s\n", error.c_str());
        return;
    }
    korrind::ControlContext context;
    context.doc = m_document.get();
    context.history = &m_history;
    context.show = [this] {
        if (m_pMainWnd != nullptr)
            m_pMainWnd->ShowAndRaise();
    };
    context.busy = [this] {
        return QApplication::activeModalWidget() != nullptr ||
               korrind::HasMarkedRows(m_document->EntryRows());
    };
    m_controlChannel = std::make_unique<korrind::LineChannel>(
        m_controlSocket.Handle(), korrind::PeerIsUserGroupOrRoot,
        [context](const std::string& line) { return korrind::AnswerControlRequest(line, context); },
        korrind::LineChannel::Limits{64 * 1024, 16});
}

int CKorrindApp::ExitInstance() {
    // The engine goes with the frame that holds it.
    delete m_pMainWnd;
    m_pMainWnd = nullptr;
    m_controlChannel.reset();
    m_controlSocket.Close();
    m_instanceChannel.reset();
    m_instance.Release();
    return 0;
}

int CKorrindApp::Run() {
    if (!InitInstance()) {
        ExitInstance();
        return 0;
    }
    if (m_pMainWnd != nullptr && !m_frameClosed) {
        CMainFrame* frame = m_pMainWnd;
        korrind::CloseOnTerminationSignals(frame, [frame] { frame->Exit(); });
        QApplication::exec();
    }
    ExitInstance();
    // A server that could not start tells its caller (a shell, systemd).
    return m_serverRunning ? 0 : 1;
}

std::string CKorrindApp::AnswerInstanceRequest(const std::string& request) {
    if (request != korrind::InstanceLock::kShowRequest)
        return "unknown request";
    if (m_pMainWnd == nullptr)
        return "no window";
    m_pMainWnd->ShowAndRaise();
    return korrind::InstanceLock::kDoneAnswer;
}

void CKorrindApp::OnMainFrameClosed() {
    m_frameClosed = true;
    QCoreApplication::quit();
}

void CKorrindApp::AddStatusLine(std::string line) {
    if (m_pView != nullptr)
        m_pView->AddLine(line);
    korrind::JournalErrorLine(line);
    m_history.Observe(line, std::chrono::system_clock::now());
    if (m_loggingEnabled == 0)
        return;
    // Logging is best effort: a log that cannot be written never stops the
    // server or interrupts the operator.
    m_logBatch.Add(m_logPath, line);
}

void CKorrindApp::ClearLog() {
    if (m_pView != nullptr)
        m_pView->ClearLog();
}

const std::string& CKorrindApp::EngineTablePath() const {
    return m_pMainWnd != nullptr ? m_pMainWnd->Server().TablePath() : m_tablePaths.table;
}

// The engine fixes the table path when it reads its command line, just
// before it asks for the file; the document follows it.
BOOL CKorrindApp::CheckTableFile() {
    if (!m_document)
        return FALSE;
    if (m_document->TablePath() != EngineTablePath())
        m_document->SetTablePath(EngineTablePath());
    return korrind::ShowDocResult(m_document->CheckTableFile());
}

BOOL CKorrindApp::ReadTableLines() {
    if (!m_document)
        return FALSE;
    if (m_document->TablePath() != EngineTablePath())
        m_document->SetTablePath(EngineTablePath());
    // Right after the engine's own check of the same file: when its watch
    // saw nothing since the last request, the lines checked then still
    // match, and the file need not be looked at again.
    bool vouched = false;
    if (m_pMainWnd != nullptr) {
        BootpEngine& engine = m_pMainWnd->Server().Engine();
        vouched = std::exchange(engine.tableVouched, false);
    }
    return korrind::ShowDocResult(m_document->ReadTableLines(vouched));
}

int CKorrindApp::IsListedAddress(const std::string& hardwareAddress) {
    return m_document ? m_document->IsListedAddress(hardwareAddress) : 0;
}

int CKorrindApp::InsertHAEntry(const std::string& hardwareAddress) {
    return m_document ? korrind::ShowDocResult(m_document->InsertHAEntry(hardwareAddress)) : 0;
}

HRESULT CKorrindApp::GetComCtlVersion(unsigned* major, unsigned* minor) {
    return korrind::GetComCtlVersion(major, minor);
}

int CKorrindApp::RequireComCtl471() {
    return korrind::RequireComCtl471();
}

void CKorrindApp::OnAppAbout() {
    CAboutDlg about(m_pMainWnd);
    about.exec();
}
