// A small sink built the way the system's filter is: a CBaseFilter with one CRenderedInputPin that
// runs the base receive check and records what passes it; and the fixture every base-layer test uses.
#pragma once
#include <gtest/gtest.h>

#include <vector>

#include "baseclasses/streams.h"
#include "platform/posix/testhooks.h"
#include "support/core/section_builder.h"

namespace qxtest {

// Every test leaves no object of the base layer, no task memory and no armed failure behind.
class BaseLayerTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_objects = CBaseObject::ObjectsActive();
        m_taskMem = TaskMemOutstanding();
    }
    void TearDown() override {
        MemFailAt(0);
        TaskMemFailAt(0);
        KernelObjectFailAt(0);
        EXPECT_EQ(CBaseObject::ObjectsActive(), m_objects);
        EXPECT_EQ(TaskMemOutstanding(), m_taskMem);
    }
    LONG m_objects = 0;
    long m_taskMem = 0;
};

struct ReceivedSample {
    Bytes bytes;
    DWORD typeSpecificFlags;
};

class SinkPin : public CRenderedInputPin {
public:
    SinkPin(CBaseFilter* pFilter, CCritSec* pLock, HRESULT* phr, LPCWSTR name = L"Input")
        : CRenderedInputPin(NAME("Sink pin"), pFilter, pLock, phr, name) {}

    HRESULT CheckMediaType(const CMediaType* pmt) override {
        return IsEqualGUID(*pmt->Type(), m_accept) ? S_OK : VFW_E_INVALIDMEDIATYPE;
    }

    HRESULT CompleteConnect(IPin* pReceivePin) override {
        HRESULT hr = CRenderedInputPin::CompleteConnect(pReceivePin);
        m_completeCalls++;
        return FAILED(hr) ? hr : m_completeResult;
    }

    STDMETHODIMP Receive(IMediaSample* pSample) override {
        HRESULT hr = CBaseInputPin::Receive(pSample);
        m_answers.push_back(hr);
        if (hr != S_OK) {
            return hr;
        }
        BYTE* p = nullptr;
        pSample->GetPointer(&p);
        LONG n = pSample->GetActualDataLength();
        m_received.push_back({Bytes(p, p + n), SampleProps()->dwTypeSpecificFlags});
        // A chosen flag value makes the pin refuse, to see ReceiveMultiple stop.
        return SampleProps()->dwTypeSpecificFlags == m_refuseFlags ? S_FALSE : S_OK;
    }

    GUID m_accept = MEDIATYPE_MPEG2_SECTIONS;
    HRESULT m_completeResult = S_OK;
    DWORD m_refuseFlags = 0xFFFFFFFF;
    int m_completeCalls = 0;
    std::vector<HRESULT> m_answers;
    std::vector<ReceivedSample> m_received;
};

class SinkFilter : public CBaseFilter {
public:
    SinkFilter(LPUNKNOWN pUnk, HRESULT* phr)
        : CBaseFilter(NAME("Sink"), pUnk, &m_lock, ClassId(), phr), m_pPin(nullptr) {
        if (phr == nullptr) {
            return;
        }
        HRESULT hr = S_OK;
        m_pPin = new SinkPin(this, &m_lock, &hr);
        if (m_pPin == nullptr) {
            *phr = E_OUTOFMEMORY;
        } else if (FAILED(hr)) {
            *phr = hr;
        }
    }
    ~SinkFilter() override { delete m_pPin; }

    int GetPinCount() override { return 1; }
    CBasePin* GetPin(int n) override { return n == 0 ? m_pPin : nullptr; }

    static const CLSID& ClassId() {
        static const CLSID id = {
            0x1b2c3d4e, 0x0001, 0x0002, {0x80, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07}};
        return id;
    }

    // Makes a sink with one reference; null when it cannot be made.
    static SinkFilter* Create(LPUNKNOWN pUnk = nullptr) {
        HRESULT hr = S_OK;
        SinkFilter* f = new SinkFilter(pUnk, &hr);
        if (f == nullptr) {
            return nullptr;
        }
        if (FAILED(hr)) {
            delete f;
            return nullptr;
        }
        f->NonDelegatingAddRef();
        return f;
    }

    IBaseFilter* Base() { return static_cast<IBaseFilter*>(this); }

    CCritSec m_lock;
    SinkPin* m_pPin;
};

} // namespace qxtest
