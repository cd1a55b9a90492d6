// ITableCollector's methods after IUnknown's, in the slot order applications and the property page call
// by: name, parameters, and harmless arguments written with `value` (ULONG) and `section`
// (StoredSection*). The recorder declares its methods from it, the slot test calls through it.
#pragma once

// clang-format off
#define QX_COLLECTOR_SLOTS(X) \
    X(ResetAllTables, (), ()) \
    X(SetRequestedPids, (ULONG count, const ULONG* pPids), (0, nullptr)) \
    X(IsRequestedPidSeen, (ULONG pid, ULONG* pSeen), (0, &value)) \
    X(UnmapRequestedPids, (), ()) \
    X(GetPatStatus, (ULONG* pStatus), (&value)) \
    X(GetPatSectionCount, (ULONG* pCount), (&value)) \
    X(GetPatSection, (ULONG index, StoredSection** ppSection), (0, &section)) \
    X(FreePatSection, (StoredSection** ppSection), (&section)) \
    X(ResetPat, (), ()) \
    X(GetPmtStatus, (ULONG* pStatus), (&value)) \
    X(GetPmtSectionCount, (ULONG* pCount), (&value)) \
    X(GetPmtSection, (ULONG pid, ULONG programNumber, StoredSection** ppSection), (0, 0, &section)) \
    X(FreePmtSection, (StoredSection** ppSection), (&section)) \
    X(ResetPmt, (), ()) \
    X(GetNitStatus, (ULONG key, ULONG* pStatus), (0, &value)) \
    X(GetNitSectionCount, (ULONG key, ULONG* pCount), (0, &value)) \
    X(GetNitSection, (ULONG key, ULONG index, StoredSection** ppSection), (0, 0, &section)) \
    X(FreeNitSection, (StoredSection** ppSection), (&section)) \
    X(ResetNit, (), ()) \
    X(GetBatStatus, (ULONG* pStatus), (&value)) \
    X(GetBatSectionCount, (ULONG* pCount), (&value)) \
    X(GetBatSection, (ULONG index, StoredSection** ppSection), (0, &section)) \
    X(FreeBatSection, (StoredSection** ppSection), (&section)) \
    X(ResetBat, (), ()) \
    X(GetSdtStatus, (ULONG key, ULONG* pStatus), (0, &value)) \
    X(GetSdtSectionCount, (ULONG key, ULONG* pCount), (0, &value)) \
    X(GetSdtSection, (ULONG key, ULONG index, StoredSection** ppSection), (0, 0, &section)) \
    X(FreeSdtSection, (StoredSection** ppSection), (&section)) \
    X(ResetSdt, (), ()) \
    X(GetEitStatus, (ULONG tableId, ULONG* pStatus), (0, &value)) \
    X(GetEitSectionCount, (ULONG tableId, ULONG* pCount), (0, &value)) \
    X(GetEitSection, (ULONG tableId, ULONG sectionNumber, ULONG serviceId, StoredSection** ppSection), (0, 0, 0, &section)) \
    X(FreeEitSection, (StoredSection** ppSection), (&section)) \
    X(ResetEit, (), ()) \
    X(SetEitResetOnVersionChange, (BOOL resetOnVersionChange), (FALSE)) \
    X(GetTdtStatus, (ULONG* pStatus), (&value)) \
    X(GetTdtSection, (StoredSection** ppSection), (&section)) \
    X(FreeTdtSection, (StoredSection** ppSection), (&section)) \
    X(ResetTdt, (), ()) \
    X(GetTotStatus, (ULONG* pStatus), (&value)) \
    X(GetTotSection, (StoredSection** ppSection), (&section)) \
    X(FreeTotSection, (StoredSection** ppSection), (&section)) \
    X(ResetTot, (), ()) \
    X(GetRstStatus, (ULONG* pStatus), (&value)) \
    X(GetRstSection, (StoredSection** ppSection), (&section)) \
    X(FreeRstSection, (StoredSection** ppSection), (&section)) \
    X(ResetRst, (), ()) \
    X(GetCatStatus, (ULONG* pStatus), (&value)) \
    X(GetCatSectionCount, (ULONG* pCount), (&value)) \
    X(GetCatSection, (ULONG index, StoredSection** ppSection), (0, &section)) \
    X(FreeCatSection, (StoredSection** ppSection), (&section)) \
    X(ResetCat, (), ()) \
    X(GetMgtStatus, (ULONG* pStatus), (&value)) \
    X(GetMgtSection, (StoredSection** ppSection), (&section)) \
    X(FreeMgtSection, (StoredSection** ppSection), (&section)) \
    X(ResetMgt, (), ()) \
    X(GetVctStatus, (ULONG* pStatus), (&value)) \
    X(GetVctSectionCount, (ULONG* pCount), (&value)) \
    X(GetVctSection, (ULONG index, StoredSection** ppSection), (0, &section)) \
    X(FreeVctSection, (StoredSection** ppSection), (&section)) \
    X(ResetVct, (), ()) \
    X(GetSttStatus, (ULONG* pStatus), (&value)) \
    X(GetSttSection, (StoredSection** ppSection), (&section)) \
    X(FreeSttSection, (StoredSection** ppSection), (&section)) \
    X(ResetStt, (), ()) \
    X(GetAtscEitStatus, (ULONG tableType, ULONG* pStatus), (0, &value)) \
    X(GetAtscEitSectionCount, (ULONG tableType, ULONG* pCount), (0, &value)) \
    X(GetAtscEitSection, (ULONG tableType, ULONG sectionNumber, ULONG sourceId, StoredSection** ppSection), (0, 0, 0, &section)) \
    X(FreeAtscEitSection, (StoredSection** ppSection), (&section)) \
    X(ResetAtscEit, (), ()) \
    X(SetAtscEitResetOnVersionChange, (BOOL resetOnVersionChange), (FALSE)) \
    X(GetEttSectionCount, (ULONG* pCount), (&value)) \
    X(GetEttSection, (ULONG etmId, StoredSection** ppSection), (0, &section)) \
    X(FreeEttSection, (StoredSection** ppSection), (&section)) \
    X(ResetEtt, (), ()) \
    X(EnableEttCollection, (BOOL collect), (FALSE))
// clang-format on
