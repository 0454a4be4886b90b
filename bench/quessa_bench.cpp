// Quessa's message formatting against fmt, in one run:
//  - ASFormatString3 calls per second for a three-argument positional
//    message, and fmt::format per second for the same text;
//  - microseconds per ASVeskReportError4 with the event file on tmpfs
//    (/dev/shm), the message taken from Quessa's own catalog.
// Each figure is the median of seven rounds, timed in the thread's CPU time
// so that other work on a shared machine does not count. Tracing is off (a
// private, empty registry), as on a production machine.
// Usage: quessa_bench [seconds-per-round] [reports-per-round]
#include "events/quessa.h"
#include "platform/resources.h"

#include <fmt/format.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

namespace {

constexpr int kRounds = 7;

// The calling thread's CPU time.
struct Clock {
    using time_point = double;
    static double now() {
        timespec now{};
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
        return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
    }
};

double Seconds(Clock::time_point start) {
    return Clock::now() - start;
}

double MedianOf(std::vector<double> figures) {
    std::sort(figures.begin(), figures.end());
    return figures[figures.size() / 2];
}

template <class F> double Median(F round) {
    std::vector<double> figures;
    for (int i = 0; i < kRounds; ++i)
        figures.push_back(round());
    return MedianOf(figures);
}

// Calls per second of `call`, run for about `seconds`.
template <class F> double Rate(double seconds, F call) {
    long calls = 0;
    auto start = Clock::now();
    double elapsed = 0;
    do {
        for (int i = 0; i < 1000; ++i)
            call();
        calls += 1000;
        elapsed = Seconds(start);
    } while (elapsed < seconds);
    return static_cast<double>(calls) / elapsed;
}

} // namespace

int main(int argc, char** argv) {
    double seconds = argc > 1 ? std::atof(argv[1]) : 0.5;
    long reports = argc > 2 ? std::atol(argv[2]) : 2000;
    std::string shm = "/dev/shm/quessa-bench-XXXXXX";
    std::string folder = std::filesystem::temp_directory_path() / "quessa-bench-XXXXXX";
    if (!::mkdtemp(shm.data()) || !::mkdtemp(folder.data())) {
        std::perror("mkdtemp");
        return 1;
    }
    ::setenv("OLVANI_REGISTRY_DIR", folder.c_str(), 1);
    ::setenv("OLVANI_EVENT_LOG", (shm + "/events.jsonl").c_str(), 1);

    BSTR out = nullptr;
    ASFormatString3(&out, u"#3%s: #1%d files copied to #2%s", 42, u"/srv/data", u"backup");
    std::printf("text: %s\n", std::string(out, out + SysStringLen(out)).c_str());
    SysFreeString(out);

    // Rounds of the two alternate, so both see the same machine.
    std::vector<double> quessaRounds, referenceRounds;
    for (int i = 0; i < kRounds; ++i) {
        quessaRounds.push_back(Rate(seconds, [] {
            BSTR text = nullptr;
            ASFormatString3(&text, u"#3%s: #1%d files copied to #2%s", 42, u"/srv/data", u"backup");
            SysFreeString(text);
        }));
        referenceRounds.push_back(Rate(seconds, [] {
            std::string text =
                fmt::format("{2}: {0} files copied to {1}", 42, "/srv/data", "backup");
            if (text.empty())
                std::abort();
        }));
    }
    double quessa = MedianOf(quessaRounds);
    double reference = MedianOf(referenceRounds);
    std::printf("ASFormatString3: %.0f formats/s\n", quessa);
    std::printf("fmt::format:     %.0f formats/s (Quessa at %.2f of it)\n", reference,
                quessa / reference);

    HMODULE quessaModule = OlvaniModuleFromAddress(reinterpret_cast<void*>(&ASFormatString3));
    double report = Median([&] {
        auto start = Clock::now();
        for (long i = 0; i < reports; ++i)
            ASVeskReportError4(quessaModule, 0, nullptr, 5, u"bench");
        return Seconds(start) * 1e6 / static_cast<double>(reports);
    });
    std::printf("ASVeskReportError4: %.1f us per report (event file on tmpfs)\n", report);

    std::error_code ignored;
    std::filesystem::remove_all(shm, ignored);
    std::filesystem::remove_all(folder, ignored);
    return 0;
}
