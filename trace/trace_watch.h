// TraceWatchData and the NotifyRegistryChange thread: waits for changes under
// the settings key and has CTrace re-read them while the process runs.
#pragma once

#include "platform/registry.h"
#include "platform/wintypes.h"

#include <atomic>
#include <pthread.h>
#include <sys/types.h>

namespace morvale {

class CTrace;

class TraceWatchData {
public:
    // Registers with `trace`, which starts the thread at its first call.
    explicit TraceWatchData(CTrace& trace);
    // Stops the thread through its stop event (there is no forced
    // termination here) and frees the handles.
    ~TraceWatchData();
    TraceWatchData(const TraceWatchData&) = delete;
    TraceWatchData& operator=(const TraceWatchData&) = delete;

    // Starts NotifyRegistryChange; false when the thread cannot be created.
    bool Start();
    bool Running() const { return running_.load(); }

private:
    static void* ThreadMain(void* self);
    void NotifyRegistryChange();
    // Asks for the next change notification.
    bool Arm();

    CTrace& trace_;
    HANDLE event_ = nullptr;
    HKEY key_ = nullptr;
    HANDLE stopEvent_ = nullptr;
    pthread_t thread_{};
    bool started_ = false;
    // The thread exists only in the process that started it, not in a
    // forked child.
    pid_t owner_ = 0;
    std::atomic<bool> running_{false};
};

} // namespace morvale
