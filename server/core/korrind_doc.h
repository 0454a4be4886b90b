// The server's document: the table file as a list of lines, the recently
// seen unknown hardware addresses, the defaults that pre-fill new entries,
// and the writer that applies the pending rows of EntryRows to the file.
// Single-threaded: the engine and the dialogs call it from the UI thread.
#pragma once

#include "platform/wintypes.h"
#include "server/core/entry_rows.h"
#include "server/core/table_file.h"

#include <cstdint>
#include <deque>
#include <string>
#include <vector>

// Caption of every message box of the server.
inline constexpr char kKorrindTitle[] = "Korrind Application";

class CKorrindDoc {
public:
    // tablePath: the table file the engine reads (the command-line table
    // when one was given). The backup is that path followed by ".bak".
    // rows: the working list of pending edits (the process-wide one unless a
    // test brings its own).
    explicit CKorrindDoc(std::string tablePath = {}, EntryRowArray& rows = EntryRows);
    CKorrindDoc(const CKorrindDoc&) = delete;
    CKorrindDoc& operator=(const CKorrindDoc&) = delete;

    // For a document constructed before the engine fixed its path.
    void SetTablePath(std::string tablePath);
    const std::string& TablePath() const { return tablePath_; }
    std::string BackupPath() const { return tablePath_ + ".bak"; }

    // --- The four table operations of the engine's application interface.
    // TRUE when the table exists (created from the template when missing);
    // FALSE after showing why not.
    BOOL CheckTableFile();
    // TRUE when the lines match the file; FALSE after showing why not. An
    // unchanged file costs one stat.
    BOOL ReadTableLines();
    // 1 when a row not marked deleted holds this address (ignoring case).
    int IsListedAddress(const std::string& hardwareAddress);
    // Remembers an unknown address (at most 8, oldest dropped); 1, or 0
    // after a message.
    int InsertHAEntry(const std::string& hardwareAddress);

    // Forgets a remembered address (the Add/Modify dialog took it).
    void DeleteHAEntry(const std::string& hardwareAddress);
    // Oldest first.
    const std::deque<std::string>& RecentAddresses() const { return recentAddresses_; }

    // Applies every marked row to the lines and writes the file. 1 when
    // something changed and was written; 0 when nothing was pending or on
    // failure (shown). After 1 the caller re-reads the engine's table and
    // rebuilds EntryRows.
    int ApplyChanges();
    // Appends the row's entry block; 1.
    int AddEntryLines(const EntryRow& row);
    // Removes the block of the entry whose line is exactly
    // "ha=<address>:\" ; 0 after "Entry not found for del request".
    int RemoveEntryLines(const EntryRow& row);
    // Writes the lines to the table, keeping the previous file as the
    // backup. 1, or 0 after a message with the previous table left in place.
    int WriteTableFile();

    // Reads the defaults from the global.defaults entry of the lines.
    void LoadDefaults();
    // Puts the defaults into the lines (the caller then writes the file).
    void StoreDefaults();
    const std::string& DefaultGateway() const { return defaultGateway_; }
    const std::string& DefaultSubnetMask() const { return defaultSubnetMask_; }
    void SetDefaultGateway(std::string gateway) { defaultGateway_ = std::move(gateway); }
    void SetDefaultSubnetMask(std::string mask) { defaultSubnetMask_ = std::move(mask); }

    // The comment line just above the entry's "<host>:\" line, trimmed;
    // empty when there is none.
    std::string GetEntryComment(const std::string& hostName) const;

    // The table file, one element per line, each ending in "\n" (an element
    // may hold several lines).
    const std::vector<std::string>& Lines() const { return lines_; }
    // How often the lines were (re)loaded from disk; tells a reload from a
    // cheap unchanged check.
    uint64_t TableLoads() const { return tableLoads_; }

private:
    void ShowMessage(const std::string& text) const;
    BOOL LoadTableLines();
    // Index of the first element equal to text, from the second element on;
    // -1 when absent.
    long FindLine(const std::string& text) const;

    std::string tablePath_;
    EntryRowArray& rows_;
    std::deque<std::string> recentAddresses_;
    std::string defaultGateway_;
    std::string defaultSubnetMask_;
    std::vector<std::string> lines_;

    // What the lines were last loaded from or written to. While it matches
    // the file, a reload would read the same lines.
    FileStamp loadedStamp_;
    bool stampTrusted_ = false;
    // False after a failed or partial read: the lines are not a whole copy
    // of the file and must not be written over it.
    bool linesComplete_ = false;
    // The lines hold edits not yet written to the file.
    bool linesEdited_ = false;
    uint64_t tableLoads_ = 0;
};
