// olvani-reg: reads and changes the registry from the command line, through
// the same registry layer as the programs.
#include "platform/registry.h"
#include "platform/registry_hive.h"
#include "platform/registry_store.h"
#include "platform/strings.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

namespace {

constexpr int kOk = 0;
constexpr int kNotFound = 1;
constexpr int kUsage = 2;
constexpr int kOther = 3;

constexpr const char* kHelp = R"(Usage: olvani-reg COMMAND [ARGUMENTS]

Reads and changes the registry of the Olvani programs. The hive files live in
$OLVANI_REGISTRY_DIR (default /var/lib/olvani/registry), one per root key.

Commands:
  get KEY [NAME]             print the value NAME of KEY (text as it is,
                             dword in decimal, other data as hex bytes);
                             without NAME, print every value of KEY in .reg form
  set KEY NAME VALUE [--dword | --binary]
                             store VALUE as text (REG_SZ); --dword stores a
                             32-bit number (decimal or 0x hex), --binary hex
                             bytes such as 01,02,ff; missing keys are created
  list KEY                   print the names of KEY's subkeys, one per line
  delete KEY [NAME]          delete the value NAME, or without NAME the key
                             with everything below it
  export                     print every hive in .reg form
  import FILE                merge the keys and values of a .reg file ("-" for
                             standard input) into the registry; a file that
                             does not parse, or names beyond the limits
                             below, is refused as a whole
  --help                     print this text

KEY is a root key, full or short, followed by the path below it:
  HKEY_LOCAL_MACHINE\SOFTWARE\Tarvex   or   HKLM\SOFTWARE\Tarvex
  roots: HKEY_CLASSES_ROOT (HKCR), HKEY_CURRENT_USER (HKCU),
         HKEY_LOCAL_MACHINE (HKLM), HKEY_USERS (HKU), HKEY_CURRENT_CONFIG (HKCC)
NAME "@" or "" is the key's default value. Key names hold at most 255
characters, keys nest at most 512 levels below the root, value names hold at
most 16383 characters. Every change needs write access to the hive file and
its folder.

Exit status:
  0  success
  1  the key or value does not exist
  2  wrong usage
  3  any other failure (access denied, a hive file that does not parse, ...)
)";

const char* program = "olvani-reg";

int Usage(const std::string& message) {
    std::cerr << program << ": " << message << "\nTry 'olvani-reg --help'.\n";
    return kUsage;
}

std::string Describe(LONG code) {
    std::string text;
    switch (code) {
    case ERROR_FILE_NOT_FOUND:
        return "not found";
    case ERROR_KEY_DELETED:
        return "the key was deleted";
    case ERROR_ACCESS_DENIED:
        text = "access denied";
        break;
    case ERROR_BADDB:
        text = "a hive file does not parse";
        break;
    case ERROR_INVALID_PARAMETER:
        text = "invalid argument";
        break;
    default:
        text = "error " + std::to_string(code);
    }
    const char* detail = olvani::RegistryErrorText();
    if (detail && *detail)
        text += std::string(" (") + detail + ")";
    return text;
}

int Fail(const std::string& what, LONG code) {
    std::cerr << program << ": " << what << ": " << Describe(code) << "\n";
    return code == ERROR_FILE_NOT_FOUND || code == ERROR_KEY_DELETED ? kNotFound : kOther;
}

struct KeyName {
    HKEY root = nullptr;
    std::string path;
};

bool SplitKey(const std::string& text, KeyName& key) {
    size_t slash = text.find('\\');
    std::string root = text.substr(0, slash);
    key.root = olvani::RootKeyFromName(root.c_str());
    if (slash != std::string::npos)
        key.path = text.substr(slash + 1);
    return key.root != nullptr;
}

std::string ValueName(const std::string& name) {
    return name == "@" ? std::string() : name;
}

std::string HexBytes(const std::vector<BYTE>& data) {
    std::string out;
    char buffer[4];
    for (size_t i = 0; i < data.size(); ++i) {
        std::snprintf(buffer, sizeof buffer, i ? ",%02x" : "%02x", data[i]);
        out += buffer;
    }
    return out;
}

// Opens the key an operator named for reading; kOk, or the status to end with.
int OpenForReading(const std::string& keyText, KeyName& key, HKEY& handle) {
    if (!SplitKey(keyText, key))
        return Usage("unknown root key in '" + keyText + "'");
    if (LONG r = RegOpenKeyExA(key.root, key.path.c_str(), 0, KEY_READ, &handle);
        r != ERROR_SUCCESS)
        return Fail(keyText, r);
    return kOk;
}

int Get(const std::string& keyText, const std::string* name) {
    KeyName key;
    HKEY handle = nullptr;
    if (int status = OpenForReading(keyText, key, handle); status != kOk)
        return status;
    if (!name) {
        // Every value, as the .reg text of this one key.
        olvani::registry::HivePtr hive;
        const auto* root = olvani::registry::FindRoot(olvani::RootKeyName(key.root));
        LONG r = olvani::registry::LoadHive(*root, hive);
        RegCloseKey(handle);
        if (r != ERROR_SUCCESS)
            return Fail(keyText, r);
        const olvani::registry::HiveKey* found = hive->Find(key.path);
        if (!found)
            return Fail(keyText, ERROR_FILE_NOT_FOUND);
        std::string text;
        for (const auto& value : found->values)
            olvani::registry::AppendValue(text, value);
        std::cout << text;
        return kOk;
    }
    std::string valueName = ValueName(*name);
    DWORD type = 0, size = 0;
    LONG r = RegQueryValueExA(handle, valueName.c_str(), nullptr, &type, nullptr, &size);
    std::vector<BYTE> data(size);
    if (r == ERROR_SUCCESS)
        r = RegQueryValueExA(handle, valueName.c_str(), nullptr, &type, data.data(), &size);
    RegCloseKey(handle);
    if (r != ERROR_SUCCESS)
        return Fail(keyText + " " + *name, r);
    data.resize(size);
    if (type == REG_SZ) {
        std::cout << std::string(reinterpret_cast<const char*>(data.data()),
                                 size > 0 ? size - 1 : 0)
                  << "\n";
    } else if (type == REG_DWORD && size == 4) {
        uint32_t n = data[0] | data[1] << 8 | data[2] << 16 | static_cast<uint32_t>(data[3]) << 24;
        std::cout << n << "\n";
    } else {
        std::cout << HexBytes(data) << "\n";
    }
    return kOk;
}

bool ParseHex(const std::string& text, std::vector<BYTE>& out) {
    std::string digits;
    for (char c : text) {
        if (std::isxdigit(static_cast<unsigned char>(c)))
            digits.push_back(c);
        else if (c != ',' && c != ' ')
            return false;
    }
    if (digits.size() % 2)
        return false;
    for (size_t i = 0; i < digits.size(); i += 2)
        out.push_back(static_cast<BYTE>(std::stoul(digits.substr(i, 2), nullptr, 16)));
    return true;
}

int Set(const std::vector<std::string>& args) {
    bool dword = false, binary = false;
    std::vector<std::string> plain;
    for (const std::string& arg : args) {
        if (arg == "--dword")
            dword = true;
        else if (arg == "--binary")
            binary = true;
        else
            plain.push_back(arg);
    }
    if (plain.size() != 3 || (dword && binary))
        return Usage("set needs KEY NAME VALUE and at most one of --dword, --binary");
    KeyName key;
    if (!SplitKey(plain[0], key))
        return Usage("unknown root key in '" + plain[0] + "'");
    const std::string name = ValueName(plain[1]);
    const std::string& value = plain[2];
    DWORD type = REG_SZ;
    std::vector<BYTE> data(value.begin(), value.end());
    data.push_back(0);
    if (dword) {
        errno = 0;
        char* end = nullptr;
        long long n = std::strtoll(value.c_str(), &end, 0);
        if (value.empty() || *end || errno || n < INT32_MIN || n > UINT32_MAX)
            return Usage("'" + value + "' is not a 32-bit number");
        auto u = static_cast<uint32_t>(n);
        type = REG_DWORD;
        data = {static_cast<BYTE>(u), static_cast<BYTE>(u >> 8), static_cast<BYTE>(u >> 16),
                static_cast<BYTE>(u >> 24)};
    } else if (binary) {
        data.clear();
        if (!ParseHex(value, data))
            return Usage("'" + value + "' is not a list of hex bytes");
        type = REG_BINARY;
    }
    HKEY handle = nullptr;
    LONG r = RegCreateKeyExA(key.root, key.path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                             KEY_WRITE, nullptr, &handle, nullptr);
    if (r != ERROR_SUCCESS)
        return Fail(plain[0], r);
    r = RegSetValueExA(handle, name.c_str(), 0, type, data.data(), static_cast<DWORD>(data.size()));
    RegCloseKey(handle);
    return r == ERROR_SUCCESS ? kOk : Fail(plain[0] + " " + plain[1], r);
}

int List(const std::string& keyText) {
    KeyName key;
    HKEY handle = nullptr;
    if (int status = OpenForReading(keyText, key, handle); status != kOk)
        return status;
    LONG r = ERROR_SUCCESS;
    for (DWORD i = 0;; ++i) {
        char16_t name[256];
        DWORD length = 256;
        r = RegEnumKeyExW(handle, i, name, &length, nullptr, nullptr, nullptr, nullptr);
        if (r != ERROR_SUCCESS)
            break;
        std::cout << olvani::Utf16ToUtf8(std::u16string_view(name, length)) << "\n";
    }
    RegCloseKey(handle);
    return r == ERROR_NO_MORE_ITEMS ? kOk : Fail(keyText, r);
}

// Deletes a key with everything below it, deepest first.
LONG DeleteTree(HKEY parent, const std::string& path) {
    HKEY handle = nullptr;
    if (LONG r = RegOpenKeyExA(parent, path.c_str(), 0, KEY_READ, &handle); r != ERROR_SUCCESS)
        return r;
    LONG r = ERROR_SUCCESS;
    for (;;) {
        char16_t name[256];
        DWORD length = 256;
        r = RegEnumKeyExW(handle, 0, name, &length, nullptr, nullptr, nullptr, nullptr);
        if (r != ERROR_SUCCESS)
            break;
        r = DeleteTree(handle, olvani::Utf16ToUtf8(std::u16string_view(name, length)));
        if (r != ERROR_SUCCESS)
            break;
    }
    RegCloseKey(handle);
    if (r != ERROR_NO_MORE_ITEMS)
        return r;
    return RegDeleteKeyA(parent, path.c_str());
}

int Delete(const std::string& keyText, const std::string* name) {
    KeyName key;
    if (!SplitKey(keyText, key))
        return Usage("unknown root key in '" + keyText + "'");
    if (!name) {
        if (olvani::registry::NormalizePath(key.path).empty())
            return Usage("a root key cannot be deleted");
        LONG r = DeleteTree(key.root, key.path);
        return r == ERROR_SUCCESS ? kOk : Fail(keyText, r);
    }
    HKEY handle = nullptr;
    if (LONG r = RegOpenKeyExA(key.root, key.path.c_str(), 0, KEY_SET_VALUE, &handle);
        r != ERROR_SUCCESS)
        return Fail(keyText, r);
    LONG r = RegDeleteValueA(handle, ValueName(*name).c_str());
    RegCloseKey(handle);
    return r == ERROR_SUCCESS ? kOk : Fail(keyText + " " + *name, r);
}

int Export() {
    std::cout << "Windows Registry Editor Version 5.00\n\n";
    for (const auto& root : olvani::registry::AllRoots()) {
        olvani::registry::HivePtr hive;
        if (LONG r = olvani::registry::LoadHive(root, hive); r != ERROR_SUCCESS)
            return Fail(root.name, r);
        std::cout << olvani::registry::SerializeHive(*hive, root.name, false);
    }
    return kOk;
}

int Import(const std::string& file) {
    std::string text;
    if (file == "-") {
        std::ostringstream all;
        all << std::cin.rdbuf();
        text = all.str();
    } else {
        std::ifstream in(file, std::ios::binary);
        if (!in) {
            std::cerr << program << ": cannot open " << file << ": " << std::strerror(errno)
                      << "\n";
            return kOther;
        }
        std::ostringstream all;
        all << in.rdbuf();
        text = all.str();
    }
    std::vector<olvani::registry::RegSection> sections;
    olvani::registry::ParseError error;
    if (!olvani::registry::ParseRegText(text, sections, error)) {
        std::cerr << program << ": " << file << ":" << error.line << ": " << error.message << "\n";
        return kOther;
    }
    // One atomic change per root.
    for (const auto& root : olvani::registry::AllRoots()) {
        std::vector<olvani::registry::RegSection> mine;
        for (const auto& section : sections) {
            if (olvani::registry::FindRoot(section.root) == &root)
                mine.push_back(section);
        }
        if (mine.empty())
            continue;
        LONG r =
            olvani::registry::UpdateHive(root, [&](olvani::registry::Hive& hive, bool& changed) {
                olvani::registry::MergeSections(hive, mine);
                changed = true;
                return ERROR_SUCCESS;
            });
        if (r != ERROR_SUCCESS)
            return Fail(root.name, r);
    }
    return kOk;
}

} // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.empty())
        return Usage("no command given");
    const std::string command = args[0];
    args.erase(args.begin());
    if (command == "--help" || command == "-h" || command == "help") {
        std::cout << kHelp;
        return kOk;
    }
    if (command == "get" && (args.size() == 1 || args.size() == 2))
        return Get(args[0], args.size() == 2 ? &args[1] : nullptr);
    if (command == "set")
        return Set(args);
    if (command == "list" && args.size() == 1)
        return List(args[0]);
    if (command == "delete" && (args.size() == 1 || args.size() == 2))
        return Delete(args[0], args.size() == 2 ? &args[1] : nullptr);
    if (command == "export" && args.empty())
        return Export();
    if (command == "import" && args.size() == 1)
        return Import(args[0]);
    if (command == "get" || command == "list" || command == "delete" || command == "export" ||
        command == "import")
        return Usage("wrong number of arguments for " + command);
    return Usage("unknown command '" + command + "'");
}
