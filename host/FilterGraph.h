// A small filter graph: holds filters, connects pins directly, moves every filter through stop, pause
// and run, and collects the events the filters report. Enough to host a demultiplexer and a sink
// filter the way the platform's graph manager would, without intelligent connect or a clock.
#pragma once
#include <windows.h>
#include <strmif.h>
#include <control.h>
#include <evcode.h>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <set>
#include <string>
#include <vector>

class FilterGraph : public IFilterGraph, public IMediaControl, public IMediaEvent, public IMediaEventSink {
public:
    // Made with one reference, which the caller owns. Null when out of memory.
    static FilterGraph* Create();

    // IUnknown
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;

    // IFilterGraph
    STDMETHODIMP AddFilter(IBaseFilter* pFilter, LPCWSTR pName) override;
    STDMETHODIMP RemoveFilter(IBaseFilter* pFilter) override;
    STDMETHODIMP EnumFilters(IEnumFilters** ppEnum) override;
    STDMETHODIMP FindFilterByName(LPCWSTR pName, IBaseFilter** ppFilter) override;
    STDMETHODIMP ConnectDirect(IPin* ppinOut, IPin* ppinIn, const AM_MEDIA_TYPE* pmt) override;
    STDMETHODIMP Reconnect(IPin* ppin) override;
    STDMETHODIMP Disconnect(IPin* ppin) override;
    STDMETHODIMP SetDefaultSyncSource() override;

    // IDispatch (no automation here)
    STDMETHODIMP GetTypeInfoCount(UINT* pctinfo) override;
    STDMETHODIMP GetTypeInfo(UINT iTInfo, LCID lcid, ITypeInfo** ppTInfo) override;
    STDMETHODIMP GetIDsOfNames(REFIID riid, LPOLESTR* rgszNames, UINT cNames, LCID lcid,
                               DISPID* rgDispId) override;
    STDMETHODIMP Invoke(DISPID dispIdMember, REFIID riid, LCID lcid, WORD wFlags, DISPPARAMS* pDispParams,
                        VARIANT* pVarResult, EXCEPINFO* pExcepInfo, UINT* puArgErr) override;

    // IMediaControl
    STDMETHODIMP Run() override;
    STDMETHODIMP Pause() override;
    STDMETHODIMP Stop() override;
    STDMETHODIMP GetState(LONG msTimeout, OAFilterState* pfs) override;
    STDMETHODIMP RenderFile(BSTR strFilename) override;
    STDMETHODIMP AddSourceFilter(BSTR strFilename, IDispatch** ppUnk) override;
    STDMETHODIMP get_FilterCollection(IDispatch** ppUnk) override;
    STDMETHODIMP get_RegFilterCollection(IDispatch** ppUnk) override;
    STDMETHODIMP StopWhenReady() override;

    // IMediaEvent. WaitForCompletion ends on EC_COMPLETE (once every renderer has reported it),
    // EC_ERRORABORT or EC_USERABORT. GetEvent hands out the recorded events in order.
    STDMETHODIMP GetEventHandle(OAEVENT* hEvent) override;
    STDMETHODIMP GetEvent(LONG* lEventCode, LONG_PTR* lParam1, LONG_PTR* lParam2, LONG msTimeout) override;
    STDMETHODIMP WaitForCompletion(LONG msTimeout, LONG* pEvCode) override;
    STDMETHODIMP CancelDefaultHandling(LONG lEvCode) override;
    STDMETHODIMP RestoreDefaultHandling(LONG lEvCode) override;
    STDMETHODIMP FreeEventParams(LONG lEvCode, LONG_PTR lParam1, LONG_PTR lParam2) override;

    // IMediaEventSink: what the filters report, from any thread.
    STDMETHODIMP Notify(LONG EventCode, LONG_PTR EventParam1, LONG_PTR EventParam2) override;

private:
    struct Entry {
        IBaseFilter* filter; // one reference held
        std::wstring name;
    };
    struct Event {
        LONG code;
        LONG_PTR param1;
        LONG_PTR param2;
    };

    FilterGraph() = default;
    virtual ~FilterGraph();

    bool Contains(IBaseFilter* pFilter) const;
    bool PinInGraph(IPin* pin) const;
    HRESULT DownstreamFirst(std::vector<IBaseFilter*>* order, size_t* renderers) const;
    HRESULT ChangeState(FILTER_STATE target);

    std::atomic<ULONG> m_ref{1};
    mutable std::recursive_mutex m_graphLock; // filters, connections, state
    std::vector<Entry> m_filters;
    FILTER_STATE m_state = State_Stopped;

    // Events have their own lock: filters report from streaming threads that a state change may be
    // waiting for while it holds m_graphLock.
    std::mutex m_eventLock;
    std::condition_variable m_eventCv;
    std::deque<Event> m_events;
    std::set<LONG_PTR> m_completed; // renderers that reported EC_COMPLETE this run
    size_t m_renderers = 0;
    bool m_complete = false;
    LONG m_completionCode = 0;
};
