#include "server/core/korrind_doc.h"

#include "bootp/bootptab_scan.h"
#include "bootp/table_paths.h"
#include "server/core/entry_block.h"
#include "server/core/line_text.h"

#include <algorithm>
#include <exception>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// A row value as one line of the file: a stray line end would start a
// bogus line of its own.
std::string OneLine(std::string_view value) {
    std::string text(value);
    std::replace_if(
        text.begin(), text.end(), [](char c) { return c == '\r' || c == '\n'; }, ' ');
    return text;
}

// The gateway line's value: a whole list the entry had stays when the
// dialog kept its first address, the one it shows.
std::string GatewayField(const std::string& gateway, const std::vector<std::string>& previous) {
    std::string list;
    if (gateway.empty() || !LastFieldValue(previous, "gw", list))
        return gateway;
    uint32_t shown = 0;
    uint32_t first = 0;
    const char* p = gateway.c_str();
    const char* q = list.c_str();
    return ScanAddress(&p, &shown) && ScanAddress(&q, &first) && shown == first ? list : gateway;
}

// The entry's lines after the gateway: the server's usual settings, then
// every field of the previous entry that the dialog does not edit. A field
// of the previous entry replaces the usual one with the same tag.
std::string TailLines(const std::vector<std::string>& previous) {
    static const std::string_view kEdited[] = {"ht", "ha", "ip", "sm", "gw"};
    std::vector<std::string> kept;
    for (size_t i = 1; i < previous.size(); ++i) {
        std::string_view tag = FieldTag(previous[i]);
        if (std::find(std::begin(kEdited), std::end(kEdited), tag) == std::end(kEdited))
            kept.push_back(OneLine(previous[i]));
    }
    auto usual = [&kept](std::string_view field) {
        auto same = std::find(kept.begin(), kept.end(), field);
        if (same != kept.end()) {
            kept.erase(same); // written here, in the usual place
            return true;
        }
        return std::none_of(kept.begin(), kept.end(), [&](const std::string& own) {
            return FieldTag(own) == FieldTag(field);
        });
    };
    std::vector<std::string> lines;
    for (std::string_view field : {"vm=auto", "hn", "bs=auto"}) {
        if (usual(field))
            lines.emplace_back(field);
    }
    std::string generic;
    for (std::string_view field : {"T145=64", "T146=01", "T147=01"}) {
        if (usual(field))
            generic += (generic.empty() ? "" : ":") + std::string(field);
    }
    if (!generic.empty())
        lines.push_back(generic);
    lines.insert(lines.end(), kept.begin(), kept.end());
    std::string text;
    for (size_t i = 0; i < lines.size(); ++i)
        text += lines[i] + (i + 1 < lines.size() ? ":\\\n" : "\n");
    return text;
}

} // namespace

// --- Pending edits: made on the lines at once and kept until written, so
// that they can be made again on a file another program changed meanwhile.

bool CKorrindDoc::Edit(std::string description, std::function<bool()> apply) {
    if (!apply())
        return false;
    edits_.push_back({std::move(description), std::move(apply)});
    linesEdited_ = true;
    return true;
}

std::string CKorrindDoc::RedoEditsOnFile(DocResult& said) {
    std::vector<PendingEdit> edits = std::move(edits_);
    edits_.clear();
    std::string lost;
    if (!LoadTableLines(said))
        return lost;
    for (PendingEdit& edit : edits) {
        if (!Edit(edit.description, std::move(edit.apply)))
            lost += "\n" + edit.description;
    }
    return lost;
}

void CKorrindDoc::DropEdits(DocResult& said) {
    edits_.clear();
    LoadTableLines(said);
}

bool CKorrindDoc::LinesMatchFile() const {
    struct stat status;
    return stampTrust_.Trusted() && linesComplete_ && ::stat(tablePath_.c_str(), &status) == 0 &&
           olvani::FileStamp::Of(status) == loadedStamp_;
}

bool CKorrindDoc::LinesMatchFileContent() const {
    if (LinesMatchFile())
        return true;
    // A stamp too fresh to prove anything: the bytes tell, and reading
    // them costs far less than taking the lines apart again.
    struct stat status;
    if (!linesComplete_ || ::stat(tablePath_.c_str(), &status) != 0 ||
        !(olvani::FileStamp::Of(status) == loadedStamp_))
        return false;
    int fd = ::open(tablePath_.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    std::string text;
    bool read = ReadWholeFile(fd, text).ok;
    ::close(fd);
    return read && std::hash<std::string_view>{}(text) == loadedHash_;
}

void CKorrindDoc::NoteNotWritten(const std::string& lost, bool entriesMissing, DocResult& said) {
    if (lost.empty())
        return;
    if (entriesMissing)
        said.Add(DocMessageId::entryNotFound,
                 "Entry not found for del request\n\nNot written to the bootptab file:" + lost);
    else
        said.Add(DocMessageId::notWritten, "Not written to the bootptab file:" + lost);
}

// --- The table writer

olvani::FileLock CKorrindDoc::LockTable() const {
    // Every writer of the table (this server, the settings editor) locks
    // the same companion file. One that cannot be opened (a folder we may
    // not write) costs the exclusion, not the write.
    olvani::FileLock lock;
    (void)olvani::LockFile(tablePath_ + ".lock", lock);
    return lock;
}

DocResult CKorrindDoc::ApplyChanges() {
    DocResult said;
    said.result = 0;
    if (!HasPendingRows())
        return said;
    // Another writer finishes first; then the edits go onto what the file
    // holds now, not onto the copy of the last request.
    olvani::FileLock lock = LockTable();
    std::string lost = LinesMatchFileContent() ? std::string() : RedoEditsOnFile(said);
    if (!linesComplete_) {
        DropEdits(said);
        return said;
    }
    int changed = 0;
    for (int i = 0; i < rows_.Count(); ++i) {
        EntryRow& row = rows_[i];
        bool ok = true;
        if (row.isNew && !row.deleted) {
            ok = AddEntryLines(row) == 1;
        } else if (row.deleted && !row.isNew) {
            ok = Edit(DescribeEdit(row), [this, row] { return RemoveEntryBlock(row, nullptr); });
        } else if (row.modified && !row.isNew) {
            // Remove and add again: the entry moves to the end of the file,
            // keeping whatever the dialog does not edit.
            ok = Edit(DescribeEdit(row), [this, row] {
                std::vector<std::string> previous;
                if (!RemoveEntryBlock(row, &previous))
                    return false;
                AppendEntry(row, previous);
                return true;
            });
        } else {
            continue;
        }
        if (ok) {
            changed = 1;
            continue;
        }
        // An edit whose entry is not in the file cannot be made by trying
        // again: it goes, so that it does not stop every later write.
        lost += "\n" + DescribeEdit(row);
        row.modified = row.deleted = false;
    }
    NoteNotWritten(lost, true, said);
    int ok = changed ? WriteLockedTable(said) : 0;
    // Edits that did not reach the file go, so that no later write (the
    // defaults, or a retry) carries them or applies them twice.
    if (!ok && linesEdited_)
        DropEdits(said);
    said.result = ok && changed ? 1 : 0;
    return said;
}

bool CKorrindDoc::HasPendingRows() const {
    for (int i = 0; i < rows_.Count(); ++i) {
        if (rows_[i].HasPendingEdit())
            return true;
    }
    return false;
}

int CKorrindDoc::AddEntryLines(const EntryRow& row) {
    Edit(DescribeEdit(row), [this, row] {
        AppendEntry(row, {});
        return true;
    });
    return 1;
}

void CKorrindDoc::AppendEntry(const EntryRow& row, const std::vector<std::string>& previous) {
    std::string hardwareType = "1";
    LastFieldValue(previous, "ht", hardwareType);
    lines_.push_back(kEmptyLine);
    lines_.push_back("# " + OneLine(row.Field(FieldComment)) + "\n");
    lines_.push_back(OneLine(row.Field(FieldHostName)) + ":\\\n");
    lines_.push_back("ht=" + hardwareType + ":\\\n");
    lines_.push_back("ha=" + OneLine(row.Field(FieldHardwareAddress)) + ":\\\n");
    lines_.push_back("ip=" + OneLine(row.Field(FieldIpAddress)) + ":\\\n");
    lines_.push_back("sm=" + OneLine(row.Field(FieldSubnetMask)) + ":\\\n");
    std::string gateway = GatewayField(OneLine(row.Field(FieldGateway)), previous);
    if (!gateway.empty())
        lines_.push_back("gw=" + gateway + ":\\\n");
    lines_.push_back(TailLines(previous));
}

DocResult CKorrindDoc::RemoveEntryLines(const EntryRow& row) {
    if (Edit(DescribeEdit(row), [this, row] { return RemoveEntryBlock(row, nullptr); }))
        return {};
    return DocResult::Failure(DocMessageId::entryNotFound, "Entry not found for del request");
}

bool CKorrindDoc::RemoveEntryBlock(const EntryRow& row, std::vector<std::string>* fields) {
    std::string addressLine = "ha=" + std::string(row.Field(FieldHardwareAddress)) + ":\\\n";
    // The same hardware address may stand in entries on several subnets:
    // the IP address it was listed with tells them apart.
    std::vector<EntryBlock> candidates;
    for (size_t i = 1; i < lines_.size(); ++i) {
        if (lines_[i] == addressLine)
            candidates.push_back(EntryBlockAround(lines_, i));
    }
    const EntryBlock* chosen = candidates.size() == 1 ? &candidates[0] : nullptr;
    for (size_t i = 0; i < candidates.size() && chosen == nullptr; ++i) {
        if (BlockHasAddress(EntryFields(lines_, candidates[i]), row.listedIpAddress))
            chosen = &candidates[i];
    }
    if (chosen == nullptr)
        return false;
    if (fields != nullptr)
        *fields = EntryFields(lines_, *chosen);
    lines_.erase(lines_.begin() + static_cast<long>(chosen->first),
                 lines_.begin() + static_cast<long>(chosen->end));
    return true;
}

DocResult CKorrindDoc::WriteTableFile() {
    DocResult said;
    olvani::FileLock lock = LockTable();
    // A file changed since the lines were read gets the pending edits made
    // again on its current content; nothing another program wrote is lost.
    if (linesComplete_ && !LinesMatchFileContent()) {
        std::string lost = RedoEditsOnFile(said);
        NoteNotWritten(lost, false, said);
        if (!linesComplete_) {
            said.result = 0; // the reader has said why
            return said;
        }
    }
    said.result = WriteLockedTable(said);
    return said;
}

int CKorrindDoc::WriteLockedTable(DocResult& said) {
    try {
        // Lines from a failed or partial read would replace the table with
        // a fragment of it.
        if (!linesComplete_) {
            said.Add(DocMessageId::readFailed, "Problem reading bootptab file");
            return 0;
        }
        std::string text = ToDiskText(lines_);
        olvani::FileStamp written;
        switch (ReplaceTableFile(tablePath_, BackupPath(), text, &written)) {
        case ReplaceResult::written:
            break;
        case ReplaceResult::createFailed:
        case ReplaceResult::backupFailed:
            said.Add(DocMessageId::tableCreateFailed, "Problem creating bootptab file");
            return 0;
        case ReplaceResult::writeFailed:
            said.Add(DocMessageId::writeFailed, "Exception while writing bootptab file");
            return 0;
        }
        // The lines now match the file. A file this fresh is read once
        // more before its stamp alone is trusted; the next write compares
        // bytes.
        edits_.clear();
        linesEdited_ = false;
        loadedStamp_ = written;
        stampTrust_.Read(written.modified, false);
        loadedHash_ = std::hash<std::string_view>{}(text);
        return 1;
    } catch (const std::exception&) {
        said.Add(DocMessageId::writeFailed, "Exception while writing bootptab file");
        return 0;
    }
}

// --- Defaults

void CKorrindDoc::StoreDefaults() {
    Edit("default settings", [this, mask = defaultSubnetMask_, gateway = defaultGateway_] {
        StoreDefaultLines(mask, gateway);
        return true;
    });
}

void CKorrindDoc::StoreDefaultLines(const std::string& mask, const std::string& gateway) {
    long at = FindLine(kDefaultsLine);
    if (at < 0) {
        lines_.insert(lines_.end(), {kEmptyLine, "# global defaults\n", kDefaultsLine,
                                     "sm=" + mask + ":\\\n", "gw=" + gateway + ":\n"});
        return;
    }
    size_t i = static_cast<size_t>(at) + 1;
    bool maskStored = false;
    for (; i < lines_.size(); ++i) {
        std::string& line = lines_[i];
        if (line == kEmptyLine || IsComment(line))
            break;
        if (line.find("sm=") != std::string::npos) {
            line = "sm=" + mask + ":\\\n";
            maskStored = true;
        } else if (line.find("gw=") != std::string::npos) {
            line = "gw=" + gateway + ":\n";
            return;
        }
    }
    // No gateway line: the mask line now continues, so the entry needs a
    // line that ends it, or the reader would run on into the next entry.
    std::vector<std::string> missing;
    if (!maskStored)
        missing.push_back("sm=" + mask + ":\\\n");
    missing.push_back("gw=" + gateway + ":\n");
    lines_.insert(lines_.begin() + static_cast<long>(i), missing.begin(), missing.end());
}
