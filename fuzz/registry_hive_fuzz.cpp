// Feeds arbitrary text to the hive parser and to the import path. Text that
// parses must survive a round trip through the writer unchanged; text that
// does not must name a line inside the text. Imported text merged into a
// hive loses none of its keys or values, keeps within the name limits, and
// writes back to text that parses to the same hive.
#include "platform/registry_hive.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>
#include <vector>

namespace {

using namespace olvani::registry;

constexpr std::string_view kRoot = "HKEY_LOCAL_MACHINE";
constexpr std::string_view kBase = "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Tarvex]\n"
                                   "\"Kept\"=\"yes\"\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Tarvex\\A]\n";

void MustRoundTrip(const Hive& hive) {
    const std::string written = SerializeHive(hive, kRoot);
    Hive again;
    ParseError error;
    if (!ParseHive(written, kRoot, again, error))
        std::abort();
    if (SerializeHive(again, kRoot) != written)
        std::abort();
}

// Every key below `index` keeps within the limits.
void MustKeepLimits(const Hive& hive, size_t index) {
    const HiveKey& key = hive.At(index);
    if (!KeyPathProblem(key.path).empty())
        std::abort();
    for (const HiveValue& value : key.values) {
        if (!ValueNameProblem(value.name).empty())
            std::abort();
    }
    for (size_t child : key.children)
        MustKeepLimits(hive, child);
}

// What olvani-reg import does with one root's sections.
void Import(std::string_view text) {
    std::vector<RegSection> sections;
    ParseError error;
    if (!ParseRegText(text, sections, error))
        return; // the line check is done on the hive path
    std::erase_if(sections,
                  [](const RegSection& s) { return FindRoot(s.root) != FindRoot(kRoot); });
    Hive hive;
    if (!ParseHive(kBase, kRoot, hive, error))
        std::abort();
    MergeSections(hive, sections);
    for (const RegSection& section : sections) {
        const HiveKey* key = hive.Find(section.path);
        if (!key)
            std::abort();
        for (const HiveValue& value : section.values) {
            if (!Hive::FindValue(*key, value.name))
                std::abort();
        }
    }
    if (!hive.Find("SOFTWARE\\Tarvex\\A") ||
        !Hive::FindValue(*hive.Find("SOFTWARE\\Tarvex"), "Kept"))
        std::abort();
    MustKeepLimits(hive, Hive::kRoot);
    MustRoundTrip(hive);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view text(reinterpret_cast<const char*>(data), size);
    Import(text);
    Hive hive;
    ParseError error;
    if (!ParseHive(text, kRoot, hive, error)) {
        size_t lines = static_cast<size_t>(std::count(text.begin(), text.end(), '\n')) + 1;
        if (error.line < 1 || error.line > lines || error.message.empty())
            std::abort();
        return 0;
    }
    MustKeepLimits(hive, Hive::kRoot);
    MustRoundTrip(hive);
    return 0;
}
