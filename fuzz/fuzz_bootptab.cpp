// Arbitrary bytes as a table file: every entry is read, parsed and indexed
// the way the reader does it, so templates find earlier entries.
#include "bootp/bootptab_reader.h"
#include "bootp/hash_table.h"

#include <cstdio>
#include <cstring>

namespace {

void Index(HostEntry* entry) {
    if ((entry->flags & HF_HWTYPE) && (entry->flags & HF_HWADDR)) {
        ++entry->linkCount;
        uint32_t code =
            hash_Code(entry->hwAddr, static_cast<uint32_t>(hwAddrLength(entry->hwType)));
        if (hash_Insert(hwTable, code, hwInsertMatch, entry, entry) != 0) {
            ReleaseHost(entry);
            return;
        }
    }
    if (entry->flags & HF_IPADDR) {
        ++entry->linkCount;
        if (hash_Insert(ipTable, hash_Code(&entry->ipAddr, 4), neverMatch, entry, entry) != 0) {
            --entry->linkCount;
        }
    }
    ++entry->linkCount;
    const char* name = HostNameText(entry);
    if (hash_Insert(nameTable, hash_Code(name, static_cast<uint32_t>(std::strlen(name))),
                    neverMatch, name, entry) != 0) {
        ReleaseHost(entry);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0 || !CreateHostTables()) {
        return 0;
    }
    FILE* file = fmemopen(const_cast<uint8_t*>(data), size, "r");
    if (file == nullptr) {
        return 0;
    }
    char text[kEntryBufferSize];
    while (ReadEntry(file, text, sizeof text) > 0) {
        HostEntry* entry = NewHostEntry();
        if (ParseEntry(entry, text) != 0) {
            ReleaseHost(entry);
            continue;
        }
        Index(entry);
    }
    std::fclose(file);
    for (HostEntry* e = hash_First(hwTable); e != nullptr; e = hash_Next(hwTable)) {
        HwAddrText(e->hwAddr, e->hwType);
    }
    ClearHostTables();
    return 0;
}
