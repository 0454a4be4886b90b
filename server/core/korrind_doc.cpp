#include "server/core/korrind_doc.h"

#include "server/core/line_text.h"

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

// A comment line as an entry's comment: '#' and surrounding white space
// removed; empty for a line that is no comment.
std::string_view CommentText(std::string_view line) {
    if (!IsComment(line))
        return {};
    const char* blanks = " \t\r\n\f\v";
    size_t first = line.find_first_not_of(blanks, 1);
    if (first == std::string_view::npos)
        return {};
    return line.substr(first, line.find_last_not_of(blanks) - first + 1);
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

CKorrindDoc::CKorrindDoc(std::string tablePath) : tablePath_(std::move(tablePath)) {}

void CKorrindDoc::SetTablePath(std::string tablePath) {
    tablePath_ = std::move(tablePath);
    stampTrust_.Forget();
    linesComplete_ = false;
}

long CKorrindDoc::FindLine(const std::string& text) const {
    for (size_t i = 1; i < lines_.size(); ++i) {
        if (lines_[i] == text)
            return static_cast<long>(i);
    }
    return -1;
}

// --- Recent unknown addresses

DocResult CKorrindDoc::InsertHAEntry(const std::string& hardwareAddress) {
    DocResult said;
    try {
        if (std::find(recentAddresses_.begin(), recentAddresses_.end(), hardwareAddress) !=
            recentAddresses_.end())
            return said;
        if (recentAddresses_.size() >= kRecentAddressLimit)
            recentAddresses_.pop_front();
        recentAddresses_.push_back(hardwareAddress);
    } catch (const std::exception&) {
        said.result = 0;
        said.Add(DocMessageId::insertFailed, "InsertHAEntry exception");
    }
    return said;
}

DocResult CKorrindDoc::DeleteHAEntry(const std::string& hardwareAddress) {
    DocResult said;
    try {
        auto it = std::find(recentAddresses_.begin(), recentAddresses_.end(), hardwareAddress);
        if (it != recentAddresses_.end())
            recentAddresses_.erase(it);
    } catch (const std::exception&) {
        said.result = 0;
        said.Add(DocMessageId::deleteFailed, "DeleteHAEntry exception");
    }
    return said;
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

DocResult CKorrindDoc::CheckTableFile() {
    static const std::vector<std::string> kTemplate = {
        "# OXL Bootptab file\n\n", "# global defaults\n", kDefaultsLine, "sm=:\\\n", "gw=:\n"};
    // A second round only when another program created the file between our
    // open and our create.
    for (int round = 0; round < 2; ++round) {
        int fd = ::open(tablePath_.c_str(), O_RDWR | O_CLOEXEC);
        if (fd >= 0) {
            ::close(fd);
            return {};
        }
        FileCause cause = CauseFromErrno(errno, tablePath_);
        if (cause == FileCause::accessDenied)
            return DocResult::Failure(DocMessageId::accessDenied,
                                      "Access denied to file " + tablePath_);
        if (cause != FileCause::fileNotFound)
            return DocResult::Failure(DocMessageId::accessProblem,
                                      "Problem accessing file, code=" +
                                          std::to_string(static_cast<int>(cause)));
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
            return {};
        (void)::unlink(tablePath_.c_str());
        break;
    }
    return DocResult::Failure(DocMessageId::createFailed, "Unable to create bootptab file.");
}

DocResult CKorrindDoc::ReadTableLines(bool watchedUnchanged) {
    // Runs for every datagram: an unchanged, still writable file costs one
    // stat. Same inode, size and times mean the content is the same and
    // the open for writing would succeed again (every permission,
    // owner, access-list or attribute change moves the status change time).
    // A read-only remount of the whole file system leaves no trace in the
    // file's status; the next write reports it.
    DocResult said;
    if (!linesEdited_ && (watchedUnchanged ? LinesMatchedFile() : LinesMatchFile()))
        return said;
    edits_.clear();
    said.result = LoadTableLines(said);
    return said;
}

BOOL CKorrindDoc::LoadTableLines(DocResult& said) {
    olvani::FileStamp previous = linesComplete_ ? loadedStamp_ : olvani::FileStamp();
    stampTrust_.Forget();
    linesComplete_ = false;
    linesEdited_ = false;
    ++tableLoads_;
    try {
        lines_.clear();
        int fd = ::open(tablePath_.c_str(), O_RDWR | O_CLOEXEC);
        if (fd < 0) {
            said.Add(DocMessageId::readFailed, "Problem reading bootptab file");
            return FALSE;
        }
        struct stat status;
        bool stamped = ::fstat(fd, &status) == 0;
        std::string text;
        ReadOutcome outcome = ReadWholeFile(fd, text);
        ::close(fd);
        SplitFileText(text, lines_);
        if (!outcome.ok) {
            said.Add(DocMessageId::readInterrupted, "Exception while reading bootptab file");
            return FALSE;
        }
        linesComplete_ = true;
        if (stamped) {
            loadedStamp_ = olvani::FileStamp::Of(status);
            loadedHash_ = std::hash<std::string_view>{}(text);
            stampTrust_.Read(loadedStamp_.modified, loadedStamp_ == previous);
        }
        return TRUE;
    } catch (const std::exception&) {
        said.Add(DocMessageId::readInterrupted, "Exception while reading bootptab file");
        return FALSE;
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

std::string CKorrindDoc::GetEntryComment(const std::string& hostName) const {
    long at = FindLine(hostName + ":\\\n");
    if (at < 1)
        return {};
    return std::string(CommentText(lines_[static_cast<size_t>(at) - 1]));
}

std::unordered_map<std::string_view, std::string_view> CKorrindDoc::EntryComments() const {
    std::unordered_map<std::string_view, std::string_view> comments;
    comments.reserve(lines_.size() / 8);
    for (size_t i = 1; i < lines_.size(); ++i) {
        std::string_view line = lines_[i];
        // Host name lines only: a tag that takes a value has an '='.
        if (line.size() < 3 || line.substr(line.size() - 3) != ":\\\n" ||
            line.find('=') != std::string_view::npos)
            continue;
        // The first line naming the host decides, as in GetEntryComment.
        comments.try_emplace(line.substr(0, line.size() - 3), CommentText(lines_[i - 1]));
    }
    return comments;
}
