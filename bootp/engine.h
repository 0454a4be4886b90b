// Everything the engine keeps between calls, in one object: the application
// it serves, its table paths, the three host tables with what the last read
// saw of the table file, the socket, and the request being handled.
// CBootPServer owns the one the program runs; a test makes a fresh one per
// case. Not copyable: its tables and socket belong to it alone.
#pragma once

#include "bootp/app_interface.h"
#include "bootp/bootp_message.h"
#include "bootp/hash_table.h"
#include "bootp/server_socket.h"
#include "bootp/table_paths.h"
#include "bootp/table_watch.h"
#include "platform/safe_file.h"
#include "platform/wintypes.h"

#include <cstdint>

// What the last read saw of the table file. Another stamp means a new read;
// a file read too soon after it was written is read again as `trust` says.
struct TableFileCheck {
    bool valid = false;
    olvani::StampTrust trust;
    olvani::FileStamp stamp;
};

struct BootpEngine {
    BootpEngine() = default;
    // Closes the socket and frees the tables.
    ~BootpEngine();
    BootpEngine(const BootpEngine&) = delete;
    BootpEngine& operator=(const BootpEngine&) = delete;

    BootpApplication* application = nullptr;
    int debugLevel = 0; // of the "-d<n>" argument
    TablePaths paths;
    HostTables tables;
    TableFileCheck tableFile;
    TableWatch tableWatch; // spares the per-request status check of the file
    // The last ReadHostTable found the file unchanged on its watch's word,
    // without a look at it; the application's copy may rely on that too.
    bool tableVouched = false;
    int entryCount = 0;      // entries kept by the last read
    unsigned generation = 0; // reads that rebuilt the tables: tells a caller they were replaced
    ServerSocket socket;
    int32_t autoTimeOffset = 0; // seconds sent for `to=auto`
    alignas(BootpPacket) BYTE receiveBuffer[kReceiveBufferSize] = {};
    RequestOrigin origin; // of the datagram in receiveBuffer
};
