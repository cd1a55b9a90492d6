// The PMT store: one PMT section per program the PAT announced, in slots keyed by (PID,
// program_number). The number of slots is the length of the input pin's PMT-PID list, handed in with
// every section.
#pragma once
#include "tables/SectionStore.h"

class PmtStore : public SectionStore {
public:
    PmtStore() = default;
    ~PmtStore() override = default;

    // S_OK stored (or dropped because every slot holds another program), S_FALSE already held,
    // E_INVALIDARG refused, E_OUTOFMEMORY.
    HRESULT AddSection(DWORD pid, DWORD pmtPidCount, DWORD length, const BYTE* bytes);
    // The first slot holding a section of pid and, unless programNumber is 0, of that program; -1 if none.
    LONG FindSlot(DWORD pid, DWORD programNumber) const;
    // E_FAIL when no slot matches (*out untouched); otherwise a copy with pid = pid, section_number 0.
    HRESULT GetSection(DWORD pid, DWORD programNumber, StoredSection** out) const;
};
