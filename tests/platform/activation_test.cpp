// Modules and in-process activation, with a small test server built as a shared object.
#include <objbase.h>
#include <objidl.h>

#include "platform/posix/testhooks.h"
#include "scratch_registry.h"

#include <gtest/gtest.h>

#include <dlfcn.h>
#include <limits.h>
#include <stdlib.h>

#include <fstream>
#include <sstream>
#include <string>

namespace {

using platformtest::ScratchRegistry;

// {6E0C2F4A-3B1D-4C55-9A7E-2D8B1F0C7A11}, served by the test server.
DEFINE_GUID(CLSID_TestServerObject, 0x6E0C2F4A, 0x3B1D, 0x4C55, 0x9A, 0x7E, 0x2D, 0x8B, 0x1F, 0x0C, 0x7A,
            0x11);
// Registered with the test server's path, but not a class the server knows.
DEFINE_GUID(CLSID_Unserved, 0x6E0C2F4A, 0x3B1D, 0x4C55, 0x9A, 0x7E, 0x2D, 0x8B, 0x1F, 0x0C, 0x7A, 0x12);

std::string ServerPath() {
    char resolved[PATH_MAX];
    return realpath(QX_TESTSERVER_PATH, resolved) != nullptr ? resolved : QX_TESTSERVER_PATH;
}

bool ServerLoaded() {
    void* handle = dlopen(ServerPath().c_str(), RTLD_NOW | RTLD_NOLOAD);
    if (handle != nullptr) {
        dlclose(handle);
    }
    return handle != nullptr;
}

void Register(REFCLSID clsid, const std::string& path) {
    WCHAR name[64] = L"CLSID\\";
    StringFromGUID2(clsid, name + 6, 39);
    lstrcatW(name, L"\\InprocServer32");
    HKEY key;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CLASSES_ROOT, name, 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExA(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(path.c_str()),
                             static_cast<DWORD>(path.size() + 1)),
              ERROR_SUCCESS);
    RegCloseKey(key);
}

// Each test gets its own registry, its own server log and COM on the calling thread.
class ActivationTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_log = m_registry.Dir() + "/server.log";
        setenv("QX_TESTSERVER_LOG", m_log.c_str(), 1);
        ASSERT_EQ(CoInitialize(nullptr), S_OK);
    }
    void TearDown() override {
        CoFreeUnusedLibraries();
        CoUninitialize();
        EXPECT_FALSE(ServerLoaded()) << "a test left the server loaded";
        unsetenv("QX_TESTSERVER_LOG");
        unsetenv("QX_TESTSERVER_REFUSE");
    }
    std::string Log() const {
        std::ifstream in(m_log);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }

    ScratchRegistry m_registry;
    std::string m_log;
};

TEST_F(ActivationTest, LoadLibraryAttachesWithTheModuleHandle) {
    HMODULE module = LoadLibraryA(QX_TESTSERVER_PATH);
    ASSERT_NE(module, nullptr);
    EXPECT_EQ(Log(), "attach\n");
    EXPECT_EQ(LoadLibraryA(QX_TESTSERVER_PATH), module) << "a second load is the same module";

    auto instanceOf = reinterpret_cast<HINSTANCE (*)()>(
        reinterpret_cast<void*>(GetProcAddress(module, "TestServerInstance")));
    ASSERT_NE(instanceOf, nullptr);
    EXPECT_EQ(instanceOf(), module) << "DllMain is handed the module handle";
    EXPECT_EQ(GetProcAddress(module, "NoSuchExport"), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PROC_NOT_FOUND));

    char text[16];
    EXPECT_EQ(LoadStringA(module, 1, text, sizeof(text)), 11) << "the module's own resources";

    char path[PATH_MAX];
    EXPECT_EQ(GetModuleFileNameA(module, path, sizeof path), ServerPath().size());
    EXPECT_EQ(std::string(path), ServerPath());
    char small[8];
    EXPECT_EQ(GetModuleFileNameA(module, small, sizeof small), sizeof small);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(std::string(small), ServerPath().substr(0, 7)) << "truncated and terminated";

    EXPECT_TRUE(FreeLibrary(module));
    EXPECT_EQ(Log(), "attach\n") << "still one load outstanding";
    EXPECT_TRUE(FreeLibrary(module));
    EXPECT_EQ(Log(), "attach\ndetach\n");
    EXPECT_FALSE(ServerLoaded());
    EXPECT_EQ(LoadStringA(module, 1, text, sizeof(text)), 0) << "gone with the module";
    EXPECT_FALSE(FreeLibrary(module));
    EXPECT_EQ(GetModuleFileNameA(module, path, sizeof path), 0u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
}

TEST_F(ActivationTest, RefusingDllMainFailsTheLoad) {
    setenv("QX_TESTSERVER_REFUSE", "1", 1);
    EXPECT_EQ(LoadLibraryA(QX_TESTSERVER_PATH), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_DLL_INIT_FAILED));
    EXPECT_EQ(Log(), "refuse\ndetach\n");
    EXPECT_EQ(LoadLibraryA("/nonexistent/module.ax"), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
}

TEST_F(ActivationTest, FailuresAnswerTheComCodes) {
    void* object = reinterpret_cast<void*>(1);
    EXPECT_EQ(CoCreateInstance(CLSID_TestServerObject, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, &object),
              REGDB_E_CLASSNOTREG);
    EXPECT_EQ(object, nullptr);

    Register(CLSID_TestServerObject, "/nonexistent/quenlix.ax");
    EXPECT_EQ(CoCreateInstance(CLSID_TestServerObject, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, &object),
              CO_E_DLLNOTFOUND);

    // A shared object without DllGetClassObject is no server.
    Register(CLSID_TestServerObject, "libm.so.6");
    EXPECT_EQ(CoCreateInstance(CLSID_TestServerObject, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, &object),
              CO_E_ERRORINDLL);

    Register(CLSID_TestServerObject, ServerPath());
    EXPECT_EQ(CoCreateInstance(CLSID_TestServerObject, nullptr, CLSCTX_LOCAL_SERVER, IID_IUnknown, &object),
              REGDB_E_CLASSNOTREG)
        << "only in-process servers exist";
    EXPECT_EQ(CoCreateInstance(CLSID_TestServerObject, nullptr, CLSCTX_INPROC_SERVER, IID_IPersist, &object),
              E_NOINTERFACE)
        << "the object's own answer comes through";
    int notAnObject = 0; // the server refuses any outer object before using it
    auto* outer = reinterpret_cast<IUnknown*>(&notAnObject);
    EXPECT_EQ(CoCreateInstance(CLSID_TestServerObject, outer, CLSCTX_INPROC_SERVER, IID_IUnknown, &object),
              CLASS_E_NOAGGREGATION);

    Register(CLSID_Unserved, ServerPath());
    EXPECT_EQ(CoGetClassObject(CLSID_Unserved, CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory, &object),
              CLASS_E_CLASSNOTAVAILABLE);
    EXPECT_EQ(object, nullptr);
    EXPECT_EQ(CoCreateInstance(CLSID_TestServerObject, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, nullptr),
              E_POINTER);
}

} // namespace
