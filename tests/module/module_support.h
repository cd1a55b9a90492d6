// Shared by the module tests: where the module's classes land in the registry, reading them back,
// the built quenlix.ax and the client program, and a stand-in for the filter mapper.
#pragma once
#include <windows.h>
#include <objbase.h>
#include <strmif.h>
#include <quenlix.h>

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "platform/scratch_registry.h"

// The platform's CoCreateInstance, past the wrapper below.
extern "C" HRESULT __real_CoCreateInstance(REFCLSID clsid, LPUNKNOWN outer, DWORD context, REFIID riid,
                                           LPVOID* ppv);

namespace moduletest {

using platformtest::KeyExists;
using platformtest::ScratchRegistry;
using platformtest::StringValue;
using platformtest::Value;

inline const wchar_t kFilterKey[] = L"CLSID\\{13E1554D-A79F-4D21-BAA4-AFD0FF70F357}";
inline const wchar_t kPageKey[] = L"CLSID\\{33B3C363-A8EC-49DF-94E1-775EC9F71F6E}";
// Where IFilterMapper2 lists filters of the default category, and the filter's entry there.
inline const wchar_t kInstanceKey[] = L"CLSID\\{083863F1-70DE-11D0-BD40-00A0C911CE86}\\Instance";
inline const wchar_t kFilterInstanceKey[] =
    L"CLSID\\{083863F1-70DE-11D0-BD40-00A0C911CE86}\\Instance\\{13E1554D-A79F-4D21-BAA4-AFD0FF70F357}";
// Where the older IFilterMapper lists it.
inline const wchar_t kLegacyFilterKey[] = L"Filter\\{13E1554D-A79F-4D21-BAA4-AFD0FF70F357}";

// Names of a key's subkeys; empty when it does not open.
std::vector<std::wstring> SubKeys(const std::wstring& path);

// The built module, with symbolic links resolved: the path registration writes.
std::string ModulePath();
std::wstring ModulePathW();
// Whether the module is mapped into this process (dlopen without loading).
bool ModuleLoaded(const std::string& path);

// Runs a program with arguments (the environment is inherited): exit status and standard output.
struct ProcessResult {
    int status = -1;
    std::string out;
};
ProcessResult RunProgram(const std::vector<std::string>& argv);
// The client program (tests/module/client) and its own copy of quenlix.ax.
std::string ClientPath();
std::string ClientModulePath();

// Stands in for the filter mapper: while set, CoCreateInstance for CLSID_FilterMapper2 and
// CLSID_FilterMapper goes to the function instead of the platform. Null restores the platform's.
using MapperCreation = std::function<HRESULT(REFCLSID clsid, REFIID riid, void** ppv)>;
void SetMapperStandIn(MapperCreation creation);

// A filter mapper whose answers a test chooses, recording what it was asked.
class ScriptedMapper final : public IFilterMapper2 {
public:
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
    STDMETHODIMP_(ULONG) AddRef() override { return static_cast<ULONG>(++m_refs); }
    STDMETHODIMP_(ULONG) Release() override { return static_cast<ULONG>(--m_refs); }
    STDMETHODIMP CreateCategory(REFCLSID, DWORD, LPCWSTR) override { return E_NOTIMPL; }
    STDMETHODIMP UnregisterFilter(const CLSID* pCategory, LPCOLESTR szInstance, REFCLSID Filter) override;
    STDMETHODIMP RegisterFilter(REFCLSID clsidFilter, LPCWSTR Name, IMoniker** ppMoniker,
                                const CLSID* pCategory, LPCOLESTR szInstance,
                                const REGFILTER2* prf2) override;
    STDMETHODIMP EnumMatchingFilters(IEnumMoniker**, DWORD, BOOL, DWORD, BOOL, DWORD, const GUID*,
                                     const REGPINMEDIUM*, const CLSID*, BOOL, BOOL, DWORD, const GUID*,
                                     const REGPINMEDIUM*, const CLSID*) override {
        return E_NOTIMPL;
    }

    HRESULT unregisterResult = S_OK;
    HRESULT registerResult = S_OK;
    std::vector<std::string> calls; // "unregister", "register" in order
    std::wstring registeredName;
    DWORD registeredMerit = 0;
    DWORD registeredVersion = 0;
    ULONG registeredPins = 0xFFFFFFFF;
    bool defaultsUsed = true; // no category, instance name or moniker in every call
    long m_refs = 0;          // references held by callers
};

} // namespace moduletest
