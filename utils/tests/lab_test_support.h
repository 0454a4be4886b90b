// What the lab network, database and server manager tests share: a private
// registry and event file per test, the reports made, and BSTR handling.
#pragma once

#include "platform/strings.h"
#include "utils/dravik.h"
#include "utils/tests/error_message.h"

#include <string>

namespace dravik::testing {

constexpr HRESULT kNotResponding = static_cast<HRESULT>(0x800404C8u);
constexpr HRESULT kNotAnswering = static_cast<HRESULT>(0x800404C9u);
constexpr HRESULT kLoginRefused = static_cast<HRESULT>(0x80040407u);
constexpr HRESULT kNoConnection = static_cast<HRESULT>(0x80040405u);
constexpr HRESULT kQueryFailed = static_cast<HRESULT>(0x800100DBu);

inline std::u16string Wide(const std::string& text) {
    return olvani::Utf8ToUtf16(text);
}

// Takes a BSTR out parameter and frees it.
struct Bstr {
    BSTR text = nullptr;
    Bstr() = default;
    Bstr(const Bstr&) = delete;
    Bstr& operator=(const Bstr&) = delete;
    ~Bstr() { SysFreeString(text); }
    BSTR* Out() {
        SysFreeString(text);
        text = nullptr;
        return &text;
    }
    std::u16string Text() const { return text ? std::u16string(text, SysStringLen(text)) : u""; }
};

class LabTest : public ReportingRegistry {
protected:
    static void SetLns(const char* name, const std::string& value) {
        SetString("SOFTWARE\\Tarvex\\Olvani\\LNS", name, value);
    }
};

} // namespace dravik::testing
