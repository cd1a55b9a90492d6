// The built quenlix.ax as the platform loads it: its exports, its unloading, and a second process that
// creates the filter knowing only its class identifier.
#include <windows.h>
#include <objbase.h>
#include <strmif.h>
#include <quenlix.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <set>
#include <sstream>

#include "module_support.h"

using namespace moduletest;

namespace {

// Calls an entry point of quenlix.ax loaded and freed again, as an application registering it does.
HRESULT CallModule(const char* name) {
    HMODULE module = LoadLibraryA(ModulePath().c_str());
    if (module == nullptr) {
        return E_FAIL;
    }
    using EntryPoint = HRESULT(STDAPICALLTYPE*)();
    auto entry = reinterpret_cast<EntryPoint>(reinterpret_cast<void*>(GetProcAddress(module, name)));
    HRESULT hr = entry != nullptr ? entry() : E_NOTIMPL;
    FreeLibrary(module);
    return hr;
}

HRESULT Register() {
    return CallModule("DllRegisterServer");
}

HRESULT Unregister() {
    return CallModule("DllUnregisterServer");
}

bool Has(const std::string& text, const std::string& line) {
    return text.find(line) != std::string::npos;
}

class LoadedModuleTest : public ::testing::Test {
protected:
    ScratchRegistry m_registry;
};

} // namespace

TEST_F(LoadedModuleTest, ExportsTheFiveEntryPointsAndNothingElse) {
    ProcessResult nm = RunProgram({"nm", "-D", "--defined-only", ModulePath()});
    if (nm.status == 127) {
        GTEST_SKIP() << "nm is not installed";
    }
    ASSERT_EQ(nm.status, 0);
    std::set<std::string> names;
    std::istringstream lines(nm.out);
    for (std::string line; std::getline(lines, line);) {
        names.insert(line.substr(line.rfind(' ') + 1));
    }
    EXPECT_EQ(names, (std::set<std::string>{"DllCanUnloadNow", "DllGetClassObject", "DllMain",
                                            "DllRegisterServer", "DllUnregisterServer"}));
    // glibc would never unload a module holding a GNU unique symbol.
    ProcessResult symbols = RunProgram({"readelf", "-W", "--dyn-syms", ModulePath()});
    EXPECT_FALSE(Has(symbols.out, "UNIQUE"));
}

TEST_F(LoadedModuleTest, CoFreeUnusedLibrariesUnloadsItOnceNoObjectLivesAndNoFactoryIsLocked) {
    ASSERT_EQ(Register(), S_OK);
    // FreeLibrary detached and unmapped it.
    ASSERT_FALSE(ModuleLoaded(ModulePath()));
    ASSERT_EQ(CoInitialize(nullptr), S_OK);

    IBaseFilter* filter = nullptr;
    ASSERT_EQ(CoCreateInstance(CLSID_TableCollectorFilter, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                               reinterpret_cast<void**>(&filter)),
              S_OK);
    CoFreeUnusedLibraries();
    EXPECT_TRUE(ModuleLoaded(ModulePath())) << "unloaded under a living filter";

    IClassFactory* factory = nullptr;
    ASSERT_EQ(CoGetClassObject(CLSID_TableCollectorFilter, CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory,
                               reinterpret_cast<void**>(&factory)),
              S_OK);
    EXPECT_EQ(factory->LockServer(TRUE), S_OK);
    factory->Release();
    filter->Release();
    CoFreeUnusedLibraries();
    EXPECT_TRUE(ModuleLoaded(ModulePath())) << "unloaded while locked";

    ASSERT_EQ(CoGetClassObject(CLSID_TableCollectorPropertyPage, CLSCTX_INPROC_SERVER, nullptr,
                               IID_IClassFactory, reinterpret_cast<void**>(&factory)),
              S_OK);
    EXPECT_EQ(factory->LockServer(FALSE), S_OK);
    factory->Release();
    CoFreeUnusedLibraries();
    EXPECT_FALSE(ModuleLoaded(ModulePath()));

    // And it comes back on the next request.
    ASSERT_EQ(CoCreateInstance(CLSID_TableCollectorFilter, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                               reinterpret_cast<void**>(&filter)),
              S_OK);
    filter->Release();
    CoFreeUnusedLibraries();
    EXPECT_FALSE(ModuleLoaded(ModulePath()));
    CoUninitialize();
    EXPECT_EQ(Unregister(), S_OK);
}

TEST_F(LoadedModuleTest, AnotherProcessCreatesTheRegisteredFilterByItsClassUntilUnregistered) {
    ASSERT_EQ(Register(), S_OK);
    ProcessResult client = RunProgram({ClientPath(), "cocreate", ModulePath()});
    EXPECT_EQ(client.status, 0) << client.out;
    EXPECT_TRUE(Has(client.out, "pat 2 1\n")) << client.out;
    EXPECT_TRUE(Has(client.out, "loaded-before-free yes\n")) << client.out;
    EXPECT_TRUE(Has(client.out, "loaded-after-free no\n")) << client.out;

    ASSERT_EQ(Unregister(), S_OK);
    client = RunProgram({ClientPath(), "cocreate", ModulePath()});
    EXPECT_EQ(client.status, 3);
    EXPECT_EQ(client.out, "create 0x80040154\n"); // REGDB_E_CLASSNOTREG
}
