// CTrace: the process-wide trace object behind the CTrace_* exports. It keeps
// the registered modules, the settings read from the registry, the open trace
// file and each thread's depth, and writes the records.
#pragma once

#include "platform/wintypes.h"
#include "trace/trace_keys.h"
#include "trace/trace_record.h"

#include <atomic>
#include <map>
#include <mutex>
#include <optional>
#include <string>

namespace morvale {

class TraceWatchData;

struct TraceModule {
    std::u16string name = u"Default";
};

// The settings key below HKEY_LOCAL_MACHINE.
inline constexpr const char16_t* kTraceKeyPath = u"SOFTWARE\\Tarvex\\Olvani\\Trace";

class CTrace {
public:
    CTrace();
    ~CTrace();
    CTrace(const CTrace&) = delete;
    CTrace& operator=(const CTrace&) = delete;

    bool CreateModuleId(LONG* id);
    bool SetNameOfModule(LONG id, const char16_t* name);
    // The module's name, or nothing for an unknown id.
    std::optional<std::u16string> NameOfModule(LONG id);
    bool Entry(LONG id, LONG level, const char16_t* text);
    bool Exit(LONG id, LONG level, const char16_t* text);
    bool TracePrint(LONG id, LONG level, const char16_t* scope, const char16_t* text);
    bool GetTraceFlag(LONG* flag);
    bool GetIndent(LONG* indent);
    bool IsTraceOn();

    // One-time start-up; safe when several threads make their first call
    // together. Never throws: a failure turns tracing off.
    void Initialize();
    // Re-reads every setting from the registry and reopens the trace file.
    void ReadTraceSettings();
    // Whether the settings key is missing or DisableTrace is set.
    static bool IsTraceDisabled();

    // The watch thread is started by Initialize through the object registered
    // here (constructed after this one, destroyed before it).
    void AttachWatch(TraceWatchData* watch) { watch_ = watch; }

    // Read-only views for the tests.
    LONG TraceLevel();
    std::u16string TraceFileName();
    size_t KeyCount();
    bool WritesToFile();

private:
    bool ModuleExists(LONG id) const { return id >= 1 && id < nextModuleId_.load(); }
    bool TracingOn() const { return !disabled_.load() && traceFlag_.load() != 0; }
    bool Record(LONG id, RecordKind kind, LONG level, const char16_t* text);
    bool Output(RecordResult result);
    static void ParseKeys(TraceKeyList& keys, std::u16string_view text);
    void OpenTraceFile();
    void CloseTraceFile();
    void RunInitialize();
    RecordTime LocalTime();

    // Taken around fork (see ctrace.cpp), so that a child never starts
    // with a lock that a thread of its parent held.
    static void LockAllForFork();
    static void UnlockAllAfterFork();

    std::mutex lock_;
    std::map<LONG, TraceModule> modules_;
    std::atomic<LONG> nextModuleId_{1};
    std::mutex initLock_; // taken before lock_
    std::atomic<bool> initialised_{false};
    std::u16string traceFileName_ = u"trace.csv";
    // The fallback in the temporary directory, once one was opened.
    std::u16string fallbackName_;
    std::atomic<LONG> traceFlag_{0};
    std::atomic<bool> disabled_{false};
    LONG traceLevel_ = 1;
    TraceKeyList keys_;
    int traceFile_ = -1;
    bool writeToFile_ = false;
    bool writeToDebug_ = false;
    std::map<DWORD, LONG> indentTable_;
    TraceWatchData* watch_ = nullptr;

    // Record and conversion buffers, used only under the lock.
    RecordBuffer record_;
    char encoded_[kEncodedCapacity];
    // The local time of the last whole second, so that most records skip
    // the time zone conversion.
    int64_t cachedSecond_ = -1;
    RecordTime cachedTime_;
};

} // namespace morvale
