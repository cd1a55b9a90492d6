// ATSC event information tables EIT-0 to EIT-127 (table_id 0xCB on the PIDs the MGT announces): per
// EIT-k a list with one node per section_number, each heading a chain of the nodes of further sources.
#pragma once
#include "tables/EitStore.h"

class AtscEitStore {
public:
    static constexpr DWORD kListCount = 128;
    static constexpr DWORD kFirstTableType = 0x0100; // EIT-0

    AtscEitStore();
    virtual ~AtscEitStore();
    AtscEitStore(const AtscEitStore&) = delete;
    AtscEitStore& operator=(const AtscEitStore&) = delete;

    // tableType is the MGT table_type the section's PID was announced under (0x0100 to 0x017F); pid is
    // kept in the node. S_OK stored or replaced, S_FALSE same version held, E_INVALIDARG refused,
    // E_OUTOFMEMORY.
    HRESULT AddSection(DWORD pid, DWORD tableType, DWORD length, const BYTE* bytes);
    // 0 nothing held for tableType (or out of range), 1 incomplete, 2 complete.
    DWORD GetStatus(DWORD tableType) const;
    // Distinct section_numbers held for tableType, over all sources; 0 out of range.
    DWORD GetSectionCount(DWORD tableType) const;
    // E_INVALIDARG, *out untouched, when tableType is out of range or nothing matches; otherwise a copy
    // with the node's pid and section_number (E_OUTOFMEMORY with *out null when it cannot be made).
    HRESULT GetSection(DWORD tableType, DWORD sectionNumber, DWORD sourceId, StoredSection** out) const;
    // Any non-zero flag means TRUE. Survives Reset.
    void SetResetOnVersionChange(DWORD flag);
    BOOL GetResetOnVersionChange() const { return reset_on_version_change; }
    // Empties all 128 lists. Always TRUE.
    BOOL Reset();

    static HRESULT FreeSection(StoredSection** section);

    // The list of tableType (null when empty or out of range), for readers that walk it.
    const EitSectionNode* GetList(DWORD tableType) const;

private:
    EitSectionNode* heads[kListCount];
    BOOL reset_on_version_change;
    DWORD section_counts[kListCount];
    // Every node by EIT-k, section_number and source_id, in step with the lists.
    NodeIndex index;
};
