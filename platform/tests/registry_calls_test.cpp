// The Reg* calls with their Windows results, each test in its own folder.
#include "platform/registry.h"
#include "platform/tests/registry_test_support.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

using RegistryCalls = olvani::testing::TempRegistry;

constexpr const char16_t* kTrace = u"SOFTWARE\\Tarvex\\Olvani\\Trace";

HKEY CreateW(HKEY base, const char16_t* path, DWORD* disposition = nullptr) {
    HKEY key = nullptr;
    EXPECT_EQ(RegCreateKeyExW(base, path, 0, u"", REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr,
                              &key, disposition),
              ERROR_SUCCESS);
    return key;
}

void SetW(HKEY key, const char16_t* name, const std::u16string& text) {
    ASSERT_EQ(RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                             static_cast<DWORD>((text.size() + 1) * 2)),
              ERROR_SUCCESS);
}

std::u16string GetW(HKEY key, const char16_t* name, DWORD* type = nullptr) {
    char16_t buffer[1024];
    DWORD size = sizeof buffer;
    LONG r = RegQueryValueExW(key, name, nullptr, type, reinterpret_cast<BYTE*>(buffer), &size);
    EXPECT_EQ(r, ERROR_SUCCESS);
    if (r != ERROR_SUCCESS)
        return u"<failed>";
    EXPECT_EQ(size % 2, 0u);
    EXPECT_EQ(buffer[size / 2 - 1], u'\0');
    return std::u16string(buffer, size / 2 - 1);
}

TEST_F(RegistryCalls, StringRoundTripsThroughWideAndNarrowCalls) {
    HKEY key = CreateW(HKEY_LOCAL_MACHINE, kTrace);
    SetW(key, u"TraceFile", u"C:\\temp\\trace.csv");
    DWORD type = 0;
    EXPECT_EQ(GetW(key, u"TraceFile", &type), u"C:\\temp\\trace.csv");
    EXPECT_EQ(type, REG_SZ);

    // The narrow calls see UTF-8 bytes with one terminating NUL.
    DWORD size = 0;
    ASSERT_EQ(RegQueryValueExA(key, "tracefile", nullptr, &type, nullptr, &size), ERROR_SUCCESS);
    EXPECT_EQ(size, std::strlen("C:\\temp\\trace.csv") + 1);
    EXPECT_EQ(GetString("SOFTWARE\\Tarvex\\Olvani\\Trace", "TraceFile"), "C:\\temp\\trace.csv");
    EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
}

TEST_F(RegistryCalls, DwordBinaryAndDefaultValuesRoundTrip) {
    HKEY key = CreateW(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Tarvex\\Olvani\\LNS");
    DWORD retries = 7;
    ASSERT_EQ(RegSetValueExW(key, u"PingRetries", 0, REG_DWORD,
                             reinterpret_cast<const BYTE*>(&retries), 4),
              ERROR_SUCCESS);
    const BYTE blob[] = {0x00, 0x01, 0xFE, 0xFF, 0x0A};
    ASSERT_EQ(RegSetValueExW(key, u"Blob", 0, REG_BINARY, blob, sizeof blob), ERROR_SUCCESS);
    SetW(key, nullptr, u"default text");

    DWORD value = 0, type = 0, size = sizeof value;
    ASSERT_EQ(RegQueryValueExA(key, "PingRetries", nullptr, &type, reinterpret_cast<BYTE*>(&value),
                               &size),
              ERROR_SUCCESS);
    EXPECT_EQ(type, REG_DWORD);
    EXPECT_EQ(size, 4u);
    EXPECT_EQ(value, 7u);

    BYTE back[16];
    size = sizeof back;
    ASSERT_EQ(RegQueryValueExW(key, u"Blob", nullptr, &type, back, &size), ERROR_SUCCESS);
    EXPECT_EQ(type, REG_BINARY);
    ASSERT_EQ(size, sizeof blob);
    EXPECT_EQ(std::memcmp(back, blob, sizeof blob), 0);
    EXPECT_EQ(GetW(key, u""), u"default text");
    RegCloseKey(key);

    // All of it survives a fresh read of the file: the stored text is re-parsed.
    std::string text = ReadFile(HiveFile());
    EXPECT_NE(text.find("\"PingRetries\"=dword:00000007"), std::string::npos) << text;
    EXPECT_NE(text.find("\"Blob\"=hex:00,01,fe,ff,0a"), std::string::npos) << text;
    EXPECT_NE(text.find("@=\"default text\""), std::string::npos) << text;
}

TEST_F(RegistryCalls, ShortBufferGivesMoreDataAndTheNeededSize) {
    HKEY key = CreateW(HKEY_LOCAL_MACHINE, kTrace);
    SetW(key, u"TraceKey", u"abcdef");
    BYTE buffer[4];
    DWORD size = sizeof buffer;
    EXPECT_EQ(RegQueryValueExW(key, u"TraceKey", nullptr, nullptr, buffer, &size), ERROR_MORE_DATA);
    EXPECT_EQ(size, 14u);
    size = 6;
    EXPECT_EQ(RegQueryValueExA(key, "TraceKey", nullptr, nullptr, buffer, &size), ERROR_MORE_DATA);
    EXPECT_EQ(size, 7u);
    // Without a buffer only the size is asked for.
    size = 0;
    EXPECT_EQ(RegQueryValueExW(key, u"TraceKey", nullptr, nullptr, nullptr, &size), ERROR_SUCCESS);
    EXPECT_EQ(size, 14u);
    RegCloseKey(key);
}

TEST_F(RegistryCalls, MissingKeysAndValuesAreNotFound) {
    HKEY key = nullptr;
    EXPECT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, kTrace, 0, KEY_READ, &key), ERROR_FILE_NOT_FOUND);
    key = CreateW(HKEY_LOCAL_MACHINE, kTrace);
    DWORD size = 0;
    EXPECT_EQ(RegQueryValueExW(key, u"Nothing", nullptr, nullptr, nullptr, &size),
              ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegDeleteValueW(key, u"Nothing"), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegDeleteKeyW(key, u"Nothing"), ERROR_FILE_NOT_FOUND);
    RegCloseKey(key);
}

TEST_F(RegistryCalls, KeyNamesIgnoreCaseButKeepTheirOwn) {
    HKEY key = CreateW(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Tarvex");
    RegCloseKey(key);
    HKEY again = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "software\\TARVEX", 0, KEY_READ, &again),
              ERROR_SUCCESS);
    RegCloseKey(again);
    DWORD disposition = 0;
    key = CreateW(HKEY_LOCAL_MACHINE, u"Software\\tarvex", &disposition);
    EXPECT_EQ(disposition, REG_OPENED_EXISTING_KEY);
    RegCloseKey(key);
    EXPECT_NE(ReadFile(HiveFile()).find("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Tarvex]"),
              std::string::npos);
}

TEST_F(RegistryCalls, CreateMakesEveryMissingKeyAndReportsIt) {
    DWORD disposition = 0;
    HKEY key = CreateW(HKEY_LOCAL_MACHINE, kTrace, &disposition);
    EXPECT_EQ(disposition, REG_CREATED_NEW_KEY);
    RegCloseKey(key);
    for (const char* path : {"SOFTWARE", "SOFTWARE\\Tarvex", "SOFTWARE\\Tarvex\\Olvani"}) {
        HKEY parent = nullptr;
        EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, KEY_READ, &parent), ERROR_SUCCESS)
            << path;
        RegCloseKey(parent);
    }
    // A path below an opened key.
    HKEY olvani = nullptr;
    ASSERT_EQ(
        RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Tarvex\\Olvani", 0, KEY_ALL_ACCESS, &olvani),
        ERROR_SUCCESS);
    HKEY settings = CreateW(olvani, u"BootpSettings", &disposition);
    EXPECT_EQ(disposition, REG_CREATED_NEW_KEY);
    SetW(settings, u"EnableLogging", u"1");
    RegCloseKey(settings);
    EXPECT_EQ(GetString("SOFTWARE\\Tarvex\\Olvani\\BootpSettings", "EnableLogging"), "1");
    RegCloseKey(olvani);
}

TEST_F(RegistryCalls, EnumeratesSubkeysInStoredOrder) {
    HKEY base = CreateW(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Tarvex\\Olvani");
    for (const char16_t* name : {u"Trace", u"BootpSettings", u"LNS"})
        RegCloseKey(CreateW(base, name));
    std::vector<std::u16string> names;
    LONG r;
    for (DWORD i = 0;; ++i) {
        char16_t name[256];
        DWORD length = 256;
        FILETIME written{};
        r = RegEnumKeyExW(base, i, name, &length, nullptr, nullptr, nullptr, &written);
        if (r != ERROR_SUCCESS)
            break;
        EXPECT_EQ(length, std::char_traits<char16_t>::length(name));
        EXPECT_NE(written.dwHighDateTime, 0u);
        names.emplace_back(name, length);
    }
    EXPECT_EQ(r, ERROR_NO_MORE_ITEMS);
    EXPECT_EQ(names, (std::vector<std::u16string>{u"Trace", u"BootpSettings", u"LNS"}));

    char16_t small[5];
    DWORD length = 5;
    EXPECT_EQ(RegEnumKeyExW(base, 1, small, &length, nullptr, nullptr, nullptr, nullptr),
              ERROR_MORE_DATA);
    RegCloseKey(base);
}

TEST_F(RegistryCalls, DeleteKeyRefusesKeysWithSubkeys) {
    RegCloseKey(CreateW(HKEY_LOCAL_MACHINE, kTrace));
    EXPECT_EQ(RegDeleteKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Tarvex\\Olvani"), ERROR_ACCESS_DENIED);
    EXPECT_EQ(RegDeleteKeyW(HKEY_LOCAL_MACHINE, kTrace), ERROR_SUCCESS);
    HKEY key = nullptr;
    EXPECT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, kTrace, 0, KEY_READ, &key), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegDeleteKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Tarvex\\Olvani"), ERROR_SUCCESS);
}

TEST_F(RegistryCalls, HandleOfADeletedKeyReportsKeyDeleted) {
    HKEY key = CreateW(HKEY_LOCAL_MACHINE, kTrace);
    SetW(key, u"TraceFlag", u"1");
    ASSERT_EQ(RegDeleteKeyW(HKEY_LOCAL_MACHINE, kTrace), ERROR_SUCCESS);
    DWORD size = 0;
    EXPECT_EQ(RegQueryValueExW(key, u"TraceFlag", nullptr, nullptr, nullptr, &size),
              ERROR_KEY_DELETED);
    EXPECT_EQ(RegSetValueExW(key, u"TraceFlag", 0, REG_SZ, reinterpret_cast<const BYTE*>(u"2"), 4),
              ERROR_KEY_DELETED);
    EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
}

TEST_F(RegistryCalls, HandlesAreCheckedAndRootsNeedNoClosing) {
    EXPECT_EQ(RegCloseKey(HKEY_LOCAL_MACHINE), ERROR_SUCCESS);
    EXPECT_EQ(RegCloseKey(HKEY_CURRENT_USER), ERROR_SUCCESS);
    HKEY key = CreateW(HKEY_LOCAL_MACHINE, kTrace);
    EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
    EXPECT_EQ(RegCloseKey(key), ERROR_INVALID_HANDLE);
    DWORD size = 0;
    EXPECT_EQ(RegQueryValueExW(key, u"x", nullptr, nullptr, nullptr, &size), ERROR_INVALID_HANDLE);
    EXPECT_EQ(RegCloseKey(nullptr), ERROR_INVALID_HANDLE);
}

TEST_F(RegistryCalls, AccessRightsOfTheHandleAreEnforced) {
    RegCloseKey(CreateW(HKEY_LOCAL_MACHINE, kTrace));
    HKEY reader = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, kTrace, 0, KEY_READ, &reader), ERROR_SUCCESS);
    EXPECT_EQ(
        RegSetValueExW(reader, u"TraceFlag", 0, REG_SZ, reinterpret_cast<const BYTE*>(u"1"), 4),
        ERROR_ACCESS_DENIED);
    RegCloseKey(reader);
    HKEY writer = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, kTrace, 0, KEY_WRITE, &writer), ERROR_SUCCESS);
    DWORD size = 0;
    EXPECT_EQ(RegQueryValueExW(writer, u"TraceFlag", nullptr, nullptr, nullptr, &size),
              ERROR_ACCESS_DENIED);
    RegCloseKey(writer);
}

TEST_F(RegistryCalls, QuotesBackslashesLineBreaksAndNonAsciiSurvive) {
    const std::u16string name = u"Na\"me\\ caf\u00e9 \u65e5\u672c \U0001F600";
    const std::u16string value = u"\"quoted\" C:\\dir\\ \r\nnext line \u00fc\u00df \U0001F600\\";
    HKEY key = CreateW(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Tarvex\\K\u00e9y [x] \"q\"");
    SetW(key, name.c_str(), value);
    RegCloseKey(key);
    // Another handle, and a hive read back from the file by a fresh parse,
    // which shows by the value the edit adds.
    std::string text = ReadFile(HiveFile());
    WriteFile(HiveFile(),
              text + "\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Edited]\r\n\"By\"=\"editor\"\r\n");
    ASSERT_TRUE(EditorChangeShows([] { return GetString("SOFTWARE\\Edited", "By") == "editor"; }));
    ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"software\\tarvex\\K\u00e9y [x] \"q\"", 0,
                            KEY_READ, &key),
              ERROR_SUCCESS);
    EXPECT_EQ(GetW(key, name.c_str()), value);
    RegCloseKey(key);
    EXPECT_NE(text.find("caf\xC3\xA9"), std::string::npos) << "stored as UTF-8";
}

TEST_F(RegistryCalls, NarrowStringsAreStoredWithoutTheirTerminator) {
    SetString("SOFTWARE\\Tarvex\\Olvani\\BootpSettings", "Bootptabfile", "/etc/bootptab");
    EXPECT_EQ(GetString("SOFTWARE\\Tarvex\\Olvani\\BootpSettings", "Bootptabfile"),
              "/etc/bootptab");
    EXPECT_NE(ReadFile(HiveFile()).find("\"Bootptabfile\"=\"/etc/bootptab\"\n"), std::string::npos);
}

TEST_F(RegistryCalls, AnEmptyStringIsOneNullUnit) {
    HKEY key = CreateW(HKEY_LOCAL_MACHINE, kTrace);
    ASSERT_EQ(RegSetValueExW(key, u"TraceKey", 0, REG_SZ, reinterpret_cast<const BYTE*>(u""), 2),
              ERROR_SUCCESS);
    DWORD size = 0;
    ASSERT_EQ(RegQueryValueExW(key, u"TraceKey", nullptr, nullptr, nullptr, &size), ERROR_SUCCESS);
    EXPECT_EQ(size, 2u);
    RegCloseKey(key);
}

TEST_F(RegistryCalls, HivesOfDifferentRootsAreSeparateFiles) {
    HKEY user = CreateW(HKEY_CURRENT_USER, u"Software\\Tarvex");
    SetW(user, u"Who", u"user");
    RegCloseKey(user);
    HKEY machine = nullptr;
    EXPECT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"Software\\Tarvex", 0, KEY_READ, &machine),
              ERROR_FILE_NOT_FOUND);
    EXPECT_NE(ReadFile(HiveFile("HKEY_CURRENT_USER")).find("\"Who\"=\"user\""), std::string::npos);
    EXPECT_STREQ(olvani::RootKeyName(HKEY_CURRENT_USER), "HKEY_CURRENT_USER");
    EXPECT_EQ(olvani::RootKeyFromName("hklm"), HKEY_LOCAL_MACHINE);
    EXPECT_EQ(olvani::RootKeyFromName("HKEY_NOWHERE"), nullptr);
}

TEST_F(RegistryCalls, AnEditorsChangeToTheHiveIsSeen) {
    SetString("SOFTWARE\\Tarvex\\Olvani\\Trace", "TraceFlag", "0");
    EXPECT_EQ(GetString("SOFTWARE\\Tarvex\\Olvani\\Trace", "TraceFlag"), "0");
    WriteFile(HiveFile(), "Windows Registry Editor Version 5.00\r\n\r\n"
                          "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Tarvex\\Olvani\\Trace]\r\n"
                          "\"TraceFlag\"=\"1\"\r\n");
    EXPECT_TRUE(EditorChangeShows(
        [] { return GetString("SOFTWARE\\Tarvex\\Olvani\\Trace", "TraceFlag") == "1"; }));
}

TEST_F(RegistryCalls, AnotherWritersChangeIsSeenAtOnce) {
    // Readers trust their cache for an hour: only the writers' change counter
    // can tell them of another process's change.
    olvani::registry::SetRecheckInterval(3'600'000'000'000);
    SetString("SOFTWARE\\Tarvex\\Olvani\\Trace", "TraceFlag", "0");
    EXPECT_EQ(GetString("SOFTWARE\\Tarvex\\Olvani\\Trace", "TraceFlag"), "0");
    for (const char* value : {"1", "2"}) {
        EXPECT_EQ(olvani::testing::InChild([value] {
                      SetString("SOFTWARE\\Tarvex\\Olvani\\Trace", "TraceFlag", value);
                      return 0;
                  }),
                  0);
        EXPECT_EQ(GetString("SOFTWARE\\Tarvex\\Olvani\\Trace", "TraceFlag"), value);
    }
}

} // namespace
