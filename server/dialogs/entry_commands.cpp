#include "server/dialogs/entry_commands.h"

#include "bootp/host_directory.h"
#include "server/core/korrind_doc.h"
#include "server/dialogs/host_listing.h"

namespace korrind {
namespace {

void Append(DocResult& said, DocResult more) {
    for (DocMessage& message : more.messages)
        said.messages.push_back(std::move(message));
}

// Changes that could not be written and whose dialog is gone: they are
// named, and the working list starts again from the table.
void DropUnwrittenEdits(CKorrindDoc& doc, DocResult& said) {
    const EntryRowArray& rows = doc.EntryRows();
    std::string unwritten;
    for (int i = 0; i < rows.Count(); ++i) {
        if (rows[i].HasPendingEdit())
            unwritten += "\n" + DescribeEdit(rows[i]);
    }
    if (!unwritten.empty())
        said.Add(DocMessageId::notWritten, "Not written to the bootptab file:" + unwritten);
    RebuildEntryRows(doc);
}

} // namespace

DocResult ApplyManagerChanges(CKorrindDoc& doc) {
    DocResult said = doc.ApplyChanges();
    if (said.result != 1) {
        said.result = 0;
        DropUnwrittenEdits(doc, said);
        return said;
    }
    RereadHostTable();
    Append(said, doc.ReadTableLines());
    RebuildEntryRows(doc);
    return said;
}

DocResult AddEntryAndApply(CKorrindDoc& doc, const EntryValues& values) {
    EntryRow row = MakeEntryRow(values);
    row.isNew = true;
    doc.EntryRows().Append(row);
    return ApplyManagerChanges(doc);
}

DocResult StoreDefaultSettings(CKorrindDoc& doc, const std::string& gateway,
                               const std::string& subnetMask) {
    doc.SetDefaultGateway(gateway);
    doc.SetDefaultSubnetMask(subnetMask);
    doc.StoreDefaults();
    return doc.WriteTableFile();
}

} // namespace korrind
