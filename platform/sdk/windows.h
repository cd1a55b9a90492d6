/* The Windows SDK's <windows.h> for non-Windows hosts: base types, HRESULTs, GUIDs and the Win32
   functions the system uses, the window layer of <winuser.h> among them. Declarations only; platform/posix
   implements them.

   As on Windows, the build is ANSI unless UNICODE is defined: the unsuffixed names (GetModuleFileName,
   RegCreateKeyEx, ...) map to their A forms. min and max are deliberately not defined as macros. */
#pragma once
#include <basetsd.h>
#include <winerror.h>
#include <guiddef.h>

#ifndef TRUE
#define TRUE 1
#endif
#ifndef FALSE
#define FALSE 0
#endif
#ifndef NULL
#ifdef __cplusplus
#define NULL nullptr
#else
#define NULL ((void*)0)
#endif
#endif

/* x86-64 has one calling convention; the Windows names are kept for the code's sake. */
#define WINAPI
#define CALLBACK
#define APIENTRY
#define WINAPIV
#define STDAPICALLTYPE
#define STDAPIVCALLTYPE
#define STDMETHODCALLTYPE
#define STDMETHODVCALLTYPE
#ifndef __stdcall
#define __stdcall
#endif
#ifndef __cdecl
#define __cdecl
#endif
#define CONST const
#define FAR
#define NEAR
#define DECLSPEC_IMPORT
#define DECLSPEC_EXPORT __attribute__((visibility("default")))
#define DECLSPEC_NOINLINE __attribute__((noinline))
#define DECLSPEC_SELECTANY __attribute__((weak))

#ifdef __cplusplus
#define EXTERN_C extern "C"
#define EXTERN_C_START extern "C" {
#define EXTERN_C_END }
#else
#define EXTERN_C extern
#define EXTERN_C_START
#define EXTERN_C_END
#endif
#define STDAPI EXTERN_C HRESULT STDAPICALLTYPE
#define STDAPI_(type) EXTERN_C type STDAPICALLTYPE
#define STDAPIV EXTERN_C HRESULT STDAPIVCALLTYPE
#define STDAPIV_(type) EXTERN_C type STDAPIVCALLTYPE

#define MAX_PATH 260
#define INFINITE 0xFFFFFFFF

#define LOBYTE(w) ((BYTE)(((DWORD_PTR)(w)) & 0xff))
#define HIBYTE(w) ((BYTE)((((DWORD_PTR)(w)) >> 8) & 0xff))
#define LOWORD(l) ((WORD)(((DWORD_PTR)(l)) & 0xffff))
#define HIWORD(l) ((WORD)((((DWORD_PTR)(l)) >> 16) & 0xffff))
#define MAKEWORD(a, b)                                                                                       \
    ((WORD)(((BYTE)(((DWORD_PTR)(a)) & 0xff)) | ((WORD)((BYTE)(((DWORD_PTR)(b)) & 0xff))) << 8))
#define MAKELONG(a, b)                                                                                       \
    ((LONG)(((WORD)(((DWORD_PTR)(a)) & 0xffff)) | ((DWORD)((WORD)(((DWORD_PTR)(b)) & 0xffff))) << 16))

#define UNREFERENCED_PARAMETER(p) (void)(p)
#define ARRAYSIZE(a) (sizeof(a) / sizeof((a)[0]))
#define _countof(a) (sizeof(a) / sizeof((a)[0]))

#define DECLARE_HANDLE(name)                                                                                 \
    struct name##__ {                                                                                        \
        int unused;                                                                                          \
    };                                                                                                       \
    typedef struct name##__* name

DECLARE_HANDLE(HINSTANCE);
typedef HINSTANCE HMODULE;
DECLARE_HANDLE(HWND);
DECLARE_HANDLE(HKEY);
typedef HKEY* PHKEY;
typedef UINT_PTR WPARAM;
typedef LONG_PTR LPARAM;
typedef LONG_PTR LRESULT;
typedef INT_PTR(WINAPI* FARPROC)(void);
typedef INT_PTR(WINAPI* PROC)(void);

#include <winnt.h>
#include <winbase.h>
#include <winnls.h>
#include <winreg.h>
#include <windef.h>
#include <winuser.h>
