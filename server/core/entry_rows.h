// The operator's pending entry edits: a working list of fixed-width rows,
// owned by the document (CKorrindDoc::EntryRows) and handed to the entry
// dialogs through it. List items refer to rows by index, so indices stay
// stable until the list is rebuilt.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

// Selectors of the six text fields; the dialogs use the same numbers for
// list columns and sorting.
enum EntryField : int {
    FieldHardwareAddress = 0,
    FieldHostName = 1,
    FieldIpAddress = 2,
    FieldComment = 3,
    FieldSubnetMask = 4,
    FieldGateway = 5,
};
constexpr int kEntryFieldCount = 6;

// One row. Text fields are NUL-terminated and never written past their end:
// SetField cuts longer text (at a UTF-8 character boundary). The host name
// field holds 79 characters, the longest name the engine keeps, so names
// from the table are never cut; a comment is cut to 64 bytes, the limit the
// entry dialog edits.
struct EntryValues;

struct EntryRow {
    bool modified = false; // changed in the Modify dialog
    bool deleted = false;  // deleted in the Bootp Manager
    bool isNew = false;    // added, not yet written
    char hardwareAddress[13] = {};
    char hostName[80] = {};
    char ipAddress[16] = {};
    char comment[65] = {};
    char subnetMask[16] = {};
    char gateway[16] = {};
    // The IP address the entry had when it was listed: with the hardware
    // address it tells which entry to change when the same address stands
    // on several subnets. Modify leaves it alone.
    char listedIpAddress[16] = {};

    // The row asks for a change to the file: added (and not deleted
    // again), deleted, or modified.
    bool HasPendingEdit() const { return isNew != deleted || (modified && !isNew); }

    // Empty for an unknown selector.
    std::string_view Field(int selector) const;
    // Copies at most FieldCapacity(selector) - 1 bytes; an unknown selector
    // is ignored.
    void SetField(int selector, std::string_view text);
    // Puts all six values in (each cut to its field); the marks stay.
    void SetValues(const EntryValues& values);
    // Size of the field's buffer including the terminating NUL; 0 when the
    // selector is unknown.
    static size_t FieldCapacity(int selector);
};

// The six values of one engine record, as the Bootp Manager reads them from
// the hardware-address table (plain data, so the rebuild needs no engine).
struct EntryValues {
    std::string hardwareAddress;
    std::string hostName;
    std::string ipAddress;
    std::string comment;
    std::string subnetMask;
    std::string gateway;
};

// Unmarked row holding the given values (each cut to its field), listed
// with its IP address.
EntryRow MakeEntryRow(const EntryValues& values);

// The row's pending edit as the operator would name it, for example
// "delete lab1 (02004C000001, 10.0.0.1)".
std::string DescribeEdit(const EntryRow& row);

class EntryRowArray {
public:
    int Count() const { return static_cast<int>(rows_.size()); }
    // Appends and returns the new index (the old count).
    int Append(const EntryRow& row);
    // Stores at index, growing with empty rows as needed; a negative index
    // is ignored.
    void StoreAt(int index, const EntryRow& row);
    void RemoveAll() { rows_.clear(); }
    // Replaces every row with unmarked rows of the given values, in order
    // (row n holds values[n]).
    void Rebuild(const std::vector<EntryValues>& values);

    // Checked access: throws std::out_of_range for a bad index.
    EntryRow& operator[](int index) { return rows_.at(static_cast<size_t>(index)); }
    const EntryRow& operator[](int index) const { return rows_.at(static_cast<size_t>(index)); }

private:
    std::vector<EntryRow> rows_;
};
