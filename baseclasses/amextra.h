// CRenderedInputPin: an input pin of a filter that renders its stream (or collects it): at end of
// stream it reports EC_COMPLETE to the graph, once, as soon as the filter runs.
#pragma once
#include "baseclasses/amfilter.h"

class CRenderedInputPin : public CBaseInputPin {
public:
    CRenderedInputPin(LPCTSTR pObjectName, CBaseFilter* pFilter, CCritSec* pLock, HRESULT* phr,
                      LPCWSTR pName);

    // After the streaming check, the first end of stream marks the pin as ended and reports
    // EC_COMPLETE at once when the filter is running, otherwise when it next runs. Answers the
    // streaming check's code.
    STDMETHODIMP EndOfStream() override;
    // A flush ends the end-of-stream state: the next end of stream is reported again.
    STDMETHODIMP EndFlush() override;

    // Delivers a pending EC_COMPLETE.
    HRESULT Run(REFERENCE_TIME tStart) override;
    // Leaving and entering the stopped state starts a new stream.
    HRESULT Active() override;
    HRESULT Inactive() override;

protected:
    BOOL m_bAtEndOfStream;
    BOOL m_bCompleteNotified;

private:
    // Marks EC_COMPLETE as sent when it is due; the caller reports it after leaving the lock.
    BOOL TakeCompleteNotification();
    void DoCompleteHandling();
};
