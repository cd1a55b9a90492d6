// A fake upstream filter for tests: one output pin, in the manner of a demultiplexer's section pin.
// It connects to a given input pin, takes buffers from the allocator agreed with it and delivers one
// section per sample with a chosen value in dwTypeSpecificFlags. It can offer or withhold
// IMediaSample2 on its samples and IMPEG2PIDMap on its pin, and it records every MapPID and
// UnmapPID call in order.
#pragma once
#include <windows.h>
#include <strmif.h>
#include <bdaiface.h>
#include <uuids.h>

#include <mutex>
#include <vector>

#include "baseclasses/streams.h"
#include "support/core/section_builder.h"

namespace qxtest {

struct PidMapCall {
    enum Kind { Map, Unmap };
    Kind kind;
    std::vector<ULONG> pids;
    MEDIA_SAMPLE_CONTENT content; // MapPID's argument; 0 for UnmapPID
};

// How a delivered sample presents itself to the receiving pin.
struct SampleOptions {
    bool sample2 = true;                    // offer IMediaSample2 (else a wrapper refuses it)
    const AM_MEDIA_TYPE* newType = nullptr; // announce a media type change with this type
    bool failGetPointer = false;            // GetPointer answers E_FAIL (implies the wrapper)
    bool nullPointer = false; // GetPointer answers S_OK with a null pointer (implies the wrapper)
    bool discontinuity = false;
};

class UpstreamFilter;

class UpstreamPin : public CBaseOutputPin, public IMPEG2PIDMap {
public:
    UpstreamPin(UpstreamFilter* pFilter, CCritSec* pLock, HRESULT* phr);

    DECLARE_IUNKNOWN
    STDMETHODIMP NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

    HRESULT CheckMediaType(const CMediaType* pmt) override;
    HRESULT GetMediaType(int iPosition, CMediaType* pMediaType) override;
    HRESULT DecideBufferSize(IMemAllocator* pAlloc, ALLOCATOR_PROPERTIES* pRequest) override;

    // IMPEG2PIDMap
    STDMETHODIMP MapPID(ULONG culPID, ULONG* pulPID, MEDIA_SAMPLE_CONTENT MediaSampleContent) override;
    STDMETHODIMP UnmapPID(ULONG culPID, ULONG* pulPID) override;
    STDMETHODIMP EnumPIDMap(IEnumPIDMap** pIEnumPIDMap) override;

    IMemAllocator* Allocator() { return m_pAllocator; }
    IMemInputPin* InputPin() { return m_pInputPin; }

    CMediaType m_type; // the type offered and accepted
    bool m_offerPidMap = true;
    LONG m_cBuffers = 4;
    LONG m_cbBuffer = 4096;

    mutable std::mutex m_callLock;
    std::vector<PidMapCall> m_calls;
    std::vector<PID_MAP> m_mapped;
};

class UpstreamFilter : public CBaseFilter {
public:
    explicit UpstreamFilter(HRESULT* phr);
    ~UpstreamFilter() override;
    int GetPinCount() override { return 1; }
    CBasePin* GetPin(int n) override { return n == 0 ? m_pPin : nullptr; }

    CCritSec m_lock;
    UpstreamPin* m_pPin;
};

class FakeUpstream {
public:
    explicit FakeUpstream(const GUID& majorType = MEDIATYPE_MPEG2_SECTIONS,
                          const GUID& subType = MEDIASUBTYPE_MPEG2DATA);
    ~FakeUpstream(); // stops the downstream filter and disconnects both sides
    FakeUpstream(const FakeUpstream&) = delete;
    FakeUpstream& operator=(const FakeUpstream&) = delete;

    // Offer or withhold IMPEG2PIDMap on the output pin (before or after connecting).
    void OfferPidMap(bool offer);
    // Buffers asked of the allocator at connection.
    void SetBuffers(LONG count, LONG size);

    // Connects the output pin to input with the configured type.
    HRESULT Connect(IPin* input);
    HRESULT Disconnect();

    // Delivers one section in one sample whose dwTypeSpecificFlags holds flags.
    HRESULT Deliver(const Bytes& section, DWORD flags, bool sample2 = true);
    HRESULT Deliver(const Bytes& section, DWORD flags, const SampleOptions& options);
    // Delivers several sections through ReceiveMultiple.
    HRESULT DeliverMultiple(const std::vector<Bytes>& sections, DWORD flags, LONG* processed);
    HRESULT DeliverEndOfStream();
    HRESULT DeliverBeginFlush();
    HRESULT DeliverEndFlush();

    std::vector<PidMapCall> Calls() const;
    void ClearCalls();
    // What is mapped now: MapPID adds, UnmapPID removes.
    std::vector<ULONG> MappedPids() const;

    IPin* OutputPin() { return m_pFilter->m_pPin; }
    IBaseFilter* Filter() { return m_pFilter; }
    UpstreamPin* Pin() { return m_pFilter->m_pPin; }

private:
    HRESULT MakeSample(const Bytes& section, DWORD flags, const SampleOptions& options, IMediaSample** ppOut);

    UpstreamFilter* m_pFilter; // one reference
};

} // namespace qxtest
