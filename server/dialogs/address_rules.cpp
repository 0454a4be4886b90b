#include "server/dialogs/address_rules.h"

#include <algorithm>
#include <cctype>

namespace korrind {
namespace {

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

bool IsHexDigit(char c) {
    return IsDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

char Upper(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

} // namespace

std::optional<AddressBytes> ParseDottedAddress(std::string_view text) {
    AddressBytes bytes{};
    size_t piece = 0;
    size_t start = 0;
    while (true) {
        size_t dot = text.find('.', start);
        std::string_view part = text.substr(
            start, dot == std::string_view::npos ? std::string_view::npos : dot - start);
        if (piece == 4 || part.empty() || part.size() > 3)
            return std::nullopt;
        unsigned value = 0;
        for (char c : part) {
            if (!IsDigit(c))
                return std::nullopt;
            value = value * 10 + static_cast<unsigned>(c - '0');
        }
        if (value > 255)
            return std::nullopt;
        bytes[piece++] = static_cast<uint8_t>(value);
        if (dot == std::string_view::npos)
            break;
        start = dot + 1;
    }
    if (piece != 4)
        return std::nullopt;
    return bytes;
}

std::string FormatDottedAddress(const AddressBytes& bytes) {
    return std::to_string(bytes[0]) + '.' + std::to_string(bytes[1]) + '.' +
           std::to_string(bytes[2]) + '.' + std::to_string(bytes[3]);
}

uint32_t AddressNumber(const AddressBytes& bytes) {
    return (uint32_t{bytes[0]} << 24) | (uint32_t{bytes[1]} << 16) | (uint32_t{bytes[2]} << 8) |
           uint32_t{bytes[3]};
}

uint32_t DottedAddressNumber(std::string_view text) {
    auto bytes = ParseDottedAddress(text);
    return bytes ? AddressNumber(*bytes) : 0;
}

bool IsContiguousMask(uint32_t mask) {
    if (mask == 0xFFFFFFFFu)
        return false;
    // Ones from the top mean the complement is a run of ones from bit 0,
    // so adding one to it leaves a single bit (or nothing).
    uint32_t hostPart = ~mask;
    return (hostPart & (hostPart + 1)) == 0;
}

std::optional<std::string> AcceptAddress(const AddressInput& input, bool asMask) {
    if (input.filled < 4)
        return std::nullopt;
    if (asMask && !IsContiguousMask(AddressNumber(input.bytes)))
        return std::nullopt;
    return FormatDottedAddress(input.bytes);
}

bool IsHardwareAddressText(std::string_view text) {
    if (text.size() != 12)
        return false;
    for (char c : text)
        if (!IsHexDigit(c))
            return false;
    return true;
}

std::string UpperCase(std::string_view text) {
    std::string upper(text);
    for (char& c : upper)
        c = Upper(c);
    return upper;
}

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
    return CompareIgnoringCase(a, b) == 0;
}

int CompareIgnoringCase(std::string_view a, std::string_view b) {
    size_t n = std::min(a.size(), b.size());
    for (size_t i = 0; i < n; ++i) {
        auto x = static_cast<unsigned char>(std::tolower(static_cast<unsigned char>(a[i])));
        auto y = static_cast<unsigned char>(std::tolower(static_cast<unsigned char>(b[i])));
        if (x != y)
            return x < y ? -1 : 1;
    }
    if (a.size() == b.size())
        return 0;
    return a.size() < b.size() ? -1 : 1;
}

} // namespace korrind
