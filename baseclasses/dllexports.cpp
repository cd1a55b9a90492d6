#include "baseclasses/dllentry.h"

STDAPI DllGetClassObject(REFCLSID rClsID, REFIID riid, void** pv) {
    CheckPointer(pv, E_POINTER);
    *pv = NULL;
    if (!IsEqualIID(riid, IID_IUnknown) && !IsEqualIID(riid, IID_IClassFactory)) {
        return E_NOINTERFACE;
    }
    for (int i = 0; i < g_cTemplates; i++) {
        const CFactoryTemplate* pT = &g_Templates[i];
        if (!pT->IsClassID(rClsID)) {
            continue;
        }
        CClassFactory* pFactory = new CClassFactory(pT);
        if (pFactory == NULL) {
            return E_OUTOFMEMORY;
        }
        pFactory->AddRef();
        HRESULT hr = pFactory->QueryInterface(riid, pv);
        pFactory->Release();
        return hr;
    }
    return CLASS_E_CLASSNOTAVAILABLE;
}

STDAPI DllCanUnloadNow() {
    return CClassFactory::IsLocked() || CBaseObject::ObjectsActive() != 0 ? S_FALSE : S_OK;
}
