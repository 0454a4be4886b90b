// The engine's lifecycle: start (command line, host tables, table file,
// socket, optional dump), one request per socket notification, and stop.
// Everything runs on the application's user-interface thread.
#pragma once

#include "bootp/app_interface.h"
#include "bootp/engine.h"
#include "platform/wintypes.h"

#include <ctime>
#include <string>

// Results of StartServer.
constexpr int kStartFailed = 0;  // the reason has been shown
constexpr int kStartStarted = 1; // running
// Any switch but "-d<n>", a dump that could not be written, or no memory for
// the tables: nothing is shown, nothing is left running, and the program
// ends with status 1.
constexpr int kStartEndProgram = -1;

// Starts `engine` for `application`. `arguments` is the whole command-line
// tail as one string: "-d<n>" sets the debug level, any other "-x" ends the
// program, anything else is the table file path.
int StartServer(BootpEngine& engine, BootpApplication& application, const std::string& arguments);

// A result of ReceiveRequest: memory ran out while the changed table file was
// read; the program ends with status 1 without a message.
constexpr int kRequestEndProgram = -2;

// Handles one waiting datagram; returns at once when none is waiting. 0 after
// a datagram was handled or refused, -1 when the application's copy of the
// table could not be brought up to date, kRequestEndProgram.
int ReceiveRequest(BootpEngine& engine);

// Handles `datagram` as if it had just been received (cut to the receive
// buffer's size), for callers without a socket: the fuzz target. A reply
// cannot be sent and gives the send error line.
int ProcessDatagram(BootpEngine& engine, BootpApplication& application, const BYTE* datagram,
                    size_t length);

// Closes the socket and empties the host tables; the next start reads the
// table file again.
void StopServer(BootpEngine& engine);

// The engine as the main frame holds it. While it lives, its engine is the
// one the application's host listing sees (host_directory.h).
class CBootPServer {
public:
    // `paths` as the program read them at start; `listen` where the socket
    // goes (tests: an ephemeral loopback port, or none).
    explicit CBootPServer(TablePaths paths = {}, ListenAddress listen = {});
    ~CBootPServer();
    CBootPServer(const CBootPServer&) = delete;
    CBootPServer& operator=(const CBootPServer&) = delete;

    BOOL Initialize(BootpApplication& application, const std::string& arguments);
    // After a failed Initialize or ProcessRequest: the program ends with
    // status 1 without a message (kStartEndProgram, kRequestEndProgram).
    bool EndsProgram() const { return endsProgram_; }
    BOOL Terminate();
    // FALSE when the program must end (EndsProgram).
    BOOL ProcessRequest();
    // The local time as the time line shows it ("%c %p"), formatted once a
    // second: a burst of requests shares it.
    const char* TimeLine();
    // The socket to watch for read events (a QSocketNotifier in the
    // application); -1 when the engine is not running or runs without one.
    int SocketHandle() const { return engine_.socket.fd; }
    // The table file the engine reads (the command line may have named it).
    const std::string& TablePath() const { return engine_.paths.table; }
    BootpEngine& Engine() { return engine_; }
    const BootpEngine& Engine() const { return engine_; }

private:
    friend int OnWaitingDatagram(CBootPServer& server, BootpApplication& application);

    BootpEngine engine_;
    BootpEngine* previousListed_ = nullptr;
    bool endsProgram_ = false;
    std::time_t timeLineSecond_ = -1;
    char timeLine_[96] = {};
};

// What the main frame does for every read event on the engine's socket: clears
// the status display, frames the request with a time line and the two "outer
// most layer" lines, and ends with a separator line. ProcessRequest's result.
BOOL OnSocketReadEvent(CBootPServer& server, BootpApplication& application);

// The same for the next datagram waiting, so one notification can serve a
// burst, each datagram in full and in turn: 1 after one was handled, 0 when
// none was waiting (nothing happens, nothing is shown), -1 when the program
// must end (EndsProgram).
int OnWaitingDatagram(CBootPServer& server, BootpApplication& application);

// How many datagrams one notification serves at most, so that the window,
// its dialogs and the stop signals get their turn under a flood.
constexpr int kDatagramsPerNotification = 64;
