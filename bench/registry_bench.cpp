// Reading one value from an unchanged 1,000-key hive must cost no more than a
// stat and a lookup. Prints the median and tail of open + query + close, and
// what a change costs (the next read re-parses the file).
// Usage: registry_bench [iterations]   exit status 1 when the median misses 5 us.
#include "platform/registry.h"
#include "platform/registry_hive.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kKeys = 1000;
constexpr double kTargetMicroseconds = 5.0;

std::u16string KeyPath(int i) {
    std::string narrow = "SOFTWARE\\Tarvex\\Olvani\\Bench\\Key" + std::to_string(i);
    return std::u16string(narrow.begin(), narrow.end());
}

void WriteHive(const std::string& file) {
    std::ofstream out(file, std::ios::binary);
    out << "Windows Registry Editor Version 5.00\n\n";
    for (int i = 0; i < kKeys; ++i) {
        out << "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Tarvex\\Olvani\\Bench\\Key" << i << "]\n"
            << "\"TraceFile\"=\"/var/log/olvani/trace" << i << ".csv\"\n"
            << "\"TraceLevel\"=\"" << (i % 9 + 1) << "\"\n"
            << "\"DisableTrace\"=dword:00000000\n\n";
    }
}

double Percentile(std::vector<double>& samples, double p) {
    size_t at = static_cast<size_t>(p * static_cast<double>(samples.size() - 1));
    std::nth_element(samples.begin(), samples.begin() + static_cast<long>(at), samples.end());
    return samples[at];
}

// One read as the libraries do it; returns microseconds.
double TimedRead(const std::u16string& path) {
    auto start = Clock::now();
    HKEY key = nullptr;
    char16_t buffer[1024];
    DWORD size = sizeof buffer;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS ||
        RegQueryValueExW(key, u"TraceFile", nullptr, nullptr, reinterpret_cast<BYTE*>(buffer),
                         &size) != ERROR_SUCCESS) {
        std::fprintf(stderr, "registry_bench: read failed\n");
        std::exit(2);
    }
    RegCloseKey(key);
    return std::chrono::duration<double, std::micro>(Clock::now() - start).count();
}

// One string value written through a key opened for it; returns microseconds.
double TimedWrite(HKEY key, const char16_t* text) {
    auto start = Clock::now();
    if (RegSetValueExW(key, u"TraceLevel", 0, REG_SZ, reinterpret_cast<const BYTE*>(text), 4) !=
        ERROR_SUCCESS) {
        std::fprintf(stderr, "registry_bench: write failed\n");
        std::exit(2);
    }
    return std::chrono::duration<double, std::micro>(Clock::now() - start).count();
}

// Parses a hive holding one chain of keys as deep and as long-named as the
// limits allow a caller to reach in reasonable files: 512 levels of 64
// characters, one section per key as the writer lays it out. Returns
// milliseconds and the size of the text.
double DeepHiveParse(size_t& bytes) {
    std::string text = "Windows Registry Editor Version 5.00\n\n";
    std::string path = "HKEY_LOCAL_MACHINE";
    for (size_t level = 0; level < olvani::registry::kMaxKeyDepth; ++level) {
        path += '\\' + std::string(63, 'k') + static_cast<char>('a' + level % 26);
        text += '[' + path + "]\n\n";
    }
    bytes = text.size();
    olvani::registry::Hive hive;
    olvani::registry::ParseError error;
    auto start = Clock::now();
    if (!olvani::registry::ParseHive(text, "HKEY_LOCAL_MACHINE", hive, error)) {
        std::fprintf(stderr, "registry_bench: the deep hive does not parse: %s\n",
                     error.message.c_str());
        std::exit(2);
    }
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

} // namespace

int main(int argc, char** argv) {
    const int iterations = argc > 1 ? std::atoi(argv[1]) : 200000;
    std::string dir = (std::filesystem::temp_directory_path() / "olvani-reg-bench-XXXXXX");
    if (!::mkdtemp(dir.data()))
        return 2;
    ::setenv("OLVANI_REGISTRY_DIR", dir.c_str(), 1);
    WriteHive(dir + "/HKEY_LOCAL_MACHINE.reg");

    double firstRead = TimedRead(KeyPath(0)); // parses the file
    // A hive the programs use has been written through the registry at least
    // once, which leaves the writers' change counter beside it.
    HKEY key = nullptr;
    RegOpenKeyExW(HKEY_LOCAL_MACHINE, KeyPath(0).c_str(), 0, KEY_SET_VALUE, &key);
    double firstWrite = TimedWrite(key, u"2");
    RegCloseKey(key);

    std::vector<std::u16string> paths;
    for (int i = 0; i < kKeys; ++i)
        paths.push_back(KeyPath(i));
    for (int i = 0; i < 1000; ++i)
        TimedRead(paths[static_cast<size_t>(i) % kKeys]);

    std::vector<double> samples;
    samples.reserve(static_cast<size_t>(iterations));
    for (int i = 0; i < iterations; ++i)
        samples.push_back(TimedRead(paths[static_cast<size_t>(i * 7919) % kKeys]));

    // The file replaced by other means: the first read after it parses it.
    std::filesystem::copy_file(dir + "/HKEY_LOCAL_MACHINE.reg", dir + "/copy.reg");
    std::filesystem::rename(dir + "/copy.reg", dir + "/HKEY_LOCAL_MACHINE.reg");
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    double reparse = TimedRead(paths[5]);

    double median = Percentile(samples, 0.5);
    double p90 = Percentile(samples, 0.9);
    double p99 = Percentile(samples, 0.99);
    std::printf("registry_bench: hive of %d keys, %d reads of one value\n", kKeys, iterations);
    std::printf("  open+query+close, unchanged hive: median %.2f us, p90 %.2f us, p99 %.2f us "
                "(target: median < %.1f us)\n",
                median, p90, p99, kTargetMicroseconds);
    std::printf("  first read (parses the file): %.0f us; first read after the file was replaced: "
                "%.0f us; one RegSetValueExW (lock, rewrite, fsync, rename): %.0f us\n",
                firstRead, reparse, firstWrite);
    size_t deepBytes = 0;
    double deepParse = DeepHiveParse(deepBytes);
    std::printf("  a hive of one key chain 512 levels deep (%.1f MB): parsed in %.0f ms\n",
                static_cast<double>(deepBytes) / 1e6, deepParse);
    std::filesystem::remove_all(dir);
    bool ok = median < kTargetMicroseconds;
    std::printf("  %s\n", ok ? "PASS" : "FAIL: median over target");
    return ok ? 0 : 1;
}
