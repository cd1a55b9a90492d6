// The BAT store: the bouquet association table (table_id 0x4A), by section_number. Held records and
// copies carry pid 0x0011.
#pragma once
#include "tables/SectionStore.h"

class BatStore : public SectionStore {
public:
    BatStore() = default;
    ~BatStore() override = default;

    // S_OK stored (also when it replaced the sections of another bouquet), S_FALSE already held,
    // E_INVALIDARG refused, E_OUTOFMEMORY.
    HRESULT AddSection(DWORD length, const BYTE* bytes);
    HRESULT GetSection(DWORD index, StoredSection** out) const;
};
