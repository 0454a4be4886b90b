// The engine's application for tests, fuzz targets and benchmarks: it keeps
// what the engine told it and answers as the test set it up. Header only, so
// whatever links the engine can use it.
#pragma once

#include "bootp/app_interface.h"

#include <algorithm>
#include <string>
#include <vector>

namespace olvani_test {

class RecordingApplication : public BootpApplication {
public:
    // Stands in `lines` where the engine emptied the status display.
    static constexpr const char* kCleared = "<clear>";

    // Keeps every status line in order, with kCleared marks, and the
    // addresses handed to InsertHAEntry. Without `record` nothing is kept,
    // only counted, so a fuzzer's or benchmark's millions of calls stay flat.
    explicit RecordingApplication(bool record = true) : record(record) {}

    bool record;
    std::vector<std::string> lines;
    std::vector<std::string> inserted;
    size_t lineCount = 0;

    // IsListedAddress answers 1 for these; CheckTableFile and ReadTableLines
    // answer as set.
    std::vector<std::string> listed;
    BOOL tableFileOk = TRUE;
    BOOL tableLinesOk = TRUE;
    int listedQueries = 0;
    int tableReads = 0;

    void AddStatusLine(std::string line) override {
        ++lineCount;
        if (record)
            lines.push_back(std::move(line));
    }
    void ClearLog() override {
        if (record)
            lines.push_back(kCleared);
    }
    BOOL CheckTableFile() override { return tableFileOk; }
    BOOL ReadTableLines() override {
        ++tableReads;
        return tableLinesOk;
    }
    int IsListedAddress(const std::string& address) override {
        ++listedQueries;
        return std::find(listed.begin(), listed.end(), address) != listed.end();
    }
    int InsertHAEntry(const std::string& address) override {
        if (record)
            inserted.push_back(address);
        return 1;
    }
};

} // namespace olvani_test
