// Events over eventfd. The descriptor is readable while the event is
// signalled; an auto-reset event is reset by the one waiter whose read takes
// the count. HANDLEs index a process-wide table, so a closed or foreign handle
// is refused rather than used, and a wait in progress keeps its event alive
// when another thread closes the handle.
//
// WaitForMultipleObjects supports waitAll = FALSE only (what the system's
// code uses); waitAll = TRUE gives WAIT_FAILED.
#include "platform/sync.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <memory>
#include <mutex>
#include <poll.h>
#include <pthread.h>
#include <sys/eventfd.h>
#include <unistd.h>
#include <unordered_map>
#include <vector>

namespace {

struct EventObject {
    int fd;
    bool manualReset;
    ~EventObject() { ::close(fd); }
};
using EventPtr = std::shared_ptr<EventObject>;

std::mutex tableMutex;

struct EventTable {
    std::unordered_map<uintptr_t, EventPtr> events;
    uintptr_t next = 0x1000;
};

void LockTable() {
    tableMutex.lock();
}
void UnlockTable() {
    tableMutex.unlock();
}

// Never destroyed: static destructors elsewhere may still close handles.
EventTable& Table() {
    static EventTable* table = [] {
        pthread_atfork(LockTable, UnlockTable, UnlockTable);
        return new EventTable();
    }();
    return *table;
}

EventPtr Find(HANDLE handle) {
    EventTable& table = Table();
    std::lock_guard lock(tableMutex);
    auto it = table.events.find(reinterpret_cast<uintptr_t>(handle));
    return it == table.events.end() ? nullptr : it->second;
}

// Takes the signal of an auto-reset event; false when another waiter was first.
bool Consume(const EventObject& event) {
    uint64_t count;
    return ::read(event.fd, &count, sizeof count) == sizeof count;
}

} // namespace

HANDLE CreateEventW(void*, BOOL manualReset, BOOL initialState, const char16_t*) {
    int fd = ::eventfd(initialState ? 1 : 0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (fd < 0)
        return nullptr;
    EventPtr event(new EventObject{fd, manualReset != FALSE});
    EventTable& table = Table();
    std::lock_guard lock(tableMutex);
    uintptr_t id = table.next;
    table.next += 4;
    table.events.emplace(id, std::move(event));
    return reinterpret_cast<HANDLE>(id);
}

BOOL SetEvent(HANDLE handle) {
    EventPtr event = Find(handle);
    if (!event)
        return FALSE;
    uint64_t one = 1;
    // EAGAIN only when the count is near overflow: it is signalled anyway.
    return ::write(event->fd, &one, sizeof one) == sizeof one || errno == EAGAIN;
}

BOOL ResetEvent(HANDLE handle) {
    EventPtr event = Find(handle);
    if (!event)
        return FALSE;
    uint64_t count;
    while (::read(event->fd, &count, sizeof count) == sizeof count) {
    }
    return TRUE;
}

DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds) {
    return WaitForMultipleObjects(1, &handle, FALSE, milliseconds);
}

DWORD WaitForMultipleObjects(DWORD count, const HANDLE* handles, BOOL waitAll, DWORD milliseconds) {
    if (count == 0 || count > MAXIMUM_WAIT_OBJECTS || !handles || waitAll)
        return WAIT_FAILED;
    std::vector<EventPtr> events;
    std::vector<pollfd> fds;
    for (DWORD i = 0; i < count; ++i) {
        EventPtr event = Find(handles[i]);
        if (!event)
            return WAIT_FAILED;
        fds.push_back({event->fd, POLLIN, 0});
        events.push_back(std::move(event));
    }
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(milliseconds);
    for (;;) {
        int timeout = -1;
        if (milliseconds != INFINITE) {
            auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
            timeout = static_cast<int>(std::clamp<int64_t>(left.count(), 0, INT_MAX));
        }
        int ready = ::poll(fds.data(), fds.size(), timeout);
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready < 0)
            return WAIT_FAILED;
        if (ready == 0)
            return WAIT_TIMEOUT;
        // The lowest signalled index wins, as on Windows.
        for (DWORD i = 0; i < count; ++i) {
            if (fds[i].revents & (POLLERR | POLLNVAL))
                return WAIT_FAILED;
            if (!(fds[i].revents & POLLIN))
                continue;
            if (events[i]->manualReset || Consume(*events[i]))
                return WAIT_OBJECT_0 + i;
        }
        // Every auto-reset signal went to another waiter: wait again.
    }
}

BOOL CloseHandle(HANDLE handle) {
    EventTable& table = Table();
    EventPtr event;
    {
        std::lock_guard lock(tableMutex);
        auto it = table.events.find(reinterpret_cast<uintptr_t>(handle));
        if (it == table.events.end())
            return FALSE;
        event = std::move(it->second);
        table.events.erase(it);
    }
    return TRUE; // the descriptor closes with the last user
}

namespace olvani {

int EventDescriptor(HANDLE handle) {
    EventPtr event = Find(handle);
    return event ? event->fd : -1;
}

} // namespace olvani
