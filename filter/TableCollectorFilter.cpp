#include "filter/TableCollectorFilter.h"

#include "baseclasses/allocation.h"
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

namespace {

// Makes one empty store; false when it cannot be allocated, leaving the pointer null.
template <class Store> bool MakeStore(Store*& store) {
    store = MemNew<Store>();
    return store != nullptr;
}

template <class Store> void DeleteStore(Store*& store) {
    MemDelete(store);
    store = nullptr;
}

} // namespace

CUnknown* WINAPI TableCollectorFilter::CreateInstance(LPUNKNOWN pUnk, HRESULT* phr) {
    return MemNew<TableCollectorFilter>(pUnk, phr);
}

TableCollectorFilter::TableCollectorFilter(LPUNKNOWN pUnk, HRESULT* phr)
    : CBaseFilter(nullptr, pUnk, &m_csState, CLSID_TableCollectorFilter), m_pPatStore(nullptr),
      m_pPmtStore(nullptr), m_pNitStore(nullptr), m_pBatStore(nullptr), m_pSdtStore(nullptr),
      m_pEitStore(nullptr), m_pTdtStore(nullptr), m_pTotStore(nullptr), m_pRstStore(nullptr),
      m_pCatStore(nullptr), m_pMgtStore(nullptr), m_pVctStore(nullptr), m_pSttStore(nullptr),
      m_pAtscEitStore(nullptr), m_pEttStore(nullptr), m_pInputPin(nullptr) {
    if (phr == nullptr) {
        return;
    }
    *phr = CreatePin();
    if (FAILED(*phr)) {
        return;
    }
    *phr = CreateStores();
}

TableCollectorFilter::~TableCollectorFilter() {
    // The pin's reference count is the filter's, so it is destroyed here rather than released.
    MemDelete(m_pInputPin);
    m_pInputPin = nullptr;
    DeleteStores();
    // The two critical sections go with the members, then the base filter.
}

HRESULT TableCollectorFilter::CreatePin() {
    HRESULT hr = S_OK;
    m_pInputPin = MemNew<TableCollectorInputPin>(this, &m_csState, &m_csSection, &hr);
    if (m_pInputPin == nullptr) {
        return E_OUTOFMEMORY;
    }
    return hr;
}

HRESULT TableCollectorFilter::CreateStores() {
    // The first store that cannot be made ends the step; it and the later ones stay null.
    if (!MakeStore(m_pPatStore) || !MakeStore(m_pPmtStore) || !MakeStore(m_pNitStore) ||
        !MakeStore(m_pBatStore) || !MakeStore(m_pSdtStore) || !MakeStore(m_pEitStore) ||
        !MakeStore(m_pTdtStore) || !MakeStore(m_pTotStore) || !MakeStore(m_pRstStore) ||
        !MakeStore(m_pCatStore) || !MakeStore(m_pSttStore) || !MakeStore(m_pVctStore) ||
        !MakeStore(m_pMgtStore) || !MakeStore(m_pAtscEitStore) || !MakeStore(m_pEttStore)) {
        return E_OUTOFMEMORY;
    }
    return S_OK;
}

void TableCollectorFilter::DeleteStores() {
    // Creation order; every pointer may be null after a construction that ran out of memory.
    DeleteStore(m_pPatStore);
    DeleteStore(m_pPmtStore);
    DeleteStore(m_pNitStore);
    DeleteStore(m_pBatStore);
    DeleteStore(m_pSdtStore);
    DeleteStore(m_pEitStore);
    DeleteStore(m_pTdtStore);
    DeleteStore(m_pTotStore);
    DeleteStore(m_pRstStore);
    DeleteStore(m_pCatStore);
    DeleteStore(m_pSttStore);
    DeleteStore(m_pVctStore);
    DeleteStore(m_pMgtStore);
    DeleteStore(m_pAtscEitStore);
    DeleteStore(m_pEttStore);
}

STDMETHODIMP TableCollectorFilter::NonDelegatingQueryInterface(REFIID riid, void** ppv) {
    if (ppv == nullptr) {
        return E_POINTER;
    }
    if (riid == IID_ITableCollector) {
        return GetInterface(static_cast<ITableCollector*>(this), ppv);
    }
    if (riid == IID_ISpecifyPropertyPages) {
        return GetInterface(static_cast<ISpecifyPropertyPages*>(this), ppv);
    }
    return CBaseFilter::NonDelegatingQueryInterface(riid, ppv);
}

int TableCollectorFilter::GetPinCount() {
    return 1;
}

CBasePin* TableCollectorFilter::GetPin(int n) {
    // No reference is added: the base layer's pin enumeration adds its own.
    return n == 0 ? m_pInputPin : nullptr;
}

STDMETHODIMP TableCollectorFilter::GetPages(CAUUID* pPages) {
    if (pPages == nullptr) {
        return E_POINTER;
    }
    pPages->cElems = 1;
    pPages->pElems = static_cast<GUID*>(CoTaskMemAlloc(sizeof(GUID)));
    if (pPages->pElems == nullptr) {
        return E_OUTOFMEMORY;
    }
    pPages->pElems[0] = CLSID_TableCollectorPropertyPage;
    return S_OK;
}
