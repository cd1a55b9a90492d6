/* OLE control interfaces used by filters and property pages: ISpecifyPropertyPages, IPropertyPage,
   IPropertyPageSite and PROPPAGEINFO. CAUUID comes with <objbase.h>. */
#pragma once
#include <windows.h>
#include <objbase.h>
#include <objidl.h>

#ifdef __cplusplus

/* The window geometry and message types belong to <windef.h> and <winuser.h>; only pointers to RECT
   and MSG pass here, so incomplete types do, while PROPPAGEINFO needs SIZE itself. */
#if __has_include(<windef.h>)
#include <windef.h>
#else
typedef struct tagSIZE {
    LONG cx;
    LONG cy;
} SIZE;
#endif
typedef struct tagRECT RECT;
typedef const RECT* LPCRECT;
typedef struct tagMSG MSG;
typedef MSG* LPMSG;

typedef struct tagPROPPAGEINFO {
    ULONG cb;
    LPOLESTR pszTitle;
    SIZE size;
    LPOLESTR pszDocString;
    LPOLESTR pszHelpFile;
    DWORD dwHelpContext;
} PROPPAGEINFO;
typedef PROPPAGEINFO* LPPROPPAGEINFO;

/* IPropertyPageSite::OnStatusChange flags */
#define PROPPAGESTATUS_DIRTY 0x1
#define PROPPAGESTATUS_VALIDATE 0x2
#define PROPPAGESTATUS_CLEAN 0x4

DEFINE_GUID(IID_ISpecifyPropertyPages, 0xb196b28b, 0xbab4, 0x101a, 0xb6, 0x9c, 0x00, 0xaa, 0x00, 0x34, 0x1d,
            0x07);
struct ISpecifyPropertyPages : public IUnknown {
    STDMETHOD(GetPages)(CAUUID* pPages) PURE;
};
typedef ISpecifyPropertyPages* LPSPECIFYPROPERTYPAGES;

DEFINE_GUID(IID_IPropertyPageSite, 0xb196b28c, 0xbab4, 0x101a, 0xb6, 0x9c, 0x00, 0xaa, 0x00, 0x34, 0x1d,
            0x07);
struct IPropertyPageSite : public IUnknown {
    STDMETHOD(OnStatusChange)(DWORD dwFlags) PURE;
    STDMETHOD(GetLocaleID)(LCID* pLocaleID) PURE;
    STDMETHOD(GetPageContainer)(IUnknown** ppUnk) PURE;
    STDMETHOD(TranslateAccelerator)(MSG* pMsg) PURE;
};
typedef IPropertyPageSite* LPPROPERTYPAGESITE;

DEFINE_GUID(IID_IPropertyPage, 0xb196b28d, 0xbab4, 0x101a, 0xb6, 0x9c, 0x00, 0xaa, 0x00, 0x34, 0x1d, 0x07);
struct IPropertyPage : public IUnknown {
    STDMETHOD(SetPageSite)(IPropertyPageSite* pPageSite) PURE;
    STDMETHOD(Activate)(HWND hWndParent, LPCRECT pRect, BOOL bModal) PURE;
    STDMETHOD(Deactivate)() PURE;
    STDMETHOD(GetPageInfo)(PROPPAGEINFO* pPageInfo) PURE;
    STDMETHOD(SetObjects)(ULONG cObjects, IUnknown** ppUnk) PURE;
    STDMETHOD(Show)(UINT nCmdShow) PURE;
    STDMETHOD(Move)(LPCRECT pRect) PURE;
    STDMETHOD(IsPageDirty)() PURE;
    STDMETHOD(Apply)() PURE;
    STDMETHOD(Help)(LPCOLESTR pszHelpDir) PURE;
    STDMETHOD(TranslateAccelerator)(MSG* pMsg) PURE;
};
typedef IPropertyPage* LPPROPERTYPAGE;

#endif
