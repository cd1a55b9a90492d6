// ITableCollector on the filter. Every method takes the section lock for its whole run (a scope guard,
// so it is left on every way out), tests the store or pin it works on, and forwards to one operation.
// The repeated method shapes live in the helpers below; each method states which one it follows.
#include "filter/TableCollectorFilter.h"

#include "intake/TableCollectorInputPin.h"
#include "tables/AtscEitStore.h"
#include "tables/BatStore.h"
#include "tables/CatStore.h"
#include "tables/EitStore.h"
#include "tables/EttStore.h"
#include "tables/MgtStore.h"
#include "tables/NitStore.h"
#include "tables/PatStore.h"
#include "tables/PmtStore.h"
#include "tables/RstStore.h"
#include "tables/SdtStore.h"
#include "tables/SttStore.h"
#include "tables/TdtStore.h"
#include "tables/TotStore.h"
#include "tables/VctStore.h"
#include "tables/section.h"

namespace {

// Status shape: 1 at once, 0 without a store, otherwise what answer() makes of the store. Always S_OK.
template <class Store, class Answer> HRESULT StatusOf(Store* store, ULONG* pStatus, Answer answer) {
    *pStatus = TABLE_STATUS_INCOMPLETE;
    if (store == nullptr) {
        *pStatus = TABLE_STATUS_NONE;
        return S_OK;
    }
    *pStatus = answer(*store);
    return S_OK;
}

// The completion test of the section-set and single-section stores, as a status value.
template <class Store> ULONG Completion(Store& store) {
    return store.IsComplete() ? TABLE_STATUS_COMPLETE : TABLE_STATUS_INCOMPLETE;
}

// Value shape: E_POINTER without a store (nothing written), else the store's count and S_OK.
template <class Store, class Count> HRESULT ValueOf(Store* store, ULONG* pValue, Count count) {
    if (store == nullptr) {
        return E_POINTER;
    }
    *pValue = count(*store);
    return S_OK;
}

// Forwarding shape: E_POINTER without a store, else exactly what the store operation answers.
template <class Store, class Operation> HRESULT Forward(Store* store, Operation operation) {
    if (store == nullptr) {
        return E_POINTER;
    }
    return operation(*store);
}

// The shared release of a copy; the group's store only has to exist.
HRESULT ReleaseCopy(const void* store, StoredSection** ppSection) {
    if (store == nullptr) {
        return E_POINTER;
    }
    return FreeSection(ppSection);
}

// Reset shape: E_POINTER without a store, else S_OK or E_FAIL as the store's Reset reports.
template <class Store> HRESULT ResetOf(Store* store) {
    if (store == nullptr) {
        return E_POINTER;
    }
    return store->Reset() ? S_OK : E_FAIL;
}

// Setter shape: E_POINTER without a store, else the flag is handed on and the answer is S_OK.
template <class Store, class Set> HRESULT SetterOf(Store* store, Set set) {
    if (store == nullptr) {
        return E_POINTER;
    }
    set(*store);
    return S_OK;
}

// Emptying a store for ResetAllTables, whose answer ignores the stores'.
template <class Store> void EmptyIfPresent(Store* store) {
    if (store != nullptr) {
        store->Reset();
    }
}

} // namespace

// --- Control: act on what exists and answer S_OK; the pin's answers are not passed on.

STDMETHODIMP TableCollectorFilter::ResetAllTables() {
    // The section lock is recursive: the pin's BeginFlush calls this with it already held.
    CAutoLock lock(&m_csSection);
    if (m_pInputPin != nullptr) {
        m_pInputPin->ResetPidMapping();
    }
    EmptyIfPresent(m_pPatStore);
    EmptyIfPresent(m_pPmtStore);
    EmptyIfPresent(m_pCatStore);
    EmptyIfPresent(m_pNitStore);
    EmptyIfPresent(m_pBatStore);
    EmptyIfPresent(m_pSdtStore);
    EmptyIfPresent(m_pEitStore);
    EmptyIfPresent(m_pTdtStore);
    EmptyIfPresent(m_pTotStore);
    EmptyIfPresent(m_pRstStore);
    EmptyIfPresent(m_pMgtStore);
    EmptyIfPresent(m_pVctStore);
    EmptyIfPresent(m_pSttStore);
    EmptyIfPresent(m_pAtscEitStore);
    EmptyIfPresent(m_pEttStore);
    return S_OK;
}

STDMETHODIMP TableCollectorFilter::SetRequestedPids(ULONG count, const ULONG* pPids) {
    CAutoLock lock(&m_csSection);
    if (m_pInputPin != nullptr) {
        m_pInputPin->SetRequestedPids(count, pPids);
    }
    return S_OK;
}

STDMETHODIMP TableCollectorFilter::IsRequestedPidSeen(ULONG pid, ULONG* pSeen) {
    CAutoLock lock(&m_csSection);
    if (m_pInputPin != nullptr) {
        *pSeen = m_pInputPin->IsRequestedPidSeen(pid) ? 1 : 0;
    }
    return S_OK;
}

STDMETHODIMP TableCollectorFilter::UnmapRequestedPids() {
    CAutoLock lock(&m_csSection);
    if (m_pInputPin != nullptr) {
        m_pInputPin->UnmapRequestedPids();
    }
    return S_OK;
}

// --- PAT. GetPatSection: E_INVALIDARG past the count, S_OK without a copy for an unfilled slot,
// E_OUTOFMEMORY with a null pointer when the copy cannot be made; copies carry pid 0.

STDMETHODIMP TableCollectorFilter::GetPatStatus(ULONG* pStatus) {
    CAutoLock lock(&m_csSection);
    return StatusOf(m_pPatStore, pStatus, Completion<PatStore>);
}

STDMETHODIMP TableCollectorFilter::GetPatSectionCount(ULONG* pCount) {
    CAutoLock lock(&m_csSection);
    return ValueOf(m_pPatStore, pCount, [](PatStore& s) { return s.GetSectionCount(); });
}

STDMETHODIMP TableCollectorFilter::GetPatSection(ULONG index, StoredSection** ppSection) {
    CAutoLock lock(&m_csSection);
    return Forward(m_pPatStore, [&](PatStore& s) { return s.GetSection(index, ppSection); });
}

STDMETHODIMP TableCollectorFilter::FreePatSection(StoredSection** ppSection) {
    CAutoLock lock(&m_csSection);
    return ReleaseCopy(m_pPatStore, ppSection);
}

STDMETHODIMP TableCollectorFilter::ResetPat() {
    CAutoLock lock(&m_csSection);
    // A new PAT must be acted on again, so the pin forgets the one it had, even without a PAT store.
    if (m_pInputPin != nullptr) {
        m_pInputPin->ResetPidMapping();
    }
    return ResetOf(m_pPatStore);
}

// --- PMT. GetPmtSection: E_FAIL when no slot holds (pid, program_number); program_number 0 takes
// the first slot of the PID. The copy carries the pid asked for. ResetPmt leaves the PID mapping.

STDMETHODIMP TableCollectorFilter::GetPmtStatus(ULONG* pStatus) {
    CAutoLock lock(&m_csSection);
    return StatusOf(m_pPmtStore, pStatus, Completion<PmtStore>);
}

STDMETHODIMP TableCollectorFilter::GetPmtSectionCount(ULONG* pCount) {
    CAutoLock lock(&m_csSection);
    return ValueOf(m_pPmtStore, pCount, [](PmtStore& s) { return s.GetSectionCount(); });
}

STDMETHODIMP TableCollectorFilter::GetPmtSection(ULONG pid, ULONG programNumber, StoredSection** ppSection) {
    CAutoLock lock(&m_csSection);
    return Forward(m_pPmtStore, [&](PmtStore& s) { return s.GetSection(pid, programNumber, ppSection); });
}

STDMETHODIMP TableCollectorFilter::FreePmtSection(StoredSection** ppSection) {
    CAutoLock lock(&m_csSection);
    return ReleaseCopy(m_pPmtStore, ppSection);
}

STDMETHODIMP TableCollectorFilter::ResetPmt() {
    CAutoLock lock(&m_csSection);
    return ResetOf(m_pPmtStore);
}

// --- NIT. The key is handed on; the store holds only the actual network's NIT. Section codes as
// the PAT's; copies carry pid 0x0010.

STDMETHODIMP TableCollectorFilter::GetNitStatus(ULONG key, ULONG* pStatus) {
    CAutoLock lock(&m_csSection);
    return StatusOf(m_pNitStore, pStatus, [&](NitStore& s) {
        return s.IsComplete(key) ? TABLE_STATUS_COMPLETE : TABLE_STATUS_INCOMPLETE;
    });
}

STDMETHODIMP TableCollectorFilter::GetNitSectionCount(ULONG key, ULONG* pCount) {
    CAutoLock lock(&m_csSection);
    return ValueOf(m_pNitStore, pCount, [&](NitStore& s) { return s.GetSectionCount(key); });
}

STDMETHODIMP TableCollectorFilter::GetNitSection(ULONG key, ULONG index, StoredSection** ppSection) {
    CAutoLock lock(&m_csSection);
    return Forward(m_pNitStore, [&](NitStore& s) { return s.GetSection(key, index, ppSection); });
}

STDMETHODIMP TableCollectorFilter::FreeNitSection(StoredSection** ppSection) {
    CAutoLock lock(&m_csSection);
    return ReleaseCopy(m_pNitStore, ppSection);
}

STDMETHODIMP TableCollectorFilter::ResetNit() {
    CAutoLock lock(&m_csSection);
    return ResetOf(m_pNitStore);
}

// --- BAT. Section codes as the PAT's; copies carry pid 0x0011.

STDMETHODIMP TableCollectorFilter::GetBatStatus(ULONG* pStatus) {
    CAutoLock lock(&m_csSection);
    return StatusOf(m_pBatStore, pStatus, Completion<BatStore>);
}

STDMETHODIMP TableCollectorFilter::GetBatSectionCount(ULONG* pCount) {
    CAutoLock lock(&m_csSection);
    return ValueOf(m_pBatStore, pCount, [](BatStore& s) { return s.GetSectionCount(); });
}

STDMETHODIMP TableCollectorFilter::GetBatSection(ULONG index, StoredSection** ppSection) {
    CAutoLock lock(&m_csSection);
    return Forward(m_pBatStore, [&](BatStore& s) { return s.GetSection(index, ppSection); });
}

STDMETHODIMP TableCollectorFilter::FreeBatSection(StoredSection** ppSection) {
    CAutoLock lock(&m_csSection);
    return ReleaseCopy(m_pBatStore, ppSection);
}

STDMETHODIMP TableCollectorFilter::ResetBat() {
    CAutoLock lock(&m_csSection);
    return ResetOf(m_pBatStore);
}

// --- SDT. As the NIT: the key selects nothing; copies carry pid 0x0011.

STDMETHODIMP TableCollectorFilter::GetSdtStatus(ULONG key, ULONG* pStatus) {
    CAutoLock lock(&m_csSection);
    return StatusOf(m_pSdtStore, pStatus, [&](SdtStore& s) {
        return s.IsComplete(key) ? TABLE_STATUS_COMPLETE : TABLE_STATUS_INCOMPLETE;
    });
}

STDMETHODIMP TableCollectorFilter::GetSdtSectionCount(ULONG key, ULONG* pCount) {
    CAutoLock lock(&m_csSection);
    return ValueOf(m_pSdtStore, pCount, [&](SdtStore& s) { return s.GetSectionCount(key); });
}

STDMETHODIMP TableCollectorFilter::GetSdtSection(ULONG key, ULONG index, StoredSection** ppSection) {
    CAutoLock lock(&m_csSection);
    return Forward(m_pSdtStore, [&](SdtStore& s) { return s.GetSection(key, index, ppSection); });
}

STDMETHODIMP TableCollectorFilter::FreeSdtSection(StoredSection** ppSection) {
    CAutoLock lock(&m_csSection);
    return ReleaseCopy(m_pSdtStore, ppSection);
}

STDMETHODIMP TableCollectorFilter::ResetSdt() {
    CAutoLock lock(&m_csSection);
    return ResetOf(m_pSdtStore);
}

// --- DVB EIT. The store answers the status (0 for a table_id without a list or without section 0).
// GetEitSection: E_POINTER when nothing matches, the same code as a missing store.

STDMETHODIMP TableCollectorFilter::GetEitStatus(ULONG tableId, ULONG* pStatus) {
    CAutoLock lock(&m_csSection);
    return StatusOf(m_pEitStore, pStatus, [&](EitStore& s) { return s.GetStatus(tableId); });
}

STDMETHODIMP TableCollectorFilter::GetEitSectionCount(ULONG tableId, ULONG* pCount) {
    CAutoLock lock(&m_csSection);
    return ValueOf(m_pEitStore, pCount, [&](EitStore& s) { return s.GetSectionCount(tableId); });
}

STDMETHODIMP TableCollectorFilter::GetEitSection(ULONG tableId, ULONG sectionNumber, ULONG serviceId,
                                                 StoredSection** ppSection) {
    CAutoLock lock(&m_csSection);
    return Forward(m_pEitStore,
                   [&](EitStore& s) { return s.GetSection(tableId, sectionNumber, serviceId, ppSection); });
}

STDMETHODIMP TableCollectorFilter::FreeEitSection(StoredSection** ppSection) {
    CAutoLock lock(&m_csSection);
    return ReleaseCopy(m_pEitStore, ppSection);
}

STDMETHODIMP TableCollectorFilter::ResetEit() {
    CAutoLock lock(&m_csSection);
    return ResetOf(m_pEitStore);
}

STDMETHODIMP TableCollectorFilter::SetEitResetOnVersionChange(BOOL resetOnVersionChange) {
    CAutoLock lock(&m_csSection);
    return SetterOf(m_pEitStore, [&](EitStore& s) { s.SetResetOnVersionChange(resetOnVersionChange); });
}

// --- TDT, TOT, RST: one section each. GetXSection: E_POINTER while nothing is held.

STDMETHODIMP TableCollectorFilter::GetTdtStatus(ULONG* pStatus) {
    CAutoLock lock(&m_csSection);
    return StatusOf(m_pTdtStore, pStatus, Completion<TdtStore>);
}

STDMETHODIMP TableCollectorFilter::GetTdtSection(StoredSection** ppSection) {
    CAutoLock lock(&m_csSection);
    return Forward(m_pTdtStore, [&](TdtStore& s) { return s.GetSection(ppSection); });
}

STDMETHODIMP TableCollectorFilter::FreeTdtSection(StoredSection** ppSection) {
    CAutoLock lock(&m_csSection);
    return ReleaseCopy(m_pTdtStore, ppSection);
}

STDMETHODIMP TableCollectorFilter::ResetTdt() {
    CAutoLock lock(&m_csSection);
    return ResetOf(m_pTdtStore);
}

STDMETHODIMP TableCollectorFilter::GetTotStatus(ULONG* pStatus) {
    CAutoLock lock(&m_csSection);
    return StatusOf(m_pTotStore, pStatus, Completion<TotStore>);
}

STDMETHODIMP TableCollectorFilter::GetTotSection(StoredSection** ppSection) {
    CAutoLock lock(&m_csSection);
    return Forward(m_pTotStore, [&](TotStore& s) { return s.GetSection(ppSection); });
}

STDMETHODIMP TableCollectorFilter::FreeTotSection(StoredSection** ppSection) {
    CAutoLock lock(&m_csSection);
    return ReleaseCopy(m_pTotStore, ppSection);
}

STDMETHODIMP TableCollectorFilter::ResetTot() {
    CAutoLock lock(&m_csSection);
    return ResetOf(m_pTotStore);
}

STDMETHODIMP TableCollectorFilter::GetRstStatus(ULONG* pStatus) {
    CAutoLock lock(&m_csSection);
    return StatusOf(m_pRstStore, pStatus, Completion<RstStore>);
}

STDMETHODIMP TableCollectorFilter::GetRstSection(StoredSection** ppSection) {
    CAutoLock lock(&m_csSection);
    return Forward(m_pRstStore, [&](RstStore& s) { return s.GetSection(ppSection); });
}

STDMETHODIMP TableCollectorFilter::FreeRstSection(StoredSection** ppSection) {
    CAutoLock lock(&m_csSection);
    return ReleaseCopy(m_pRstStore, ppSection);
}

STDMETHODIMP TableCollectorFilter::ResetRst() {
    CAutoLock lock(&m_csSection);
    return ResetOf(m_pRstStore);
}

// --- CAT. Section codes as the PAT's; copies carry pid 0.

STDMETHODIMP TableCollectorFilter::GetCatStatus(ULONG* pStatus) {
    CAutoLock lock(&m_csSection);
    return StatusOf(m_pCatStore, pStatus, Completion<CatStore>);
}

STDMETHODIMP TableCollectorFilter::GetCatSectionCount(ULONG* pCount) {
    CAutoLock lock(&m_csSection);
    return ValueOf(m_pCatStore, pCount, [](CatStore& s) { return s.GetSectionCount(); });
}

STDMETHODIMP TableCollectorFilter::GetCatSection(ULONG index, StoredSection** ppSection) {
    CAutoLock lock(&m_csSection);
    return Forward(m_pCatStore, [&](CatStore& s) { return s.GetSection(index, ppSection); });
}

STDMETHODIMP TableCollectorFilter::FreeCatSection(StoredSection** ppSection) {
    CAutoLock lock(&m_csSection);
    return ReleaseCopy(m_pCatStore, ppSection);
}

STDMETHODIMP TableCollectorFilter::ResetCat() {
    CAutoLock lock(&m_csSection);
    return ResetOf(m_pCatStore);
}

// --- ATSC MGT: one section. GetMgtSection: E_POINTER while nothing is held.

STDMETHODIMP TableCollectorFilter::GetMgtStatus(ULONG* pStatus) {
    CAutoLock lock(&m_csSection);
    return StatusOf(m_pMgtStore, pStatus, Completion<MgtStore>);
}

STDMETHODIMP TableCollectorFilter::GetMgtSection(StoredSection** ppSection) {
    CAutoLock lock(&m_csSection);
    return Forward(m_pMgtStore, [&](MgtStore& s) { return s.GetSection(ppSection); });
}

STDMETHODIMP TableCollectorFilter::FreeMgtSection(StoredSection** ppSection) {
    CAutoLock lock(&m_csSection);
    return ReleaseCopy(m_pMgtStore, ppSection);
}

STDMETHODIMP TableCollectorFilter::ResetMgt() {
    CAutoLock lock(&m_csSection);
    return ResetOf(m_pMgtStore);
}

// --- ATSC VCT. Section codes as the PAT's; copies carry pid 0.

STDMETHODIMP TableCollectorFilter::GetVctStatus(ULONG* pStatus) {
    CAutoLock lock(&m_csSection);
    return StatusOf(m_pVctStore, pStatus, Completion<VctStore>);
}

STDMETHODIMP TableCollectorFilter::GetVctSectionCount(ULONG* pCount) {
    CAutoLock lock(&m_csSection);
    return ValueOf(m_pVctStore, pCount, [](VctStore& s) { return s.GetSectionCount(); });
}

STDMETHODIMP TableCollectorFilter::GetVctSection(ULONG index, StoredSection** ppSection) {
    CAutoLock lock(&m_csSection);
    return Forward(m_pVctStore, [&](VctStore& s) { return s.GetSection(index, ppSection); });
}

STDMETHODIMP TableCollectorFilter::FreeVctSection(StoredSection** ppSection) {
    CAutoLock lock(&m_csSection);
    return ReleaseCopy(m_pVctStore, ppSection);
}

STDMETHODIMP TableCollectorFilter::ResetVct() {
    CAutoLock lock(&m_csSection);
    return ResetOf(m_pVctStore);
}

// --- ATSC STT: one section. GetSttSection: E_POINTER while nothing is held.

STDMETHODIMP TableCollectorFilter::GetSttStatus(ULONG* pStatus) {
    CAutoLock lock(&m_csSection);
    return StatusOf(m_pSttStore, pStatus, Completion<SttStore>);
}

STDMETHODIMP TableCollectorFilter::GetSttSection(StoredSection** ppSection) {
    CAutoLock lock(&m_csSection);
    return Forward(m_pSttStore, [&](SttStore& s) { return s.GetSection(ppSection); });
}

STDMETHODIMP TableCollectorFilter::FreeSttSection(StoredSection** ppSection) {
    CAutoLock lock(&m_csSection);
    return ReleaseCopy(m_pSttStore, ppSection);
}

STDMETHODIMP TableCollectorFilter::ResetStt() {
    CAutoLock lock(&m_csSection);
    return ResetOf(m_pSttStore);
}

// --- ATSC EIT. The store answers the status (0 outside 0x0100..0x017F or with nothing held).
// GetAtscEitSection: E_INVALIDARG for a table_type out of range or nothing matching.

STDMETHODIMP TableCollectorFilter::GetAtscEitStatus(ULONG tableType, ULONG* pStatus) {
    CAutoLock lock(&m_csSection);
    return StatusOf(m_pAtscEitStore, pStatus, [&](AtscEitStore& s) { return s.GetStatus(tableType); });
}

STDMETHODIMP TableCollectorFilter::GetAtscEitSectionCount(ULONG tableType, ULONG* pCount) {
    CAutoLock lock(&m_csSection);
    return ValueOf(m_pAtscEitStore, pCount, [&](AtscEitStore& s) { return s.GetSectionCount(tableType); });
}

STDMETHODIMP TableCollectorFilter::GetAtscEitSection(ULONG tableType, ULONG sectionNumber, ULONG sourceId,
                                                     StoredSection** ppSection) {
    CAutoLock lock(&m_csSection);
    return Forward(m_pAtscEitStore, [&](AtscEitStore& s) {
        return s.GetSection(tableType, sectionNumber, sourceId, ppSection);
    });
}

STDMETHODIMP TableCollectorFilter::FreeAtscEitSection(StoredSection** ppSection) {
    CAutoLock lock(&m_csSection);
    return ReleaseCopy(m_pAtscEitStore, ppSection);
}

STDMETHODIMP TableCollectorFilter::ResetAtscEit() {
    CAutoLock lock(&m_csSection);
    return ResetOf(m_pAtscEitStore);
}

STDMETHODIMP TableCollectorFilter::SetAtscEitResetOnVersionChange(BOOL resetOnVersionChange) {
    CAutoLock lock(&m_csSection);
    return SetterOf(m_pAtscEitStore,
                    [&](AtscEitStore& s) { s.SetResetOnVersionChange(resetOnVersionChange); });
}

// --- ATSC ETT. No status method. GetEttSection: E_INVALIDARG for an ETM_id not held. ResetEtt
// answers E_FAIL on a store that held nothing.

STDMETHODIMP TableCollectorFilter::GetEttSectionCount(ULONG* pCount) {
    CAutoLock lock(&m_csSection);
    return ValueOf(m_pEttStore, pCount, [](EttStore& s) { return s.GetSectionCount(); });
}

STDMETHODIMP TableCollectorFilter::GetEttSection(ULONG etmId, StoredSection** ppSection) {
    CAutoLock lock(&m_csSection);
    return Forward(m_pEttStore, [&](EttStore& s) { return s.GetSection(etmId, ppSection); });
}

STDMETHODIMP TableCollectorFilter::FreeEttSection(StoredSection** ppSection) {
    CAutoLock lock(&m_csSection);
    return ReleaseCopy(m_pEttStore, ppSection);
}

STDMETHODIMP TableCollectorFilter::ResetEtt() {
    CAutoLock lock(&m_csSection);
    return ResetOf(m_pEttStore);
}

STDMETHODIMP TableCollectorFilter::EnableEttCollection(BOOL collect) {
    CAutoLock lock(&m_csSection);
    return SetterOf(m_pEttStore, [&](EttStore& s) { s.SetCollecting(collect); });
}
