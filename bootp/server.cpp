#include "bootp/server.h"

#include "bootp/bootptab_reader.h"
#include "bootp/dump.h"
#include "bootp/hash_table.h"
#include "bootp/host_directory.h"
#include "bootp/request.h"
#include "bootp/server_socket.h"
#include "bootp/table_paths.h"
#include "bootp/vendor_area.h"

#include <arpa/inet.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <utility>

namespace {

// Replies leave by the engine's socket, the way the request came in.
class SocketReplySender : public ReplySender {
public:
    SocketReplySender(const ServerSocket& socket, const RequestOrigin& origin)
        : socket_(socket), origin_(origin) {}

    int SendReply(const uint8_t* reply, size_t length,
                  const ReplyDestination& destination) override {
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_port = htons(destination.port);
        to.sin_addr.s_addr = destination.address;
        return SendDatagram(socket_, reply, length, to, origin_);
    }

    uint32_t OwnAddress() override { return OwnAddressFor(socket_, origin_); }

private:
    const ServerSocket& socket_;
    const RequestOrigin& origin_;
};

// The value after "-d": leading blanks, an optional sign, decimal digits; 0
// when there are none.
int DebugLevelFrom(const char* text) {
    long value = std::strtol(text, nullptr, 10);
    if (value > INT_MAX)
        return INT_MAX;
    if (value < INT_MIN)
        return INT_MIN;
    return static_cast<int>(value);
}

void AddErrorLine(BootpEngine& engine, const char* format, int error) {
    char line[96];
    std::snprintf(line, sizeof line, format, error);
    engine.application->AddStatusLine(line);
    // The system's explanation of the number, on a line of its own.
    engine.application->AddStatusLine(std::string("Error:  ") + std::strerror(error));
}

} // namespace

int StartServer(BootpEngine& engine, BootpApplication& application, const std::string& arguments) {
    engine.application = &application;
    engine.debugLevel = 0;
    if (!arguments.empty()) {
        if (arguments[0] == '-' && arguments.size() > 1 && arguments[1] == 'd')
            engine.debugLevel = DebugLevelFrom(arguments.c_str() + 2);
        else if (arguments[0] == '-')
            return kStartEndProgram;
        else
            SetTablePath(engine, arguments);
    }
    engine.autoTimeOffset = 0;
    if (!CreateHostTables(engine.tables))
        return kStartEndProgram;
    if (!application.CheckTableFile())
        return 0;
    if (ReadHostTable(engine) == kReadNoMemory) {
        StopServer(engine);
        return kStartEndProgram;
    }
    if (!application.ReadTableLines())
        return 0;
    if (engine.socket.listen.bind && !SetupSocket(engine.socket))
        return 0;
    if (engine.debugLevel != 0 && !DumpDatabase(engine)) {
        StopServer(engine);
        return kStartEndProgram;
    }
    return kStartStarted;
}

namespace {

// Everything after the receive, on the `length` bytes in the receive buffer.
int HandleReceived(BootpEngine& engine, size_t length) {
    BootpApplication& application = *engine.application;
    if (length == 0) {
        application.AddStatusLine("Error:  The socket connection is not open.");
        return 0;
    }
    if (length < kMinimumRequestLength) {
        application.AddStatusLine("Error:  The BootP Server received a short packet.");
        return 0;
    }
    // A request without its vendor area reads as one with an empty area; the
    // buffer still holds the previous request there.
    if (length < kBootpPacketSize)
        std::memset(engine.receiveBuffer + length, 0, kBootpPacketSize - length);

    if (ReadHostTable(engine) == kReadNoMemory)
        return kRequestEndProgram;
    if (!application.ReadTableLines())
        return -1;
    if (engine.receiveBuffer[0] == BOOTREQUEST) {
        SocketReplySender sender(engine.socket, engine.origin);
        HandleRequest(engine, engine.receiveBuffer, application, sender);
    }
    return 0;
}

} // namespace

int ReceiveRequest(BootpEngine& engine) {
    int error = 0;
    ssize_t length = ReceiveDatagram(engine.socket, engine.receiveBuffer,
                                     sizeof engine.receiveBuffer, engine.origin, error);
    if (length < 0) {
        // A notification that finds nothing waiting has nothing to report.
        if (error == EAGAIN || error == EWOULDBLOCK)
            return 0;
        AddErrorLine(engine, "Error:  The WinSock recvfrom function failed with: %d", error);
        return 0;
    }
    return HandleReceived(engine, static_cast<size_t>(length));
}

int ProcessDatagram(BootpEngine& engine, BootpApplication& application, const BYTE* datagram,
                    size_t length) {
    engine.application = &application;
    length = std::min(length, sizeof engine.receiveBuffer);
    std::memcpy(engine.receiveBuffer, datagram, length);
    engine.origin = RequestOrigin{};
    return HandleReceived(engine, length);
}

void StopServer(BootpEngine& engine) {
    CloseServerSocket(engine.socket);
    engine.tableWatch.Stop();
    FreeHashTable(engine.tables);
    // The next start must read the file into the emptied tables.
    ForgetHostTableFile(engine);
}

CBootPServer::CBootPServer(TablePaths paths, ListenAddress listen)
    : previousListed_(HostDirectoryEngine()) {
    engine_.paths = std::move(paths);
    engine_.socket.listen = listen;
    SetHostDirectoryEngine(&engine_);
}

CBootPServer::~CBootPServer() {
    if (HostDirectoryEngine() == &engine_)
        SetHostDirectoryEngine(previousListed_);
}

BOOL CBootPServer::Initialize(BootpApplication& application, const std::string& arguments) {
    int result = StartServer(engine_, application, arguments);
    endsProgram_ = result == kStartEndProgram;
    return result == kStartStarted ? TRUE : FALSE;
}

BOOL CBootPServer::Terminate() {
    StopServer(engine_);
    return TRUE;
}

BOOL CBootPServer::ProcessRequest() {
    if (ReceiveRequest(engine_) == kRequestEndProgram) {
        endsProgram_ = true;
        return FALSE;
    }
    return TRUE;
}

const char* CBootPServer::TimeLine() {
    std::time_t now = std::time(nullptr);
    if (now != timeLineSecond_) {
        std::tm local{};
        localtime_r(&now, &local);
        std::strftime(timeLine_, sizeof timeLine_, "%c %p", &local);
        timeLineSecond_ = now;
    }
    return timeLine_;
}

namespace {

void OpeningLines(CBootPServer& server, BootpApplication& application) {
    application.ClearLog();
    application.AddStatusLine(server.TimeLine());
    application.AddStatusLine("Status: BOOTP Request received at outer most layer");
}

void ClosingLines(BootpApplication& application) {
    application.AddStatusLine("Status: BOOTP Request finished processing at outer most layer");
    application.AddStatusLine("    ");
}

} // namespace

BOOL OnSocketReadEvent(CBootPServer& server, BootpApplication& application) {
    OpeningLines(server, application);
    BOOL handled = server.ProcessRequest();
    ClosingLines(application);
    return handled;
}

int OnWaitingDatagram(CBootPServer& server, BootpApplication& application) {
    BootpEngine& engine = server.engine_;
    int error = 0;
    ssize_t length = ReceiveDatagram(engine.socket, engine.receiveBuffer,
                                     sizeof engine.receiveBuffer, engine.origin, error);
    if (length < 0 && (error == EAGAIN || error == EWOULDBLOCK))
        return 0;
    OpeningLines(server, application);
    int result = 0;
    if (length < 0)
        AddErrorLine(engine, "Error:  The WinSock recvfrom function failed with: %d", error);
    else
        result = HandleReceived(engine, static_cast<size_t>(length));
    ClosingLines(application);
    if (result == kRequestEndProgram) {
        server.endsProgram_ = true;
        return -1;
    }
    return 1;
}
