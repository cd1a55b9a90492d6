#include "baseclasses/cprop.h"

#include <string.h>

CBasePropertyPage::CBasePropertyPage(LPCTSTR pName, LPUNKNOWN pUnk, int DialogId, int TitleId)
    : CUnknown(pName, pUnk), m_pPageSite(NULL), m_hwnd(NULL), m_Dlg(NULL), m_bDirty(FALSE),
      m_TitleId(TitleId), m_DialogId(DialogId), m_bObjectSet(FALSE) {}

CBasePropertyPage::CBasePropertyPage(LPCTSTR pName, LPUNKNOWN pUnk, int DialogId, int TitleId, HRESULT* phr)
    : CBasePropertyPage(pName, pUnk, DialogId, TitleId) {}

CBasePropertyPage::~CBasePropertyPage() {
    // A frame that lets go of a page without deactivating it must not leave the dialog calling
    // into a destroyed page: detach the page from the dialog first.
    if (m_hwnd != NULL) {
        SetWindowLongPtr(m_hwnd, DWLP_USER, 0);
        DestroyWindow(m_hwnd);
        m_hwnd = NULL;
    }
    if (m_pPageSite != NULL) {
        m_pPageSite->Release();
        m_pPageSite = NULL;
    }
}

STDMETHODIMP CBasePropertyPage::NonDelegatingQueryInterface(REFIID riid, void** ppv) {
    CheckPointer(ppv, E_POINTER);
    if (riid == IID_IPropertyPage) {
        return GetInterface(static_cast<IPropertyPage*>(this), ppv);
    }
    return CUnknown::NonDelegatingQueryInterface(riid, ppv);
}

STDMETHODIMP CBasePropertyPage::SetPageSite(LPPROPERTYPAGESITE pPageSite) {
    if (pPageSite != NULL) {
        if (m_pPageSite != NULL) {
            return E_UNEXPECTED;
        }
        m_pPageSite = pPageSite;
        m_pPageSite->AddRef();
    } else {
        if (m_pPageSite == NULL) {
            return E_UNEXPECTED;
        }
        m_pPageSite->Release();
        m_pPageSite = NULL;
    }
    return S_OK;
}

STDMETHODIMP CBasePropertyPage::GetPageInfo(LPPROPPAGEINFO pPageInfo) {
    CheckPointer(pPageInfo, E_POINTER);
    WCHAR wszTitle[STR_MAX_LENGTH];
    WideStringFromResource(wszTitle, m_TitleId);
    // The frame frees the title with the task allocator.
    HRESULT hr = AMGetWideString(wszTitle, &pPageInfo->pszTitle);
    if (FAILED(hr)) {
        return E_OUTOFMEMORY;
    }
    pPageInfo->cb = sizeof(PROPPAGEINFO);
    pPageInfo->pszDocString = NULL;
    pPageInfo->pszHelpFile = NULL;
    pPageInfo->dwHelpContext = 0;
    // A size for the frame even when the dialog cannot be measured.
    pPageInfo->size.cx = 340;
    pPageInfo->size.cy = 150;
    GetDialogSize(m_DialogId, DialogProc, 0, &pPageInfo->size);
    return S_OK;
}

INT_PTR CALLBACK CBasePropertyPage::DialogProc(HWND hwnd, UINT uMsg, WPARAM wParam, LPARAM lParam) {
    if (uMsg == WM_INITDIALOG) {
        SetWindowLongPtr(hwnd, DWLP_USER, lParam);
        // Null while the dialog is only being measured.
        CBasePropertyPage* pPage = reinterpret_cast<CBasePropertyPage*>(lParam);
        if (pPage == NULL) {
            return 1;
        }
        pPage->m_Dlg = hwnd;
    }
    CBasePropertyPage* pPage = reinterpret_cast<CBasePropertyPage*>(GetWindowLongPtr(hwnd, DWLP_USER));
    if (pPage == NULL) {
        return 1;
    }
    return pPage->OnReceiveMessage(hwnd, uMsg, wParam, lParam);
}

INT_PTR CBasePropertyPage::OnReceiveMessage(HWND hwnd, UINT uMsg, WPARAM wParam, LPARAM lParam) {
#ifdef WM_STYLECHANGING
    // The property frame clears WS_EX_CONTROLPARENT on its pages; without it the tab key would not
    // move between the page's controls, so the page keeps asking for it. (Window layers without style
    // notifications have no frame that does this.)
    if (uMsg == WM_STYLECHANGING && wParam == static_cast<WPARAM>(GWL_EXSTYLE)) {
        LPSTYLESTRUCT lpss = reinterpret_cast<LPSTYLESTRUCT>(lParam);
        lpss->styleNew |= WS_EX_CONTROLPARENT;
        return 0;
    }
#endif
    return DefWindowProc(hwnd, uMsg, wParam, lParam);
}

STDMETHODIMP CBasePropertyPage::SetObjects(ULONG cObjects, LPUNKNOWN* ppUnk) {
    if (cObjects == 1) {
        if (ppUnk == NULL || *ppUnk == NULL) {
            return E_POINTER;
        }
        m_bObjectSet = TRUE;
        return OnConnect(*ppUnk);
    }
    if (cObjects == 0) {
        m_bObjectSet = FALSE;
        return OnDisconnect();
    }
    return E_UNEXPECTED;
}

STDMETHODIMP CBasePropertyPage::Activate(HWND hwndParent, LPCRECT pRect, BOOL fModal) {
    CheckPointer(pRect, E_POINTER);
    // A page shows one object; without one there is nothing to show.
    if (m_bObjectSet == FALSE || m_hwnd != NULL) {
        return E_UNEXPECTED;
    }
    m_hwnd = CreateDialogParam(g_hInst, MAKEINTRESOURCE(m_DialogId), hwndParent, DialogProc,
                               reinterpret_cast<LPARAM>(this));
    if (m_hwnd == NULL) {
        return E_OUTOFMEMORY;
    }
    OnActivate();
    Move(pRect);
    return Show(SW_SHOWNORMAL);
}

STDMETHODIMP CBasePropertyPage::Move(LPCRECT pRect) {
    CheckPointer(pRect, E_POINTER);
    if (m_hwnd == NULL) {
        return E_UNEXPECTED;
    }
    MoveWindow(m_hwnd, pRect->left, pRect->top, pRect->right - pRect->left, pRect->bottom - pRect->top, TRUE);
    return S_OK;
}

STDMETHODIMP CBasePropertyPage::Show(UINT nCmdShow) {
    if (m_hwnd == NULL) {
        return E_UNEXPECTED;
    }
    if (nCmdShow != SW_SHOW && nCmdShow != SW_SHOWNORMAL && nCmdShow != SW_HIDE) {
        return E_INVALIDARG;
    }
    ShowWindow(m_hwnd, static_cast<int>(nCmdShow));
    return S_OK;
}

STDMETHODIMP CBasePropertyPage::Deactivate() {
    if (m_hwnd == NULL) {
        return E_UNEXPECTED;
    }
    // Without WS_EX_CONTROLPARENT, so that destroying the page does not upset the frame's focus.
    LONG dwStyle = GetWindowLong(m_hwnd, GWL_EXSTYLE);
    SetWindowLong(m_hwnd, GWL_EXSTYLE, dwStyle & ~static_cast<LONG>(WS_EX_CONTROLPARENT));
    OnDeactivate();
    DestroyWindow(m_hwnd);
    m_hwnd = NULL;
    return S_OK;
}

STDMETHODIMP CBasePropertyPage::Apply() {
    // Apply makes sense only for a page with an object and a site.
    if (!m_bObjectSet || m_pPageSite == NULL) {
        return E_UNEXPECTED;
    }
    if (!m_bDirty) {
        return S_OK;
    }
    HRESULT hr = OnApplyChanges();
    if (SUCCEEDED(hr)) {
        m_bDirty = FALSE;
    }
    return hr;
}

LPWSTR WINAPI WideStringFromResource(LPWSTR pBuffer, int iResourceID) {
    *pBuffer = 0;
    LoadStringW(g_hInst, static_cast<UINT>(iResourceID), pBuffer, STR_MAX_LENGTH);
    return pBuffer;
}

BOOL WINAPI GetDialogSize(int iResourceID, DLGPROC pDlgProc, LPARAM lParam, SIZE* pResult) {
    // A page template is a child dialog, so it is measured inside a hidden window of its own, made
    // and destroyed here; the dialog is never shown.
    HWND hwndParent = CreateWindowExA(0, "Static", "", WS_POPUP, 0, 0, 0, 0, NULL, NULL, g_hInst, NULL);
    if (hwndParent == NULL) {
        return FALSE;
    }
    HWND hwnd = CreateDialogParam(g_hInst, MAKEINTRESOURCE(iResourceID), hwndParent, pDlgProc, lParam);
    BOOL measured = FALSE;
    if (hwnd != NULL) {
        RECT rc;
        if (GetWindowRect(hwnd, &rc)) {
            pResult->cx = rc.right - rc.left;
            pResult->cy = rc.bottom - rc.top;
            measured = TRUE;
        }
        DestroyWindow(hwnd);
    }
    DestroyWindow(hwndParent);
    return measured;
}
