// Text rules shared by the IP address fields and the entry dialogs: dotted
// addresses, subnet masks, hardware addresses and host names. Plain C++ so
// the rules can be tested without any widget.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace korrind {

using AddressBytes = std::array<uint8_t, 4>;

// "a.b.c.d": exactly four pieces split at '.', each a decimal value below
// 256. Pieces are digits only (an empty piece or a sign is refused).
std::optional<AddressBytes> ParseDottedAddress(std::string_view text);

// The four numbers in plain decimal joined by dots.
std::string FormatDottedAddress(const AddressBytes& bytes);

// The address as a 32-bit number in host order (first byte most significant).
uint32_t AddressNumber(const AddressBytes& bytes);

// Numeric value of a dotted text, 0 when it does not parse; used to order
// the IP column of the manager.
uint32_t DottedAddressNumber(std::string_view text);

// A usable subnet mask: ones from the top, zeros below, never all ones.
// 0.0.0.0 passes (zero ones); 255.255.255.255 and 255.0.255.0 do not.
bool IsContiguousMask(uint32_t mask);

// What an IP address control holds: how many fields are filled and the
// address with blank fields read as 0.
struct AddressInput {
    int filled = 0;
    AddressBytes bytes{};
};

// The dotted text of a control that may be accepted: all four fields
// filled and, for a mask, a usable subnet mask. Nothing otherwise.
std::optional<std::string> AcceptAddress(const AddressInput& input, bool asMask);

// Exactly 12 hexadecimal digits (a six-byte Ethernet address).
bool IsHardwareAddressText(std::string_view text);

// ASCII upper case; the table keeps hardware addresses that way.
std::string UpperCase(std::string_view text);

// Equality ignoring ASCII case.
bool EqualsIgnoringCase(std::string_view a, std::string_view b);

// -1, 0 or 1 comparing ignoring ASCII case.
int CompareIgnoringCase(std::string_view a, std::string_view b);

} // namespace korrind
