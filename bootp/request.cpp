#include "bootp/request.h"

#include "bootp/engine.h"
#include "bootp/hash_table.h"
#include "bootp/vendor_area.h"

#include <sys/stat.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

constexpr uint32_t kBroadcast = 0xFFFFFFFFu;

void Line(BootpApplication& application, const char* format, ...)
    __attribute__((format(printf, 2, 3)));

void Line(BootpApplication& application, const char* format, ...) {
    char line[512];
    va_list args;
    va_start(args, format);
    std::vsnprintf(line, sizeof line, format, args);
    va_end(args);
    application.AddStatusLine(line);
}

uint32_t Load32(const uint8_t* p) {
    uint32_t value;
    std::memcpy(&value, p, 4);
    return value;
}

void Store32(uint8_t* p, uint32_t value) {
    std::memcpy(p, &value, 4);
}

// Paths written for the other platform use backslashes.
std::string WithSlashes(const char* text) {
    std::string path = text;
    for (char& c : path) {
        if (c == '\\') {
            c = '/';
        }
    }
    return path;
}

// A client may not climb out of its home directory.
bool HasParentComponent(const std::string& name) {
    size_t start = 0;
    for (;;) {
        size_t end = name.find_first_of("/\\", start);
        if (name.compare(start, end - start, "..") == 0) {
            return true;
        }
        if (end == std::string::npos) {
            return false;
        }
        start = end + 1;
    }
}

// The entry's address, 0.0.0.0 when it has none.
uint32_t EntryAddress(const HostEntry* entry) {
    return (entry->flags & HF_IPADDR) ? entry->ipAddr : 0;
}

// Whether `path` names a file inside the folder `base` once links are
// followed, so a link in the folder cannot lead a client elsewhere.
bool Inside(const std::string& path, const std::string& base) {
    char* folder = realpath(base.c_str(), nullptr);
    char* file = realpath(path.c_str(), nullptr);
    bool inside = false;
    if (folder != nullptr && file != nullptr) {
        size_t length = std::strlen(folder);
        inside = std::strncmp(file, folder, length) == 0 &&
                 (file[length] == '/' || (length == 1 && folder[0] == '/'));
    }
    std::free(folder);
    std::free(file);
    return inside;
}

// A path the reply can carry and a file that others may read; for a name the
// client chose, one inside `base` as well.
bool Usable(const std::string& path, const std::string* base, uint32_t* size) {
    return path.size() <= kMaxBootPath && (base == nullptr || Inside(path, *base)) &&
           FileUsable(path.c_str(), size) == 0;
}

// The found entry, or nullptr after the lines (and, for an unknown hardware
// address, the note to the application) that say why not.
HostEntry* FindClient(const HostTables& tables, uint8_t* packet, BootpApplication& application) {
    const auto* p = reinterpret_cast<const BootpPacket*>(packet);
    uint32_t ciaddr = Load32(p->ciaddr);
    HostEntry key{};
    if (ciaddr == 0) {
        std::string text = HwAddrText(p->chaddr, p->htype);
        Line(application, "Status: BOOTP Request received from hardware address: %s", text.c_str());
        key.hwType = p->htype;
        uint32_t length = static_cast<uint32_t>(hwAddrLength(p->htype));
        std::memcpy(key.hwAddr, p->chaddr, length);
        HostEntry* entry =
            tables.hwTable != nullptr
                ? hash_Find(tables.hwTable, hash_Code(p->chaddr, length), hwLookupMatch, &key)
                : nullptr;
        if (entry == nullptr) {
            Line(application, "Error:  Hardware address not found in BOOTPTAB: %s", text.c_str());
            if (!application.IsListedAddress(text)) {
                application.InsertHAEntry(text);
            }
            return nullptr;
        }
        Store32(packet + bootp_offset::yiaddr, EntryAddress(entry));
        return entry;
    }
    Line(application, "Status: request from IP addr: %s", IpAddrText(ciaddr));
    key.ipAddr = ciaddr;
    HostEntry* entry = tables.ipTable != nullptr
                           ? hash_Find(tables.ipTable, hash_Code(&ciaddr, 4), ipLookupMatch, &key)
                           : nullptr;
    if (entry == nullptr) {
        Line(application, "Error:  IP address not found: %s", IpAddrText(ciaddr));
    }
    return entry;
}

// Resolves the boot file into the reply's file field. False when the client
// asked for a file that does not exist (no reply then).
bool ResolveBootFile(uint8_t* packet, const HostEntry* entry, BootpApplication& application,
                     uint32_t* fileSize) {
    char* file = reinterpret_cast<char*>(packet + bootp_offset::file);
    std::string requested(file, strnlen(file, kBootpFileSize));
    bool hasHome = (entry->flags & HF_HOMEDIR) && entry->homeDir != nullptr;
    bool hasBootFile = (entry->flags & HF_BOOTFILE) && entry->bootFile != nullptr;
    std::string home = hasHome ? WithSlashes(entry->homeDir->text()) + "/" : std::string();
    std::string path;
    if (!requested.empty()) {
        path = home + requested;
    } else if (hasBootFile) {
        path = home + WithSlashes(entry->bootFile->text());
    } else {
        std::memset(file, 0, kBootpFileSize);
        return true;
    }
    // A client may name files only inside the entry's home directory, or
    // without one inside the server's current directory: an absolute name
    // then counts as missing, so no client can probe the host's files.
    bool absolute = !requested.empty() && (requested[0] == '/' || requested[0] == '\\');
    bool allowed = requested.empty() || (!HasParentComponent(requested) && (hasHome || !absolute));
    std::string base = hasHome ? home : std::string(".");
    const std::string* confine = requested.empty() ? nullptr : &base;
    std::string suffixed = path + "." + HostNameText(entry);
    const std::string* found = nullptr;
    if (allowed && Usable(suffixed, confine, fileSize)) {
        found = &suffixed;
    } else if (allowed && Usable(path, confine, fileSize)) {
        found = &path;
    }
    if (found != nullptr) {
        Line(application, "Status: BOOTP Server responding with file: %s", found->c_str());
        std::memcpy(file, found->c_str(), found->size() + 1);
        return true;
    }
    Line(application, "Error:  This configuration file specified in BOOTPTAB does not exist: %s",
         path.c_str());
    if (!requested.empty()) {
        return false;
    }
    std::memset(file, 0, kBootpFileSize);
    return true;
}

} // namespace

int FileUsable(const char* path, uint32_t* size) {
    struct stat st {};
    if (stat(path, &st) != 0 || !S_ISREG(st.st_mode) || !(st.st_mode & S_IROTH)) {
        return -1;
    }
    *size = static_cast<uint32_t>(st.st_size);
    return 0;
}

void HandleRequest(const BootpEngine& engine, uint8_t* packet, BootpApplication& application,
                   ReplySender& sender) {
    packet[bootp_offset::op] = BOOTREPLY;
    uint8_t htype = packet[bootp_offset::htype];
    if (htype >= kHwTypeCount) {
        Line(application, "Error:  Unknown hardware type %u in BOOTP request", htype);
        return;
    }
    HostEntry* entry = FindClient(engine.tables, packet, application);
    if (entry == nullptr) {
        return;
    }
    Line(application, "Status: found %s %s:", IpAddrText(EntryAddress(entry)), HostNameText(entry));
    uint32_t fileSize = 1;
    if (!ResolveBootFile(packet, entry, application, &fileSize)) {
        return;
    }
    std::memset(packet + bootp_offset::vend + 4, 0, kBootpVendSize - 4);
    FillVendorArea(packet, entry, fileSize, engine.autoTimeOffset);
    SendReply(packet, application, sender);
    Line(application, "Status: Reply to BOOTP Request has been sent");
}

void SendReply(uint8_t* packet, BootpApplication& application, ReplySender& sender) {
    ReplyDestination destination{0, kClientPort};
    uint32_t ciaddr = Load32(packet + bootp_offset::ciaddr);
    uint32_t giaddr = Load32(packet + bootp_offset::giaddr);
    if (ciaddr != 0) {
        destination.address = ciaddr;
    } else if (giaddr != 0) {
        destination.address = giaddr;
        destination.port = kServerPort;
    } else {
        destination.address = Load32(packet + bootp_offset::yiaddr);
    }
    uint32_t own = sender.OwnAddress();
    Line(application, "Status: Host IP Address is: %s", IpAddrText(own));
    Store32(packet + bootp_offset::siaddr, own);
    if (giaddr == 0) {
        Store32(packet + bootp_offset::giaddr, own);
    }
    // Clients get a broadcast; only a relay agent is answered directly.
    if (destination.port != kServerPort) {
        destination.address = kBroadcast;
    }
    int error = sender.SendReply(packet, kBootpPacketSize, destination);
    if (error != 0) {
        Line(application, "Error:  The WinSock sendto function failed with: %d", error);
        Line(application, "Error:  %s", std::strerror(error));
    }
}
