// What the entry dialogs do once the operator pressed OK, without a dialog:
// rows marked in the document's working list (after the checks of
// entry_checks.h) are written by the document's writer, and the engine, the
// lines and the working list start again from the file. Each returns what
// the operator is to be told, in order: the windowed server shows it in
// message boxes (dialog_commands.h), a headless caller may print it.
#pragma once

#include "server/core/doc_result.h"
#include "server/core/entry_rows.h"

#include <string>

class CKorrindDoc;

namespace korrind {

// Writes every marked row of the document's working list. Result 1 when
// something was written; then the engine re-reads the table, the document
// its lines, and the working list is listed again from the table. When
// nothing was written, the edits still pending are named ("Not written to
// the bootptab file:" and one per line) and the working list starts again
// from the table, so no later write repeats them.
DocResult ApplyManagerChanges(CKorrindDoc& doc);

// Appends a new row with the values (already checked) and applies every
// marked row, as Configure > Add Entry... does after OK.
DocResult AddEntryAndApply(CKorrindDoc& doc, const EntryValues& values);

// New defaults into the document's lines, then the file is written; the
// defaults stay in effect whatever the write says.
DocResult StoreDefaultSettings(CKorrindDoc& doc, const std::string& gateway,
                               const std::string& subnetMask);

} // namespace korrind
