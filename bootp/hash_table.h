// Chained hash tables holding HostEntry records: by hardware address, by IP
// address and by host name. A table owns its nodes, never its elements; an
// entry held by several tables counts its memberships in linkCount.
#pragma once

#include "bootp/bootp_message.h"
#include "bootp/hash_index.h"

#include <cstdint>

// Decides whether `key` matches a stored element. The key is a scratch
// HostEntry, or the name text for nameLookupMatch.
using HashMatch = bool (*)(const void* key, const HostEntry* element);
using HashRelease = void (*)(HostEntry* element);

// One chain. Its nodes sit side by side, oldest first, so a walk of a long
// chain reads memory in order; the code each element was inserted with is
// kept apart, so the walk only looks at elements whose key can match.
struct HashChain {
    uint32_t count;
    uint32_t capacity;
    uint32_t* codes;
    HostEntry** data;
};

struct HashTable {
    uint32_t size;       // number of buckets
    uint32_t iterBucket; // bucket the iterator is in
    uint32_t iterNode;   // how many nodes of that bucket are still to come
    bool iterFresh;      // reset: the walk starts at the head of bucket 0
    HashChain* buckets;
    // Beside the chains, for the lookups of the table's key: their cost
    // does not grow with the table. Null for a table without a key, or
    // after memory ran short.
    HashIndex* index;
};

constexpr uint32_t kHostTableBuckets = 257;

// Sum of the squares of the bytes, unsigned 32-bit.
uint32_t hash_Code(const void* bytes, uint32_t length);

// No table for size 0 or when memory is short. A table with a `key` keeps
// an index beside its chains for the lookup match of that key (and for the
// hardware table's duplicate check); answers stay those of the chain walk.
HashTable* hash_New(uint32_t size, HashKey key = HashKey::none);
// `code` must be hash_Code of the element's key bytes.
// 0 when linked at the head of the bucket; -1 for a match already present or
// no memory for the node.
int hash_Insert(HashTable* table, uint32_t code, HashMatch match, const void* key,
                HostEntry* element);
// The most recently inserted matching element, or nullptr.
HostEntry* hash_Find(HashTable* table, uint32_t code, HashMatch match, const void* key);
// Walk: buckets in increasing order, newest first within a bucket. After the
// last element hash_Next returns nullptr once and resets to the beginning.
HostEntry* hash_First(HashTable* table);
HostEntry* hash_Next(HashTable* table);
// Releases every element through `release` and empties the table.
void hash_Clear(HashTable* table, HashRelease release);
// Frees one table block (elements must have been cleared).
void hash_Free(HashTable* table);

bool hwInsertMatch(const void* key, const HostEntry* element);
bool hwLookupMatch(const void* key, const HostEntry* element);
bool ipLookupMatch(const void* key, const HostEntry* element);
bool nameLookupMatch(const void* key, const HostEntry* element);
bool neverMatch(const void* key, const HostEntry* element);

// An engine's three host tables (null until CreateHostTables).
struct HostTables {
    HashTable* hwTable = nullptr;
    HashTable* ipTable = nullptr;
    HashTable* nameTable = nullptr;
};

// Creates the three tables with 257 buckets each; false when memory is short
// (nothing is left half made). Does nothing when they exist.
bool CreateHostTables(HostTables& tables);
// hash_Clear of each existing table with ReleaseHost.
void ClearHostTables(HostTables& tables);
// Clears and frees the three tables.
void FreeHashTable(HostTables& tables);
