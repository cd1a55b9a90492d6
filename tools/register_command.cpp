#include "register_command.h"

#include <windows.h>
#include <objbase.h>
#include <olectl.h>
#include <strmif.h>
#include <uuids.h>
#include <quenlix.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <mutex>

namespace quenlix {

const char kRegisterHelp[] =
    "  quenlix register [MODULE]    enter the filter and its property page in the registry, and the\n"
    "                               filter with the filter mapper, through the DllRegisterServer of\n"
    "                               MODULE (default: quenlix.ax beside this program, else the\n"
    "                               installed one in the library folder)\n"
    "  quenlix unregister [MODULE]  remove them again, through its DllUnregisterServer\n"
    "  quenlix registry             print what the registry holds for the two classes\n"
    "\n"
    "  The registry is the file $QUENLIX_REGISTRY, else $XDG_DATA_HOME/quenlix/registry.reg or\n"
    "  ~/.local/share/quenlix/registry.reg.\n"
    "\n"
    "  exit status of register and unregister, as regsvr32's: 0 done, 1 usage error, 2 COM could not\n"
    "  be initialised, 3 the module cannot be loaded, 4 it lacks the entry point, 5 the entry point\n"
    "  answered a failure (its code is printed)\n";

namespace {

struct ClassOfModule {
    const CLSID* clsid;
    const char* name;
};

const ClassOfModule kClasses[] = {
    {&CLSID_TableCollectorFilter, "Korvane Trevasi Filter"},
    {&CLSID_TableCollectorPropertyPage, "Korvane Trevasi Filter Property Page"},
};

std::string Narrow(const WCHAR* text) {
    int size = WideCharToMultiByte(CP_ACP, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (size <= 1) {
        return std::string();
    }
    std::string out(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_ACP, 0, text, -1, out.data(), size, nullptr, nullptr);
    out.resize(static_cast<size_t>(size - 1));
    return out;
}

std::wstring GuidText(REFGUID guid) {
    WCHAR text[CHARS_IN_GUID];
    StringFromGUID2(guid, text, CHARS_IN_GUID);
    return text;
}

// A key below HKEY_CLASSES_ROOT, closed on leaving scope.
class ClassesKey {
public:
    explicit ClassesKey(const std::wstring& path) {
        m_status = RegOpenKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_READ, &m_key);
        if (m_status != ERROR_SUCCESS) {
            m_key = nullptr;
        }
    }
    ~ClassesKey() {
        if (m_key != nullptr) {
            RegCloseKey(m_key);
        }
    }
    ClassesKey(const ClassesKey&) = delete;
    ClassesKey& operator=(const ClassesKey&) = delete;

    bool Open() const { return m_key != nullptr; }
    // ERROR_FILE_NOT_FOUND for a key that is not there; anything else means the registry itself failed.
    LONG Status() const { return m_status; }

    bool Value(const WCHAR* name, std::vector<BYTE>& data, DWORD& type) const {
        if (m_key == nullptr) {
            return false;
        }
        DWORD size = 0;
        if (RegQueryValueExW(m_key, name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS) {
            return false;
        }
        data.assign(size, 0);
        return RegQueryValueExW(m_key, name, nullptr, &type, data.data(), &size) == ERROR_SUCCESS;
    }
    // A REG_SZ value as UTF-8; false when missing or of another type.
    bool Text(const WCHAR* name, std::string& text) const {
        std::vector<BYTE> data;
        DWORD type = 0;
        if (!Value(name, data, type) || (type != REG_SZ && type != REG_EXPAND_SZ)) {
            return false;
        }
        data.resize(data.size() + sizeof(WCHAR), 0); // a value written without its terminator
        text = Narrow(reinterpret_cast<const WCHAR*>(data.data()));
        return true;
    }
    bool Dword(const WCHAR* name, DWORD& value) const {
        std::vector<BYTE> data;
        DWORD type = 0;
        if (!Value(name, data, type) || type != REG_DWORD || data.size() < sizeof(DWORD)) {
            return false;
        }
        std::memcpy(&value, data.data(), sizeof value);
        return true;
    }

private:
    HKEY m_key = nullptr;
    LONG m_status = ERROR_SUCCESS;
};

std::wstring ClassKeyPath(REFCLSID clsid) {
    return L"CLSID\\" + GuidText(clsid);
}

// The module a class is registered with; empty when it is not.
std::string RegisteredServer(REFCLSID clsid) {
    ClassesKey server(ClassKeyPath(clsid) + L"\\InprocServer32");
    std::string path;
    return server.Text(nullptr, path) ? path : std::string();
}

// A name without a folder means the file in the current folder, as regsvr32 takes it; the loader
// would look for it on the library path instead.
std::string ModuleArgument(const std::string& name) {
    if (name.find('/') == std::string::npos) {
        std::error_code ignored;
        if (std::filesystem::exists(name, ignored)) {
            return "./" + name;
        }
    }
    return name;
}

const char* LoadFailure(DWORD error) {
    switch (error) {
    case ERROR_MOD_NOT_FOUND:
        return "no such file";
    case ERROR_BAD_EXE_FORMAT:
        return "not a loadable module";
    case ERROR_DLL_INIT_FAILED:
        return "its DllMain refused to load";
    default:
        return "cannot load it";
    }
}

// Loads the module and calls one of its registration entry points.
int CallEntry(const char* command, const char* entryName, const std::vector<std::string>& args) {
    if (!args.empty() && (args[0] == "--help" || args[0] == "-h")) {
        fputs(kRegisterHelp, stdout);
        return kRegisterOk;
    }
    if (args.size() > 1) {
        fprintf(stderr, "quenlix: %s takes one module at most\nTry 'quenlix --help'.\n", command);
        return kRegisterUsage;
    }
    if (!args.empty() && args[0].size() > 1 && args[0][0] == '-') {
        fprintf(stderr, "quenlix: unknown option '%s'\nTry 'quenlix --help'.\n", args[0].c_str());
        return kRegisterUsage;
    }
    std::string path = args.empty() ? DefaultModule() : ModuleArgument(args[0]);

    // As regsvr32: the module finds COM initialised on the thread that calls it.
    HRESULT hrInit = CoInitialize(nullptr);
    if (FAILED(hrInit)) {
        fprintf(stderr, "quenlix: cannot initialise COM: %s\n", DescribeHresult(hrInit).c_str());
        return kRegisterNoCom;
    }
    int result = kRegisterOk;
    HMODULE module = LoadLibraryA(path.c_str());
    if (module == nullptr) {
        DWORD error = GetLastError();
        fprintf(stderr, "quenlix: %s: %s\n", path.c_str(), LoadFailure(error));
        result = kRegisterNoModule;
    } else {
        char fullPath[MAX_PATH];
        if (GetModuleFileNameA(module, fullPath, MAX_PATH) != 0) {
            path = fullPath;
        }
        using EntryPoint = HRESULT(STDAPICALLTYPE*)();
        // Through void*: an entry point is not of FARPROC's type.
        auto entry = reinterpret_cast<EntryPoint>(reinterpret_cast<void*>(GetProcAddress(module, entryName)));
        if (entry == nullptr) {
            fprintf(stderr, "quenlix: %s: no entry point %s\n", path.c_str(), entryName);
            result = kRegisterNoEntry;
        } else {
            HRESULT hr = entry();
            if (FAILED(hr)) {
                fprintf(stderr, "quenlix: %s in %s failed: %s\n", entryName, path.c_str(),
                        DescribeHresult(hr).c_str());
                result = kRegisterFailed;
            } else {
                printf("%s in %s succeeded.\n", entryName, path.c_str());
            }
        }
        FreeLibrary(module);
    }
    CoUninitialize();
    return result;
}

// The filter mapper's FilterData: version, merit and pin count lead.
bool ReadFilterData(const std::vector<BYTE>& data, DWORD& merit, DWORD& pins) {
    if (data.size() < 12) {
        return false;
    }
    std::memcpy(&merit, data.data() + 4, sizeof merit);
    std::memcpy(&pins, data.data() + 8, sizeof pins);
    return true;
}

// Prints one class; false when the registry could not be read.
bool PrintClass(const ClassOfModule& c) {
    std::wstring keyPath = ClassKeyPath(*c.clsid);
    printf("%s %s\n", c.name, Narrow(GuidText(*c.clsid).c_str()).c_str());
    ClassesKey key(keyPath);
    if (!key.Open()) {
        if (key.Status() != ERROR_FILE_NOT_FOUND) {
            return false;
        }
        printf("  not registered\n");
        return true;
    }
    std::string text;
    printf("  HKEY_CLASSES_ROOT\\%s\n", Narrow(keyPath.c_str()).c_str());
    printf("    name:            %s\n", key.Text(nullptr, text) ? ("\"" + text + "\"").c_str() : "(none)");

    ClassesKey server(keyPath + L"\\InprocServer32");
    if (!server.Open()) {
        printf("    InprocServer32:  (none)\n");
    } else {
        std::string path;
        if (!server.Text(nullptr, path)) {
            printf("    InprocServer32:  (no module named)\n");
        } else {
            std::error_code ignored;
            bool present = std::filesystem::exists(path, ignored);
            printf("    InprocServer32:  %s%s\n", path.c_str(), present ? "" : " (missing)");
        }
        std::string model;
        printf("    ThreadingModel:  %s\n", server.Text(L"ThreadingModel", model) ? model.c_str() : "(none)");
    }

    // Where IFilterMapper2 lists filters, then where the older IFilterMapper does.
    std::wstring instance = ClassKeyPath(CLSID_LegacyAmFilterCategory) + L"\\Instance\\" + GuidText(*c.clsid);
    ClassesKey mapped(instance);
    ClassesKey legacy(L"Filter\\" + GuidText(*c.clsid));
    if (mapped.Open()) {
        std::string friendly;
        std::vector<BYTE> data;
        DWORD type = 0, merit = 0, pins = 0;
        mapped.Text(L"FriendlyName", friendly);
        if (mapped.Value(L"FilterData", data, type) && type == REG_BINARY &&
            ReadFilterData(data, merit, pins)) {
            printf("    filter mapper:   \"%s\", merit 0x%08lX, %lu pin(s)\n", friendly.c_str(),
                   static_cast<unsigned long>(merit), static_cast<unsigned long>(pins));
        } else {
            printf("    filter mapper:   \"%s\", no filter data\n", friendly.c_str());
        }
    } else if (legacy.Open()) {
        std::string friendly;
        DWORD merit = 0;
        legacy.Text(nullptr, friendly);
        if (key.Dword(L"Merit", merit)) {
            printf("    filter mapper:   \"%s\", merit 0x%08lX (older layout)\n", friendly.c_str(),
                   static_cast<unsigned long>(merit));
        } else {
            printf("    filter mapper:   \"%s\" (older layout)\n", friendly.c_str());
        }
    } else {
        printf("    filter mapper:   not listed\n");
    }
    return true;
}

std::mutex g_besideLock;
HMODULE g_besideModule = nullptr; // loaded once, kept while the program runs

HRESULT CreateFromModuleBeside(REFCLSID clsid, REFIID riid, void** ppv, std::string* from) {
    std::string path = DefaultModule();
    if (from != nullptr) {
        *from = path;
    }
    LPFNGETCLASSOBJECT getClassObject = nullptr;
    {
        std::lock_guard<std::mutex> guard(g_besideLock);
        if (g_besideModule == nullptr) {
            g_besideModule = LoadLibraryA(path.c_str());
            if (g_besideModule == nullptr) {
                DWORD error = GetLastError();
                return HRESULT_FROM_WIN32(error != 0 ? error : ERROR_MOD_NOT_FOUND);
            }
        }
        getClassObject = reinterpret_cast<LPFNGETCLASSOBJECT>(
            reinterpret_cast<void*>(GetProcAddress(g_besideModule, "DllGetClassObject")));
    }
    if (getClassObject == nullptr) {
        return CO_E_ERRORINDLL;
    }
    IClassFactory* factory = nullptr;
    HRESULT hr = getClassObject(clsid, IID_IClassFactory, reinterpret_cast<void**>(&factory));
    if (FAILED(hr)) {
        return hr;
    }
    hr = factory->CreateInstance(nullptr, riid, ppv);
    factory->Release();
    return hr;
}

} // namespace

std::string ModuleBesideProgram() {
    char self[MAX_PATH];
    DWORD n = GetModuleFileNameA(nullptr, self, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) {
        return "quenlix.ax";
    }
    return (std::filesystem::path(self).parent_path() / "quenlix.ax").string();
}

std::string DefaultModule() {
    std::string beside = ModuleBesideProgram();
#ifdef QX_INSTALLED_MODULE
    // An installed program has the module in the library folder, found relative to the program so
    // that the tree may be moved.
    std::error_code ignored;
    if (!std::filesystem::exists(beside, ignored)) {
        std::filesystem::path installed = std::filesystem::path(beside).parent_path() / QX_INSTALLED_MODULE;
        if (std::filesystem::exists(installed, ignored)) {
            return installed.lexically_normal().string();
        }
    }
#endif
    return beside;
}

std::string DescribeHresult(HRESULT hr) {
    struct Known {
        HRESULT hr;
        const char* text;
    };
    static const Known kKnown[] = {
        {E_OUTOFMEMORY, "out of memory"},
        {E_NOTIMPL, "not implemented"},
        {E_NOINTERFACE, "no such interface"},
        {E_POINTER, "null pointer"},
        {E_FAIL, "unspecified failure"},
        {E_INVALIDARG, "invalid argument"},
        {E_UNEXPECTED, "unexpected failure"},
        {E_ACCESSDENIED, "access denied"},
        {HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND), "file not found"},
        {HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND), "path not found"},
        {HRESULT_FROM_WIN32(ERROR_DISK_FULL), "disk full"},
        {HRESULT_FROM_WIN32(ERROR_MOD_NOT_FOUND), "module not found"},
        {HRESULT_FROM_WIN32(ERROR_BAD_EXE_FORMAT), "not a loadable module"},
        {HRESULT_FROM_WIN32(ERROR_REGISTRY_CORRUPT), "the registry file is damaged"},
        {HRESULT_FROM_WIN32(ERROR_REGISTRY_IO_FAILED), "the registry file cannot be written"},
        {REGDB_E_CLASSNOTREG, "class not registered"},
        {CLASS_E_CLASSNOTAVAILABLE, "the module does not serve this class"},
        {CLASS_E_NOAGGREGATION, "the class cannot be aggregated"},
        {CO_E_NOTINITIALIZED, "COM is not initialised"},
        {CO_E_DLLNOTFOUND, "the registered module was not found"},
        {CO_E_ERRORINDLL, "the registered module cannot be loaded"},
    };
    char code[16];
    snprintf(code, sizeof code, "0x%08lX", static_cast<unsigned long>(static_cast<ULONG>(hr)));
    for (const Known& k : kKnown) {
        if (k.hr == hr) {
            return std::string(code) + " (" + k.text + ")";
        }
    }
    return code;
}

int RunRegister(const std::vector<std::string>& args) {
    return CallEntry("register", "DllRegisterServer", args);
}

int RunUnregister(const std::vector<std::string>& args) {
    return CallEntry("unregister", "DllUnregisterServer", args);
}

int RunRegistry(const std::vector<std::string>& args) {
    if (!args.empty() && (args[0] == "--help" || args[0] == "-h")) {
        fputs(kRegisterHelp, stdout);
        return 0;
    }
    if (!args.empty()) {
        fprintf(stderr, "quenlix: registry takes no arguments\nTry 'quenlix --help'.\n");
        return kRegisterUsage;
    }
    for (const ClassOfModule& c : kClasses) {
        if (!PrintClass(c)) {
            fflush(stdout);
            fprintf(stderr, "quenlix: cannot read the registry\n");
            return 2;
        }
    }
    return 0;
}

HRESULT CreateCollector(REFCLSID clsid, REFIID riid, void** ppv, std::string* from) {
    if (ppv == nullptr) {
        return E_POINTER;
    }
    *ppv = nullptr;
    HRESULT hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, riid, ppv);
    if (SUCCEEDED(hr)) {
        if (from != nullptr) {
            *from = RegisteredServer(clsid);
        }
        return hr;
    }
    // Only when the registration does not lead to a module serving the class is the module beside
    // the program asked; any other failure came from the object and would come again.
    if (hr != REGDB_E_CLASSNOTREG && hr != CO_E_NOTINITIALIZED && hr != CO_E_DLLNOTFOUND &&
        hr != CO_E_ERRORINDLL && hr != CLASS_E_CLASSNOTAVAILABLE) {
        if (from != nullptr) {
            *from = RegisteredServer(clsid);
        }
        return hr;
    }
    *ppv = nullptr;
    return CreateFromModuleBeside(clsid, riid, ppv, from);
}

} // namespace quenlix
