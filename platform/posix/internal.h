// Shared between the platform's own translation units; nothing outside platform/posix includes it.
#pragma once
#include <objbase.h>

#include <mutex>

namespace qxplatform {
// True when the calling thread may use COM: it initialised COM itself, or some thread of the process
// is in the multithreaded apartment, which every thread then joins implicitly (as on Windows).
bool ComUsableOnThisThread();
// Unloads every loaded in-process server that agrees to go (DllCanUnloadNow answers S_OK).
void FreeUnusedServers();
// Loads an in-process server for COM (one reference, held until it agrees to unload); answers
// CO_E_DLLNOTFOUND or CO_E_ERRORINDLL in hr on failure.
HMODULE LoadServer(const char* path, HRESULT& hr);
// Gives back the reference LoadServer took, unloading the module when it was the last.
void ReleaseServer(HMODULE module);
// An entry point the loaded module itself exports, or null.
void* ServerEntry(HMODULE module, const char* name);
// Held while modules are loaded, initialised, asked and unloaded; recursive, since a module's entry
// points may call back into the loader.
std::recursive_mutex& ModuleLock();

// Classes the platform serves itself, before any registered server: answers the class object, or
// CLASS_E_CLASSNOTAVAILABLE when the class is not one of them.
HRESULT BuiltinClassObject(REFCLSID clsid, REFIID riid, void** ppv);
} // namespace qxplatform
