// The hive's text form: what it reads, what it refuses and where.
#include "platform/registry_hive.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using olvani::registry::Hive;
using olvani::registry::ParseError;
using olvani::registry::ParseHive;
using olvani::registry::SerializeHive;

constexpr const char* kRoot = "HKEY_LOCAL_MACHINE";

Hive Parse(const std::string& text) {
    Hive hive;
    ParseError error;
    EXPECT_TRUE(ParseHive(text, kRoot, hive, error)) << error.line << ": " << error.message;
    return hive;
}

// Line and message of the first error.
std::string ErrorOf(const std::string& text) {
    Hive hive;
    ParseError error;
    if (ParseHive(text, kRoot, hive, error))
        return "parsed";
    return std::to_string(error.line) + ": " + error.message;
}

TEST(HiveText, ReadsEveryValueForm) {
    Hive hive = Parse("\xEF\xBB\xBFWindows Registry Editor Version 5.00\r\n"
                      "\r\n"
                      "; a comment\r\n"
                      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Tarvex]\r\n"
                      "@=\"default\"\r\n"
                      "\"Text\"=\"a \\\"b\\\" c:\\\\d\"\r\n"
                      "\"Number\"=dword:0000000a\r\n"
                      "\"Bytes\"=hex:01,02,\\\r\n"
                      "  ff\r\n"
                      "\"Wide\"=hex(1):41,00,42,00,00,00\r\n"
                      "\"Multi\"=hex(7):41,00,00,00\r\n");
    const auto* key = hive.Find("software\\tarvex");
    ASSERT_NE(key, nullptr);
    EXPECT_EQ(Hive::FindValue(*key, "")->data, "default");
    EXPECT_EQ(Hive::FindValue(*key, "TEXT")->data, "a \"b\" c:\\d");
    EXPECT_EQ(Hive::FindValue(*key, "Number")->data, std::string("\x0a\0\0\0", 4));
    EXPECT_EQ(Hive::FindValue(*key, "Number")->type, REG_DWORD);
    EXPECT_EQ(Hive::FindValue(*key, "Bytes")->data, "\x01\x02\xff");
    EXPECT_EQ(Hive::FindValue(*key, "Wide")->type, REG_SZ);
    EXPECT_EQ(Hive::FindValue(*key, "Wide")->data, "AB");
    EXPECT_EQ(Hive::FindValue(*key, "Multi")->type, 7u);
    EXPECT_NE(hive.Find("SOFTWARE"), nullptr) << "parents exist implicitly";
}

TEST(HiveText, WritesWhatItReads) {
    const std::string text = "Windows Registry Editor Version 5.00\n\n"
                             "[HKEY_LOCAL_MACHINE]\n"
                             "\"AtRoot\"=\"x\"\n\n"
                             "[HKEY_LOCAL_MACHINE\\SOFTWARE]\n\n"
                             "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Tarvex]\n"
                             "@=\"line\\nbreak\\r\\0nul\"\n"
                             "\"Quo\\\"te\\\\\"=\"caf\xC3\xA9\"\n"
                             "\"N\"=dword:ffffffff\n"
                             "\"Short\"=hex(4):01,02\n"
                             "\"Empty\"=hex:\n\n"
                             "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Tarvex\\Empty key]\n\n";
    EXPECT_EQ(SerializeHive(Parse(text), kRoot), text);
}

TEST(HiveText, DuplicateSectionsMergeAndTheLastValueWins) {
    Hive hive = Parse("[HKEY_LOCAL_MACHINE\\A]\n\"v\"=\"1\"\n"
                      "[HKLM\\a]\n\"V\"=\"2\"\n\"w\"=\"3\"\n");
    const auto* key = hive.Find("A");
    ASSERT_NE(key, nullptr);
    ASSERT_EQ(key->values.size(), 2u);
    EXPECT_EQ(key->values[0].name, "v");
    EXPECT_EQ(key->values[0].data, "2");
}

TEST(HiveText, ErrorsGiveTheLineAndTheReason) {
    EXPECT_EQ(ErrorOf("\"v\"=\"1\"\n"), "1: a value before the first [key] line");
    EXPECT_EQ(ErrorOf("[HKEY_LOCAL_MACHINE\\A]\n\n\"v\"=dword:12345678\n\"v\"=dword:1g\n"),
              "4: dword: needs 1 to 8 hex digits");
    EXPECT_EQ(ErrorOf("[HKEY_LOCAL_MACHINE\\A\n"), "1: a [key] line must end with ']'");
    EXPECT_EQ(ErrorOf("[HKEY_NOWHERE\\A]\n"), "1: unknown root key 'HKEY_NOWHERE'");
    EXPECT_EQ(ErrorOf("[HKEY_CURRENT_USER\\A]\n"),
              "1: key of another root (HKEY_CURRENT_USER) in the HKEY_LOCAL_MACHINE hive");
    EXPECT_EQ(ErrorOf("[HKLM\\A]\n\"v\"=\"open\n"), "2: a quoted string without its closing quote");
    EXPECT_EQ(ErrorOf("[HKLM\\A]\n\"v\"=\"C:\\temp\"\n"),
              "2: unknown escape \\t in a quoted string (write a backslash as \\\\)");
    EXPECT_EQ(ErrorOf("[HKLM\\A]\n\"v\"=hex:1,2\n"), "2: a hex byte must be two hex digits");
    EXPECT_EQ(ErrorOf("[HKLM\\A]\n\"v\"=hex:01,\\\n"),
              "2: a hex list continued past the end of the file");
    EXPECT_EQ(ErrorOf("[HKLM\\A]\n\"v\"\n"), "2: expected '=' after the value name");
    EXPECT_EQ(ErrorOf("[HKLM\\A]\ngarbage\n"), "2: expected a [key] line or a \"name\"=value line");
    EXPECT_EQ(ErrorOf("[HKLM\\A]\n\"v\"=\"x\" tail\n"),
              "2: unexpected text after the closing quote");
}

TEST(HiveKeys, CreateFindAndRemove) {
    Hive hive;
    bool created = false;
    hive.Create("A\\B\\C", &created);
    EXPECT_TRUE(created);
    hive.Create("a\\b", &created);
    EXPECT_FALSE(created);
    EXPECT_EQ(hive.Find("\\A\\\\B\\")->path, "A\\B") << "empty components are skipped";
    EXPECT_FALSE(hive.Remove("A\\B")) << "has a subkey";
    EXPECT_FALSE(hive.Remove("")) << "the root stays";
    EXPECT_TRUE(hive.Remove("a\\b\\c"));
    EXPECT_EQ(hive.Find("A\\B\\C"), nullptr);
    EXPECT_TRUE(hive.Find("A\\B")->children.empty());
    EXPECT_EQ(hive.KeyCount(), 3u);
}

} // namespace
