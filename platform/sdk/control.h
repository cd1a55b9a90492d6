/* Graph control interfaces for applications (control.h of the Windows SDK): IMediaControl and
   IMediaEvent/IMediaEventEx. They are dual interfaces; IDispatch is declared with its real slot order,
   and its automation types appear only as pointers. */
#pragma once
#include <windows.h>
#include <unknwn.h>

#ifdef __cplusplus

typedef OLECHAR* BSTR;
typedef LONG DISPID;
typedef LONG OAFilterState;
typedef LONG_PTR OAHWND;
typedef LONG_PTR OAEVENT;

struct ITypeInfo;
typedef struct tagDISPPARAMS DISPPARAMS;
typedef struct tagVARIANT VARIANT;
typedef struct tagEXCEPINFO EXCEPINFO;

DEFINE_GUID(IID_IDispatch, 0x00020400, 0x0000, 0x0000, 0xc0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46);
struct IDispatch : public IUnknown {
    STDMETHOD(GetTypeInfoCount)(UINT* pctinfo) PURE;
    STDMETHOD(GetTypeInfo)(UINT iTInfo, LCID lcid, ITypeInfo** ppTInfo) PURE;
    STDMETHOD(GetIDsOfNames)(REFIID riid, LPOLESTR* rgszNames, UINT cNames, LCID lcid, DISPID* rgDispId) PURE;
    STDMETHOD(Invoke)
    (DISPID dispIdMember, REFIID riid, LCID lcid, WORD wFlags, DISPPARAMS* pDispParams, VARIANT* pVarResult,
     EXCEPINFO* pExcepInfo, UINT* puArgErr) PURE;
};
typedef IDispatch* LPDISPATCH;

DEFINE_GUID(IID_IMediaControl, 0x56a868b1, 0x0ad4, 0x11ce, 0xb0, 0x3a, 0x00, 0x20, 0xaf, 0x0b, 0xa7, 0x70);
struct IMediaControl : public IDispatch {
    STDMETHOD(Run)() PURE;
    STDMETHOD(Pause)() PURE;
    STDMETHOD(Stop)() PURE;
    STDMETHOD(GetState)(LONG msTimeout, OAFilterState* pfs) PURE;
    STDMETHOD(RenderFile)(BSTR strFilename) PURE;
    STDMETHOD(AddSourceFilter)(BSTR strFilename, IDispatch** ppUnk) PURE;
    STDMETHOD(get_FilterCollection)(IDispatch** ppUnk) PURE;
    STDMETHOD(get_RegFilterCollection)(IDispatch** ppUnk) PURE;
    STDMETHOD(StopWhenReady)() PURE;
};

DEFINE_GUID(IID_IMediaEvent, 0x56a868b6, 0x0ad4, 0x11ce, 0xb0, 0x3a, 0x00, 0x20, 0xaf, 0x0b, 0xa7, 0x70);
struct IMediaEvent : public IDispatch {
    STDMETHOD(GetEventHandle)(OAEVENT* hEvent) PURE;
    STDMETHOD(GetEvent)(LONG* lEventCode, LONG_PTR* lParam1, LONG_PTR* lParam2, LONG msTimeout) PURE;
    STDMETHOD(WaitForCompletion)(LONG msTimeout, LONG* pEvCode) PURE;
    STDMETHOD(CancelDefaultHandling)(LONG lEvCode) PURE;
    STDMETHOD(RestoreDefaultHandling)(LONG lEvCode) PURE;
    STDMETHOD(FreeEventParams)(LONG lEvCode, LONG_PTR lParam1, LONG_PTR lParam2) PURE;
};

DEFINE_GUID(IID_IMediaEventEx, 0x56a868c0, 0x0ad4, 0x11ce, 0xb0, 0x3a, 0x00, 0x20, 0xaf, 0x0b, 0xa7, 0x70);
struct IMediaEventEx : public IMediaEvent {
    STDMETHOD(SetNotifyWindow)(OAHWND hwnd, LONG lMsg, LONG_PTR lInstanceData) PURE;
    STDMETHOD(SetNotifyFlags)(LONG lNoNotifyFlags) PURE;
    STDMETHOD(GetNotifyFlags)(LONG* lplNoNotifyFlags) PURE;
};

#endif
