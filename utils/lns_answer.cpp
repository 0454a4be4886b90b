// etcd's gateway carries keys and values as base64 inside JSON.
#include "utils/lns_answer.h"

#include "platform/strings.h"

#include <nlohmann/json.hpp>

#include <array>
#include <cstdint>

namespace dravik {

namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

std::string Base64(std::string_view bytes) {
    std::string out;
    for (size_t i = 0; i < bytes.size(); i += 3) {
        uint32_t group = static_cast<uint8_t>(bytes[i]) << 16;
        if (i + 1 < bytes.size())
            group |= static_cast<uint8_t>(bytes[i + 1]) << 8;
        if (i + 2 < bytes.size())
            group |= static_cast<uint8_t>(bytes[i + 2]);
        out += kAlphabet[(group >> 18) & 63];
        out += kAlphabet[(group >> 12) & 63];
        out += i + 1 < bytes.size() ? kAlphabet[(group >> 6) & 63] : '=';
        out += i + 2 < bytes.size() ? kAlphabet[group & 63] : '=';
    }
    return out;
}

// Strict: padded groups of four, nothing outside the alphabet.
std::optional<std::string> FromBase64(std::string_view text) {
    static const std::array<int8_t, 256> kValue = [] {
        std::array<int8_t, 256> value{};
        value.fill(-1);
        for (int i = 0; i < 64; ++i)
            value[static_cast<uint8_t>(kAlphabet[i])] = static_cast<int8_t>(i);
        return value;
    }();
    if (text.size() % 4 != 0)
        return std::nullopt;
    std::string out;
    for (size_t i = 0; i < text.size(); i += 4) {
        const bool last = i + 4 == text.size();
        const size_t padding = last ? (text[i + 3] == '=') + (text[i + 2] == '=') : 0;
        uint32_t group = 0;
        for (size_t j = 0; j < 4; ++j) {
            const int v = j >= 4 - padding ? 0 : kValue[static_cast<uint8_t>(text[i + j])];
            if (v < 0)
                return std::nullopt;
            group = group << 6 | static_cast<uint32_t>(v);
        }
        out += static_cast<char>(group >> 16);
        if (padding < 2)
            out += static_cast<char>(group >> 8 & 0xFF);
        if (padding < 1)
            out += static_cast<char>(group & 0xFF);
    }
    return out;
}

// The prefix's end: the prefix with its last byte raised by one.
std::string PrefixEnd() {
    std::string end(kLnsDatabasePrefix);
    ++end.back();
    return end;
}

std::optional<std::string> Field(const nlohmann::json& pair, const char* name) {
    const auto found = pair.find(name);
    if (found == pair.end())
        return std::string();
    if (!found->is_string())
        return std::nullopt;
    return FromBase64(found->get_ref<const std::string&>());
}

} // namespace

std::string LnsRangeRequest() {
    const nlohmann::json request = {{"key", Base64(kLnsDatabasePrefix)},
                                    {"range_end", Base64(PrefixEnd())},
                                    {"sort_order", "ASCEND"},
                                    {"sort_target", "KEY"}};
    return request.dump();
}

std::optional<std::vector<std::u16string>> ParseLnsAnswer(std::string_view body) {
    if (body.size() > kLnsAnswerLimit)
        return std::nullopt;
    const nlohmann::json answer = nlohmann::json::parse(body, nullptr, false);
    if (!answer.is_object())
        return std::nullopt;
    std::vector<std::u16string> values;
    const auto pairs = answer.find("kvs");
    if (pairs == answer.end())
        return values;
    if (!pairs->is_array())
        return std::nullopt;
    for (const nlohmann::json& pair : *pairs) {
        if (!pair.is_object())
            return std::nullopt;
        const std::optional<std::string> key = Field(pair, "key");
        const std::optional<std::string> value = Field(pair, "value");
        if (!key || !value || !key->starts_with(kLnsDatabasePrefix))
            return std::nullopt;
        std::optional<std::u16string> text = olvani::Utf8ToUtf16Strict(*value);
        if (!text)
            return std::nullopt;
        values.push_back(std::move(*text));
    }
    return values;
}

} // namespace dravik
