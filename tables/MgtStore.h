// The ATSC master guide table (table_id 0xC7 on PID 0x1FFB): one section, replaced only when its
// version_number changes, so that a repeat can be told from a new MGT.
#pragma once
#include <windows.h>
#include <quenlix.h>

class MgtStore {
public:
    MgtStore();
    virtual ~MgtStore();

    // S_OK taken (first MGT, new version, or first after Reset); S_FALSE same version as the held one;
    // E_INVALIDARG refused, nothing changed; E_OUTOFMEMORY the held section was dropped, store empty.
    HRESULT AddSection(DWORD length, const BYTE* bytes);
    BOOL IsComplete();
    // E_POINTER while nothing is held; otherwise a new copy with pid 0x1FFB and section_number 0.
    HRESULT GetSection(StoredSection** out);
    BOOL Reset();

private:
    StoredSection section;
};
