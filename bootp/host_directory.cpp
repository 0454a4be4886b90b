#include "bootp/host_directory.h"

#include "bootp/bootptab_reader.h"
#include "bootp/engine.h"
#include "bootp/hash_table.h"

namespace {

// The application holds one engine; its dialogs reach it here rather than
// through every window between the frame and them.
BootpEngine* listedEngine = nullptr;

} // namespace

void ForEachHost(const std::function<void(const HostEntry&)>& visit) {
    const HashTable* table = listedEngine != nullptr ? listedEngine->tables.hwTable : nullptr;
    if (table == nullptr)
        return;
    // The table's own cursor stays untouched: a walk here cannot disturb
    // one in progress elsewhere.
    for (uint32_t b = 0; b < table->size; ++b) {
        const HashChain& chain = table->buckets[b];
        for (uint32_t i = chain.count; i-- > 0;)
            visit(*chain.data[i]);
    }
}

int RereadHostTable() {
    return listedEngine != nullptr ? ReadHostTable(*listedEngine) : -1;
}

BootpEngine* HostDirectoryEngine() {
    return listedEngine;
}

void SetHostDirectoryEngine(BootpEngine* engine) {
    listedEngine = engine;
}
