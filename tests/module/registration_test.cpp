// Registration and unregistration when the filter mapper answers otherwise than the platform's does:
// failures, "file not found", the older IFilterMapper, no mapper at all; and a registry that cannot be
// written. The entry points linked into this program register it as the server of both classes.
#include <windows.h>
#include <objbase.h>
#include <strmif.h>
#include <uuids.h>
#include <quenlix.h>

#include <gtest/gtest.h>

#include <thread>

#include "module/QuenlixModule.h"
#include "module_support.h"

using namespace moduletest;

namespace {

const HRESULT kFileNotFound = HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);

class RegistrationTest : public ::testing::Test {
protected:
    void TearDown() override {
        SetMapperStandIn(nullptr);
        EXPECT_EQ(m_mapper.m_refs, 0) << "the mapper was not released";
    }
    // Every request for a mapper gets m_mapper.
    void UseScriptedMapper() {
        SetMapperStandIn([this](REFCLSID clsid, REFIID riid, void** ppv) {
            return clsid == CLSID_FilterMapper2 ? m_mapper.QueryInterface(riid, ppv) : REGDB_E_CLASSNOTREG;
        });
    }
    static bool ClassKeysPresent() {
        return StringValue(kFilterKey) == L"Korvane Trevasi Filter" &&
               StringValue(kPageKey) == L"Korvane Trevasi Filter Property Page" &&
               StringValue(std::wstring(kFilterKey) + L"\\InprocServer32", L"ThreadingModel") == L"Both" &&
               StringValue(std::wstring(kPageKey) + L"\\InprocServer32", L"ThreadingModel") == L"Both";
    }

    ScratchRegistry m_registry;
    ScriptedMapper m_mapper;
};

} // namespace

// "File not found" from the mapper is success; an unregistration failure stops before the registration
// call; either failure is answered, and the class keys written before it stay.
TEST_F(RegistrationTest, MapperAnswersWhileRegistering) {
    using Calls = std::vector<std::string>;
    const HRESULT kDenied = HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED);
    const struct {
        HRESULT unregisterResult, registerResult, expected;
        Calls calls;
    } cases[] = {
        {kFileNotFound, kFileNotFound, S_OK, {"unregister", "register"}},
        {S_OK, E_FAIL, E_FAIL, {"unregister", "register"}},
        {kDenied, S_OK, kDenied, {"unregister"}},
    };
    UseScriptedMapper();
    for (const auto& c : cases) {
        m_mapper.calls.clear();
        m_mapper.unregisterResult = c.unregisterResult;
        m_mapper.registerResult = c.registerResult;
        EXPECT_EQ(DllRegisterServer(), c.expected) << std::hex << c.unregisterResult;
        EXPECT_EQ(m_mapper.calls, c.calls) << std::hex << c.unregisterResult;
        EXPECT_TRUE(ClassKeysPresent());
    }
    // What the mapper was told: the setup record, in the default category, setup version 1.
    EXPECT_EQ(m_mapper.registeredName, L"Korvane Trevasi Filter");
    EXPECT_EQ(m_mapper.registeredMerit, 0x00200000u);
    EXPECT_EQ(m_mapper.registeredVersion, 1u);
    EXPECT_EQ(m_mapper.registeredPins, 0u);
    EXPECT_TRUE(m_mapper.defaultsUsed);

    // Unregistering: a mapper failure leaves the class keys; "file not found" is success.
    m_mapper.unregisterResult = E_ACCESSDENIED;
    EXPECT_EQ(DllUnregisterServer(), E_ACCESSDENIED);
    EXPECT_TRUE(ClassKeysPresent());
    m_mapper.calls.clear();
    m_mapper.unregisterResult = kFileNotFound;
    EXPECT_EQ(DllUnregisterServer(), S_OK);
    EXPECT_EQ(m_mapper.calls, Calls{"unregister"});
    EXPECT_FALSE(KeyExists(kFilterKey));
    EXPECT_FALSE(KeyExists(kPageKey));
}

TEST_F(RegistrationTest, OlderMapperWhenIFilterMapper2CannotBeHad) {
    SetMapperStandIn([](REFCLSID clsid, REFIID riid, void** ppv) {
        return clsid == CLSID_FilterMapper
                   ? __real_CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, riid, ppv)
                   : REGDB_E_CLASSNOTREG;
    });
    ASSERT_EQ(DllRegisterServer(), S_OK);
    EXPECT_TRUE(ClassKeysPresent());
    EXPECT_FALSE(KeyExists(kFilterInstanceKey));
    EXPECT_EQ(StringValue(kLegacyFilterKey), L"Korvane Trevasi Filter");
    DWORD type = REG_NONE;
    EXPECT_EQ(Value(kFilterKey, L"Merit", &type), (std::vector<BYTE>{0x00, 0x00, 0x20, 0x00}));
    EXPECT_EQ(type, DWORD(REG_DWORD));
    EXPECT_FALSE(KeyExists(std::wstring(kFilterKey) + L"\\Pins"));
    EXPECT_FALSE(KeyExists(L"Filter\\{33B3C363-A8EC-49DF-94E1-775EC9F71F6E}"));

    ASSERT_EQ(DllUnregisterServer(), S_OK);
    EXPECT_FALSE(KeyExists(kLegacyFilterKey));
    EXPECT_FALSE(KeyExists(kFilterKey));
    EXPECT_FALSE(KeyExists(kPageKey));
}

TEST_F(RegistrationTest, WithoutAnyMapperTheCreationFailureIsAnswered) {
    SetMapperStandIn([](REFCLSID, REFIID, void**) { return REGDB_E_CLASSNOTREG; });
    EXPECT_EQ(DllRegisterServer(), REGDB_E_CLASSNOTREG);
    EXPECT_TRUE(ClassKeysPresent()); // written before the mapper was asked, and left
    EXPECT_EQ(DllUnregisterServer(), REGDB_E_CLASSNOTREG);
    EXPECT_TRUE(ClassKeysPresent());
}

TEST_F(RegistrationTest, RegistrationLeavesTheThreadsComStateAsItFoundIt) {
    // On a thread of its own, which has not initialised COM.
    HRESULT registered = E_FAIL, unregistered = E_FAIL, afterwards = S_OK;
    std::thread([&] {
        registered = DllRegisterServer();
        unregistered = DllUnregisterServer();
        IUnknown* mapper = nullptr;
        afterwards = CoCreateInstance(CLSID_FilterMapper2, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                                      reinterpret_cast<void**>(&mapper));
        if (mapper != nullptr) {
            mapper->Release();
        }
    }).join();
    EXPECT_EQ(registered, S_OK);
    EXPECT_EQ(unregistered, S_OK);
    EXPECT_EQ(afterwards, CO_E_NOTINITIALIZED);
}
