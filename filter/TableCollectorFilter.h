// The table-collecting sink filter: owns the input pin, the fifteen table stores and the two locks,
// answers the filter contract through the base filter, and exposes ITableCollector (implemented in
// query/) and its property page through ISpecifyPropertyPages.
#pragma once
#include <windows.h>
#include <ocidl.h>
#include <quenlix.h>

#include "baseclasses/streams.h"

class TableCollectorInputPin;
class PatStore;
class PmtStore;
class NitStore;
class BatStore;
class SdtStore;
class EitStore;
class TdtStore;
class TotStore;
class RstStore;
class CatStore;
class MgtStore;
class VctStore;
class SttStore;
class AtscEitStore;
class EttStore;

class TableCollectorFilter : public CBaseFilter, public ITableCollector, public ISpecifyPropertyPages {
public:
    // The creation function of the module's factory template. Null when the object cannot be
    // allocated; a failure while making the pin or the stores is reported through *phr.
    static CUnknown* WINAPI CreateInstance(LPUNKNOWN pUnk, HRESULT* phr);

    // Without a result slot the object is made with neither pin nor stores.
    TableCollectorFilter(LPUNKNOWN pUnk, HRESULT* phr);
    ~TableCollectorFilter() override;

    DECLARE_IUNKNOWN
    STDMETHODIMP NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

    // One pin, also while it is missing after a failed construction.
    int GetPinCount() override;
    CBasePin* GetPin(int n) override;

    // ISpecifyPropertyPages: the one "Service Information" page.
    STDMETHODIMP GetPages(CAUUID* pPages) override;

    // ITableCollector, in slot order (query/TableCollectorQuery.cpp).
    STDMETHODIMP ResetAllTables() override;
    STDMETHODIMP SetRequestedPids(ULONG count, const ULONG* pPids) override;
    STDMETHODIMP IsRequestedPidSeen(ULONG pid, ULONG* pSeen) override;
    STDMETHODIMP UnmapRequestedPids() override;
    STDMETHODIMP GetPatStatus(ULONG* pStatus) override;
    STDMETHODIMP GetPatSectionCount(ULONG* pCount) override;
    STDMETHODIMP GetPatSection(ULONG index, StoredSection** ppSection) override;
    STDMETHODIMP FreePatSection(StoredSection** ppSection) override;
    STDMETHODIMP ResetPat() override;
    STDMETHODIMP GetPmtStatus(ULONG* pStatus) override;
    STDMETHODIMP GetPmtSectionCount(ULONG* pCount) override;
    STDMETHODIMP GetPmtSection(ULONG pid, ULONG programNumber, StoredSection** ppSection) override;
    STDMETHODIMP FreePmtSection(StoredSection** ppSection) override;
    STDMETHODIMP ResetPmt() override;
    STDMETHODIMP GetNitStatus(ULONG key, ULONG* pStatus) override;
    STDMETHODIMP GetNitSectionCount(ULONG key, ULONG* pCount) override;
    STDMETHODIMP GetNitSection(ULONG key, ULONG index, StoredSection** ppSection) override;
    STDMETHODIMP FreeNitSection(StoredSection** ppSection) override;
    STDMETHODIMP ResetNit() override;
    STDMETHODIMP GetBatStatus(ULONG* pStatus) override;
    STDMETHODIMP GetBatSectionCount(ULONG* pCount) override;
    STDMETHODIMP GetBatSection(ULONG index, StoredSection** ppSection) override;
    STDMETHODIMP FreeBatSection(StoredSection** ppSection) override;
    STDMETHODIMP ResetBat() override;
    STDMETHODIMP GetSdtStatus(ULONG key, ULONG* pStatus) override;
    STDMETHODIMP GetSdtSectionCount(ULONG key, ULONG* pCount) override;
    STDMETHODIMP GetSdtSection(ULONG key, ULONG index, StoredSection** ppSection) override;
    STDMETHODIMP FreeSdtSection(StoredSection** ppSection) override;
    STDMETHODIMP ResetSdt() override;
    STDMETHODIMP GetEitStatus(ULONG tableId, ULONG* pStatus) override;
    STDMETHODIMP GetEitSectionCount(ULONG tableId, ULONG* pCount) override;
    STDMETHODIMP GetEitSection(ULONG tableId, ULONG sectionNumber, ULONG serviceId,
                               StoredSection** ppSection) override;
    STDMETHODIMP FreeEitSection(StoredSection** ppSection) override;
    STDMETHODIMP ResetEit() override;
    STDMETHODIMP SetEitResetOnVersionChange(BOOL resetOnVersionChange) override;
    STDMETHODIMP GetTdtStatus(ULONG* pStatus) override;
    STDMETHODIMP GetTdtSection(StoredSection** ppSection) override;
    STDMETHODIMP FreeTdtSection(StoredSection** ppSection) override;
    STDMETHODIMP ResetTdt() override;
    STDMETHODIMP GetTotStatus(ULONG* pStatus) override;
    STDMETHODIMP GetTotSection(StoredSection** ppSection) override;
    STDMETHODIMP FreeTotSection(StoredSection** ppSection) override;
    STDMETHODIMP ResetTot() override;
    STDMETHODIMP GetRstStatus(ULONG* pStatus) override;
    STDMETHODIMP GetRstSection(StoredSection** ppSection) override;
    STDMETHODIMP FreeRstSection(StoredSection** ppSection) override;
    STDMETHODIMP ResetRst() override;
    STDMETHODIMP GetCatStatus(ULONG* pStatus) override;
    STDMETHODIMP GetCatSectionCount(ULONG* pCount) override;
    STDMETHODIMP GetCatSection(ULONG index, StoredSection** ppSection) override;
    STDMETHODIMP FreeCatSection(StoredSection** ppSection) override;
    STDMETHODIMP ResetCat() override;
    STDMETHODIMP GetMgtStatus(ULONG* pStatus) override;
    STDMETHODIMP GetMgtSection(StoredSection** ppSection) override;
    STDMETHODIMP FreeMgtSection(StoredSection** ppSection) override;
    STDMETHODIMP ResetMgt() override;
    STDMETHODIMP GetVctStatus(ULONG* pStatus) override;
    STDMETHODIMP GetVctSectionCount(ULONG* pCount) override;
    STDMETHODIMP GetVctSection(ULONG index, StoredSection** ppSection) override;
    STDMETHODIMP FreeVctSection(StoredSection** ppSection) override;
    STDMETHODIMP ResetVct() override;
    STDMETHODIMP GetSttStatus(ULONG* pStatus) override;
    STDMETHODIMP GetSttSection(StoredSection** ppSection) override;
    STDMETHODIMP FreeSttSection(StoredSection** ppSection) override;
    STDMETHODIMP ResetStt() override;
    STDMETHODIMP GetAtscEitStatus(ULONG tableType, ULONG* pStatus) override;
    STDMETHODIMP GetAtscEitSectionCount(ULONG tableType, ULONG* pCount) override;
    STDMETHODIMP GetAtscEitSection(ULONG tableType, ULONG sectionNumber, ULONG sourceId,
                                   StoredSection** ppSection) override;
    STDMETHODIMP FreeAtscEitSection(StoredSection** ppSection) override;
    STDMETHODIMP ResetAtscEit() override;
    STDMETHODIMP SetAtscEitResetOnVersionChange(BOOL resetOnVersionChange) override;
    STDMETHODIMP GetEttSectionCount(ULONG* pCount) override;
    STDMETHODIMP GetEttSection(ULONG etmId, StoredSection** ppSection) override;
    STDMETHODIMP FreeEttSection(StoredSection** ppSection) override;
    STDMETHODIMP ResetEtt() override;
    STDMETHODIMP EnableEttCollection(BOOL collect) override;
    // The section lock guards the stores and the pin's lists; the state lock is the base layer's.
    // Where both are taken, the section lock comes first.
    CCritSec m_csState;
    CCritSec m_csSection;

    // Public so that the input pin can file sections; made in the constructor, destroyed in the
    // destructor, and null when construction ran out of memory before reaching them.
    PatStore* m_pPatStore;
    PmtStore* m_pPmtStore;
    NitStore* m_pNitStore;
    BatStore* m_pBatStore;
    SdtStore* m_pSdtStore;
    EitStore* m_pEitStore;
    TdtStore* m_pTdtStore;
    TotStore* m_pTotStore;
    RstStore* m_pRstStore;
    CatStore* m_pCatStore;
    MgtStore* m_pMgtStore;
    VctStore* m_pVctStore;
    SttStore* m_pSttStore;
    AtscEitStore* m_pAtscEitStore;
    EttStore* m_pEttStore;
    TableCollectorInputPin* m_pInputPin;

private:
    HRESULT CreatePin();
    HRESULT CreateStores();
    void DeleteStores();
};
