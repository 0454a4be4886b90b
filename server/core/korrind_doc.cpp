#include "server/core/korrind_doc.h"

#include "platform/messagebox.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <exception>
#include <fcntl.h>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr size_t kRecentAddressLimit = 8;
const std::string kEmptyLine = "\n";
const std::string kDefaultsLine = "global.defaults:\\\n";

bool EndsWithContinuation(const std::string& line) {
    return line.size() >= 2 && line.compare(line.size() - 2, 2, "\\\n") == 0;
}

bool IsComment(const std::string& line) {
    return !line.empty() && line[0] == '#';
}

bool SameIgnoringCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
               return lower(x) == lower(y);
           });
}

// One line of the file as the document keeps it: the hardware address
// after "ha=" in upper case (the engine's form, so exact searches match),
// leading white space removed, "\n" appended.
void AddFileLine(std::string_view line, std::vector<std::string>& lines) {
    std::string text;
    text.reserve(line.size() + 1);
    text.assign(line);
    size_t tag = text.find("ha=");
    if (tag != std::string::npos) {
        size_t end = std::min(text.find(':', tag + 3), text.size());
        for (size_t i = tag + 3; i < end; ++i) {
            if (text[i] >= 'a' && text[i] <= 'z')
                text[i] = static_cast<char>(text[i] - 'a' + 'A');
        }
    }
    size_t first = text.find_first_not_of(" \t\r\f\v");
    text.erase(0, first == std::string::npos ? text.size() : first);
    text.push_back('\n');
    lines.push_back(std::move(text));
}

// Splits file text into lines; CR LF and LF both end a line.
void SplitFileText(std::string_view text, std::vector<std::string>& lines) {
    lines.reserve(lines.size() + static_cast<size_t>(std::count(text.begin(), text.end(), '\n')) +
                  1);
    while (!text.empty()) {
        size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        if (end != std::string_view::npos && !line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        AddFileLine(line, lines);
        if (end == std::string_view::npos)
            break;
        text.remove_prefix(end + 1);
    }
}

// A row value as one line of the file: a stray line end would start a
// bogus line of its own.
std::string OneLine(std::string_view value) {
    std::string text(value);
    std::replace_if(
        text.begin(), text.end(), [](char c) { return c == '\r' || c == '\n'; }, ' ');
    return text;
}

// The value after tag up to the first ':' after it, when there is one.
bool ValueAfter(const std::string& line, const char* tag, std::string& value) {
    size_t at = line.find(tag);
    if (at == std::string::npos)
        return false;
    size_t start = at + std::strlen(tag);
    size_t colon = line.find(':', start);
    if (colon != std::string::npos)
        value = line.substr(start, colon - start);
    return true;
}

} // namespace

CKorrindDoc::CKorrindDoc(std::string tablePath, EntryRowArray& rows)
    : tablePath_(std::move(tablePath)), rows_(rows) {}

void CKorrindDoc::SetTablePath(std::string tablePath) {
    tablePath_ = std::move(tablePath);
    stampTrusted_ = false;
    linesComplete_ = false;
}

void CKorrindDoc::ShowMessage(const std::string& text) const {
    MessageBox(text, kKorrindTitle, MB_OK | MB_ICONEXCLAMATION);
}

long CKorrindDoc::FindLine(const std::string& text) const {
    for (size_t i = 1; i < lines_.size(); ++i) {
        if (lines_[i] == text)
            return static_cast<long>(i);
    }
    return -1;
}

// --- Recent unknown addresses

int CKorrindDoc::InsertHAEntry(const std::string& hardwareAddress) {
    try {
        if (std::find(recentAddresses_.begin(), recentAddresses_.end(), hardwareAddress) !=
            recentAddresses_.end())
            return 1;
        if (recentAddresses_.size() >= kRecentAddressLimit)
            recentAddresses_.pop_front();
        recentAddresses_.push_back(hardwareAddress);
        return 1;
    } catch (const std::exception&) {
        ShowMessage("InsertHAEntry exception");
        return 0;
    }
}

void CKorrindDoc::DeleteHAEntry(const std::string& hardwareAddress) {
    try {
        auto it = std::find(recentAddresses_.begin(), recentAddresses_.end(), hardwareAddress);
        if (it != recentAddresses_.end())
            recentAddresses_.erase(it);
    } catch (const std::exception&) {
        ShowMessage("DeleteHAEntry exception");
    }
}

int CKorrindDoc::IsListedAddress(const std::string& hardwareAddress) {
    for (int i = 0; i < rows_.Count(); ++i) {
        const EntryRow& row = rows_[i];
        if (!row.deleted && SameIgnoringCase(row.Field(FieldHardwareAddress), hardwareAddress))
            return 1;
    }
    return 0;
}

// --- The table file

BOOL CKorrindDoc::CheckTableFile() {
    static const std::vector<std::string> kTemplate = {
        "# OXL Bootptab file\n\n", "# global defaults\n", kDefaultsLine, "sm=:\\\n", "gw=:\n"};
    // A second round only when another program created the file between our
    // open and our create.
    for (int round = 0; round < 2; ++round) {
        int fd = ::open(tablePath_.c_str(), O_RDWR | O_CLOEXEC);
        if (fd >= 0) {
            ::close(fd);
            return TRUE;
        }
        FileCause cause = CauseFromErrno(errno, tablePath_);
        if (cause == FileCause::accessDenied) {
            ShowMessage("Access denied to file " + tablePath_);
            return FALSE;
        }
        if (cause != FileCause::fileNotFound) {
            ShowMessage("Problem accessing file, code=" + std::to_string(static_cast<int>(cause)));
            return FALSE;
        }
        // Never truncate: a file that appeared meanwhile is someone's table.
        fd = ::open(tablePath_.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno == EEXIST)
            continue;
        if (fd < 0)
            break;
        std::string text = ToDiskText(kTemplate);
        bool ok = ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
        ok = ::close(fd) == 0 && ok;
        if (ok)
            return TRUE;
        (void)::unlink(tablePath_.c_str());
        break;
    }
    ShowMessage("Unable to create bootptab file.");
    return FALSE;
}

BOOL CKorrindDoc::ReadTableLines() {
    // Runs for every datagram: an unchanged, still writable file costs one
    // stat. Same inode, size, times, mode and owner mean the content is the
    // same and the open for writing would succeed again (every permission,
    // owner, access-list or attribute change moves the status change time).
    // A read-only remount of the whole file system leaves no trace in the
    // file's status; the next write reports it.
    if (stampTrusted_ && linesComplete_ && !linesEdited_) {
        struct stat status;
        if (::stat(tablePath_.c_str(), &status) == 0 && StampOf(status) == loadedStamp_)
            return TRUE;
    }
    return LoadTableLines();
}

BOOL CKorrindDoc::LoadTableLines() {
    stampTrusted_ = false;
    linesComplete_ = false;
    linesEdited_ = false;
    ++tableLoads_;
    try {
        lines_.clear();
        int fd = ::open(tablePath_.c_str(), O_RDWR | O_CLOEXEC);
        if (fd < 0) {
            ShowMessage("Problem reading bootptab file");
            return FALSE;
        }
        struct stat status;
        bool stamped = ::fstat(fd, &status) == 0;
        timespec now{};
        ::clock_gettime(CLOCK_REALTIME, &now);
        std::string text;
        ReadOutcome outcome = ReadWholeFile(fd, text);
        ::close(fd);
        SplitFileText(text, lines_);
        if (!outcome.ok) {
            ShowMessage("Exception while reading bootptab file");
            return FALSE;
        }
        linesComplete_ = true;
        if (stamped) {
            loadedStamp_ = StampOf(status);
            stampTrusted_ = StampIsSettled(loadedStamp_, now);
        }
        return TRUE;
    } catch (const std::exception&) {
        ShowMessage("Exception while reading bootptab file");
        return FALSE;
    }
}

int CKorrindDoc::ApplyChanges() {
    // Lines left edited by a write that failed would apply those edits twice.
    if (linesEdited_ && !LoadTableLines())
        return 0;
    int ok = 1;
    int changed = 0;
    for (int i = 0; i < rows_.Count() && ok; ++i) {
        const EntryRow& row = rows_[i];
        if (row.isNew && !row.deleted) {
            ok = AddEntryLines(row);
            changed = 1;
        } else if (row.deleted && !row.isNew) {
            ok = RemoveEntryLines(row);
            changed = 1;
        } else if (row.modified && !row.isNew) {
            // Remove and add again: the entry moves to the end of the file.
            ok = RemoveEntryLines(row);
            if (ok)
                ok = AddEntryLines(row);
            changed = 1;
        }
    }
    if (ok && changed)
        ok = WriteTableFile();
    // Edits that did not reach the file go, so that no later write (the
    // defaults, or a retry) carries them or applies them twice.
    if (!ok && linesEdited_)
        LoadTableLines();
    return ok && changed ? 1 : 0;
}

int CKorrindDoc::AddEntryLines(const EntryRow& row) {
    std::string gateway = OneLine(row.Field(FieldGateway));
    lines_.push_back(kEmptyLine);
    lines_.push_back("# " + OneLine(row.Field(FieldComment)) + "\n");
    lines_.push_back(OneLine(row.Field(FieldHostName)) + ":\\\n");
    lines_.push_back("ht=1:\\\n");
    lines_.push_back("ha=" + OneLine(row.Field(FieldHardwareAddress)) + ":\\\n");
    lines_.push_back("ip=" + OneLine(row.Field(FieldIpAddress)) + ":\\\n");
    lines_.push_back("sm=" + OneLine(row.Field(FieldSubnetMask)) + ":\\\n");
    if (!gateway.empty())
        lines_.push_back("gw=" + gateway + ":\\\n");
    lines_.push_back("vm=auto:\\\nhn:\\\nbs=auto:\\\nT145=64:T146=01:T147=01\n");
    linesEdited_ = true;
    return 1;
}

int CKorrindDoc::RemoveEntryLines(const EntryRow& row) {
    long at = FindLine("ha=" + std::string(row.Field(FieldHardwareAddress)) + ":\\\n");
    if (at < 0) {
        ShowMessage("Entry not found for del request");
        return 0;
    }
    // Back over the entry's own lines (those continuing into this one, and
    // comments) to the empty line that opens the block. Stopping at any
    // other line keeps an entry written without an empty line before it.
    size_t first = static_cast<size_t>(at);
    while (first > 1 && lines_[first - 1] != kEmptyLine &&
           (IsComment(lines_[first - 1]) || EndsWithContinuation(lines_[first - 1])))
        --first;
    if (first > 1 && lines_[first - 1] == kEmptyLine)
        --first;
    // Forward to the entry's last line, then on to the next empty line when
    // only comments stand before it; the next entry's empty line stays.
    size_t end = static_cast<size_t>(at) + 1;
    bool continues = true;
    while (end < lines_.size() && continues && lines_[end] != kEmptyLine) {
        if (!IsComment(lines_[end]))
            continues = EndsWithContinuation(lines_[end]);
        ++end;
    }
    size_t scan = end;
    while (scan < lines_.size() && lines_[scan] != kEmptyLine && IsComment(lines_[scan]))
        ++scan;
    if (scan == lines_.size() || lines_[scan] == kEmptyLine)
        end = scan;
    lines_.erase(lines_.begin() + static_cast<long>(first),
                 lines_.begin() + static_cast<long>(end));
    linesEdited_ = true;
    return 1;
}

int CKorrindDoc::WriteTableFile() {
    try {
        // Lines from a failed or partial read would replace the table with
        // a fragment of it.
        if (!linesComplete_) {
            ShowMessage("Problem reading bootptab file");
            return 0;
        }
        switch (ReplaceTableFile(tablePath_, BackupPath(), ToDiskText(lines_))) {
        case ReplaceResult::written:
            break;
        case ReplaceResult::createFailed:
        case ReplaceResult::backupFailed:
            ShowMessage("Problem creating bootptab file");
            return 0;
        case ReplaceResult::writeFailed:
            ShowMessage("Exception while writing bootptab file");
            return 0;
        }
        // The lines now match the file; a file this fresh is re-read once
        // before its stamp is trusted.
        linesEdited_ = false;
        stampTrusted_ = false;
        return 1;
    } catch (const std::exception&) {
        ShowMessage("Exception while writing bootptab file");
        return 0;
    }
}

// --- Defaults and comments

void CKorrindDoc::LoadDefaults() {
    defaultGateway_.clear();
    defaultSubnetMask_.clear();
    long at = FindLine(kDefaultsLine);
    if (at < 0)
        return;
    for (size_t i = static_cast<size_t>(at) + 1; i < lines_.size(); ++i) {
        const std::string& line = lines_[i];
        if (line == kEmptyLine || IsComment(line))
            break;
        if (!ValueAfter(line, "sm=", defaultSubnetMask_))
            ValueAfter(line, "gw=", defaultGateway_);
    }
}

void CKorrindDoc::StoreDefaults() {
    linesEdited_ = true;
    long at = FindLine(kDefaultsLine);
    if (at < 0) {
        lines_.insert(lines_.end(),
                      {kEmptyLine, "# global defaults\n", kDefaultsLine,
                       "sm=" + defaultSubnetMask_ + ":\\\n", "gw=" + defaultGateway_ + ":\n"});
        return;
    }
    size_t i = static_cast<size_t>(at) + 1;
    bool maskStored = false;
    for (; i < lines_.size(); ++i) {
        std::string& line = lines_[i];
        if (line == kEmptyLine || IsComment(line))
            break;
        if (line.find("sm=") != std::string::npos) {
            line = "sm=" + defaultSubnetMask_ + ":\\\n";
            maskStored = true;
        } else if (line.find("gw=") != std::string::npos) {
            line = "gw=" + defaultGateway_ + ":\n";
            return;
        }
    }
    // No gateway line: the mask line now continues, so the entry needs a
    // line that ends it, or the reader would run on into the next entry.
    std::vector<std::string> missing;
    if (!maskStored)
        missing.push_back("sm=" + defaultSubnetMask_ + ":\\\n");
    missing.push_back("gw=" + defaultGateway_ + ":\n");
    lines_.insert(lines_.begin() + static_cast<long>(i), missing.begin(), missing.end());
}

std::string CKorrindDoc::GetEntryComment(const std::string& hostName) const {
    long at = FindLine(hostName + ":\\\n");
    if (at < 1 || !IsComment(lines_[static_cast<size_t>(at) - 1]))
        return {};
    std::string comment = lines_[static_cast<size_t>(at) - 1];
    comment[0] = ' ';
    const char* blanks = " \t\r\n\f\v";
    size_t first = comment.find_first_not_of(blanks);
    if (first == std::string::npos)
        return {};
    return comment.substr(first, comment.find_last_not_of(blanks) - first + 1);
}
