#include "platform/registry_hive.h"

#include "platform/strings.h"

#include <algorithm>
#include <array>
#include <cstdio>

namespace olvani::registry {
namespace {

constexpr std::string_view kHeader = "Windows Registry Editor Version 5.00";
constexpr std::string_view kOldHeader = "REGEDIT4";

char FoldChar(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

constexpr std::array<RootInfo, 5> kRoots = {{
    {0x80000000u, "HKEY_CLASSES_ROOT", "HKCR"},
    {0x80000001u, "HKEY_CURRENT_USER", "HKCU"},
    {0x80000002u, "HKEY_LOCAL_MACHINE", "HKLM"},
    {0x80000003u, "HKEY_USERS", "HKU"},
    {0x80000005u, "HKEY_CURRENT_CONFIG", "HKCC"},
}};

// Calls `each` with every non-empty component of a backslash path.
template <typename F> void ForEachComponent(std::string_view path, F each) {
    size_t start = 0;
    while (start <= path.size()) {
        size_t end = path.find('\\', start);
        if (end == std::string_view::npos)
            end = path.size();
        if (end > start)
            each(path.substr(start, end - start));
        start = end + 1;
    }
}

std::string FoldedPath(std::string_view path) {
    std::string folded;
    folded.reserve(path.size());
    ForEachComponent(path, [&](std::string_view part) {
        if (!folded.empty())
            folded.push_back('\\');
        for (char c : part)
            folded.push_back(FoldChar(c));
    });
    return folded;
}

} // namespace

std::string FoldCase(std::string_view name) {
    std::string folded(name);
    for (char& c : folded)
        c = FoldChar(c);
    return folded;
}

bool SameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (FoldChar(a[i]) != FoldChar(b[i]))
            return false;
    }
    return true;
}

const RootInfo* FindRoot(std::string_view name) {
    for (const RootInfo& root : kRoots) {
        if (SameName(name, root.name) || SameName(name, root.shortName))
            return &root;
    }
    return nullptr;
}

const RootInfo* FindRoot(uint32_t tag) {
    for (const RootInfo& root : kRoots) {
        if (root.tag == tag)
            return &root;
    }
    return nullptr;
}

const RootInfo* FindRoot(HKEY key) {
    auto tag = reinterpret_cast<uintptr_t>(key);
    return tag >= 0x80000000u && tag <= 0xFFFFFFFFu ? FindRoot(static_cast<uint32_t>(tag))
                                                    : nullptr;
}

std::span<const RootInfo> AllRoots() {
    return kRoots;
}

std::string NormalizePath(std::string_view path) {
    std::string joined;
    joined.reserve(path.size());
    ForEachComponent(path, [&](std::string_view part) {
        if (!joined.empty())
            joined.push_back('\\');
        joined.append(part);
    });
    return joined;
}

namespace {

// UTF-16 units of UTF-8 text: one per sequence, two for four-byte ones.
size_t Utf16Length(std::string_view text) {
    size_t units = 0;
    for (char c : text) {
        auto byte = static_cast<unsigned char>(c);
        units += (byte & 0xC0) != 0x80;
        units += byte >= 0xF0;
    }
    return units;
}

} // namespace

std::string KeyPathProblem(std::string_view path) {
    size_t depth = 0;
    bool tooLong = false;
    ForEachComponent(path, [&](std::string_view part) {
        ++depth;
        tooLong = tooLong || Utf16Length(part) > kMaxKeyNameLength;
    });
    if (tooLong)
        return "a key name is longer than " + std::to_string(kMaxKeyNameLength) + " characters";
    if (depth > kMaxKeyDepth)
        return "keys nest deeper than " + std::to_string(kMaxKeyDepth) + " levels";
    return {};
}

std::string ValueNameProblem(std::string_view name) {
    if (Utf16Length(name) > kMaxValueNameLength)
        return "a value name is longer than " + std::to_string(kMaxValueNameLength) + " characters";
    return {};
}

// ---- Hive ----

Hive::Hive() {
    keys_.emplace_back();
    index_.emplace(std::string(), kRoot);
}

const HiveKey* Hive::Find(std::string_view path) const {
    auto it = index_.find(FoldedPath(path));
    return it == index_.end() ? nullptr : &keys_[it->second];
}

HiveKey* Hive::Find(std::string_view path) {
    auto it = index_.find(FoldedPath(path));
    return it == index_.end() ? nullptr : &keys_[it->second];
}

HiveKey& Hive::Create(std::string_view path, bool* created) {
    const std::string joined = NormalizePath(path);
    const std::string folded = FoldCase(joined); // the same layout, letters folded
    // The deepest key that exists, looked for from the end: the parent of a
    // new key usually exists, so a whole hive is read in linear time.
    size_t current = kRoot;
    size_t done = 0; // bytes of `joined` that name existing keys
    for (size_t end = folded.size(); end > 0;) {
        auto it = index_.find(folded.substr(0, end));
        if (it != index_.end()) {
            current = it->second;
            done = end;
            break;
        }
        size_t slash = folded.rfind('\\', end - 1);
        end = slash == std::string::npos ? 0 : slash;
    }
    const bool made = done < joined.size();
    while (done < joined.size()) {
        size_t start = done == 0 ? 0 : done + 1;
        size_t end = std::min(joined.find('\\', start), joined.size());
        HiveKey key;
        key.name = joined.substr(start, end - start);
        key.path = joined.substr(0, end);
        key.parent = current;
        size_t index = keys_.size();
        keys_.push_back(std::move(key));
        keys_[current].children.push_back(index);
        index_.emplace(folded.substr(0, end), index);
        current = index;
        done = end;
    }
    if (created)
        *created = made;
    return keys_[current];
}

bool Hive::Remove(std::string_view path) {
    auto it = index_.find(FoldedPath(path));
    if (it == index_.end() || it->second == kRoot)
        return false;
    size_t index = it->second;
    HiveKey& key = keys_[index];
    if (!key.children.empty())
        return false;
    auto& siblings = keys_[key.parent].children;
    std::erase(siblings, index);
    key.removed = true;
    key.values.clear();
    index_.erase(it);
    return true;
}

const HiveValue* Hive::FindValue(const HiveKey& key, std::string_view name) {
    for (const HiveValue& value : key.values) {
        if (SameName(value.name, name))
            return &value;
    }
    return nullptr;
}

void Hive::SetValue(HiveKey& key, HiveValue value) {
    for (HiveValue& existing : key.values) {
        if (SameName(existing.name, value.name)) {
            existing.type = value.type;
            existing.data = std::move(value.data);
            return;
        }
    }
    key.values.push_back(std::move(value));
}

bool Hive::DeleteValue(HiveKey& key, std::string_view name) {
    return std::erase_if(key.values, [&](const HiveValue& v) { return SameName(v.name, name); }) >
           0;
}

void MergeSections(Hive& hive, const std::vector<RegSection>& sections) {
    for (const RegSection& section : sections) {
        HiveKey& key = hive.Create(section.path);
        for (const HiveValue& value : section.values)
            Hive::SetValue(key, value);
    }
}

// ---- Parsing ----

namespace {

class Parser {
public:
    Parser(std::string_view text, ParseError& error) : text_(text), error_(error) {}

    bool Run(std::vector<RegSection>& sections) {
        if (text_.substr(0, 3) == "\xEF\xBB\xBF")
            pos_ = 3;
        bool first = true;
        std::string_view line;
        while (NextLine(line)) {
            std::string_view trimmed = TrimLeft(line);
            if (trimmed.empty() || trimmed.front() == ';')
                continue;
            if (first && (TrimRight(trimmed) == kHeader || TrimRight(trimmed) == kOldHeader)) {
                first = false;
                continue;
            }
            first = false;
            if (trimmed.front() == '[') {
                RegSection section;
                if (!ParseSection(trimmed, section))
                    return false;
                sections.push_back(std::move(section));
            } else if (trimmed.front() == '"' || trimmed.front() == '@') {
                if (sections.empty())
                    return Fail("a value before the first [key] line");
                HiveValue value;
                if (!ParseValue(trimmed, value))
                    return false;
                // Duplicates are resolved when merging: the last one wins.
                sections.back().values.push_back(std::move(value));
            } else {
                return Fail("expected a [key] line or a \"name\"=value line");
            }
        }
        return true;
    }

private:
    bool NextLine(std::string_view& line) {
        if (pos_ >= text_.size())
            return false;
        size_t end = text_.find('\n', pos_);
        if (end == std::string_view::npos)
            end = text_.size();
        line = text_.substr(pos_, end - pos_);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        pos_ = end + 1;
        ++lineNumber_;
        return true;
    }

    static std::string_view TrimLeft(std::string_view s) {
        while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
            s.remove_prefix(1);
        return s;
    }
    static std::string_view TrimRight(std::string_view s) {
        while (!s.empty() && (s.back() == ' ' || s.back() == '\t'))
            s.remove_suffix(1);
        return s;
    }

    bool Fail(std::string message) {
        error_.line = lineNumber_;
        error_.message = std::move(message);
        return false;
    }

    bool ParseSection(std::string_view line, RegSection& section) {
        line = TrimRight(line);
        if (line.size() < 2 || line.back() != ']')
            return Fail("a [key] line must end with ']'");
        std::string_view inner = line.substr(1, line.size() - 2);
        if (!inner.empty() && inner.front() == '-')
            return Fail("key deletion ([-key]) is not supported here");
        size_t slash = inner.find('\\');
        std::string_view root = inner.substr(0, slash);
        if (!FindRoot(root))
            return Fail("unknown root key '" + std::string(root) + "'");
        section.root = std::string(root);
        if (slash != std::string_view::npos)
            section.path = NormalizePath(inner.substr(slash + 1));
        if (std::string problem = KeyPathProblem(section.path); !problem.empty())
            return Fail(problem);
        section.line = lineNumber_;
        return true;
    }

    // Reads a quoted string starting at s[0] == '"'; `s` is left after the
    // closing quote.
    bool ParseQuoted(std::string_view& s, std::string& out) {
        size_t i = 1;
        while (i < s.size()) {
            char c = s[i];
            if (c == '"') {
                s.remove_prefix(i + 1);
                return true;
            }
            if (c == '\\') {
                if (i + 1 >= s.size())
                    return Fail("a backslash at the end of a quoted string");
                char e = s[i + 1];
                switch (e) {
                case '\\':
                case '"':
                    out.push_back(e);
                    break;
                case 'n':
                    out.push_back('\n');
                    break;
                case 'r':
                    out.push_back('\r');
                    break;
                case '0':
                    out.push_back('\0');
                    break;
                default:
                    return Fail(std::string("unknown escape \\") + e +
                                " in a quoted string (write a backslash as \\\\)");
                }
                i += 2;
                continue;
            }
            out.push_back(c);
            ++i;
        }
        return Fail("a quoted string without its closing quote");
    }

    static int HexDigit(char c) {
        if (c >= '0' && c <= '9')
            return c - '0';
        if (c >= 'a' && c <= 'f')
            return c - 'a' + 10;
        if (c >= 'A' && c <= 'F')
            return c - 'A' + 10;
        return -1;
    }

    // Comma-separated byte list, possibly continued on following lines.
    bool ParseHexList(std::string_view s, std::string& out) {
        for (;;) {
            s = TrimRight(s);
            bool more = !s.empty() && s.back() == '\\';
            if (more)
                s.remove_suffix(1);
            size_t i = 0;
            while (i < s.size()) {
                while (i < s.size() && (s[i] == ' ' || s[i] == '\t'))
                    ++i;
                if (i >= s.size())
                    break;
                int hi = HexDigit(s[i]);
                int lo = i + 1 < s.size() ? HexDigit(s[i + 1]) : -1;
                if (hi < 0 || lo < 0)
                    return Fail("a hex byte must be two hex digits");
                out.push_back(static_cast<char>(hi * 16 + lo));
                i += 2;
                while (i < s.size() && (s[i] == ' ' || s[i] == '\t'))
                    ++i;
                if (i < s.size()) {
                    if (s[i] != ',')
                        return Fail("hex bytes must be separated by commas");
                    ++i;
                }
            }
            if (!more)
                return true;
            std::string_view next;
            if (!NextLine(next))
                return Fail("a hex list continued past the end of the file");
            s = TrimLeft(next);
        }
    }

    bool ParseValue(std::string_view s, HiveValue& value) {
        if (s.front() == '@') {
            s.remove_prefix(1);
        } else if (!ParseQuoted(s, value.name)) {
            return false;
        } else if (std::string problem = ValueNameProblem(value.name); !problem.empty()) {
            return Fail(problem);
        }
        s = TrimLeft(s);
        if (s.empty() || s.front() != '=')
            return Fail("expected '=' after the value name");
        s = TrimLeft(s.substr(1));
        if (!s.empty() && s.front() == '"') {
            value.type = REG_SZ;
            if (!ParseQuoted(s, value.data))
                return false;
            if (!TrimRight(s).empty())
                return Fail("unexpected text after the closing quote");
            return true;
        }
        if (s.substr(0, 6) == "dword:") {
            std::string_view digits = TrimRight(s.substr(6));
            if (digits.empty() || digits.size() > 8)
                return Fail("dword: needs 1 to 8 hex digits");
            uint32_t n = 0;
            for (char c : digits) {
                int d = HexDigit(c);
                if (d < 0)
                    return Fail("dword: needs 1 to 8 hex digits");
                n = n * 16 + static_cast<uint32_t>(d);
            }
            value.type = REG_DWORD;
            value.data.resize(4);
            for (int i = 0; i < 4; ++i)
                value.data[i] = static_cast<char>((n >> (8 * i)) & 0xFF);
            return true;
        }
        if (s.substr(0, 4) == "hex:") {
            value.type = REG_BINARY;
            return ParseHexList(s.substr(4), value.data);
        }
        if (s.substr(0, 4) == "hex(") {
            size_t close = s.find("):");
            if (close == std::string_view::npos || close == 4 || close > 12)
                return Fail("hex(type): needs a hex type number");
            uint32_t type = 0;
            for (char c : s.substr(4, close - 4)) {
                int d = HexDigit(c);
                if (d < 0)
                    return Fail("hex(type): needs a hex type number");
                type = type * 16 + static_cast<uint32_t>(d);
            }
            value.type = type;
            if (!ParseHexList(s.substr(close + 2), value.data))
                return false;
            if (type == REG_SZ) {
                // regedit's form of a string: UTF-16LE bytes with terminator.
                std::u16string wide;
                for (size_t i = 0; i + 1 < value.data.size(); i += 2) {
                    wide.push_back(static_cast<char16_t>(
                        static_cast<unsigned char>(value.data[i]) |
                        (static_cast<unsigned char>(value.data[i + 1]) << 8)));
                }
                if (!wide.empty() && wide.back() == u'\0')
                    wide.pop_back();
                value.data = Utf16ToUtf8(wide);
            }
            return true;
        }
        if (!s.empty() && s.front() == '-')
            return Fail("value deletion (=-) is not supported here");
        return Fail("expected \"text\", dword:, hex: or hex(type): after '='");
    }

    std::string_view text_;
    ParseError& error_;
    size_t pos_ = 0;
    size_t lineNumber_ = 0;
};

void AppendQuoted(std::string& out, std::string_view text) {
    out.push_back('"');
    for (char c : text) {
        switch (c) {
        case '\\':
            out += "\\\\";
            break;
        case '"':
            out += "\\\"";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\0':
            out += "\\0";
            break;
        default:
            out.push_back(c);
        }
    }
    out.push_back('"');
}

} // namespace

void AppendValue(std::string& out, const HiveValue& value) {
    if (value.name.empty())
        out.push_back('@');
    else
        AppendQuoted(out, value.name);
    out.push_back('=');
    char buffer[16];
    if (value.type == REG_SZ) {
        AppendQuoted(out, value.data);
    } else if (value.type == REG_DWORD && value.data.size() == 4) {
        uint32_t n = 0;
        for (int i = 3; i >= 0; --i)
            n = (n << 8) | static_cast<unsigned char>(value.data[i]);
        std::snprintf(buffer, sizeof buffer, "dword:%08x", n);
        out += buffer;
    } else {
        if (value.type == REG_BINARY) {
            out += "hex:";
        } else {
            std::snprintf(buffer, sizeof buffer, "hex(%x):", value.type);
            out += buffer;
        }
        static constexpr char kDigits[] = "0123456789abcdef";
        for (size_t i = 0; i < value.data.size(); ++i) {
            if (i)
                out.push_back(',');
            auto byte = static_cast<unsigned char>(value.data[i]);
            out.push_back(kDigits[byte >> 4]);
            out.push_back(kDigits[byte & 0xF]);
        }
    }
    out.push_back('\n');
}

namespace {

void AppendKey(std::string& out, const Hive& hive, size_t index, std::string_view rootName) {
    const HiveKey& key = hive.At(index);
    // Every key gets its section so that empty keys survive; the root only
    // when it holds values.
    if (index != Hive::kRoot || !key.values.empty()) {
        out.push_back('[');
        out += rootName;
        if (!key.path.empty()) {
            out.push_back('\\');
            out += key.path;
        }
        out += "]\n";
        for (const HiveValue& value : key.values)
            AppendValue(out, value);
        out.push_back('\n');
    }
    for (size_t child : key.children)
        AppendKey(out, hive, child, rootName);
}

} // namespace

bool ParseRegText(std::string_view text, std::vector<RegSection>& sections, ParseError& error) {
    Parser parser(text, error);
    return parser.Run(sections);
}

bool ParseHive(std::string_view text, std::string_view rootName, Hive& hive, ParseError& error) {
    std::vector<RegSection> sections;
    if (!ParseRegText(text, sections, error))
        return false;
    const RootInfo* expected = FindRoot(rootName);
    for (const RegSection& section : sections) {
        if (FindRoot(section.root) != expected) {
            error.line = section.line;
            error.message = "key of another root (" + section.root + ") in the " +
                            std::string(rootName) + " hive";
            return false;
        }
    }
    hive = Hive();
    MergeSections(hive, sections);
    return true;
}

std::string SerializeHive(const Hive& hive, std::string_view rootName, bool header) {
    std::string out;
    if (header) {
        out += kHeader;
        out += "\n\n";
    }
    AppendKey(out, hive, Hive::kRoot, rootName);
    return out;
}

} // namespace olvani::registry
