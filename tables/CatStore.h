// The CAT store: the conditional access table (table_id 0x01), by section_number. Held records carry
// pid 0x0001; copies handed out leave pid 0.
#pragma once
#include "tables/SectionStore.h"

class CatStore : public SectionStore {
public:
    CatStore() = default;
    ~CatStore() override = default;

    // S_OK stored, S_FALSE same version already held, E_INVALIDARG refused, E_OUTOFMEMORY.
    HRESULT AddSection(DWORD length, const BYTE* bytes);
    HRESULT GetSection(DWORD index, StoredSection** out) const;
};
