#include "tables/NodeIndex.h"

#include "baseclasses/allocation.h"

namespace {
constexpr DWORD kFirstCapacity = 64;
// Past this the doubled table's size in bytes would not fit a 32-bit size_t.
constexpr DWORD kLargestCapacity = 0x08000000;

// Keys differ mostly in their low service bits and in a few high ones; a multiplicative mix spreads
// both over the slot bits.
DWORD Slot(DWORD key, DWORD capacity) {
    DWORD h = static_cast<DWORD>((key * 0x9E3779B1u) & 0xFFFFFFFFu);
    h ^= h >> 16;
    return h & (capacity - 1);
}
} // namespace

NodeIndex::~NodeIndex() {
    Clear();
}

void NodeIndex::Clear() {
    MemFree(entries);
    entries = nullptr;
    capacity = 0;
    count = 0;
}

EitSectionNode* NodeIndex::Find(DWORD key) const {
    if (entries == nullptr) {
        return nullptr;
    }
    // At most half full, so every probe ends at an empty slot.
    for (DWORD i = Slot(key, capacity);; i = (i + 1) & (capacity - 1)) {
        const Entry& e = entries[i];
        if (e.node == nullptr) {
            return nullptr;
        }
        if (e.key == key) {
            return e.node;
        }
    }
}

void NodeIndex::Place(Entry* table, DWORD size, DWORD key, EitSectionNode* node) {
    DWORD i = Slot(key, size);
    while (table[i].node != nullptr) {
        i = (i + 1) & (size - 1);
    }
    table[i].node = node;
    table[i].key = key;
}

HRESULT NodeIndex::Reserve() {
    if (entries != nullptr && (count + 1) * 2 <= capacity) {
        return S_OK;
    }
    if (capacity >= kLargestCapacity) {
        return E_OUTOFMEMORY;
    }
    const DWORD grown = capacity != 0 ? capacity * 2 : kFirstCapacity;
    auto* table = static_cast<Entry*>(MemAllocZero(sizeof(Entry) * static_cast<SIZE_T>(grown)));
    if (table == nullptr) {
        return E_OUTOFMEMORY;
    }
    for (DWORD i = 0; i < capacity; ++i) {
        if (entries[i].node != nullptr) {
            Place(table, grown, entries[i].key, entries[i].node);
        }
    }
    MemFree(entries);
    entries = table;
    capacity = grown;
    return S_OK;
}

void NodeIndex::Insert(DWORD key, EitSectionNode* node) {
    Place(entries, capacity, key, node);
    ++count;
}
