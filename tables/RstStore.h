// The RST store: the latest valid section of the running status table (table_id 0x71, no CRC_32). Held with
// pid 0x0013. Every valid arrival replaces the held section; there is no version to compare.
#pragma once
#include "tables/SingleSectionStore.h"

class RstStore : public SingleSectionStore {
public:
    RstStore() = default;
    ~RstStore() override = default;

    // S_OK taken, E_INVALIDARG refused (the held section stays), E_OUTOFMEMORY (the store is empty).
    HRESULT AddSection(DWORD length, const BYTE* bytes);
};
