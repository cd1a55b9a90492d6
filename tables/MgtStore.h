// The ATSC master guide table (table_id 0xC7 on PID 0x1FFB): one section, replaced only when its
// version_number changes, so that a repeat can be told from a new MGT.
#pragma once
#include "tables/SingleSectionStore.h"

class MgtStore : public SingleSectionStore {
public:
    MgtStore() = default;
    ~MgtStore() override = default;

    // S_OK taken (first MGT, new version, or first after Reset); S_FALSE same version as the held one;
    // E_INVALIDARG refused, nothing changed; E_OUTOFMEMORY the held section was dropped, store empty.
    // IsComplete, GetSection (pid 0x1FFB, section_number 0) and Reset are the single-section store's.
    HRESULT AddSection(DWORD length, const BYTE* bytes);
};
