#include "tables/EttStore.h"

#include "baseclasses/allocation.h"
#include "tables/section.h"

#include <string.h>

namespace {
constexpr DWORD kEttTableId = 0xCC;
// The ETM_id field ends at byte 12.
constexpr DWORD kEttFixedBytes = 13;
constexpr DWORD kFirstIndexCapacity = 64;

// private_indicator, bit 6 of byte 1: 1 in every ATSC PSIP section.
DWORD SectionPrivateIndicator(const BYTE* p) {
    return (p[1] >> 6) & 1;
}

DWORD EtmId(const BYTE* p) {
    return (static_cast<DWORD>(p[9]) << 24) | (static_cast<DWORD>(p[10]) << 16) |
           (static_cast<DWORD>(p[11]) << 8) | p[12];
}

// ETM_ids share their low bits (event_id << 2 | 2), so they are mixed before masking.
DWORD IndexSlot(DWORD etmId, DWORD capacity) {
    DWORD h = etmId * 0x9E3779B1u;
    h ^= h >> 15;
    return h & (capacity - 1);
}
} // namespace

EttStore::EttStore() : head(nullptr), collecting(TRUE), section_count(0), index(nullptr), index_capacity(0) {}

EttStore::~EttStore() {
    Reset();
}

BOOL EttStore::Reset() {
    if (head == nullptr) {
        return FALSE;
    }
    while (head != nullptr) {
        EitSectionNode* node = head;
        head = node->next_section;
        MemFree(node->bytes);
        MemFree(node);
    }
    section_count = 0;
    MemFree(index);
    index = nullptr;
    index_capacity = 0;
    return TRUE;
}

void EttStore::SetCollecting(DWORD flag) {
    collecting = flag != 0 ? TRUE : FALSE;
}

HRESULT EttStore::FreeSection(StoredSection** section) {
    return ::FreeSection(section);
}

EitSectionNode* EttStore::FindNode(DWORD etmId) const {
    if (index == nullptr) {
        for (EitSectionNode* node = head; node != nullptr; node = node->next_section) {
            if (EtmId(node->bytes) == etmId) {
                return node;
            }
        }
        return nullptr;
    }
    for (DWORD i = IndexSlot(etmId, index_capacity);; i = (i + 1) & (index_capacity - 1)) {
        EitSectionNode* node = index[i];
        if (node == nullptr || EtmId(node->bytes) == etmId) {
            return node;
        }
    }
}

bool EttStore::RebuildIndex(DWORD capacity) {
    MemFree(index);
    index = nullptr;
    index_capacity = 0;
    // An array of node pointers, not of nodes.
    auto* table = static_cast<EitSectionNode**>(
        MemAllocZero(sizeof(EitSectionNode*) * capacity)); // NOLINT(bugprone-sizeof-expression)
    if (table == nullptr) {
        return false;
    }
    for (EitSectionNode* node = head; node != nullptr; node = node->next_section) {
        DWORD i = IndexSlot(EtmId(node->bytes), capacity);
        while (table[i] != nullptr) {
            i = (i + 1) & (capacity - 1);
        }
        table[i] = node;
    }
    index = table;
    index_capacity = capacity;
    return true;
}

void EttStore::IndexNode(EitSectionNode* node) {
    // Kept at most half full, so that probes stay short and always end at an empty slot.
    if (index != nullptr && section_count * 2 <= index_capacity) {
        DWORD i = IndexSlot(EtmId(node->bytes), index_capacity);
        while (index[i] != nullptr) {
            i = (i + 1) & (index_capacity - 1);
        }
        index[i] = node;
        return;
    }
    DWORD capacity = index_capacity != 0 ? index_capacity : kFirstIndexCapacity;
    while (capacity < section_count * 2) {
        capacity *= 2;
    }
    // The list already holds node; a failed rebuild leaves lookups to the list walk.
    RebuildIndex(capacity);
}

HRESULT EttStore::AddSection(DWORD pid, DWORD length, const BYTE* bytes) {
    if (!collecting) {
        return S_FALSE;
    }
    if (!CheckCommonHeader(bytes, length, 4093, 3)) {
        return E_INVALIDARG;
    }
    EitSectionNode* held = length >= kEttFixedBytes ? FindNode(EtmId(bytes)) : nullptr;
    if (held != nullptr) {
        const StoredSection record = {held->pid, held->section_number, held->length, held->bytes};
        if (SameAsHeld(&record, length, bytes)) {
            return S_FALSE; // a repeat: same bytes, so every check below passed before
        }
    }
    if (SectionLength(bytes) < 10 || length < kEttFixedBytes || SectionPrivateIndicator(bytes) != 1 ||
        SectionCurrentNext(bytes) != 1 || SectionNumber(bytes) != 0 || SectionLastNumber(bytes) != 0 ||
        SectionTableId(bytes) != kEttTableId || !CheckSectionCrc(bytes, length)) {
        return E_INVALIDARG;
    }

    if (held != nullptr && SectionVersion(held->bytes) == SectionVersion(bytes)) {
        return S_FALSE;
    }
    auto* copy = static_cast<BYTE*>(MemAlloc(length));
    if (copy == nullptr) {
        return E_OUTOFMEMORY;
    }
    memcpy(copy, bytes, length);

    if (held != nullptr) {
        // A new version of a held ETM_id: only that node changes; its key, and so the index, stays.
        MemFree(held->bytes);
        held->bytes = copy;
        held->pid = pid;
        held->length = length;
        held->section_number = 0;
        return S_OK;
    }
    auto* node = static_cast<EitSectionNode*>(MemAllocZero(sizeof(EitSectionNode)));
    if (node == nullptr) {
        MemFree(copy);
        return E_OUTOFMEMORY;
    }
    node->bytes = copy;
    node->pid = pid;
    node->length = length;
    node->section_number = 0;
    node->next_section = head;
    head = node;
    section_count += 1;
    IndexNode(node);
    return S_OK;
}

HRESULT EttStore::GetSection(DWORD etmId, StoredSection** out) const {
    const EitSectionNode* node = FindNode(etmId);
    if (node == nullptr) {
        return E_INVALIDARG;
    }
    const StoredSection held = {node->pid, node->section_number, node->length, node->bytes};
    HRESULT hr = CopySection(&held, held.section_number, out);
    if (SUCCEEDED(hr)) {
        (*out)->pid = held.pid;
    }
    return hr;
}
