#include "bootp/hash_table.h"

#include <cstdlib>
#include <cstring>
#include <initializer_list>

namespace {

void ResetIterator(HashTable* table) {
    table->iterBucket = 0;
    table->iterNode = 0;
    table->iterFresh = true;
}

// Room for one more node; false when memory is short.
bool Reserve(HashChain& chain) {
    if (chain.count < chain.capacity) {
        return true;
    }
    if (chain.capacity > UINT32_MAX / 2) {
        return false;
    }
    uint32_t capacity = chain.capacity < 4 ? 4 : chain.capacity + chain.capacity / 2;
    auto* codes = static_cast<uint32_t*>(std::realloc(chain.codes, capacity * sizeof(uint32_t)));
    if (codes == nullptr) {
        return false;
    }
    chain.codes = codes;
    auto* data = static_cast<HostEntry**>(std::realloc(chain.data, capacity * sizeof(HostEntry*)));
    if (data == nullptr) {
        return false;
    }
    chain.data = data;
    chain.capacity = capacity;
    return true;
}

uint32_t MaskedSubnet(const HostEntry* e) {
    return e->ipAddr & e->subnetMask;
}

void DropIndex(HashTable* table) {
    if (table->index != nullptr) {
        index_Clear(*table->index);
        std::free(table->index);
        table->index = nullptr;
    }
}

// The lookup match the index of a key answers.
HashMatch LookupMatchOf(HashKey key) {
    switch (key) {
    case HashKey::hardware:
        return hwLookupMatch;
    case HashKey::ip:
        return ipLookupMatch;
    case HashKey::name:
        return nameLookupMatch;
    case HashKey::none:
        break;
    }
    return nullptr;
}

} // namespace

uint32_t hash_Code(const void* bytes, uint32_t length) {
    const auto* p = static_cast<const uint8_t*>(bytes);
    uint32_t code = 0;
    for (uint32_t i = 0; i < length; ++i) {
        code += static_cast<uint32_t>(p[i]) * p[i];
    }
    return code;
}

HashTable* hash_New(uint32_t size, HashKey key) {
    if (size == 0) {
        return nullptr;
    }
    auto* table = static_cast<HashTable*>(std::calloc(1, sizeof(HashTable)));
    if (table == nullptr) {
        return nullptr;
    }
    table->buckets = static_cast<HashChain*>(std::calloc(size, sizeof(HashChain)));
    if (key != HashKey::none) {
        table->index = static_cast<HashIndex*>(std::calloc(1, sizeof(HashIndex)));
    }
    if (table->buckets == nullptr || (key != HashKey::none && table->index == nullptr)) {
        std::free(table->buckets);
        std::free(table->index);
        std::free(table);
        return nullptr;
    }
    if (table->index != nullptr) {
        table->index->key = key;
    }
    table->size = size;
    ResetIterator(table);
    return table;
}

int hash_Insert(HashTable* table, uint32_t code, HashMatch match, const void* key,
                HostEntry* element) {
    // neverMatch can never meet a duplicate: skip the walk of the chain.
    if (match != neverMatch && hash_Find(table, code, match, key) != nullptr) {
        return -1;
    }
    HashChain& chain = table->buckets[code % table->size];
    if (!Reserve(chain)) {
        return -1;
    }
    // The newest node is the head of the chain.
    chain.codes[chain.count] = code;
    chain.data[chain.count] = element;
    ++chain.count;
    if (table->index != nullptr && !index_Put(*table->index, element)) {
        // Without memory for the index the chains still answer everything.
        DropIndex(table);
    }
    return 0;
}

HostEntry* hash_Find(HashTable* table, uint32_t code, HashMatch match, const void* key) {
    if (table->index != nullptr) {
        HashKey kind = table->index->key;
        if (match == LookupMatchOf(kind)) {
            return index_Find(*table->index, key);
        }
        // A hardware address met for the first time cannot be a duplicate;
        // a repeated one is judged by the chain, mask and subnet included.
        if (match == hwInsertMatch && kind == HashKey::hardware &&
            index_Find(*table->index, key) == nullptr) {
            return nullptr;
        }
    }
    const HashChain& chain = table->buckets[code % table->size];
    uint32_t i = chain.count;
    // Newest first; four codes at a time, since long chains hold few equal codes.
    while (i >= 4) {
        const uint32_t* codes = chain.codes + i - 4;
        if ((codes[0] == code) | (codes[1] == code) | (codes[2] == code) | (codes[3] == code)) {
            for (uint32_t k = 4; k-- > 0;) {
                if (codes[k] == code && match(key, chain.data[i - 4 + k])) {
                    return chain.data[i - 4 + k];
                }
            }
        }
        i -= 4;
    }
    while (i-- > 0) {
        if (chain.codes[i] == code && match(key, chain.data[i])) {
            return chain.data[i];
        }
    }
    return nullptr;
}

HostEntry* hash_First(HashTable* table) {
    ResetIterator(table);
    return hash_Next(table);
}

HostEntry* hash_Next(HashTable* table) {
    if (table->iterFresh) {
        table->iterFresh = false;
        table->iterNode = table->buckets[0].count;
    }
    while (table->iterNode == 0) {
        if (table->iterBucket + 1 >= table->size) {
            ResetIterator(table);
            return nullptr;
        }
        table->iterNode = table->buckets[++table->iterBucket].count;
    }
    return table->buckets[table->iterBucket].data[--table->iterNode];
}

void hash_Clear(HashTable* table, HashRelease release) {
    for (uint32_t b = 0; b < table->size; ++b) {
        HashChain& chain = table->buckets[b];
        for (uint32_t i = chain.count; i-- > 0;) {
            release(chain.data[i]);
        }
        std::free(chain.codes);
        std::free(chain.data);
        chain = HashChain{};
    }
    if (table->index != nullptr) {
        index_Clear(*table->index);
    }
    ResetIterator(table);
}

void hash_Free(HashTable* table) {
    if (table == nullptr) {
        return;
    }
    for (uint32_t b = 0; b < table->size; ++b) {
        std::free(table->buckets[b].codes);
        std::free(table->buckets[b].data);
    }
    std::free(table->buckets);
    DropIndex(table);
    std::free(table);
}

bool hwInsertMatch(const void* key, const HostEntry* b) {
    const auto* a = static_cast<const HostEntry*>(key);
    if (a->hwType != b->hwType || std::memcmp(a->hwAddr, b->hwAddr, hwAddrLength(a->hwType)) != 0) {
        return false;
    }
    // The same address may appear again only with the same mask on another subnet.
    return !(a->subnetMask == b->subnetMask && MaskedSubnet(a) != MaskedSubnet(b));
}

bool hwLookupMatch(const void* key, const HostEntry* e) {
    const auto* k = static_cast<const HostEntry*>(key);
    return k->hwType == e->hwType &&
           std::memcmp(k->hwAddr, e->hwAddr, hwAddrLength(k->hwType)) == 0;
}

bool ipLookupMatch(const void* key, const HostEntry* e) {
    return static_cast<const HostEntry*>(key)->ipAddr == e->ipAddr;
}

bool nameLookupMatch(const void* key, const HostEntry* e) {
    return e->hostName != nullptr &&
           std::strcmp(static_cast<const char*>(key), e->hostName->text()) == 0;
}

bool neverMatch(const void*, const HostEntry*) {
    return false;
}

bool CreateHostTables(HostTables& tables) {
    if (tables.hwTable != nullptr && tables.ipTable != nullptr && tables.nameTable != nullptr) {
        return true;
    }
    HashTable* hw = hash_New(kHostTableBuckets, HashKey::hardware);
    HashTable* ip = hash_New(kHostTableBuckets, HashKey::ip);
    HashTable* name = hash_New(kHostTableBuckets, HashKey::name);
    if (hw == nullptr || ip == nullptr || name == nullptr) {
        hash_Free(hw);
        hash_Free(ip);
        hash_Free(name);
        return false;
    }
    FreeHashTable(tables);
    tables.hwTable = hw;
    tables.ipTable = ip;
    tables.nameTable = name;
    return true;
}

void ClearHostTables(HostTables& tables) {
    for (HashTable* table : {tables.hwTable, tables.ipTable, tables.nameTable}) {
        if (table != nullptr) {
            hash_Clear(table, ReleaseHost);
        }
    }
}

void FreeHashTable(HostTables& tables) {
    ClearHostTables(tables);
    hash_Free(tables.hwTable);
    hash_Free(tables.ipTable);
    hash_Free(tables.nameTable);
    tables = HostTables{};
}
