// Arbitrary bytes as a table file: every entry is read, parsed and indexed
// the way the reader does it, so templates find earlier entries.
#include "bootp/bootptab_parser.h"
#include "bootp/bootptab_reader.h"
#include "bootp/hash_table.h"

#include <cstdio>
#include <cstring>

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
        IndexEntry(entry);
    }
    std::fclose(file);
    for (HostEntry* e = hash_First(hwTable); e != nullptr; e = hash_Next(hwTable)) {
        HwAddrText(e->hwAddr, e->hwType);
    }
    ClearHostTables();
    return 0;
}
