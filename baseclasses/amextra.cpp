#include "baseclasses/amextra.h"

CRenderedInputPin::CRenderedInputPin(LPCTSTR pObjectName, CBaseFilter* pFilter, CCritSec* pLock, HRESULT* phr,
                                     LPCWSTR pName)
    : CBaseInputPin(pObjectName, pFilter, pLock, phr, pName), m_bAtEndOfStream(FALSE),
      m_bCompleteNotified(FALSE) {}

STDMETHODIMP CRenderedInputPin::EndOfStream() {
    HRESULT hr = CheckStreaming();
    if (hr != S_OK) {
        return hr;
    }
    BOOL notify = FALSE;
    {
        CAutoLock lock(m_pLock);
        if (!m_bAtEndOfStream) {
            m_bAtEndOfStream = TRUE;
            FILTER_STATE fs = State_Stopped;
            m_pFilter->GetState(0, &fs);
            if (fs == State_Running) {
                notify = TakeCompleteNotification();
            }
        }
    }
    if (notify) {
        DoCompleteHandling();
    }
    return hr;
}

STDMETHODIMP CRenderedInputPin::EndFlush() {
    {
        CAutoLock lock(m_pLock);
        m_bAtEndOfStream = FALSE;
        m_bCompleteNotified = FALSE;
    }
    return CBaseInputPin::EndFlush();
}

HRESULT CRenderedInputPin::Run(REFERENCE_TIME tStart) {
    // Called by the filter's Run with the state lock held; the graph's event sink takes no filter lock.
    BOOL notify;
    {
        CAutoLock lock(m_pLock);
        notify = TakeCompleteNotification();
    }
    if (notify) {
        DoCompleteHandling();
    }
    return S_OK;
}

HRESULT CRenderedInputPin::Active() {
    {
        CAutoLock lock(m_pLock);
        m_bAtEndOfStream = FALSE;
        m_bCompleteNotified = FALSE;
    }
    return CBaseInputPin::Active();
}

HRESULT CRenderedInputPin::Inactive() {
    {
        CAutoLock lock(m_pLock);
        m_bAtEndOfStream = FALSE;
        m_bCompleteNotified = FALSE;
    }
    return CBaseInputPin::Inactive();
}

BOOL CRenderedInputPin::TakeCompleteNotification() {
    // EC_COMPLETE goes once per end of stream, even across pause and run.
    if (!m_bAtEndOfStream || m_bCompleteNotified) {
        return FALSE;
    }
    m_bCompleteNotified = TRUE;
    return TRUE;
}

void CRenderedInputPin::DoCompleteHandling() {
    m_pFilter->NotifyEvent(EC_COMPLETE, S_OK,
                           reinterpret_cast<LONG_PTR>(static_cast<IBaseFilter*>(m_pFilter)));
}
