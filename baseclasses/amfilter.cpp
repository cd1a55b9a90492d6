#include "baseclasses/amfilter.h"

#include <stddef.h>
#include <string.h>
#include <wchar.h>

#include <uuids.h>

#include "baseclasses/allocation.h"

// ===================================================================================================
// CBaseFilter

CBaseFilter::CBaseFilter(LPCTSTR pName, LPUNKNOWN pUnk, CCritSec* pLock, REFCLSID clsid)
    : CUnknown(pName, pUnk), m_State(State_Stopped), m_pClock(NULL), m_tStart(), m_clsid(clsid),
      m_pLock(pLock), m_pName(NULL), m_pGraph(NULL), m_pSink(NULL), m_PinVersion(1) {}

CBaseFilter::CBaseFilter(LPCTSTR pName, LPUNKNOWN pUnk, CCritSec* pLock, REFCLSID clsid, HRESULT* phr)
    : CBaseFilter(pName, pUnk, pLock, clsid) {}

CBaseFilter::~CBaseFilter() {
    MemFree(m_pName);
    m_pName = NULL;
    if (m_pClock != NULL) {
        m_pClock->Release();
        m_pClock = NULL;
    }
}

STDMETHODIMP CBaseFilter::NonDelegatingQueryInterface(REFIID riid, void** ppv) {
    CheckPointer(ppv, E_POINTER);
    if (riid == IID_IBaseFilter) {
        return GetInterface(static_cast<IBaseFilter*>(this), ppv);
    }
    if (riid == IID_IMediaFilter) {
        return GetInterface(static_cast<IMediaFilter*>(this), ppv);
    }
    if (riid == IID_IPersist) {
        return GetInterface(static_cast<IPersist*>(this), ppv);
    }
    if (riid == IID_IAMovieSetup) {
        return GetInterface(static_cast<IAMovieSetup*>(this), ppv);
    }
    return CUnknown::NonDelegatingQueryInterface(riid, ppv);
}

STDMETHODIMP CBaseFilter::GetClassID(CLSID* pClsID) {
    CheckPointer(pClsID, E_POINTER);
    *pClsID = m_clsid;
    return S_OK;
}

STDMETHODIMP CBaseFilter::GetState(DWORD dwMSecs, FILTER_STATE* State) {
    CheckPointer(State, E_POINTER);
    CAutoLock lock(m_pLock);
    *State = m_State;
    return S_OK;
}

STDMETHODIMP CBaseFilter::SetSyncSource(IReferenceClock* pClock) {
    CAutoLock lock(m_pLock);
    if (pClock != NULL) {
        pClock->AddRef();
    }
    if (m_pClock != NULL) {
        m_pClock->Release();
    }
    m_pClock = pClock;
    return S_OK;
}

STDMETHODIMP CBaseFilter::GetSyncSource(IReferenceClock** pClock) {
    CheckPointer(pClock, E_POINTER);
    CAutoLock lock(m_pLock);
    if (m_pClock != NULL) {
        m_pClock->AddRef();
    }
    *pClock = m_pClock;
    return S_OK;
}

STDMETHODIMP CBaseFilter::Stop() {
    CAutoLock lock(m_pLock);
    HRESULT hr = S_OK;
    if (m_State != State_Stopped) {
        // Every connected pin is deactivated even when one of them fails; the first failure is kept.
        int cPins = GetPinCount();
        for (int c = 0; c < cPins; c++) {
            CBasePin* pPin = GetPin(c);
            if (pPin == NULL) {
                continue;
            }
            if (pPin->IsConnected()) {
                HRESULT hrTmp = pPin->Inactive();
                if (FAILED(hrTmp) && SUCCEEDED(hr)) {
                    hr = hrTmp;
                }
            }
        }
    }
    m_State = State_Stopped;
    return hr;
}

STDMETHODIMP CBaseFilter::Pause() {
    CAutoLock lock(m_pLock);
    if (m_State == State_Stopped) {
        int cPins = GetPinCount();
        for (int c = 0; c < cPins; c++) {
            CBasePin* pPin = GetPin(c);
            if (pPin == NULL) {
                continue;
            }
            if (pPin->IsConnected()) {
                HRESULT hr = pPin->Active();
                if (FAILED(hr)) {
                    return hr;
                }
            }
        }
    }
    m_State = State_Paused;
    return S_OK;
}

STDMETHODIMP CBaseFilter::Run(REFERENCE_TIME tStart) {
    CAutoLock lock(m_pLock);
    m_tStart = tStart;
    if (m_State == State_Stopped) {
        HRESULT hr = Pause();
        if (FAILED(hr)) {
            return hr;
        }
    }
    if (m_State != State_Running) {
        int cPins = GetPinCount();
        for (int c = 0; c < cPins; c++) {
            CBasePin* pPin = GetPin(c);
            if (pPin == NULL) {
                continue;
            }
            if (pPin->IsConnected()) {
                HRESULT hr = pPin->Run(tStart);
                if (FAILED(hr)) {
                    return hr;
                }
            }
        }
    }
    m_State = State_Running;
    return S_OK;
}

HRESULT CBaseFilter::StreamTime(CRefTime& rtStream) {
    CAutoLock lock(m_pLock);
    if (m_pClock == NULL) {
        return VFW_E_NO_CLOCK;
    }
    REFERENCE_TIME now = 0;
    HRESULT hr = m_pClock->GetTime(&now);
    if (FAILED(hr)) {
        return hr;
    }
    rtStream = now;
    rtStream -= m_tStart;
    return S_OK;
}

BOOL CBaseFilter::IsActive() {
    CAutoLock lock(m_pLock);
    return m_State != State_Stopped;
}

BOOL CBaseFilter::IsStopped() {
    CAutoLock lock(m_pLock);
    return m_State == State_Stopped;
}

STDMETHODIMP CBaseFilter::EnumPins(IEnumPins** ppEnum) {
    CheckPointer(ppEnum, E_POINTER);
    CEnumPins* pEnum = new CEnumPins(this, NULL);
    if (pEnum == NULL) {
        *ppEnum = NULL;
        return E_OUTOFMEMORY;
    }
    *ppEnum = pEnum;
    return S_OK;
}

STDMETHODIMP CBaseFilter::FindPin(LPCWSTR Id, IPin** ppPin) {
    CheckPointer(ppPin, E_POINTER);
    *ppPin = NULL;
    CheckPointer(Id, E_POINTER);
    CAutoLock lock(m_pLock);
    int cPins = GetPinCount();
    for (int c = 0; c < cPins; c++) {
        CBasePin* pPin = GetPin(c);
        if (pPin == NULL) {
            continue;
        }
        if (pPin->Name() != NULL && wcscmp(pPin->Name(), Id) == 0) {
            *ppPin = pPin;
            pPin->AddRef();
            return S_OK;
        }
    }
    return VFW_E_NOT_FOUND;
}

STDMETHODIMP CBaseFilter::QueryFilterInfo(FILTER_INFO* pInfo) {
    CheckPointer(pInfo, E_POINTER);
    CAutoLock lock(m_pLock);
    CopyWideName(pInfo->achName, MAX_FILTER_NAME, m_pName);
    pInfo->pGraph = m_pGraph;
    if (m_pGraph != NULL) {
        m_pGraph->AddRef();
    }
    return S_OK;
}

STDMETHODIMP CBaseFilter::JoinFilterGraph(IFilterGraph* pGraph, LPCWSTR pName) {
    CAutoLock lock(m_pLock);
    // The name is copied first so that running out of memory leaves the filter as it was.
    WCHAR* pNewName = NULL;
    if (pGraph != NULL && pName != NULL) {
        pNewName = DuplicateWideString(pName);
        if (pNewName == NULL) {
            return E_OUTOFMEMORY;
        }
    }
    m_pGraph = pGraph;
    m_pSink = NULL;
    if (pGraph != NULL) {
        IMediaEventSink* pSink = NULL;
        if (SUCCEEDED(pGraph->QueryInterface(IID_IMediaEventSink, reinterpret_cast<void**>(&pSink))) &&
            pSink != NULL) {
            // Not kept counted: the graph owns this filter and outlives its membership.
            m_pSink = pSink;
            pSink->Release();
        }
    }
    MemFree(m_pName);
    m_pName = pNewName;
    return S_OK;
}

STDMETHODIMP CBaseFilter::QueryVendorInfo(LPWSTR* pVendorInfo) {
    return E_NOTIMPL;
}

HRESULT CBaseFilter::NotifyEvent(LONG EventCode, LONG_PTR EventParam1, LONG_PTR EventParam2) {
    IMediaEventSink* pSink;
    {
        CAutoLock lock(m_pLock);
        pSink = m_pSink;
    }
    if (pSink == NULL) {
        return E_NOTIMPL;
    }
    if (EventCode == EC_COMPLETE) {
        EventParam2 = reinterpret_cast<LONG_PTR>(static_cast<IBaseFilter*>(this));
    }
    // The state lock is not taken for the call itself (the streaming thread reports without it); a
    // graph's event sink must not wait for a lock held by a thread that changes the filter's state.
    return pSink->Notify(EventCode, EventParam1, EventParam2);
}

HRESULT CBaseFilter::ReconnectPin(IPin* pPin, const AM_MEDIA_TYPE* pmt) {
    IFilterGraph* pGraph;
    {
        CAutoLock lock(m_pLock);
        pGraph = m_pGraph;
    }
    if (pGraph == NULL) {
        return E_NOINTERFACE;
    }
    return pGraph->Reconnect(pPin);
}

LONG CBaseFilter::GetPinVersion() {
    return __atomic_load_n(&m_PinVersion, __ATOMIC_SEQ_CST);
}

void CBaseFilter::IncrementPinVersion() {
    InterlockedIncrement(&m_PinVersion);
}

STDMETHODIMP CBaseFilter::Register() {
    return RegisterWithMapper(TRUE);
}

STDMETHODIMP CBaseFilter::Unregister() {
    return RegisterWithMapper(FALSE);
}

HRESULT CBaseFilter::RegisterWithMapper(BOOL bRegister) {
    LPAMOVIESETUP_FILTER psetupdata = GetSetupData();
    if (psetupdata == NULL) {
        return S_FALSE;
    }
    // COM may not be initialised on the caller's thread; the count makes this harmless when it is.
    HRESULT hrInit = CoInitialize(NULL);
    IFilterMapper2* pMapper = NULL;
    HRESULT hr = CoCreateInstance(CLSID_FilterMapper2, NULL, CLSCTX_INPROC_SERVER, IID_IFilterMapper2,
                                  reinterpret_cast<void**>(&pMapper));
    if (SUCCEEDED(hr)) {
        // Unregistered first, so that registering twice leaves one entry; a filter the mapper does not
        // know is no failure.
        hr = pMapper->UnregisterFilter(NULL, NULL, *psetupdata->clsID);
        if (hr == HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND)) {
            hr = S_OK;
        }
        if (SUCCEEDED(hr) && bRegister) {
            REGFILTER2 rf2;
            memset(&rf2, 0, sizeof(rf2));
            rf2.dwVersion = 1;
            rf2.dwMerit = psetupdata->dwMerit;
            rf2.cPins = psetupdata->nPins;
            rf2.rgPins = psetupdata->lpPin;
            hr = pMapper->RegisterFilter(*psetupdata->clsID, psetupdata->strName, NULL, NULL, NULL, &rf2);
        }
        pMapper->Release();
    }
    CoFreeUnusedLibraries();
    if (SUCCEEDED(hrInit)) {
        CoUninitialize();
    }
    return hr;
}

// ===================================================================================================
// CEnumPins

CEnumPins::CEnumPins(CBaseFilter* pFilter, CEnumPins* pEnumPins)
    : CBaseObject(NAME("Pin Enumerator")), m_Position(0), m_PinCount(0), m_pFilter(pFilter), m_Version(0),
      m_cRef(1) {
    m_pFilter->AddRef();
    if (pEnumPins != NULL) {
        m_Position = pEnumPins->m_Position;
        m_PinCount = pEnumPins->m_PinCount;
        m_Version = pEnumPins->m_Version;
    } else {
        m_Version = m_pFilter->GetPinVersion();
        m_PinCount = m_pFilter->GetPinCount();
    }
}

CEnumPins::~CEnumPins() {
    m_pFilter->Release();
}

STDMETHODIMP CEnumPins::QueryInterface(REFIID riid, void** ppv) {
    CheckPointer(ppv, E_POINTER);
    if (riid == IID_IEnumPins || riid == IID_IUnknown) {
        return GetInterface(static_cast<IEnumPins*>(this), ppv);
    }
    *ppv = NULL;
    return E_NOINTERFACE;
}

STDMETHODIMP_(ULONG) CEnumPins::AddRef() {
    return static_cast<ULONG>(InterlockedIncrement(&m_cRef));
}

STDMETHODIMP_(ULONG) CEnumPins::Release() {
    LONG cRef = InterlockedDecrement(&m_cRef);
    if (cRef == 0) {
        delete this;
    }
    return static_cast<ULONG>(cRef);
}

STDMETHODIMP CEnumPins::Next(ULONG cPins, IPin** ppPins, ULONG* pcFetched) {
    CheckPointer(ppPins, E_POINTER);
    if (pcFetched != NULL) {
        *pcFetched = 0;
    } else if (cPins > 1) {
        return E_INVALIDARG;
    }
    if (AreWeOutOfSync()) {
        return VFW_E_ENUM_OUT_OF_SYNC;
    }
    ULONG cFetched = 0;
    while (cFetched < cPins && m_Position < m_PinCount) {
        CBasePin* pPin = m_pFilter->GetPin(m_Position++);
        if (pPin == NULL) {
            // A pin that is missing (a filter that failed to make it) is passed over.
            continue;
        }
        ppPins[cFetched++] = pPin;
        pPin->AddRef();
    }
    if (pcFetched != NULL) {
        *pcFetched = cFetched;
    }
    return cFetched == cPins ? S_OK : S_FALSE;
}

STDMETHODIMP CEnumPins::Skip(ULONG cPins) {
    if (AreWeOutOfSync()) {
        return VFW_E_ENUM_OUT_OF_SYNC;
    }
    ULONG left = static_cast<ULONG>(m_PinCount - m_Position);
    if (cPins > left) {
        return S_FALSE;
    }
    m_Position += static_cast<int>(cPins);
    return S_OK;
}

STDMETHODIMP CEnumPins::Reset() {
    m_Version = m_pFilter->GetPinVersion();
    m_PinCount = m_pFilter->GetPinCount();
    m_Position = 0;
    return S_OK;
}

STDMETHODIMP CEnumPins::Clone(IEnumPins** ppEnum) {
    CheckPointer(ppEnum, E_POINTER);
    *ppEnum = NULL;
    if (AreWeOutOfSync()) {
        return VFW_E_ENUM_OUT_OF_SYNC;
    }
    CEnumPins* pClone = new CEnumPins(m_pFilter, this);
    if (pClone == NULL) {
        return E_OUTOFMEMORY;
    }
    *ppEnum = pClone;
    return S_OK;
}

// ===================================================================================================
// CEnumMediaTypes

CEnumMediaTypes::CEnumMediaTypes(CBasePin* pPin, CEnumMediaTypes* pEnumMediaTypes)
    : CBaseObject(NAME("Enumerator")), m_Position(0), m_pPin(pPin), m_Version(0), m_cRef(1) {
    m_pPin->AddRef();
    if (pEnumMediaTypes != NULL) {
        m_Position = pEnumMediaTypes->m_Position;
        m_Version = pEnumMediaTypes->m_Version;
    } else {
        m_Version = m_pPin->GetMediaTypeVersion();
    }
}

CEnumMediaTypes::~CEnumMediaTypes() {
    m_pPin->Release();
}

BOOL CEnumMediaTypes::AreWeOutOfSync() {
    return m_pPin->GetMediaTypeVersion() != m_Version;
}

STDMETHODIMP CEnumMediaTypes::QueryInterface(REFIID riid, void** ppv) {
    CheckPointer(ppv, E_POINTER);
    if (riid == IID_IEnumMediaTypes || riid == IID_IUnknown) {
        return GetInterface(static_cast<IEnumMediaTypes*>(this), ppv);
    }
    *ppv = NULL;
    return E_NOINTERFACE;
}

STDMETHODIMP_(ULONG) CEnumMediaTypes::AddRef() {
    return static_cast<ULONG>(InterlockedIncrement(&m_cRef));
}

STDMETHODIMP_(ULONG) CEnumMediaTypes::Release() {
    LONG cRef = InterlockedDecrement(&m_cRef);
    if (cRef == 0) {
        delete this;
    }
    return static_cast<ULONG>(cRef);
}

STDMETHODIMP CEnumMediaTypes::Next(ULONG cMediaTypes, AM_MEDIA_TYPE** ppMediaTypes, ULONG* pcFetched) {
    CheckPointer(ppMediaTypes, E_POINTER);
    if (pcFetched != NULL) {
        *pcFetched = 0;
    } else if (cMediaTypes > 1) {
        return E_INVALIDARG;
    }
    if (AreWeOutOfSync()) {
        return VFW_E_ENUM_OUT_OF_SYNC;
    }
    ULONG cFetched = 0;
    HRESULT hr = S_OK;
    while (cFetched < cMediaTypes) {
        CMediaType cmt;
        if (m_pPin->GetMediaType(m_Position, &cmt) != S_OK) {
            break;
        }
        AM_MEDIA_TYPE* pCopy = CreateMediaType(&cmt);
        if (pCopy == NULL) {
            hr = E_OUTOFMEMORY;
            break;
        }
        ppMediaTypes[cFetched++] = pCopy;
        m_Position++;
    }
    if (pcFetched != NULL) {
        *pcFetched = cFetched;
    }
    if (FAILED(hr)) {
        // The caller gets nothing on failure: what was fetched goes back.
        for (ULONG i = 0; i < cFetched; i++) {
            DeleteMediaType(ppMediaTypes[i]);
            ppMediaTypes[i] = NULL;
        }
        m_Position -= static_cast<int>(cFetched);
        if (pcFetched != NULL) {
            *pcFetched = 0;
        }
        return hr;
    }
    return cFetched == cMediaTypes ? S_OK : S_FALSE;
}

STDMETHODIMP CEnumMediaTypes::Skip(ULONG cMediaTypes) {
    if (cMediaTypes == 0) {
        return S_OK;
    }
    if (AreWeOutOfSync()) {
        return VFW_E_ENUM_OUT_OF_SYNC;
    }
    // Skipping is allowed only as far as there are types.
    CMediaType cmt;
    int target = m_Position + static_cast<int>(cMediaTypes);
    if (m_pPin->GetMediaType(target - 1, &cmt) != S_OK) {
        return S_FALSE;
    }
    m_Position = target;
    return S_OK;
}

STDMETHODIMP CEnumMediaTypes::Reset() {
    m_Position = 0;
    m_Version = m_pPin->GetMediaTypeVersion();
    return S_OK;
}

STDMETHODIMP CEnumMediaTypes::Clone(IEnumMediaTypes** ppEnum) {
    CheckPointer(ppEnum, E_POINTER);
    *ppEnum = NULL;
    if (AreWeOutOfSync()) {
        return VFW_E_ENUM_OUT_OF_SYNC;
    }
    CEnumMediaTypes* pClone = new CEnumMediaTypes(m_pPin, this);
    if (pClone == NULL) {
        return E_OUTOFMEMORY;
    }
    *ppEnum = pClone;
    return S_OK;
}

// ===================================================================================================
// CBasePin

CBasePin::CBasePin(LPCTSTR pObjectName, CBaseFilter* pFilter, CCritSec* pLock, HRESULT* phr, LPCWSTR pName,
                   PIN_DIRECTION dir)
    : CUnknown(pObjectName, NULL), m_pName(NULL), m_Connected(NULL), m_dir(dir), m_pLock(pLock),
      m_bRunTimeError(false), m_bCanReconnectWhenActive(false), m_bTryMyTypesFirst(false), m_pFilter(pFilter),
      m_pQSink(NULL), m_TypeVersion(1), m_mt(), m_tStart(), m_tStop(MAX_TIME), m_dRate(1.0) {
    if (pName != NULL) {
        m_pName = DuplicateWideString(pName);
        if (m_pName == NULL && phr != NULL) {
            *phr = E_OUTOFMEMORY;
        }
    }
}

CBasePin::~CBasePin() {
    // The filter's destruction has long disconnected the graph; a pin still connected here is
    // disconnected on its own side so that the reference goes.
    if (m_Connected != NULL) {
        m_Connected->Release();
        m_Connected = NULL;
    }
    MemFree(m_pName);
    m_pName = NULL;
}

STDMETHODIMP CBasePin::NonDelegatingQueryInterface(REFIID riid, void** ppv) {
    CheckPointer(ppv, E_POINTER);
    if (riid == IID_IPin) {
        return GetInterface(static_cast<IPin*>(this), ppv);
    }
    if (riid == IID_IQualityControl) {
        return GetInterface(static_cast<IQualityControl*>(this), ppv);
    }
    return CUnknown::NonDelegatingQueryInterface(riid, ppv);
}

STDMETHODIMP_(ULONG) CBasePin::NonDelegatingAddRef() {
    return m_pFilter->AddRef();
}

STDMETHODIMP_(ULONG) CBasePin::NonDelegatingRelease() {
    return m_pFilter->Release();
}

BOOL CBasePin::IsStopped() {
    return m_pFilter->IsStopped();
}

STDMETHODIMP CBasePin::Connect(IPin* pReceivePin, const AM_MEDIA_TYPE* pmt) {
    CheckPointer(pReceivePin, E_POINTER);
    CAutoLock lock(m_pLock);
    if (m_Connected != NULL) {
        return VFW_E_ALREADY_CONNECTED;
    }
    if (!IsStopped() && !m_bCanReconnectWhenActive) {
        return VFW_E_NOT_STOPPED;
    }
    const CMediaType* pcmt = static_cast<const CMediaType*>(pmt);
    return AgreeMediaType(pReceivePin, pcmt);
}

HRESULT CBasePin::AgreeMediaType(IPin* pReceivePin, const CMediaType* pmt) {
    // A fully specified type is tried alone.
    if (pmt != NULL && !pmt->IsPartiallySpecified()) {
        return AttemptConnection(pReceivePin, pmt);
    }
    HRESULT hrFailure = VFW_E_NO_ACCEPTABLE_TYPES;
    for (int i = 0; i < 2; i++) {
        // Pass 0 uses the other pin's types unless this pin's come first, pass 1 the remaining ones.
        bool mine = (i == 0) == m_bTryMyTypesFirst;
        IEnumMediaTypes* pEnum = NULL;
        HRESULT hr = mine ? EnumMediaTypes(&pEnum) : pReceivePin->EnumMediaTypes(&pEnum);
        if (SUCCEEDED(hr) && pEnum != NULL) {
            hr = TryMediaTypes(pReceivePin, pmt, pEnum);
            pEnum->Release();
            if (SUCCEEDED(hr)) {
                return S_OK;
            }
            // Keep the most telling failure: anything beats "no acceptable types".
            if (hr != VFW_E_NO_ACCEPTABLE_TYPES) {
                hrFailure = hr;
            }
        } else if (hr == E_OUTOFMEMORY) {
            hrFailure = hr;
        }
    }
    return hrFailure;
}

HRESULT CBasePin::TryMediaTypes(IPin* pReceivePin, const CMediaType* pmt, IEnumMediaTypes* pEnum) {
    HRESULT hr = pEnum->Reset();
    if (FAILED(hr)) {
        return hr;
    }
    HRESULT hrFailure = VFW_E_NO_ACCEPTABLE_TYPES;
    for (;;) {
        AM_MEDIA_TYPE* pMediaType = NULL;
        ULONG cFetched = 0;
        hr = pEnum->Next(1, &pMediaType, &cFetched);
        if (hr != S_OK || cFetched != 1 || pMediaType == NULL) {
            if (FAILED(hr) && hr != VFW_E_ENUM_OUT_OF_SYNC) {
                hrFailure = hr;
            }
            return hrFailure;
        }
        const CMediaType* pCandidate = static_cast<const CMediaType*>(pMediaType);
        if (pmt == NULL || pCandidate->MatchesPartial(pmt)) {
            hr = AttemptConnection(pReceivePin, pCandidate);
            if (SUCCEEDED(hr)) {
                DeleteMediaType(pMediaType);
                return S_OK;
            }
            if (hr != E_FAIL && hr != E_INVALIDARG && hr != VFW_E_TYPE_NOT_ACCEPTED) {
                hrFailure = hr;
            }
        }
        DeleteMediaType(pMediaType);
    }
}

HRESULT CBasePin::AttemptConnection(IPin* pReceivePin, const CMediaType* pmt) {
    HRESULT hr = CheckConnect(pReceivePin);
    if (FAILED(hr)) {
        BreakConnect();
        return hr;
    }
    hr = CheckMediaType(pmt);
    if (hr == S_OK) {
        m_Connected = pReceivePin;
        m_Connected->AddRef();
        hr = SetMediaType(pmt);
        if (SUCCEEDED(hr)) {
            hr = pReceivePin->ReceiveConnection(static_cast<IPin*>(this), pmt);
            if (SUCCEEDED(hr)) {
                hr = CompleteConnect(pReceivePin);
                if (SUCCEEDED(hr)) {
                    return hr;
                }
                pReceivePin->Disconnect();
            }
        }
    } else if (SUCCEEDED(hr) || hr == E_FAIL || hr == E_INVALIDARG) {
        // S_FALSE and the vague refusals all mean: this type is not acceptable.
        hr = VFW_E_TYPE_NOT_ACCEPTED;
    }
    if (m_Connected != NULL) {
        m_Connected->Release();
        m_Connected = NULL;
    }
    BreakConnect();
    return hr;
}

STDMETHODIMP CBasePin::ReceiveConnection(IPin* pConnector, const AM_MEDIA_TYPE* pmt) {
    CheckPointer(pConnector, E_POINTER);
    CheckPointer(pmt, E_POINTER);
    const CMediaType* pcmt = static_cast<const CMediaType*>(pmt);
    {
        CAutoLock lock(m_pLock);
        if (m_Connected != NULL) {
            return VFW_E_ALREADY_CONNECTED;
        }
        if (!IsStopped() && !m_bCanReconnectWhenActive) {
            return VFW_E_NOT_STOPPED;
        }
        HRESULT hr = CheckConnect(pConnector);
        if (FAILED(hr)) {
            BreakConnect();
            return hr;
        }
        hr = CheckMediaType(pcmt);
        if (hr != S_OK) {
            BreakConnect();
            if (SUCCEEDED(hr) || hr == E_FAIL || hr == E_INVALIDARG) {
                hr = VFW_E_TYPE_NOT_ACCEPTED;
            }
            return hr;
        }
        m_Connected = pConnector;
        m_Connected->AddRef();
        hr = SetMediaType(pcmt);
        if (FAILED(hr)) {
            m_Connected->Release();
            m_Connected = NULL;
            BreakConnect();
            return hr;
        }
    }
    // CompleteConnect runs without the state lock: a derived pin may take a lock of its own there
    // (one it also holds while it flushes, which takes the state lock inside it) and call into the
    // connected pin.
    HRESULT hr = CompleteConnect(pConnector);
    if (FAILED(hr)) {
        CAutoLock lock(m_pLock);
        if (m_Connected == pConnector) {
            m_Connected->Release();
            m_Connected = NULL;
            BreakConnect();
        }
        return hr;
    }
    return S_OK;
}

STDMETHODIMP CBasePin::Disconnect() {
    CAutoLock lock(m_pLock);
    if (!IsStopped()) {
        return VFW_E_NOT_STOPPED;
    }
    return DisconnectInternal();
}

HRESULT CBasePin::DisconnectInternal() {
    CAutoLock lock(m_pLock);
    if (m_Connected == NULL) {
        return S_FALSE;
    }
    HRESULT hr = BreakConnect();
    if (FAILED(hr)) {
        return hr;
    }
    m_Connected->Release();
    m_Connected = NULL;
    return S_OK;
}

STDMETHODIMP CBasePin::ConnectedTo(IPin** pPin) {
    CheckPointer(pPin, E_POINTER);
    CAutoLock lock(m_pLock);
    *pPin = m_Connected;
    if (m_Connected == NULL) {
        return VFW_E_NOT_CONNECTED;
    }
    m_Connected->AddRef();
    return S_OK;
}

STDMETHODIMP CBasePin::ConnectionMediaType(AM_MEDIA_TYPE* pmt) {
    CheckPointer(pmt, E_POINTER);
    CAutoLock lock(m_pLock);
    if (m_Connected == NULL) {
        static_cast<CMediaType*>(pmt)->InitMediaType();
        return VFW_E_NOT_CONNECTED;
    }
    return CopyMediaType(pmt, &m_mt);
}

STDMETHODIMP CBasePin::QueryPinInfo(PIN_INFO* pInfo) {
    CheckPointer(pInfo, E_POINTER);
    pInfo->pFilter = m_pFilter;
    if (m_pFilter != NULL) {
        m_pFilter->AddRef();
    }
    CopyWideName(pInfo->achName, MAX_PIN_NAME, m_pName);
    pInfo->dir = m_dir;
    return S_OK;
}

STDMETHODIMP CBasePin::QueryDirection(PIN_DIRECTION* pPinDir) {
    CheckPointer(pPinDir, E_POINTER);
    *pPinDir = m_dir;
    return S_OK;
}

STDMETHODIMP CBasePin::QueryId(LPWSTR* Id) {
    CheckPointer(Id, E_POINTER);
    return AMGetWideString(m_pName != NULL ? m_pName : L"", Id);
}

STDMETHODIMP CBasePin::QueryAccept(const AM_MEDIA_TYPE* pmt) {
    CheckPointer(pmt, E_POINTER);
    HRESULT hr = CheckMediaType(static_cast<const CMediaType*>(pmt));
    return FAILED(hr) ? S_FALSE : hr;
}

STDMETHODIMP CBasePin::EnumMediaTypes(IEnumMediaTypes** ppEnum) {
    CheckPointer(ppEnum, E_POINTER);
    CEnumMediaTypes* pEnum = new CEnumMediaTypes(this, NULL);
    if (pEnum == NULL) {
        *ppEnum = NULL;
        return E_OUTOFMEMORY;
    }
    *ppEnum = pEnum;
    return S_OK;
}

STDMETHODIMP CBasePin::QueryInternalConnections(IPin** apPin, ULONG* nPin) {
    return E_NOTIMPL;
}

STDMETHODIMP CBasePin::EndOfStream() {
    return S_OK;
}

STDMETHODIMP CBasePin::NewSegment(REFERENCE_TIME tStart, REFERENCE_TIME tStop, double dRate) {
    CAutoLock lock(m_pLock);
    m_tStart = tStart;
    m_tStop = tStop;
    m_dRate = dRate;
    return S_OK;
}

STDMETHODIMP CBasePin::Notify(IBaseFilter* pSender, Quality q) {
    return E_NOTIMPL;
}

STDMETHODIMP CBasePin::SetSink(IQualityControl* piqc) {
    CAutoLock lock(m_pLock);
    m_pQSink = piqc;
    return S_OK;
}

LONG CBasePin::GetMediaTypeVersion() {
    return __atomic_load_n(&m_TypeVersion, __ATOMIC_SEQ_CST);
}

void CBasePin::IncrementTypeVersion() {
    InterlockedIncrement(&m_TypeVersion);
}

HRESULT CBasePin::SetMediaType(const CMediaType* pmt) {
    return m_mt.Set(*pmt);
}

HRESULT CBasePin::CheckConnect(IPin* pPin) {
    PIN_DIRECTION pd;
    HRESULT hr = pPin->QueryDirection(&pd);
    if (FAILED(hr)) {
        return hr;
    }
    if (pd == m_dir) {
        return VFW_E_INVALID_DIRECTION;
    }
    return S_OK;
}

HRESULT CBasePin::BreakConnect() {
    return S_OK;
}

HRESULT CBasePin::CompleteConnect(IPin* pReceivePin) {
    return S_OK;
}

HRESULT CBasePin::GetMediaType(int iPosition, CMediaType* pMediaType) {
    if (iPosition < 0) {
        return E_INVALIDARG;
    }
    return VFW_S_NO_MORE_ITEMS;
}

// ===================================================================================================
// CBaseOutputPin

CBaseOutputPin::CBaseOutputPin(LPCTSTR pObjectName, CBaseFilter* pFilter, CCritSec* pLock, HRESULT* phr,
                               LPCWSTR pName)
    : CBasePin(pObjectName, pFilter, pLock, phr, pName, PINDIR_OUTPUT), m_pAllocator(NULL),
      m_pInputPin(NULL) {}

CBaseOutputPin::~CBaseOutputPin() {
    if (m_pAllocator != NULL) {
        m_pAllocator->Decommit();
        m_pAllocator->Release();
        m_pAllocator = NULL;
    }
    if (m_pInputPin != NULL) {
        m_pInputPin->Release();
        m_pInputPin = NULL;
    }
}

HRESULT CBaseOutputPin::CompleteConnect(IPin* pReceivePin) {
    return DecideAllocator(m_pInputPin, &m_pAllocator);
}

HRESULT CBaseOutputPin::DecideAllocator(IMemInputPin* pPin, IMemAllocator** ppAlloc) {
    *ppAlloc = NULL;
    ALLOCATOR_PROPERTIES prop;
    memset(&prop, 0, sizeof(prop));
    // The input pin's wishes are advice only; E_NOTIMPL is the usual answer.
    pPin->GetAllocatorRequirements(&prop);
    if (prop.cbAlign == 0) {
        prop.cbAlign = 1;
    }
    HRESULT hr = pPin->GetAllocator(ppAlloc);
    if (SUCCEEDED(hr) && *ppAlloc != NULL) {
        hr = DecideBufferSize(*ppAlloc, &prop);
        if (SUCCEEDED(hr)) {
            hr = pPin->NotifyAllocator(*ppAlloc, FALSE);
            if (SUCCEEDED(hr)) {
                return S_OK;
            }
        }
    }
    if (*ppAlloc != NULL) {
        (*ppAlloc)->Release();
        *ppAlloc = NULL;
    }
    hr = InitAllocator(ppAlloc);
    if (SUCCEEDED(hr)) {
        hr = DecideBufferSize(*ppAlloc, &prop);
        if (SUCCEEDED(hr)) {
            hr = pPin->NotifyAllocator(*ppAlloc, FALSE);
            if (SUCCEEDED(hr)) {
                return S_OK;
            }
        }
    }
    if (*ppAlloc != NULL) {
        (*ppAlloc)->Release();
        *ppAlloc = NULL;
    }
    return hr;
}

HRESULT CBaseOutputPin::InitAllocator(IMemAllocator** ppAlloc) {
    return CreateMemoryAllocator(ppAlloc);
}

HRESULT CBaseOutputPin::GetDeliveryBuffer(IMediaSample** ppSample, REFERENCE_TIME* pStartTime,
                                          REFERENCE_TIME* pEndTime, DWORD dwFlags) {
    CheckPointer(ppSample, E_POINTER);
    if (m_pAllocator == NULL) {
        *ppSample = NULL;
        return E_NOINTERFACE;
    }
    return m_pAllocator->GetBuffer(ppSample, pStartTime, pEndTime, dwFlags);
}

HRESULT CBaseOutputPin::Deliver(IMediaSample* pSample) {
    if (m_pInputPin == NULL) {
        return VFW_E_NOT_CONNECTED;
    }
    return m_pInputPin->Receive(pSample);
}

HRESULT CBaseOutputPin::DeliverEndOfStream() {
    if (m_Connected == NULL) {
        return VFW_E_NOT_CONNECTED;
    }
    return m_Connected->EndOfStream();
}

HRESULT CBaseOutputPin::DeliverBeginFlush() {
    if (m_Connected == NULL) {
        return VFW_E_NOT_CONNECTED;
    }
    return m_Connected->BeginFlush();
}

HRESULT CBaseOutputPin::DeliverEndFlush() {
    if (m_Connected == NULL) {
        return VFW_E_NOT_CONNECTED;
    }
    return m_Connected->EndFlush();
}

HRESULT CBaseOutputPin::DeliverNewSegment(REFERENCE_TIME tStart, REFERENCE_TIME tStop, double dRate) {
    if (m_Connected == NULL) {
        return VFW_E_NOT_CONNECTED;
    }
    return m_Connected->NewSegment(tStart, tStop, dRate);
}

HRESULT CBaseOutputPin::CheckConnect(IPin* pPin) {
    HRESULT hr = CBasePin::CheckConnect(pPin);
    if (FAILED(hr)) {
        return hr;
    }
    if (m_pInputPin != NULL) {
        m_pInputPin->Release();
        m_pInputPin = NULL;
    }
    hr = pPin->QueryInterface(IID_IMemInputPin, reinterpret_cast<void**>(&m_pInputPin));
    if (FAILED(hr) || m_pInputPin == NULL) {
        m_pInputPin = NULL;
        return VFW_E_NO_TRANSPORT;
    }
    return S_OK;
}

HRESULT CBaseOutputPin::BreakConnect() {
    if (m_pAllocator != NULL) {
        HRESULT hr = m_pAllocator->Decommit();
        if (FAILED(hr)) {
            return hr;
        }
        m_pAllocator->Release();
        m_pAllocator = NULL;
    }
    if (m_pInputPin != NULL) {
        m_pInputPin->Release();
        m_pInputPin = NULL;
    }
    return S_OK;
}

HRESULT CBaseOutputPin::Active() {
    if (m_pAllocator == NULL) {
        return VFW_E_NO_ALLOCATOR;
    }
    return m_pAllocator->Commit();
}

HRESULT CBaseOutputPin::Inactive() {
    m_bRunTimeError = false;
    if (m_pAllocator == NULL) {
        return VFW_E_NO_ALLOCATOR;
    }
    return m_pAllocator->Decommit();
}

STDMETHODIMP CBaseOutputPin::EndOfStream() {
    return E_UNEXPECTED;
}

STDMETHODIMP CBaseOutputPin::BeginFlush() {
    return E_UNEXPECTED;
}

STDMETHODIMP CBaseOutputPin::EndFlush() {
    return E_UNEXPECTED;
}

// ===================================================================================================
// CBaseInputPin

CBaseInputPin::CBaseInputPin(LPCTSTR pObjectName, CBaseFilter* pFilter, CCritSec* pLock, HRESULT* phr,
                             LPCWSTR pName)
    : CBasePin(pObjectName, pFilter, pLock, phr, pName, PINDIR_INPUT), m_pAllocator(NULL), m_bReadOnly(FALSE),
      m_bFlushing(FALSE), m_bOwnSampleType(FALSE) {
    memset(&m_SampleProps, 0, sizeof(m_SampleProps));
}

CBaseInputPin::~CBaseInputPin() {
    ReleaseSamplePropsType();
    if (m_pAllocator != NULL) {
        m_pAllocator->Release();
        m_pAllocator = NULL;
    }
}

STDMETHODIMP CBaseInputPin::NonDelegatingQueryInterface(REFIID riid, void** ppv) {
    CheckPointer(ppv, E_POINTER);
    if (riid == IID_IMemInputPin) {
        return GetInterface(static_cast<IMemInputPin*>(this), ppv);
    }
    return CBasePin::NonDelegatingQueryInterface(riid, ppv);
}

STDMETHODIMP CBaseInputPin::GetAllocator(IMemAllocator** ppAllocator) {
    CheckPointer(ppAllocator, E_POINTER);
    CAutoLock lock(m_pLock);
    if (m_pAllocator == NULL) {
        HRESULT hr = CreateMemoryAllocator(&m_pAllocator);
        if (FAILED(hr)) {
            *ppAllocator = NULL;
            return hr;
        }
    }
    *ppAllocator = m_pAllocator;
    m_pAllocator->AddRef();
    return S_OK;
}

STDMETHODIMP CBaseInputPin::NotifyAllocator(IMemAllocator* pAllocator, BOOL bReadOnly) {
    CheckPointer(pAllocator, E_POINTER);
    CAutoLock lock(m_pLock);
    IMemAllocator* pOld = m_pAllocator;
    pAllocator->AddRef();
    m_pAllocator = pAllocator;
    if (pOld != NULL) {
        pOld->Release();
    }
    m_bReadOnly = static_cast<BYTE>(bReadOnly ? TRUE : FALSE);
    return S_OK;
}

STDMETHODIMP CBaseInputPin::GetAllocatorRequirements(ALLOCATOR_PROPERTIES* pProps) {
    return E_NOTIMPL;
}

HRESULT CBaseInputPin::CheckStreaming() {
    CAutoLock lock(m_pLock);
    if (m_bFlushing) {
        return S_FALSE;
    }
    if (m_pFilter->IsStopped()) {
        return VFW_E_WRONG_STATE;
    }
    if (m_bRunTimeError) {
        return VFW_E_RUNTIME_ERROR;
    }
    return S_OK;
}

void CBaseInputPin::ReleaseSamplePropsType() {
    if (m_bOwnSampleType && m_SampleProps.pMediaType != NULL) {
        DeleteMediaType(m_SampleProps.pMediaType);
    }
    m_bOwnSampleType = FALSE;
    m_SampleProps.pMediaType = NULL;
}

STDMETHODIMP CBaseInputPin::Receive(IMediaSample* pSample) {
    CheckPointer(pSample, E_POINTER);
    HRESULT hr = CheckStreaming();
    if (hr != S_OK) {
        return hr;
    }

    ReleaseSamplePropsType();
    IMediaSample2* pSample2 = NULL;
    if (SUCCEEDED(pSample->QueryInterface(IID_IMediaSample2, reinterpret_cast<void**>(&pSample2))) &&
        pSample2 != NULL) {
        hr = pSample2->GetProperties(sizeof(m_SampleProps), reinterpret_cast<BYTE*>(&m_SampleProps));
        pSample2->Release();
        if (FAILED(hr)) {
            return hr;
        }
    } else {
        // A sample of IMediaSample alone: gather the same properties one by one.
        memset(&m_SampleProps, 0, sizeof(m_SampleProps));
        m_SampleProps.cbData = sizeof(m_SampleProps);
        m_SampleProps.dwStreamId = AM_STREAM_MEDIA;
        if (pSample->IsDiscontinuity() == S_OK) {
            m_SampleProps.dwSampleFlags |= AM_SAMPLE_DATADISCONTINUITY;
        }
        if (pSample->IsPreroll() == S_OK) {
            m_SampleProps.dwSampleFlags |= AM_SAMPLE_PREROLL;
        }
        if (pSample->IsSyncPoint() == S_OK) {
            m_SampleProps.dwSampleFlags |= AM_SAMPLE_SPLICEPOINT;
        }
        if (SUCCEEDED(pSample->GetTime(&m_SampleProps.tStart, &m_SampleProps.tStop))) {
            m_SampleProps.dwSampleFlags |= AM_SAMPLE_TIMEVALID | AM_SAMPLE_STOPVALID;
        }
        AM_MEDIA_TYPE* pType = NULL;
        if (pSample->GetMediaType(&pType) == S_OK && pType != NULL) {
            m_SampleProps.dwSampleFlags |= AM_SAMPLE_TYPECHANGED;
            m_SampleProps.pMediaType = pType;
            m_bOwnSampleType = TRUE;
        }
        pSample->GetPointer(&m_SampleProps.pbBuffer);
        m_SampleProps.lActual = pSample->GetActualDataLength();
        m_SampleProps.cbBuffer = pSample->GetSize();
    }

    if (!(m_SampleProps.dwSampleFlags & AM_SAMPLE_TYPECHANGED)) {
        return S_OK;
    }
    // A type change without a type is refused like any type this pin does not take.
    hr = m_SampleProps.pMediaType != NULL
             ? CheckMediaType(static_cast<const CMediaType*>(m_SampleProps.pMediaType))
             : VFW_E_INVALIDMEDIATYPE;
    ReleaseSamplePropsType();
    if (hr == S_OK) {
        return S_OK;
    }
    {
        CAutoLock lock(m_pLock);
        m_bRunTimeError = true;
    }
    EndOfStream();
    m_pFilter->NotifyEvent(EC_ERRORABORT, VFW_E_TYPE_NOT_ACCEPTED, 0);
    return VFW_E_INVALIDMEDIATYPE;
}

STDMETHODIMP CBaseInputPin::ReceiveMultiple(IMediaSample** pSamples, LONG nSamples, LONG* nSamplesProcessed) {
    CheckPointer(nSamplesProcessed, E_POINTER);
    *nSamplesProcessed = 0;
    if (nSamples > 0) {
        CheckPointer(pSamples, E_POINTER);
    }
    HRESULT hr = S_OK;
    while (*nSamplesProcessed < nSamples) {
        hr = Receive(pSamples[*nSamplesProcessed]);
        if (hr != S_OK) {
            break;
        }
        (*nSamplesProcessed)++;
    }
    return hr;
}

STDMETHODIMP CBaseInputPin::ReceiveCanBlock() {
    // Receive blocks when a connected output pin's downstream input pin may block, or when the
    // filter has no connected output pin at all (a renderer or sink does its work inside Receive).
    int cPins = m_pFilter->GetPinCount();
    int cOutputPins = 0;
    for (int c = 0; c < cPins; c++) {
        CBasePin* pPin = m_pFilter->GetPin(c);
        if (pPin == NULL) {
            continue;
        }
        PIN_DIRECTION pd;
        HRESULT hr = pPin->QueryDirection(&pd);
        if (FAILED(hr)) {
            return hr;
        }
        if (pd != PINDIR_OUTPUT) {
            continue;
        }
        IPin* pConnected = NULL;
        if (FAILED(pPin->ConnectedTo(&pConnected)) || pConnected == NULL) {
            continue;
        }
        cOutputPins++;
        IMemInputPin* pInputPin = NULL;
        hr = pConnected->QueryInterface(IID_IMemInputPin, reinterpret_cast<void**>(&pInputPin));
        pConnected->Release();
        if (FAILED(hr) || pInputPin == NULL) {
            return S_OK;
        }
        hr = pInputPin->ReceiveCanBlock();
        pInputPin->Release();
        if (hr != S_FALSE) {
            return S_OK;
        }
    }
    return cOutputPins == 0 ? S_OK : S_FALSE;
}

STDMETHODIMP CBaseInputPin::BeginFlush() {
    CAutoLock lock(m_pLock);
    m_bFlushing = TRUE;
    return S_OK;
}

STDMETHODIMP CBaseInputPin::EndFlush() {
    CAutoLock lock(m_pLock);
    m_bFlushing = FALSE;
    m_bRunTimeError = false;
    return S_OK;
}

STDMETHODIMP CBaseInputPin::Notify(IBaseFilter* pSender, Quality q) {
    CheckPointer(pSender, E_POINTER);
    return E_NOTIMPL;
}

HRESULT CBaseInputPin::PassNotify(Quality& q) {
    IQualityControl* pSink;
    IPin* pConnected;
    {
        CAutoLock lock(m_pLock);
        pSink = m_pQSink;
        pConnected = m_Connected;
        if (pSink == NULL && pConnected != NULL) {
            pConnected->AddRef();
        }
    }
    if (pSink != NULL) {
        return pSink->Notify(m_pFilter, q);
    }
    if (pConnected == NULL) {
        return VFW_E_NOT_FOUND;
    }
    // Upstream: the connected output pin's IQualityControl.
    IQualityControl* pUpstream = NULL;
    HRESULT hr = pConnected->QueryInterface(IID_IQualityControl, reinterpret_cast<void**>(&pUpstream));
    pConnected->Release();
    if (FAILED(hr) || pUpstream == NULL) {
        return VFW_E_NOT_FOUND;
    }
    hr = pUpstream->Notify(m_pFilter, q);
    pUpstream->Release();
    return hr;
}

HRESULT CBaseInputPin::BreakConnect() {
    if (m_pAllocator != NULL) {
        // Decommitted here too: the output pin may not do it, and the buffers would stay.
        HRESULT hr = m_pAllocator->Decommit();
        if (FAILED(hr)) {
            return hr;
        }
        m_pAllocator->Release();
        m_pAllocator = NULL;
    }
    return S_OK;
}

HRESULT CBaseInputPin::Inactive() {
    m_bRunTimeError = false;
    if (m_pAllocator == NULL) {
        return VFW_E_NO_ALLOCATOR;
    }
    m_bFlushing = FALSE;
    return m_pAllocator->Decommit();
}

// ===================================================================================================
// CMediaSample

CMediaSample::CMediaSample(LPCTSTR pName, CBaseAllocator* pAllocator, HRESULT* phr, LPBYTE pBuffer,
                           LONG length)
    : m_dwFlags(0), m_dwTypeSpecificFlags(0), m_pBuffer(pBuffer), m_lActual(length), m_cbBuffer(length),
      m_pAllocator(pAllocator), m_pNext(NULL), m_Start(0), m_End(0), m_MediaStart(0), m_MediaEnd(0),
      m_pMediaType(NULL), m_dwStreamId(AM_STREAM_MEDIA), m_cRef(0) {
    if (length < 0 && phr != NULL) {
        *phr = VFW_E_BUFFER_OVERFLOW;
        m_cbBuffer = 0;
        m_lActual = 0;
    }
}

CMediaSample::~CMediaSample() {
    if (m_pMediaType != NULL) {
        DeleteMediaType(m_pMediaType);
        m_pMediaType = NULL;
    }
}

void* CMediaSample::operator new(size_t size) noexcept {
    return MemAlloc(size);
}

void CMediaSample::operator delete(void* block) noexcept {
    MemFree(block);
}

STDMETHODIMP CMediaSample::QueryInterface(REFIID riid, void** ppv) {
    CheckPointer(ppv, E_POINTER);
    if (riid == IID_IMediaSample || riid == IID_IMediaSample2 || riid == IID_IUnknown) {
        return GetInterface(static_cast<IMediaSample2*>(this), ppv);
    }
    *ppv = NULL;
    return E_NOINTERFACE;
}

STDMETHODIMP_(ULONG) CMediaSample::AddRef() {
    return static_cast<ULONG>(InterlockedIncrement(&m_cRef));
}

STDMETHODIMP_(ULONG) CMediaSample::Release() {
    LONG lRef = InterlockedDecrement(&m_cRef);
    if (lRef == 0) {
        // Back to the allocator, fresh for its next user.
        if (m_dwFlags & Sample_TypeChanged) {
            SetMediaType(NULL);
        }
        m_dwFlags = 0;
        m_dwTypeSpecificFlags = 0;
        m_dwStreamId = AM_STREAM_MEDIA;
        m_pAllocator->ReleaseBuffer(this);
    }
    return static_cast<ULONG>(lRef);
}

HRESULT CMediaSample::SetPointer(BYTE* ptr, LONG cBytes) {
    if (cBytes < 0) {
        return VFW_E_BUFFER_OVERFLOW;
    }
    m_pBuffer = ptr;
    m_cbBuffer = cBytes;
    m_lActual = cBytes;
    return S_OK;
}

STDMETHODIMP CMediaSample::GetPointer(BYTE** ppBuffer) {
    CheckPointer(ppBuffer, E_POINTER);
    *ppBuffer = m_pBuffer;
    return S_OK;
}

STDMETHODIMP_(LONG) CMediaSample::GetSize() {
    return m_cbBuffer;
}

STDMETHODIMP CMediaSample::GetTime(REFERENCE_TIME* pTimeStart, REFERENCE_TIME* pTimeEnd) {
    CheckPointer(pTimeStart, E_POINTER);
    CheckPointer(pTimeEnd, E_POINTER);
    if (!(m_dwFlags & Sample_StopValid)) {
        if (!(m_dwFlags & Sample_TimeValid)) {
            return VFW_E_SAMPLE_TIME_NOT_SET;
        }
        // A start time alone: the stop time is taken as one unit later.
        *pTimeStart = m_Start;
        *pTimeEnd = m_Start + 1;
        return VFW_S_NO_STOP_TIME;
    }
    *pTimeStart = m_Start;
    *pTimeEnd = m_End;
    return S_OK;
}

STDMETHODIMP CMediaSample::SetTime(REFERENCE_TIME* pTimeStart, REFERENCE_TIME* pTimeEnd) {
    if (pTimeStart == NULL) {
        m_dwFlags &= ~(Sample_TimeValid | Sample_StopValid);
        return S_OK;
    }
    if (pTimeEnd == NULL) {
        m_Start = *pTimeStart;
        m_dwFlags |= Sample_TimeValid;
        m_dwFlags &= ~Sample_StopValid;
        return S_OK;
    }
    m_Start = *pTimeStart;
    m_End = *pTimeEnd;
    m_dwFlags |= Sample_TimeValid | Sample_StopValid;
    return S_OK;
}

STDMETHODIMP CMediaSample::IsSyncPoint() {
    return (m_dwFlags & Sample_SyncPoint) ? S_OK : S_FALSE;
}

STDMETHODIMP CMediaSample::SetSyncPoint(BOOL bIsSyncPoint) {
    if (bIsSyncPoint) {
        m_dwFlags |= Sample_SyncPoint;
    } else {
        m_dwFlags &= ~Sample_SyncPoint;
    }
    return S_OK;
}

STDMETHODIMP CMediaSample::IsPreroll() {
    return (m_dwFlags & Sample_Preroll) ? S_OK : S_FALSE;
}

STDMETHODIMP CMediaSample::SetPreroll(BOOL bIsPreroll) {
    if (bIsPreroll) {
        m_dwFlags |= Sample_Preroll;
    } else {
        m_dwFlags &= ~Sample_Preroll;
    }
    return S_OK;
}

STDMETHODIMP_(LONG) CMediaSample::GetActualDataLength() {
    return m_lActual;
}

STDMETHODIMP CMediaSample::SetActualDataLength(LONG lActual) {
    if (lActual < 0 || lActual > m_cbBuffer) {
        return VFW_E_BUFFER_OVERFLOW;
    }
    m_lActual = lActual;
    return S_OK;
}

STDMETHODIMP CMediaSample::GetMediaType(AM_MEDIA_TYPE** ppMediaType) {
    CheckPointer(ppMediaType, E_POINTER);
    if (!(m_dwFlags & Sample_TypeChanged) || m_pMediaType == NULL) {
        *ppMediaType = NULL;
        return S_FALSE;
    }
    *ppMediaType = CreateMediaType(m_pMediaType);
    return *ppMediaType == NULL ? E_OUTOFMEMORY : S_OK;
}

STDMETHODIMP CMediaSample::SetMediaType(AM_MEDIA_TYPE* pMediaType) {
    if (pMediaType == NULL) {
        if (m_pMediaType != NULL) {
            DeleteMediaType(m_pMediaType);
            m_pMediaType = NULL;
        }
        m_dwFlags &= ~Sample_TypeChanged;
        return S_OK;
    }
    // The copy is made first so that running out of memory leaves the sample as it was.
    AM_MEDIA_TYPE* pCopy = CreateMediaType(pMediaType);
    if (pCopy == NULL) {
        return E_OUTOFMEMORY;
    }
    if (m_pMediaType != NULL) {
        DeleteMediaType(m_pMediaType);
    }
    m_pMediaType = pCopy;
    m_dwFlags |= Sample_TypeChanged;
    return S_OK;
}

STDMETHODIMP CMediaSample::IsDiscontinuity() {
    return (m_dwFlags & Sample_Discontinuity) ? S_OK : S_FALSE;
}

STDMETHODIMP CMediaSample::SetDiscontinuity(BOOL bDiscont) {
    if (bDiscont) {
        m_dwFlags |= Sample_Discontinuity;
    } else {
        m_dwFlags &= ~Sample_Discontinuity;
    }
    return S_OK;
}

STDMETHODIMP CMediaSample::GetMediaTime(LONGLONG* pTimeStart, LONGLONG* pTimeEnd) {
    CheckPointer(pTimeStart, E_POINTER);
    CheckPointer(pTimeEnd, E_POINTER);
    if (!(m_dwFlags & Sample_MediaTimeValid)) {
        return VFW_E_MEDIA_TIME_NOT_SET;
    }
    *pTimeStart = m_MediaStart;
    *pTimeEnd = m_MediaStart + m_MediaEnd;
    return S_OK;
}

STDMETHODIMP CMediaSample::SetMediaTime(LONGLONG* pTimeStart, LONGLONG* pTimeEnd) {
    if (pTimeStart == NULL) {
        m_dwFlags &= ~Sample_MediaTimeValid;
        return S_OK;
    }
    CheckPointer(pTimeEnd, E_POINTER);
    if (*pTimeEnd < *pTimeStart) {
        return E_INVALIDARG;
    }
    m_MediaStart = *pTimeStart;
    m_MediaEnd = static_cast<LONG>(*pTimeEnd - *pTimeStart);
    m_dwFlags |= Sample_MediaTimeValid;
    return S_OK;
}

// Whether the first cb bytes of AM_SAMPLE2_PROPERTIES include the whole of the given field.
#define QX_HAS_FIELD(field, cb)                                                                              \
    (offsetof(AM_SAMPLE2_PROPERTIES, field) + sizeof(static_cast<AM_SAMPLE2_PROPERTIES*>(nullptr)->field) <= \
     (cb))

STDMETHODIMP CMediaSample::GetProperties(DWORD cbProperties, BYTE* pbProperties) {
    if (cbProperties == 0) {
        return S_OK;
    }
    CheckPointer(pbProperties, E_POINTER);
    AM_SAMPLE2_PROPERTIES props;
    memset(&props, 0, sizeof(props));
    props.cbData = cbProperties < sizeof(props) ? cbProperties : static_cast<DWORD>(sizeof(props));
    props.dwTypeSpecificFlags = m_dwTypeSpecificFlags;
    props.dwSampleFlags = m_dwFlags & ~Sample_MediaTimeValid;
    props.lActual = m_lActual;
    props.tStart = m_Start;
    props.tStop = m_End;
    props.dwStreamId = m_dwStreamId;
    props.pMediaType = (m_dwFlags & Sample_TypeChanged) ? m_pMediaType : NULL;
    props.pbBuffer = m_pBuffer;
    props.cbBuffer = m_cbBuffer;
    memcpy(pbProperties, &props, props.cbData);
    return S_OK;
}

STDMETHODIMP CMediaSample::SetProperties(DWORD cbProperties, const BYTE* pbProperties) {
    if (!QX_HAS_FIELD(cbData, cbProperties)) {
        return S_OK;
    }
    CheckPointer(pbProperties, E_POINTER);
    AM_SAMPLE2_PROPERTIES props;
    memset(&props, 0, sizeof(props));
    memcpy(&props, pbProperties, cbProperties < sizeof(props) ? cbProperties : sizeof(props));
    // What is used is the shorter of the caller's size and the structure's own cbData.
    if (props.cbData < cbProperties) {
        cbProperties = props.cbData;
    }
    if (cbProperties > sizeof(props) || props.cbData > sizeof(props)) {
        return E_INVALIDARG;
    }

    // Every check comes before the first change.
    if (QX_HAS_FIELD(dwSampleFlags, cbProperties)) {
        if (props.dwSampleFlags & (~static_cast<DWORD>(Sample_ValidFlags) | Sample_MediaTimeValid)) {
            return E_INVALIDARG;
        }
        if ((props.dwSampleFlags & AM_SAMPLE_TIMEVALID) && !(m_dwFlags & Sample_TimeValid) &&
            !QX_HAS_FIELD(tStop, cbProperties)) {
            return E_INVALIDARG;
        }
    }
    // The buffer and its size belong to the allocator and cannot be changed.
    if (QX_HAS_FIELD(pbBuffer, cbProperties) && props.pbBuffer != NULL && props.pbBuffer != m_pBuffer) {
        return E_INVALIDARG;
    }
    if (QX_HAS_FIELD(cbBuffer, cbProperties)) {
        if (props.cbBuffer != 0 && props.cbBuffer != m_cbBuffer) {
            return E_INVALIDARG;
        }
        if (QX_HAS_FIELD(lActual, cbProperties) && props.lActual > m_cbBuffer) {
            return E_INVALIDARG;
        }
    }
    if (QX_HAS_FIELD(lActual, cbProperties) && (props.lActual < 0 || props.lActual > m_cbBuffer)) {
        return E_INVALIDARG;
    }
    AM_MEDIA_TYPE* pNewType = NULL;
    bool setType = QX_HAS_FIELD(pMediaType, cbProperties) && (props.dwSampleFlags & AM_SAMPLE_TYPECHANGED);
    if (setType) {
        CheckPointer(props.pMediaType, E_POINTER);
        pNewType = CreateMediaType(props.pMediaType);
        if (pNewType == NULL) {
            return E_OUTOFMEMORY;
        }
    }

    if (QX_HAS_FIELD(dwStreamId, cbProperties)) {
        m_dwStreamId = props.dwStreamId;
    }
    if (QX_HAS_FIELD(dwSampleFlags, cbProperties)) {
        m_dwFlags = props.dwSampleFlags | (m_dwFlags & Sample_MediaTimeValid);
    }
    if (QX_HAS_FIELD(dwTypeSpecificFlags, cbProperties)) {
        m_dwTypeSpecificFlags = props.dwTypeSpecificFlags;
    }
    if (QX_HAS_FIELD(lActual, cbProperties)) {
        m_lActual = props.lActual;
    }
    if (QX_HAS_FIELD(tStop, cbProperties)) {
        m_End = props.tStop;
    }
    if (QX_HAS_FIELD(tStart, cbProperties)) {
        m_Start = props.tStart;
    }
    if (setType) {
        if (m_pMediaType != NULL) {
            DeleteMediaType(m_pMediaType);
        }
        m_pMediaType = pNewType;
    }
    // The type-changed flag follows whether a type is held, whatever the flags said.
    if (m_pMediaType != NULL) {
        m_dwFlags |= Sample_TypeChanged;
    } else {
        m_dwFlags &= ~Sample_TypeChanged;
    }
    return S_OK;
}

#undef QX_HAS_FIELD

// ===================================================================================================
// CBaseAllocator

CBaseAllocator::CBaseAllocator(LPCTSTR pName, LPUNKNOWN pUnk, HRESULT* phr, BOOL bEvent,
                               BOOL fEnableReleaseCallback)
    : CUnknown(pName, pUnk), m_lFree(), m_lWaiting(0), m_lCount(0), m_lAllocated(0), m_lSize(0),
      m_lAlignment(0), m_lPrefix(0), m_bChanged(FALSE), m_bCommitted(FALSE), m_bDecommitInProgress(FALSE),
      m_hSem(CreateSemaphoreW(NULL, 0, 0x7FFFFFFF, NULL)) {
    if (m_hSem == NULL && phr != NULL) {
        *phr = E_OUTOFMEMORY;
    }
}

CBaseAllocator::~CBaseAllocator() {
    if (m_hSem != NULL) {
        CloseHandle(m_hSem);
    }
}

STDMETHODIMP CBaseAllocator::NonDelegatingQueryInterface(REFIID riid, void** ppv) {
    CheckPointer(ppv, E_POINTER);
    if (riid == IID_IMemAllocator) {
        return GetInterface(static_cast<IMemAllocator*>(this), ppv);
    }
    return CUnknown::NonDelegatingQueryInterface(riid, ppv);
}

STDMETHODIMP CBaseAllocator::SetProperties(ALLOCATOR_PROPERTIES* pRequest, ALLOCATOR_PROPERTIES* pActual) {
    CheckPointer(pRequest, E_POINTER);
    CheckPointer(pActual, E_POINTER);
    CAutoLock lock(this);
    memset(pActual, 0, sizeof(ALLOCATOR_PROPERTIES));
    if (m_bCommitted) {
        return VFW_E_ALREADY_COMMITTED;
    }
    if (m_lAllocated != m_lFree.GetCount()) {
        return VFW_E_BUFFERS_OUTSTANDING;
    }
    if (pRequest->cBuffers < 0 || pRequest->cbBuffer < 0 || pRequest->cbPrefix < 0) {
        return E_INVALIDARG;
    }
    pActual->cbBuffer = m_lSize = pRequest->cbBuffer;
    pActual->cBuffers = m_lCount = pRequest->cBuffers;
    pActual->cbAlign = m_lAlignment = pRequest->cbAlign;
    pActual->cbPrefix = m_lPrefix = pRequest->cbPrefix;
    m_bChanged = TRUE;
    return S_OK;
}

STDMETHODIMP CBaseAllocator::GetProperties(ALLOCATOR_PROPERTIES* pActual) {
    CheckPointer(pActual, E_POINTER);
    CAutoLock lock(this);
    pActual->cbBuffer = m_lSize;
    pActual->cBuffers = m_lCount;
    pActual->cbAlign = m_lAlignment;
    pActual->cbPrefix = m_lPrefix;
    return S_OK;
}

STDMETHODIMP CBaseAllocator::Commit() {
    CAutoLock lock(this);
    if (m_bCommitted) {
        return S_OK;
    }
    if (m_bDecommitInProgress) {
        // Samples are still out from before; the buffers are still there, so the allocator simply
        // carries on (it keeps the reference it took for the earlier commit).
        m_bDecommitInProgress = FALSE;
        m_bCommitted = TRUE;
        return S_OK;
    }
    HRESULT hr = Alloc();
    if (FAILED(hr)) {
        return hr;
    }
    m_bCommitted = TRUE;
    AddRef();
    return S_OK;
}

STDMETHODIMP CBaseAllocator::Decommit() {
    bool release = false;
    {
        CAutoLock lock(this);
        if (!m_bCommitted) {
            return S_OK;
        }
        m_bCommitted = FALSE;
        if (m_lFree.GetCount() < m_lAllocated) {
            // The last sample to come back frees the buffers.
            m_bDecommitInProgress = TRUE;
        } else {
            m_bDecommitInProgress = FALSE;
            Free();
            release = true;
        }
        // Waiters in GetBuffer wake and find the allocator decommitted.
        NotifySample();
    }
    if (release) {
        Release();
    }
    return S_OK;
}

STDMETHODIMP CBaseAllocator::GetBuffer(IMediaSample** ppBuffer, REFERENCE_TIME* pStartTime,
                                       REFERENCE_TIME* pEndTime, DWORD dwFlags) {
    CheckPointer(ppBuffer, E_POINTER);
    *ppBuffer = NULL;
    CMediaSample* pSample = NULL;
    for (;;) {
        {
            CAutoLock lock(this);
            if (!m_bCommitted) {
                return VFW_E_NOT_COMMITTED;
            }
            pSample = m_lFree.RemoveHead();
            if (pSample == NULL) {
                if (dwFlags & AM_GBF_NOWAIT) {
                    return VFW_E_TIMEOUT;
                }
                SetWaiting();
            }
        }
        if (pSample != NULL) {
            break;
        }
        WaitForSample();
    }
    // The sample is ours alone now: it starts with the caller's one reference.
    __atomic_store_n(&pSample->m_cRef, 1, __ATOMIC_SEQ_CST);
    *ppBuffer = pSample;
    return S_OK;
}

STDMETHODIMP CBaseAllocator::ReleaseBuffer(IMediaSample* pSample) {
    CheckPointer(pSample, E_POINTER);
    bool release = false;
    {
        CAutoLock lock(this);
        m_lFree.Add(static_cast<CMediaSample*>(pSample));
        if (m_lWaiting != 0) {
            NotifySample();
        }
        if (m_bDecommitInProgress && m_lFree.GetCount() == m_lAllocated) {
            Free();
            m_bDecommitInProgress = FALSE;
            release = true;
        }
    }
    // Outside the lock: this may be the allocator's last reference.
    if (release) {
        Release();
    }
    return S_OK;
}

LONG CBaseAllocator::GetFreeCount() {
    CAutoLock lock(this);
    return m_lFree.GetCount();
}

HRESULT CBaseAllocator::Alloc() {
    if (m_lCount <= 0 || m_lSize <= 0 || m_lAlignment <= 0) {
        return VFW_E_SIZENOTSET;
    }
    // Buffers from an earlier commit are kept when the properties are unchanged.
    if (!m_bChanged) {
        return S_FALSE;
    }
    return S_OK;
}

void CBaseAllocator::NotifySample() {
    // Called under the allocator's lock; the waiters counted in m_lWaiting each get one wake-up. On
    // decommit every waiter is woken.
    if (m_lWaiting != 0) {
        LONG wake = m_bCommitted ? 1 : m_lWaiting;
        ReleaseSemaphore(m_hSem, wake, NULL);
        m_lWaiting -= wake;
    }
}

void CBaseAllocator::WaitForSample() {
    WaitForSingleObject(m_hSem, INFINITE);
}

// ===================================================================================================
// CMemAllocator

CMemAllocator::CMemAllocator(LPCTSTR pName, LPUNKNOWN pUnk, HRESULT* phr)
    : CBaseAllocator(pName, pUnk, phr, TRUE, TRUE), m_pBuffer(NULL) {}

CMemAllocator::~CMemAllocator() {
    Decommit();
    ReallyFree();
}

CUnknown* WINAPI CMemAllocator::CreateInstance(LPUNKNOWN pUnk, HRESULT* phr) {
    CUnknown* pUnkRet = new CMemAllocator(NAME("CMemAllocator"), pUnk, phr);
    if (pUnkRet == NULL && phr != NULL) {
        *phr = E_OUTOFMEMORY;
    }
    return pUnkRet;
}

STDMETHODIMP CMemAllocator::SetProperties(ALLOCATOR_PROPERTIES* pRequest, ALLOCATOR_PROPERTIES* pActual) {
    CheckPointer(pRequest, E_POINTER);
    CheckPointer(pActual, E_POINTER);
    CAutoLock lock(this);
    memset(pActual, 0, sizeof(ALLOCATOR_PROPERTIES));
    LONG align = pRequest->cbAlign;
    if (align <= 0 || (align & (align - 1)) != 0) {
        return VFW_E_BADALIGN;
    }
    if (m_bCommitted) {
        return VFW_E_ALREADY_COMMITTED;
    }
    if (m_lAllocated != m_lFree.GetCount()) {
        return VFW_E_BUFFERS_OUTSTANDING;
    }
    if (pRequest->cBuffers < 0 || pRequest->cbBuffer < 0 || pRequest->cbPrefix < 0) {
        return E_INVALIDARG;
    }
    // Prefix plus buffer is rounded up to the alignment, so every buffer starts aligned after its
    // prefix; the extra bytes go to the buffer.
    LONGLONG total = static_cast<LONGLONG>(pRequest->cbBuffer) + pRequest->cbPrefix;
    LONGLONG rounded = (total + align - 1) / align * align;
    if (rounded > 0x7FFFFFFF) {
        return E_OUTOFMEMORY;
    }
    m_lSize = static_cast<LONG>(rounded - pRequest->cbPrefix);
    m_lCount = pRequest->cBuffers;
    m_lAlignment = align;
    m_lPrefix = pRequest->cbPrefix;
    m_bChanged = TRUE;
    pActual->cbBuffer = m_lSize;
    pActual->cBuffers = m_lCount;
    pActual->cbAlign = m_lAlignment;
    pActual->cbPrefix = m_lPrefix;
    return S_OK;
}

HRESULT CMemAllocator::Alloc() {
    CAutoLock lock(this);
    HRESULT hr = CBaseAllocator::Alloc();
    if (FAILED(hr)) {
        return hr;
    }
    if (hr == S_FALSE && m_pBuffer != NULL) {
        return S_OK;
    }
    // New properties: the old buffers go (they are all back, or SetProperties would have refused).
    ReallyFree();

    LONGLONG stride = static_cast<LONGLONG>(m_lSize) + m_lPrefix;
    LONGLONG total = stride * m_lCount;
    if (total > 0x7FFFFFFF) {
        return E_OUTOFMEMORY;
    }
    // One extra alignment unit lets the first prefix end on an aligned address.
    m_pBuffer = static_cast<LPBYTE>(MemAlloc(static_cast<SIZE_T>(total + m_lAlignment)));
    if (m_pBuffer == NULL) {
        return E_OUTOFMEMORY;
    }
    uintptr_t first = reinterpret_cast<uintptr_t>(m_pBuffer) + static_cast<uintptr_t>(m_lPrefix);
    uintptr_t aligned =
        (first + static_cast<uintptr_t>(m_lAlignment) - 1) & ~(static_cast<uintptr_t>(m_lAlignment) - 1);
    LPBYTE pNext = m_pBuffer + (aligned - first);
    for (LONG i = 0; i < m_lCount; i++, pNext += stride) {
        HRESULT hrSample = S_OK;
        CMediaSample* pSample = new CMediaSample(NAME("Default memory media sample"), this, &hrSample,
                                                 pNext + m_lPrefix, m_lSize);
        if (pSample == NULL || FAILED(hrSample)) {
            delete pSample;
            ReallyFree();
            return E_OUTOFMEMORY;
        }
        m_lFree.Add(pSample);
        m_lAllocated++;
    }
    m_bChanged = FALSE;
    return S_OK;
}

void CMemAllocator::Free() {}

void CMemAllocator::ReallyFree() {
    CAutoLock lock(this);
    // Only ever called with every sample back on the free list.
    for (CMediaSample* pSample = m_lFree.RemoveHead(); pSample != NULL; pSample = m_lFree.RemoveHead()) {
        delete pSample;
    }
    m_lAllocated = 0;
    MemFree(m_pBuffer);
    m_pBuffer = NULL;
}

STDAPI CreateMemoryAllocator(IMemAllocator** ppAllocator) {
    CheckPointer(ppAllocator, E_POINTER);
    *ppAllocator = NULL;
    HRESULT hr = S_OK;
    CMemAllocator* pAllocator = new CMemAllocator(NAME("CMemAllocator"), NULL, &hr);
    if (pAllocator == NULL) {
        return E_OUTOFMEMORY;
    }
    pAllocator->NonDelegatingAddRef();
    if (SUCCEEDED(hr)) {
        hr =
            pAllocator->NonDelegatingQueryInterface(IID_IMemAllocator, reinterpret_cast<void**>(ppAllocator));
    }
    pAllocator->NonDelegatingRelease();
    return hr;
}
