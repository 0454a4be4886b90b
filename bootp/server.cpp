#include "bootp/server.h"

#include "bootp/bootptab_reader.h"
#include "bootp/dump.h"
#include "bootp/hash_table.h"
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

namespace {

// Replies leave by the engine's socket, the way the request came in.
class SocketReplySender : public ReplySender {
public:
    explicit SocketReplySender(const RequestOrigin& origin) : origin_(origin) {}

    int SendReply(const uint8_t* reply, size_t length,
                  const ReplyDestination& destination) override {
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_port = htons(destination.port);
        to.sin_addr.s_addr = destination.address;
        return SendDatagram(reply, length, to, origin_);
    }

    uint32_t OwnAddress() override { return OwnAddressFor(origin_); }

private:
    const RequestOrigin& origin_;
};

struct EngineState {
    BootpApplication* application = nullptr;
    int debugLevel = 0;
    alignas(BootpPacket) BYTE receiveBuffer[kReceiveBufferSize] = {};
    RequestOrigin origin;
    SocketReplySender sender{origin};
};

EngineState engine;

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

void AddStatusLine(const std::string& line) {
    engine.application->AddStatusLine(line);
}

void AddErrorLine(const char* format, int error) {
    char line[96];
    std::snprintf(line, sizeof line, format, error);
    AddStatusLine(line);
}

} // namespace

int StartServer(BootpApplication& application, const std::string& arguments) {
    engine.application = &application;
    engine.debugLevel = 0;
    if (!arguments.empty()) {
        if (arguments[0] == '-' && arguments.size() > 1 && arguments[1] == 'd')
            engine.debugLevel = DebugLevelFrom(arguments.c_str() + 2);
        else if (arguments[0] == '-')
            return kStartEndProgram;
        else
            SetTablePath(arguments);
    }
    SetAutoTimeOffset(0);
    if (!CreateHostTables())
        return 0;
    if (!application.CheckTableFile())
        return 0;
    ReadHostTable();
    if (!application.ReadTableLines())
        return 0;
    if (!SetupSocket())
        return 0;
    if (engine.debugLevel != 0 && !DumpDatabase()) {
        StopServer();
        return kStartEndProgram;
    }
    return kStartStarted;
}

namespace {

// Everything after the receive, on the `length` bytes in the receive buffer.
int HandleReceived(size_t length) {
    if (length == 0) {
        AddStatusLine("Error:  The socket connection is not open.");
        return 0;
    }
    if (length < kMinimumRequestLength) {
        AddStatusLine("Error:  The BootP Server received a short packet.");
        return 0;
    }
    // A request without its vendor area reads as one with an empty area; the
    // buffer still holds the previous request there.
    if (length < kBootpPacketSize)
        std::memset(engine.receiveBuffer + length, 0, kBootpPacketSize - length);

    ReadHostTable();
    if (!engine.application->ReadTableLines())
        return -1;
    if (engine.receiveBuffer[0] == BOOTREQUEST)
        HandleRequest(engine.receiveBuffer, *engine.application, engine.sender);
    return 0;
}

} // namespace

int ReceiveRequest() {
    int error = 0;
    ssize_t length =
        ReceiveDatagram(engine.receiveBuffer, sizeof engine.receiveBuffer, engine.origin, error);
    if (length < 0) {
        // A notification that finds nothing waiting has nothing to report.
        if (error == EAGAIN || error == EWOULDBLOCK)
            return 0;
        AddErrorLine("Error:  The WinSock recvfrom function failed with: %d", error);
        return 0;
    }
    return HandleReceived(static_cast<size_t>(length));
}

int ProcessDatagram(BootpApplication& application, const BYTE* datagram, size_t length) {
    engine.application = &application;
    length = std::min(length, sizeof engine.receiveBuffer);
    std::memcpy(engine.receiveBuffer, datagram, length);
    engine.origin = RequestOrigin{};
    return HandleReceived(length);
}

void StopServer() {
    CloseServerSocket();
    ClearHostTables();
    // The next start must read the file into the emptied tables.
    ForgetHostTableFile();
}

int DebugLevel() {
    return engine.debugLevel;
}

BOOL CBootPServer::Initialize(BootpApplication& application, const std::string& arguments) {
    int result = StartServer(application, arguments);
    endsProgram_ = result == kStartEndProgram;
    return result == kStartStarted ? TRUE : FALSE;
}

BOOL CBootPServer::Terminate() {
    StopServer();
    return TRUE;
}

BOOL CBootPServer::ProcessRequest() {
    ReceiveRequest();
    return TRUE;
}

int CBootPServer::SocketHandle() const {
    return ServerSocketHandle();
}

BOOL OnSocketReadEvent(CBootPServer& server, BootpApplication& application) {
    application.ClearLog();
    char when[96];
    std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    std::strftime(when, sizeof when, "%c %p", &local);
    application.AddStatusLine(when);
    application.AddStatusLine("Status: BOOTP Request received at outer most layer");
    server.ProcessRequest();
    application.AddStatusLine("Status: BOOTP Request finished processing at outer most layer");
    application.AddStatusLine("    ");
    return TRUE;
}
