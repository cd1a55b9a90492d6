#include "baseclasses/combase.h"

#include "baseclasses/allocation.h"

volatile LONG CBaseObject::m_cObjects = 0;
HINSTANCE g_hInst = nullptr;

CBaseObject::CBaseObject(LPCTSTR pName) {
    InterlockedIncrement(&m_cObjects);
}

CBaseObject::~CBaseObject() {
    InterlockedDecrement(&m_cObjects);
}

LONG CBaseObject::ObjectsActive() {
    return __atomic_load_n(&m_cObjects, __ATOMIC_SEQ_CST);
}

void* CBaseObject::operator new(size_t size) noexcept {
    return MemAlloc(size);
}

void CBaseObject::operator delete(void* block) noexcept {
    MemFree(block);
}

CUnknown::CUnknown(LPCTSTR pName, LPUNKNOWN pUnk)
    : CBaseObject(pName), m_cRef(0), m_Inner(), m_pUnknown(pUnk != nullptr ? pUnk : &m_Inner) {
    m_Inner.m_pObject = this;
}

CUnknown::CUnknown(LPCTSTR pName, LPUNKNOWN pUnk, HRESULT* phr) : CUnknown(pName, pUnk) {}

STDMETHODIMP CUnknown::NonDelegatingQueryInterface(REFIID riid, void** ppv) {
    CheckPointer(ppv, E_POINTER);
    // Only IUnknown is known here; it is always the non-delegating one, which is what an aggregator
    // asks for when it creates the inner object.
    if (riid == IID_IUnknown) {
        return GetInterface(&m_Inner, ppv);
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
}

STDMETHODIMP_(ULONG) CUnknown::NonDelegatingAddRef() {
    LONG lRef = InterlockedIncrement(&m_cRef);
    return static_cast<ULONG>(lRef > 0 ? lRef : 1);
}

STDMETHODIMP_(ULONG) CUnknown::NonDelegatingRelease() {
    LONG lRef = InterlockedDecrement(&m_cRef);
    if (lRef == 0) {
        // A destructor that takes and drops a reference of its own must not destroy the object twice.
        m_cRef = 1;
        delete this;
        return 0;
    }
    return static_cast<ULONG>(lRef > 0 ? lRef : 1);
}

STDMETHODIMP CUnknown::InnerUnknown::QueryInterface(REFIID riid, void** ppv) {
    return m_pObject->NonDelegatingQueryInterface(riid, ppv);
}

STDMETHODIMP_(ULONG) CUnknown::InnerUnknown::AddRef() {
    return m_pObject->NonDelegatingAddRef();
}

STDMETHODIMP_(ULONG) CUnknown::InnerUnknown::Release() {
    return m_pObject->NonDelegatingRelease();
}

STDAPI GetInterface(LPUNKNOWN pUnk, void** ppv) {
    CheckPointer(ppv, E_POINTER);
    *ppv = pUnk;
    pUnk->AddRef();
    return S_OK;
}
