#include "host/FilterGraph.h"

#include <objbase.h>
#include <vfwmsgs.h>

#include "host/HostObject.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <map>
#include <new>

namespace {

using qxhost::DestroyObject;
using qxhost::MakeObject;

// The filter that owns a pin, with a reference; null when the pin cannot say.
IBaseFilter* OwnerOf(IPin* pin) {
    PIN_INFO info{};
    if (FAILED(pin->QueryPinInfo(&info))) {
        return nullptr;
    }
    return info.pFilter;
}

// Every pin of a filter, each with a reference the caller releases.
HRESULT PinsOf(IBaseFilter* filter, std::vector<IPin*>* pins) {
    IEnumPins* e = nullptr;
    HRESULT hr = filter->EnumPins(&e);
    if (FAILED(hr) || e == nullptr) {
        return FAILED(hr) ? hr : E_FAIL;
    }
    IPin* pin = nullptr;
    while (e->Next(1, &pin, nullptr) == S_OK) {
        pins->push_back(pin);
    }
    e->Release();
    return S_OK;
}

void ReleaseAll(std::vector<IPin*>& pins) {
    for (IPin* p : pins) {
        p->Release();
    }
    pins.clear();
}

class FilterEnumerator : public IEnumFilters {
public:
    FilterEnumerator(const std::vector<IBaseFilter*>& filters, size_t at) : m_filters(filters), m_at(at) {
        for (IBaseFilter* f : m_filters) {
            f->AddRef();
        }
    }

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
        if (ppv == nullptr) {
            return E_POINTER;
        }
        if (riid == IID_IUnknown || riid == IID_IEnumFilters) {
            *ppv = static_cast<IEnumFilters*>(this);
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
    STDMETHODIMP Next(ULONG cFilters, IBaseFilter** ppFilter, ULONG* pcFetched) override {
        if (ppFilter == nullptr || (cFilters > 1 && pcFetched == nullptr)) {
            return E_POINTER;
        }
        ULONG n = 0;
        while (n < cFilters && m_at < m_filters.size()) {
            ppFilter[n] = m_filters[m_at++];
            ppFilter[n]->AddRef();
            ++n;
        }
        if (pcFetched != nullptr) {
            *pcFetched = n;
        }
        return n == cFilters ? S_OK : S_FALSE;
    }
    STDMETHODIMP Skip(ULONG cFilters) override {
        if (cFilters > m_filters.size() - m_at) {
            m_at = m_filters.size();
            return S_FALSE;
        }
        m_at += cFilters;
        return S_OK;
    }
    STDMETHODIMP Reset() override {
        m_at = 0;
        return S_OK;
    }
    STDMETHODIMP Clone(IEnumFilters** ppEnum) override {
        if (ppEnum == nullptr) {
            return E_POINTER;
        }
        auto* c = MakeObject<FilterEnumerator>(m_filters, m_at);
        if (c == nullptr) {
            *ppEnum = nullptr;
            return E_OUTOFMEMORY;
        }
        c->AddRef();
        *ppEnum = c;
        return S_OK;
    }

private:
    template <class T> friend void qxhost::DestroyObject(T*);
    virtual ~FilterEnumerator() {
        for (IBaseFilter* f : m_filters) {
            f->Release();
        }
    }
    std::atomic<ULONG> m_ref{0};
    std::vector<IBaseFilter*> m_filters;
    size_t m_at;
};

} // namespace

FilterGraph* FilterGraph::Create() {
    // Through the allocation module, like the objects of the base layer, so that tests can make it fail.
    void* block = MemAlloc(sizeof(FilterGraph));
    return block != nullptr ? new (block) FilterGraph() : nullptr; // the constructor is private
}

FilterGraph::~FilterGraph() {
    Stop();
    while (!m_filters.empty()) {
        RemoveFilter(m_filters.back().filter);
    }
}

STDMETHODIMP FilterGraph::QueryInterface(REFIID riid, void** ppv) {
    if (ppv == nullptr) {
        return E_POINTER;
    }
    if (riid == IID_IUnknown || riid == IID_IFilterGraph) {
        *ppv = static_cast<IFilterGraph*>(this);
    } else if (riid == IID_IMediaControl || riid == IID_IDispatch) {
        *ppv = static_cast<IMediaControl*>(this);
    } else if (riid == IID_IMediaEvent) {
        *ppv = static_cast<IMediaEvent*>(this);
    } else if (riid == IID_IMediaEventSink) {
        *ppv = static_cast<IMediaEventSink*>(this);
    } else {
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
}

STDMETHODIMP_(ULONG) FilterGraph::AddRef() {
    return ++m_ref;
}

STDMETHODIMP_(ULONG) FilterGraph::Release() {
    ULONG r = --m_ref;
    if (r == 0) {
        this->~FilterGraph();
        MemFree(this);
    }
    return r;
}

bool FilterGraph::Contains(IBaseFilter* pFilter) const {
    for (const Entry& e : m_filters) {
        if (e.filter == pFilter) {
            return true;
        }
    }
    return false;
}

bool FilterGraph::PinInGraph(IPin* pin) const {
    IBaseFilter* owner = OwnerOf(pin);
    if (owner == nullptr) {
        return false;
    }
    bool in = Contains(owner);
    owner->Release();
    return in;
}

STDMETHODIMP FilterGraph::AddFilter(IBaseFilter* pFilter, LPCWSTR pName) {
    if (pFilter == nullptr) {
        return E_POINTER;
    }
    std::lock_guard<std::recursive_mutex> lock(m_graphLock);
    if (Contains(pFilter)) {
        return E_INVALIDARG;
    }
    if (m_state != State_Stopped) {
        return VFW_E_NOT_STOPPED;
    }
    std::wstring base = pName != nullptr && pName[0] != 0 ? pName : L"Filter";
    std::wstring name = base;
    HRESULT ok = S_OK;
    // As the platform's graph does: a name in use gets a number appended.
    for (int n = 1; FindFilterByName(name.c_str(), nullptr) == S_OK; ++n) {
        wchar_t suffix[16];
        swprintf(suffix, 16, L" %04d", n);
        name = base + suffix;
        ok = VFW_S_DUPLICATE_NAME;
    }
    HRESULT hr = pFilter->JoinFilterGraph(this, name.c_str());
    if (FAILED(hr)) {
        return hr;
    }
    pFilter->AddRef();
    m_filters.push_back({pFilter, name});
    return ok;
}

STDMETHODIMP FilterGraph::RemoveFilter(IBaseFilter* pFilter) {
    if (pFilter == nullptr) {
        return E_POINTER;
    }
    std::lock_guard<std::recursive_mutex> lock(m_graphLock);
    auto it =
        std::find_if(m_filters.begin(), m_filters.end(), [&](const Entry& e) { return e.filter == pFilter; });
    if (it == m_filters.end()) {
        return VFW_E_NOT_IN_GRAPH;
    }
    if (m_state != State_Stopped) {
        return VFW_E_NOT_STOPPED;
    }
    std::vector<IPin*> pins;
    HRESULT hr = PinsOf(pFilter, &pins);
    if (FAILED(hr)) {
        return hr; // its connections cannot be broken: it stays
    }
    for (IPin* pin : pins) {
        IPin* peer = nullptr;
        if (SUCCEEDED(pin->ConnectedTo(&peer)) && peer != nullptr) {
            peer->Disconnect();
            pin->Disconnect();
            peer->Release();
        }
    }
    ReleaseAll(pins);
    pFilter->JoinFilterGraph(nullptr, nullptr);
    m_filters.erase(it);
    pFilter->Release();
    return S_OK;
}

STDMETHODIMP FilterGraph::EnumFilters(IEnumFilters** ppEnum) {
    if (ppEnum == nullptr) {
        return E_POINTER;
    }
    std::lock_guard<std::recursive_mutex> lock(m_graphLock);
    std::vector<IBaseFilter*> filters;
    for (const Entry& e : m_filters) {
        filters.push_back(e.filter);
    }
    auto* e = MakeObject<FilterEnumerator>(filters, 0);
    if (e == nullptr) {
        *ppEnum = nullptr;
        return E_OUTOFMEMORY;
    }
    e->AddRef();
    *ppEnum = e;
    return S_OK;
}

// ppFilter may be null to ask only whether the name is in use.
STDMETHODIMP FilterGraph::FindFilterByName(LPCWSTR pName, IBaseFilter** ppFilter) {
    if (pName == nullptr) {
        return E_POINTER;
    }
    std::lock_guard<std::recursive_mutex> lock(m_graphLock);
    for (const Entry& e : m_filters) {
        if (e.name == pName) {
            if (ppFilter != nullptr) {
                *ppFilter = e.filter;
                e.filter->AddRef();
            }
            return S_OK;
        }
    }
    if (ppFilter != nullptr) {
        *ppFilter = nullptr;
    }
    return VFW_E_NOT_FOUND;
}

STDMETHODIMP FilterGraph::ConnectDirect(IPin* ppinOut, IPin* ppinIn, const AM_MEDIA_TYPE* pmt) {
    if (ppinOut == nullptr || ppinIn == nullptr) {
        return E_POINTER;
    }
    std::lock_guard<std::recursive_mutex> lock(m_graphLock);
    if (!PinInGraph(ppinOut) || !PinInGraph(ppinIn)) {
        return VFW_E_NOT_IN_GRAPH;
    }
    if (m_state != State_Stopped) {
        return VFW_E_NOT_STOPPED;
    }
    return ppinOut->Connect(ppinIn, pmt);
}

STDMETHODIMP FilterGraph::Reconnect(IPin* ppin) {
    if (ppin == nullptr) {
        return E_POINTER;
    }
    std::lock_guard<std::recursive_mutex> lock(m_graphLock);
    if (m_state != State_Stopped) {
        return VFW_E_NOT_STOPPED;
    }
    IPin* peer = nullptr;
    HRESULT hr = ppin->ConnectedTo(&peer);
    if (FAILED(hr) || peer == nullptr) {
        return VFW_E_NOT_CONNECTED;
    }
    AM_MEDIA_TYPE mt{};
    hr = ppin->ConnectionMediaType(&mt);
    PIN_DIRECTION dir = PINDIR_INPUT;
    ppin->QueryDirection(&dir);
    IPin* out = dir == PINDIR_OUTPUT ? ppin : peer;
    IPin* in = dir == PINDIR_OUTPUT ? peer : ppin;
    out->Disconnect();
    in->Disconnect();
    hr = out->Connect(in, SUCCEEDED(hr) ? &mt : nullptr);
    if (mt.pbFormat != nullptr) {
        CoTaskMemFree(mt.pbFormat);
    }
    if (mt.pUnk != nullptr) {
        mt.pUnk->Release();
    }
    peer->Release();
    return hr;
}

STDMETHODIMP FilterGraph::Disconnect(IPin* ppin) {
    if (ppin == nullptr) {
        return E_POINTER;
    }
    std::lock_guard<std::recursive_mutex> lock(m_graphLock);
    if (m_state != State_Stopped) {
        return VFW_E_NOT_STOPPED;
    }
    return ppin->Disconnect();
}

STDMETHODIMP FilterGraph::SetDefaultSyncSource() {
    return S_OK; // no reference clock: every filter here delivers as fast as it can
}

// Filters ordered so that each comes before the filters upstream of it: a filter is made ready to
// receive before anything upstream starts to send, and stops first so that upstream waits end. Fails
// when a filter cannot list its pins, since the order would then be a guess.
// Also counts the renderers, where data ends: filters with a connected input pin and no connected
// output pin.
HRESULT FilterGraph::DownstreamFirst(std::vector<IBaseFilter*>* order, size_t* renderers) const {
    std::map<IBaseFilter*, std::set<IBaseFilter*>> feeds; // filter -> filters its outputs reach
    *renderers = 0;
    for (const Entry& e : m_filters) {
        bool in = false, out = false;
        std::vector<IPin*> pins;
        HRESULT hr = PinsOf(e.filter, &pins);
        if (FAILED(hr)) {
            return hr;
        }
        for (IPin* pin : pins) {
            PIN_DIRECTION dir;
            IPin* peer = nullptr;
            if (FAILED(pin->QueryDirection(&dir)) || FAILED(pin->ConnectedTo(&peer)) || peer == nullptr) {
                continue;
            }
            if (dir == PINDIR_OUTPUT) {
                out = true;
                IBaseFilter* down = OwnerOf(peer);
                if (down != nullptr) {
                    feeds[e.filter].insert(down);
                    down->Release();
                }
            } else {
                in = true;
            }
            peer->Release();
        }
        ReleaseAll(pins);
        if (in && !out) {
            ++*renderers;
        }
    }
    order->clear();
    std::set<IBaseFilter*> placed;
    while (order->size() < m_filters.size()) {
        bool progress = false;
        for (const Entry& e : m_filters) {
            if (placed.count(e.filter)) {
                continue;
            }
            bool ready = true;
            for (IBaseFilter* d : feeds[e.filter]) {
                if (Contains(d) && !placed.count(d)) {
                    ready = false;
                }
            }
            if (ready) {
                order->push_back(e.filter);
                placed.insert(e.filter);
                progress = true;
            }
        }
        if (!progress) { // a cycle: take the rest as they are
            for (const Entry& e : m_filters) {
                if (!placed.count(e.filter)) {
                    order->push_back(e.filter);
                    placed.insert(e.filter);
                }
            }
        }
    }
    return S_OK;
}

HRESULT FilterGraph::ChangeState(FILTER_STATE target) {
    std::lock_guard<std::recursive_mutex> lock(m_graphLock);
    if (target == m_state) {
        return S_OK;
    }
    if (target == State_Running && m_state == State_Stopped) {
        HRESULT hr = ChangeState(State_Paused);
        if (FAILED(hr)) {
            return hr;
        }
    }
    if (m_state == State_Stopped) {
        // A new run: completion is counted afresh.
        std::lock_guard<std::mutex> events(m_eventLock);
        m_completed.clear();
        m_complete = false;
        m_completionCode = 0;
    }
    std::vector<IBaseFilter*> order;
    size_t renderers = 0;
    HRESULT result = DownstreamFirst(&order, &renderers);
    if (FAILED(result)) {
        // Without the order nothing can start safely; stopping happens whatever, in the order the
        // filters were added.
        order.clear();
        for (const Entry& e : m_filters) {
            order.push_back(e.filter);
        }
        if (target != State_Stopped) {
            for (IBaseFilter* f : order) {
                f->Stop();
            }
            m_state = State_Stopped;
            return result;
        }
        result = S_OK;
    }
    if (target == State_Running) {
        std::lock_guard<std::mutex> events(m_eventLock);
        m_renderers = renderers;
    }
    for (IBaseFilter* f : order) {
        HRESULT hr = target == State_Stopped ? f->Stop() : target == State_Paused ? f->Pause() : f->Run(0);
        if (FAILED(hr) && SUCCEEDED(result)) {
            result = hr;
            if (target != State_Stopped) {
                break;
            }
        }
    }
    if (FAILED(result) && target != State_Stopped) {
        // A filter that cannot start leaves the whole graph stopped, not half running.
        for (IBaseFilter* f : order) {
            f->Stop();
        }
        m_state = State_Stopped;
        return result;
    }
    m_state = target;
    return result;
}

STDMETHODIMP FilterGraph::GetTypeInfoCount(UINT* pctinfo) {
    if (pctinfo == nullptr) {
        return E_POINTER;
    }
    *pctinfo = 0;
    return S_OK;
}

STDMETHODIMP FilterGraph::GetTypeInfo(UINT, LCID, ITypeInfo**) {
    return E_NOTIMPL;
}

STDMETHODIMP FilterGraph::GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) {
    return E_NOTIMPL;
}

STDMETHODIMP FilterGraph::Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) {
    return E_NOTIMPL;
}

STDMETHODIMP FilterGraph::Run() {
    return ChangeState(State_Running);
}

STDMETHODIMP FilterGraph::Pause() {
    return ChangeState(State_Paused);
}

STDMETHODIMP FilterGraph::Stop() {
    return ChangeState(State_Stopped);
}

STDMETHODIMP FilterGraph::GetState(LONG, OAFilterState* pfs) {
    if (pfs == nullptr) {
        return E_POINTER;
    }
    std::lock_guard<std::recursive_mutex> lock(m_graphLock);
    *pfs = m_state;
    return S_OK;
}

STDMETHODIMP FilterGraph::RenderFile(BSTR) {
    return E_NOTIMPL;
}

STDMETHODIMP FilterGraph::AddSourceFilter(BSTR, IDispatch**) {
    return E_NOTIMPL;
}

STDMETHODIMP FilterGraph::get_FilterCollection(IDispatch**) {
    return E_NOTIMPL;
}

STDMETHODIMP FilterGraph::get_RegFilterCollection(IDispatch**) {
    return E_NOTIMPL;
}

STDMETHODIMP FilterGraph::StopWhenReady() {
    return Stop();
}

STDMETHODIMP FilterGraph::GetEventHandle(OAEVENT*) {
    return E_NOTIMPL; // no Win32 event handles: wait with GetEvent or WaitForCompletion
}

STDMETHODIMP FilterGraph::GetEvent(LONG* lEventCode, LONG_PTR* lParam1, LONG_PTR* lParam2, LONG msTimeout) {
    if (lEventCode == nullptr || lParam1 == nullptr || lParam2 == nullptr) {
        return E_POINTER;
    }
    std::unique_lock<std::mutex> lock(m_eventLock);
    auto ready = [this] { return !m_events.empty(); };
    if (msTimeout < 0 || static_cast<DWORD>(msTimeout) == INFINITE) {
        m_eventCv.wait(lock, ready);
    } else if (!m_eventCv.wait_for(lock, std::chrono::milliseconds(msTimeout), ready)) {
        return E_ABORT;
    }
    Event e = m_events.front();
    m_events.pop_front();
    *lEventCode = e.code;
    *lParam1 = e.param1;
    *lParam2 = e.param2;
    return S_OK;
}

STDMETHODIMP FilterGraph::WaitForCompletion(LONG msTimeout, LONG* pEvCode) {
    if (pEvCode == nullptr) {
        return E_POINTER;
    }
    *pEvCode = 0;
    {
        std::lock_guard<std::recursive_mutex> lock(m_graphLock);
        if (m_state != State_Running) {
            return VFW_E_WRONG_STATE;
        }
    }
    std::unique_lock<std::mutex> lock(m_eventLock);
    auto done = [this] { return m_complete; };
    if (msTimeout < 0 || static_cast<DWORD>(msTimeout) == INFINITE) {
        m_eventCv.wait(lock, done);
    } else if (!m_eventCv.wait_for(lock, std::chrono::milliseconds(msTimeout), done)) {
        return E_ABORT;
    }
    *pEvCode = m_completionCode;
    return S_OK;
}

STDMETHODIMP FilterGraph::CancelDefaultHandling(LONG) {
    return E_NOTIMPL;
}

STDMETHODIMP FilterGraph::RestoreDefaultHandling(LONG) {
    return E_NOTIMPL;
}

STDMETHODIMP FilterGraph::FreeEventParams(LONG, LONG_PTR, LONG_PTR) {
    return S_OK; // no event here carries allocated parameters
}

STDMETHODIMP FilterGraph::Notify(LONG EventCode, LONG_PTR EventParam1, LONG_PTR EventParam2) {
    std::lock_guard<std::mutex> lock(m_eventLock);
    if (EventCode == EC_COMPLETE) {
        // Each renderer reports its own end; the application hears of it once all have.
        m_completed.insert(EventParam2);
        if (!m_complete && m_completed.size() >= std::max<size_t>(m_renderers, 1)) {
            m_complete = true;
            m_completionCode = EC_COMPLETE;
            m_events.push_back({EC_COMPLETE, S_OK, 0});
        }
    } else {
        m_events.push_back({EventCode, EventParam1, EventParam2});
        if ((EventCode == EC_ERRORABORT || EventCode == EC_USERABORT) && !m_complete) {
            m_complete = true;
            m_completionCode = EventCode;
        }
    }
    m_eventCv.notify_all();
    return S_OK;
}
