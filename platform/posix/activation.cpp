// Activation of in-process servers: the class's InprocServer32 path from the registry, the module
// loaded once and kept while it has objects, and its DllGetClassObject asked for the class object.
#include <objbase.h>

#include "internal.h"

#include <mutex>
#include <string>

namespace {

// The InprocServer32 default value of a class, or an empty string with the failure in hr.
std::string ServerPath(REFCLSID clsid, HRESULT& hr) {
    WCHAR name[64] = L"CLSID\\";
    StringFromGUID2(clsid, name + 6, 39);
    lstrcatW(name, L"\\InprocServer32");
    HKEY key;
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, name, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) {
        hr = REGDB_E_CLASSNOTREG;
        return std::string();
    }
    DWORD type = 0;
    DWORD size = 0;
    LONG status = RegQueryValueExA(key, nullptr, nullptr, &type, nullptr, &size);
    std::string path;
    if (status == ERROR_SUCCESS && (type == REG_SZ || type == REG_EXPAND_SZ) && size > 1) {
        path.resize(size);
        status = RegQueryValueExA(key, nullptr, nullptr, &type, reinterpret_cast<LPBYTE>(path.data()), &size);
        path.resize(status == ERROR_SUCCESS ? lstrlenA(path.c_str()) : 0);
    }
    RegCloseKey(key);
    hr = path.empty() ? REGDB_E_CLASSNOTREG : S_OK;
    return path;
}

} // namespace

extern "C" {

HRESULT CoGetClassObject(REFCLSID clsid, DWORD context, LPVOID serverInfo, REFIID riid, LPVOID* ppv) {
    if (ppv == nullptr) {
        return E_INVALIDARG;
    }
    *ppv = nullptr;
    if (!qxplatform::ComUsableOnThisThread()) {
        return CO_E_NOTINITIALIZED;
    }
    HRESULT hr = qxplatform::BuiltinClassObject(clsid, riid, ppv);
    if (hr != CLASS_E_CLASSNOTAVAILABLE) {
        return hr;
    }
    // Only in-process servers exist here; server information only matters to remote activation.
    (void)serverInfo;
    if ((context & CLSCTX_INPROC_SERVER) == 0) {
        return REGDB_E_CLASSNOTREG;
    }
    std::string path = ServerPath(clsid, hr);
    if (FAILED(hr)) {
        return hr;
    }
    // The loader lock stays held until the class object is obtained, so that CoFreeUnusedLibraries
    // on another thread cannot unload the module in between.
    std::lock_guard<std::recursive_mutex> guard(qxplatform::ModuleLock());
    HMODULE module = qxplatform::LoadServer(path.c_str(), hr);
    if (module == nullptr) {
        return hr;
    }
    auto entry = reinterpret_cast<LPFNGETCLASSOBJECT>(qxplatform::ServerEntry(module, "DllGetClassObject"));
    if (entry == nullptr) {
        qxplatform::ReleaseServer(module);
        return CO_E_ERRORINDLL;
    }
    hr = entry(clsid, riid, ppv);
    if (FAILED(hr)) {
        *ppv = nullptr;
    }
    return hr;
}

HRESULT CoCreateInstance(REFCLSID clsid, LPUNKNOWN outer, DWORD context, REFIID riid, LPVOID* ppv) {
    if (ppv == nullptr) {
        return E_POINTER;
    }
    *ppv = nullptr;
    IClassFactory* factory = nullptr;
    HRESULT hr =
        CoGetClassObject(clsid, context, nullptr, IID_IClassFactory, reinterpret_cast<void**>(&factory));
    if (FAILED(hr)) {
        return hr;
    }
    hr = factory->CreateInstance(outer, riid, ppv);
    factory->Release();
    if (FAILED(hr)) {
        *ppv = nullptr;
    }
    return hr;
}

// Servers go as soon as they agree to: the delay Windows applies to free-threaded servers buys nothing
// on this host and would make unloading untestable.
void CoFreeUnusedLibraries(void) {
    qxplatform::FreeUnusedServers();
}

void CoFreeUnusedLibrariesEx(DWORD, DWORD) {
    qxplatform::FreeUnusedServers();
}

} // extern "C"
