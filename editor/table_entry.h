// CBootpTableEntry: one host of the table file as the editor writes it, and
// the editor's own line-oriented reading and rewriting of that file. The
// layout is the editor's eleven-line entry: "#comment", "name:\", "ht=1:\",
// "ha=00A0B1C2D3E4:\", "ip=...:\", "sm=...:\", "gw=...:\", "vm=auto:\",
// "hn:\", "bs=auto:\" and "T145=64:T146=01:T147=01" (every line but the last
// continued by a backslash),
// each appended entry preceded by an empty line. Text on disk is UTF-8 with
// CR LF line ends.
#pragma once

#include "editor/table_store.h"

#include <string>
#include <vector>

// One row of the host list, in the columns' order.
struct BootpRow {
    std::u16string hardwareAddress;
    std::u16string hostName;
    std::u16string ipAddress;
    std::u16string comment;
    std::u16string subnetMask;
    std::u16string gateway;
};

class CBootpTableEntry {
public:
    CBootpTableEntry() = default;
    explicit CBootpTableEntry(BootpRow row) : row_(std::move(row)) {}

    const BootpRow& Row() const { return row_; }

    // The entry as text: for appending, with CR LF and two leading line
    // ends; for a rewrite, with LF line ends (made CR LF when written).
    std::u16string FormatEntry(bool forAppend) const;

    // One row per uncommented host entry of the file; none when the file
    // cannot be read.
    static void LoadIntoList(const std::u16string& tablePath, std::vector<BootpRow>& list);

    // Appends rendered text to the existing file. An open failure is shown
    // with the caption "FileOpen".
    static bool AppendToFile(const std::u16string& tablePath, const std::u16string& text);

    // False (after showing `duplicateMessage` with `caption`) when an
    // uncommented line holds "ha=" and this entry's hardware address; false
    // without a message when the file cannot be read.
    bool IsNewHardwareAddress(const std::u16string& tablePath, const std::u16string& caption,
                              const std::u16string& duplicateMessage) const;

    // Rewrites the file with the host of oldHardwareAddress replaced by
    // `text` (rendered for a rewrite). A host that is not found leaves the
    // file untouched.
    static tesslin::TableChange ReplaceInFile(const std::u16string& tablePath,
                                              const std::u16string& text,
                                              const std::u16string& oldHardwareAddress);

    // Rewrites the file without the host of hardwareAddress; every other
    // line stays as it was. A host that is not found leaves the file untouched.
    static tesslin::TableChange DeleteFromFile(const std::u16string& tablePath,
                                               const std::u16string& hardwareAddress);

private:
    BootpRow row_;
};

namespace tesslin {
// The pure text transformations behind ReplaceInFile and DeleteFromFile;
// nullopt (with a message) when the host is not there.
std::optional<std::string> ReplaceEntryText(const std::string& table, const std::string& entry,
                                            const std::string& hardwareAddress,
                                            std::string& message);
std::optional<std::string>
DeleteEntryText(const std::string& table, const std::string& hardwareAddress, std::string& message);
std::vector<BootpRow> ParseRows(const std::string& table);
} // namespace tesslin
