// The ATSC system time table (table_id 0xCD on PID 0x1FFB): the latest valid section.
#pragma once
#include "tables/SingleSectionStore.h"

class SttStore : public SingleSectionStore {
public:
    SttStore() = default;
    ~SttStore() override = default;

    // S_OK taken (every valid STT replaces the held one); E_INVALIDARG refused, nothing changed;
    // E_OUTOFMEMORY the held section was dropped. IsComplete, GetSection (pid 0x1FFB, section_number 0)
    // and Reset are the single-section store's.
    HRESULT AddSection(DWORD length, const BYTE* bytes);
};
