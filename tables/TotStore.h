// The TOT store: the latest valid section of the time offset table (table_id 0x73, with CRC_32). Held with
// pid 0x0014. Every valid arrival replaces the held section; there is no version to compare.
#pragma once
#include "tables/SingleSectionStore.h"

class TotStore : public SingleSectionStore {
public:
    TotStore() = default;
    ~TotStore() override = default;

    // S_OK taken, E_INVALIDARG refused (the held section stays), E_OUTOFMEMORY (the store is empty).
    HRESULT AddSection(DWORD length, const BYTE* bytes);
};
