// The ATSC terrestrial virtual channel table (table_id 0xC8 on PID 0x1FFB), kept per section_number.
#pragma once
#include "tables/SectionStore.h"

class VctStore : public SectionStore {
public:
    VctStore() = default;
    ~VctStore() override = default;

    // S_OK stored; S_FALSE a section of that section_number and version_number is held (whatever its
    // transport_stream_id); E_INVALIDARG refused, nothing changed; E_OUTOFMEMORY the slot stays empty.
    // Reset, IsComplete and GetSectionCount are the section-set store's.
    HRESULT AddSection(DWORD length, const BYTE* bytes);
    // E_INVALIDARG for index >= count; S_OK with *out untouched for an empty slot; otherwise a new
    // copy with section_number = index and pid 0.
    HRESULT GetSection(DWORD index, StoredSection** out) const;
};
