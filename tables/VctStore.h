// The ATSC terrestrial virtual channel table (table_id 0xC8 on PID 0x1FFB), kept per section_number.
#pragma once
#include <windows.h>
#include <quenlix.h>

class VctStore {
public:
    VctStore();
    virtual ~VctStore();

    // S_OK stored; S_FALSE a section of that section_number and version_number is held; E_INVALIDARG
    // refused, nothing changed; E_OUTOFMEMORY the slot stays empty.
    HRESULT AddSection(DWORD length, const BYTE* bytes);
    BOOL Reset();
    BOOL IsComplete();
    DWORD GetSectionCount();
    // E_INVALIDARG for index >= count; S_OK with *out untouched for an empty slot; otherwise a new
    // copy with section_number = index and pid 0.
    HRESULT GetSection(DWORD index, StoredSection** out);

private:
    StoredSection** slots;
    DWORD slot_count;
};
