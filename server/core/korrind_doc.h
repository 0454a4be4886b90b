// The server's document: the table file as a list of lines, the recently
// seen unknown hardware addresses, the defaults that pre-fill new entries,
// and the writer that applies the pending rows of EntryRows to the file.
// Single-threaded: the engine and the dialogs call it from the UI thread.
//
// It shows no message itself: every operation that can fail returns a
// DocResult with the texts for the operator, and its caller shows them
// (the application and the dialogs in message boxes, in the given order).
#pragma once

#include "platform/wintypes.h"
#include "server/core/doc_result.h"
#include "server/core/entry_rows.h"
#include "server/core/table_file.h"

#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

// Caption of every message box of the server.
inline constexpr char kKorrindTitle[] = "Korrind Application";

class CKorrindDoc {
public:
    // tablePath: the table file the engine reads (the command-line table
    // when one was given). The backup is that path followed by ".bak".
    explicit CKorrindDoc(std::string tablePath = {});
    CKorrindDoc(const CKorrindDoc&) = delete;
    CKorrindDoc& operator=(const CKorrindDoc&) = delete;

    // For a document constructed before the engine fixed its path.
    void SetTablePath(std::string tablePath);
    const std::string& TablePath() const { return tablePath_; }
    std::string BackupPath() const { return tablePath_ + ".bak"; }

    // --- The four table operations of the engine's application interface.
    // TRUE when the table exists (created from the template when missing);
    // FALSE with the message why not.
    DocResult CheckTableFile();
    // TRUE when the lines match the file; FALSE with the message why not.
    // An unchanged file costs one stat; none when `watchedUnchanged` (a
    // watch on the file saw no change since the lines were last checked).
    DocResult ReadTableLines(bool watchedUnchanged = false);
    // 1 when a row not marked deleted holds this address (ignoring case).
    int IsListedAddress(const std::string& hardwareAddress);
    // Remembers an unknown address (at most 8, oldest dropped); 1, or 0
    // with "InsertHAEntry exception".
    DocResult InsertHAEntry(const std::string& hardwareAddress);

    // Forgets a remembered address (the Add/Modify dialog took it); a
    // failure comes with "DeleteHAEntry exception".
    DocResult DeleteHAEntry(const std::string& hardwareAddress);
    // Oldest first.
    const std::deque<std::string>& RecentAddresses() const { return recentAddresses_; }

    // The working list of pending entry edits: the dialogs mark rows in it,
    // ApplyChanges writes the marked ones. It lives as long as the document.
    EntryRowArray& EntryRows() { return rows_; }
    const EntryRowArray& EntryRows() const { return rows_; }

    // Applies every marked row to the file's current content and writes
    // it. 1 when something changed and was written; 0 when nothing was
    // pending or on failure (with its messages). An edit whose entry is not
    // in the file is not made: its marks go, and a message names it (with a
    // result of 1 when other edits were written). After 1 the caller
    // re-reads the engine's table and rebuilds EntryRows.
    DocResult ApplyChanges();
    // Appends the row's entry block; 1.
    int AddEntryLines(const EntryRow& row);
    // Removes the block of the entry whose line is exactly
    // "ha=<address>:\" and, when several are, whose IP address is the one
    // the row was listed with; 0 with "Entry not found for del request".
    DocResult RemoveEntryLines(const EntryRow& row);
    // Writes the lines to the table, keeping the previous file as the
    // backup. 1, or 0 with the message why, the previous table left in
    // place.
    DocResult WriteTableFile();

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
    // What GetEntryComment gives for every host name, in one pass over the
    // lines; the texts stay valid until the lines change.
    std::unordered_map<std::string_view, std::string_view> EntryComments() const;

    // The table file, one element per line, each ending in "\n" (an element
    // may hold several lines).
    const std::vector<std::string>& Lines() const { return lines_; }
    // How often the lines were (re)loaded from disk; tells a reload from a
    // cheap unchanged check.
    uint64_t TableLoads() const { return tableLoads_; }

private:
    // Private steps that can fail add their messages to `said`.
    BOOL LoadTableLines(DocResult& said);
    // True when some row asks for a change to the file.
    bool HasPendingRows() const;
    // The row's block; previous: the fields of the entry it replaces (the
    // host name first), whose settings the dialog does not edit are kept.
    void AppendEntry(const EntryRow& row, const std::vector<std::string>& previous);
    // Takes the row's block out of the lines; its fields go to `fields`
    // when asked. False when the entry is not there.
    bool RemoveEntryBlock(const EntryRow& row, std::vector<std::string>* fields);
    void StoreDefaultLines(const std::string& mask, const std::string& gateway);

    // Makes an edit on the lines and keeps it until the lines are written;
    // false (nothing kept) when it cannot be made.
    bool Edit(std::string description, std::function<bool()> apply);
    // Reads the file again and makes the kept edits on it; the description
    // of each edit that no longer can be made, one per line.
    std::string RedoEditsOnFile(DocResult& said);
    // Forgets the kept edits; the lines are read again.
    void DropEdits(DocResult& said);
    // The lines were read from the file as it is now (an unchanged stamp
    // that can be trusted).
    bool LinesMatchFile() const;
    // They did at the last check, as far as the stamp can vouch for.
    bool LinesMatchedFile() const { return stampTrust_.Trusted() && linesComplete_; }
    // The same, or a fresh stamp unchanged and the file's bytes the same.
    bool LinesMatchFileContent() const;
    static void NoteNotWritten(const std::string& lost, bool entriesMissing, DocResult& said);
    // Waits for the lock every writer of the table takes.
    olvani::FileLock LockTable() const;
    // WriteTableFile once the table's lock is held.
    int WriteLockedTable(DocResult& said);
    // Index of the first element equal to text, from the second element on;
    // -1 when absent.
    long FindLine(const std::string& text) const;

    std::string tablePath_;
    EntryRowArray rows_;
    std::deque<std::string> recentAddresses_;
    std::string defaultGateway_;
    std::string defaultSubnetMask_;
    std::vector<std::string> lines_;

    // What the lines were last loaded from or written to. While it matches
    // the file, a reload would read the same lines.
    olvani::FileStamp loadedStamp_;
    size_t loadedHash_ = 0; // of the file's bytes
    // Whether that stamp, while unchanged, spares reading the file.
    olvani::StampTrust stampTrust_;
    // False after a failed or partial read: the lines are not a whole copy
    // of the file and must not be written over it.
    bool linesComplete_ = false;
    // The lines hold edits not yet written to the file, and these are they.
    bool linesEdited_ = false;
    struct PendingEdit {
        std::string description;
        std::function<bool()> apply;
    };
    std::vector<PendingEdit> edits_;
    uint64_t tableLoads_ = 0;
};
