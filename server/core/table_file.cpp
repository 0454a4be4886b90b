#include "server/core/table_file.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

ReplaceCall replaceCall;

olvani::FileError Replace(const std::string& path, std::string_view content,
                          const olvani::ReplaceOptions& options, olvani::ReplaceOutcome* outcome) {
    return replaceCall ? replaceCall(path, content, options, outcome)
                       : olvani::ReplaceFile(path, content, options, outcome);
}

std::string FolderOf(const std::string& path) {
    size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string NameOf(const std::string& path) {
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool RenameCannotWork(int error) {
    return error == EXDEV || error == EBUSY || error == EACCES || error == EPERM || error == EROFS;
}

ReplaceResult Classify(const olvani::FileError& error) {
    switch (error.error) {
    case ENOSPC:
    case EDQUOT:
    case EIO:
    case EFBIG:
        return ReplaceResult::writeFailed;
    default:
        return ReplaceResult::createFailed;
    }
}

// A second name for the previous table beside the backup, random so that
// nobody can have planted it: it becomes the backup once the new table is
// in place. Empty when no link can be made (another file system, a folder
// we may not write).
std::string LinkAside(const std::string& target, const std::string& backupPath) {
    static constexpr char kDigits[] = "0123456789abcdef";
    for (int attempt = 0; attempt < 16; ++attempt) {
        unsigned char random[8] = {};
        if (::getrandom(random, sizeof random, 0) != sizeof random)
            return {};
        std::string name = FolderOf(backupPath) + "/." + NameOf(backupPath) + ".";
        for (unsigned char byte : random) {
            name.push_back(kDigits[byte >> 4]);
            name.push_back(kDigits[byte & 15]);
        }
        if (::link(target.c_str(), name.c_str()) == 0)
            return name;
        if (errno != EEXIST)
            return {};
    }
    return {};
}

// The backup as a copy of the previous content, never wider open than the
// table itself.
bool CopyToBackup(const std::string& target, const std::string& backupPath) {
    int fd = ::open(target.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct stat status;
    std::string previous;
    bool read =
        ::fstat(fd, &status) == 0 && S_ISREG(status.st_mode) && ReadWholeFile(fd, previous).ok;
    ::close(fd);
    if (!read)
        return false;
    (void)::unlink(backupPath.c_str());
    olvani::ReplaceOptions options;
    options.newFileMode = status.st_mode & 0666;
    return olvani::ReplaceFile(backupPath, previous, options).ok();
}

} // namespace

FileCause CauseFromErrno(int error, const std::string& path) {
    switch (error) {
    case 0:
        return FileCause::none;
    case ENOENT: {
        if (path.empty())
            return FileCause::badPath;
        struct stat folder;
        if (::stat(FolderOf(path).c_str(), &folder) != 0 || !S_ISDIR(folder.st_mode))
            return FileCause::badPath;
        return FileCause::fileNotFound;
    }
    case ENOTDIR:
    case ENAMETOOLONG:
    case ELOOP:
        return FileCause::badPath;
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR:
        return FileCause::accessDenied;
    case EMFILE:
    case ENFILE:
        return FileCause::tooManyOpenFiles;
    case EBADF:
        return FileCause::invalidFile;
    case ETXTBSY:
    case EBUSY:
        return FileCause::sharingViolation;
    case EIO:
        return FileCause::hardIO;
    case ENOSPC:
    case EDQUOT:
        return FileCause::diskFull;
    default:
        return FileCause::generic;
    }
}

ReadOutcome ReadWholeFile(int fd, std::string& text) {
    struct stat status;
    if (::fstat(fd, &status) == 0 && status.st_size > 0)
        text.reserve(text.size() + static_cast<size_t>(status.st_size));
    char buffer[1 << 16];
    for (;;) {
        ssize_t got = ::read(fd, buffer, sizeof(buffer));
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return {false, errno};
        if (got == 0)
            return {true, 0};
        text.append(buffer, static_cast<size_t>(got));
    }
}

std::string ToDiskText(const std::vector<std::string>& lines) {
    size_t size = 0;
    for (const std::string& line : lines)
        size += line.size() + 2;
    std::string text;
    text.reserve(size);
    for (const std::string& line : lines) {
        for (char c : line) {
            if (c == '\n')
                text.push_back('\r');
            text.push_back(c);
        }
    }
    return text;
}

ReplaceResult ReplaceTableFile(const std::string& path, const std::string& backupPath,
                               std::string_view content, olvani::FileStamp* stamp) {
    // The previous table: the file a symbolic link names, if it is one.
    std::string target = path;
    struct stat previous;
    bool hadPrevious = ::stat(path.c_str(), &previous) == 0;
    if (hadPrevious) {
        char* resolved = ::realpath(path.c_str(), nullptr);
        if (resolved == nullptr)
            return ReplaceResult::createFailed;
        target = resolved;
        std::free(resolved);
    }
    olvani::ReplaceOptions options;
    options.links = olvani::LinkPolicy::WriteThrough;
    olvani::ReplaceOutcome outcome;
    std::string aside = hadPrevious ? LinkAside(target, backupPath) : std::string();
    if (!hadPrevious || !aside.empty()) {
        olvani::FileError error = Replace(path, content, options, &outcome);
        if (error.ok()) {
            // The previous table stayed whole under its own name until the
            // rename replaced it; now its second name is the backup.
            if (!aside.empty() && ::rename(aside.c_str(), backupPath.c_str()) != 0)
                (void)::unlink(aside.c_str());
            if (stamp != nullptr)
                *stamp = outcome.stamp;
            return ReplaceResult::written;
        }
        if (!aside.empty())
            (void)::unlink(aside.c_str());
        if (!hadPrevious || !RenameCannotWork(error.error))
            return Classify(error);
    }
    // No rename here: the previous content goes to the backup first, then
    // the file is rewritten where it is (the platform puts it back if that
    // fails).
    if (!CopyToBackup(target, backupPath))
        return ReplaceResult::backupFailed;
    options.allowInPlace = true;
    olvani::FileError error = Replace(path, content, options, &outcome);
    if (!error.ok())
        return Classify(error);
    if (stamp != nullptr)
        *stamp = outcome.stamp;
    return ReplaceResult::written;
}

void SetReplaceCallForTest(ReplaceCall call) {
    replaceCall = std::move(call);
}
