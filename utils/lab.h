// What the lab network server, database and server manager modules share
// inside the library.
#pragma once

#include "platform/oleauto.h"
#include "platform/wintypes.h"

#include <optional>
#include <string>

// Results of the lab network and database exports.
constexpr HRESULT DRAVIK_E_HOST_NOT_RESPONDING = static_cast<HRESULT>(0x800404C8u);
constexpr HRESULT DRAVIK_E_LNS_NOT_ANSWERING = static_cast<HRESULT>(0x800404C9u);
constexpr HRESULT DRAVIK_E_LOGIN_REFUSED = static_cast<HRESULT>(0x80040407u);
constexpr HRESULT DRAVIK_E_NO_CONNECTION = static_cast<HRESULT>(0x80040405u);
constexpr HRESULT DRAVIK_E_QUERY_FAILED = static_cast<HRESULT>(0x800100DBu);

namespace dravik {

// Numbered reports of the lab network and database exports.
enum LabReport : UINT {
    kHostNotResponding = 4,
    kLnsNotAnswering = 5,
    kInvalidDbId = 6,
    kComponentMissing = 7,
    kNoDbIdList = 8,
    kDbIdIndexOutOfRange = 9,
    kNoValidDbName = 10,
    kDbNotStarted = 14,
    kDbNotStopped = 15,
    kSvrMgrFailed = 16,
    kTempFileUnusable = 17,
    kCannotConnect = 18,
    kCannotReadTable = 19,
    kLoginRefused = 20,
};

// A string value under SOFTWARE\Tarvex\Olvani\LNS, read without any report:
// every value there has a default. nullopt when absent or not text.
std::optional<std::u16string> ReadLnsSetting(const char16_t* name);

// Frees the BSTR when it goes.
struct BstrHolder {
    BSTR text = nullptr;
    BstrHolder() = default;
    BstrHolder(const BstrHolder&) = delete;
    BstrHolder& operator=(const BstrHolder&) = delete;
    ~BstrHolder() { SysFreeString(text); }
    const char16_t* Text() const { return text ? text : u""; }
};

} // namespace dravik
