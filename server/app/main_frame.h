// The server's main window: menus, status bar, the status view, and the
// engine it owns. Created hidden; it exists to receive the engine's socket
// notifications and the operator's commands.
#pragma once

#include "bootp/server.h"

#include <QMainWindow>

class CKorrindApp;
class CKorrindView;
class CRequestHistoryView;
class QAction;
class QActionGroup;
class QSocketNotifier;
class QSystemTrayIcon;

class CMainFrame : public QMainWindow {
    Q_OBJECT
public:
    explicit CMainFrame(CKorrindApp& app);
    ~CMainFrame() override;

    // Window creation: the view, the status bar, then the engine. A failed
    // engine start is reported here and leaves the application's
    // server-running flag at 0; the frame itself is still created.
    void Create(const std::string& commandTail);

    // On a desktop with a system tray (trayAvailable): an icon that shows
    // and hides this window, whose close button then only hides it; Exit
    // still stops the server. Without a tray nothing happens.
    void InstallTrayIcon(bool trayAvailable);

    CKorrindView* View() const { return view_; }
    CRequestHistoryView* History() const { return history_; }
    CBootPServer& Server() { return m_server; }
    const CBootPServer& Server() const { return m_server; }
    // The menu command with this id, or nullptr.
    QAction* Command(int id) const;
    // Radio marks of Log to disk from the application's logging flag.
    void UpdateLogMarks();

    // Shows the window and brings it to the front (korrind --show, the tray).
    void ShowAndRaise();

    // File > Exit: stops the engine and closes the window, tray or not.
    void Exit();

    // One read event of the engine's socket.
    void OnSocketMessage();

signals:
    // The close was accepted and the engine is stopped.
    void closed();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void BuildMenus();
    void BuildStatusBar();
    void StartEngine(const std::string& commandTail);
    void OnAddEntry();
    // Add Entry with this hardware address selected (from the history).
    void OnAddEntryFor(const std::string& hardwareAddress);
    void OnDefaultSettings();
    void OnHelpContents();
    void ToggleShown();

    CKorrindApp& app_;
    CBootPServer m_server;
    CKorrindView* view_ = nullptr;
    CRequestHistoryView* history_ = nullptr;
    QActionGroup* logGroup_ = nullptr;
    QSocketNotifier* notifier_ = nullptr;
    QSystemTrayIcon* tray_ = nullptr;
    bool stopped_ = false;
    bool exitRequested_ = false;
};
