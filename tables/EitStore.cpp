#include "tables/EitStore.h"

#include "baseclasses/allocation.h"
#include "tables/section.h"

#include <string.h>

namespace {
constexpr DWORD kEitPid = 0x0012;
constexpr DWORD kPresentFollowingActual = 0x4E;
constexpr DWORD kPresentFollowingOther = 0x4F;
constexpr DWORD kScheduleActualFirst = 0x50;
constexpr DWORD kScheduleActualLast = 0x5F;
constexpr DWORD kScheduleOtherLast = 0x6F;

// The list index of a table_id, or -1 for a table_id the store keeps no list for.
int ListIndex(DWORD tableId) {
    if (tableId == kPresentFollowingActual) {
        return 0;
    }
    if (tableId >= kScheduleActualFirst && tableId <= kScheduleActualLast) {
        return static_cast<int>(tableId - kPresentFollowingOther);
    }
    return -1;
}

DWORD NodeKey(int list, DWORD sectionNumber, DWORD serviceId) {
    return (static_cast<DWORD>(list) << 24) | (sectionNumber << 16) | serviceId;
}
} // namespace

EitSectionNode* FindSectionNode(EitSectionNode* list, DWORD sectionNumber) {
    for (EitSectionNode* node = list; node != nullptr; node = node->next_section) {
        if (node->section_number == sectionNumber) {
            return node;
        }
    }
    return nullptr;
}

EitSectionNode* FindServiceNode(EitSectionNode* list, DWORD sectionNumber, DWORD serviceId) {
    for (EitSectionNode* node = FindSectionNode(list, sectionNumber); node != nullptr;
         node = node->next_service) {
        if (SectionTableIdExtension(node->bytes) == serviceId) {
            return node;
        }
    }
    return nullptr;
}

void FreeNodeList(EitSectionNode* list) {
    while (list != nullptr) {
        EitSectionNode* nextSection = list->next_section;
        EitSectionNode* node = list;
        while (node != nullptr) {
            EitSectionNode* nextService = node->next_service;
            MemFree(node->bytes);
            MemFree(node);
            node = nextService;
        }
        list = nextSection;
    }
}

EitStore::EitStore() : heads(), section_counts(), reset_on_version_change(TRUE) {}

EitStore::~EitStore() {
    Reset();
}

BOOL EitStore::Reset() {
    for (DWORD k = 0; k < kListCount; ++k) {
        FreeNodeList(heads[k]);
        heads[k] = nullptr;
        section_counts[k] = 0;
    }
    index.Clear();
    return TRUE;
}

void EitStore::SetResetOnVersionChange(DWORD flag) {
    reset_on_version_change = flag != 0 ? TRUE : FALSE;
}

HRESULT EitStore::FreeSection(StoredSection** section) {
    return ::FreeSection(section);
}

HRESULT EitStore::AddSection(DWORD length, const BYTE* bytes) {
    // An EIT section may be longer than a PSI section.
    if (!CheckCommonHeader(bytes, length, 4093, 5)) {
        return E_INVALIDARG;
    }
    // service_id, original_network_id, transport_stream_id, segment_last_section_number,
    // last_table_id and the CRC_32 follow the common header.
    if (SectionLength(bytes) < 15) {
        return E_INVALIDARG;
    }
    const DWORD tableId = SectionTableId(bytes);
    if (tableId < kPresentFollowingActual || tableId > kScheduleOtherLast) {
        return E_INVALIDARG;
    }
    // Only the actual transport stream is kept; the EIT of others is a valid section all the same.
    const int list = ListIndex(tableId);
    const DWORD sectionNumber = SectionNumber(bytes);
    const DWORD serviceId = SectionTableIdExtension(bytes);
    EitSectionNode* node = list >= 0 ? index.Find(NodeKey(list, sectionNumber, serviceId)) : nullptr;
    if (node != nullptr) {
        const StoredSection held = {node->pid, node->section_number, node->length, node->bytes};
        if (SameAsHeld(&held, length, bytes)) {
            return S_FALSE; // a repeat: same bytes, so same version, and the CRC_32 passed before
        }
    }
    if (!CheckSectionCrc(bytes, length)) {
        return E_INVALIDARG;
    }
    if (list < 0) {
        return E_INVALIDARG;
    }

    if (node != nullptr) {
        if (SectionVersion(node->bytes) == SectionVersion(bytes)) {
            return S_FALSE;
        }
        if (reset_on_version_change) {
            Reset();
            node = nullptr;
        }
        // Otherwise node is replaced in place.
    }

    auto* copy = static_cast<BYTE*>(MemAlloc(length));
    if (copy == nullptr) {
        return E_OUTOFMEMORY;
    }
    memcpy(copy, bytes, length);

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
        if (EitSectionNode* first = FindSectionNode(heads[list], sectionNumber)) {
            node->next_service = first->next_service;
            first->next_service = node;
        } else {
            node->next_section = heads[list];
            heads[list] = node;
            ++section_counts[list];
        }
        index.Insert(NodeKey(list, sectionNumber, serviceId), node);
    }
    node->bytes = copy;
    node->section_number = sectionNumber;
    node->length = length;
    node->pid = kEitPid;
    return S_OK;
}

DWORD EitStore::GetStatus(DWORD tableId) const {
    const int list = ListIndex(tableId);
    if (list < 0) {
        return 0;
    }
    const EitSectionNode* first = FindSectionNode(heads[list], 0);
    if (first == nullptr) {
        return 0;
    }
    const DWORD lastSectionNumber = SectionLastNumber(first->bytes);
    // A sample cut short before segment_last_section_number counts as an unsegmented table.
    const DWORD segmentLastSectionNumber = first->length > 12 ? first->bytes[12] : lastSectionNumber;
    const DWORD held = section_counts[list];
    if (segmentLastSectionNumber == lastSectionNumber) {
        return (lastSectionNumber == 0 || held == lastSectionNumber + 1) ? 2 : 1;
    }
    // A schedule counts as complete when it holds as many section_numbers as it has segments of eight.
    return held == (lastSectionNumber >> 3) + 1 ? 2 : 1;
}

DWORD EitStore::GetSectionCount(DWORD tableId) const {
    const int list = ListIndex(tableId);
    if (list < 0) {
        return 0;
    }
    DWORD count = 0;
    for (const EitSectionNode* node = heads[list]; node != nullptr; node = node->next_section) {
        ++count;
    }
    return count;
}

HRESULT EitStore::GetSection(DWORD tableId, DWORD sectionNumber, DWORD serviceId, StoredSection** out) const {
    const int list = ListIndex(tableId);
    if (list < 0) {
        return E_POINTER;
    }
    if (sectionNumber > 0xFF || serviceId > 0xFFFF) {
        return E_POINTER;
    }
    const EitSectionNode* node = index.Find(NodeKey(list, sectionNumber, serviceId));
    if (node == nullptr) {
        return E_POINTER;
    }
    *out = nullptr;
    StoredSection held = {node->pid, node->section_number, node->length, node->bytes};
    HRESULT hr = CopySection(&held, sectionNumber, out);
    if (SUCCEEDED(hr)) {
        (*out)->pid = kEitPid;
    }
    return hr;
}

LONG EitStore::GetVersion(DWORD tableId, DWORD sectionNumber, DWORD serviceId) const {
    const int list = ListIndex(tableId);
    if (list < 0) {
        return -1;
    }
    if (sectionNumber > 0xFF || serviceId > 0xFFFF) {
        return -1;
    }
    const EitSectionNode* node = index.Find(NodeKey(list, sectionNumber, serviceId));
    return node != nullptr ? static_cast<LONG>(SectionVersion(node->bytes)) : -1;
}

const EitSectionNode* EitStore::GetList(DWORD tableId) const {
    const int list = ListIndex(tableId);
    return list < 0 ? nullptr : heads[list];
}

DWORD EitStore::GetListCounter(DWORD tableId) const {
    const int list = ListIndex(tableId);
    return list < 0 ? 0 : section_counts[list];
}
