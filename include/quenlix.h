/* quenlix: the table-collecting filter's published interface.

   Applications include this header to read the PSI/SI sections the filter collects through
   ITableCollector. It offers a C++ view and a C view of the interface, as MIDL-generated headers do:
   C callers (or C++ callers that define CINTERFACE) get the vtable as the struct ITableCollectorVtbl,
   and with COBJMACROS the ITableCollector_Xxx(This, ...) call macros. */
#pragma once
#include <windows.h>
#include <unknwn.h>

#ifdef __cplusplus
extern "C" {
#endif

/* One held section, and the shape of every copy handed to a reader. The copy and its bytes belong to
   the caller until released through the matching FreeXxxSection method. */
typedef struct StoredSection {
    DWORD pid;            /* PID the section travelled on (13 significant bits) */
    DWORD section_number; /* slot index, equal to the section's section_number */
    DWORD length;         /* number of bytes in bytes: the whole sample as received */
    BYTE* bytes;          /* the section, header and CRC_32 included */
} StoredSection;

/* What every GetXxxStatus method writes. The two EIT groups also write TABLE_STATUS_NONE when nothing
   is held for the table_id or table_type asked about. */
#define TABLE_STATUS_NONE 0       /* the filter has no store for the table */
#define TABLE_STATUS_INCOMPLETE 1 /* some or all sections still missing, also when nothing is held */
#define TABLE_STATUS_COMPLETE 2   /* every section of the held version is there */

#ifdef __cplusplus
}
#endif

/* The identifiers. With the Windows SDK, DEFINE_GUID only declares them unless INITGUID is defined (or
   <initguid.h> included) before this header in one translation unit of the program. */
/* {DFC6A134-CB33-48FF-BCAF-7D20FE11F718} */
DEFINE_GUID(IID_ITableCollector, 0xdfc6a134, 0xcb33, 0x48ff, 0xbc, 0xaf, 0x7d, 0x20, 0xfe, 0x11, 0xf7, 0x18);
/* {13E1554D-A79F-4D21-BAA4-AFD0FF70F357}: the filter */
DEFINE_GUID(CLSID_TableCollectorFilter, 0x13e1554d, 0xa79f, 0x4d21, 0xba, 0xa4, 0xaf, 0xd0, 0xff, 0x70, 0xf3,
            0x57);
/* {33B3C363-A8EC-49DF-94E1-775EC9F71F6E}: its "Service Information" property page */
DEFINE_GUID(CLSID_TableCollectorPropertyPage, 0x33b3c363, 0xa8ec, 0x49df, 0x94, 0xe1, 0x77, 0x5e, 0xc9, 0xf7,
            0x1f, 0x6e);

/* ITableCollector: 76 methods after IUnknown, in this slot order (slot 3 is ResetAllTables). Every
   section handed out is a fresh copy the caller releases with the FreeXxxSection method of its group,
   which nulls the caller's pointer. Preset section pointers to null: reading a slot that has not been
   filled yet answers S_OK without a copy. */
typedef struct ITableCollector ITableCollector;

#if defined(__cplusplus) && !defined(CINTERFACE)

struct ITableCollector : public IUnknown {
    /* Control: PID mapping and the emptying of every table */
    virtual HRESULT STDMETHODCALLTYPE ResetAllTables() = 0;
    virtual HRESULT STDMETHODCALLTYPE SetRequestedPids(ULONG count, const ULONG* pPids) = 0;
    virtual HRESULT STDMETHODCALLTYPE IsRequestedPidSeen(ULONG pid, ULONG* pSeen) = 0;
    virtual HRESULT STDMETHODCALLTYPE UnmapRequestedPids() = 0;
    /* PAT */
    virtual HRESULT STDMETHODCALLTYPE GetPatStatus(ULONG* pStatus) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetPatSectionCount(ULONG* pCount) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetPatSection(ULONG index, StoredSection** ppSection) = 0;
    virtual HRESULT STDMETHODCALLTYPE FreePatSection(StoredSection** ppSection) = 0;
    virtual HRESULT STDMETHODCALLTYPE ResetPat() = 0;
    /* PMT: sections are keyed by (PID, program_number) */
    virtual HRESULT STDMETHODCALLTYPE GetPmtStatus(ULONG* pStatus) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetPmtSectionCount(ULONG* pCount) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetPmtSection(ULONG pid, ULONG programNumber,
                                                    StoredSection** ppSection) = 0;
    virtual HRESULT STDMETHODCALLTYPE FreePmtSection(StoredSection** ppSection) = 0;
    virtual HRESULT STDMETHODCALLTYPE ResetPmt() = 0;
    /* NIT of the actual network (the key is passed on and selects nothing) */
    virtual HRESULT STDMETHODCALLTYPE GetNitStatus(ULONG key, ULONG* pStatus) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetNitSectionCount(ULONG key, ULONG* pCount) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetNitSection(ULONG key, ULONG index, StoredSection** ppSection) = 0;
    virtual HRESULT STDMETHODCALLTYPE FreeNitSection(StoredSection** ppSection) = 0;
    virtual HRESULT STDMETHODCALLTYPE ResetNit() = 0;
    /* BAT */
    virtual HRESULT STDMETHODCALLTYPE GetBatStatus(ULONG* pStatus) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetBatSectionCount(ULONG* pCount) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetBatSection(ULONG index, StoredSection** ppSection) = 0;
    virtual HRESULT STDMETHODCALLTYPE FreeBatSection(StoredSection** ppSection) = 0;
    virtual HRESULT STDMETHODCALLTYPE ResetBat() = 0;
    /* SDT of the actual transport stream (the key selects nothing) */
    virtual HRESULT STDMETHODCALLTYPE GetSdtStatus(ULONG key, ULONG* pStatus) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetSdtSectionCount(ULONG key, ULONG* pCount) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetSdtSection(ULONG key, ULONG index, StoredSection** ppSection) = 0;
    virtual HRESULT STDMETHODCALLTYPE FreeSdtSection(StoredSection** ppSection) = 0;
    virtual HRESULT STDMETHODCALLTYPE ResetSdt() = 0;
    /* DVB EIT: table_id 0x4E or 0x50 to 0x5F */
    virtual HRESULT STDMETHODCALLTYPE GetEitStatus(ULONG tableId, ULONG* pStatus) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetEitSectionCount(ULONG tableId, ULONG* pCount) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetEitSection(ULONG tableId, ULONG sectionNumber, ULONG serviceId,
                                                    StoredSection** ppSection) = 0;
    virtual HRESULT STDMETHODCALLTYPE FreeEitSection(StoredSection** ppSection) = 0;
    virtual HRESULT STDMETHODCALLTYPE ResetEit() = 0;
    virtual HRESULT STDMETHODCALLTYPE SetEitResetOnVersionChange(BOOL resetOnVersionChange) = 0;
    /* TDT */
    virtual HRESULT STDMETHODCALLTYPE GetTdtStatus(ULONG* pStatus) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetTdtSection(StoredSection** ppSection) = 0;
    virtual HRESULT STDMETHODCALLTYPE FreeTdtSection(StoredSection** ppSection) = 0;
    virtual HRESULT STDMETHODCALLTYPE ResetTdt() = 0;
    /* TOT */
    virtual HRESULT STDMETHODCALLTYPE GetTotStatus(ULONG* pStatus) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetTotSection(StoredSection** ppSection) = 0;
    virtual HRESULT STDMETHODCALLTYPE FreeTotSection(StoredSection** ppSection) = 0;
    virtual HRESULT STDMETHODCALLTYPE ResetTot() = 0;
    /* RST */
    virtual HRESULT STDMETHODCALLTYPE GetRstStatus(ULONG* pStatus) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetRstSection(StoredSection** ppSection) = 0;
    virtual HRESULT STDMETHODCALLTYPE FreeRstSection(StoredSection** ppSection) = 0;
    virtual HRESULT STDMETHODCALLTYPE ResetRst() = 0;
    /* CAT */
    virtual HRESULT STDMETHODCALLTYPE GetCatStatus(ULONG* pStatus) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetCatSectionCount(ULONG* pCount) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetCatSection(ULONG index, StoredSection** ppSection) = 0;
    virtual HRESULT STDMETHODCALLTYPE FreeCatSection(StoredSection** ppSection) = 0;
    virtual HRESULT STDMETHODCALLTYPE ResetCat() = 0;
    /* ATSC MGT */
    virtual HRESULT STDMETHODCALLTYPE GetMgtStatus(ULONG* pStatus) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetMgtSection(StoredSection** ppSection) = 0;
    virtual HRESULT STDMETHODCALLTYPE FreeMgtSection(StoredSection** ppSection) = 0;
    virtual HRESULT STDMETHODCALLTYPE ResetMgt() = 0;
    /* ATSC terrestrial VCT */
    virtual HRESULT STDMETHODCALLTYPE GetVctStatus(ULONG* pStatus) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetVctSectionCount(ULONG* pCount) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetVctSection(ULONG index, StoredSection** ppSection) = 0;
    virtual HRESULT STDMETHODCALLTYPE FreeVctSection(StoredSection** ppSection) = 0;
    virtual HRESULT STDMETHODCALLTYPE ResetVct() = 0;
    /* ATSC STT */
    virtual HRESULT STDMETHODCALLTYPE GetSttStatus(ULONG* pStatus) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetSttSection(StoredSection** ppSection) = 0;
    virtual HRESULT STDMETHODCALLTYPE FreeSttSection(StoredSection** ppSection) = 0;
    virtual HRESULT STDMETHODCALLTYPE ResetStt() = 0;
    /* ATSC EIT: table_type 0x0100 to 0x017F (EIT-0 to EIT-127) */
    virtual HRESULT STDMETHODCALLTYPE GetAtscEitStatus(ULONG tableType, ULONG* pStatus) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetAtscEitSectionCount(ULONG tableType, ULONG* pCount) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetAtscEitSection(ULONG tableType, ULONG sectionNumber, ULONG sourceId,
                                                        StoredSection** ppSection) = 0;
    virtual HRESULT STDMETHODCALLTYPE FreeAtscEitSection(StoredSection** ppSection) = 0;
    virtual HRESULT STDMETHODCALLTYPE ResetAtscEit() = 0;
    virtual HRESULT STDMETHODCALLTYPE SetAtscEitResetOnVersionChange(BOOL resetOnVersionChange) = 0;
    /* ATSC ETT, keyed by ETM_id */
    virtual HRESULT STDMETHODCALLTYPE GetEttSectionCount(ULONG* pCount) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetEttSection(ULONG etmId, StoredSection** ppSection) = 0;
    virtual HRESULT STDMETHODCALLTYPE FreeEttSection(StoredSection** ppSection) = 0;
    virtual HRESULT STDMETHODCALLTYPE ResetEtt() = 0;
    virtual HRESULT STDMETHODCALLTYPE EnableEttCollection(BOOL collect) = 0;
};

#else

typedef struct ITableCollectorVtbl {
    HRESULT(STDMETHODCALLTYPE* QueryInterface)(ITableCollector* This, REFIID riid, void** ppvObject);
    ULONG(STDMETHODCALLTYPE* AddRef)(ITableCollector* This);
    ULONG(STDMETHODCALLTYPE* Release)(ITableCollector* This);
    /* Control: PID mapping and the emptying of every table */
    HRESULT(STDMETHODCALLTYPE* ResetAllTables)(ITableCollector* This);
    HRESULT(STDMETHODCALLTYPE* SetRequestedPids)(ITableCollector* This, ULONG count, const ULONG* pPids);
    HRESULT(STDMETHODCALLTYPE* IsRequestedPidSeen)(ITableCollector* This, ULONG pid, ULONG* pSeen);
    HRESULT(STDMETHODCALLTYPE* UnmapRequestedPids)(ITableCollector* This);
    /* PAT */
    HRESULT(STDMETHODCALLTYPE* GetPatStatus)(ITableCollector* This, ULONG* pStatus);
    HRESULT(STDMETHODCALLTYPE* GetPatSectionCount)(ITableCollector* This, ULONG* pCount);
    HRESULT(STDMETHODCALLTYPE* GetPatSection)(ITableCollector* This, ULONG index, StoredSection** ppSection);
    HRESULT(STDMETHODCALLTYPE* FreePatSection)(ITableCollector* This, StoredSection** ppSection);
    HRESULT(STDMETHODCALLTYPE* ResetPat)(ITableCollector* This);
    /* PMT: sections are keyed by (PID, program_number) */
    HRESULT(STDMETHODCALLTYPE* GetPmtStatus)(ITableCollector* This, ULONG* pStatus);
    HRESULT(STDMETHODCALLTYPE* GetPmtSectionCount)(ITableCollector* This, ULONG* pCount);
    HRESULT(STDMETHODCALLTYPE* GetPmtSection)
    (ITableCollector* This, ULONG pid, ULONG programNumber, StoredSection** ppSection);
    HRESULT(STDMETHODCALLTYPE* FreePmtSection)(ITableCollector* This, StoredSection** ppSection);
    HRESULT(STDMETHODCALLTYPE* ResetPmt)(ITableCollector* This);
    /* NIT of the actual network (the key is passed on and selects nothing) */
    HRESULT(STDMETHODCALLTYPE* GetNitStatus)(ITableCollector* This, ULONG key, ULONG* pStatus);
    HRESULT(STDMETHODCALLTYPE* GetNitSectionCount)(ITableCollector* This, ULONG key, ULONG* pCount);
    HRESULT(STDMETHODCALLTYPE* GetNitSection)
    (ITableCollector* This, ULONG key, ULONG index, StoredSection** ppSection);
    HRESULT(STDMETHODCALLTYPE* FreeNitSection)(ITableCollector* This, StoredSection** ppSection);
    HRESULT(STDMETHODCALLTYPE* ResetNit)(ITableCollector* This);
    /* BAT */
    HRESULT(STDMETHODCALLTYPE* GetBatStatus)(ITableCollector* This, ULONG* pStatus);
    HRESULT(STDMETHODCALLTYPE* GetBatSectionCount)(ITableCollector* This, ULONG* pCount);
    HRESULT(STDMETHODCALLTYPE* GetBatSection)(ITableCollector* This, ULONG index, StoredSection** ppSection);
    HRESULT(STDMETHODCALLTYPE* FreeBatSection)(ITableCollector* This, StoredSection** ppSection);
    HRESULT(STDMETHODCALLTYPE* ResetBat)(ITableCollector* This);
    /* SDT of the actual transport stream (the key selects nothing) */
    HRESULT(STDMETHODCALLTYPE* GetSdtStatus)(ITableCollector* This, ULONG key, ULONG* pStatus);
    HRESULT(STDMETHODCALLTYPE* GetSdtSectionCount)(ITableCollector* This, ULONG key, ULONG* pCount);
    HRESULT(STDMETHODCALLTYPE* GetSdtSection)
    (ITableCollector* This, ULONG key, ULONG index, StoredSection** ppSection);
    HRESULT(STDMETHODCALLTYPE* FreeSdtSection)(ITableCollector* This, StoredSection** ppSection);
    HRESULT(STDMETHODCALLTYPE* ResetSdt)(ITableCollector* This);
    /* DVB EIT: table_id 0x4E or 0x50 to 0x5F */
    HRESULT(STDMETHODCALLTYPE* GetEitStatus)(ITableCollector* This, ULONG tableId, ULONG* pStatus);
    HRESULT(STDMETHODCALLTYPE* GetEitSectionCount)(ITableCollector* This, ULONG tableId, ULONG* pCount);
    HRESULT(STDMETHODCALLTYPE* GetEitSection)
    (ITableCollector* This, ULONG tableId, ULONG sectionNumber, ULONG serviceId, StoredSection** ppSection);
    HRESULT(STDMETHODCALLTYPE* FreeEitSection)(ITableCollector* This, StoredSection** ppSection);
    HRESULT(STDMETHODCALLTYPE* ResetEit)(ITableCollector* This);
    HRESULT(STDMETHODCALLTYPE* SetEitResetOnVersionChange)(ITableCollector* This, BOOL resetOnVersionChange);
    /* TDT */
    HRESULT(STDMETHODCALLTYPE* GetTdtStatus)(ITableCollector* This, ULONG* pStatus);
    HRESULT(STDMETHODCALLTYPE* GetTdtSection)(ITableCollector* This, StoredSection** ppSection);
    HRESULT(STDMETHODCALLTYPE* FreeTdtSection)(ITableCollector* This, StoredSection** ppSection);
    HRESULT(STDMETHODCALLTYPE* ResetTdt)(ITableCollector* This);
    /* TOT */
    HRESULT(STDMETHODCALLTYPE* GetTotStatus)(ITableCollector* This, ULONG* pStatus);
    HRESULT(STDMETHODCALLTYPE* GetTotSection)(ITableCollector* This, StoredSection** ppSection);
    HRESULT(STDMETHODCALLTYPE* FreeTotSection)(ITableCollector* This, StoredSection** ppSection);
    HRESULT(STDMETHODCALLTYPE* ResetTot)(ITableCollector* This);
    /* RST */
    HRESULT(STDMETHODCALLTYPE* GetRstStatus)(ITableCollector* This, ULONG* pStatus);
    HRESULT(STDMETHODCALLTYPE* GetRstSection)(ITableCollector* This, StoredSection** ppSection);
    HRESULT(STDMETHODCALLTYPE* FreeRstSection)(ITableCollector* This, StoredSection** ppSection);
    HRESULT(STDMETHODCALLTYPE* ResetRst)(ITableCollector* This);
    /* CAT */
    HRESULT(STDMETHODCALLTYPE* GetCatStatus)(ITableCollector* This, ULONG* pStatus);
    HRESULT(STDMETHODCALLTYPE* GetCatSectionCount)(ITableCollector* This, ULONG* pCount);
    HRESULT(STDMETHODCALLTYPE* GetCatSection)(ITableCollector* This, ULONG index, StoredSection** ppSection);
    HRESULT(STDMETHODCALLTYPE* FreeCatSection)(ITableCollector* This, StoredSection** ppSection);
    HRESULT(STDMETHODCALLTYPE* ResetCat)(ITableCollector* This);
    /* ATSC MGT */
    HRESULT(STDMETHODCALLTYPE* GetMgtStatus)(ITableCollector* This, ULONG* pStatus);
    HRESULT(STDMETHODCALLTYPE* GetMgtSection)(ITableCollector* This, StoredSection** ppSection);
    HRESULT(STDMETHODCALLTYPE* FreeMgtSection)(ITableCollector* This, StoredSection** ppSection);
    HRESULT(STDMETHODCALLTYPE* ResetMgt)(ITableCollector* This);
    /* ATSC terrestrial VCT */
    HRESULT(STDMETHODCALLTYPE* GetVctStatus)(ITableCollector* This, ULONG* pStatus);
    HRESULT(STDMETHODCALLTYPE* GetVctSectionCount)(ITableCollector* This, ULONG* pCount);
    HRESULT(STDMETHODCALLTYPE* GetVctSection)(ITableCollector* This, ULONG index, StoredSection** ppSection);
    HRESULT(STDMETHODCALLTYPE* FreeVctSection)(ITableCollector* This, StoredSection** ppSection);
    HRESULT(STDMETHODCALLTYPE* ResetVct)(ITableCollector* This);
    /* ATSC STT */
    HRESULT(STDMETHODCALLTYPE* GetSttStatus)(ITableCollector* This, ULONG* pStatus);
    HRESULT(STDMETHODCALLTYPE* GetSttSection)(ITableCollector* This, StoredSection** ppSection);
    HRESULT(STDMETHODCALLTYPE* FreeSttSection)(ITableCollector* This, StoredSection** ppSection);
    HRESULT(STDMETHODCALLTYPE* ResetStt)(ITableCollector* This);
    /* ATSC EIT: table_type 0x0100 to 0x017F (EIT-0 to EIT-127) */
    HRESULT(STDMETHODCALLTYPE* GetAtscEitStatus)(ITableCollector* This, ULONG tableType, ULONG* pStatus);
    HRESULT(STDMETHODCALLTYPE* GetAtscEitSectionCount)(ITableCollector* This, ULONG tableType, ULONG* pCount);
    HRESULT(STDMETHODCALLTYPE* GetAtscEitSection)
    (ITableCollector* This, ULONG tableType, ULONG sectionNumber, ULONG sourceId, StoredSection** ppSection);
    HRESULT(STDMETHODCALLTYPE* FreeAtscEitSection)(ITableCollector* This, StoredSection** ppSection);
    HRESULT(STDMETHODCALLTYPE* ResetAtscEit)(ITableCollector* This);
    HRESULT(STDMETHODCALLTYPE* SetAtscEitResetOnVersionChange)
    (ITableCollector* This, BOOL resetOnVersionChange);
    /* ATSC ETT, keyed by ETM_id */
    HRESULT(STDMETHODCALLTYPE* GetEttSectionCount)(ITableCollector* This, ULONG* pCount);
    HRESULT(STDMETHODCALLTYPE* GetEttSection)(ITableCollector* This, ULONG etmId, StoredSection** ppSection);
    HRESULT(STDMETHODCALLTYPE* FreeEttSection)(ITableCollector* This, StoredSection** ppSection);
    HRESULT(STDMETHODCALLTYPE* ResetEtt)(ITableCollector* This);
    HRESULT(STDMETHODCALLTYPE* EnableEttCollection)(ITableCollector* This, BOOL collect);

} ITableCollectorVtbl;

struct ITableCollector {
    const ITableCollectorVtbl* lpVtbl;
};

#ifdef COBJMACROS
#define ITableCollector_QueryInterface(This, riid, ppvObject)                                                \
    ((This)->lpVtbl->QueryInterface(This, riid, ppvObject))
#define ITableCollector_AddRef(This) ((This)->lpVtbl->AddRef(This))
#define ITableCollector_Release(This) ((This)->lpVtbl->Release(This))
/* Control: PID mapping and the emptying of every table */
#define ITableCollector_ResetAllTables(This) ((This)->lpVtbl->ResetAllTables(This))
#define ITableCollector_SetRequestedPids(This, count, pPids)                                                 \
    ((This)->lpVtbl->SetRequestedPids(This, count, pPids))
#define ITableCollector_IsRequestedPidSeen(This, pid, pSeen)                                                 \
    ((This)->lpVtbl->IsRequestedPidSeen(This, pid, pSeen))
#define ITableCollector_UnmapRequestedPids(This) ((This)->lpVtbl->UnmapRequestedPids(This))
/* PAT */
#define ITableCollector_GetPatStatus(This, pStatus) ((This)->lpVtbl->GetPatStatus(This, pStatus))
#define ITableCollector_GetPatSectionCount(This, pCount) ((This)->lpVtbl->GetPatSectionCount(This, pCount))
#define ITableCollector_GetPatSection(This, index, ppSection)                                                \
    ((This)->lpVtbl->GetPatSection(This, index, ppSection))
#define ITableCollector_FreePatSection(This, ppSection) ((This)->lpVtbl->FreePatSection(This, ppSection))
#define ITableCollector_ResetPat(This) ((This)->lpVtbl->ResetPat(This))
/* PMT: sections are keyed by (PID, program_number) */
#define ITableCollector_GetPmtStatus(This, pStatus) ((This)->lpVtbl->GetPmtStatus(This, pStatus))
#define ITableCollector_GetPmtSectionCount(This, pCount) ((This)->lpVtbl->GetPmtSectionCount(This, pCount))
#define ITableCollector_GetPmtSection(This, pid, programNumber, ppSection)                                   \
    ((This)->lpVtbl->GetPmtSection(This, pid, programNumber, ppSection))
#define ITableCollector_FreePmtSection(This, ppSection) ((This)->lpVtbl->FreePmtSection(This, ppSection))
#define ITableCollector_ResetPmt(This) ((This)->lpVtbl->ResetPmt(This))
/* NIT of the actual network (the key is passed on and selects nothing) */
#define ITableCollector_GetNitStatus(This, key, pStatus) ((This)->lpVtbl->GetNitStatus(This, key, pStatus))
#define ITableCollector_GetNitSectionCount(This, key, pCount)                                                \
    ((This)->lpVtbl->GetNitSectionCount(This, key, pCount))
#define ITableCollector_GetNitSection(This, key, index, ppSection)                                           \
    ((This)->lpVtbl->GetNitSection(This, key, index, ppSection))
#define ITableCollector_FreeNitSection(This, ppSection) ((This)->lpVtbl->FreeNitSection(This, ppSection))
#define ITableCollector_ResetNit(This) ((This)->lpVtbl->ResetNit(This))
/* BAT */
#define ITableCollector_GetBatStatus(This, pStatus) ((This)->lpVtbl->GetBatStatus(This, pStatus))
#define ITableCollector_GetBatSectionCount(This, pCount) ((This)->lpVtbl->GetBatSectionCount(This, pCount))
#define ITableCollector_GetBatSection(This, index, ppSection)                                                \
    ((This)->lpVtbl->GetBatSection(This, index, ppSection))
#define ITableCollector_FreeBatSection(This, ppSection) ((This)->lpVtbl->FreeBatSection(This, ppSection))
#define ITableCollector_ResetBat(This) ((This)->lpVtbl->ResetBat(This))
/* SDT of the actual transport stream (the key selects nothing) */
#define ITableCollector_GetSdtStatus(This, key, pStatus) ((This)->lpVtbl->GetSdtStatus(This, key, pStatus))
#define ITableCollector_GetSdtSectionCount(This, key, pCount)                                                \
    ((This)->lpVtbl->GetSdtSectionCount(This, key, pCount))
#define ITableCollector_GetSdtSection(This, key, index, ppSection)                                           \
    ((This)->lpVtbl->GetSdtSection(This, key, index, ppSection))
#define ITableCollector_FreeSdtSection(This, ppSection) ((This)->lpVtbl->FreeSdtSection(This, ppSection))
#define ITableCollector_ResetSdt(This) ((This)->lpVtbl->ResetSdt(This))
/* DVB EIT: table_id 0x4E or 0x50 to 0x5F */
#define ITableCollector_GetEitStatus(This, tableId, pStatus)                                                 \
    ((This)->lpVtbl->GetEitStatus(This, tableId, pStatus))
#define ITableCollector_GetEitSectionCount(This, tableId, pCount)                                            \
    ((This)->lpVtbl->GetEitSectionCount(This, tableId, pCount))
#define ITableCollector_GetEitSection(This, tableId, sectionNumber, serviceId, ppSection)                    \
    ((This)->lpVtbl->GetEitSection(This, tableId, sectionNumber, serviceId, ppSection))
#define ITableCollector_FreeEitSection(This, ppSection) ((This)->lpVtbl->FreeEitSection(This, ppSection))
#define ITableCollector_ResetEit(This) ((This)->lpVtbl->ResetEit(This))
#define ITableCollector_SetEitResetOnVersionChange(This, resetOnVersionChange)                               \
    ((This)->lpVtbl->SetEitResetOnVersionChange(This, resetOnVersionChange))
/* TDT */
#define ITableCollector_GetTdtStatus(This, pStatus) ((This)->lpVtbl->GetTdtStatus(This, pStatus))
#define ITableCollector_GetTdtSection(This, ppSection) ((This)->lpVtbl->GetTdtSection(This, ppSection))
#define ITableCollector_FreeTdtSection(This, ppSection) ((This)->lpVtbl->FreeTdtSection(This, ppSection))
#define ITableCollector_ResetTdt(This) ((This)->lpVtbl->ResetTdt(This))
/* TOT */
#define ITableCollector_GetTotStatus(This, pStatus) ((This)->lpVtbl->GetTotStatus(This, pStatus))
#define ITableCollector_GetTotSection(This, ppSection) ((This)->lpVtbl->GetTotSection(This, ppSection))
#define ITableCollector_FreeTotSection(This, ppSection) ((This)->lpVtbl->FreeTotSection(This, ppSection))
#define ITableCollector_ResetTot(This) ((This)->lpVtbl->ResetTot(This))
/* RST */
#define ITableCollector_GetRstStatus(This, pStatus) ((This)->lpVtbl->GetRstStatus(This, pStatus))
#define ITableCollector_GetRstSection(This, ppSection) ((This)->lpVtbl->GetRstSection(This, ppSection))
#define ITableCollector_FreeRstSection(This, ppSection) ((This)->lpVtbl->FreeRstSection(This, ppSection))
#define ITableCollector_ResetRst(This) ((This)->lpVtbl->ResetRst(This))
/* CAT */
#define ITableCollector_GetCatStatus(This, pStatus) ((This)->lpVtbl->GetCatStatus(This, pStatus))
#define ITableCollector_GetCatSectionCount(This, pCount) ((This)->lpVtbl->GetCatSectionCount(This, pCount))
#define ITableCollector_GetCatSection(This, index, ppSection)                                                \
    ((This)->lpVtbl->GetCatSection(This, index, ppSection))
#define ITableCollector_FreeCatSection(This, ppSection) ((This)->lpVtbl->FreeCatSection(This, ppSection))
#define ITableCollector_ResetCat(This) ((This)->lpVtbl->ResetCat(This))
/* ATSC MGT */
#define ITableCollector_GetMgtStatus(This, pStatus) ((This)->lpVtbl->GetMgtStatus(This, pStatus))
#define ITableCollector_GetMgtSection(This, ppSection) ((This)->lpVtbl->GetMgtSection(This, ppSection))
#define ITableCollector_FreeMgtSection(This, ppSection) ((This)->lpVtbl->FreeMgtSection(This, ppSection))
#define ITableCollector_ResetMgt(This) ((This)->lpVtbl->ResetMgt(This))
/* ATSC terrestrial VCT */
#define ITableCollector_GetVctStatus(This, pStatus) ((This)->lpVtbl->GetVctStatus(This, pStatus))
#define ITableCollector_GetVctSectionCount(This, pCount) ((This)->lpVtbl->GetVctSectionCount(This, pCount))
#define ITableCollector_GetVctSection(This, index, ppSection)                                                \
    ((This)->lpVtbl->GetVctSection(This, index, ppSection))
#define ITableCollector_FreeVctSection(This, ppSection) ((This)->lpVtbl->FreeVctSection(This, ppSection))
#define ITableCollector_ResetVct(This) ((This)->lpVtbl->ResetVct(This))
/* ATSC STT */
#define ITableCollector_GetSttStatus(This, pStatus) ((This)->lpVtbl->GetSttStatus(This, pStatus))
#define ITableCollector_GetSttSection(This, ppSection) ((This)->lpVtbl->GetSttSection(This, ppSection))
#define ITableCollector_FreeSttSection(This, ppSection) ((This)->lpVtbl->FreeSttSection(This, ppSection))
#define ITableCollector_ResetStt(This) ((This)->lpVtbl->ResetStt(This))
/* ATSC EIT: table_type 0x0100 to 0x017F (EIT-0 to EIT-127) */
#define ITableCollector_GetAtscEitStatus(This, tableType, pStatus)                                           \
    ((This)->lpVtbl->GetAtscEitStatus(This, tableType, pStatus))
#define ITableCollector_GetAtscEitSectionCount(This, tableType, pCount)                                      \
    ((This)->lpVtbl->GetAtscEitSectionCount(This, tableType, pCount))
#define ITableCollector_GetAtscEitSection(This, tableType, sectionNumber, sourceId, ppSection)               \
    ((This)->lpVtbl->GetAtscEitSection(This, tableType, sectionNumber, sourceId, ppSection))
#define ITableCollector_FreeAtscEitSection(This, ppSection)                                                  \
    ((This)->lpVtbl->FreeAtscEitSection(This, ppSection))
#define ITableCollector_ResetAtscEit(This) ((This)->lpVtbl->ResetAtscEit(This))
#define ITableCollector_SetAtscEitResetOnVersionChange(This, resetOnVersionChange)                           \
    ((This)->lpVtbl->SetAtscEitResetOnVersionChange(This, resetOnVersionChange))
/* ATSC ETT, keyed by ETM_id */
#define ITableCollector_GetEttSectionCount(This, pCount) ((This)->lpVtbl->GetEttSectionCount(This, pCount))
#define ITableCollector_GetEttSection(This, etmId, ppSection)                                                \
    ((This)->lpVtbl->GetEttSection(This, etmId, ppSection))
#define ITableCollector_FreeEttSection(This, ppSection) ((This)->lpVtbl->FreeEttSection(This, ppSection))
#define ITableCollector_ResetEtt(This) ((This)->lpVtbl->ResetEtt(This))
#define ITableCollector_EnableEttCollection(This, collect)                                                   \
    ((This)->lpVtbl->EnableEttCollection(This, collect))

#endif /* COBJMACROS */

#endif
