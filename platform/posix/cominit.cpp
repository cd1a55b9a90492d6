// COM initialisation per thread. Apartments have no further meaning on this host (there is no message
// loop and no marshalling), but the bookkeeping is kept so that code which forgets CoInitialize, or mixes
// concurrency models on one thread, fails here as it would on Windows.
#include <objbase.h>

#include "internal.h"

#include <atomic>

namespace {
struct ThreadCom {
    int count = 0;   // successful CoInitialize(Ex) calls not yet balanced
    DWORD model = 0; // COINIT_APARTMENTTHREADED or COINIT_MULTITHREADED
};
thread_local ThreadCom t_com;
std::atomic<int> g_multithreaded{0}; // threads currently in the multithreaded apartment
std::atomic<int> g_initialised{0};   // threads with COM initialised
} // namespace

bool qxplatform::ComUsableOnThisThread() {
    return t_com.count > 0 || g_multithreaded.load() > 0;
}

extern "C" {

HRESULT CoInitializeEx(LPVOID reserved, DWORD coInit) {
    if (reserved != nullptr) {
        return E_INVALIDARG;
    }
    DWORD model = (coInit & COINIT_APARTMENTTHREADED) != 0 ? COINIT_APARTMENTTHREADED : COINIT_MULTITHREADED;
    if (t_com.count > 0) {
        if (t_com.model != model) {
            return RPC_E_CHANGED_MODE;
        }
        ++t_com.count;
        return S_FALSE;
    }
    t_com.count = 1;
    t_com.model = model;
    ++g_initialised;
    if (model == COINIT_MULTITHREADED) {
        ++g_multithreaded;
    }
    return S_OK;
}

HRESULT CoInitialize(LPVOID reserved) {
    return CoInitializeEx(reserved, COINIT_APARTMENTTHREADED);
}

// The last uninitialisation in the process unloads the servers that agree to go. Windows would unload
// every server then; one with live objects is kept here, since unloading it would leave those objects
// pointing at unmapped code.
void CoUninitialize(void) {
    if (t_com.count == 0) {
        return;
    }
    if (--t_com.count > 0) {
        return;
    }
    if (t_com.model == COINIT_MULTITHREADED) {
        --g_multithreaded;
    }
    if (--g_initialised == 0) {
        qxplatform::FreeUnusedServers();
    }
}

} // extern "C"
