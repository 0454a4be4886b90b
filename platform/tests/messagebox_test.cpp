#include "platform/messagebox.h"

#include <gtest/gtest.h>

TEST(MessageBox, HeadlessAnswersTheDefaultButtonAndWritesStderr) {
    testing::internal::CaptureStderr();
    EXPECT_EQ(MessageBox("Disk full", "Korrind Application", MB_OK), IDOK);
    EXPECT_EQ(MessageBox("Replace?", "", MB_YESNO), IDYES);
    EXPECT_EQ(MessageBox("Replace?", "", MB_YESNO | MB_DEFBUTTON2), IDNO);
    EXPECT_EQ(MessageBox("Go on?", "", MB_OKCANCEL | MB_DEFBUTTON2), IDCANCEL);
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("Korrind Application: Disk full\n"), std::string::npos);
}

TEST(MessageBox, InstalledHandlerSeesEveryBox) {
    std::vector<olvani::MessageBoxRequest> seen;
    auto previous = olvani::SetMessageBoxHandler([&](const olvani::MessageBoxRequest& r) {
        seen.push_back(r);
        return IDNO;
    });
    EXPECT_EQ(MessageBoxW(u"Entry not found", u"Trace", MB_YESNO), IDNO);
    olvani::SetMessageBoxHandler(std::move(previous));
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].text, "Entry not found");
    EXPECT_EQ(seen[0].caption, "Trace");
}
