// Prints the median cost of ReadTableLines on an unchanged 50,000-entry
// table (target: under 5 microseconds), of opening the Bootp Manager on it
// (the listing of the engine's table and the working list; it must grow
// linearly), and of ApplyChanges with one modified row, the write included
// (target: under 100 ms).
// Usage: korrind_doc_bench [folder [entries]]   (default: $TMPDIR or /tmp, 50000)
#include "bootp/bootptab_reader.h"
#include "bootp/server.h"
#include "bootp/table_paths.h"
#include "platform/messagebox.h"
#include "server/core/korrind_doc.h"
#include "server/dialogs/host_listing.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace {

int kEntries = 50000;

std::string HardwareAddress(int i) {
    char text[13];
    std::snprintf(text, sizeof(text), "02004C%06X", static_cast<unsigned>(i) & 0xFFFFFFu);
    return text;
}

std::string Ip(int i) {
    return "10." + std::to_string(i >> 16) + "." + std::to_string((i >> 8) & 255) + "." +
           std::to_string(i & 255);
}

void WriteTable(const std::string& path) {
    std::string text = "# OXL Bootptab file\r\n\r\n# global defaults\r\nglobal.defaults:\\\r\n"
                       "sm=255.255.0.0:\\\r\ngw=10.0.0.1:\r\n";
    for (int i = 0; i < kEntries; ++i) {
        text += "\r\n# bench host " + std::to_string(i) + "\r\nhost" + std::to_string(i) +
                ":\\\r\nht=1:\\\r\nha=" + HardwareAddress(i) + ":\\\r\nip=" + Ip(i) +
                ":\\\r\nsm=255.255.0.0:\\\r\ngw=10.0.0.1:\\\r\nvm=auto:\\\r\nhn:\\\r\n"
                "bs=auto:\\\r\nT145=64:T146=01:T147=01\r\n";
    }
    std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
    // An old modification time, as a table in service has.
    struct timespec times[2] = {{1000000000, 0}, {1000000000, 0}};
    ::utimensat(AT_FDCWD, path.c_str(), times, 0);
}

template <typename Clock = std::chrono::steady_clock> double Seconds(typename Clock::time_point t) {
    return std::chrono::duration<double>(Clock::now() - t).count();
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

} // namespace

int main(int argc, char** argv) {
    olvani::SetMessageBoxHandler([](const olvani::MessageBoxRequest& r) {
        std::fprintf(stderr, "message: %s\n", r.text.c_str());
        return IDOK;
    });
    const char* tmp = std::getenv("TMPDIR");
    std::string folder = argc > 1 ? argv[1] : (tmp ? tmp : "/tmp");
    if (argc > 2)
        kEntries = std::max(1, std::atoi(argv[2]));
    std::string dir = folder + "/korrind_doc_benchXXXXXX";
    if (::mkdtemp(dir.data()) == nullptr) {
        std::perror("mkdtemp");
        return 1;
    }
    std::string table = dir + "/bootptab";
    WriteTable(table);
    std::printf("table: %d entries, %.1f MB in %s\n", kEntries,
                std::filesystem::file_size(table) / 1e6, dir.c_str());

    CKorrindDoc doc(table);
    EntryRowArray& rows = doc.EntryRows();
    auto start = std::chrono::steady_clock::now();
    if (!doc.ReadTableLines().ok())
        return 1;
    std::printf("first load: %.1f ms (%zu lines)\n", Seconds(start) * 1e3, doc.Lines().size());

    std::vector<double> checks;
    for (int i = 0; i < 200000; ++i) {
        auto t = std::chrono::steady_clock::now();
        doc.ReadTableLines();
        checks.push_back(Seconds(t));
    }
    std::printf("ReadTableLines, unchanged table: median %.2f us, p99 %.2f us, reloads %llu "
                "(target: median under 5 us)\n",
                Median(checks) * 1e6,
                (std::sort(checks.begin(), checks.end()), checks[checks.size() * 99 / 100]) * 1e6,
                static_cast<unsigned long long>(doc.TableLoads() - 1));

    // The Manager's opening: every record listed with its comment, the
    // working list rebuilt. Requests wait meanwhile.
    CBootPServer server;
    SetTablePath(server.Engine(), table);
    if (ReadHostTable(server.Engine()) != 0)
        return 1;
    std::vector<double> opens;
    size_t listed = 0;
    for (int round = 0; round < 9; ++round) {
        auto t = std::chrono::steady_clock::now();
        std::vector<EntryValues> values = korrind::ListHostTable(doc);
        rows.Rebuild(values);
        opens.push_back(Seconds(t));
        listed = values.size();
    }
    std::printf("Bootp Manager open, listing and working list: median %.1f ms for %zu entries\n",
                Median(opens) * 1e3, listed);

    std::vector<double> applies;
    for (int round = 0; round < 15; ++round) {
        int i = (round * 7919 + kEntries / 2) % kEntries;
        rows.Rebuild({{HardwareAddress(i), "host" + std::to_string(i), Ip(i),
                       "bench host " + std::to_string(i), "255.255.255.0", "10.0.0.2"}});
        rows[0].modified = true;
        auto t = std::chrono::steady_clock::now();
        if (doc.ApplyChanges().result != 1)
            return 1;
        applies.push_back(Seconds(t));
    }
    std::printf("ApplyChanges + WriteTableFile, one modified row: median %.1f ms, max %.1f ms "
                "(target: under 100 ms)\n",
                Median(applies) * 1e3, *std::max_element(applies.begin(), applies.end()) * 1e3);
    std::filesystem::remove_all(dir);
    return 0;
}
