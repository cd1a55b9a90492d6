// ATSC extended text tables (table_id 0xCC on the PIDs the MGT announces): one section per ETM_id.
#pragma once
#include <windows.h>
#include <quenlix.h>

struct EitSectionNode;

class EttStore {
public:
    EttStore();
    virtual ~EttStore();

    // S_FALSE at once while collection is off.
    HRESULT AddSection(DWORD pid, DWORD length, const BYTE* bytes);
    DWORD GetSectionCount();
    // E_INVALIDARG, *out untouched, when no held section has that ETM_id.
    HRESULT GetSection(DWORD etmId, StoredSection** out);
    void SetCollecting(DWORD flag);
    // FALSE when nothing was held.
    BOOL Reset();
    HRESULT FreeSection(StoredSection** section);

    EitSectionNode* head;
    BOOL collecting;
    DWORD section_count;
};
