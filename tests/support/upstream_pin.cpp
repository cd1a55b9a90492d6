#include "support/upstream_pin.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace qxtest {

namespace {

// Lists a snapshot of the mapping.
class PidMapEnum final : public IEnumPIDMap {
public:
    PidMapEnum(std::vector<PID_MAP> entries, size_t position)
        : m_entries(std::move(entries)), m_pos(position) {}

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
    STDMETHODIMP_(ULONG) AddRef() override {
        return static_cast<ULONG>(__atomic_add_fetch(&m_cRef, 1, __ATOMIC_SEQ_CST));
    }
    STDMETHODIMP_(ULONG) Release() override {
        LONG r = __atomic_sub_fetch(&m_cRef, 1, __ATOMIC_SEQ_CST);
        if (r == 0) {
            delete this;
        }
        return static_cast<ULONG>(r);
    }
    STDMETHODIMP Next(ULONG cRequest, PID_MAP* pPIDMap, ULONG* pcReceived) override {
        if (pPIDMap == nullptr || pcReceived == nullptr) {
            return E_POINTER;
        }
        ULONG n = 0;
        while (n < cRequest && m_pos < m_entries.size()) {
            pPIDMap[n++] = m_entries[m_pos++];
        }
        *pcReceived = n;
        return n == cRequest ? S_OK : S_FALSE;
    }
    STDMETHODIMP Skip(ULONG cRecords) override {
        m_pos = std::min(m_entries.size(), m_pos + cRecords);
        return m_pos < m_entries.size() ? S_OK : S_FALSE;
    }
    STDMETHODIMP Reset() override {
        m_pos = 0;
        return S_OK;
    }
    STDMETHODIMP Clone(IEnumPIDMap** ppIEnumPIDMap) override {
        if (ppIEnumPIDMap == nullptr) {
            return E_POINTER;
        }
        *ppIEnumPIDMap = new PidMapEnum(m_entries, m_pos);
        return S_OK;
    }

private:
    std::vector<PID_MAP> m_entries;
    size_t m_pos;
    LONG m_cRef = 1;
};

// A sample over a real one's buffer that presents only IMediaSample, or misbehaves on GetPointer. It
// belongs to no allocator: it goes when its last reference does, and gives the real one back.
class WrappedSample final : public CMediaSample {
public:
    WrappedSample(IMediaSample* inner, const SampleOptions& options)
        : CMediaSample(NAME("wrapped sample"), nullptr, nullptr, Buffer(inner), inner->GetSize()),
          m_inner(inner), m_options(options) {
        m_inner->AddRef();
        m_lActual = inner->GetActualDataLength();
        m_cRef = 1;
    }
    ~WrappedSample() override { m_inner->Release(); }

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
        if (riid == IID_IMediaSample2 && ppv != nullptr) {
            *ppv = nullptr;
            return E_NOINTERFACE;
        }
        return CMediaSample::QueryInterface(riid, ppv);
    }
    STDMETHODIMP_(ULONG) Release() override {
        const LONG r = InterlockedDecrement(&m_cRef);
        if (r == 0) {
            delete this;
        }
        return static_cast<ULONG>(r);
    }
    STDMETHODIMP GetPointer(BYTE** ppBuffer) override {
        if (!m_options.failGetPointer && !m_options.nullPointer) {
            return CMediaSample::GetPointer(ppBuffer);
        }
        if (ppBuffer != nullptr) {
            *ppBuffer = nullptr;
        }
        return m_options.failGetPointer ? E_FAIL : ppBuffer == nullptr ? E_POINTER : S_OK;
    }

private:
    static BYTE* Buffer(IMediaSample* sample) {
        BYTE* p = nullptr;
        sample->GetPointer(&p);
        return p;
    }
    IMediaSample* m_inner;
    SampleOptions m_options;
};

} // namespace

// ---------------------------------------------------------------------------------------------------

UpstreamPin::UpstreamPin(UpstreamFilter* pFilter, CCritSec* pLock, HRESULT* phr)
    : CBaseOutputPin(NAME("Fake section output"), pFilter, pLock, phr, L"Section Out") {}

STDMETHODIMP UpstreamPin::NonDelegatingQueryInterface(REFIID riid, void** ppv) {
    if (riid == IID_IMPEG2PIDMap) {
        bool offer;
        {
            std::lock_guard<std::mutex> guard(m_callLock);
            offer = m_offerPidMap;
        }
        if (!offer) {
            if (ppv != nullptr) {
                *ppv = nullptr;
            }
            return E_NOINTERFACE;
        }
        return GetInterface(static_cast<IMPEG2PIDMap*>(this), ppv);
    }
    return CBaseOutputPin::NonDelegatingQueryInterface(riid, ppv);
}

HRESULT UpstreamPin::CheckMediaType(const CMediaType* pmt) {
    return IsEqualGUID(pmt->majortype, m_type.majortype) ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
}

HRESULT UpstreamPin::GetMediaType(int iPosition, CMediaType* pMediaType) {
    if (iPosition < 0) {
        return E_INVALIDARG;
    }
    if (iPosition > 0) {
        return VFW_S_NO_MORE_ITEMS;
    }
    return pMediaType->Set(m_type);
}

HRESULT UpstreamPin::DecideBufferSize(IMemAllocator* pAlloc, ALLOCATOR_PROPERTIES* pRequest) {
    ALLOCATOR_PROPERTIES want = *pRequest;
    want.cBuffers = std::max(want.cBuffers, m_cBuffers);
    want.cbBuffer = std::max(want.cbBuffer, m_cbBuffer);
    if (want.cbAlign <= 0) {
        want.cbAlign = 1;
    }
    ALLOCATOR_PROPERTIES actual;
    HRESULT hr = pAlloc->SetProperties(&want, &actual);
    if (FAILED(hr)) {
        return hr;
    }
    return actual.cbBuffer < want.cbBuffer || actual.cBuffers < want.cBuffers ? E_FAIL : S_OK;
}

STDMETHODIMP UpstreamPin::MapPID(ULONG culPID, ULONG* pulPID, MEDIA_SAMPLE_CONTENT MediaSampleContent) {
    std::lock_guard<std::mutex> guard(m_callLock);
    PidMapCall call{PidMapCall::Map, {}, MediaSampleContent};
    if (pulPID != nullptr) {
        call.pids.assign(pulPID, pulPID + culPID);
    }
    m_calls.push_back(call);
    for (ULONG pid : call.pids) {
        auto it = std::find_if(m_mapped.begin(), m_mapped.end(),
                               [pid](const PID_MAP& m) { return m.ulPID == pid; });
        if (it == m_mapped.end()) {
            m_mapped.push_back({pid, MediaSampleContent});
        } else {
            it->MediaSampleContent = MediaSampleContent;
        }
    }
    return S_OK;
}

STDMETHODIMP UpstreamPin::UnmapPID(ULONG culPID, ULONG* pulPID) {
    std::lock_guard<std::mutex> guard(m_callLock);
    PidMapCall call{PidMapCall::Unmap, {}, static_cast<MEDIA_SAMPLE_CONTENT>(0)};
    if (pulPID != nullptr) {
        call.pids.assign(pulPID, pulPID + culPID);
    }
    m_calls.push_back(call);
    for (ULONG pid : call.pids) {
        m_mapped.erase(std::remove_if(m_mapped.begin(), m_mapped.end(),
                                      [pid](const PID_MAP& m) { return m.ulPID == pid; }),
                       m_mapped.end());
    }
    return S_OK;
}

STDMETHODIMP UpstreamPin::EnumPIDMap(IEnumPIDMap** pIEnumPIDMap) {
    if (pIEnumPIDMap == nullptr) {
        return E_POINTER;
    }
    std::lock_guard<std::mutex> guard(m_callLock);
    *pIEnumPIDMap = new PidMapEnum(m_mapped, 0);
    return S_OK;
}

// ---------------------------------------------------------------------------------------------------

UpstreamFilter::UpstreamFilter(HRESULT* phr)
    : CBaseFilter(NAME("Fake upstream"), nullptr, &m_lock, GUID_NULL), m_pPin(nullptr) {
    m_pPin = new UpstreamPin(this, &m_lock, phr);
    if (m_pPin == nullptr && phr != nullptr) {
        *phr = E_OUTOFMEMORY;
    }
}

UpstreamFilter::~UpstreamFilter() {
    delete m_pPin;
}

// ---------------------------------------------------------------------------------------------------

FakeUpstream::FakeUpstream(const GUID& majorType, const GUID& subType) : m_pFilter(nullptr) {
    HRESULT hr = S_OK;
    m_pFilter = new UpstreamFilter(&hr);
    if (m_pFilter == nullptr || FAILED(hr)) {
        // Test support: a harness that cannot even be made ends the program.
        std::abort();
    }
    m_pFilter->AddRef();
    m_pFilter->m_pPin->m_type.SetType(&majorType);
    m_pFilter->m_pPin->m_type.SetSubtype(&subType);
    m_pFilter->m_pPin->m_type.SetFormatType(&FORMAT_None);
    m_pFilter->m_pPin->m_type.SetVariableSize();
}

FakeUpstream::~FakeUpstream() {
    Disconnect();
    m_pFilter->Release();
}

void FakeUpstream::OfferPidMap(bool offer) {
    std::lock_guard<std::mutex> guard(Pin()->m_callLock);
    Pin()->m_offerPidMap = offer;
}

void FakeUpstream::SetBuffers(LONG count, LONG size) {
    Pin()->m_cBuffers = count;
    Pin()->m_cbBuffer = size;
}

HRESULT FakeUpstream::Connect(IPin* input) {
    return Pin()->Connect(input, nullptr);
}

HRESULT FakeUpstream::Disconnect() {
    IPin* pInput = nullptr;
    if (Pin()->ConnectedTo(&pInput) != S_OK || pInput == nullptr) {
        return S_FALSE;
    }
    // The downstream filter must be stopped before its pin lets go.
    PIN_INFO info{};
    if (SUCCEEDED(pInput->QueryPinInfo(&info)) && info.pFilter != nullptr) {
        info.pFilter->Stop();
        info.pFilter->Release();
    }
    HRESULT hr = pInput->Disconnect();
    pInput->Release();
    HRESULT hr2 = Pin()->Disconnect();
    return FAILED(hr) ? hr : hr2;
}

HRESULT FakeUpstream::MakeSample(const Bytes& section, DWORD flags, const SampleOptions& options,
                                 IMediaSample** ppOut) {
    *ppOut = nullptr;
    IMemAllocator* pAlloc = Pin()->Allocator();
    if (pAlloc == nullptr) {
        return VFW_E_NOT_CONNECTED;
    }
    // The downstream filter's Stop decommits the shared allocator; this source keeps it committed.
    HRESULT hr = pAlloc->Commit();
    if (FAILED(hr)) {
        return hr;
    }
    IMediaSample* pSample = nullptr;
    hr = Pin()->GetDeliveryBuffer(&pSample, nullptr, nullptr, AM_GBF_NOWAIT);
    if (FAILED(hr)) {
        return hr;
    }
    BYTE* p = nullptr;
    pSample->GetPointer(&p);
    if (static_cast<LONG>(section.size()) > pSample->GetSize()) {
        pSample->Release();
        return VFW_E_BUFFER_OVERFLOW;
    }
    if (!section.empty()) {
        std::memcpy(p, section.data(), section.size());
    }
    pSample->SetActualDataLength(static_cast<LONG>(section.size()));

    IMediaSample2* pSample2 = nullptr;
    if (SUCCEEDED(pSample->QueryInterface(IID_IMediaSample2, reinterpret_cast<void**>(&pSample2)))) {
        AM_SAMPLE2_PROPERTIES props{};
        pSample2->GetProperties(sizeof(props), reinterpret_cast<BYTE*>(&props));
        props.dwTypeSpecificFlags = flags;
        hr = pSample2->SetProperties(sizeof(props), reinterpret_cast<const BYTE*>(&props));
        pSample2->Release();
        if (FAILED(hr)) {
            pSample->Release();
            return hr;
        }
    }
    if (!options.sample2 || options.failGetPointer || options.nullPointer) {
        IMediaSample* pWrapped = new WrappedSample(pSample, options);
        pSample->Release();
        pSample = pWrapped;
    }
    pSample->SetDiscontinuity(options.discontinuity ? TRUE : FALSE);
    if (options.newType != nullptr) {
        hr = pSample->SetMediaType(const_cast<AM_MEDIA_TYPE*>(options.newType));
        if (FAILED(hr)) {
            pSample->Release();
            return hr;
        }
    }
    *ppOut = pSample;
    return S_OK;
}

HRESULT FakeUpstream::Deliver(const Bytes& section, DWORD flags, bool sample2) {
    SampleOptions options;
    options.sample2 = sample2;
    return Deliver(section, flags, options);
}

HRESULT FakeUpstream::Deliver(const Bytes& section, DWORD flags, const SampleOptions& options) {
    IMediaSample* pSample = nullptr;
    HRESULT hr = MakeSample(section, flags, options, &pSample);
    if (FAILED(hr)) {
        return hr;
    }
    hr = Pin()->Deliver(pSample);
    pSample->Release();
    return hr;
}

HRESULT FakeUpstream::DeliverMultiple(const std::vector<Bytes>& sections, DWORD flags, LONG* processed) {
    IMemInputPin* pInput = Pin()->InputPin();
    if (pInput == nullptr) {
        return VFW_E_NOT_CONNECTED;
    }
    std::vector<IMediaSample*> samples;
    HRESULT hr = S_OK;
    for (const Bytes& s : sections) {
        IMediaSample* pSample = nullptr;
        hr = MakeSample(s, flags, SampleOptions{}, &pSample);
        if (FAILED(hr)) {
            break;
        }
        samples.push_back(pSample);
    }
    if (SUCCEEDED(hr)) {
        hr = pInput->ReceiveMultiple(samples.data(), static_cast<LONG>(samples.size()), processed);
    }
    for (IMediaSample* pSample : samples) {
        pSample->Release();
    }
    return hr;
}

HRESULT FakeUpstream::DeliverEndOfStream() {
    return Pin()->DeliverEndOfStream();
}

HRESULT FakeUpstream::DeliverBeginFlush() {
    return Pin()->DeliverBeginFlush();
}

HRESULT FakeUpstream::DeliverEndFlush() {
    return Pin()->DeliverEndFlush();
}

std::vector<PidMapCall> FakeUpstream::Calls() const {
    std::lock_guard<std::mutex> guard(m_pFilter->m_pPin->m_callLock);
    return m_pFilter->m_pPin->m_calls;
}

void FakeUpstream::ClearCalls() {
    std::lock_guard<std::mutex> guard(Pin()->m_callLock);
    Pin()->m_calls.clear();
}

std::vector<ULONG> FakeUpstream::MappedPids() const {
    std::lock_guard<std::mutex> guard(m_pFilter->m_pPin->m_callLock);
    std::vector<ULONG> pids;
    for (const PID_MAP& m : m_pFilter->m_pPin->m_mapped) {
        pids.push_back(m.ulPID);
    }
    return pids;
}

} // namespace qxtest
