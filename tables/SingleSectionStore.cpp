#include "tables/SingleSectionStore.h"

#include "baseclasses/allocation.h"
#include "tables/section.h"

#include <string.h>

SingleSectionStore::~SingleSectionStore() {
    Reset();
}

BOOL SingleSectionStore::Reset() {
    MemFree(section.bytes);
    section = {};
    return TRUE;
}

HRESULT SingleSectionStore::GetSection(StoredSection** out) const {
    if (section.bytes == nullptr) {
        return E_POINTER;
    }
    HRESULT hr = CopySection(&section, section.section_number, out);
    if (SUCCEEDED(hr)) {
        (*out)->pid = section.pid;
    }
    return hr;
}

HRESULT SingleSectionStore::FreeSection(StoredSection** held) {
    return ::FreeSection(held);
}

HRESULT SingleSectionStore::TakeSection(DWORD pid, DWORD length, const BYTE* bytes) {
    // The old section goes first, so a failed allocation leaves the store empty rather than stale.
    Reset();
    auto* copy = static_cast<BYTE*>(MemAlloc(length));
    if (copy == nullptr) {
        return E_OUTOFMEMORY;
    }
    memcpy(copy, bytes, length);
    section.bytes = copy;
    section.section_number = 0;
    section.pid = pid;
    section.length = length;
    return S_OK;
}
