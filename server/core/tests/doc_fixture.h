// Shared helpers for the document tests: a scratch folder with real files,
// what the document told (it shows no message box itself), and running a
// check as an unprivileged user.
#pragma once

#include "platform/messagebox.h"
#include "server/core/korrind_doc.h"
#include "tests/support/files.h"
#include "tests/support/message_boxes.h"
#include "tests/support/scratch_dir.h"

#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <grp.h>
#include <gtest/gtest.h>
#include <memory>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace doctest {

using olvani_test::ReadFile;
using olvani_test::WriteFile;

// Gives a file an old modification time, so its stamp counts as settled.
inline void Age(const std::string& path) {
    struct timespec times[2] = {{1000000000, 0}, {1000000000, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
}

// A server-written entry block as it stands on disk.
inline std::string Block(const std::string& host, const std::string& ha, const std::string& ip,
                         const std::string& comment = "lab") {
    return "\r\n# " + comment + "\r\n" + host + ":\\\r\nht=1:\\\r\nha=" + ha + ":\\\r\nip=" + ip +
           ":\\\r\nsm=255.255.255.0:\\\r\nvm=auto:\\\r\nhn:\\\r\nbs=auto:\\\r\n"
           "T145=64:T146=01:T147=01\r\n";
}

// Three server-written entries on one subnet.
inline const std::string kLab1 = Block("lab1", "02004C000001", "10.0.0.1");
inline const std::string kLab2 = Block("lab2", "02004C000002", "10.0.0.2");
inline const std::string kLab3 = Block("lab3", "02004C000003", "10.0.0.3");

inline const std::string kHeader = "# OXL Bootptab file\r\n\r\n# global defaults\r\n"
                                   "global.defaults:\\\r\nsm=:\\\r\ngw=:\r\n";

inline EntryRow Row(const std::string& ha, const std::string& host, const std::string& ip) {
    return MakeEntryRow({ha, host, ip, "lab", "255.255.255.0", ""});
}

using Messages = olvani_test::MessageBoxRecorder;

// A scratch folder per test, open to everybody so an unprivileged child
// can reach the files in it.
class DocTest : public testing::Test {
protected:
    void SetUp() override {
        ::chmod(dir.c_str(), 0755);
        table = dir + "/bootptab";
    }
    void TearDown() override {
        EXPECT_TRUE(messages.texts.empty()) << "the document showed a message box itself";
    }

    // Keeps the messages of a result, in order, in `told`; returns the
    // result.
    int Told(const DocResult& said) {
        for (const DocMessage& message : said.messages)
            told.push_back(message.text);
        return said.result;
    }

    olvani_test::ScratchDir scratch{"doc"};
    std::string dir = scratch.path();
    std::string table;
    Messages messages;
    std::vector<std::string> told;
};

// A document loaded from a table the test writes.
class LoadedDocTest : public DocTest {
protected:
    // Writes `content` as the table (aged when `agedTable` is set) and reads
    // it into a fresh document.
    CKorrindDoc& Load(const std::string& content) {
        WriteFile(table, content);
        if (agedTable)
            Age(table);
        doc = std::make_unique<CKorrindDoc>(table);
        EXPECT_EQ(Told(doc->ReadTableLines()), TRUE);
        return *doc;
    }
    // The document's working list.
    EntryRowArray& Rows() { return doc->EntryRows(); }
    std::unique_ptr<CKorrindDoc> doc;
    bool agedTable = false;
};

// Runs check in a child process; when running as root the child first
// drops to the unprivileged user 65534, since root ignores permission
// bits. Returns what check returned.
inline std::string RunUnprivileged(const std::function<std::string()>& check) {
    int pipeFds[2];
    if (::pipe(pipeFds) != 0)
        return "pipe failed";
    pid_t child = ::fork();
    if (child == 0) {
        ::close(pipeFds[0]);
        std::string result = "drop failed";
        if (::geteuid() != 0 ||
            (::setgroups(0, nullptr) == 0 && ::setgid(65534) == 0 && ::setuid(65534) == 0))
            result = check();
        ssize_t ignored = ::write(pipeFds[1], result.data(), result.size());
        (void)ignored;
        ::_exit(0);
    }
    ::close(pipeFds[1]);
    std::string result;
    char buffer[512];
    ssize_t got;
    while ((got = ::read(pipeFds[0], buffer, sizeof(buffer))) > 0)
        result.append(buffer, static_cast<size_t>(got));
    ::close(pipeFds[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    return result;
}

} // namespace doctest
