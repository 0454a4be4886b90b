#include "trace/trace_watch.h"

#include "platform/debugout.h"
#include "platform/sync.h"
#include "trace/ctrace.h"

#include <csignal>
#include <unistd.h>

namespace morvale {
namespace {

constexpr DWORD kNotifyAll = REG_NOTIFY_CHANGE_NAME | REG_NOTIFY_CHANGE_ATTRIBUTES |
                             REG_NOTIFY_CHANGE_LAST_SET | REG_NOTIFY_CHANGE_SECURITY;

} // namespace

TraceWatchData::TraceWatchData(CTrace& trace) : trace_(trace) {
    trace_.AttachWatch(this);
}

TraceWatchData::~TraceWatchData() {
    trace_.AttachWatch(nullptr);
    if (started_ && owner_ == ::getpid()) {
        if (running_.load()) {
            SetEvent(stopEvent_);
            OutputDebugStringW(u"TRACE : Stopped NotifyRegistryChange Thread\n");
        }
        ::pthread_join(thread_, nullptr);
        started_ = false;
        if (event_)
            CloseHandle(event_);
        if (key_)
            RegCloseKey(key_);
        event_ = nullptr;
        key_ = nullptr;
    }
    if (stopEvent_ && owner_ == ::getpid())
        CloseHandle(stopEvent_);
    stopEvent_ = nullptr;
    OutputDebugStringW(u"Freed NotifyRegistryChange Thread data\n");
}

bool TraceWatchData::Start() {
    if (started_)
        return true;
    owner_ = ::getpid();
    if (!stopEvent_)
        stopEvent_ = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (!stopEvent_)
        return false;
    running_.store(true);
    // The thread must not take signals meant for the program's own threads.
    sigset_t all, previous;
    sigfillset(&all);
    ::pthread_sigmask(SIG_SETMASK, &all, &previous);
    int error = ::pthread_create(&thread_, nullptr, &TraceWatchData::ThreadMain, this);
    ::pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    if (error != 0) {
        running_.store(false);
        return false;
    }
    started_ = true;
    return true;
}

void* TraceWatchData::ThreadMain(void* self) {
    auto* watch = static_cast<TraceWatchData*>(self);
    try {
        watch->NotifyRegistryChange();
    } catch (...) {
        OutputDebugStringW(u"TRACE : Exception in NotifyRegistryChange. Dynamic trace will not "
                           u"work\n");
    }
    watch->running_.store(false);
    return nullptr;
}

void TraceWatchData::NotifyRegistryChange() {
    event_ = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (!event_)
        return;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kTraceKeyPath, 0, KEY_READ, &key_) != ERROR_SUCCESS) {
        key_ = nullptr;
        OutputDebugStringW(u"TRACE : RegOpenKeyEx failed. Dynamic trace will not work");
        return;
    }
    const HANDLE waitFor[2] = {event_, stopEvent_};
    bool armed = Arm();
    while (armed) {
        if (WaitForMultipleObjects(2, waitFor, FALSE, INFINITE) != WAIT_OBJECT_0)
            return; // stopped, or the wait failed
        // Ask again before reading, so a change made during the re-read
        // signals once more instead of being lost.
        ResetEvent(event_);
        armed = Arm();
        try {
            trace_.ReadTraceSettings();
        } catch (...) {
            // Out of memory half-way: the earlier settings stay in force
            // and the next change is read again.
            OutputDebugStringW(u"TRACE : Exception while reading the trace settings\n");
        }
    }
}

bool TraceWatchData::Arm() {
    if (RegNotifyChangeKeyValue(key_, TRUE, kNotifyAll, event_, TRUE) == ERROR_SUCCESS)
        return true;
    OutputDebugStringW(u"TRACE : RegNotifyChangeKeyValue failed. Dynamic trace will not work");
    return false;
}

} // namespace morvale
