/* COM run-time functions: the task allocator, activation and GUID strings. */
#pragma once
#include <windows.h>
#include <unknwn.h>

#define CLSCTX_INPROC_SERVER 0x1
#define CLSCTX_INPROC_HANDLER 0x2
#define CLSCTX_LOCAL_SERVER 0x4
#define CLSCTX_INPROC (CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER)
#define CLSCTX_ALL (CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER | CLSCTX_LOCAL_SERVER)

typedef struct tagCAUUID {
    ULONG cElems;
    GUID* pElems;
} CAUUID;

#ifdef __cplusplus
extern "C" {
#endif

LPVOID CoTaskMemAlloc(SIZE_T cb);
LPVOID CoTaskMemRealloc(LPVOID pv, SIZE_T cb);
void CoTaskMemFree(LPVOID pv);
int StringFromGUID2(REFGUID rguid, LPOLESTR lpsz, int cchMax);

#ifdef __cplusplus
}
#endif
