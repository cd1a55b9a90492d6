#include "tables/AtscEitStore.h"

#include "baseclasses/allocation.h"
#include "tables/section.h"

#include <string.h>

namespace {
constexpr DWORD kAtscEitTableId = 0xCB;

// private_indicator, bit 6 of byte 1: 1 in every ATSC PSIP section.
DWORD SectionPrivateIndicator(const BYTE* p) {
    return (p[1] >> 6) & 1;
}

bool InRange(DWORD tableType) {
    return tableType >= AtscEitStore::kFirstTableType &&
           tableType < AtscEitStore::kFirstTableType + AtscEitStore::kListCount;
}

DWORD NodeKey(DWORD list, DWORD sectionNumber, DWORD sourceId) {
    return (list << 24) | (sectionNumber << 16) | sourceId;
}
} // namespace

AtscEitStore::AtscEitStore() : heads(), reset_on_version_change(TRUE), section_counts() {}

AtscEitStore::~AtscEitStore() {
    Reset();
}

BOOL AtscEitStore::Reset() {
    // Node by node from the front of each list, so that the stack stays flat however many sources and
    // sections a guide holds.
    for (DWORD k = 0; k < kListCount; ++k) {
        while (heads[k] != nullptr) {
            EitSectionNode* first = heads[k];
            if (first->next_service != nullptr) {
                first->next_service->next_section = first->next_section;
                heads[k] = first->next_service;
            } else {
                heads[k] = first->next_section;
            }
            MemFree(first->bytes);
            MemFree(first);
        }
        section_counts[k] = 0;
    }
    index.Clear();
    return TRUE;
}

HRESULT AtscEitStore::AddSection(DWORD pid, DWORD tableType, DWORD length, const BYTE* bytes) {
    if (length == 0 || bytes == nullptr || !InRange(tableType)) {
        return E_INVALIDARG;
    }
    if (!CheckCommonHeader(bytes, length, 4093, 3)) {
        return E_INVALIDARG;
    }
    const DWORD k = tableType - kFirstTableType;
    const DWORD s = SectionNumber(bytes);
    const DWORD key = NodeKey(k, s, SectionTableIdExtension(bytes));
    EitSectionNode* held = index.Find(key);
    if (held != nullptr) {
        const StoredSection record = {held->pid, held->section_number, held->length, held->bytes};
        if (SameAsHeld(&record, length, bytes)) {
            return S_FALSE; // a repeat: same bytes, so every check below passed before
        }
    }
    if (SectionLength(bytes) < 14 || SectionPrivateIndicator(bytes) != 1 || SectionCurrentNext(bytes) != 1 ||
        SectionTableId(bytes) != kAtscEitTableId || !CheckSectionCrc(bytes, length)) {
        return E_INVALIDARG;
    }

    if (held != nullptr) {
        if (SectionVersion(held->bytes) == SectionVersion(bytes)) {
            return S_FALSE;
        }
        if (reset_on_version_change) {
            Reset();
            held = nullptr;
        }
    }

    // The copy comes first, so that a failure leaves a node to be replaced as it was.
    auto* copy = static_cast<BYTE*>(MemAlloc(length));
    if (copy == nullptr) {
        return E_OUTOFMEMORY;
    }
    memcpy(copy, bytes, length);

    EitSectionNode* node = held;
    if (node != nullptr) {
        MemFree(node->bytes);
        node->pid = 0;
        node->section_number = 0;
        node->length = 0;
        node->bytes = nullptr;
    } else {
        node = static_cast<EitSectionNode*>(MemAllocZero(sizeof(EitSectionNode)));
        if (node == nullptr) {
            MemFree(copy);
            return E_OUTOFMEMORY;
        }
        // Room in the index before anything is linked, so that a refusal leaves the lists untouched.
        if (FAILED(index.Reserve())) {
            MemFree(node);
            MemFree(copy);
            return E_OUTOFMEMORY;
        }
        EitSectionNode* first = FindSectionNode(heads[k], s);
        if (first != nullptr) {
            node->next_service = first->next_service;
            first->next_service = node;
        } else {
            node->next_section = heads[k];
            heads[k] = node;
            section_counts[k] += 1;
        }
        index.Insert(key, node);
    }
    node->bytes = copy;
    node->section_number = s;
    node->length = length;
    node->pid = pid;
    return S_OK;
}

DWORD AtscEitStore::GetStatus(DWORD tableType) const {
    if (!InRange(tableType)) {
        return 0;
    }
    const DWORD k = tableType - kFirstTableType;
    if (heads[k] == nullptr) {
        return 0;
    }
    // The first node belongs to the section_number added last; every section of a version carries the
    // same last_section_number.
    return section_counts[k] == SectionLastNumber(heads[k]->bytes) + 1 ? 2 : 1;
}

DWORD AtscEitStore::GetSectionCount(DWORD tableType) const {
    return InRange(tableType) ? section_counts[tableType - kFirstTableType] : 0;
}

HRESULT AtscEitStore::GetSection(DWORD tableType, DWORD sectionNumber, DWORD sourceId,
                                 StoredSection** out) const {
    if (!InRange(tableType)) {
        return E_INVALIDARG;
    }
    if (sectionNumber > 0xFF || sourceId > 0xFFFF) {
        return E_INVALIDARG;
    }
    const EitSectionNode* node = index.Find(NodeKey(tableType - kFirstTableType, sectionNumber, sourceId));
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

void AtscEitStore::SetResetOnVersionChange(DWORD flag) {
    reset_on_version_change = flag != 0 ? TRUE : FALSE;
}

HRESULT AtscEitStore::FreeSection(StoredSection** section) {
    return ::FreeSection(section);
}

const EitSectionNode* AtscEitStore::GetList(DWORD tableType) const {
    return InRange(tableType) ? heads[tableType - kFirstTableType] : nullptr;
}
