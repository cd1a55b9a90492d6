// The ATSC system time table (table_id 0xCD on PID 0x1FFB): the latest valid section.
#pragma once
#include <windows.h>
#include <quenlix.h>

class SttStore {
public:
    SttStore();
    virtual ~SttStore();

    // S_OK taken; E_INVALIDARG refused, nothing changed; E_OUTOFMEMORY the held section was dropped.
    HRESULT AddSection(DWORD length, const BYTE* bytes);
    BOOL IsComplete();
    // E_POINTER while nothing is held; otherwise a new copy with pid 0x1FFB and section_number 0.
    HRESULT GetSection(StoredSection** out);
    BOOL Reset();

private:
    StoredSection section;
};
