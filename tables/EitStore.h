// The DVB EIT store: the present/following (0x4E) and schedule (0x50 to 0x5F) event information tables
// of the actual transport stream. One table_id carries one sub-table per service, all numbering their
// sections alike, so each table_id has a list with one node per section_number and, behind each of
// those, a chain of the nodes of further services with that section_number.
//
// The node type and the list operations are shared with the ATSC EIT and ETT stores.
#pragma once
#include <windows.h>
#include <quenlix.h>

#include "tables/NodeIndex.h"

// One held section. The first four fields have the layout of a StoredSection.
struct EitSectionNode {
    DWORD pid;
    DWORD section_number;
    DWORD length;
    BYTE* bytes;
    EitSectionNode* next_section; // next section_number of the list (first node of a chain only)
    EitSectionNode* next_service; // next node with the same section_number
};

// The first node on the next_section path with that section_number, or null.
EitSectionNode* FindSectionNode(EitSectionNode* list, DWORD sectionNumber);
// The node of that section_number whose section's table_id_extension (bytes 3 and 4: service_id,
// source_id) is serviceId, or null.
EitSectionNode* FindServiceNode(EitSectionNode* list, DWORD sectionNumber, DWORD serviceId);
// Releases every node reachable from list, chains included, with their bytes. Iterative: a whole
// schedule may hang from one head.
void FreeNodeList(EitSectionNode* list);

class EitStore {
public:
    // heads[0] is table_id 0x4E, heads[k] table_id 0x4F + k for k = 1 to 16.
    static constexpr DWORD kListCount = 17;

    EitStore();
    virtual ~EitStore();
    EitStore(const EitStore&) = delete;
    EitStore& operator=(const EitStore&) = delete;

    // S_OK stored or replaced, S_FALSE same version already held, E_INVALIDARG refused, E_OUTOFMEMORY.
    HRESULT AddSection(DWORD length, const BYTE* bytes);
    // 0 nothing to report (no list for tableId, or no section 0 held), 1 incomplete, 2 complete.
    DWORD GetStatus(DWORD tableId) const;
    // Distinct section_numbers held for tableId; 0 for a table_id without a list.
    DWORD GetSectionCount(DWORD tableId) const;
    // E_POINTER when nothing matches (*out untouched); otherwise a copy with pid 0x0012 and
    // section_number = sectionNumber.
    HRESULT GetSection(DWORD tableId, DWORD sectionNumber, DWORD serviceId, StoredSection** out) const;
    // version_number of the matching section, -1 when none matches.
    LONG GetVersion(DWORD tableId, DWORD sectionNumber, DWORD serviceId) const;
    // Any non-zero flag means TRUE. Survives Reset.
    void SetResetOnVersionChange(DWORD flag);
    BOOL GetResetOnVersionChange() const { return reset_on_version_change; }
    // Empties all seventeen lists. Always TRUE.
    BOOL Reset();

    static HRESULT FreeSection(StoredSection** section);

    // The list of tableId (null when empty or when tableId has no list), for readers that walk it.
    const EitSectionNode* GetList(DWORD tableId) const;
    // The counter kept for tableId's list; 0 for a table_id without a list.
    DWORD GetListCounter(DWORD tableId) const;

private:
    EitSectionNode* heads[kListCount];
    DWORD section_counts[kListCount];
    BOOL reset_on_version_change;
    // Every node by list, section_number and service_id, in step with the lists.
    NodeIndex index;
};
