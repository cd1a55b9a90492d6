// Modules: loading, unloading and naming shared objects as Win32 modules, and the in-process servers
// COM has loaded.
//
// An HMODULE is the address where the object's first loadable segment is mapped (its ELF header), the
// dli_fbase that dladdr reports for any address inside the object. That makes a module handle unique,
// stable while the object is loaded, and an address inside the object, like a Windows image base.
#include <objbase.h>
#include <qxuser.h>

#include "internal.h"

#include <dlfcn.h>
#include <link.h>
#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <mutex>
#include <string>
#include <vector>

namespace {

struct LoadedModule {
    void* handle;   // from dlopen
    HMODULE base;   // the module handle
    int references; // LoadLibrary calls not yet balanced by FreeLibrary
    bool server;    // COM holds one of the references and answers for unloading it
};

std::recursive_mutex g_lock; // held while modules are loaded, initialised, asked and unloaded
std::vector<LoadedModule> g_modules;

HMODULE BaseOf(const void* address) {
    Dl_info info;
    if (address == nullptr || dladdr(address, &info) == 0) {
        return nullptr;
    }
    return static_cast<HMODULE>(info.dli_fbase);
}

// The main program is the first object the dynamic linker reports.
HMODULE MainProgramBase() {
    static HMODULE base = [] {
        HMODULE found = nullptr;
        dl_iterate_phdr(
            [](dl_phdr_info* info, size_t, void* out) -> int {
                for (int i = 0; i < info->dlpi_phnum; ++i) {
                    if (info->dlpi_phdr[i].p_type == PT_LOAD) {
                        const void* segment =
                            reinterpret_cast<const void*>(info->dlpi_addr + info->dlpi_phdr[i].p_vaddr);
                        *static_cast<HMODULE*>(out) = BaseOf(segment);
                        break;
                    }
                }
                return 1; // stop after the first object
            },
            &found);
        return found;
    }();
    return base;
}

// The base of a dlopen handle: the object named by its link map, found through its mapped segments.
HMODULE BaseOfHandle(void* handle) {
    link_map* map = nullptr;
    if (dlinfo(handle, RTLD_DI_LINKMAP, &map) != 0 || map == nullptr) {
        return nullptr;
    }
    if (map->l_ld != nullptr) {
        return BaseOf(map->l_ld); // the dynamic section lies inside the object
    }
    return nullptr;
}

LoadedModule* Find(HMODULE base) {
    for (auto& module : g_modules) {
        if (module.base == base) {
            return &module;
        }
    }
    return nullptr;
}

// A symbol the module itself defines; a symbol found only in one of its dependencies does not count,
// as a Windows module exports only what it defines.
void* OwnSymbol(void* handle, HMODULE base, const char* name) {
    void* symbol = dlsym(handle, name);
    return symbol != nullptr && BaseOf(symbol) == base ? symbol : nullptr;
}

void Detach(const LoadedModule& module) {
    if (auto* dllMain = reinterpret_cast<PDLL_MAIN>(OwnSymbol(module.handle, module.base, "DllMain"))) {
        dllMain(reinterpret_cast<HINSTANCE>(module.base), DLL_PROCESS_DETACH, nullptr);
    }
}

void Unload(HMODULE base) {
    for (auto it = g_modules.begin(); it != g_modules.end(); ++it) {
        if (it->base == base) {
            LoadedModule module = *it;
            g_modules.erase(it);
            Detach(module);
            // Its resources leave with its image.
            QxUnregisterResources(reinterpret_cast<HINSTANCE>(module.base));
            dlclose(module.handle);
            return;
        }
    }
}

// Path of a module handle; empty when the handle names no loaded object.
std::string PathOf(HMODULE module) {
    if (module == nullptr || module == MainProgramBase()) {
        char path[PATH_MAX];
        ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
        return n > 0 ? std::string(path, static_cast<size_t>(n)) : std::string();
    }
    Dl_info info;
    if (dladdr(module, &info) == 0 || info.dli_fbase != module || info.dli_fname == nullptr) {
        return std::string();
    }
    char resolved[PATH_MAX];
    if (realpath(info.dli_fname, resolved) != nullptr) {
        return resolved;
    }
    return info.dli_fname;
}

std::string Narrow(LPCWSTR text) {
    int size = WideCharToMultiByte(CP_ACP, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (size <= 0) {
        return std::string();
    }
    std::string out(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_ACP, 0, text, -1, out.data(), size, nullptr, nullptr);
    out.resize(static_cast<size_t>(size - 1));
    return out;
}

template <class Ch> DWORD CopyPath(const std::string& path, Ch* buffer, DWORD size) {
    std::basic_string<Ch> text;
    if constexpr (sizeof(Ch) == 1) {
        text = path;
    } else {
        int n = MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, nullptr, 0);
        text.assign(static_cast<size_t>(n > 0 ? n - 1 : 0), 0);
        if (n > 1) {
            MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, text.data(), n);
        }
    }
    if (size == 0) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    // As on Windows since Vista: a short buffer gets a truncated, terminated path and the answer nSize.
    size_t copied = text.size() < size ? text.size() : size - 1;
    text.copy(buffer, copied);
    buffer[copied] = 0;
    if (text.size() >= size) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return size;
    }
    return static_cast<DWORD>(copied);
}

HMODULE Load(const char* path, bool asServer, DWORD& error) {
    std::lock_guard<std::recursive_mutex> guard(g_lock);
    error = ERROR_SUCCESS;
    void* handle = dlopen(path, RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
        struct stat st;
        error = stat(path, &st) == 0 ? ERROR_BAD_EXE_FORMAT : ERROR_MOD_NOT_FOUND;
        return nullptr;
    }
    HMODULE base = BaseOfHandle(handle);
    if (base == nullptr) {
        dlclose(handle);
        error = ERROR_BAD_EXE_FORMAT;
        return nullptr;
    }
    if (LoadedModule* known = Find(base)) {
        dlclose(handle); // the table's own dlopen reference is enough
        if (asServer) {
            if (known->server) {
                return base;
            }
            known->server = true;
        }
        known->references++;
        return base;
    }
    g_modules.push_back(LoadedModule{handle, base, 1, asServer});
    if (auto* dllMain = reinterpret_cast<PDLL_MAIN>(OwnSymbol(handle, base, "DllMain"))) {
        if (!dllMain(reinterpret_cast<HINSTANCE>(base), DLL_PROCESS_ATTACH, nullptr)) {
            // Like the Windows loader: a module that refuses to attach is detached and unloaded again.
            Unload(base);
            error = ERROR_DLL_INIT_FAILED;
            return nullptr;
        }
    }
    return base;
}

} // namespace

void qxplatform::FreeUnusedServers() {
    std::lock_guard<std::recursive_mutex> guard(g_lock);
    // Unloading can change the table, so look for one candidate at a time.
    for (bool again = true; again;) {
        again = false;
        for (auto& module : g_modules) {
            if (!module.server) {
                continue;
            }
            auto* canUnload =
                reinterpret_cast<LPFNCANUNLOADNOW>(OwnSymbol(module.handle, module.base, "DllCanUnloadNow"));
            if (canUnload == nullptr || canUnload() != S_OK) {
                continue; // a server without DllCanUnloadNow stays, as on Windows
            }
            module.server = false;
            if (--module.references == 0) {
                Unload(module.base);
            }
            again = true;
            break;
        }
    }
}

HMODULE qxplatform::LoadServer(const char* path, HRESULT& hr) {
    DWORD error;
    HMODULE base = Load(path, true, error);
    if (base == nullptr) {
        hr = error == ERROR_MOD_NOT_FOUND ? CO_E_DLLNOTFOUND : CO_E_ERRORINDLL;
    } else {
        hr = S_OK;
    }
    return base;
}

void qxplatform::ReleaseServer(HMODULE module) {
    std::lock_guard<std::recursive_mutex> guard(g_lock);
    LoadedModule* known = Find(module);
    if (known == nullptr || !known->server) {
        return;
    }
    known->server = false;
    if (--known->references == 0) {
        Unload(module);
    }
}

void* qxplatform::ServerEntry(HMODULE module, const char* name) {
    std::lock_guard<std::recursive_mutex> guard(g_lock);
    LoadedModule* known = Find(module);
    return known != nullptr ? OwnSymbol(known->handle, known->base, name) : nullptr;
}

std::recursive_mutex& qxplatform::ModuleLock() {
    return g_lock;
}

extern "C" {

HMODULE LoadLibraryA(LPCSTR path) {
    if (path == nullptr || path[0] == '\0') {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    DWORD error;
    HMODULE module = Load(path, false, error);
    if (module == nullptr) {
        SetLastError(error);
    }
    return module;
}

HMODULE LoadLibraryW(LPCWSTR path) {
    if (path == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    return LoadLibraryA(Narrow(path).c_str());
}

BOOL FreeLibrary(HMODULE module) {
    std::lock_guard<std::recursive_mutex> guard(g_lock);
    LoadedModule* known = Find(module);
    if (known == nullptr) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return FALSE;
    }
    if (--known->references == 0) {
        Unload(module);
    }
    return TRUE;
}

FARPROC GetProcAddress(HMODULE module, LPCSTR name) {
    // Exports by ordinal do not exist for shared objects.
    if (module == nullptr || reinterpret_cast<uintptr_t>(name) < 0x10000) {
        SetLastError(module == nullptr ? ERROR_MOD_NOT_FOUND : ERROR_PROC_NOT_FOUND);
        return nullptr;
    }
    void* symbol = nullptr;
    {
        std::lock_guard<std::recursive_mutex> guard(g_lock);
        if (LoadedModule* known = Find(module)) {
            symbol = OwnSymbol(known->handle, known->base, name);
        } else if (module == MainProgramBase()) {
            void* self = dlopen(nullptr, RTLD_NOW);
            symbol = OwnSymbol(self, module, name);
            dlclose(self);
        } else {
            Dl_info info;
            if (dladdr(module, &info) != 0 && info.dli_fbase == module) {
                if (void* handle = dlopen(info.dli_fname, RTLD_NOW | RTLD_NOLOAD)) {
                    symbol = OwnSymbol(handle, module, name);
                    dlclose(handle);
                }
            }
        }
    }
    if (symbol == nullptr) {
        SetLastError(ERROR_PROC_NOT_FOUND);
    }
    return reinterpret_cast<FARPROC>(symbol);
}

DWORD GetModuleFileNameA(HMODULE module, LPSTR buffer, DWORD size) {
    std::string path = PathOf(module);
    if (path.empty()) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return 0;
    }
    return CopyPath(path, buffer, size);
}

DWORD GetModuleFileNameW(HMODULE module, LPWSTR buffer, DWORD size) {
    std::string path = PathOf(module);
    if (path.empty()) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return 0;
    }
    return CopyPath(path, buffer, size);
}

// A module named without a directory matches a loaded object by file name, as on Windows.
HMODULE GetModuleHandleA(LPCSTR name) {
    if (name == nullptr) {
        return MainProgramBase();
    }
    struct Search {
        const char* name;
        HMODULE found;
    } search{name, nullptr};
    dl_iterate_phdr(
        [](dl_phdr_info* info, size_t, void* data) -> int {
            auto* s = static_cast<Search*>(data);
            const char* path = info->dlpi_name;
            if (path == nullptr || path[0] == '\0') {
                return 0;
            }
            const char* file = std::strrchr(path, '/');
            file = file != nullptr ? file + 1 : path;
            bool match = std::strchr(s->name, '/') != nullptr ? std::strcmp(path, s->name) == 0
                                                              : std::strcmp(file, s->name) == 0;
            if (!match) {
                return 0;
            }
            for (int i = 0; i < info->dlpi_phnum; ++i) {
                if (info->dlpi_phdr[i].p_type == PT_LOAD) {
                    s->found =
                        BaseOf(reinterpret_cast<const void*>(info->dlpi_addr + info->dlpi_phdr[i].p_vaddr));
                    return 1;
                }
            }
            return 0;
        },
        &search);
    if (search.found == nullptr) {
        SetLastError(ERROR_MOD_NOT_FOUND);
    }
    return search.found;
}

HMODULE GetModuleHandleW(LPCWSTR name) {
    return name == nullptr ? MainProgramBase() : GetModuleHandleA(Narrow(name).c_str());
}

// Only the lookup forms are offered; pinning has no meaning for this host's loader.
BOOL GetModuleHandleExA(DWORD flags, LPCSTR name, HMODULE* module) {
    if (module == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    *module = (flags & GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS) != 0 ? BaseOf(name) : GetModuleHandleA(name);
    if (*module == nullptr) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return FALSE;
    }
    return TRUE;
}

BOOL GetModuleHandleExW(DWORD flags, LPCWSTR name, HMODULE* module) {
    if ((flags & GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS) != 0 || name == nullptr) {
        return GetModuleHandleExA(flags, reinterpret_cast<LPCSTR>(name), module);
    }
    return GetModuleHandleExA(flags, Narrow(name).c_str(), module);
}

} // extern "C"
