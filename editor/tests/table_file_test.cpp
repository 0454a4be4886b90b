// The editor's table file: header, access list, and the line-oriented
// rewrites, on real files.
#include "editor/secure_file.h"
#include "editor/table_entry.h"
#include "editor/table_lines.h"
#include "platform/messagebox.h"
#include "platform/strings.h"
#include "tests/support/files.h"
#include "tests/support/message_boxes.h"
#include "tests/support/scratch_dir.h"

#include <gtest/gtest.h>

#include <acl/libacl.h>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sched.h>
#include <sstream>
#include <sys/acl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;
using olvani::Utf8ToUtf16;

namespace {

class TableFileTest : public ::testing::Test {
protected:
    void SetUp() override { table_ = dir_ + "/bootptab"; }
    void Write(const std::string& text) { std::ofstream(table_, std::ios::binary) << text; }
    std::string Read() const { return olvani_test::ReadFile(table_); }
    std::u16string Table() const { return Utf8ToUtf16(table_); }

    olvani_test::ScratchDir scratch_{"tesslin-test"};
    std::string dir_ = scratch_.path(), table_;
    olvani_test::MessageBoxRecorder recorder_;
    // The boxes shown, each "caption|text".
    std::vector<std::string> Boxes() const { return recorder_.CaptionsAndTexts(); }
};

const std::string kTemplate =
    "\r\n\r\n## Replace <<..>> with appropriate values.\r\n"
    "## From the next line on remove one '#' from the begin of line.\r\n"
    "## <<Some Comment For The Device>>\r\n#<<Device Host Name>>:\\\r\n#ht=1:\\\r\n"
    "#ha=<<Device Hardware Address>>:\\\r\n#ip=<<Device Host IP Address>>:\\\r\n"
    "#sm=<<Device Host Machine Subnetmask>>:\\\r\n#gw=<<Device Host Machine Gateway>>:\\\r\n"
    "#vm=auto:\\\r\n#hn:\\\r\n#bs=auto:\\\r\n#T145=64:T146=01:T147=01";

std::string Entry(const std::string& ha, const std::string& name, const std::string& ip) {
    BootpRow row{Utf8ToUtf16(ha),  Utf8ToUtf16(name), Utf8ToUtf16(ip), u"lab " + Utf8ToUtf16(name),
                 u"255.255.255.0", u"10.0.0.1"};
    return olvani::Utf16ToUtf8(CBootpTableEntry(row).FormatEntry(true));
}

std::string Header() {
    return CSecureFile::TableHeader(u"255.255.255.0", u"192.168.1.1");
}

} // namespace

TEST_F(TableFileTest, HeaderIsPaddedAndRewrittenInPlace) {
    EXPECT_EQ(Header().size(), 102u);
    EXPECT_EQ(Header().substr(0, 96).back(), '\n');
    std::string blank = CSecureFile::TableHeader(u"", u"");
    EXPECT_EQ(blank.size(), 102u);
    EXPECT_NE(blank.find("sm=:\\\r\ngw=:\r\n"), std::string::npos);
    // Texts of 29 characters together fill 101 bytes: no padding line.
    EXPECT_EQ(CSecureFile::TableHeader(u"255.255.255.255", u"192.168.100.10").size(), 101u);

    CSecureFile file;
    ASSERT_TRUE(file.CreateSecureFile(Table()));
    ASSERT_TRUE(file.WriteTableHeader(u"255.255.255.0", u"192.168.1.1"));
    EXPECT_EQ(Read(), Header());
    const std::string rest = kTemplate + Entry("00A0B1C2D3E4", "scale1", "10.0.0.5");
    Write(Header() + rest);
    ASSERT_TRUE(file.WriteTableHeader(u"255.255.0.0", u"192.168.1.1"));
    EXPECT_EQ(Read(), CSecureFile::TableHeader(u"255.255.0.0", u"192.168.1.1") + rest);

    std::u16string mask = u"x", gateway = u"y";
    EXPECT_TRUE(CSecureFile::ReadGlobalDefaults(Table(), mask, gateway));
    EXPECT_EQ(mask, u"255.255.0.0");
    EXPECT_EQ(gateway, u"192.168.1.1");
    Write(Header().substr(0, 100));
    EXPECT_FALSE(CSecureFile::ReadGlobalDefaults(Table(), mask, gateway));
}

TEST_F(TableFileTest, HeaderOfAnotherLayoutNeverOverwritesTheEntries) {
    const std::string entries = "\r\n# demo\r\ndemo1:\\\r\nht=1:\\\r\nha=02004C123456:\\\r\n"
                                "ip=10.77.0.5:\\\r\nsm=255.255.255.0:\\\r\nbs=auto\r\n";
    Write("# OXL Bootptab file\r\n\r\n# global defaults\r\nglobal.defaults:\\\r\n"
          "sm=255.255.255.0:\\\r\ngw=10.77.0.1:\r\n" +
          entries);
    CSecureFile file;
    ASSERT_TRUE(file.CreateSecureFile(Table()));
    ASSERT_TRUE(file.WriteTableHeader(u"255.255.0.0", u"10.77.0.254"));
    EXPECT_EQ(Read(), CSecureFile::TableHeader(u"255.255.0.0", u"10.77.0.254") + entries);
    // Twice: the second rewrite finds its own header and writes in place.
    ASSERT_TRUE(file.WriteTableHeader(u"255.255.0.0", u"10.77.0.1"));
    EXPECT_EQ(Read(), CSecureFile::TableHeader(u"255.255.0.0", u"10.77.0.1") + entries);
}

TEST_F(TableFileTest, NewFileGetsItsAccessListAndAnExistingOneKeepsItsOwn) {
    CSecureFile file;
    ASSERT_TRUE(file.CreateSecureFile(Table()));
    acl_t acl = acl_get_file(table_.c_str(), ACL_TYPE_ACCESS);
    ASSERT_NE(acl, nullptr);
    char* text = acl_to_any_text(acl, nullptr, ',', 0);
    std::string granted = text;
    acl_free(text);
    acl_free(acl);
    EXPECT_NE(granted.find("user::rwx"), std::string::npos) << granted;
    EXPECT_NE(granted.find("group::---"), std::string::npos) << granted;
    EXPECT_NE(granted.find("other::---"), std::string::npos) << granted;
    if (file.CreateWorldSid()) {
        EXPECT_NE(granted.find(":rw-"), std::string::npos) << granted;
    }

    chmod(table_.c_str(), 0644);
    ASSERT_TRUE(file.CreateSecureFile(Table()));
    struct stat status {};
    ASSERT_EQ(stat(table_.c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 0777, 0644u);

    EXPECT_FALSE(file.CreateSecureFile(Utf8ToUtf16(dir_ + "/missing/bootptab")));
    ASSERT_EQ(Boxes().size(), 1u);
    EXPECT_EQ(Boxes()[0], "CreateFile|Error 2: No such file or directory \n");
}

TEST_F(TableFileTest, ListShowsUncommentedHostsOnly) {
    Write(Header() + kTemplate + Entry("00A0B1C2D3E4", "scale1", "10.0.0.5") +
          Entry("00A0B1C2D3E5", "scale2", "10.0.0.6"));
    std::vector<BootpRow> rows;
    CBootpTableEntry::LoadIntoList(Table(), rows);
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[1].hardwareAddress, u"00A0B1C2D3E5");
    EXPECT_EQ(rows[1].hostName, u"scale2");
    EXPECT_EQ(rows[1].ipAddress, u"10.0.0.6");
    EXPECT_EQ(rows[1].comment, u"lab scale2");
    EXPECT_EQ(rows[1].gateway, u"10.0.0.1");

    BootpRow row;
    row.hardwareAddress = u"00A0B1C2D3E4";
    CBootpTableEntry known(row);
    EXPECT_FALSE(known.IsNewHardwareAddress(Table(), u"Add", u"already there"));
    EXPECT_EQ(Boxes(), std::vector<std::string>{"Add|already there"});
    // The template's commented "ha=" line does not count.
    Write(Header() + kTemplate + "\r\n#ha=00A0B1C2D3E4:\\");
    EXPECT_TRUE(known.IsNewHardwareAddress(Table(), u"Add", u"already there"));
}

TEST_F(TableFileTest, DeleteAndModifyTouchOnlyTheirHost) {
    const std::string first = Entry("00A0B1C2D3E4", "scale1", "10.0.0.5");
    const std::string second = Entry("00A0B1C2D3E5", "scale2", "10.0.0.6");
    Write(Header() + kTemplate + first + second);

    BootpRow changed{u"00A0B1C2D3E4", u"scale1",      u"10.0.0.9",
                     u"moved",        u"255.255.0.0", u"10.0.0.1"};
    std::u16string text = CBootpTableEntry(changed).FormatEntry(false);
    ASSERT_TRUE(CBootpTableEntry::ReplaceInFile(Table(), text, u"00A0B1C2D3E4").ok);
    std::string replaced = olvani::Utf16ToUtf8(CBootpTableEntry(changed).FormatEntry(true));
    EXPECT_EQ(Read(), Header() + kTemplate + replaced + second);

    // A delete drops the blank lines between the header and the template.
    ASSERT_TRUE(CBootpTableEntry::DeleteFromFile(Table(), u"00A0B1C2D3E5").ok);
    EXPECT_EQ(Read(), Header() + kTemplate.substr(2) + replaced + "\r\n\r\n");
    ASSERT_TRUE(CBootpTableEntry::DeleteFromFile(Table(), u"00A0B1C2D3E4").ok);
    // The empty line after the template stays.
    EXPECT_EQ(Read(), Header() + kTemplate.substr(2) + "\r\n\r\n");
}

TEST_F(TableFileTest, AMissingHostLeavesTheTableUntouched) {
    const std::string before = Header() + kTemplate + Entry("00A0B1C2D3E4", "scale1", "10.0.0.5");
    Write(before);
    tesslin::TableChange change = CBootpTableEntry::DeleteFromFile(Table(), u"0000000000FF");
    EXPECT_FALSE(change.ok);
    EXPECT_NE(change.message.find("0000000000FF"), std::string::npos);
    change = CBootpTableEntry::ReplaceInFile(Table(), u"x", u"00A0B1C2D3");
    EXPECT_FALSE(change.ok);
    EXPECT_EQ(Read(), before);
}

TEST_F(TableFileTest, ServerWrittenTableKeepsItsHeaderAndOtherEntries) {
    const std::string header =
        "# OXL Bootptab file\r\n\r\n# global defaults\r\nglobal.defaults:\\\r\n"
        "sm=255.255.255.0:\\\r\ngw=10.77.0.1:\r\n";
    const std::string keep = "\r\n# bench\r\nbench2:\\\r\nht=1:\\\r\nha=02004C123457:\\\r\n"
                             "ip=10.77.0.6:\\\r\nbs=auto:\\\r\nT145=64:T146=01:T147=01\r\n";
    const std::string gone = "\r\n# weld\r\nweld:\\\r\nht=6:\\\r\nha=02004C123458:\\\r\n"
                             "ip=10.77.0.7:\\\r\nsm=255.255.255.0:\\\r\nds=10.77.0.2:\\\r\n"
                             "T150=0a:\\\r\nbf=boot.bin\r\n";
    Write(header + gone + keep);
    ASSERT_TRUE(CBootpTableEntry::DeleteFromFile(Table(), u"02004C123458").ok);
    EXPECT_EQ(Read(), header + keep);
}

TEST(TableLines, LongLinesArriveInPiecesAndJoinBack) {
    std::string line(100, 'x');
    std::string text = line + "\r\nshort\n";
    std::vector<std::string> pieces = tesslin::SplitTableLines(text);
    ASSERT_EQ(pieces.size(), 3u);
    EXPECT_EQ(pieces[0].size(), 79u);
    EXPECT_EQ(pieces[0] + pieces[1] + pieces[2], text);
    EXPECT_EQ(tesslin::SplitTableLines(std::string(78, 'y') + "\r\n").size(), 1u);
}

// A rewrite on a full disk fails and leaves the table as it was (a small
// tmpfs in a private mount namespace; needs root).
TEST_F(TableFileTest, FullDiskLeavesTheTableIntact) {
    if (geteuid() != 0)
        GTEST_SKIP() << "mounting a small file system needs root";
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (unshare(CLONE_NEWNS) != 0 ||
            mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) ||
            mount("tmpfs", dir_.c_str(), "tmpfs", 0, "size=64k") != 0)
            _exit(3);
        std::string table = Header();
        for (int i = 0; i < 60; ++i)
            table += Entry("00A0B1C2D3" + std::to_string(10 + i), "host" + std::to_string(i),
                           "10.0.0.5");
        Write(table);
        std::ofstream(dir_ + "/filler", std::ios::binary)
            << std::string(64 * 1024 - 2 * table.size(), 'x');
        std::ofstream(dir_ + "/filler2", std::ios::binary) << std::string(table.size(), 'x');
        tesslin::TableChange change = CBootpTableEntry::DeleteFromFile(Table(), u"00A0B1C2D311");
        _exit(!change.ok && change.message.find("No space") != std::string::npos && Read() == table
                  ? 0
                  : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
}
