/* MPEG-2 demultiplexer PID mapping interfaces (bdaiface.h of the Windows SDK): IMPEG2PIDMap on a
   demultiplexer output pin and its enumerator IEnumPIDMap. */
#pragma once
#include <windows.h>
#include <unknwn.h>
#include <strmif.h>
#include <bdatypes.h>

#ifdef __cplusplus

struct IEnumPIDMap;

DEFINE_GUID(IID_IEnumPIDMap, 0xafb6c2a2, 0x2c41, 0x11d3, 0x8a, 0x60, 0x00, 0x00, 0xf8, 0x1e, 0x0e, 0x4a);
struct IEnumPIDMap : public IUnknown {
    STDMETHOD(Next)(ULONG cRequest, PID_MAP* pPIDMap, ULONG* pcReceived) PURE;
    STDMETHOD(Skip)(ULONG cRecords) PURE;
    STDMETHOD(Reset)() PURE;
    STDMETHOD(Clone)(IEnumPIDMap** ppIEnumPIDMap) PURE;
};

DEFINE_GUID(IID_IMPEG2PIDMap, 0xafb6c2a1, 0x2c41, 0x11d3, 0x8a, 0x60, 0x00, 0x00, 0xf8, 0x1e, 0x0e, 0x4a);
struct IMPEG2PIDMap : public IUnknown {
    STDMETHOD(MapPID)(ULONG culPID, ULONG* pulPID, MEDIA_SAMPLE_CONTENT MediaSampleContent) PURE;
    STDMETHOD(UnmapPID)(ULONG culPID, ULONG* pulPID) PURE;
    STDMETHOD(EnumPIDMap)(IEnumPIDMap** pIEnumPIDMap) PURE;
};

#endif
