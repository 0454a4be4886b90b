#include "bootp/bootptab_reader.h"
#include "bootp/dump.h"
#include "bootp/engine.h"
#include "bootp/hash_table.h"
#include "bootp/table_paths.h"
#include "tests/support/files.h"
#include "tests/support/scratch_dir.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

class DumpTest : public testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(CreateHostTables(engine_.tables)); }

    // Reads `table` as the host table and dumps it; returns the dump.
    std::string Dump(const std::string& table) {
        std::ofstream(dir_ / "bootptab", std::ios::binary) << table;
        SetTablePath(engine_, (dir_ / "bootptab").string());
        EXPECT_EQ(ReadHostTable(engine_), 0);
        DumpDatabaseTo(engine_, DumpFile());
        return olvani_test::ReadFile(DumpFile());
    }
    std::string DumpFile() const { return (dir_ / "bootptab.dmp").string(); }

    // The entry lines: everything after the legend's closing blank lines.
    static std::string EntryLines(const std::string& dump) {
        const std::string last = "#\tts -- time servers\r\n\r\n\r\n";
        size_t end = dump.find(last);
        return end == std::string::npos ? "<no legend>" : dump.substr(end + last.size());
    }

    BootpEngine engine_;
    olvani_test::ScratchDir scratch_{"bootp-dump-test"};
    fs::path dir_ = scratch_.path();
};

TEST_F(DumpTest, EmptyTableGivesTheHeaderAndLegendOnly) {
    std::string dump = Dump("# nothing but a comment\r\n");
    std::regex header("\r\n# [^\r\n]+\r\n"
                      "# (.*): dump of bootp server database\\.\r\n"
                      "#\r\n"
                      "# Dump taken [A-Z][a-z]{2} [A-Z][a-z]{2} [ 0-9][0-9] "
                      "[0-9]{2}:[0-9]{2}:[0-9]{2} [0-9]{4}\r\n"
                      "#\r\n#\r\n# Legend:\r\n");
    std::smatch match;
    ASSERT_TRUE(std::regex_search(dump, match, header, std::regex_constants::match_continuous))
        << dump;
    EXPECT_EQ(match[1].str(), DumpFile());
    const std::string legend = "#\thd -- home directory\r\n"
                               "#\tbf -- bootfile\r\n"
                               "#\tbs -- bootfile size in 512-octet blocks\r\n"
                               "#\tcs -- cookie servers\r\n"
                               "#\tds -- domain name servers\r\n"
                               "#\tgw -- gateways\r\n"
                               "#\tha -- hardware address\r\n"
                               "#\thd -- home directory for bootfiles\r\n"
                               "#\tht -- hardware type\r\n"
                               "#\tim -- impress servers\r\n"
                               "#\tip -- host IP address\r\n"
                               "#\tlg -- log servers\r\n"
                               "#\tlp -- LPR servers\r\n"
                               "#\tns -- IEN-116 name servers\r\n"
                               "#\trl -- resource location protocol servers\r\n"
                               "#\tsm -- subnet mask\r\n"
                               "#\tto -- time offset (seconds)\r\n"
                               "#\tts -- time servers\r\n\r\n\r\n";
    EXPECT_EQ(dump.substr(match.length()), legend);
}

TEST_F(DumpTest, EachEntryIsOneLineInTagSyntax) {
    std::string dump =
        Dump("lab1:ht=1:ha=02000a0b0c0d:ip=10.0.0.5:sm=255.255.255.0:bs=auto:vm=auto:\r\n"
             "opts:ht=ether:ha=02000a0b0c0e:T145=64:to=-18000:hn:vm=cmu:\r\n"
             "lists:gw=10.0.0.1 10.0.0.2:ds=:hd=/srv/boot:bf=inst.bin:bs=12:to=auto:"
             "vm=rfc1048:\r\n");
    std::string lines = EntryLines(dump);
    // One line per entry, whatever order the name table walks them in.
    std::istringstream in(lines);
    std::multiset<std::string> got;
    for (std::string line; std::getline(in, line);) {
        ASSERT_FALSE(line.empty());
        ASSERT_EQ(line.back(), '\r');
        line.pop_back();
        got.insert(line);
    }
    std::multiset<std::string> expected = {
        "lab1:ip=10.0.0.5:ht=1:ha=02000A0B0C0D:sm=255.255.255.0:bs=auto:vm=auto:",
        "opts:ht=1:ha=02000A0B0C0E:to=-18000:hn:vm=cmu:generic=910164:",
        "lists:ds=:gw=10.0.0.1 10.0.0.2:to=auto:hd=/srv/boot:bf=inst.bin:bs=12:vm=rfc1048:",
    };
    EXPECT_EQ(got, expected) << lines;
}

TEST_F(DumpTest, AnEntryInAllThreeTablesIsWrittenOnce) {
    std::string lines = EntryLines(Dump("lab1:ht=1:ha=02000a0b0c0d:ip=10.0.0.5:\n"));
    EXPECT_EQ(lines, "lab1:ip=10.0.0.5:ht=1:ha=02000A0B0C0D:\r\n");
}

TEST_F(DumpTest, AnUnwritableDumpFileIsReported) {
    std::string path = (dir_ / "missing" / "x.dmp").string();
    EXPECT_FALSE(DumpDatabaseTo(engine_, path));
    EXPECT_FALSE(std::filesystem::exists(path));
    // A link planted at the dump's path is not followed; a FIFO there is
    // refused without waiting for a reader.
    olvani_test::WriteFile((dir_ / "precious").string(), "keep");
    fs::create_symlink(dir_ / "precious", DumpFile());
    EXPECT_FALSE(DumpDatabaseTo(engine_, DumpFile()));
    EXPECT_EQ(olvani_test::ReadFile((dir_ / "precious").string()), "keep");
    fs::remove(DumpFile());
    ASSERT_EQ(mkfifo(DumpFile().c_str(), 0600), 0);
    EXPECT_FALSE(DumpDatabaseTo(engine_, DumpFile()));
}

} // namespace
