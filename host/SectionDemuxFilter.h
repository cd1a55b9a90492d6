// A source filter that plays the MPEG-2 demultiplexer's part for a transport stream read from a file:
// one output pin of the MPEG-2 sections type that offers IMPEG2PIDMap, and a streaming thread that
// reads packets, reassembles the sections of the mapped PIDs and delivers each one as a sample.
#pragma once
#include <windows.h>
#include <strmif.h>
#include <bdaiface.h>

#include <atomic>
#include <thread>

#include "baseclasses/streams.h"
#include "host/SectionDemux.h"
#include "host/TsReader.h"

// {6F1E5C2A-93B4-4D0E-8A57-2C4D1B7E9F03}
DEFINE_GUID(CLSID_QuenlixSectionDemux, 0x6f1e5c2a, 0x93b4, 0x4d0e, 0x8a, 0x57, 0x2c, 0x4d, 0x1b, 0x7e, 0x9f,
            0x03);

class SectionDemuxFilter;

class SectionOutputPin : public CBaseOutputPin, public IMPEG2PIDMap {
public:
    SectionOutputPin(SectionDemuxFilter* pFilter, CCritSec* pLock, HRESULT* phr);

    DECLARE_IUNKNOWN;
    STDMETHODIMP NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

    HRESULT CheckMediaType(const CMediaType* pmt) override;
    HRESULT GetMediaType(int iPosition, CMediaType* pmt) override;
    HRESULT DecideBufferSize(IMemAllocator* pAlloc, ALLOCATOR_PROPERTIES* pRequest) override;

    // IMPEG2PIDMap. Only MEDIA_MPEG2_PSI is offered: this pin delivers whole sections. A map change
    // is seen by the streaming thread from the next packet on, also when made from inside Receive.
    STDMETHODIMP MapPID(ULONG culPID, ULONG* pulPID, MEDIA_SAMPLE_CONTENT MediaSampleContent) override;
    STDMETHODIMP UnmapPID(ULONG culPID, ULONG* pulPID) override;
    STDMETHODIMP EnumPIDMap(IEnumPIDMap** pIEnumPIDMap) override;

    // Streaming thread: one section as one sample, PID in dwTypeSpecificFlags. S_OK when delivered.
    HRESULT DeliverSection(unsigned pid, const BYTE* section, size_t length);

private:
    SectionDemuxFilter* m_pDemux;
};

struct SectionDemuxStats {
    uint64_t samples = 0;       // sections delivered
    uint64_t undeliverable = 0; // sections bigger than the negotiated buffers
    qxhost::SectionDemuxStats demux;
};

class SectionDemuxFilter : public CBaseFilter {
public:
    // The reader is the caller's and must outlive every run of the filter.
    SectionDemuxFilter(qxhost::TsReader* pReader, LPUNKNOWN pUnk, HRESULT* phr);
    ~SectionDemuxFilter() override;

    int GetPinCount() override;
    CBasePin* GetPin(int n) override;

    // Streaming starts when the filter leaves the stopped state, as with any push source; it ends at
    // the end of the input with an end of stream downstream, or when the filter is stopped.
    STDMETHODIMP Pause() override;
    STDMETHODIMP Stop() override;

    qxhost::SectionDemux& Demux() { return m_demux; }
    // Counts of the last run; exact once the stream has finished or the filter is stopped.
    SectionDemuxStats Stats() const;
    // True once the streaming thread has reached the end of the input (or failed) and sent end of stream.
    bool Finished() const { return m_finished.load(); }

private:
    friend class SectionOutputPin;
    void Stream();
    void JoinStream();

    CCritSec m_csFilter;
    qxhost::TsReader* m_pReader;
    SectionOutputPin* m_pPin = nullptr;
    qxhost::SectionDemux m_demux;
    std::thread m_thread;
    std::atomic<bool> m_stopRequested{false};
    std::atomic<bool> m_finished{false};
    bool m_deliveryFailed = false; // streaming thread only
    HRESULT m_deliveryResult = S_OK;
    std::atomic<uint64_t> m_samples{0};
    std::atomic<uint64_t> m_undeliverable{0};
};
