// Morvale against spdlog, in one run:
//  - records per second to the trace file on one thread (spdlog: the same
//    lines to a file sink with a flush after every record);
//  - nanoseconds per Enter/Exit pair (one ScopeTrace) while tracing is off.
// Usage: trace_bench [records] [pairs]
#include "platform/registry.h"
#include "trace/client/module_trace.h"
#include "trace/morvale.h"

#include <spdlog/pattern_formatter.h>
#include <spdlog/sinks/basic_file_sink.h>
#include <spdlog/spdlog.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>

ModuleTraceObject g_moduleTrace(u"bench");

namespace {

using Clock = std::chrono::steady_clock;

constexpr const char16_t* kText = u"Opened registry key SOFTWARE\\Tarvex\\Olvani\\LNS, 3 values";

void SetValue(const char16_t* name, const std::u16string& value) {
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Tarvex\\Olvani\\Trace", 0, nullptr, 0,
                        KEY_ALL_ACCESS, nullptr, &key, nullptr) != ERROR_SUCCESS) {
        std::fprintf(stderr, "cannot create the trace key\n");
        std::exit(1);
    }
    RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                   static_cast<DWORD>((value.size() + 1) * sizeof(char16_t)));
    RegCloseKey(key);
}

double Seconds(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

double OffPairNanoseconds(long pairs) {
    auto start = Clock::now();
    for (long i = 0; i < pairs; ++i) {
        ScopeTrace scope(5, u"ASVeskGetCurrentDate");
    }
    return Seconds(start) * 1e9 / static_cast<double>(pairs);
}

double MorvaleRecordsPerSecond(long records) {
    ScopeTrace scope(5, u"ASVeskGetCurrentDate");
    auto start = Clock::now();
    for (long i = 0; i < records; ++i)
        CTrace_TracePrint(g_moduleTrace.ModuleId(), 5, u"ASVeskGetCurrentDate", kText);
    return static_cast<double>(records) / Seconds(start);
}

double SpdlogRecordsPerSecond(long records, const std::string& path) {
    auto logger = spdlog::basic_logger_mt("bench", path, true);
    // The same six columns as a trace record, CR LF at the end.
    logger->set_formatter(std::make_unique<spdlog::pattern_formatter>(
        "%-30n,\"  |  %v\", %P,%t,%H:%M:%S:%e,%m/%d/%Y", spdlog::pattern_time_type::local, "\r\n"));
    logger->set_level(spdlog::level::trace);
    logger->flush_on(spdlog::level::trace);
    const std::string text = "Opened registry key SOFTWARE\\Tarvex\\Olvani\\LNS, 3 values";
    auto start = Clock::now();
    for (long i = 0; i < records; ++i)
        logger->trace(text);
    double rate = static_cast<double>(records) / Seconds(start);
    spdlog::drop("bench");
    return rate;
}

} // namespace

int main(int argc, char** argv) {
    long records = argc > 1 ? std::atol(argv[1]) : 200000;
    long pairs = argc > 2 ? std::atol(argv[2]) : 20000000;
    auto dir =
        std::filesystem::temp_directory_path() / ("trace_bench." + std::to_string(::getpid()));
    std::filesystem::create_directories(dir / "registry");
    ::setenv("OLVANI_REGISTRY_DIR", (dir / "registry").c_str(), 1);
    std::u16string traceFile;
    for (char c : (dir / "trace.csv").string())
        traceFile.push_back(static_cast<unsigned char>(c));

    SetValue(u"TraceFlag", u"0");
    SetValue(u"TraceLevel", u"9");
    SetValue(u"TraceKey", u"bench");
    SetValue(u"WriteToFile", u"1");
    SetValue(u"TraceFile", traceFile);

    double offNs = OffPairNanoseconds(pairs);

    // Switched on the way an operator does it, picked up by the watch thread.
    SetValue(u"TraceFlag", u"1");
    auto deadline = Clock::now() + std::chrono::seconds(10);
    while (!CTrace_IsTraceOn() && Clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    if (!CTrace_IsTraceOn()) {
        std::fprintf(stderr, "tracing did not switch on\n");
        return 1;
    }

    double morvale = MorvaleRecordsPerSecond(records);
    double spdlogRate = SpdlogRecordsPerSecond(records, (dir / "spdlog.csv").string());

    std::printf("records to the trace file, one thread, %ld records:\n", records);
    std::printf("  morvale  %12.0f records/s\n", morvale);
    std::printf("  spdlog   %12.0f records/s (flush after every record)\n", spdlogRate);
    std::printf("  ratio    %12.2f (morvale / spdlog, target >= 1)\n", morvale / spdlogRate);
    std::printf("Enter/Exit pair with tracing off: %.1f ns (target < 100 ns)\n", offNs);
    std::printf("trace file %ju bytes, spdlog file %ju bytes\n",
                static_cast<uintmax_t>(std::filesystem::file_size(dir / "trace.csv")),
                static_cast<uintmax_t>(std::filesystem::file_size(dir / "spdlog.csv")));
    std::filesystem::remove_all(dir);
    return 0;
}
