#include "bootp/hash_table.h"

#include <cstdlib>
#include <cstring>
#include <initializer_list>

// Nodes are handed out from chunks of fixed size; index 0 stays unused so
// that 0 can mean "no node".
constexpr uint32_t kChunkShift = 12;
constexpr uint32_t kChunkNodes = 1u << kChunkShift;

struct HashNodeChunk {
    HashNode nodes[kChunkNodes];
};

HashTable* hwTable = nullptr;
HashTable* ipTable = nullptr;
HashTable* nameTable = nullptr;

namespace {

HashNode& NodeAt(HashTable* table, uint32_t index) {
    return table->chunks[index >> kChunkShift]->nodes[index & (kChunkNodes - 1)];
}

void ResetIterator(HashTable* table) {
    table->iterBucket = 0;
    table->iterNode = 0;
    table->iterFresh = true;
}

// Adds one chunk's nodes to the free chain; false when memory is short.
bool GrowNodes(HashTable* table) {
    uint32_t count = table->chunkCount;
    if (count >= (1u << (32 - kChunkShift))) {
        return false;
    }
    auto* chunks = static_cast<HashNodeChunk**>(
        std::realloc(table->chunks, (count + 1) * sizeof(HashNodeChunk*)));
    if (chunks == nullptr) {
        return false;
    }
    table->chunks = chunks;
    auto* chunk = static_cast<HashNodeChunk*>(std::malloc(sizeof(HashNodeChunk)));
    if (chunk == nullptr) {
        return false;
    }
    chunks[count] = chunk;
    table->chunkCount = count + 1;
    uint32_t base = count << kChunkShift;
    // Link in increasing order so nodes are used front to back.
    uint32_t first = count == 0 ? 1 : 0;
    for (uint32_t i = kChunkNodes; i-- > first;) {
        chunk->nodes[i].next = table->freeNodes;
        table->freeNodes = base + i;
    }
    return true;
}

uint32_t AllocNode(HashTable* table) {
    if (table->freeNodes == 0 && !GrowNodes(table)) {
        return 0;
    }
    uint32_t index = table->freeNodes;
    table->freeNodes = NodeAt(table, index).next;
    return index;
}

uint32_t MaskedSubnet(const HostEntry* e) {
    return e->ipAddr & e->subnetMask;
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

HashTable* hash_New(uint32_t size) {
    if (size == 0) {
        return nullptr;
    }
    auto* table = static_cast<HashTable*>(std::calloc(1, sizeof(HashTable)));
    if (table == nullptr) {
        return nullptr;
    }
    table->buckets = static_cast<uint32_t*>(std::calloc(size, sizeof(uint32_t)));
    if (table->buckets == nullptr) {
        std::free(table);
        return nullptr;
    }
    table->size = size;
    ResetIterator(table);
    return table;
}

bool hash_Contains(HashTable* table, uint32_t code, HashMatch match, const void* key) {
    return hash_Find(table, code, match, key) != nullptr;
}

int hash_Insert(HashTable* table, uint32_t code, HashMatch match, const void* key,
                HostEntry* element) {
    // neverMatch can never meet a duplicate: skip the walk of the chain.
    if (match != neverMatch && hash_Contains(table, code, match, key)) {
        return -1;
    }
    uint32_t index = AllocNode(table);
    if (index == 0) {
        return -1;
    }
    uint32_t& head = table->buckets[code % table->size];
    HashNode& node = NodeAt(table, index);
    node.next = head;
    node.code = code;
    node.data = element;
    head = index;
    return 0;
}

HostEntry* hash_Find(HashTable* table, uint32_t code, HashMatch match, const void* key) {
    for (uint32_t i = table->buckets[code % table->size]; i != 0;) {
        const HashNode& node = NodeAt(table, i);
        if (node.code == code && match(key, node.data)) {
            return node.data;
        }
        i = node.next;
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
        table->iterNode = table->buckets[0];
    }
    while (table->iterNode == 0) {
        if (table->iterBucket + 1 >= table->size) {
            ResetIterator(table);
            return nullptr;
        }
        table->iterNode = table->buckets[++table->iterBucket];
    }
    const HashNode& node = NodeAt(table, table->iterNode);
    table->iterNode = node.next;
    return node.data;
}

void hash_Clear(HashTable* table, HashRelease release) {
    for (uint32_t b = 0; b < table->size; ++b) {
        uint32_t i = table->buckets[b];
        while (i != 0) {
            HashNode& node = NodeAt(table, i);
            uint32_t next = node.next;
            release(node.data);
            node.data = nullptr;
            node.next = table->freeNodes;
            table->freeNodes = i;
            i = next;
        }
        table->buckets[b] = 0;
    }
    ResetIterator(table);
}

void hash_Free(HashTable* table) {
    if (table == nullptr) {
        return;
    }
    for (uint32_t c = 0; c < table->chunkCount; ++c) {
        std::free(table->chunks[c]);
    }
    std::free(table->chunks);
    std::free(table->buckets);
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

bool CreateHostTables() {
    if (hwTable != nullptr && ipTable != nullptr && nameTable != nullptr) {
        return true;
    }
    HashTable* hw = hash_New(kHostTableBuckets);
    HashTable* ip = hash_New(kHostTableBuckets);
    HashTable* name = hash_New(kHostTableBuckets);
    if (hw == nullptr || ip == nullptr || name == nullptr) {
        hash_Free(hw);
        hash_Free(ip);
        hash_Free(name);
        return false;
    }
    FreeHashTable();
    hwTable = hw;
    ipTable = ip;
    nameTable = name;
    return true;
}

void ClearHostTables() {
    for (HashTable* table : {hwTable, ipTable, nameTable}) {
        if (table != nullptr) {
            hash_Clear(table, ReleaseHost);
        }
    }
}

void FreeHashTable() {
    ClearHostTables();
    hash_Free(hwTable);
    hash_Free(ipTable);
    hash_Free(nameTable);
    hwTable = ipTable = nameTable = nullptr;
}
