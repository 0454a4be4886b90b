// Reading the settings key and opening the trace file.
#include "trace/trace_settings.h"
#include "platform/append_file.h"
#include "platform/debugout.h"
#include "platform/messagebox.h"
#include "platform/registry.h"
#include "platform/strings.h"
#include "trace/ctrace.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <limits>
#include <unistd.h>

namespace morvale {
namespace {

// A value is read into 2048 bytes: 1024 UTF-16 units, terminator included.
constexpr DWORD kValueBytes = 2048;

// The user's temporary directory with a trailing slash, or nothing when it
// cannot be used as a path. A program run with more rights than its caller
// does not take the caller's TMPDIR.
std::optional<std::string> TemporaryDirectory() {
    const char* dir = ::secure_getenv("TMPDIR");
    std::string path = dir && *dir ? dir : "/tmp";
    if (path.size() >= PATH_MAX)
        return std::nullopt;
    if (path.back() != '/')
        path.push_back('/');
    return path;
}

// The trace file in the private folder `folder`; -1 when the folder is not
// ours alone or the file cannot be opened.
int OpenInPrivateFolder(const std::string& folder) {
    int dir = olvani::OpenPrivateFolder(folder);
    if (dir < 0)
        return -1;
    int fd = olvani::OpenForAppendAt(dir, "trace.csv");
    ::close(dir);
    return fd;
}

// The fallback trace file lives in a folder of the user's own below the
// temporary directory, so that no one else can have planted a link or a file
// of that name. When another user has taken the folder's name, a fresh
// folder with a unique name takes its place. `path` receives the file's path.
int OpenFallback(const std::string& temporary, std::string& path) {
    std::string folder = temporary + "morvale-" + std::to_string(::geteuid());
    int fd = OpenInPrivateFolder(folder);
    if (fd < 0) {
        std::string unique = folder + "-XXXXXX";
        if (!::mkdtemp(unique.data()))
            return -1;
        folder = unique;
        fd = OpenInPrivateFolder(folder);
    }
    if (fd >= 0)
        path = folder + "/trace.csv";
    return fd;
}

} // namespace

std::optional<std::u16string> ReadTraceString(const char16_t* valueName) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kTraceKeyPath, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return std::nullopt;
    char16_t buffer[kValueBytes / 2 + 1] = {};
    DWORD type = 0;
    DWORD size = kValueBytes;
    LONG status =
        RegQueryValueExW(key, valueName, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size);
    RegCloseKey(key);
    if (status != ERROR_SUCCESS)
        return std::nullopt;
    // The stored type is not checked: whatever bytes are there count as text
    // up to the first NUL.
    size_t units = std::min<size_t>(size / 2, kValueBytes / 2);
    buffer[units] = 0;
    return std::u16string(buffer);
}

LONG LeadingDecimal(std::u16string_view text) {
    size_t i = 0;
    while (i < text.size() && (text[i] == u' ' || (text[i] >= u'\t' && text[i] <= u'\r')))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == u'+' || text[i] == u'-'))
        negative = text[i++] == u'-';
    int64_t value = 0;
    for (; i < text.size() && text[i] >= u'0' && text[i] <= u'9'; ++i) {
        // Saturate rather than wrap: a huge level must still clamp to 9.
        if (value <= std::numeric_limits<LONG>::max())
            value = value * 10 + (text[i] - u'0');
    }
    if (negative)
        value = -value;
    if (value > std::numeric_limits<LONG>::max())
        return std::numeric_limits<LONG>::max();
    if (value < std::numeric_limits<LONG>::min())
        return std::numeric_limits<LONG>::min();
    return static_cast<LONG>(value);
}

bool CTrace::IsTraceDisabled() {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kTraceKeyPath, 0, KEY_READ, &key) != ERROR_SUCCESS) {
        OutputDebugStringW(u"No Tarvex trace key found. Trace is disabled.\n");
        return true;
    }
    char16_t buffer[kValueBytes / 2 + 1] = {};
    DWORD type = 0;
    DWORD size = kValueBytes;
    LONG status = RegQueryValueExW(key, u"DisableTrace", nullptr, &type,
                                   reinterpret_cast<BYTE*>(buffer), &size);
    RegCloseKey(key);
    if (status != ERROR_SUCCESS)
        return false;
    if (type == REG_DWORD && size == sizeof(DWORD)) {
        DWORD number = 0;
        std::memcpy(&number, buffer, sizeof number);
        return number != 0;
    }
    // Typed in as text, "0" must not read as the non-zero bytes of the
    // digit: convert it like the other settings.
    if (type == REG_SZ || type == REG_EXPAND_SZ) {
        buffer[std::min<size_t>(size / 2, kValueBytes / 2)] = 0;
        return LeadingDecimal(buffer) != 0;
    }
    return false;
}

void CTrace::ReadTraceSettings() {
    // Everything is read before anything changes, so that a read that fails
    // half-way (out of memory) leaves the earlier settings in force.
    const auto number = [](const char16_t* name) -> std::optional<LONG> {
        auto text = ReadTraceString(name);
        if (!text || text->empty())
            return std::nullopt;
        return LeadingDecimal(*text);
    };
    LONG flag = number(u"TraceFlag").value_or(0);
    LONG level = std::clamp<LONG>(number(u"TraceLevel").value_or(1), 1, 9);
    TraceKeyList keys;
    if (auto text = ReadTraceString(u"TraceKey"); text && !text->empty())
        ParseKeys(keys, *text);
    bool toDebug = number(u"WriteToDebug") == 1;
    bool toFile = number(u"WriteToFile") == 1;
    std::optional<std::u16string> file;
    if (toFile)
        file = ReadTraceString(u"TraceFile");

    std::lock_guard lock(lock_);
    traceFlag_.store(flag);
    traceLevel_ = level;
    keys_ = std::move(keys);
    writeToDebug_ = toDebug;
    writeToFile_ = toFile;
    CloseTraceFile();
    if (!writeToFile_)
        return;
    if (file && !file->empty()) {
        traceFileName_ = std::move(*file);
    } else {
        OutputDebugStringW(u"TRACE :Couldn't find trace file settings in registry.Opening "
                           u"earlier file instead\n");
    }
    OpenTraceFile();
}

void CTrace::ParseKeys(TraceKeyList& keys, std::u16string_view text) {
    try {
        keys.Parse(text);
    } catch (...) {
        keys.Clear();
        MessageBoxW(u"Exception Occured in TraceParseKeys", u"Trace", MB_OK);
    }
}

void CTrace::OpenTraceFile() {
    std::string path = olvani::Utf16ToUtf8(traceFileName_);
    // The fallback is opened again only while its folder is still ours.
    if (traceFileName_ == fallbackName_)
        traceFile_ = OpenInPrivateFolder(path.substr(0, path.rfind('/')));
    else
        traceFile_ = olvani::OpenForAppend(path);
    if (traceFile_ >= 0)
        return;
    OutputDebugStringW(u"TRACE :Couldn't Open specified file opening default instead");
    auto directory = TemporaryDirectory();
    if (!directory) {
        OutputDebugStringW(u"TRACE :Couldn't open any tracefile. \n");
        writeToFile_ = false;
        return;
    }
    traceFile_ = OpenFallback(*directory, path);
    if (traceFile_ < 0) {
        OutputDebugStringW(u"TRACE :Couldn't open any tracefile.\n");
        writeToFile_ = false;
        return;
    }
    // Later re-reads without a TraceFile value go on with this file.
    traceFileName_ = fallbackName_ = olvani::Utf8ToUtf16(path);
}

void CTrace::CloseTraceFile() {
    if (traceFile_ >= 0)
        ::close(traceFile_);
    traceFile_ = -1;
}

} // namespace morvale
