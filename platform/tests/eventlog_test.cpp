#include "platform/eventlog.h"
#include "tests/support/scratch_dir.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace {

class EventLog : public ::testing::Test {
protected:
    void SetUp() override { UseFile(dir_ + "/events.jsonl"); }

    void UseFile(const std::string& path) {
        path_ = path;
        setenv("OLVANI_EVENT_LOG", path.c_str(), 1);
        ASSERT_EQ(CoCreateInstance(CLSID_VeskEvents, nullptr, CLSCTX_INPROC_SERVER, IID_IVeskEvents,
                                   events_.PutVoid()),
                  S_OK);
    }
    HRESULT Log(const char16_t* text) {
        return events_->LogEvent(text, 1, nullptr, nullptr, 1, nullptr, nullptr, nullptr, 0, 0, 0);
    }
    std::vector<nlohmann::json> Lines() const {
        std::vector<nlohmann::json> lines;
        std::ifstream in(path_);
        for (std::string line; std::getline(in, line);)
            lines.push_back(nlohmann::json::parse(line));
        return lines;
    }
    std::u16string Description() {
        ComPtr<IErrorInfo> info;
        EXPECT_EQ(events_->QueryInterface(IID_IErrorInfo, info.PutVoid()), S_OK);
        BSTR text = nullptr;
        info->GetDescription(&text);
        std::u16string result = text ? text : u"";
        SysFreeString(text);
        return result;
    }

    olvani_test::ScratchDir scratch_{"olvani-events"};
    std::string dir_ = scratch_.path(), path_;
    ComPtr<IVeskEvents> events_;
};

} // namespace

TEST_F(EventLog, AppendsOneJsonLinePerEventWithAllFields) {
    ASSERT_EQ(events_->LogEvent(u"Can't open 'x'\n\"quoted\" \u00E9", 128, u"f2", u"f3", 4, u"f5",
                                u"f6", u"f7", 8, 9, -10),
              S_OK);
    ASSERT_EQ(Log(u"second"), S_OK);
    std::vector<nlohmann::json> lines = Lines();
    ASSERT_EQ(lines.size(), 2u);
    const nlohmann::json& first = lines[0];
    EXPECT_EQ(first["text"], "Can't open 'x'\n\"quoted\" \xC3\xA9");
    EXPECT_EQ(first["f1"], 128);
    EXPECT_EQ(first["f2"], "f2");
    EXPECT_EQ(first["f3"], "f3");
    EXPECT_EQ(first["f4"], 4);
    EXPECT_EQ(first["f5"], "f5");
    EXPECT_EQ(first["f6"], "f6");
    EXPECT_EQ(first["f7"], "f7");
    EXPECT_EQ(first["f8"], 8);
    EXPECT_EQ(first["f9"], 9);
    EXPECT_EQ(first["f10"], -10);
    EXPECT_EQ(first["pid"], getpid());
    EXPECT_EQ(lines[1]["text"], "second");
    EXPECT_EQ(lines[1]["f2"], "");
    EXPECT_EQ(Description(), u"second");
}

TEST_F(EventLog, OffersBothEventInterfacesAndErrorInformationOfOneObject) {
    ComPtr<IVeskEvents2> second;
    ComPtr<IErrorInfo> info;
    ComPtr<IUnknown> a, b;
    ASSERT_EQ(events_->QueryInterface(IID_IVeskEvents2, second.PutVoid()), S_OK);
    ASSERT_EQ(events_->QueryInterface(IID_IErrorInfo, info.PutVoid()), S_OK);
    second->QueryInterface(IID_IUnknown, a.PutVoid());
    info->QueryInterface(IID_IUnknown, b.PutVoid());
    EXPECT_EQ(a.Get(), b.Get());
    void* none = nullptr;
    EXPECT_EQ(events_->QueryInterface(IID_ICreateErrorInfo, &none), E_NOINTERFACE);
    BSTR file = nullptr;
    second->GetLogFile(&file);
    EXPECT_EQ(std::filesystem::path(std::u16string(file)).string(), path_);
    SysFreeString(file);
}

TEST_F(EventLog, ReportsAFailedWriteWithoutFollowingLinksOrBlocking) {
    std::string target = dir_ + "/target";
    std::ofstream(target) << "untouched";
    std::filesystem::create_symlink(target, dir_ + "/link");
    UseFile(dir_ + "/link");
    EXPECT_EQ(Log(u"through a link"), HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED));
    EXPECT_EQ(Description(), u"through a link");
    std::ifstream in(target);
    std::string content((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(content, "untouched");

    // A fifo nobody reads would block a plain open forever.
    ASSERT_EQ(mkfifo((dir_ + "/fifo").c_str(), 0600), 0);
    UseFile(dir_ + "/fifo");
    EXPECT_TRUE(FAILED(Log(u"into a fifo")));

    UseFile(dir_ + "/missing/events.jsonl");
    EXPECT_EQ(Log(u"nowhere"), HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND));
    UseFile(dir_);
    EXPECT_TRUE(FAILED(Log(u"a folder")));
}
