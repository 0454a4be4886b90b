// Arbitrary bytes as a table file: every entry is read, parsed and indexed
// the way the reader does it, so templates find earlier entries.
#include "bootp/bootptab_parser.h"
#include "bootp/bootptab_reader.h"
#include "bootp/engine.h"
#include "bootp/hash_table.h"

#include <cstdio>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    BootpEngine engine;
    if (size == 0 || !CreateHostTables(engine.tables)) {
        return 0;
    }
    FILE* file = fmemopen(const_cast<uint8_t*>(data), size, "r");
    if (file == nullptr) {
        return 0;
    }
    char text[kEntryBufferSize];
    while (ReadEntry(file, text, sizeof text) > 0) {
        HostEntry* entry = NewHostEntry();
        if (ParseEntry(entry, text, engine.tables) != 0) {
            ReleaseHost(entry);
            continue;
        }
        IndexEntry(engine, entry);
    }
    std::fclose(file);
    HashTable* hw = engine.tables.hwTable;
    for (HostEntry* e = hash_First(hw); e != nullptr; e = hash_Next(hw)) {
        HwAddrText(e->hwAddr, e->hwType);
    }
    return 0;
}
