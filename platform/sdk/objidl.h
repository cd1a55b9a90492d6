/* COM object interfaces the media framework builds on: IPersist and the moniker enumerator. */
#pragma once
#include <windows.h>
#include <unknwn.h>

#ifdef __cplusplus

/* Monikers are only passed through by the code (IFilterMapper2); no method of theirs is called. */
struct IMoniker;
typedef IMoniker* LPMONIKER;

DEFINE_GUID(IID_IPersist, 0x0000010c, 0x0000, 0x0000, 0xc0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46);
struct IPersist : public IUnknown {
    STDMETHOD(GetClassID)(CLSID* pClassID) PURE;
};
typedef IPersist* LPPERSIST;

DEFINE_GUID(IID_IEnumMoniker, 0x00000102, 0x0000, 0x0000, 0xc0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46);
struct IEnumMoniker : public IUnknown {
    STDMETHOD(Next)(ULONG celt, IMoniker** rgelt, ULONG* pceltFetched) PURE;
    STDMETHOD(Skip)(ULONG celt) PURE;
    STDMETHOD(Reset)() PURE;
    STDMETHOD(Clone)(IEnumMoniker** ppenum) PURE;
};
typedef IEnumMoniker* LPENUMMONIKER;

#endif
