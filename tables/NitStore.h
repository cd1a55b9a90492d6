// The NIT store: the network information table of the actual network (table_id 0x40), by
// section_number. Held records and copies carry pid 0x0010.
#pragma once
#include "tables/SectionStore.h"

class NitStore : public SectionStore {
public:
    NitStore() = default;
    ~NitStore() override = default;

    // S_OK stored, S_FALSE already held (or a held section of another network met: the store has been
    // emptied), E_INVALIDARG refused, E_OUTOFMEMORY.
    HRESULT AddSection(DWORD length, const BYTE* bytes);

    // The read operations take the query interface's key and ignore it: the store holds one table.
    BOOL IsComplete(DWORD key) const { return SectionStore::IsComplete(); }
    DWORD GetSectionCount(DWORD key) const { return SectionStore::GetSectionCount(); }
    HRESULT GetSection(DWORD key, DWORD index, StoredSection** out) const;
    HRESULT FreeSlot(DWORD key, DWORD index) { return SectionStore::FreeSlot(index); }
    LONG GetVersion(DWORD key, DWORD index) const { return SectionStore::GetVersion(index); }
};
