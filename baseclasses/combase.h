// COM object support of the base layer: the non-delegating IUnknown that makes aggregation work,
// the object count behind DllCanUnloadNow, and GetInterface.
//
// An object derives from CUnknown, implements NonDelegatingQueryInterface for its own interfaces and
// puts DECLARE_IUNKNOWN in its class: its interfaces' IUnknown methods then go to the controlling
// IUnknown (GetOwner), which is the outer object under aggregation and the object's own
// non-delegating IUnknown otherwise.
#pragma once
#include <windows.h>
#include <unknwn.h>
#include <new>

#include "baseclasses/wxutil.h"

struct INonDelegatingUnknown {
    virtual STDMETHODIMP NonDelegatingQueryInterface(REFIID riid, void** ppv) = 0;
    virtual STDMETHODIMP_(ULONG) NonDelegatingAddRef() = 0;
    virtual STDMETHODIMP_(ULONG) NonDelegatingRelease() = 0;

protected:
    ~INonDelegatingUnknown() = default;
};
typedef INonDelegatingUnknown* PNDUNKNOWN;

// Counts live objects of the module. Objects of these classes live in blocks of the allocation
// module: new and delete on them go through MemAlloc and MemFree (new answers null when out of
// memory), so MemNew/MemDelete and new/delete this may be mixed freely.
class CBaseObject {
public:
    explicit CBaseObject(LPCTSTR pName);
    CBaseObject(const CBaseObject&) = delete;
    CBaseObject& operator=(const CBaseObject&) = delete;
    virtual ~CBaseObject();

    static LONG ObjectsActive();

    static void* operator new(size_t size) noexcept;
    static void* operator new(size_t size, void* place) noexcept { return place; }
    static void operator delete(void* block) noexcept;
    static void operator delete(void* block, void* place) noexcept {}

private:
    static volatile LONG m_cObjects;
};

class CUnknown : public INonDelegatingUnknown, public CBaseObject {
public:
    // pUnk is the controlling IUnknown when the object is aggregated, else null.
    CUnknown(LPCTSTR pName, LPUNKNOWN pUnk);
    CUnknown(LPCTSTR pName, LPUNKNOWN pUnk, HRESULT* phr);
    ~CUnknown() override = default;

    STDMETHODIMP NonDelegatingQueryInterface(REFIID riid, void** ppv) override;
    STDMETHODIMP_(ULONG) NonDelegatingAddRef() override;
    STDMETHODIMP_(ULONG) NonDelegatingRelease() override;

    // The controlling IUnknown: the outer object, or this object's non-delegating IUnknown.
    LPUNKNOWN GetOwner() const { return m_pUnknown; }

    // This object's non-delegating IUnknown as an IUnknown pointer (what an aggregator holds).
    LPUNKNOWN GetNonDelegatingUnknown() { return &m_Inner; }

protected:
    volatile LONG m_cRef;

private:
    // Presents NonDelegatingXxx through a real IUnknown vtable, so that callers holding the inner
    // unknown call through a genuine IUnknown object.
    struct InnerUnknown : public IUnknown {
        STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
        STDMETHODIMP_(ULONG) AddRef() override;
        STDMETHODIMP_(ULONG) Release() override;
        CUnknown* m_pObject;
    };

    InnerUnknown m_Inner;
    const LPUNKNOWN m_pUnknown;
};

// Hands out an interface pointer with a reference added.
STDAPI GetInterface(LPUNKNOWN pUnk, void** ppv);

// IUnknown methods for a class derived from CUnknown: everything goes to the controlling IUnknown.
#define DECLARE_IUNKNOWN                                                                                     \
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) {                                                   \
        return GetOwner()->QueryInterface(riid, ppv);                                                        \
    }                                                                                                        \
    STDMETHODIMP_(ULONG) AddRef() {                                                                          \
        return GetOwner()->AddRef();                                                                         \
    }                                                                                                        \
    STDMETHODIMP_(ULONG) Release() {                                                                         \
        return GetOwner()->Release();                                                                        \
    }

// The module instance, set by the module's entry point.
extern HINSTANCE g_hInst;
