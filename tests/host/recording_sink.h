// A sink standing where the table collector stands in a real graph: its one input pin takes the
// section type, may map PID 0 on connection as the collector maps its base PIDs, and records every
// section with its PID.
#pragma once
#include <windows.h>
#include <bdaiface.h>
#include <strmif.h>
#include <uuids.h>
#include <vfwmsgs.h>

#include <functional>
#include <mutex>

#include "baseclasses/streams.h"
#include "support/core/section_builder.h"

namespace qxtest {

// {2B0B6A0E-5B1F-4C55-9E1D-6A0F3C2E7D10}
inline const GUID CLSID_RecordingSink = {
    0x2b0b6a0e, 0x5b1f, 0x4c55, {0x9e, 0x1d, 0x6a, 0x0f, 0x3c, 0x2e, 0x7d, 0x10}};

struct Received {
    unsigned pid;
    Bytes section;
    bool operator==(const Received& o) const { return pid == o.pid && section == o.section; }
};

class RecordingPin : public CRenderedInputPin {
public:
    RecordingPin(CBaseFilter* f, CCritSec* lock, HRESULT* phr)
        : CRenderedInputPin(TEXT("recording pin"), f, lock, phr, L"Input") {}

    HRESULT CheckMediaType(const CMediaType* pmt) override {
        return *pmt->Type() == MEDIATYPE_MPEG2_SECTIONS ? S_OK : VFW_E_INVALIDMEDIATYPE;
    }

    HRESULT CompleteConnect(IPin* pReceivePin) override {
        HRESULT hr = S_OK;
        if (mapPatOnConnect) {
            IMPEG2PIDMap* map = nullptr;
            hr = pReceivePin->QueryInterface(IID_IMPEG2PIDMap, reinterpret_cast<void**>(&map));
            if (SUCCEEDED(hr)) {
                ULONG pid = 0;
                hr = map->MapPID(1, &pid, MEDIA_MPEG2_PSI);
                map->Release();
            }
        }
        return FAILED(hr) ? hr : CRenderedInputPin::CompleteConnect(pReceivePin);
    }

    STDMETHODIMP Receive(IMediaSample* pSample) override {
        HRESULT hr = CBaseInputPin::Receive(pSample);
        if (hr != S_OK) {
            return hr;
        }
        BYTE* p = nullptr;
        pSample->GetPointer(&p);
        Received r{0, Bytes(p, p + pSample->GetActualDataLength())};
        IMediaSample2* s2 = nullptr;
        if (SUCCEEDED(pSample->QueryInterface(IID_IMediaSample2, reinterpret_cast<void**>(&s2)))) {
            AM_SAMPLE2_PROPERTIES props{};
            s2->GetProperties(8, reinterpret_cast<BYTE*>(&props));
            r.pid = props.dwTypeSpecificFlags & 0x1FFF;
            s2->Release();
        }
        {
            std::lock_guard<std::mutex> lock(mutex);
            got.push_back(r);
        }
        if (onReceive) {
            onReceive(r);
        }
        return S_OK;
    }

    size_t Count() {
        std::lock_guard<std::mutex> lock(mutex);
        return got.size();
    }

    // The upstream pin's PID map, with a reference.
    IMPEG2PIDMap* PidMap() {
        IMPEG2PIDMap* map = nullptr;
        if (m_Connected != nullptr) {
            m_Connected->QueryInterface(IID_IMPEG2PIDMap, reinterpret_cast<void**>(&map));
        }
        return map;
    }

    bool mapPatOnConnect = false;
    std::mutex mutex;
    std::vector<Received> got;
    std::function<void(const Received&)> onReceive;
};

class RecordingSink : public CBaseFilter {
public:
    explicit RecordingSink(HRESULT* phr, bool withPin = true)
        : CBaseFilter(TEXT("recording sink"), nullptr, &m_lock, CLSID_RecordingSink, phr) {
        if (withPin) {
            pin = new RecordingPin(this, &m_lock, phr);
        }
    }
    ~RecordingSink() override { delete pin; }
    int GetPinCount() override { return pin != nullptr ? 1 : 0; }
    CBasePin* GetPin(int n) override { return n == 0 ? pin : nullptr; }

    CCritSec m_lock;
    RecordingPin* pin = nullptr;
};

} // namespace qxtest
