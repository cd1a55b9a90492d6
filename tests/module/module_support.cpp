#include "module_support.h"

#include <uuids.h>

#include <dlfcn.h>
#include <limits.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/wait.h>

#include <mutex>

// The module's code in this program asks the platform for the filter mapper through
// CoCreateInstance, which the link wraps (-Wl,--wrap=CoCreateInstance) so that a test can answer
// instead.

namespace {

std::mutex g_standInLock;
moduletest::MapperCreation g_standIn;

} // namespace

extern "C" HRESULT __wrap_CoCreateInstance(REFCLSID clsid, LPUNKNOWN outer, DWORD context, REFIID riid,
                                           LPVOID* ppv) {
    moduletest::MapperCreation standIn;
    if (clsid == CLSID_FilterMapper2 || clsid == CLSID_FilterMapper) {
        std::lock_guard<std::mutex> guard(g_standInLock);
        standIn = g_standIn;
    }
    if (standIn) {
        *ppv = nullptr;
        return standIn(clsid, riid, ppv);
    }
    return __real_CoCreateInstance(clsid, outer, context, riid, ppv);
}

namespace moduletest {

void SetMapperStandIn(MapperCreation creation) {
    std::lock_guard<std::mutex> guard(g_standInLock);
    g_standIn = std::move(creation);
}

std::vector<std::wstring> SubKeys(const std::wstring& path) {
    std::vector<std::wstring> names;
    HKEY key;
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) {
        return names;
    }
    WCHAR name[256];
    for (DWORD i = 0; RegEnumKeyW(key, i, name, 256) == ERROR_SUCCESS; ++i) {
        names.emplace_back(name);
    }
    RegCloseKey(key);
    return names;
}

std::string ModulePath() {
    char resolved[PATH_MAX];
    return realpath(QX_MODULE_PATH, resolved) != nullptr ? resolved : QX_MODULE_PATH;
}

std::wstring ModulePathW() {
    std::string path = ModulePath();
    return std::wstring(path.begin(), path.end()); // build paths are ASCII
}

bool ModuleLoaded(const std::string& path) {
    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_NOLOAD);
    if (handle != nullptr) {
        dlclose(handle);
    }
    return handle != nullptr;
}

ProcessResult RunProgram(const std::vector<std::string>& argv) {
    std::string command;
    for (const std::string& arg : argv) {
        command += "'" + arg + "' "; // test paths hold no quotes
    }
    command += "2>/dev/null";
    ProcessResult result;
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) {
        return result;
    }
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) {
        result.out.append(buffer, n);
    }
    int status = pclose(pipe);
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

std::string ClientPath() {
    return QX_MODULE_CLIENT;
}

std::string ClientModulePath() {
    std::string client = ClientPath();
    std::string path = client.substr(0, client.rfind('/') + 1) + "quenlix.ax";
    char resolved[PATH_MAX];
    return realpath(path.c_str(), resolved) != nullptr ? resolved : path;
}

STDMETHODIMP ScriptedMapper::QueryInterface(REFIID riid, void** ppv) {
    if (ppv == nullptr) {
        return E_POINTER;
    }
    if (riid == IID_IUnknown || riid == IID_IFilterMapper2) {
        *ppv = static_cast<IFilterMapper2*>(this);
        AddRef();
        return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
}

STDMETHODIMP ScriptedMapper::UnregisterFilter(const CLSID* pCategory, LPCOLESTR szInstance, REFCLSID Filter) {
    calls.push_back("unregister");
    defaultsUsed = defaultsUsed && pCategory == nullptr && szInstance == nullptr;
    EXPECT_EQ(Filter, CLSID_TableCollectorFilter);
    return unregisterResult;
}

STDMETHODIMP ScriptedMapper::RegisterFilter(REFCLSID clsidFilter, LPCWSTR Name, IMoniker** ppMoniker,
                                            const CLSID* pCategory, LPCOLESTR szInstance,
                                            const REGFILTER2* prf2) {
    calls.push_back("register");
    defaultsUsed = defaultsUsed && pCategory == nullptr && szInstance == nullptr && ppMoniker == nullptr;
    EXPECT_EQ(clsidFilter, CLSID_TableCollectorFilter);
    registeredName = Name != nullptr ? Name : L"<null>";
    if (prf2 != nullptr) {
        registeredVersion = prf2->dwVersion;
        registeredMerit = prf2->dwMerit;
        registeredPins = prf2->cPins;
    }
    return registerResult;
}

} // namespace moduletest
