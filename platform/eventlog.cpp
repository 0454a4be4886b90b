#include "platform/eventlog.h"

#include "platform/strings.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <fcntl.h>
#include <mutex>
#include <nlohmann/json.hpp>
#include <string>
#include <sys/stat.h>
#include <syslog.h>
#include <systemd/sd-journal.h>
#include <unistd.h>

namespace {

std::string Utf8(LPCOLESTR text) {
    return text ? olvani::Utf16ToUtf8(text) : std::string();
}

HRESULT FromErrno(int error) {
    switch (error) {
    case EACCES:
    case EPERM:
    case ELOOP: // the event file is a symbolic link
    case EROFS:
        return HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED);
    case ENOENT:
    case ENOTDIR:
        return HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND);
    case ENOSPC:
    case EDQUOT:
        return HRESULT_FROM_WIN32(ERROR_DISK_FULL);
    default:
        return HRESULT_FROM_WIN32(ERROR_WRITE_FAULT);
    }
}

std::string Now() {
    using namespace std::chrono;
    auto now = system_clock::now();
    time_t seconds = system_clock::to_time_t(now);
    auto millis = duration_cast<milliseconds>(now.time_since_epoch()).count() % 1000;
    tm utc{};
    gmtime_r(&seconds, &utc);
    char text[96];
    snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", utc.tm_year + 1900,
             utc.tm_mon + 1, utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec,
             static_cast<int>(millis));
    return text;
}

// Appends one line with a single write. Never follows a link and never opens
// anything but a regular file, so a fifo left at the path cannot block us.
HRESULT AppendLine(const std::string& path, const std::string& line) {
    int fd =
        open(path.c_str(),
             O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY, 0640);
    if (fd < 0)
        return FromErrno(errno);
    struct stat status {};
    if (fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
        close(fd);
        return HRESULT_FROM_WIN32(ERROR_WRITE_FAULT);
    }
    size_t done = 0;
    while (done < line.size()) {
        ssize_t written = write(fd, line.data() + done, line.size() - done);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0) {
            int error = written < 0 ? errno : ENOSPC;
            close(fd);
            return FromErrno(error);
        }
        done += static_cast<size_t>(written);
    }
    return close(fd) == 0 ? S_OK : FromErrno(errno);
}

bool JournalRuns() {
    static const bool runs = access("/run/systemd/journal/socket", W_OK) == 0;
    return runs;
}

struct Event {
    std::string text;
    LONG f1;
    std::string f2, f3;
    LONG f4;
    std::string f5, f6, f7;
    LONG f8, f9, f10;
};

HRESULT SendToSystemLog(const Event& e) {
    if (!JournalRuns()) {
        syslog(LOG_USER | LOG_INFO, "%s", e.text.c_str());
        return S_OK;
    }
    int result = sd_journal_send(
        "MESSAGE=%s", e.text.c_str(), "PRIORITY=%d", LOG_INFO, "OLVANI_F1=%d", e.f1, "OLVANI_F2=%s",
        e.f2.c_str(), "OLVANI_F3=%s", e.f3.c_str(), "OLVANI_F4=%d", e.f4, "OLVANI_F5=%s",
        e.f5.c_str(), "OLVANI_F6=%s", e.f6.c_str(), "OLVANI_F7=%s", e.f7.c_str(), "OLVANI_F8=%d",
        e.f8, "OLVANI_F9=%d", e.f9, "OLVANI_F10=%d", e.f10, nullptr);
    return result < 0 ? FromErrno(-result) : S_OK;
}

std::string JsonLine(const Event& e) {
    nlohmann::ordered_json record{
        {"time", Now()}, {"pid", getpid()}, {"text", e.text}, {"f1", e.f1}, {"f2", e.f2},
        {"f3", e.f3},    {"f4", e.f4},      {"f5", e.f5},     {"f6", e.f6}, {"f7", e.f7},
        {"f8", e.f8},    {"f9", e.f9},      {"f10", e.f10}};
    return record.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
}

class VeskEvents final : public IVeskEvents2, public IErrorInfo {
public:
    VeskEvents() {
        if (const char* path = secure_getenv("OLVANI_EVENT_LOG"))
            logFile_ = path;
    }

    HRESULT QueryInterface(REFIID iid, void** object) override {
        if (!object)
            return E_POINTER;
        if (iid == IID_IUnknown || iid == IID_IVeskEvents || iid == IID_IVeskEvents2)
            *object = static_cast<IVeskEvents2*>(this);
        else if (iid == IID_IErrorInfo)
            *object = static_cast<IErrorInfo*>(this);
        else {
            *object = nullptr;
            return E_NOINTERFACE;
        }
        AddRef();
        return S_OK;
    }
    ULONG AddRef() override { return ++references_; }
    ULONG Release() override {
        ULONG left = --references_;
        if (left == 0)
            delete this;
        return left;
    }

    HRESULT LogEvent(LPCOLESTR text, LONG f1, LPCOLESTR f2, LPCOLESTR f3, LONG f4, LPCOLESTR f5,
                     LPCOLESTR f6, LPCOLESTR f7, LONG f8, LONG f9, LONG f10) override {
        {
            std::lock_guard guard(lock_);
            description_ = text ? text : u"";
        }
        Event e{Utf8(text), f1, Utf8(f2), Utf8(f3), f4, Utf8(f5), Utf8(f6), Utf8(f7), f8, f9, f10};
        HRESULT logged = SendToSystemLog(e);
        if (logFile_.empty())
            return logged;
        return AppendLine(logFile_, JsonLine(e));
    }

    HRESULT GetLogFile(BSTR* path) override {
        if (!path)
            return E_POINTER;
        std::u16string wide = olvani::Utf8ToUtf16(logFile_);
        *path = SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size()));
        return *path ? S_OK : E_OUTOFMEMORY;
    }

    HRESULT GetGUID(GUID* guid) override {
        if (!guid)
            return E_POINTER;
        *guid = IID_IVeskEvents;
        return S_OK;
    }
    HRESULT GetSource(BSTR* source) override { return Hand(kVeskEventsProgId, source); }
    HRESULT GetDescription(BSTR* description) override {
        std::lock_guard guard(lock_);
        return Hand(description_, description);
    }
    HRESULT GetHelpFile(BSTR* helpFile) override { return Hand(u"", helpFile); }
    HRESULT GetHelpContext(DWORD* helpContext) override {
        if (!helpContext)
            return E_POINTER;
        *helpContext = 0;
        return S_OK;
    }

private:
    ~VeskEvents() = default;

    static HRESULT Hand(std::u16string_view text, BSTR* out) {
        if (!out)
            return E_POINTER;
        *out = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
        return *out ? S_OK : E_OUTOFMEMORY;
    }

    std::atomic<ULONG> references_{1};
    std::mutex lock_;
    std::u16string description_;
    std::string logFile_;
};

} // namespace

HRESULT CreateVeskEvents(REFIID iid, void** object) {
    if (!object)
        return E_POINTER;
    auto* events = new VeskEvents;
    HRESULT hr = events->QueryInterface(iid, object);
    events->Release();
    return hr;
}
