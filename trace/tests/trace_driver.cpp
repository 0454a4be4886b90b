// A traced program for the tests that need a process of their own: the trace
// library is process-wide, starts once, and is shared with other processes
// through the registry and the trace file.
//   trace_driver exports           reports what the bare exports answer
//   trace_driver client            traces through the module helper
//   trace_driver append N NAME     writes N text records as module NAME
//   trace_driver wait-on           says "ready", then waits for tracing on
//   trace_driver no-memory SIZE    runs its first calls with allocations of
//                                  SIZE bytes failing
//   trace_driver no-memory-watch SIZE
//                                  says "ready", fails allocations of SIZE
//                                  bytes until one failed, says "failed",
//                                  then waits for tracing off
#include "trace/client/module_trace.h"
#include "trace/morvale.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <thread>

namespace {

// Allocations of exactly this many bytes fail while it is not zero: the
// library runs out of memory at a place the test chooses.
std::atomic<size_t> failingSize{0};
std::atomic<int> failures{0};

} // namespace

void* operator new(size_t size) {
    size_t failing = failingSize.load();
    if (failing != 0 && size == failing) {
        failures.fetch_add(1);
        throw std::bad_alloc();
    }
    if (void* block = std::malloc(size ? size : 1))
        return block;
    throw std::bad_alloc();
}

void operator delete(void* block) noexcept {
    std::free(block);
}

void operator delete(void* block, size_t) noexcept {
    std::free(block);
}

ModuleTraceObject g_moduleTrace(u"TraceDriver");

namespace {

std::u16string Widen(const char* text) {
    std::u16string out;
    for (; *text; ++text)
        out.push_back(static_cast<unsigned char>(*text));
    return out;
}

int Exports() {
    LONG ids[3] = {};
    for (LONG& id : ids)
        CTrace_CreateModuleId(&id);
    std::printf("ids %d %d %d\n", ids[0], ids[1], ids[2]);
    std::printf("fn %d n %d\n", fnCtrace(), nCtrace);
    std::printf("unknown %d %d %d %d\n", CTrace_Entry(99, 1, u"f"), CTrace_Exit(99, 1, u"f"),
                CTrace_TracePrint(99, 1, u"f", u"t"), CTrace_SetNameOfModule(99, u"x"));
    // The name comes back as a copy that a later rename does not change.
    BSTR before = nullptr, after = nullptr, none = nullptr;
    CTrace_SetNameOfModule(ids[1], u"dravik");
    bool got = CTrace_GetNameOfModule(ids[1], &before);
    CTrace_SetNameOfModule(ids[1], u"quessa");
    got = got && CTrace_GetNameOfModule(ids[1], &after);
    std::printf("names %d %zu %zu %d\n", got, static_cast<size_t>(SysStringLen(before)),
                static_cast<size_t>(SysStringLen(after)),
                CTrace_GetNameOfModule(99, &none) || none != nullptr);
    bool copied = before && after && std::u16string(before) == u"dravik" &&
                  std::u16string(after) == u"quessa";
    std::printf("copies %d\n", copied);
    SysFreeString(before);
    SysFreeString(after);
    LONG flag = -1, indent = -1;
    CTrace_GetTraceFlag(&flag);
    CTrace_Entry(ids[0], 1, u"f");
    CTrace_GetIndent(&indent);
    std::printf("flag %d on %d indent %d\n", flag, CTrace_IsTraceOn(), indent);
    return 0;
}

// Returns early on its error path: the text record and then one Exit.
int ParseCount(const char16_t* text) {
    ScopeTrace scope(6, u"ParseCount");
    if (!text || !*text) {
        TraceFormat(scope, u"Invalid count '%s', error %d", u"", 87);
        return -1;
    }
    return 1;
}

int Client() {
    ScopeTrace scope(5, u"Client");
    ParseCount(nullptr);
    TraceFormat(scope, u"");
    TraceFormat(scope, nullptr);
    std::u16string fits(4095, u'a'), cut(4100, u'b');
    TraceFormat(scope, u"%s", fits.c_str());
    TraceFormat(scope, u"%s", cut.c_str());
    return 0;
}

int Append(long count, const char* name) {
    std::u16string moduleName = Widen(name);
    ModuleTraceObject module(moduleName.c_str());
    ScopeTrace scope(module, 5, u"Append");
    std::u16string filler(180, u'x');
    for (long i = 0; i < count; ++i)
        TraceFormat(scope, u"record %ld of %s %s", static_cast<LONG>(i), moduleName.c_str(),
                    filler.c_str());
    return 0;
}

// Waits (bounded) until `done` says so; nothing signals these states.
template <typename Done> bool WaitFor(Done done) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

int WaitOn() {
    { ScopeTrace scope(1, u"Starting"); }
    std::printf("ready\n");
    std::fflush(stdout);
    // The switch arrives through the watch thread.
    if (!WaitFor([] { return CTrace_IsTraceOn(); }))
        return 1;
    ScopeTrace scope(1, u"SwitchedOn");
    return 0;
}

// The first call starts the library; both it and a rename run out of memory.
int NoMemory(size_t size) {
    std::u16string name(size / 2 - 1, u'n');
    LONG id = 0;
    CTrace_CreateModuleId(&id);
    failingSize.store(size);
    bool on = CTrace_IsTraceOn();
    bool named = CTrace_SetNameOfModule(id, name.c_str());
    failingSize.store(0);
    std::printf("on %d named %d failed %d\n", on, named, failures.load() >= 2);
    return 0;
}

// The watch thread's re-read runs out of memory; the thread goes on.
int NoMemoryWatch(size_t size) {
    if (!CTrace_IsTraceOn())
        return 1;
    // Armed before "ready": the test changes the settings as soon as it
    // reads it, and the watch thread may re-read them before this thread
    // runs again.
    failingSize.store(size);
    std::printf("ready\n");
    std::fflush(stdout);
    bool failed = WaitFor([] { return failures.load() > 0; });
    failingSize.store(0);
    std::printf("failed %d\n", failed);
    std::fflush(stdout);
    return WaitFor([] { return !CTrace_IsTraceOn(); }) ? 0 : 1;
}

} // namespace

int main(int argc, char** argv) {
    std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "exports")
        return Exports();
    if (mode == "client")
        return Client();
    if (mode == "append" && argc > 3)
        return Append(std::atol(argv[2]), argv[3]);
    if (mode == "wait-on")
        return WaitOn();
    if (mode == "no-memory" && argc > 2)
        return NoMemory(std::strtoul(argv[2], nullptr, 10));
    if (mode == "no-memory-watch" && argc > 2)
        return NoMemoryWatch(std::strtoul(argv[2], nullptr, 10));
    std::fprintf(stderr, "usage: trace_driver exports|client|append N NAME|wait-on|"
                         "no-memory SIZE|no-memory-watch SIZE\n");
    return 2;
}
