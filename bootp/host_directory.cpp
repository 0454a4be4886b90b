#include "bootp/host_directory.h"

#include "bootp/bootptab_reader.h"
#include "bootp/hash_table.h"

void ForEachHost(const std::function<void(const HostEntry&)>& visit) {
    if (hwTable == nullptr)
        return;
    // The table's own cursor stays untouched: a walk here cannot disturb
    // one in progress elsewhere.
    for (uint32_t b = 0; b < hwTable->size; ++b) {
        const HashChain& chain = hwTable->buckets[b];
        for (uint32_t i = chain.count; i-- > 0;)
            visit(*chain.data[i]);
    }
}

int RereadHostTable() {
    return ReadHostTable();
}
