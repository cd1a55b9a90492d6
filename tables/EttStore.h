// ATSC extended text tables (table_id 0xCC on the PIDs the MGT announces): one section per ETM_id,
// whatever PID or ETT-k it arrived under.
#pragma once
#include "tables/EitStore.h"

class EttStore {
public:
    EttStore();
    virtual ~EttStore();
    EttStore(const EttStore&) = delete;
    EttStore& operator=(const EttStore&) = delete;

    // S_FALSE at once while collection is off; otherwise S_OK stored or replaced (new version),
    // S_FALSE same ETM_id and version held, E_INVALIDARG refused, E_OUTOFMEMORY (nothing changed).
    HRESULT AddSection(DWORD pid, DWORD length, const BYTE* bytes);
    DWORD GetSectionCount() const { return section_count; }
    // E_INVALIDARG, *out untouched, when no held section has that ETM_id; otherwise a copy with the
    // node's pid and section_number 0 (E_OUTOFMEMORY with *out null when it cannot be made).
    HRESULT GetSection(DWORD etmId, StoredSection** out) const;
    // Any non-zero flag means TRUE. Survives Reset.
    void SetCollecting(DWORD flag);
    BOOL GetCollecting() const { return collecting; }
    // FALSE when nothing was held (nothing is done), TRUE otherwise.
    BOOL Reset();

    static HRESULT FreeSection(StoredSection** section);

private:
    EitSectionNode* FindNode(DWORD etmId) const;
    void IndexNode(EitSectionNode* node);
    bool RebuildIndex(DWORD capacity);

    EitSectionNode* head; // newest first
    BOOL collecting;
    DWORD section_count;
    // An open-addressing table of every node by ETM_id, so that the lookup each arriving ETT makes stays
    // cheap with one ETM_id per event of a whole guide. It only speeds lookups up: when it cannot be
    // grown it is dropped and the list is walked until a later growth succeeds.
    EitSectionNode** index;
    DWORD index_capacity; // a power of two, 0 without an index
};
