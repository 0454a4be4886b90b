// The six operations the engine calls in the application that hosts it. All
// are called on the user-interface thread, synchronously, and none may call
// back into the engine. The server application supplies the real one; tests
// supply a recorder.
#pragma once

#include "platform/wintypes.h"

#include <string>

class BootpApplication {
public:
    virtual ~BootpApplication() = default;

    // One line without terminator, shown in arrival order (and logged to the
    // log file when logging is on). Always returns.
    virtual void AddStatusLine(std::string line) = 0;
    // Empties the status display; the log file is untouched.
    virtual void ClearLog() = 0;
    // TRUE: a table file exists at the table path (created from the default
    // template when missing). FALSE: the reason was shown; start-up fails.
    virtual BOOL CheckTableFile() = 0;
    // TRUE: the application's copy of the table lines matches the file.
    // FALSE: the reason was shown; the datagram (or start-up) is abandoned.
    virtual BOOL ReadTableLines() = 0;
    // 1 when the pending entry list holds this hardware address (text form,
    // compared without regard to case) in a row not marked deleted.
    virtual int IsListedAddress(const std::string& hardwareAddress) = 0;
    // Remembers an unknown address for the Add dialog; the result is unused.
    virtual int InsertHAEntry(const std::string& hardwareAddress) = 0;
};
