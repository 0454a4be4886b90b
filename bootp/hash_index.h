// An index beside a host table: finds the newest element with a given key
// (hardware type and address, IP address or host name) without walking the
// table's chain, whose length grows with the table. The table's buckets,
// chains and walk order stay as they are; the index only answers lookups.
#pragma once

#include "bootp/bootp_message.h"

#include <cstdint>

// What a table is keyed on; `none` tables have no index.
enum class HashKey : uint8_t { none, hardware, ip, name };

// Open addressing over element pointers, with each key's 32-bit hash beside
// them: a probe reads an element only when the hashes agree, and growing
// reads none.
struct HashIndex {
    HashKey key = HashKey::none;
    uint32_t capacity = 0; // a power of two, or 0 before the first element
    uint32_t count = 0;
    HostEntry** cells = nullptr;
    uint32_t* hashes = nullptr;
};

// The lookup key as hash_Find takes it: a scratch HostEntry holding hwType
// and hwAddr (hardware) or ipAddr (ip), or the name text (name).
HostEntry* index_Find(const HashIndex& index, const void* key);
// Records `element` as the newest holder of its key. False when memory is
// short; the index is then emptied and must not be used again.
bool index_Put(HashIndex& index, HostEntry* element);
// Forgets every element (the table was cleared); keeps nothing allocated.
void index_Clear(HashIndex& index);
