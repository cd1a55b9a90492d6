#include "host/SectionDemuxFilter.h"

#include <uuids.h>
#include <vfwmsgs.h>

#include "host/HostObject.h"

#include <cstring>
#include <vector>

namespace {

using qxhost::DestroyObject;
using qxhost::MakeObject;

// Sections are at most 4096 bytes; a few buffers let the downstream pin hold one while the next is
// filled.
constexpr long kSectionBuffers = 8;

// The enumerator EnumPIDMap hands out: a snapshot of the map when it was made, so that a caller may
// unmap PID by PID while it walks, as a filter does when it resets its mapping.
class PidMapEnumerator : public IEnumPIDMap {
public:
    explicit PidMapEnumerator(std::vector<ULONG> pids, size_t at = 0) : m_pids(std::move(pids)), m_at(at) {}

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
        if (ppv == nullptr) {
            return E_POINTER;
        }
        if (riid == IID_IUnknown || riid == IID_IEnumPIDMap) {
            *ppv = static_cast<IEnumPIDMap*>(this);
            AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++m_ref; }
    STDMETHODIMP_(ULONG) Release() override {
        ULONG r = --m_ref;
        if (r == 0) {
            DestroyObject(this);
        }
        return r;
    }

    STDMETHODIMP Next(ULONG cRequest, PID_MAP* pPIDMap, ULONG* pcReceived) override {
        if (pPIDMap == nullptr || (cRequest > 1 && pcReceived == nullptr)) {
            return E_POINTER;
        }
        ULONG n = 0;
        while (n < cRequest && m_at < m_pids.size()) {
            pPIDMap[n].ulPID = m_pids[m_at++];
            pPIDMap[n].MediaSampleContent = MEDIA_MPEG2_PSI;
            ++n;
        }
        if (pcReceived != nullptr) {
            *pcReceived = n;
        }
        return n == cRequest ? S_OK : S_FALSE;
    }
    STDMETHODIMP Skip(ULONG cRecords) override {
        size_t left = m_pids.size() - m_at;
        if (cRecords > left) {
            m_at = m_pids.size();
            return S_FALSE;
        }
        m_at += cRecords;
        return S_OK;
    }
    STDMETHODIMP Reset() override {
        m_at = 0;
        return S_OK;
    }
    STDMETHODIMP Clone(IEnumPIDMap** ppIEnumPIDMap) override {
        if (ppIEnumPIDMap == nullptr) {
            return E_POINTER;
        }
        auto* copy = MakeObject<PidMapEnumerator>(m_pids, m_at);
        if (copy == nullptr) {
            *ppIEnumPIDMap = nullptr;
            return E_OUTOFMEMORY;
        }
        copy->AddRef();
        *ppIEnumPIDMap = copy;
        return S_OK;
    }

private:
    template <class T> friend void qxhost::DestroyObject(T*);
    virtual ~PidMapEnumerator() = default;
    std::atomic<ULONG> m_ref{0};
    std::vector<ULONG> m_pids;
    size_t m_at;
};

} // namespace

// ---------------------------------------------------------------------------------------------------
// Output pin

SectionOutputPin::SectionOutputPin(SectionDemuxFilter* pFilter, CCritSec* pLock, HRESULT* phr)
    : CBaseOutputPin(TEXT("Section output pin"), pFilter, pLock, phr, L"PSI"), m_pDemux(pFilter) {}

STDMETHODIMP SectionOutputPin::NonDelegatingQueryInterface(REFIID riid, void** ppv) {
    if (riid == IID_IMPEG2PIDMap) {
        return GetInterface(static_cast<IMPEG2PIDMap*>(this), ppv);
    }
    return CBaseOutputPin::NonDelegatingQueryInterface(riid, ppv);
}

HRESULT SectionOutputPin::CheckMediaType(const CMediaType* pmt) {
    if (pmt == nullptr) {
        return E_POINTER;
    }
    return *pmt->Type() == MEDIATYPE_MPEG2_SECTIONS ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
}

HRESULT SectionOutputPin::GetMediaType(int iPosition, CMediaType* pmt) {
    if (iPosition < 0) {
        return E_INVALIDARG;
    }
    if (iPosition > 0) {
        return VFW_S_NO_MORE_ITEMS;
    }
    pmt->InitMediaType();
    pmt->SetType(&MEDIATYPE_MPEG2_SECTIONS);
    pmt->SetSubtype(&MEDIASUBTYPE_MPEG2DATA);
    pmt->SetFormatType(&FORMAT_None);
    pmt->SetTemporalCompression(FALSE);
    pmt->SetVariableSize();
    return S_OK;
}

HRESULT SectionOutputPin::DecideBufferSize(IMemAllocator* pAlloc, ALLOCATOR_PROPERTIES* pRequest) {
    if (pRequest->cBuffers < kSectionBuffers) {
        pRequest->cBuffers = kSectionBuffers;
    }
    if (pRequest->cbBuffer < static_cast<long>(qxhost::kMaxSectionBytes)) {
        pRequest->cbBuffer = static_cast<long>(qxhost::kMaxSectionBytes);
    }
    if (pRequest->cbAlign < 1) {
        pRequest->cbAlign = 1;
    }
    ALLOCATOR_PROPERTIES actual;
    HRESULT hr = pAlloc->SetProperties(pRequest, &actual);
    if (FAILED(hr)) {
        return hr;
    }
    // Buffers smaller than the largest section would cut sections; refuse the allocator instead.
    return actual.cbBuffer < static_cast<long>(qxhost::kMaxSectionBytes) ? E_FAIL : S_OK;
}

STDMETHODIMP SectionOutputPin::MapPID(ULONG culPID, ULONG* pulPID, MEDIA_SAMPLE_CONTENT MediaSampleContent) {
    if (pulPID == nullptr) {
        return E_POINTER;
    }
    if (culPID == 0 || MediaSampleContent != MEDIA_MPEG2_PSI) {
        return E_INVALIDARG;
    }
    // The whole request is checked before any PID is mapped, so a refusal changes nothing.
    for (ULONG i = 0; i < culPID; ++i) {
        if (pulPID[i] >= qxhost::kPidCount) {
            return E_INVALIDARG;
        }
    }
    for (ULONG i = 0; i < culPID; ++i) {
        m_pDemux->m_demux.Map(pulPID[i]);
    }
    return S_OK;
}

STDMETHODIMP SectionOutputPin::UnmapPID(ULONG culPID, ULONG* pulPID) {
    if (pulPID == nullptr) {
        return E_POINTER;
    }
    if (culPID == 0) {
        return E_INVALIDARG;
    }
    for (ULONG i = 0; i < culPID; ++i) {
        if (pulPID[i] >= qxhost::kPidCount) {
            return E_INVALIDARG;
        }
    }
    // Unmapping a PID that is not mapped is not an error: the caller's view is already true.
    for (ULONG i = 0; i < culPID; ++i) {
        m_pDemux->m_demux.Unmap(pulPID[i]);
    }
    return S_OK;
}

STDMETHODIMP SectionOutputPin::EnumPIDMap(IEnumPIDMap** pIEnumPIDMap) {
    if (pIEnumPIDMap == nullptr) {
        return E_POINTER;
    }
    std::vector<ULONG> pids;
    for (unsigned pid : m_pDemux->m_demux.MappedPids()) {
        pids.push_back(pid);
    }
    auto* e = MakeObject<PidMapEnumerator>(std::move(pids));
    if (e == nullptr) {
        *pIEnumPIDMap = nullptr;
        return E_OUTOFMEMORY;
    }
    e->AddRef();
    *pIEnumPIDMap = e;
    return S_OK;
}

HRESULT SectionOutputPin::DeliverSection(unsigned pid, const BYTE* section, size_t length) {
    IMediaSample* pSample = nullptr;
    HRESULT hr = GetDeliveryBuffer(&pSample, nullptr, nullptr, 0);
    if (FAILED(hr)) {
        return hr;
    }
    BYTE* pBuffer = nullptr;
    hr = pSample->GetPointer(&pBuffer);
    if (FAILED(hr) || pBuffer == nullptr || static_cast<long>(length) > pSample->GetSize()) {
        pSample->Release();
        ++m_pDemux->m_undeliverable;
        return S_OK; // this section is lost, the stream goes on
    }
    memcpy(pBuffer, section, length);
    pSample->SetActualDataLength(static_cast<LONG>(length));
    pSample->SetSyncPoint(TRUE);

    IMediaSample2* pSample2 = nullptr;
    if (SUCCEEDED(pSample->QueryInterface(IID_IMediaSample2, reinterpret_cast<void**>(&pSample2)))) {
        AM_SAMPLE2_PROPERTIES props;
        memset(&props, 0, sizeof(props));
        if (SUCCEEDED(pSample2->GetProperties(sizeof(props), reinterpret_cast<BYTE*>(&props)))) {
            props.dwTypeSpecificFlags = pid;
            pSample2->SetProperties(sizeof(props), reinterpret_cast<const BYTE*>(&props));
        }
        pSample2->Release();
    }
    hr = Deliver(pSample);
    pSample->Release();
    if (hr == S_OK) {
        ++m_pDemux->m_samples;
    }
    return hr;
}

// ---------------------------------------------------------------------------------------------------
// Filter

SectionDemuxFilter::SectionDemuxFilter(qxhost::TsReader* pReader, LPUNKNOWN pUnk, HRESULT* phr)
    : CBaseFilter(TEXT("Section demultiplexer"), pUnk, &m_csFilter, CLSID_QuenlixSectionDemux, phr),
      m_pReader(pReader), m_demux([this](unsigned pid, const uint8_t* section, size_t length) {
          if (!m_deliveryFailed) {
              HRESULT hr = m_pPin->DeliverSection(pid, section, length);
              if (hr != S_OK) {
                  m_deliveryFailed = true;
                  m_deliveryResult = hr;
              }
          }
      }) {
    HRESULT hr = S_OK;
    // CUnknown objects come from the allocation module: null, not an exception, when it fails.
    m_pPin = new SectionOutputPin(this, &m_csFilter, &hr);
    if (m_pPin == nullptr) {
        hr = E_OUTOFMEMORY;
    }
    if (phr != nullptr && FAILED(hr)) {
        *phr = hr;
    }
}

SectionDemuxFilter::~SectionDemuxFilter() {
    if (m_State != State_Stopped) {
        Stop(); // a graph stops its filters first; this covers one that did not
    }
    m_stopRequested = true;
    JoinStream();
    delete m_pPin;
}

int SectionDemuxFilter::GetPinCount() {
    return m_pPin != nullptr ? 1 : 0;
}

CBasePin* SectionDemuxFilter::GetPin(int n) {
    return n == 0 ? m_pPin : nullptr;
}

STDMETHODIMP SectionDemuxFilter::Pause() {
    CAutoLock lock(&m_csFilter);
    bool fromStopped = m_State == State_Stopped;
    HRESULT hr = CBaseFilter::Pause();
    if (FAILED(hr) || !fromStopped || m_pPin == nullptr || !m_pPin->IsConnected()) {
        return hr;
    }
    JoinStream(); // a run that ended by itself
    m_stopRequested = false;
    m_finished = false;
    m_deliveryFailed = false;
    m_deliveryResult = S_OK;
    m_demux.ResetAssembly();
    m_thread = std::thread([this] { Stream(); });
    return hr;
}

STDMETHODIMP SectionDemuxFilter::Stop() {
    m_stopRequested = true;
    HRESULT hr;
    {
        // Decommitting the allocator wakes a streaming thread that waits for a buffer.
        CAutoLock lock(&m_csFilter);
        hr = CBaseFilter::Stop();
    }
    // Joined outside the filter lock: the thread may be inside a downstream call that takes it.
    JoinStream();
    return hr;
}

void SectionDemuxFilter::JoinStream() {
    if (m_thread.joinable() && m_thread.get_id() != std::this_thread::get_id()) {
        m_thread.join();
    }
}

void SectionDemuxFilter::Stream() {
    for (;;) {
        if (m_stopRequested) {
            break;
        }
        const uint8_t* packet = nullptr;
        qxhost::TsReader::Result r = m_pReader->Next(&packet);
        if (r == qxhost::TsReader::Result::Packet) {
            m_demux.Push(packet);
            if (m_deliveryFailed) {
                // Downstream stopping or flushing ends the stream quietly, as with any push source.
                // Anything else (no buffer for want of memory, a refused sample) is a failure the
                // graph must hear of, or the application would wait for a completion never sent.
                HRESULT hr = m_deliveryResult;
                bool quiet =
                    m_stopRequested || hr == S_FALSE || hr == VFW_E_NOT_COMMITTED || hr == VFW_E_WRONG_STATE;
                if (!quiet) {
                    NotifyEvent(EC_ERRORABORT, FAILED(hr) ? hr : E_FAIL, 0);
                    m_pPin->DeliverEndOfStream();
                }
                break;
            }
            continue;
        }
        if (r == qxhost::TsReader::Result::ReadError) {
            NotifyEvent(EC_ERRORABORT, E_FAIL, 0);
        } else if (r == qxhost::TsReader::Result::NotTransportStream) {
            NotifyEvent(EC_ERRORABORT, VFW_E_INVALID_FILE_FORMAT, 0);
        }
        m_pPin->DeliverEndOfStream();
        break;
    }
    m_finished = true;
}

SectionDemuxStats SectionDemuxFilter::Stats() const {
    SectionDemuxStats s;
    s.samples = m_samples.load();
    s.undeliverable = m_undeliverable.load();
    s.demux = m_demux.Stats();
    return s;
}
