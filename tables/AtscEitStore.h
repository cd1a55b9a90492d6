// ATSC event information tables EIT-0 to EIT-127 (table_id 0xCB on the PIDs the MGT announces): per
// EIT-k a list with one node per section_number, each heading a chain of the nodes of further sources.
#pragma once
#include <windows.h>
#include <quenlix.h>

struct EitSectionNode;

constexpr DWORD kAtscEitTables = 128;
constexpr DWORD kAtscEitFirstTableType = 0x0100;

class AtscEitStore {
public:
    AtscEitStore();
    virtual ~AtscEitStore();

    // table_type is the MGT table_type the section's PID was announced under (0x0100 to 0x017F).
    HRESULT AddSection(DWORD pid, DWORD tableType, DWORD length, const BYTE* bytes);
    // 0 nothing held for table_type (or out of range), 1 incomplete, 2 complete.
    DWORD GetStatus(DWORD tableType);
    DWORD GetSectionCount(DWORD tableType);
    // E_INVALIDARG, *out untouched, when table_type is out of range or nothing matches.
    HRESULT GetSection(DWORD tableType, DWORD sectionNumber, DWORD sourceId, StoredSection** out);
    void SetResetOnVersionChange(DWORD flag);
    BOOL Reset();
    HRESULT FreeSection(StoredSection** section);

    EitSectionNode* heads[kAtscEitTables];
    BOOL reset_on_version_change;
    DWORD section_counts[kAtscEitTables];
};
