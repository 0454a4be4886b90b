// The addresses of the last 50 host names pinged, reused round-robin. Several
// threads may ping at once, so every use of the cache takes its lock.
#pragma once

#include "platform/oleauto.h"

#include <mutex>
#include <netinet/in.h>

class CSockAddrCache {
public:
    static constexpr int kEntries = 50;

    CSockAddrCache() = default;
    ~CSockAddrCache();
    CSockAddrCache(const CSockAddrCache&) = delete;
    CSockAddrCache& operator=(const CSockAddrCache&) = delete;

    // A dotted address as it stands; a name from the cache or the resolver.
    // 0, or 11001 (not found) or 11002 (try again) when it does not resolve.
    int LookupHost(const char* host, sockaddr_in& address);
    bool IsInCache(const char* host, sockaddr_in& address);
    void AddInCache(const char* host, const sockaddr_in& address);

private:
    struct Entry {
        BSTR name = nullptr;
        sockaddr_in address{};
    };

    std::mutex lock_;
    Entry entries_[kEntries];
    int lastIndex_ = -1;
};

// The one cache of the process.
CSockAddrCache& HostAddressCache();
