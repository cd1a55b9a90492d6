// The filter, pin, enumerator, allocator and sample classes of the base layer, with the public API of
// the classic media-framework base classes, so that filters written against that API build unchanged.
//
// Locking: each filter hands one lock (m_pLock) to itself and its pins; it guards filter state, graph
// membership, pin connection and the pins' streaming flags. The base classes never hold it while
// calling a graph's event sink, and an input pin's CompleteConnect runs without it, so a filter that
// takes a lock of its own before this one (as a streaming lock) keeps one lock order throughout.
#pragma once
#include <windows.h>
#include <objbase.h>
#include <strmif.h>
#include <vfwmsgs.h>
#include <evcode.h>

#include "baseclasses/combase.h"
#include "baseclasses/mtype.h"
#include "baseclasses/reftime.h"
#include "baseclasses/wxutil.h"

class CBaseFilter;
class CBasePin;
class CEnumPins;
class CEnumMediaTypes;
class CBaseOutputPin;
class CBaseInputPin;
class CBaseAllocator;
class CMemAllocator;
class CMediaSample;

// Filter setup records (what a filter registers with the filter mapper).
typedef REGPINTYPES AMOVIESETUP_MEDIATYPE;
typedef REGPINTYPES* PAMOVIESETUP_MEDIATYPE;
typedef REGPINTYPES* LPAMOVIESETUP_MEDIATYPE;
typedef REGFILTERPINS AMOVIESETUP_PIN;
typedef REGFILTERPINS* PAMOVIESETUP_PIN;
typedef REGFILTERPINS* LPAMOVIESETUP_PIN;
typedef struct _AMOVIESETUP_FILTER {
    const CLSID* clsID;
    const WCHAR* strName;
    DWORD dwMerit;
    UINT nPins;
    const AMOVIESETUP_PIN* lpPin;
} AMOVIESETUP_FILTER, *PAMOVIESETUP_FILTER, *LPAMOVIESETUP_FILTER;

// ---------------------------------------------------------------------------------------------------
// CBaseFilter: IBaseFilter (with IMediaFilter and IPersist) and IAMovieSetup. A derived class
// supplies its pins through GetPinCount and GetPin; pins belong to the filter and share its
// reference count.
class CBaseFilter : public CUnknown, public IBaseFilter, public IAMovieSetup {
    friend class CBasePin;

public:
    CBaseFilter(LPCTSTR pName, LPUNKNOWN pUnk, CCritSec* pLock, REFCLSID clsid);
    CBaseFilter(LPCTSTR pName, LPUNKNOWN pUnk, CCritSec* pLock, REFCLSID clsid, HRESULT* phr);
    ~CBaseFilter() override;

    DECLARE_IUNKNOWN
    STDMETHODIMP NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

    // IPersist
    STDMETHODIMP GetClassID(CLSID* pClsID) override;

    // IMediaFilter
    STDMETHODIMP GetState(DWORD dwMSecs, FILTER_STATE* State) override;
    STDMETHODIMP SetSyncSource(IReferenceClock* pClock) override;
    STDMETHODIMP GetSyncSource(IReferenceClock** pClock) override;
    // Stop deactivates the connected pins (Inactive), Pause activates them when leaving Stopped
    // (Active), Run passes the start time to them (Run), pausing first when stopped.
    STDMETHODIMP Stop() override;
    STDMETHODIMP Pause() override;
    STDMETHODIMP Run(REFERENCE_TIME tStart) override;

    // Current stream time from the reference clock: VFW_E_NO_CLOCK without one.
    virtual HRESULT StreamTime(CRefTime& rtStream);

    BOOL IsActive();
    BOOL IsStopped();

    // IBaseFilter
    STDMETHODIMP EnumPins(IEnumPins** ppEnum) override;
    STDMETHODIMP FindPin(LPCWSTR Id, IPin** ppPin) override;
    STDMETHODIMP QueryFilterInfo(FILTER_INFO* pInfo) override;
    // Joins (or with a null graph leaves) a graph. The graph and its event sink are not counted
    // references: the graph holds the filter, not the other way round.
    STDMETHODIMP JoinFilterGraph(IFilterGraph* pGraph, LPCWSTR pName) override;
    STDMETHODIMP QueryVendorInfo(LPWSTR* pVendorInfo) override;

    // Reports an event to the graph's IMediaEventSink; E_NOTIMPL outside a graph. EC_COMPLETE
    // carries this filter as its second parameter.
    HRESULT NotifyEvent(LONG EventCode, LONG_PTR EventParam1, LONG_PTR EventParam2);

    IFilterGraph* GetFilterGraph() { return m_pGraph; }

    // Asks the graph to reconnect a pin of this filter (IFilterGraph2 is not used here).
    HRESULT ReconnectPin(IPin* pPin, const AM_MEDIA_TYPE* pmt);

    virtual LONG GetPinVersion();
    void IncrementPinVersion();

    virtual int GetPinCount() = 0;
    // The nth pin without a reference added; null past the end.
    virtual CBasePin* GetPin(int n) = 0;

    // IAMovieSetup: registers the setup record with the filter mapper; S_FALSE without one.
    STDMETHODIMP Register() override;
    STDMETHODIMP Unregister() override;

    // The filter's registration record; none by default.
    virtual LPAMOVIESETUP_FILTER GetSetupData() { return NULL; }

protected:
    FILTER_STATE m_State;      // current state, changed under m_pLock
    IReferenceClock* m_pClock; // the graph's clock, a counted reference, or null
    CRefTime m_tStart;         // offset of stream time from the clock's time
    CLSID m_clsid;
    CCritSec* m_pLock; // the filter's state lock, owned by the derived class

    WCHAR* m_pName;           // name given by the graph
    IFilterGraph* m_pGraph;   // not counted
    IMediaEventSink* m_pSink; // not counted
    LONG m_PinVersion;

private:
    HRESULT RegisterWithMapper(BOOL bRegister);
};

// ---------------------------------------------------------------------------------------------------
// CEnumPins: walks a filter's pins; VFW_E_ENUM_OUT_OF_SYNC once the filter's pin set has changed.
class CEnumPins : public CBaseObject, public IEnumPins {
public:
    CEnumPins(CBaseFilter* pFilter, CEnumPins* pEnumPins);
    ~CEnumPins() override;

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;

    STDMETHODIMP Next(ULONG cPins, IPin** ppPins, ULONG* pcFetched) override;
    STDMETHODIMP Skip(ULONG cPins) override;
    STDMETHODIMP Reset() override;
    STDMETHODIMP Clone(IEnumPins** ppEnum) override;

private:
    BOOL AreWeOutOfSync() { return m_pFilter->GetPinVersion() != m_Version; }

    int m_Position;
    int m_PinCount;
    CBaseFilter* m_pFilter; // counted
    LONG m_Version;
    volatile LONG m_cRef;
};

// ---------------------------------------------------------------------------------------------------
// CEnumMediaTypes: walks a pin's preferred types through CBasePin::GetMediaType.
class CEnumMediaTypes : public CBaseObject, public IEnumMediaTypes {
public:
    CEnumMediaTypes(CBasePin* pPin, CEnumMediaTypes* pEnumMediaTypes);
    ~CEnumMediaTypes() override;

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;

    // Each type handed out is a CreateMediaType copy that the caller frees with DeleteMediaType.
    STDMETHODIMP Next(ULONG cMediaTypes, AM_MEDIA_TYPE** ppMediaTypes, ULONG* pcFetched) override;
    STDMETHODIMP Skip(ULONG cMediaTypes) override;
    STDMETHODIMP Reset() override;
    STDMETHODIMP Clone(IEnumMediaTypes** ppEnum) override;

private:
    BOOL AreWeOutOfSync();

    int m_Position;
    CBasePin* m_pPin; // counted
    LONG m_Version;
    volatile LONG m_cRef;
};

// ---------------------------------------------------------------------------------------------------
// CBasePin: IPin and IQualityControl. Connection: the output pin's Connect finds a type both pins
// accept (its own CheckConnect and CheckMediaType, then the input pin's ReceiveConnection), sets
// it on both and calls CompleteConnect on each; any failure undoes the connection (BreakConnect).
class CBasePin : public CUnknown, public IPin, public IQualityControl {
public:
    CBasePin(LPCTSTR pObjectName, CBaseFilter* pFilter, CCritSec* pLock, HRESULT* phr, LPCWSTR pName,
             PIN_DIRECTION dir);
    ~CBasePin() override;

    DECLARE_IUNKNOWN
    STDMETHODIMP NonDelegatingQueryInterface(REFIID riid, void** ppv) override;
    // A pin lives as long as its filter: its references are the filter's.
    STDMETHODIMP_(ULONG) NonDelegatingAddRef() override;
    STDMETHODIMP_(ULONG) NonDelegatingRelease() override;

    // IPin
    STDMETHODIMP Connect(IPin* pReceivePin, const AM_MEDIA_TYPE* pmt) override;
    STDMETHODIMP ReceiveConnection(IPin* pConnector, const AM_MEDIA_TYPE* pmt) override;
    STDMETHODIMP Disconnect() override;
    STDMETHODIMP ConnectedTo(IPin** pPin) override;
    STDMETHODIMP ConnectionMediaType(AM_MEDIA_TYPE* pmt) override;
    STDMETHODIMP QueryPinInfo(PIN_INFO* pInfo) override;
    STDMETHODIMP QueryDirection(PIN_DIRECTION* pPinDir) override;
    STDMETHODIMP QueryId(LPWSTR* Id) override;
    STDMETHODIMP QueryAccept(const AM_MEDIA_TYPE* pmt) override;
    STDMETHODIMP EnumMediaTypes(IEnumMediaTypes** ppEnum) override;
    STDMETHODIMP QueryInternalConnections(IPin** apPin, ULONG* nPin) override;
    STDMETHODIMP EndOfStream() override;
    STDMETHODIMP BeginFlush() override = 0;
    STDMETHODIMP EndFlush() override = 0;
    STDMETHODIMP NewSegment(REFERENCE_TIME tStart, REFERENCE_TIME tStop, double dRate) override;

    // IQualityControl
    STDMETHODIMP Notify(IBaseFilter* pSender, Quality q) override;
    STDMETHODIMP SetSink(IQualityControl* piqc) override;

    BOOL IsConnected() { return m_Connected != NULL; }
    IPin* GetConnected() { return m_Connected; }
    BOOL IsStopped();
    const CMediaType& CurrentMediaType() { return m_mt; }
    LPWSTR Name() { return m_pName; }

    virtual LONG GetMediaTypeVersion();
    void IncrementTypeVersion();

    // Called by the filter on state changes: Active when leaving Stopped, Inactive when stopping,
    // Run with the start time when running.
    virtual HRESULT Active() { return S_OK; }
    virtual HRESULT Inactive() { return S_OK; }
    virtual HRESULT Run(REFERENCE_TIME tStart) { return S_OK; }

    // Connection hooks for derived pins.
    virtual HRESULT CheckMediaType(const CMediaType* pmt) = 0;
    virtual HRESULT SetMediaType(const CMediaType* pmt);
    virtual HRESULT CheckConnect(IPin* pPin);
    virtual HRESULT BreakConnect();
    virtual HRESULT CompleteConnect(IPin* pReceivePin);
    // The pin's preferred types, from position 0; VFW_S_NO_MORE_ITEMS past the last. None by default.
    virtual HRESULT GetMediaType(int iPosition, CMediaType* pMediaType);

    BOOL CanReconnectWhenActive() { return m_bCanReconnectWhenActive; }
    void SetReconnectWhenActive(BOOL bCanReconnect) { m_bCanReconnectWhenActive = bCanReconnect; }

    REFERENCE_TIME CurrentStopTime() { return m_tStop; }
    REFERENCE_TIME CurrentStartTime() { return m_tStart; }
    double CurrentRate() { return m_dRate; }

    // Breaks the connection on this side only; S_FALSE when there was none.
    virtual HRESULT DisconnectInternal();

protected:
    virtual HRESULT AgreeMediaType(IPin* pReceivePin, const CMediaType* pmt);
    virtual HRESULT AttemptConnection(IPin* pReceivePin, const CMediaType* pmt);
    virtual HRESULT TryMediaTypes(IPin* pReceivePin, const CMediaType* pmt, IEnumMediaTypes* pEnum);

    WCHAR* m_pName;    // pin name (owned)
    IPin* m_Connected; // the connected pin, counted
    PIN_DIRECTION m_dir;
    CCritSec* m_pLock;    // the filter's state lock
    bool m_bRunTimeError; // set after a streaming failure until the next flush or stop
    bool m_bCanReconnectWhenActive;
    bool m_bTryMyTypesFirst;   // on Connect, offer this pin's types before the other pin's
    CBaseFilter* m_pFilter;    // the owning filter, not counted
    IQualityControl* m_pQSink; // where quality messages go, not counted
    LONG m_TypeVersion;
    CMediaType m_mt; // the connection's media type

    CRefTime m_tStart; // from NewSegment
    CRefTime m_tStop;
    double m_dRate;
};

// ---------------------------------------------------------------------------------------------------
// CBaseOutputPin: an output pin that delivers samples from the allocator agreed with the input pin.
class CBaseOutputPin : public CBasePin {
public:
    CBaseOutputPin(LPCTSTR pObjectName, CBaseFilter* pFilter, CCritSec* pLock, HRESULT* phr, LPCWSTR pName);
    ~CBaseOutputPin() override;

    // Decides the allocator with the connected input pin.
    HRESULT CompleteConnect(IPin* pReceivePin) override;

    // Uses the input pin's allocator when it offers one and DecideBufferSize accepts it, else one of
    // this pin's (InitAllocator); tells the input pin which one through NotifyAllocator.
    virtual HRESULT DecideAllocator(IMemInputPin* pPin, IMemAllocator** pAlloc);
    // Sets the buffer count and size on the chosen allocator (pProp holds the input pin's wishes).
    virtual HRESULT DecideBufferSize(IMemAllocator* pAlloc, ALLOCATOR_PROPERTIES* ppropInputRequest) = 0;
    virtual HRESULT InitAllocator(IMemAllocator** ppAlloc);

    // A buffer from the agreed allocator; the sample comes with one reference for the caller.
    virtual HRESULT GetDeliveryBuffer(IMediaSample** ppSample, REFERENCE_TIME* pStartTime,
                                      REFERENCE_TIME* pEndTime, DWORD dwFlags);
    // Hands a sample to the connected input pin's Receive.
    virtual HRESULT Deliver(IMediaSample* pSample);
    virtual HRESULT DeliverEndOfStream();
    virtual HRESULT DeliverBeginFlush();
    virtual HRESULT DeliverEndFlush();
    virtual HRESULT DeliverNewSegment(REFERENCE_TIME tStart, REFERENCE_TIME tStop, double dRate);

    HRESULT CheckConnect(IPin* pPin) override;
    HRESULT BreakConnect() override;
    // Commit and decommit the allocator with the filter's state.
    HRESULT Active() override;
    HRESULT Inactive() override;

    // IPin calls that only reach input pins.
    STDMETHODIMP EndOfStream() override;
    STDMETHODIMP BeginFlush() override;
    STDMETHODIMP EndFlush() override;

protected:
    IMemAllocator* m_pAllocator; // counted
    IMemInputPin* m_pInputPin;   // the connected pin's IMemInputPin, counted
};

// ---------------------------------------------------------------------------------------------------
// CBaseInputPin: IMemInputPin on top of CBasePin. Receive is the receive check that derived pins
// run first: E_POINTER for no sample; S_FALSE while flushing, VFW_E_WRONG_STATE while the filter is
// stopped, VFW_E_RUNTIME_ERROR after a run-time error; then, when the sample announces a new media
// type that CheckMediaType refuses, a run-time error: EndOfStream, EC_ERRORABORT with
// VFW_E_TYPE_NOT_ACCEPTED to the graph, and VFW_E_INVALIDMEDIATYPE. S_OK otherwise.
class CBaseInputPin : public CBasePin, public IMemInputPin {
public:
    CBaseInputPin(LPCTSTR pObjectName, CBaseFilter* pFilter, CCritSec* pLock, HRESULT* phr, LPCWSTR pName);
    ~CBaseInputPin() override;

    DECLARE_IUNKNOWN
    STDMETHODIMP NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

    // IMemInputPin
    STDMETHODIMP GetAllocator(IMemAllocator** ppAllocator) override;
    STDMETHODIMP NotifyAllocator(IMemAllocator* pAllocator, BOOL bReadOnly) override;
    STDMETHODIMP GetAllocatorRequirements(ALLOCATOR_PROPERTIES* pProps) override;
    STDMETHODIMP Receive(IMediaSample* pSample) override;
    // Hands each sample to Receive in turn and stops at the first answer other than S_OK.
    STDMETHODIMP ReceiveMultiple(IMediaSample** pSamples, LONG nSamples, LONG* nSamplesProcessed) override;
    // S_OK when Receive may block: always for a filter without connected output pins.
    STDMETHODIMP ReceiveCanBlock() override;

    // Flushing refuses samples (S_FALSE) until EndFlush, which also clears a run-time error.
    STDMETHODIMP BeginFlush() override;
    STDMETHODIMP EndFlush() override;

    STDMETHODIMP Notify(IBaseFilter* pSender, Quality q) override;
    HRESULT PassNotify(Quality& q);

    // The streaming part of the receive check (no sample involved): S_FALSE, VFW_E_WRONG_STATE or
    // VFW_E_RUNTIME_ERROR when the pin cannot take data now, else S_OK.
    virtual HRESULT CheckStreaming();

    HRESULT BreakConnect() override;
    HRESULT Inactive() override;

    BOOL IsReadOnly() { return m_bReadOnly; }
    BOOL IsFlushing() { return m_bFlushing; }
    // Properties of the sample last put through Receive.
    AM_SAMPLE2_PROPERTIES* SampleProps() { return &m_SampleProps; }

protected:
    IMemAllocator* m_pAllocator; // counted
    BYTE m_bReadOnly;
    BYTE m_bFlushing;
    AM_SAMPLE2_PROPERTIES m_SampleProps;

private:
    void ReleaseSamplePropsType();
    BOOL m_bOwnSampleType; // m_SampleProps.pMediaType is a copy of ours
};

// ---------------------------------------------------------------------------------------------------
// CMediaSample: IMediaSample2 over a buffer of its allocator. When its last reference goes it returns
// to the allocator instead of being destroyed.
class CMediaSample : public IMediaSample2 {
public:
    CMediaSample(LPCTSTR pName, CBaseAllocator* pAllocator, HRESULT* phr, LPBYTE pBuffer = NULL,
                 LONG length = 0);
    virtual ~CMediaSample();

    static void* operator new(size_t size) noexcept;
    static void* operator new(size_t size, void* place) noexcept { return place; }
    static void operator delete(void* block) noexcept;
    static void operator delete(void* block, void* place) noexcept {}

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;

    HRESULT SetPointer(BYTE* ptr, LONG cBytes);

    STDMETHODIMP GetPointer(BYTE** ppBuffer) override;
    STDMETHODIMP_(LONG) GetSize() override;
    STDMETHODIMP GetTime(REFERENCE_TIME* pTimeStart, REFERENCE_TIME* pTimeEnd) override;
    STDMETHODIMP SetTime(REFERENCE_TIME* pTimeStart, REFERENCE_TIME* pTimeEnd) override;
    STDMETHODIMP IsSyncPoint() override;
    STDMETHODIMP SetSyncPoint(BOOL bIsSyncPoint) override;
    STDMETHODIMP IsPreroll() override;
    STDMETHODIMP SetPreroll(BOOL bIsPreroll) override;
    STDMETHODIMP_(LONG) GetActualDataLength() override;
    STDMETHODIMP SetActualDataLength(LONG lActual) override;
    STDMETHODIMP GetMediaType(AM_MEDIA_TYPE** ppMediaType) override;
    STDMETHODIMP SetMediaType(AM_MEDIA_TYPE* pMediaType) override;
    STDMETHODIMP IsDiscontinuity() override;
    STDMETHODIMP SetDiscontinuity(BOOL bDiscontinuity) override;
    STDMETHODIMP GetMediaTime(LONGLONG* pTimeStart, LONGLONG* pTimeEnd) override;
    STDMETHODIMP SetMediaTime(LONGLONG* pTimeStart, LONGLONG* pTimeEnd) override;

    // IMediaSample2: the first cbProperties bytes of AM_SAMPLE2_PROPERTIES.
    STDMETHODIMP GetProperties(DWORD cbProperties, BYTE* pbProperties) override;
    STDMETHODIMP SetProperties(DWORD cbProperties, const BYTE* pbProperties) override;

protected:
    friend class CBaseAllocator;
    friend class CMemAllocator;

    enum {
        Sample_SyncPoint = 0x01,
        Sample_Preroll = 0x02,
        Sample_Discontinuity = 0x04,
        Sample_TypeChanged = 0x08,
        Sample_TimeValid = 0x10,
        Sample_MediaTimeValid = 0x20,
        Sample_TimeDiscontinuity = 0x40,
        Sample_StopValid = 0x100,
        Sample_ValidFlags = 0x1FF
    };

    DWORD m_dwFlags;
    DWORD m_dwTypeSpecificFlags;
    LPBYTE m_pBuffer;
    LONG m_lActual;
    LONG m_cbBuffer;
    CBaseAllocator* m_pAllocator;
    CMediaSample* m_pNext; // link in the allocator's free list
    REFERENCE_TIME m_Start;
    REFERENCE_TIME m_End;
    LONGLONG m_MediaStart;
    LONG m_MediaEnd; // offset from m_MediaStart
    AM_MEDIA_TYPE* m_pMediaType;
    DWORD m_dwStreamId;
    volatile LONG m_cRef;
};

// ---------------------------------------------------------------------------------------------------
// CBaseAllocator: IMemAllocator with a free list of samples. Commit makes the buffers (Alloc),
// GetBuffer hands out free samples (waiting for one unless AM_GBF_NOWAIT), Decommit refuses further
// GetBuffer calls and frees the buffers once every sample is back. A committed allocator keeps a
// reference on itself until it is fully decommitted, so outstanding samples never outlive it.
class CBaseAllocator : public CUnknown, public IMemAllocator, public CCritSec {
    friend class CMediaSample;

public:
    CBaseAllocator(LPCTSTR pName, LPUNKNOWN pUnk, HRESULT* phr, BOOL bEvent = TRUE,
                   BOOL fEnableReleaseCallback = FALSE);
    ~CBaseAllocator() override;

    DECLARE_IUNKNOWN
    STDMETHODIMP NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

    STDMETHODIMP SetProperties(ALLOCATOR_PROPERTIES* pRequest, ALLOCATOR_PROPERTIES* pActual) override;
    STDMETHODIMP GetProperties(ALLOCATOR_PROPERTIES* pProps) override;
    STDMETHODIMP Commit() override;
    STDMETHODIMP Decommit() override;
    STDMETHODIMP GetBuffer(IMediaSample** ppBuffer, REFERENCE_TIME* pStartTime, REFERENCE_TIME* pEndTime,
                           DWORD dwFlags) override;
    STDMETHODIMP ReleaseBuffer(IMediaSample* pBuffer) override;

    // Free samples now (for tests and diagnostics).
    LONG GetFreeCount();

protected:
    // Intrusive list of the free samples.
    class CSampleList {
    public:
        CSampleList() : m_List(NULL), m_nOnList(0) {}
        CMediaSample* Head() const { return m_List; }
        static CMediaSample* Next(CMediaSample* pSample) { return pSample->m_pNext; }
        int GetCount() const { return m_nOnList; }
        void Add(CMediaSample* pSample) {
            pSample->m_pNext = m_List;
            m_List = pSample;
            m_nOnList++;
        }
        CMediaSample* RemoveHead() {
            CMediaSample* pSample = m_List;
            if (pSample != NULL) {
                m_List = pSample->m_pNext;
                m_nOnList--;
            }
            return pSample;
        }

    private:
        CMediaSample* m_List;
        int m_nOnList;
    };

    // Makes the samples for the current properties; called under the allocator's lock.
    virtual HRESULT Alloc();
    // Releases what Alloc made once every sample is back; called under the allocator's lock.
    virtual void Free() = 0;

    // Wakes one waiter of GetBuffer, or all of them.
    void NotifySample();
    void SetWaiting() { m_lWaiting++; }

    CSampleList m_lFree;
    LONG m_lWaiting;   // threads waiting in GetBuffer
    LONG m_lCount;     // number of buffers
    LONG m_lAllocated; // samples made
    LONG m_lSize;      // buffer size
    LONG m_lAlignment;
    LONG m_lPrefix;
    BOOL m_bChanged; // properties changed since the last Alloc
    BOOL m_bCommitted;
    BOOL m_bDecommitInProgress;

private:
    // Counts samples coming back to the free list for the threads waiting in GetBuffer.
    HANDLE m_hSem;
    void WaitForSample();
};

// ---------------------------------------------------------------------------------------------------
// CMemAllocator: buffers from the allocation module, one block holding every buffer.
class CMemAllocator : public CBaseAllocator {
public:
    CMemAllocator(LPCTSTR pName, LPUNKNOWN pUnk, HRESULT* phr);
    ~CMemAllocator() override;

    // Alignment must be a power of two (VFW_E_BADALIGN); sizes are rounded up to it.
    STDMETHODIMP SetProperties(ALLOCATOR_PROPERTIES* pRequest, ALLOCATOR_PROPERTIES* pActual) override;

    static CUnknown* WINAPI CreateInstance(LPUNKNOWN pUnk, HRESULT* phr);

protected:
    HRESULT Alloc() override;
    // Buffers are kept for the next Commit; they go when the properties change or on destruction.
    void Free() override;
    void ReallyFree();

    LPBYTE m_pBuffer;
};

// A new CMemAllocator, through its IMemAllocator interface with one reference.
STDAPI CreateMemoryAllocator(IMemAllocator** ppAllocator);
