#include "trace/ctrace.h"

#include "platform/debugout.h"
#include "trace/trace_watch.h"

#include <algorithm>
#include <cerrno>
#include <ctime>
#include <limits>
#include <pthread.h>
#include <sys/syscall.h>
#include <unistd.h>
#include <vector>

namespace morvale {
namespace {

// Both ids cost a system call, so they are kept: the process id for the
// process and the thread id per thread, renewed in a forked child (whose only
// thread is the one that forked).
std::atomic<DWORD> processId{0};
thread_local DWORD threadId = 0;

void KeepProcessId() {
    processId.store(static_cast<DWORD>(::getpid()));
    threadId = 0;
}

DWORD CurrentProcessId() {
    static const bool kept = [] {
        KeepProcessId();
        ::pthread_atfork(nullptr, nullptr, KeepProcessId);
        return true;
    }();
    (void)kept;
    return processId.load(std::memory_order_relaxed);
}

DWORD CurrentThreadId() {
    if (threadId == 0) {
        CurrentProcessId(); // registers the renewal at fork first
        threadId = static_cast<DWORD>(::gettid());
    }
    return threadId;
}

const char16_t* OrNull(const char16_t* text) {
    return text ? text : u"(null)";
}

// One write(2) per record: with O_APPEND the record lands whole at the end
// of the file even when other processes append to it too.
bool WriteWhole(int fd, const char* data, size_t size) {
    ssize_t written;
    do {
        written = ::write(fd, data, size);
    } while (written < 0 && errno == EINTR);
    return written >= 0 && static_cast<size_t>(written) == size;
}

// Every live trace object, for the fork handlers.
std::mutex liveLock;
std::vector<CTrace*>& LiveTraces() {
    static std::vector<CTrace*> live;
    return live;
}

} // namespace

CTrace::CTrace() {
    static const bool registered = [] {
        // After the debugger output's handlers: the trace lock is taken
        // first, as when a record is written to the debugger.
        olvani::KeepDebugOutputAcrossFork();
        ::pthread_atfork(&CTrace::LockAllForFork, &CTrace::UnlockAllAfterFork,
                         &CTrace::UnlockAllAfterFork);
        return true;
    }();
    (void)registered;
    {
        std::lock_guard lock(liveLock);
        LiveTraces().push_back(this);
    }
    OutputDebugStringW(u"TRACE : CTrace is successful \n");
}

CTrace::~CTrace() {
    {
        std::lock_guard lock(liveLock);
        auto& live = LiveTraces();
        live.erase(std::remove(live.begin(), live.end(), this), live.end());
    }
    {
        std::lock_guard lock(lock_);
        modules_.clear();
        keys_.Clear();
        CloseTraceFile();
    }
    OutputDebugStringW(u"TRACE : ~CTrace is successful \n");
}

void CTrace::LockAllForFork() {
    liveLock.lock();
    for (CTrace* trace : LiveTraces()) {
        trace->initLock_.lock();
        trace->lock_.lock();
    }
}

void CTrace::UnlockAllAfterFork() {
    for (CTrace* trace : LiveTraces()) {
        trace->lock_.unlock();
        trace->initLock_.unlock();
    }
    liveLock.unlock();
}

bool CTrace::CreateModuleId(LONG* id) {
    if (!id)
        return false;
    std::lock_guard lock(lock_);
    LONG next = nextModuleId_.load();
    if (next == std::numeric_limits<LONG>::max())
        return false;
    modules_.emplace(next, TraceModule{});
    *id = next;
    // Published after the insert: an id below nextModuleId_ is always in
    // the table, which lets the record exports check ids without the lock.
    nextModuleId_.store(next + 1);
    return true;
}

bool CTrace::SetNameOfModule(LONG id, const char16_t* name) {
    std::lock_guard lock(lock_);
    auto it = modules_.find(id);
    if (it == modules_.end())
        return false;
    it->second.name = name ? name : u"";
    return true;
}

std::optional<std::u16string> CTrace::NameOfModule(LONG id) {
    std::lock_guard lock(lock_);
    auto it = modules_.find(id);
    if (it == modules_.end())
        return std::nullopt;
    return it->second.name;
}

bool CTrace::Entry(LONG id, LONG level, const char16_t* text) {
    if (!ModuleExists(id))
        return false;
    Record(id, RecordKind::Enter, level, text);
    return true;
}

bool CTrace::Exit(LONG id, LONG level, const char16_t* text) {
    if (!ModuleExists(id))
        return false;
    Record(id, RecordKind::Exit, level, text);
    return true;
}

bool CTrace::TracePrint(LONG id, LONG level, const char16_t* /*scope*/, const char16_t* text) {
    if (!ModuleExists(id))
        return false;
    return Record(id, RecordKind::Text, level, text);
}

bool CTrace::GetTraceFlag(LONG* flag) {
    Initialize();
    if (!flag)
        return false;
    std::lock_guard lock(lock_);
    *flag = disabled_.load() ? 0 : 1;
    return true;
}

bool CTrace::GetIndent(LONG* indent) {
    Initialize();
    if (!indent)
        return false;
    std::lock_guard lock(lock_);
    *indent = indentTable_[CurrentThreadId()];
    return true;
}

bool CTrace::IsTraceOn() {
    Initialize();
    return TracingOn();
}

void CTrace::Initialize() {
    if (initialised_.load(std::memory_order_acquire))
        return;
    std::lock_guard lock(initLock_);
    if (initialised_.load(std::memory_order_relaxed))
        return;
    try {
        RunInitialize();
    } catch (...) {
        OutputDebugStringW(u"TRACE Exception in Initialize. Trace turned OFF\n");
        traceFlag_.store(0);
    }
    initialised_.store(true, std::memory_order_release);
}

void CTrace::RunInitialize() {
    disabled_.store(IsTraceDisabled());
    if (disabled_.load())
        return;
    ReadTraceSettings();
    if (watch_ && watch_->Start())
        OutputDebugStringW(u"TRACE : Successful Thread creation \n");
    else
        OutputDebugStringW(u"TRACE : Unable to create thread \n");
}

bool CTrace::Record(LONG id, RecordKind kind, LONG level, const char16_t* text) {
    Initialize();
    // Tracing off is the common case: answer it without the lock.
    if (!TracingOn())
        return true;
    std::lock_guard lock(lock_);
    if (!TracingOn())
        return true;
    const std::u16string& name = modules_.find(id)->second.name;
    if (level > traceLevel_ || !keys_.Selects(name))
        return true;

    RecordInput input;
    input.module = name;
    input.kind = kind;
    input.level = level;
    input.text = OrNull(text);
    input.processId = CurrentProcessId();
    input.threadId = CurrentThreadId();
    input.time = LocalTime();
    return Output(FormatRecord(record_, input, indentTable_[input.threadId]));
}

bool CTrace::Output(RecordResult result) {
    if (result != RecordResult::Complete)
        OutputDebugStringW(u"TRACE : Too long string to Trace");
    if (result == RecordResult::Dropped)
        return false;
    if (writeToDebug_)
        OutputDebugStringW(record_.CStr());
    if (writeToFile_) {
        size_t bytes = EncodeForFile(record_.View(), encoded_);
        if (!WriteWhole(traceFile_, encoded_, bytes)) {
            OutputDebugStringW(u"TRACE : Writing to trace file failed");
            return false;
        }
    }
    return true;
}

RecordTime CTrace::LocalTime() {
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    if (now.tv_sec != cachedSecond_) {
        tm local{};
        time_t seconds = now.tv_sec;
        ::localtime_r(&seconds, &local);
        cachedTime_.hour = local.tm_hour;
        cachedTime_.minute = local.tm_min;
        cachedTime_.second = local.tm_sec;
        cachedTime_.month = local.tm_mon + 1;
        cachedTime_.day = local.tm_mday;
        cachedTime_.year = local.tm_year + 1900;
        cachedSecond_ = now.tv_sec;
    }
    RecordTime time = cachedTime_;
    time.millisecond = static_cast<int>(now.tv_nsec / 1000000);
    return time;
}

LONG CTrace::TraceLevel() {
    std::lock_guard lock(lock_);
    return traceLevel_;
}

std::u16string CTrace::TraceFileName() {
    std::lock_guard lock(lock_);
    return traceFileName_;
}

size_t CTrace::KeyCount() {
    std::lock_guard lock(lock_);
    return keys_.Keys().size();
}

bool CTrace::WritesToFile() {
    std::lock_guard lock(lock_);
    return writeToFile_;
}

} // namespace morvale
