// The engine's lifecycle: start (command line, host tables, table file,
// socket, optional dump), one request per socket notification, and stop.
// Everything runs on the application's user-interface thread.
#pragma once

#include "bootp/app_interface.h"
#include "platform/wintypes.h"

#include <string>

// Results of StartServer.
constexpr int kStartFailed = 0;  // the reason has been shown
constexpr int kStartStarted = 1; // running
// Any switch but "-d<n>", or a dump that could not be written: nothing is
// shown, nothing is left running, and the program ends with status 1.
constexpr int kStartEndProgram = -1;

// Starts the engine for `application`. `arguments` is the whole command-line
// tail as one string: "-d<n>" sets the debug level, any other "-x" ends the
// program, anything else is the table file path.
int StartServer(BootpApplication& application, const std::string& arguments);

// Handles one waiting datagram; returns at once when none is waiting. 0 after
// a datagram was handled or refused, -1 when the application's copy of the
// table could not be brought up to date.
int ReceiveRequest();

// Handles `datagram` as if it had just been received (cut to the receive
// buffer's size), for callers without a socket: the fuzz target. A reply
// cannot be sent and gives the send error line.
int ProcessDatagram(BootpApplication& application, const BYTE* datagram, size_t length);

// Closes the socket and empties the host tables; the next start reads the
// table file again.
void StopServer();

// The debug level of the "-d<n>" argument; 0 by default.
int DebugLevel();

// The engine as the main frame holds it.
class CBootPServer {
public:
    BOOL Initialize(BootpApplication& application, const std::string& arguments);
    // After a failed Initialize: the program ends with status 1 without a
    // message (kStartEndProgram).
    bool EndsProgram() const { return endsProgram_; }
    BOOL Terminate();
    BOOL ProcessRequest();
    // The socket to watch for read events (a QSocketNotifier in the
    // application); -1 when the engine is not running.
    int SocketHandle() const;

private:
    bool endsProgram_ = false;
};

// What the main frame does for every read event on the engine's socket: clears
// the status display, frames the request with a time line and the two "outer
// most layer" lines, and ends with a separator line.
BOOL OnSocketReadEvent(CBootPServer& server, BootpApplication& application);
