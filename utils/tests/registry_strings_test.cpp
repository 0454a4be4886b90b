// Registry string helpers through the library, on a private registry folder.
#include "platform/tests/registry_test_support.h"
#include "utils/dravik.h"
#include "utils/tests/error_message.h"

#include <algorithm>
#include <string>
#include <vector>

namespace {

using dravik::testing::ErrorMessage;

class RegistryStrings : public dravik::testing::ReportingRegistry {};

const char16_t kKey[] = u"SOFTWARE\\Tarvex\\Olvani\\Test";

void SetRaw(const char16_t* name, DWORD type, const void* data, DWORD size) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, kKey, 0, nullptr, REG_OPTION_NON_VOLATILE,
                              KEY_WRITE, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExW(key, name, 0, type, static_cast<const BYTE*>(data), size),
              ERROR_SUCCESS);
    RegCloseKey(key);
}

// The value as the library reads it, or the failure code.
std::pair<HRESULT, std::u16string> Read(const char16_t* key, const char16_t* name) {
    BSTR out = SysAllocString(u"stale");
    BSTR stale = out;
    const HRESULT hr = ASVeskGetStringKeyFromRegistry(HKEY_LOCAL_MACHINE, key, name, &out);
    std::u16string text = out ? std::u16string(out, SysStringLen(out)) : u"(null)";
    if (out != stale)
        SysFreeString(out);
    SysFreeString(stale);
    return {hr, text};
}

void CreateKey(const std::u16string& path) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                              KEY_WRITE, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    RegCloseKey(key);
}

TEST_F(RegistryStrings, WrittenValuesReadBackAndMissingKeysAreCreated) {
    const char16_t deepKey[] = u"SOFTWARE\\Tarvex\\Olvani\\New\\Deeper";
    ASSERT_EQ(ASVeskPutStringKeyInRegistry(HKEY_LOCAL_MACHINE, deepKey, u"Table", u"/srv/bootptab"),
              S_OK);
    EXPECT_EQ(Read(deepKey, u"Table"), std::make_pair(S_OK, std::u16string(u"/srv/bootptab")));
    // A null value is an empty REG_SZ holding its terminating NUL.
    ASSERT_EQ(ASVeskPutStringKeyInRegistry(HKEY_LOCAL_MACHINE, deepKey, u"Empty", nullptr), S_OK);
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, deepKey, 0, KEY_READ, &key), ERROR_SUCCESS);
    DWORD type = 0, size = 64;
    BYTE data[64];
    EXPECT_EQ(RegQueryValueExW(key, u"Empty", nullptr, &type, data, &size), ERROR_SUCCESS);
    RegCloseKey(key);
    EXPECT_EQ(type, REG_SZ);
    EXPECT_EQ(size, 2u);
    EXPECT_EQ(Read(deepKey, u"Empty"), std::make_pair(S_OK, std::u16string()));
}

TEST_F(RegistryStrings, ArgumentsAreCheckedFirst) {
    EXPECT_EQ(ASVeskGetStringKeyFromRegistry(HKEY_LOCAL_MACHINE, kKey, u"x", nullptr),
              E_INVALIDARG);
    EXPECT_EQ(ASVeskPutStringKeyInRegistry(HKEY_LOCAL_MACHINE, nullptr, nullptr, u"v"),
              E_INVALIDARG);
    EXPECT_EQ(ASVeskPutStringKeyInRegistry(HKEY_LOCAL_MACHINE, kKey, nullptr, u"v"), E_INVALIDARG);
    EXPECT_EQ(ASVeskEnumRegKeys(HKEY_LOCAL_MACHINE, kKey, nullptr), E_INVALIDARG);
    EXPECT_EQ(ASVeskGetSubkeyByIndex(0, nullptr), E_INVALIDARG);
    // Nothing was created by the refused write.
    EXPECT_EQ(Read(kKey, u"x"), std::make_pair(E_UNEXPECTED, std::u16string(u"(null)")));
}

TEST_F(RegistryStrings, ValuesAreTextUpTo2048Bytes) {
    std::u16string longest(1023, u'a');
    SetRaw(u"Longest", REG_SZ, longest.c_str(), 2048);
    EXPECT_EQ(Read(kKey, u"Longest"), std::make_pair(S_OK, longest));
    const std::u16string tooLong(1024, u'b');
    SetRaw(u"TooLong", REG_SZ, tooLong.c_str(), 2050);
    EXPECT_EQ(Read(kKey, u"TooLong"), std::make_pair(E_UNEXPECTED, std::u16string(u"(null)")));
    EXPECT_TRUE(ErrorMessage().starts_with(u"Cannot read the value 'TooLong' of the registry key "
                                           u"HKEY_LOCAL_MACHINE\\SOFTWARE\\Tarvex\\Olvani\\Test."));
    EXPECT_EQ(Reports(), 1u);
    // Any type is read as UTF-16 text up to its first NUL unit.
    const DWORD number = 0x00410042;
    SetRaw(u"Number", REG_DWORD, &number, sizeof number);
    EXPECT_EQ(Read(kKey, u"Number"), std::make_pair(S_OK, std::u16string(u"BA")));
    const char16_t unterminated[] = {u'o', u'k'};
    SetRaw(u"Raw", REG_BINARY, unterminated, sizeof unterminated);
    EXPECT_EQ(Read(kKey, u"Raw"), std::make_pair(S_OK, std::u16string(u"ok")));
    EXPECT_EQ(Read(kKey, u"Missing").first, E_UNEXPECTED);
}

TEST_F(RegistryStrings, EnumerationFillsTheListThatIndexesRead) {
    const std::u16string longName(255, u'n');
    for (const std::u16string& name : {std::u16string(u"b"), longName, std::u16string(u"a")})
        CreateKey(std::u16string(kKey) + u"\\" + name);
    LONG count = -1;
    ASSERT_EQ(ASVeskEnumRegKeys(HKEY_LOCAL_MACHINE, kKey, &count), S_OK);
    ASSERT_EQ(count, 3);
    std::vector<std::u16string> names;
    for (LONG i = 0; i < count; ++i) {
        BSTR name = nullptr;
        ASSERT_EQ(ASVeskGetSubkeyByIndex(i, &name), S_OK);
        names.emplace_back(name, SysStringLen(name));
        SysFreeString(name);
    }
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::u16string>{u"a", u"b", longName}));
    for (LONG outside : {-1, 3}) {
        BSTR name = SysAllocString(u"stale");
        BSTR stale = name;
        EXPECT_EQ(ASVeskGetSubkeyByIndex(outside, &name), E_UNEXPECTED);
        EXPECT_EQ(name, nullptr);
        SysFreeString(stale);
    }
    EXPECT_EQ(ErrorMessage(), u"The index 3 is outside the list: valid indexes start at 0 and "
                              u"the list holds 3 entries.");
    // A key without subkeys, then a missing key: the list is emptied each time.
    ASSERT_EQ(
        ASVeskEnumRegKeys(HKEY_LOCAL_MACHINE, (std::u16string(kKey) + u"\\a").c_str(), &count),
        S_OK);
    EXPECT_EQ(count, 0);
    ASSERT_EQ(ASVeskEnumRegKeys(HKEY_LOCAL_MACHINE, kKey, &count), S_OK);
    EXPECT_EQ(ASVeskEnumRegKeys(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Nowhere", &count), E_UNEXPECTED);
    EXPECT_EQ(count, 0);
    EXPECT_TRUE(ErrorMessage().starts_with(
        u"Cannot open the registry key HKEY_LOCAL_MACHINE\\SOFTWARE\\Nowhere."));
    BSTR name = nullptr;
    EXPECT_EQ(ASVeskGetSubkeyByIndex(0, &name), E_UNEXPECTED);
}

} // namespace
