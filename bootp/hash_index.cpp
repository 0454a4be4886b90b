#include "bootp/hash_index.h"

#include <cstdlib>
#include <cstring>

namespace {

uint64_t Mix(uint64_t x) {
    x ^= x >> 33;
    x *= 0xff51afd7ed558ccdULL;
    x ^= x >> 33;
    x *= 0xc4ceb9fe1a85ec53ULL;
    x ^= x >> 33;
    return x;
}

uint64_t HardwareHash(const HostEntry* e) {
    uint64_t packed = e->hwType;
    std::memcpy(reinterpret_cast<uint8_t*>(&packed) + 1, e->hwAddr,
                static_cast<size_t>(hwAddrLength(e->hwType)));
    return Mix(packed);
}

uint64_t NameHash(const char* name) {
    uint64_t hash = 0xcbf29ce484222325ULL;
    for (; *name != '\0'; ++name)
        hash = (hash ^ static_cast<uint8_t>(*name)) * 0x100000001b3ULL;
    return Mix(hash);
}

// The key of a lookup: an entry for hardware and ip, the text for name.
uint64_t HashOfKey(HashKey kind, const void* key) {
    switch (kind) {
    case HashKey::hardware:
        return HardwareHash(static_cast<const HostEntry*>(key));
    case HashKey::ip:
        return Mix(static_cast<const HostEntry*>(key)->ipAddr);
    case HashKey::name:
        return NameHash(static_cast<const char*>(key));
    case HashKey::none:
        break;
    }
    return 0;
}

bool SameKey(HashKey kind, const void* key, const HostEntry* e) {
    switch (kind) {
    case HashKey::hardware: {
        const auto* k = static_cast<const HostEntry*>(key);
        return k->hwType == e->hwType &&
               std::memcmp(k->hwAddr, e->hwAddr, static_cast<size_t>(hwAddrLength(k->hwType))) == 0;
    }
    case HashKey::ip:
        return static_cast<const HostEntry*>(key)->ipAddr == e->ipAddr;
    case HashKey::name:
        return std::strcmp(static_cast<const char*>(key), e->hostName->text()) == 0;
    case HashKey::none:
        break;
    }
    return false;
}

// The element in the form a lookup key takes; nullptr when it has no key
// (an entry without a name is never found by name).
const void* KeyOf(HashKey kind, const HostEntry* e) {
    if (kind == HashKey::name)
        return e->hostName != nullptr ? e->hostName->text() : nullptr;
    return e;
}

// The slot holding `key` (whose hash is `hash`), or the empty slot where it
// would go.
uint32_t SlotFor(const HashIndex& index, const void* key, uint32_t hash) {
    uint32_t mask = index.capacity - 1;
    uint32_t i = hash & mask;
    while (index.cells[i] != nullptr &&
           (index.hashes[i] != hash || !SameKey(index.key, key, index.cells[i])))
        i = (i + 1) & mask;
    return i;
}

bool Grow(HashIndex& index) {
    uint32_t capacity = index.capacity == 0 ? 64 : index.capacity * 2;
    if (capacity == 0)
        return false;
    auto* cells = static_cast<HostEntry**>(std::calloc(capacity, sizeof(HostEntry*)));
    auto* hashes = static_cast<uint32_t*>(std::calloc(capacity, sizeof(uint32_t)));
    if (cells == nullptr || hashes == nullptr) {
        std::free(cells);
        std::free(hashes);
        return false;
    }
    uint32_t mask = capacity - 1;
    // Keys are distinct already: each element takes the first free slot.
    for (uint32_t i = 0; i < index.capacity; ++i) {
        if (index.cells[i] == nullptr)
            continue;
        uint32_t at = index.hashes[i] & mask;
        while (cells[at] != nullptr)
            at = (at + 1) & mask;
        cells[at] = index.cells[i];
        hashes[at] = index.hashes[i];
    }
    std::free(index.cells);
    std::free(index.hashes);
    index.cells = cells;
    index.hashes = hashes;
    index.capacity = capacity;
    return true;
}

} // namespace

HostEntry* index_Find(const HashIndex& index, const void* key) {
    if (index.count == 0)
        return nullptr;
    return index.cells[SlotFor(index, key, static_cast<uint32_t>(HashOfKey(index.key, key)))];
}

bool index_Put(HashIndex& index, HostEntry* element) {
    const void* key = KeyOf(index.key, element);
    if (key == nullptr)
        return true;
    // At most three quarters full keeps the probes short.
    if ((index.count + 1) * 4 > index.capacity * 3 && !Grow(index)) {
        index_Clear(index);
        return false;
    }
    uint32_t hash = static_cast<uint32_t>(HashOfKey(index.key, key));
    uint32_t at = SlotFor(index, key, hash);
    if (index.cells[at] == nullptr)
        ++index.count;
    index.cells[at] = element; // the newest holder of a key is the one lookups find
    index.hashes[at] = hash;
    return true;
}

void index_Clear(HashIndex& index) {
    std::free(index.cells);
    std::free(index.hashes);
    index.cells = nullptr;
    index.hashes = nullptr;
    index.capacity = 0;
    index.count = 0;
}
