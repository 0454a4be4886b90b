// Reading the table file: entry texts, change detection and rebuilding the
// three host tables.
#include "bootp/bootptab_reader.h"
#include "bootp/bootptab_parser.h"
#include "bootp/engine.h"
#include "bootp/hash_table.h"
#include "bootp/table_paths.h"
#include "platform/safe_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>
#include <memory>
#include <new>
#include <utility>

namespace {

// A file read earlier and unchanged since, as far as its status tells.
bool Unchanged(const TableFileCheck& check, const struct stat& st) {
    return check.valid && olvani::FileStamp::Of(st) == check.stamp && st.st_nlink != 0 &&
           check.trust.Trusted();
}

void Record(TableFileCheck& check, const struct stat& st) {
    olvani::FileStamp stamp = olvani::FileStamp::Of(st);
    check.trust.Read(st.st_mtim, check.valid && stamp == check.stamp);
    check.valid = true;
    check.stamp = stamp;
}

bool IsSpace(int c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// Characters of a stdio stream.
struct StreamSource {
    FILE* file;
    int Get() { return getc_unlocked(file); }
    void Unget(int c) { ungetc(c, file); }
};

// Characters of a file descriptor, read in large blocks.
class BlockSource {
public:
    explicit BlockSource(int fd) : fd_(fd) {}
    [[gnu::always_inline]] int Get() {
        if (position_ == length_ && !Refill()) {
            return EOF;
        }
        return static_cast<unsigned char>(block_[position_++]);
    }
    // Only right after a Get that returned a character.
    void Unget(int) { --position_; }
    bool Failed() const { return failed_; }

private:
    bool Refill() {
        for (;;) {
            ssize_t n = ::read(fd_, block_, sizeof block_);
            if (n > 0) {
                position_ = 0;
                length_ = static_cast<size_t>(n);
                return true;
            }
            if (n < 0 && errno == EINTR) {
                continue;
            }
            failed_ = n < 0;
            return false;
        }
    }
    int fd_;
    bool failed_ = false;
    size_t position_ = 0;
    size_t length_ = 0;
    char block_[64 * 1024];
};

// The next character, with CR LF read as one line end.
template <typename Source> [[gnu::always_inline]] inline int NextChar(Source& source) {
    int c = source.Get();
    if (c == '\r') {
        int next = source.Get();
        if (next == '\n') {
            return '\n';
        }
        if (next != EOF) {
            source.Unget(next);
        }
    }
    return c;
}

// Skips white space, line ends and comment lines; the first other character.
template <typename Source> int SkipBlankAndComments(Source& source) {
    for (;;) {
        int c = NextChar(source);
        if (c == '#') {
            do {
                c = NextChar(source);
            } while (c != '\n' && c != EOF);
        }
        if (c == EOF || !IsSpace(c)) {
            return c;
        }
    }
}

// Builds one entry text; Store reports the capacity reached.
struct EntryText {
    char* buffer;
    int limit;
    int length = 0;
    bool Store(int c) {
        buffer[length++] = static_cast<char>(c);
        return length >= limit;
    }
};

// After a stored colon: blanks are skipped and a backslash before a line end
// continues the entry. Returns the next character to handle, or EOF/'\n'
// when the entry ends; `text` may fill up on the way.
template <typename Source> int AfterColon(Source& source, EntryText& text) {
    int c = NextChar(source);
    while (c != '\n' && c != EOF && IsSpace(c)) {
        c = NextChar(source);
    }
    if (c != '\\') {
        return c;
    }
    c = NextChar(source);
    if (c == '\n') {
        return SkipBlankAndComments(source);
    }
    if (c == EOF || text.Store(c)) {
        return EOF;
    }
    return NextChar(source);
}

template <typename Source> int ReadEntryFrom(Source& source, char* buffer, int capacity) {
    if (capacity <= 0) {
        return 0;
    }
    EntryText text{buffer, capacity - 1};
    int c = text.limit > 0 ? SkipBlankAndComments(source) : EOF;
    while (c != EOF && c != '\n') {
        if (c == '\\') {
            c = NextChar(source);
            if (c == EOF || text.Store(c)) {
                break;
            }
        } else if (c == '"') {
            if (text.Store(c)) {
                break;
            }
            do {
                c = NextChar(source);
            } while (c != EOF && !text.Store(c) && c != '"');
            if (c == EOF || text.length >= text.limit) {
                break;
            }
        } else if (c == ':') {
            if (text.Store(c)) {
                break;
            }
            c = AfterColon(source, text);
            continue;
        } else if (text.Store(c)) {
            break;
        }
        c = NextChar(source);
    }
    buffer[text.length] = '\0';
    return text.length;
}

} // namespace

int ReadEntry(FILE* file, char* buffer, int capacity) {
    StreamSource source{file};
    return ReadEntryFrom(source, buffer, capacity);
}

namespace {

// Holds the previous content of the three tables while a read fills them, until
// the read has succeeded, so a file that fails half way loses nothing.
struct TableSet {
    HashTable* tables[3] = {};
    ~TableSet() {
        for (HashTable* t : tables) {
            if (t != nullptr) {
                hash_Clear(t, ReleaseHost);
                hash_Free(t);
            }
        }
    }
    bool Create() {
        const HashKey keys[3] = {HashKey::hardware, HashKey::ip, HashKey::name};
        for (int i = 0; i < 3; ++i) {
            tables[i] = hash_New(kHostTableBuckets, keys[i]);
            if (tables[i] == nullptr) {
                return false;
            }
        }
        return true;
    }
    // Exchanges contents with the engine's tables, whose addresses stay.
    void SwapWith(HostTables& engine) {
        HashTable* current[3] = {engine.hwTable, engine.ipTable, engine.nameTable};
        for (int i = 0; i < 3; ++i) {
            std::swap(*current[i], *tables[i]);
        }
    }
};

} // namespace

namespace {

struct ReleaseDeleter {
    void operator()(HostEntry* entry) const { ReleaseHost(entry); }
};

// Reads every entry of `fd` into the engine's emptied tables. 0; -1 when
// the file could not be read to its end; kReadNoMemory.
int FillTables(BootpEngine& engine, int fd) {
    try {
        auto source = std::make_unique<BlockSource>(fd);
        char text[kEntryBufferSize];
        while (ReadEntryFrom(*source, text, sizeof text) > 0) {
            // Held until a table takes it, so running out of memory half
            // way through an entry loses nothing.
            std::unique_ptr<HostEntry, ReleaseDeleter> entry(NewHostEntry());
            if (ParseEntry(entry.get(), text, engine.tables) == 0) {
                IndexEntry(engine, entry.release());
            }
        }
        return source->Failed() ? -1 : 0;
    } catch (const std::bad_alloc&) {
        return kReadNoMemory;
    }
}

} // namespace

void IndexEntry(BootpEngine& engine, HostEntry* entry) {
    HostTables& tables = engine.tables;
    if ((entry->flags & HF_HWTYPE) && (entry->flags & HF_HWADDR)) {
        ++entry->linkCount;
        uint32_t code =
            hash_Code(entry->hwAddr, static_cast<uint32_t>(hwAddrLength(entry->hwType)));
        if (hash_Insert(tables.hwTable, code, hwInsertMatch, entry, entry) != 0) {
            ReleaseHost(entry); // a duplicate hardware address drops the whole entry
            return;
        }
    }
    if (entry->flags & HF_IPADDR) {
        ++entry->linkCount;
        if (hash_Insert(tables.ipTable, hash_Code(&entry->ipAddr, 4), neverMatch, entry, entry) !=
            0) {
            --entry->linkCount;
        }
    }
    ++entry->linkCount;
    const char* name = entry->hostName->text();
    if (hash_Insert(tables.nameTable, hash_Code(name, static_cast<uint32_t>(std::strlen(name))),
                    neverMatch, name, entry) != 0) {
        ReleaseHost(entry); // frees it only when no table took it
    }
    ++engine.entryCount;
}

int ReadHostTable(BootpEngine& engine) {
    const std::string& path = engine.paths.table;
    // Read before and nothing seen by the watch since: unchanged, without a
    // look at the file. Where nothing watches, its status decides.
    engine.tableVouched = engine.tableFile.valid && engine.tableFile.trust.Trusted() &&
                          !engine.tableWatch.MayHaveChanged();
    if (engine.tableVouched) {
        return 0;
    }
    struct stat st {};
    if (stat(path.c_str(), &st) != 0 || S_ISDIR(st.st_mode)) {
        return -1;
    }
    if (Unchanged(engine.tableFile, st)) {
        return 0;
    }
    if (!CreateHostTables(engine.tables)) {
        return kReadNoMemory;
    }
    TableSet previous;
    if (!previous.Create()) {
        return kReadNoMemory;
    }
    // Watched from before the read on, so a change while it reads is seen.
    engine.tableWatch.Watch(path);
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return -1;
    }
    if (fstat(fd, &st) != 0) {
        ::close(fd);
        return -1;
    }
    Record(engine.tableFile, st);
    previous.SwapWith(engine.tables);
    int previousCount = std::exchange(engine.entryCount, 0);
    int result = FillTables(engine, fd);
    ::close(fd);
    if (result != 0) {
        // Keep the tables of the last good read and try again next time.
        previous.SwapWith(engine.tables);
        engine.entryCount = previousCount;
        engine.tableFile.valid = false;
        return result;
    }
    ++engine.generation;
    return 0;
}

void ForgetHostTableFile(BootpEngine& engine) {
    engine.tableFile = TableFileCheck{};
}
