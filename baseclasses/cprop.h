// CBasePropertyPage: IPropertyPage over a dialog resource. A derived page gives the dialog and title
// resource ids to the constructor and overrides the OnXxx hooks; the base creates the dialog in the
// property frame's window, moves and shows it, tracks the dirty flag and the page site.
#pragma once
#include <windows.h>
#include <ocidl.h>

#include "baseclasses/combase.h"

class CBasePropertyPage : public IPropertyPage, public CUnknown {
public:
    CBasePropertyPage(LPCTSTR pName, LPUNKNOWN pUnk, int DialogId, int TitleId);
    CBasePropertyPage(LPCTSTR pName, LPUNKNOWN pUnk, int DialogId, int TitleId, HRESULT* phr);
    ~CBasePropertyPage() override;

    DECLARE_IUNKNOWN
    STDMETHODIMP NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

    // Hooks for the derived page: the object the page shows (SetObjects with one object), its
    // release (SetObjects with none), the dialog's coming and going, Apply on a dirty page, and every
    // message of the dialog.
    virtual HRESULT OnConnect(IUnknown* pUnknown) { return S_OK; }
    virtual HRESULT OnDisconnect() { return S_OK; }
    virtual HRESULT OnActivate() { return S_OK; }
    virtual HRESULT OnDeactivate() { return S_OK; }
    virtual HRESULT OnApplyChanges() { return S_OK; }
    virtual INT_PTR OnReceiveMessage(HWND hwnd, UINT uMsg, WPARAM wParam, LPARAM lParam);

    // IPropertyPage
    STDMETHODIMP SetPageSite(LPPROPERTYPAGESITE pPageSite) override;
    STDMETHODIMP Activate(HWND hwndParent, LPCRECT prect, BOOL fModal) override;
    STDMETHODIMP Deactivate() override;
    STDMETHODIMP GetPageInfo(LPPROPPAGEINFO pPageInfo) override;
    STDMETHODIMP SetObjects(ULONG cObjects, LPUNKNOWN* ppUnk) override;
    STDMETHODIMP Show(UINT nCmdShow) override;
    STDMETHODIMP Move(LPCRECT prect) override;
    STDMETHODIMP IsPageDirty() override { return m_bDirty ? S_OK : S_FALSE; }
    STDMETHODIMP Apply() override;
    STDMETHODIMP Help(LPCWSTR lpszHelpDir) override { return E_NOTIMPL; }
    STDMETHODIMP TranslateAccelerator(LPMSG lpMsg) override { return E_NOTIMPL; }

protected:
    static INT_PTR CALLBACK DialogProc(HWND hwnd, UINT uMsg, WPARAM wParam, LPARAM lParam);

    LPPROPERTYPAGESITE m_pPageSite; // counted, or null
    HWND m_hwnd;                    // the page's dialog while active
    HWND m_Dlg;                     // the dialog window as WM_INITDIALOG gave it
    BOOL m_bDirty;
    int m_TitleId;
    int m_DialogId;

private:
    BOOL m_bObjectSet; // SetObjects has given an object
};

// Longest resource string the helpers read.
#define STR_MAX_LENGTH 256

// The string resource iResourceID of the module, as a wide string (empty when there is none).
LPWSTR WINAPI WideStringFromResource(LPWSTR pBuffer, int iResourceID);
// The size in pixels of the dialog resource iResourceID, made once invisibly to measure it.
BOOL WINAPI GetDialogSize(int iResourceID, DLGPROC pDlgProc, LPARAM lParam, SIZE* pResult);
