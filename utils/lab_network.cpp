// The database ids that the lab network server (an etcd) holds for a host,
// kept in one process-wide list read back by position, and the split of an
// id into its parts.
#include "platform/registry.h"
#include "platform/strings.h"
#include "trace/client/module_trace.h"
#include "utils/dravik.h"
#include "utils/frame.h"
#include "utils/lab.h"
#include "utils/lns_answer.h"
#include "utils/report.h"

#include <curl/curl.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace {

constexpr char kDefaultLnsPort[] = "2379";
constexpr long kConnectTimeoutMs = 5000;
constexpr long kTotalTimeoutMs = 15000;
constexpr size_t kHostNameLimit = 255;

// The list of the last count call: empty, or an array of strings.
struct DbIdList {
    std::mutex lock;
    VARIANT gVaDbIdArray{};
    ~DbIdList() { VariantClear(&gVaDbIdArray); }
};

DbIdList g_dbIds;

enum class Outcome { kAnswered, kNotResponding, kNotAnswering };

struct LnsReply {
    Outcome outcome = Outcome::kNotAnswering;
    std::vector<std::u16string> ids;
    std::string why; // for the trace when there is no list
};

// Letters, digits, dots, dashes, and the colons and brackets of an address
// or port: nothing that could make the URL name another path or user.
bool PlainHostName(const std::string& host) {
    if (host.empty() || host.size() > kHostNameLimit)
        return false;
    for (char c : host)
        if (!isalnum(static_cast<unsigned char>(c)) && c != '.' && c != '-' && c != ':' &&
            c != '[' && c != ']')
            return false;
    return true;
}

// "host", "host:port", "[v6]", "[v6]:port" or a bare IPv6 address; the
// server's standard client port unless one is given.
std::string RangeUrl(const std::string& host) {
    std::string authority = host;
    const auto colons = std::count(host.begin(), host.end(), ':');
    if (host.front() == '[') {
        if (host.back() == ']')
            authority += std::string(":") + kDefaultLnsPort;
    } else if (colons > 1) {
        authority = "[" + host + "]:" + kDefaultLnsPort;
    } else if (colons == 0) {
        authority += std::string(":") + kDefaultLnsPort;
    }
    return "http://" + authority + "/v3/kv/range";
}

size_t Collect(char* data, size_t size, size_t count, void* sink) {
    auto* body = static_cast<std::string*>(sink);
    if (body->size() + size * count > dravik::kLnsAnswerLimit)
        return 0;
    body->append(data, size * count);
    return size * count;
}

// A host that cannot be reached at all is "not responding"; one that turns
// the connection away, or answers with anything but the list, "does not
// answer".
Outcome FailureKind(CURL* curl, CURLcode code) {
    if (code == CURLE_COULDNT_RESOLVE_HOST)
        return Outcome::kNotResponding;
    if (code == CURLE_COULDNT_CONNECT) {
        long error = 0;
        curl_easy_getinfo(curl, CURLINFO_OS_ERRNO, &error);
        return error == ECONNREFUSED ? Outcome::kNotAnswering : Outcome::kNotResponding;
    }
    if (code == CURLE_OPERATION_TIMEDOUT) {
        curl_off_t connected = 0;
        curl_easy_getinfo(curl, CURLINFO_CONNECT_TIME_T, &connected);
        return connected == 0 ? Outcome::kNotResponding : Outcome::kNotAnswering;
    }
    return Outcome::kNotAnswering;
}

LnsReply AskLns(const std::string& host) {
    LnsReply reply;
    if (!PlainHostName(host)) {
        reply.outcome = Outcome::kNotResponding;
        reply.why = "the host name holds characters no host name has";
        return reply;
    }
    std::unique_ptr<CURL, void (*)(CURL*)> curl(curl_easy_init(), curl_easy_cleanup);
    std::unique_ptr<curl_slist, void (*)(curl_slist*)> headers(
        curl_slist_append(nullptr, "Content-Type: application/json"), curl_slist_free_all);
    if (!curl || !headers) {
        reply.why = "no transfer could be set up";
        return reply;
    }
    const std::string url = RangeUrl(host);
    const std::string request = dravik::LnsRangeRequest();
    std::string body;
    char error[CURL_ERROR_SIZE] = "";
    CURL* c = curl.get();
    curl_easy_setopt(c, CURLOPT_URL, url.c_str());
    curl_easy_setopt(c, CURLOPT_PROTOCOLS_STR, "http");
    // The lab network is reached directly; a proxy from the environment
    // would send the request elsewhere.
    curl_easy_setopt(c, CURLOPT_NOPROXY, "*");
    curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(c, CURLOPT_CONNECTTIMEOUT_MS, kConnectTimeoutMs);
    curl_easy_setopt(c, CURLOPT_TIMEOUT_MS, kTotalTimeoutMs);
    curl_easy_setopt(c, CURLOPT_HTTPHEADER, headers.get());
    curl_easy_setopt(c, CURLOPT_POSTFIELDS, request.c_str());
    curl_easy_setopt(c, CURLOPT_WRITEFUNCTION, Collect);
    curl_easy_setopt(c, CURLOPT_WRITEDATA, &body);
    curl_easy_setopt(c, CURLOPT_ERRORBUFFER, error);
    const CURLcode code = curl_easy_perform(c);
    if (code != CURLE_OK) {
        reply.outcome = FailureKind(c, code);
        reply.why = error[0] ? error : curl_easy_strerror(code);
        return reply;
    }
    long status = 0;
    curl_easy_getinfo(c, CURLINFO_RESPONSE_CODE, &status);
    if (status != 200) {
        reply.why = "HTTP status " + std::to_string(status);
        return reply;
    }
    std::optional<std::vector<std::u16string>> ids = dravik::ParseLnsAnswer(body);
    if (!ids) {
        reply.why = "the answer is no list of database ids";
        return reply;
    }
    reply.outcome = Outcome::kAnswered;
    reply.ids = std::move(*ids);
    return reply;
}

// An empty list stays an empty variant, as the server hands it out.
HRESULT StoreIds(const std::vector<std::u16string>& ids, VARIANT* list) {
    if (ids.empty())
        return S_OK;
    SAFEARRAY* array = SafeArrayCreateVector(VT_BSTR, 0, static_cast<ULONG>(ids.size()));
    if (!array)
        return E_OUTOFMEMORY;
    for (LONG i = 0; i < static_cast<LONG>(ids.size()); ++i) {
        BSTR id = SysAllocStringLen(ids[i].data(), static_cast<UINT>(ids[i].size()));
        const HRESULT hr = id ? SafeArrayPutElement(array, &i, id) : E_OUTOFMEMORY;
        SysFreeString(id);
        if (FAILED(hr)) {
            SafeArrayDestroy(array);
            return hr;
        }
    }
    list->vt = VT_ARRAY | VT_BSTR;
    list->parray = array;
    return S_OK;
}

// The bounds of the list, checked as the list's readers rely on them.
HRESULT ListBounds(const ScopeTrace& scope, const char16_t* caller, LONG* lower, LONG* upper) {
    const VARIANT& list = g_dbIds.gVaDbIdArray;
    if (list.vt != (VT_ARRAY | VT_BSTR)) {
        TraceFormat(scope, u"%s: 'gVaDbIdArray.vt' is invalid", caller);
        return E_UNEXPECTED;
    }
    if (!list.parray) {
        TraceFormat(scope, u"%s: 'psa'is NULL", caller);
        return E_UNEXPECTED;
    }
    HRESULT hr = SafeArrayGetLBound(list.parray, 1, lower);
    if (SUCCEEDED(hr))
        hr = SafeArrayGetUBound(list.parray, 1, upper);
    if (FAILED(hr))
        TraceFormat(scope, u"%s: SafeArrayGetLBound Operation failed. Hr is %ld ", caller, hr);
    return hr;
}

// wcstok's way: separators before a part are skipped, a part runs to the
// next separator or the end. Empty when nothing is left.
std::u16string NextPart(std::u16string_view& rest, char16_t separator) {
    const size_t start = rest.find_first_not_of(separator);
    if (start == std::u16string_view::npos) {
        rest = {};
        return {};
    }
    rest.remove_prefix(start);
    const size_t end = rest.find(separator);
    std::u16string part(rest.substr(0, end));
    rest.remove_prefix(end == std::u16string_view::npos ? rest.size() : end + 1);
    return part;
}

} // namespace

HRESULT ASVeskGetDbCountFromLns(const char16_t* host, LONG* pRetCount) {
    DRAVIK_REQUIRE_USABLE();
    ScopeTrace scope(5, u"ASVeskGetDbCountFromLns");
    if (!pRetCount) {
        TraceFormat(scope, u"Invalid Argument - 'pRetCount'");
        return E_INVALIDARG;
    }
    *pRetCount = 0;
    const std::u16string hostName = host && *host ? host : u"localhost";
    const LnsReply reply = AskLns(olvani::Utf16ToUtf8(hostName));
    std::lock_guard<std::mutex> lock(g_dbIds.lock);
    VariantClear(&g_dbIds.gVaDbIdArray);
    if (reply.outcome != Outcome::kAnswered) {
        const std::u16string why = olvani::Utf8ToUtf16(reply.why);
        if (reply.outcome == Outcome::kNotResponding) {
            TraceFormat(scope, u"The host '%s' is not responding.", hostName.c_str());
            TraceFormat(scope, u"%s", why.c_str());
            dravik::ReportError(dravik::kHostNotResponding, hostName.c_str());
            return DRAVIK_E_HOST_NOT_RESPONDING;
        }
        TraceFormat(scope, u"The lab network server does not answer on host '%s'.",
                    hostName.c_str());
        TraceFormat(scope, u"IVeskLNS->GetClusters() failed: %s", why.c_str());
        dravik::ReportError(dravik::kLnsNotAnswering, hostName.c_str());
        return DRAVIK_E_LNS_NOT_ANSWERING;
    }
    if (const HRESULT hr = StoreIds(reply.ids, &g_dbIds.gVaDbIdArray); FAILED(hr))
        return hr;
    *pRetCount = static_cast<LONG>(reply.ids.size());
    TraceFormat(scope, u"The Lab Network Server on host '%s' returned a Db Id Count of %d.",
                hostName.c_str(), *pRetCount);
    return S_OK;
}

HRESULT ASVeskGetDbIdFromLns(LONG index, BSTR* pRetDbId) {
    DRAVIK_REQUIRE_USABLE();
    ScopeTrace scope(5, u"ASVeskGetDbIdFromLns");
    if (!pRetDbId) {
        TraceFormat(scope, u"Invalid Argument - pRetDbId");
        return E_INVALIDARG;
    }
    *pRetDbId = nullptr;
    std::lock_guard<std::mutex> lock(g_dbIds.lock);
    if (g_dbIds.gVaDbIdArray.vt == VT_EMPTY) {
        TraceFormat(scope, u"ASVeskGetDbCountFromLns() was not called or it failed.");
        dravik::ReportError(dravik::kNoDbIdList);
        return E_UNEXPECTED;
    }
    LONG lower = 0;
    LONG upper = 0;
    if (const HRESULT hr = ListBounds(scope, u"ASVeskGetDbIdFromLns", &lower, &upper); FAILED(hr))
        return hr;
    if (index < 0 || index > upper - lower) {
        TraceFormat(scope, u"Error: the index %d is out of the range [%d..%d].", index, 0,
                    upper - lower);
        // The message counts the entries, so it gets the count, not the last index.
        dravik::ReportError(dravik::kDbIdIndexOutOfRange, index, 0, upper - lower + 1);
        return E_UNEXPECTED;
    }
    const LONG position = lower + index;
    if (const HRESULT hr = SafeArrayGetElement(g_dbIds.gVaDbIdArray.parray, &position, pRetDbId);
        FAILED(hr)) {
        TraceFormat(scope,
                    u"ASVeskGetDbIdFromLns: SafeArrayGetElement Operation failed. Hr is %ld ", hr);
        return hr;
    }
    return S_OK;
}

HRESULT ASVeskGetDbIdFromDox(const char16_t* host, BSTR* pRetDbId) {
    DRAVIK_REQUIRE_USABLE();
    ScopeTrace scope(5, u"ASVeskGetDbIdFromDox");
    LONG count = 0;
    if (const HRESULT hr = ASVeskGetDbCountFromLns(host, &count); FAILED(hr))
        return hr;
    if (count > 0)
        return ASVeskGetDbIdFromLns(0, pRetDbId);
    TraceFormat(scope, u"The lab network server does not return a valid database name.");
    dravik::ReportError(dravik::kNoValidDbName);
    return E_UNEXPECTED;
}

HRESULT ASVeskGetDbIdTokens(const char16_t* dbId, BSTR* pRetFirst, BSTR* pRetValue,
                            BSTR* pRetFourth) {
    DRAVIK_REQUIRE_USABLE();
    ScopeTrace scope(5, u"ASVeskGetDbIdTokens");
    if (!pRetFirst || !pRetValue || !pRetFourth) {
        TraceFormat(scope, u"Invalid Argument - the tokens");
        return E_INVALIDARG;
    }
    *pRetFirst = *pRetValue = *pRetFourth = nullptr;
    const std::u16string_view id = dbId ? dbId : u"";
    std::u16string_view rest = id;
    const std::u16string first = NextPart(rest, u';');
    const std::u16string key = NextPart(rest, u'=');
    const std::u16string value = NextPart(rest, u';');
    const std::u16string fourth = NextPart(rest, u';');
    if (first.empty() || key.empty() || value.empty() || fourth.empty()) {
        const std::u16string shown(id);
        TraceFormat(scope, u"The database ID '%s' is invalid.", shown.c_str());
        dravik::ReportError(dravik::kInvalidDbId, shown.c_str());
        return E_UNEXPECTED;
    }
    *pRetFirst = SysAllocStringLen(first.data(), static_cast<UINT>(first.size()));
    *pRetValue = SysAllocStringLen(value.data(), static_cast<UINT>(value.size()));
    *pRetFourth = SysAllocStringLen(fourth.data(), static_cast<UINT>(fourth.size()));
    if (!*pRetFirst || !*pRetValue || !*pRetFourth) {
        SysFreeString(*pRetFirst);
        SysFreeString(*pRetValue);
        SysFreeString(*pRetFourth);
        *pRetFirst = *pRetValue = *pRetFourth = nullptr;
        return E_OUTOFMEMORY;
    }
    return S_OK;
}

namespace dravik {

std::optional<std::u16string> ReadLnsSetting(const char16_t* name) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Tarvex\\Olvani\\LNS", 0, KEY_QUERY_VALUE,
                      &key) != ERROR_SUCCESS)
        return std::nullopt;
    char16_t buffer[1025] = {};
    DWORD size = sizeof buffer - sizeof(char16_t);
    DWORD type = REG_NONE;
    const LONG error =
        RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size);
    RegCloseKey(key);
    if (error != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ))
        return std::nullopt;
    return std::u16string(buffer, olvani::U16Length(buffer));
}

} // namespace dravik
