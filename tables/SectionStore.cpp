#include "tables/SectionStore.h"

#include "baseclasses/allocation.h"
#include "tables/section.h"

#include <string.h>

SectionStore::~SectionStore() {
    Reset();
}

BOOL SectionStore::Reset() {
    if (slots != nullptr) {
        for (DWORD i = slot_count; i > 0; --i) {
            FreeSlot(i - 1);
        }
        MemFree(slots);
        slots = nullptr;
    }
    slot_count = 0;
    return TRUE;
}

BOOL SectionStore::IsComplete() const {
    if (slots == nullptr) {
        return FALSE;
    }
    for (DWORD i = 0; i < slot_count; ++i) {
        if (slots[i] == nullptr) {
            return FALSE;
        }
    }
    return TRUE;
}

DWORD SectionStore::GetSectionCount() const {
    return slot_count;
}

HRESULT SectionStore::FreeSlot(DWORD index) {
    if (index >= slot_count) {
        return E_INVALIDARG;
    }
    if (slots == nullptr) {
        return E_POINTER;
    }
    if (slots[index] != nullptr) {
        ::FreeSection(&slots[index]);
    }
    return S_OK;
}

LONG SectionStore::GetVersion(DWORD index) const {
    if (index >= slot_count) {
        return static_cast<LONG>(E_INVALIDARG);
    }
    if (slots == nullptr) {
        return static_cast<LONG>(E_POINTER);
    }
    if (slots[index] == nullptr) {
        return -1;
    }
    return static_cast<LONG>(SectionVersion(slots[index]->bytes));
}

HRESULT SectionStore::FreeSection(StoredSection** section) {
    return ::FreeSection(section);
}

const StoredSection* SectionStore::HeldAt(DWORD index) const {
    if (slots == nullptr || index >= slot_count) {
        return nullptr;
    }
    return slots[index];
}

HRESULT SectionStore::CopySlot(DWORD index, DWORD copyPid, StoredSection** out) const {
    if (index >= slot_count) {
        return E_INVALIDARG;
    }
    if (slots == nullptr) {
        return E_POINTER;
    }
    if (slots[index] == nullptr) {
        return S_OK;
    }
    HRESULT hr = CopySection(slots[index], index, out);
    if (SUCCEEDED(hr)) {
        (*out)->pid = copyPid;
    }
    return hr;
}

HRESULT SectionStore::EnsureSlots(DWORD count) {
    if (slots != nullptr) {
        return S_OK;
    }
    slots = static_cast<StoredSection**>(MemAllocZero(sizeof(StoredSection*) * count));
    if (slots == nullptr) {
        return E_OUTOFMEMORY;
    }
    slot_count = count;
    return S_OK;
}

HRESULT SectionStore::StoreCopy(DWORD index, DWORD pid, DWORD sectionNumber, DWORD length, BYTE* copy) {
    StoredSection* record = slots[index];
    if (record == nullptr) {
        record = static_cast<StoredSection*>(MemAllocZero(sizeof(StoredSection)));
        if (record == nullptr) {
            MemFree(copy);
            return E_OUTOFMEMORY;
        }
        slots[index] = record;
    } else {
        MemFree(record->bytes);
    }
    record->bytes = copy;
    record->pid = pid;
    record->section_number = sectionNumber;
    record->length = length;
    return S_OK;
}

HRESULT SectionStore::StoreInSlot(DWORD index, DWORD pid, DWORD sectionNumber, DWORD length,
                                  const BYTE* bytes) {
    BYTE* copy = CopyBytes(length, bytes);
    if (copy == nullptr) {
        return E_OUTOFMEMORY;
    }
    return StoreCopy(index, pid, sectionNumber, length, copy);
}

HRESULT SectionStore::PlaceSection(DWORD pid, DWORD length, const BYTE* bytes) {
    HRESULT hr = EnsureSlots(SectionLastNumber(bytes) + 1);
    if (FAILED(hr)) {
        return hr;
    }
    DWORD s = SectionNumber(bytes);
    return StoreInSlot(s, pid, s, length, bytes);
}

BYTE* SectionStore::CopyBytes(DWORD length, const BYTE* bytes) {
    auto* copy = static_cast<BYTE*>(MemAlloc(length));
    if (copy != nullptr) {
        memcpy(copy, bytes, length);
    }
    return copy;
}
