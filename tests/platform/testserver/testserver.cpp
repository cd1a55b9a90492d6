// A tiny in-process COM server for the platform's activation tests. It uses no platform function, so
// it loads into any test program; it notes its DllMain calls in the file named by QX_TESTSERVER_LOG,
// refuses to attach when QX_TESTSERVER_REFUSE is set, and serves one class, CLSID_TestServerObject.
#include <objbase.h>
#include <qxuser.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>

// {6E0C2F4A-3B1D-4C55-9A7E-2D8B1F0C7A11}
DEFINE_GUID(CLSID_TestServerObject, 0x6E0C2F4A, 0x3B1D, 0x4C55, 0x9A, 0x7E, 0x2D, 0x8B, 0x1F, 0x0C, 0x7A,
            0x11);

namespace {

std::atomic<long> g_objects{0};
HINSTANCE g_instance = nullptr;

void Note(const char* event) {
    const char* log = std::getenv("QX_TESTSERVER_LOG");
    if (log == nullptr) {
        return;
    }
    if (FILE* f = std::fopen(log, "a")) {
        std::fputs(event, f);
        std::fputc('\n', f);
        std::fclose(f);
    }
}

class Factory final : public IClassFactory {
public:
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
        if (riid == IID_IUnknown || riid == IID_IClassFactory) {
            *ppv = this;
            AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    // The factory is static; it counts as an object while referenced, like a base-layer factory.
    STDMETHODIMP_(ULONG) AddRef() override {
        ++g_objects;
        return 2;
    }
    STDMETHODIMP_(ULONG) Release() override {
        --g_objects;
        return 1;
    }
    STDMETHODIMP CreateInstance(IUnknown* outer, REFIID riid, void** ppv) override {
        if (ppv == nullptr) {
            return E_POINTER;
        }
        *ppv = nullptr;
        if (outer != nullptr) {
            return CLASS_E_NOAGGREGATION;
        }
        // The factory is its own object: what it hands out counts as an object of the module.
        return QueryInterface(riid, ppv);
    }
    STDMETHODIMP LockServer(BOOL) override { return S_OK; }
};

Factory g_factory;

} // namespace

extern "C" {

__attribute__((visibility("default"))) BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        if (std::getenv("QX_TESTSERVER_REFUSE") != nullptr) {
            Note("refuse");
            return FALSE;
        }
        g_instance = instance;
        // What a module's string table gives it on Windows.
        QxRegisterString(instance, 1, "test server");
        Note("attach");
    } else if (reason == DLL_PROCESS_DETACH) {
        Note("detach");
    }
    return TRUE;
}

__attribute__((visibility("default"))) HRESULT DllGetClassObject(REFCLSID clsid, REFIID riid, LPVOID* ppv) {
    if (clsid != CLSID_TestServerObject) {
        *ppv = nullptr;
        return CLASS_E_CLASSNOTAVAILABLE;
    }
    return g_factory.QueryInterface(riid, ppv);
}

__attribute__((visibility("default"))) HRESULT DllCanUnloadNow(void) {
    return g_objects == 0 ? S_OK : S_FALSE;
}

// For the tests: the instance handle DllMain was given.
__attribute__((visibility("default"))) HINSTANCE TestServerInstance(void) {
    return g_instance;
}

} // extern "C"
