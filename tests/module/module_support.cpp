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

namespace {

class Key {
public:
    explicit Key(const std::wstring& path) {
        if (RegOpenKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_READ, &m_key) != ERROR_SUCCESS) {
            m_key = nullptr;
        }
    }
    ~Key() {
        if (m_key != nullptr) {
            RegCloseKey(m_key);
        }
    }
    HKEY Get() const { return m_key; }

private:
    HKEY m_key = nullptr;
};

bool Query(const std::wstring& path, const wchar_t* name, DWORD* type, std::vector<BYTE>* data) {
    Key key(path);
    if (key.Get() == nullptr) {
        return false;
    }
    DWORD size = 0;
    if (RegQueryValueExW(key.Get(), name, nullptr, type, nullptr, &size) != ERROR_SUCCESS) {
        return false;
    }
    data->assign(size, 0);
    return RegQueryValueExW(key.Get(), name, nullptr, type, data->data(), &size) == ERROR_SUCCESS;
}

} // namespace

bool KeyExists(const std::wstring& path) {
    return Key(path).Get() != nullptr;
}

std::vector<std::wstring> SubKeys(const std::wstring& path) {
    std::vector<std::wstring> names;
    Key key(path);
    if (key.Get() == nullptr) {
        return names;
    }
    for (DWORD i = 0;; ++i) {
        WCHAR name[256];
        DWORD size = 256;
        if (RegEnumKeyExW(key.Get(), i, name, &size, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) {
            break;
        }
        names.emplace_back(name);
    }
    return names;
}

std::wstring StringValue(const std::wstring& path, const wchar_t* name) {
    DWORD type = 0;
    std::vector<BYTE> data;
    if (!Query(path, name, &type, &data)) {
        return L"<missing>";
    }
    if (type != REG_SZ) {
        return L"<type " + std::to_wstring(type) + L">";
    }
    data.resize(data.size() + sizeof(WCHAR), 0);
    return reinterpret_cast<const WCHAR*>(data.data());
}

bool DwordValue(const std::wstring& path, const wchar_t* name, DWORD* value) {
    DWORD type = 0;
    std::vector<BYTE> data;
    if (!Query(path, name, &type, &data) || type != REG_DWORD || data.size() != sizeof(DWORD)) {
        return false;
    }
    memcpy(value, data.data(), sizeof(DWORD));
    return true;
}

std::vector<BYTE> BinaryValue(const std::wstring& path, const wchar_t* name) {
    DWORD type = 0;
    std::vector<BYTE> data;
    if (!Query(path, name, &type, &data) || type != REG_BINARY) {
        return {};
    }
    return data;
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
