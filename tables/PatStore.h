// The PAT store: the sections of the program association table of the version held, by section_number.
#pragma once
#include "tables/SectionStore.h"

class PatStore : public SectionStore {
public:
    PatStore() = default;
    ~PatStore() override = default;

    // S_OK stored (new or changed), S_FALSE already held, E_INVALIDARG refused, E_OUTOFMEMORY.
    HRESULT AddSection(DWORD length, const BYTE* bytes);
    // A copy of slot index; its pid stays 0.
    HRESULT GetSection(DWORD index, StoredSection** out) const;
};
