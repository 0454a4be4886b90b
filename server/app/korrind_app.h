// The application object of the BOOTP server: settings, start-up order, the
// one-instance rule, the commands it handles itself, and the engine's way
// into the window and the document.
#pragma once

#include "bootp/app_interface.h"
#include "bootp/server_socket.h"
#include "bootp/table_paths.h"
#include "server/app/control_socket.h"
#include "server/app/log_file.h"
#include "server/app/request_history.h"
#include "server/app/single_instance.h"

#include <QObject>

#include <memory>
#include <string>

namespace korrind {
class LineChannel;
}

class CKorrindDoc;
class CKorrindView;
class CMainFrame;

class CKorrindApp : public QObject, public BootpApplication {
    Q_OBJECT
public:
    // Reads the settings, as the global application object does before the
    // program's main loop. `commandTail` is the whole command line after the
    // program name, as one string. `listen` is where the engine's socket
    // goes: 0.0.0.0:67 for the program; a test of the window may ask for an
    // ephemeral loopback port, or for none.
    explicit CKorrindApp(std::string commandTail, ListenAddress listen = {});
    ~CKorrindApp() override;

    BOOL InitInstance();
    int ExitInstance();
    // InitInstance, the event loop while the main window lives, ExitInstance.
    // Returns the process's exit status.
    int Run();

    void ReadSettings();

    // korrind --show with no copy running: the window is shown once the
    // server runs.
    void ShowWindowOnStart() { m_showOnStart = true; }
    // A request of the one-instance channel (from korrind --show); the
    // answer line.
    std::string AnswerInstanceRequest(const std::string& request);

    // The gate in front of every dialog with IP address fields.
    static HRESULT GetComCtlVersion(unsigned* major, unsigned* minor);
    static int RequireComCtl471();

    // The engine's operations: status lines go to the view and the log file,
    // table operations to the document.
    void AddStatusLine(std::string line) override;
    void ClearLog() override;
    BOOL CheckTableFile() override;
    BOOL ReadTableLines() override;
    int IsListedAddress(const std::string& hardwareAddress) override;
    int InsertHAEntry(const std::string& hardwareAddress) override;

    // Between these two (the frame's socket handler) the log file's lines
    // gather and go out in one write at the end; holds nest.
    void HoldLogLines() { m_logBatch.Hold(); }
    void ReleaseLogLines() { m_logBatch.Release(m_logPath); }

    // Commands of the application object.
    void OnAppAbout();
    void OnLogEnable() { m_loggingEnabled = 1; }
    void OnLogDisable() { m_loggingEnabled = 0; }

    CKorrindDoc* Document() const { return m_document.get(); }
    const korrind::RequestHistory& History() const { return m_history; }
    korrind::RequestHistory& History() { return m_history; }
    const std::string& CommandTail() const { return m_commandTail; }
    // The table paths read from the registry at start, before the command
    // line may name another table.
    const TablePaths& StartPaths() const { return m_tablePaths; }
    const ListenAddress& EngineListen() const { return m_listen; }
    int LoggingEnabled() const { return m_loggingEnabled; }
    const std::string& LogPath() const { return m_logPath; }
    const std::string& DocumentTitle() const { return m_documentTitle; }
    // Whether the engine started (set by the frame's creation).
    void SetServerRunning(int running) { m_serverRunning = running; }
    int ServerRunning() const { return m_serverRunning; }

    // Set by the frame and the view when they come and go; the application
    // owns the frame, which owns the view.
    CMainFrame* m_pMainWnd = nullptr;
    CKorrindView* m_pView = nullptr;

private:
    // The frame accepted a close: the engine has stopped; the loop ends.
    void OnMainFrameClosed();
    // The table the engine reads: the registry's, or the command line's once
    // the engine has started.
    const std::string& EngineTablePath() const;
    // The one-instance channel and the control socket, once the engine runs.
    void OpenChannels();

    std::string m_logPath = "TRACE.TXT";
    int m_loggingEnabled = 0;
    int m_serverRunning = 1;
    korrind::LogBatch m_logBatch;

    TablePaths m_tablePaths;
    ListenAddress m_listen;
    std::string m_commandTail;
    std::string m_documentTitle;
    std::unique_ptr<CKorrindDoc> m_document;
    korrind::InstanceLock m_instance;
    std::unique_ptr<korrind::LineChannel> m_instanceChannel;
    korrind::RequestHistory m_history;
    korrind::ControlSocket m_controlSocket;
    std::unique_ptr<korrind::LineChannel> m_controlChannel;
    bool m_frameClosed = false;
    bool m_showOnStart = false;
};
