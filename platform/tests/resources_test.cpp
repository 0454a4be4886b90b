#include "platform/resources.h"
#include "tests/support/scratch_dir.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>

namespace {

// The test program's own resource module, staged in the build tree, in the
// language the environment asks for.
class Resources : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* variable : {"OLVANI_RESOURCE_DIR", "LC_ALL", "LC_MESSAGES", "LANG"})
            unsetenv(variable);
    }
    void TearDown() override {
        if (module_)
            FreeLibrary(module_);
    }
    HINSTANCE Load() {
        EXPECT_EQ(ASLoadResourceFile(OlvaniThisModule(), &module_), S_OK);
        return module_;
    }
    std::u16string String(UINT id, int size = 1025) {
        std::u16string buffer(static_cast<size_t>(size), u'#');
        int length = LoadString(module_, id, buffer.data(), size);
        EXPECT_EQ(buffer[static_cast<size_t>(length)], u'\0');
        return buffer.substr(0, static_cast<size_t>(length));
    }

    HINSTANCE module_ = nullptr;
};

} // namespace

TEST_F(Resources, FindTheModulesCatalogInTheBuildTree) {
    ASSERT_NE(Load(), nullptr);
    EXPECT_EQ(String(1), u"Can't open '%s'");
    EXPECT_EQ(String(2, 5), u"\u00DCber");
    EXPECT_EQ(String(3), u"");
    EXPECT_EQ(olvani::ResourceLanguage(module_), "en");
    EXPECT_TRUE(
        std::filesystem::is_regular_file(olvani::ResourceFolder(module_) + "/TestDialog.ui"));
}

TEST_F(Resources, FollowTheLocaleAndFallBackToEnglish) {
    setenv("LANG", "de_DE.UTF-8", 1);
    Load();
    EXPECT_EQ(String(1), u"Kann '%s' nicht \u00F6ffnen");
    EXPECT_EQ(olvani::ResourceLanguage(module_), "de");
    FreeLibrary(module_);

    setenv("LC_MESSAGES", "fr_FR.UTF-8", 1); // before LANG
    Load();
    EXPECT_EQ(String(1), u"Can't open '%s'");
    FreeLibrary(module_);

    setenv("LC_ALL", "../../de", 1); // no folder names through the locale
    Load();
    EXPECT_EQ(olvani::ResourceLanguage(module_), "en");
}

TEST_F(Resources, NameModulesByProgIdAndRefuseOtherNames) {
    ASSERT_EQ(ASLoadResourceFile2(u"Platform_Tests.Checker.1", &module_), S_OK);
    EXPECT_EQ(String(7), u"English only");
    HINSTANCE other = reinterpret_cast<HINSTANCE>(1);
    EXPECT_EQ(ASLoadResourceFile2(u"libplatform_tests.so", &other), S_OK);
    FreeLibrary(other);
    EXPECT_EQ(ASLoadResourceFile2(u"../platform_tests", &other), E_INVALIDARG);
    EXPECT_EQ(other, nullptr);
    EXPECT_EQ(ASLoadResourceFile2(u"plat form", &other), E_INVALIDARG);
    EXPECT_EQ(ASLoadResourceFile2(u"nosuchmodule", &other), E_RESOURCE_MODULE_NOT_FOUND);
    EXPECT_EQ(ASLoadResourceFile2(nullptr, &other), E_INVALIDARG);

    olvani_test::ScratchDir empty("olvani-res");
    setenv("OLVANI_RESOURCE_DIR", empty.path().c_str(), 1);
    EXPECT_EQ(ASLoadResourceFile(OlvaniThisModule(), &other), E_RESOURCE_MODULE_NOT_FOUND);
}

TEST_F(Resources, ReleaseOnlyWhatTheyHandedOut) {
    Load();
    EXPECT_EQ(FreeLibrary(OlvaniThisModule()), FALSE);
    EXPECT_EQ(FreeLibrary(module_), TRUE);
    EXPECT_EQ(FreeLibrary(module_), FALSE);
    EXPECT_EQ(String(1), u""); // a released module gives no strings
    module_ = nullptr;
}

TEST_F(Resources, GiveTheHelpFileAndModulePaths) {
    BSTR help = nullptr, language = nullptr;
    ASSERT_EQ(ASGetHelpFile(OlvaniThisModule(), 0, &help, &language), S_OK);
    std::string path = std::filesystem::path(std::u16string(help)).string();
    EXPECT_TRUE(path.ends_with("/platform_tests/en/platform_tests.html")) << path;
    EXPECT_TRUE(std::filesystem::is_regular_file(path));
    EXPECT_EQ(std::u16string(language), u"en");
    SysFreeString(help);
    SysFreeString(language);

    OLECHAR name[4096];
    DWORD length = GetModuleFileNameW(OlvaniThisModule(), name, 4096);
    EXPECT_EQ(std::filesystem::path(std::u16string(name, length)),
              std::filesystem::read_symlink("/proc/self/exe"));
    EXPECT_EQ(GetModuleFileNameW(nullptr, name, 4), 3u);
    EXPECT_EQ(name[3], u'\0');
    EXPECT_EQ(GetModuleFileNameW(reinterpret_cast<HMODULE>(name), name, 4096), 0u);
}
