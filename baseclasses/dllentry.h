// In-process server support: the factory template table that a module defines, the class factory
// made from it, the module entry point and the exports DllGetClassObject and DllCanUnloadNow.
//
// A module defines
//     CFactoryTemplate g_Templates[] = {...};
//     int g_cTemplates = sizeof(g_Templates) / sizeof(g_Templates[0]);
// calls DllEntryPoint from its DllMain, and exports DllGetClassObject and DllCanUnloadNow from here
// (DllRegisterServer/DllUnregisterServer call AMovieDllRegisterServer2, dllsetup.h).
#pragma once
#include <windows.h>
#include <unknwn.h>

#include "baseclasses/combase.h"

struct _AMOVIESETUP_FILTER;

// Makes an object of the class: the controlling IUnknown for aggregation and a result slot preset
// to S_OK. Null when out of memory; an object whose slot holds a failure is destroyed again.
typedef CUnknown*(CALLBACK* LPFNNewCOMObject)(LPUNKNOWN pUnkOuter, HRESULT* phr);
// Called with TRUE when the module loads and FALSE when it unloads.
typedef void(CALLBACK* LPFNInitRoutine)(BOOL bLoading, const CLSID* rclsid);

class CFactoryTemplate {
public:
    const WCHAR* m_Name;
    const CLSID* m_ClsID;
    LPFNNewCOMObject m_lpfnNew;
    LPFNInitRoutine m_lpfnInit;
    const _AMOVIESETUP_FILTER* m_pAMovieSetup_Filter;

    BOOL IsClassID(REFCLSID rclsid) const { return IsEqualCLSID(*m_ClsID, rclsid); }
    CUnknown* CreateInstance(LPUNKNOWN pUnk, HRESULT* phr) const { return m_lpfnNew(pUnk, phr); }
};

// The module's table, defined by the module.
extern CFactoryTemplate g_Templates[];
extern int g_cTemplates;

class CClassFactory : public IClassFactory, public CBaseObject {
public:
    explicit CClassFactory(const CFactoryTemplate* pTemplate);

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;

    // E_POINTER for no out pointer; under aggregation only IUnknown may be asked for
    // (E_NOINTERFACE). A null object answers the slot's failure, else E_OUTOFMEMORY.
    STDMETHODIMP CreateInstance(LPUNKNOWN pUnkOuter, REFIID riid, void** pv) override;
    STDMETHODIMP LockServer(BOOL fLock) override;

    // Whether any factory of the module holds a server lock.
    static BOOL IsLocked();

private:
    const CFactoryTemplate* const m_pTemplate;
    volatile LONG m_cRef;
    static volatile LONG m_cLocked;
};

// What DllEntryPoint learnt about the operating system.
extern OSVERSIONINFOA g_osInfo;
extern DWORD g_amPlatform;

// Process attach: no thread notifications, remember the instance and the system version, run each
// template's init routine with TRUE. Process detach: the routines with FALSE. Always TRUE.
EXTERN_C BOOL WINAPI DllEntryPoint(HINSTANCE hInstance, ULONG ulReason, LPVOID pv);

// Only IUnknown and IClassFactory (else E_NOINTERFACE), for a class in g_Templates (else
// CLASS_E_CLASSNOTAVAILABLE).
STDAPI DllGetClassObject(REFCLSID rClsID, REFIID riid, void** pv);
// S_FALSE while an object of the module lives or a factory is locked, else S_OK.
STDAPI DllCanUnloadNow();
