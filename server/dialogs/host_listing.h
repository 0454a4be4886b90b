// The bridge between the engine's host tables and the working list: what
// the Bootp Manager lists, and the reload after changes were written.
#pragma once

#include "server/core/entry_rows.h"

#include <vector>

class CKorrindDoc;

namespace korrind {

// Every record of the engine's hardware-address table, in its iteration
// order (the IP address empty for a record without one). Comments come
// from the document's lines.
std::vector<EntryValues> ListHostTable(const CKorrindDoc& doc);

// The document's EntryRows := the listed records, without marks.
void RebuildEntryRows(CKorrindDoc& doc);

// True when some row carries a mark (new, modified or deleted).
bool HasMarkedRows(const EntryRowArray& rows);

} // namespace korrind

namespace korrind {

// Order of two list items by a column: the IP address column (2)
// numerically, hardware address (0) and host name (1) ignoring case; the
// other columns do not sort (0). Negative, 0 or positive as a before b.
int CompareListItems(const EntryRow& a, const EntryRow& b, int column);

} // namespace korrind
