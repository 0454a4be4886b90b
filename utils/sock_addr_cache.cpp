#include "utils/sock_addr_cache.h"

#include "platform/strings.h"
#include "trace/client/module_trace.h"

#include <arpa/inet.h>
#include <cstring>
#include <netdb.h>

namespace {

constexpr int kHostNotFound = 11001;
constexpr int kTryAgain = 11002;

int LookupStatus(int gaiError) {
    return gaiError == EAI_AGAIN || gaiError == EAI_MEMORY || gaiError == EAI_SYSTEM
               ? kTryAgain
               : kHostNotFound;
}

// The resolver answers on its own helper thread; this thread waits for the
// answer, however long the resolver takes.
int Resolve(const ScopeTrace& scope, const char* host, addrinfo*& found) {
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_RAW;
    gaicb request{};
    request.ar_name = host;
    request.ar_request = &hints;
    gaicb* requests[] = {&request};
    if (const int started = getaddrinfo_a(GAI_NOWAIT, requests, 1, nullptr); started != 0) {
        TraceFormat(scope, u"WSAAsyncGetHostByName failed: %d", started);
        return LookupStatus(started);
    }
    TraceFormat(scope, u"wnd.m_bLookupDone  is %d", 0);
    int status = EAI_INPROGRESS;
    while ((status = gai_error(&request)) == EAI_INPROGRESS)
        gai_suspend(requests, 1, nullptr);
    if (status != 0)
        return LookupStatus(status);
    found = request.ar_result;
    return 0;
}

void TraceAddress(const ScopeTrace& scope, const char* host, const sockaddr_in& address) {
    char dotted[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &address.sin_addr, dotted, sizeof dotted);
    TraceFormat(scope, u"Hostname '%hs' is address %hs", host, dotted);
}

} // namespace

CSockAddrCache::~CSockAddrCache() {
    for (Entry& entry : entries_)
        SysFreeString(entry.name);
}

bool CSockAddrCache::IsInCache(const char* host, sockaddr_in& address) {
    std::lock_guard guard(lock_);
    if (lastIndex_ < 0)
        return false;
    const std::u16string name = olvani::Utf8ToUtf16(host);
    for (int i = 0; i <= lastIndex_; ++i) {
        const BSTR cached = entries_[i].name;
        if (olvani::AsciiEqualIgnoringCase(name, {cached, olvani::U16Length(cached)})) {
            address = entries_[i].address;
            return true;
        }
    }
    return false;
}

void CSockAddrCache::AddInCache(const char* host, const sockaddr_in& address) {
    std::lock_guard guard(lock_);
    const int next = lastIndex_ < 0 || lastIndex_ > kEntries - 2 ? 0 : lastIndex_ + 1;
    Entry& entry = entries_[next];
    entry.address = address;
    SysFreeString(entry.name);
    entry.name = SysAllocString(olvani::Utf8ToUtf16(host).c_str());
    lastIndex_ = next;
}

int CSockAddrCache::LookupHost(const char* host, sockaddr_in& address) {
    ScopeTrace scope(9, u"LookupHost");
    memset(&address, 0, sizeof address);
    address.sin_family = AF_INET;
    // The all-ones address is no address to ping: it is looked up as a name.
    if (inet_pton(AF_INET, host, &address.sin_addr) == 1 &&
        address.sin_addr.s_addr != INADDR_NONE) {
        TraceAddress(scope, host, address);
        return 0;
    }
    if (IsInCache(host, address)) {
        TraceFormat(scope, u"Hostname '%hs' found in cache", host);
        TraceAddress(scope, host, address);
        return 0;
    }
    addrinfo* found = nullptr;
    if (const int status = Resolve(scope, host, found); status != 0) {
        TraceFormat(scope, u"Lookup failed, status=%d", status);
        return status;
    }
    if (!found || !found->ai_addr || found->ai_addrlen < sizeof(sockaddr_in)) {
        freeaddrinfo(found);
        TraceFormat(scope, u"Unable to resolve %hs", host);
        return kHostNotFound;
    }
    memcpy(&address, found->ai_addr, sizeof address);
    address.sin_port = 0;
    freeaddrinfo(found);
    AddInCache(host, address);
    TraceAddress(scope, host, address);
    return 0;
}

CSockAddrCache& HostAddressCache() {
    static CSockAddrCache cache;
    return cache;
}
