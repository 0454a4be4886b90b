// A traced program for the tests that need a process of their own: the trace
// library is process-wide, starts once, and is shared with other processes
// through the registry and the trace file.
//   trace_driver exports           reports what the bare exports answer
//   trace_driver client            traces through the module helper
//   trace_driver append N NAME     writes N text records as module NAME
//   trace_driver wait-on           says "ready", then waits for tracing on
#include "trace/client/module_trace.h"
#include "trace/morvale.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

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

int WaitOn() {
    { ScopeTrace scope(1, u"Starting"); }
    std::printf("ready\n");
    std::fflush(stdout);
    // The switch arrives through the watch thread; nothing to wait on here.
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!CTrace_IsTraceOn()) {
        if (std::chrono::steady_clock::now() > deadline)
            return 1;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    ScopeTrace scope(1, u"SwitchedOn");
    return 0;
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
    std::fprintf(stderr, "usage: trace_driver exports|client|append N NAME|wait-on\n");
    return 2;
}
