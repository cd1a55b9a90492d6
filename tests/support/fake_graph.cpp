#include "support/fake_graph.h"

#include <algorithm>

namespace qxtest {

FakeGraph::~FakeGraph() {
    std::vector<IBaseFilter*> filters;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        filters.swap(m_filters);
    }
    for (IBaseFilter* f : filters) {
        f->JoinFilterGraph(nullptr, nullptr);
        f->Release();
    }
}

STDMETHODIMP FakeGraph::QueryInterface(REFIID riid, void** ppv) {
    if (ppv == nullptr) {
        return E_POINTER;
    }
    if (riid == IID_IUnknown || riid == IID_IFilterGraph) {
        *ppv = static_cast<IFilterGraph*>(this);
    } else if (riid == IID_IMediaEventSink) {
        *ppv = static_cast<IMediaEventSink*>(this);
    } else {
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
}

STDMETHODIMP_(ULONG) FakeGraph::AddRef() {
    return static_cast<ULONG>(__atomic_add_fetch(&m_cRef, 1, __ATOMIC_SEQ_CST));
}

STDMETHODIMP_(ULONG) FakeGraph::Release() {
    return static_cast<ULONG>(__atomic_sub_fetch(&m_cRef, 1, __ATOMIC_SEQ_CST));
}

STDMETHODIMP FakeGraph::AddFilter(IBaseFilter* pFilter, LPCWSTR pName) {
    if (pFilter == nullptr) {
        return E_POINTER;
    }
    HRESULT hr = pFilter->JoinFilterGraph(this, pName);
    if (FAILED(hr)) {
        return hr;
    }
    pFilter->AddRef();
    std::lock_guard<std::mutex> guard(m_lock);
    m_filters.push_back(pFilter);
    return S_OK;
}

STDMETHODIMP FakeGraph::RemoveFilter(IBaseFilter* pFilter) {
    {
        std::lock_guard<std::mutex> guard(m_lock);
        auto it = std::find(m_filters.begin(), m_filters.end(), pFilter);
        if (it == m_filters.end()) {
            return VFW_E_NOT_FOUND;
        }
        m_filters.erase(it);
    }
    pFilter->JoinFilterGraph(nullptr, nullptr);
    pFilter->Release();
    return S_OK;
}

STDMETHODIMP FakeGraph::EnumFilters(IEnumFilters** ppEnum) {
    return E_NOTIMPL;
}

STDMETHODIMP FakeGraph::FindFilterByName(LPCWSTR pName, IBaseFilter** ppFilter) {
    return E_NOTIMPL;
}

STDMETHODIMP FakeGraph::ConnectDirect(IPin* ppinOut, IPin* ppinIn, const AM_MEDIA_TYPE* pmt) {
    if (ppinOut == nullptr || ppinIn == nullptr) {
        return E_POINTER;
    }
    return ppinOut->Connect(ppinIn, pmt);
}

STDMETHODIMP FakeGraph::Reconnect(IPin* ppin) {
    return E_NOTIMPL;
}

STDMETHODIMP FakeGraph::Disconnect(IPin* ppin) {
    if (ppin == nullptr) {
        return E_POINTER;
    }
    return ppin->Disconnect();
}

STDMETHODIMP FakeGraph::SetDefaultSyncSource() {
    return S_OK;
}

STDMETHODIMP FakeGraph::Notify(LONG EventCode, LONG_PTR EventParam1, LONG_PTR EventParam2) {
    std::lock_guard<std::mutex> guard(m_lock);
    m_events.push_back({EventCode, EventParam1, EventParam2});
    return S_OK;
}

std::vector<GraphEvent> FakeGraph::Events() const {
    std::lock_guard<std::mutex> guard(m_lock);
    return m_events;
}

size_t FakeGraph::CountOf(LONG code) const {
    std::lock_guard<std::mutex> guard(m_lock);
    return static_cast<size_t>(std::count_if(m_events.begin(), m_events.end(),
                                             [code](const GraphEvent& e) { return e.code == code; }));
}

HRESULT RunFilter(IBaseFilter* pFilter, REFERENCE_TIME tStart) {
    return pFilter->Run(tStart);
}

HRESULT StopFilter(IBaseFilter* pFilter) {
    return pFilter->Stop();
}

} // namespace qxtest
