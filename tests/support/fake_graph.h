// A minimal filter graph for tests: filters join it (IFilterGraph) and report events to it
// (IMediaEventSink), which it records in order.
#pragma once
#include <windows.h>
#include <strmif.h>
#include <vfwmsgs.h>

#include <mutex>
#include <vector>

namespace qxtest {

struct GraphEvent {
    LONG code;
    LONG_PTR param1;
    LONG_PTR param2;
};

// Lives in the test's scope: Release never deletes it, and the reference count is there to be checked.
class FakeGraph : public IFilterGraph, public IMediaEventSink {
public:
    FakeGraph() = default;
    ~FakeGraph();
    FakeGraph(const FakeGraph&) = delete;
    FakeGraph& operator=(const FakeGraph&) = delete;

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;

    // IFilterGraph: AddFilter joins the filter and holds a reference until RemoveFilter (or the
    // graph's end); ConnectDirect and Disconnect pass to the pins.
    STDMETHODIMP AddFilter(IBaseFilter* pFilter, LPCWSTR pName) override;
    STDMETHODIMP RemoveFilter(IBaseFilter* pFilter) override;
    STDMETHODIMP EnumFilters(IEnumFilters** ppEnum) override;
    STDMETHODIMP FindFilterByName(LPCWSTR pName, IBaseFilter** ppFilter) override;
    STDMETHODIMP ConnectDirect(IPin* ppinOut, IPin* ppinIn, const AM_MEDIA_TYPE* pmt) override;
    STDMETHODIMP Reconnect(IPin* ppin) override;
    STDMETHODIMP Disconnect(IPin* ppin) override;
    STDMETHODIMP SetDefaultSyncSource() override;

    // IMediaEventSink
    STDMETHODIMP Notify(LONG EventCode, LONG_PTR EventParam1, LONG_PTR EventParam2) override;

    std::vector<GraphEvent> Events() const;
    size_t CountOf(LONG code) const;
    LONG RefCount() const { return m_cRef; }

private:
    mutable std::mutex m_lock;
    std::vector<GraphEvent> m_events;
    std::vector<IBaseFilter*> m_filters;
    LONG m_cRef = 0;
};

// State changes of a filter under test, as a graph would make them.
HRESULT RunFilter(IBaseFilter* pFilter, REFERENCE_TIME tStart = 0);
HRESULT StopFilter(IBaseFilter* pFilter);

} // namespace qxtest
