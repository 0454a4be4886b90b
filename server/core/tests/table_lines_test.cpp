#include "server/core/tests/doc_fixture.h"

using doctest::DocTest;
using doctest::ReadFile;
using doctest::WriteFile;

TEST_F(DocTest, MissingTableIsCreatedFromTheTemplate) {
    CKorrindDoc doc(table);
    EXPECT_EQ(Told(doc.CheckTableFile()), TRUE);
    EXPECT_EQ(ReadFile(table), doctest::kHeader);
    ASSERT_EQ(Told(doc.ReadTableLines()), TRUE);
    EXPECT_EQ(doc.Lines().size(), 6u);
    doc.LoadDefaults();
    EXPECT_EQ(doc.DefaultSubnetMask(), "");
    EXPECT_EQ(doc.DefaultGateway(), "");
    // An existing table is left as it is.
    WriteFile(table, "# mine\r\n");
    EXPECT_EQ(Told(doc.CheckTableFile()), TRUE);
    EXPECT_EQ(ReadFile(table), "# mine\r\n");
    EXPECT_TRUE(told.empty());
}

TEST_F(DocTest, TableThatCannotBeOpenedIsReported) {
    CKorrindDoc missingFolder(dir + "/none/bootptab");
    EXPECT_EQ(Told(missingFolder.CheckTableFile()), FALSE);
    CKorrindDoc folder(dir);
    EXPECT_EQ(Told(folder.CheckTableFile()), FALSE);
    ASSERT_EQ(told.size(), 2u);
    EXPECT_EQ(told[0], "Problem accessing file, code=3");
    EXPECT_EQ(told[1], "Access denied to file " + dir);
}

TEST_F(DocTest, ReadOnlyAndForbiddenTablesAreAccessDenied) {
    for (mode_t mode : {0444, 0000}) {
        WriteFile(table, doctest::kHeader);
        ::chmod(table.c_str(), mode);
        std::string seen = doctest::RunUnprivileged([&] {
            CKorrindDoc doc(table);
            doctest::Messages inChild;
            std::string result = std::to_string(Told(doc.CheckTableFile()));
            result += std::to_string(Told(doc.ReadTableLines()));
            for (const std::string& text : told)
                result += "|" + text;
            for (const std::string& text : inChild.texts)
                result += "|shown: " + text;
            return result;
        });
        EXPECT_EQ(seen, "00|Access denied to file " + table + "|Problem reading bootptab file")
            << "mode " << mode;
    }
}

TEST_F(DocTest, LinesKeepTheFileWithUpperCaseHardwareAddresses) {
    WriteFile(table, "# head\r\n  lab1:\\\n\tha=02004c12abcd:\\\r\nip=10.0.0.1:hd=/Boot:\r\n"
                     "# note ha=ab:cd\n\r\nlast");
    CKorrindDoc doc(table);
    ASSERT_EQ(Told(doc.ReadTableLines()), TRUE);
    std::vector<std::string> expected = {"# head\n",
                                         "lab1:\\\n",
                                         "ha=02004C12ABCD:\\\n",
                                         "ip=10.0.0.1:hd=/Boot:\n",
                                         "# note ha=AB:cd\n",
                                         "\n",
                                         "last\n"};
    EXPECT_EQ(doc.Lines(), expected);
}

TEST_F(DocTest, UnchangedTableIsNotReadAgain) {
    WriteFile(table, doctest::kHeader + doctest::Block("lab1", "02004C000001", "10.0.0.1"));
    CKorrindDoc doc(table);
    // A file written moments ago is read again each time: a second write
    // within the same timestamp tick would not show in its stamp.
    ASSERT_EQ(Told(doc.ReadTableLines()), TRUE);
    ASSERT_EQ(Told(doc.ReadTableLines()), TRUE);
    EXPECT_EQ(doc.TableLoads(), 2u);

    doctest::Age(table);
    ASSERT_EQ(Told(doc.ReadTableLines()), TRUE);
    ASSERT_EQ(Told(doc.ReadTableLines()), TRUE);
    EXPECT_EQ(doc.TableLoads(), 3u);

    // Rewritten in place with the same size: read again.
    std::string changed = ReadFile(table);
    changed.replace(changed.find("lab1"), 4, "lab2");
    WriteFile(table, changed);
    ASSERT_EQ(Told(doc.ReadTableLines()), TRUE);
    EXPECT_EQ(doc.TableLoads(), 4u);
    EXPECT_EQ(doc.GetEntryComment("lab2"), "lab");

    // Made unwritable: read again, so the failure shows.
    doctest::Age(table);
    ASSERT_EQ(Told(doc.ReadTableLines()), TRUE);
    ASSERT_EQ(Told(doc.ReadTableLines()), TRUE);
    EXPECT_EQ(doc.TableLoads(), 5u);
    ::chmod(table.c_str(), 0444);
    std::string seen = doctest::RunUnprivileged([&] {
        doctest::Messages inChild;
        std::string result = std::to_string(Told(doc.ReadTableLines()));
        return result + std::to_string(told.size() + inChild.texts.size());
    });
    EXPECT_EQ(seen, "01");

    ::unlink(table.c_str());
    EXPECT_EQ(Told(doc.ReadTableLines()), FALSE);
    EXPECT_TRUE(doc.Lines().empty());
    ASSERT_EQ(told.size(), 1u);
    EXPECT_EQ(told[0], "Problem reading bootptab file");
}

TEST_F(DocTest, AFreshOrFutureTableIsReadOnceMoreNotOnEveryRequest) {
    // A table dated ahead (a clock stepped back, cp -p from a host running
    // ahead) and one just written by another program are read twice; one
    // the server wrote itself, once.
    CKorrindDoc doc(table);
    struct Case {
        time_t ahead;
        uint64_t reloads;
    };
    for (Case c : {Case{3600, 2}, Case{0, 2}, Case{-1, 1}}) {
        SCOPED_TRACE(c.ahead);
        if (c.ahead < 0) {
            ASSERT_EQ(Told(doc.WriteTableFile()), 1);
        } else {
            WriteFile(table, doctest::kHeader);
            time_t when = std::time(nullptr) + c.ahead;
            struct timespec times[2] = {{when, 0}, {when, 0}};
            ASSERT_EQ(::utimensat(AT_FDCWD, table.c_str(), times, 0), 0);
        }
        uint64_t loads = doc.TableLoads();
        for (int request = 0; request < 50; ++request)
            ASSERT_EQ(Told(doc.ReadTableLines()), TRUE);
        EXPECT_EQ(doc.TableLoads(), loads + c.reloads);
    }
}

TEST_F(DocTest, DefaultsAndComments) {
    WriteFile(table, "# OXL Bootptab file\r\n\r\n# global defaults\r\nglobal.defaults:\\\r\n"
                     "sm=255.255.0.0:\\\r\ngw=10.0.0.254:\r\n" +
                         doctest::Block("lab1", "02004C000001", "10.0.0.1", "  bench 3 ") +
                         "\r\nnocomment:\\\r\nha=02004C000002:\r\n");
    CKorrindDoc doc(table);
    ASSERT_EQ(Told(doc.ReadTableLines()), TRUE);
    doc.LoadDefaults();
    EXPECT_EQ(doc.DefaultSubnetMask(), "255.255.0.0");
    EXPECT_EQ(doc.DefaultGateway(), "10.0.0.254");
    EXPECT_EQ(doc.GetEntryComment("lab1"), "bench 3");
    EXPECT_EQ(doc.GetEntryComment("nocomment"), "");
    EXPECT_EQ(doc.GetEntryComment("absent"), "");

    doc.SetDefaultSubnetMask("255.255.255.0");
    doc.SetDefaultGateway("");
    doc.StoreDefaults();
    EXPECT_EQ(doc.Lines()[4], "sm=255.255.255.0:\\\n");
    EXPECT_EQ(doc.Lines()[5], "gw=:\n");
    std::vector<std::string> stored = doc.Lines();
    ASSERT_EQ(Told(doc.WriteTableFile()), 1);
    EXPECT_NE(ReadFile(table).find("global.defaults:\\\r\nsm=255.255.255.0:\\\r\ngw=:\r\n\r\n# "),
              std::string::npos);
    ASSERT_EQ(Told(doc.ReadTableLines()), TRUE);
    EXPECT_EQ(doc.Lines(), stored);
}

TEST_F(DocTest, DefaultsEntryIsCompletedWhenStored) {
    // No defaults entry at all: one is appended.
    WriteFile(table, "# head\r\n");
    CKorrindDoc doc(table);
    ASSERT_EQ(Told(doc.ReadTableLines()), TRUE);
    doc.SetDefaultSubnetMask("255.0.0.0");
    doc.SetDefaultGateway("10.0.0.1");
    doc.StoreDefaults();
    std::vector<std::string> appended = {
        "# head\n",      "\n", "# global defaults\n", "global.defaults:\\\n", "sm=255.0.0.0:\\\n",
        "gw=10.0.0.1:\n"};
    EXPECT_EQ(doc.Lines(), appended);

    // A hand-written entry without a gateway line gets one, so the mask
    // line that now continues does not run into the next entry.
    WriteFile(table, "# head\r\nglobal.defaults:\\\r\nsm=255.0.0.0:\r\n\r\nlab1:ip=10.0.0.1:\r\n");
    ASSERT_EQ(Told(doc.ReadTableLines()), TRUE);
    doc.StoreDefaults();
    std::vector<std::string> completed = {
        "# head\n", "global.defaults:\\\n", "sm=255.0.0.0:\\\n", "gw=10.0.0.1:\n",
        "\n",       "lab1:ip=10.0.0.1:\n"};
    EXPECT_EQ(doc.Lines(), completed);
}

TEST_F(DocTest, FailuresComeBackWithTheirMessages) {
    // Read on every request: the failure is returned, not shown (the
    // fixture fails any test in which the document shows a box).
    CKorrindDoc doc(table);
    DocResult read = doc.ReadTableLines();
    EXPECT_EQ(read.result, FALSE);
    EXPECT_EQ(read.messages, (std::vector<DocMessage>{
                                 {DocMessageId::readFailed, "Problem reading bootptab file"}}));
    DocResult written = doc.WriteTableFile();
    EXPECT_EQ(written.result, 0);
    EXPECT_EQ(written.Texts(), std::vector<std::string>{"Problem reading bootptab file"});
    DocResult removed = doc.RemoveEntryLines(doctest::Row("02004C000001", "lab1", "10.0.0.1"));
    EXPECT_EQ(removed.result, 0);
    EXPECT_EQ(removed.messages, (std::vector<DocMessage>{{DocMessageId::entryNotFound,
                                                          "Entry not found for del request"}}));
}
