// In-process server support the module tests cannot reach: a creation function that fails and a
// filter registering itself.
#include <gtest/gtest.h>

#include "platform/scratch_registry.h"
#include "sink_filter.h"

using namespace qxtest;

namespace {

const CLSID kFailingClsid = {0x1b2c3d4e, 0x0009, 0x0002, {0x80, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07}};

// What the failing class's creation function does next.
HRESULT g_nextFailure = E_FAIL;
bool g_returnObject = true;

CUnknown* WINAPI CreateSink(LPUNKNOWN pUnk, HRESULT* phr) {
    return new SinkFilter(pUnk, phr);
}

CUnknown* WINAPI CreateFailing(LPUNKNOWN pUnk, HRESULT* phr) {
    *phr = g_nextFailure;
    return g_returnObject ? new SinkFilter(pUnk, nullptr) : nullptr;
}

const AMOVIESETUP_FILTER kSinkSetup = {&SinkFilter::ClassId(), L"Test Sink", MERIT_DO_NOT_USE, 0, nullptr};

} // namespace

CFactoryTemplate g_Templates[] = {
    {L"Test Sink", &SinkFilter::ClassId(), CreateSink, nullptr, &kSinkSetup},
    {L"Failing Class", &kFailingClsid, CreateFailing, nullptr, nullptr},
};
int g_cTemplates = sizeof(g_Templates) / sizeof(g_Templates[0]);

namespace {

class ServerTest : public ::testing::Test {
protected:
    void SetUp() override { m_objects = CBaseObject::ObjectsActive(); }
    void TearDown() override {
        MemFailAt(0);
        EXPECT_EQ(CBaseObject::ObjectsActive(), m_objects);
    }
    IClassFactory* Factory(REFCLSID clsid) {
        IClassFactory* f = nullptr;
        EXPECT_EQ(DllGetClassObject(clsid, IID_IClassFactory, reinterpret_cast<void**>(&f)), S_OK);
        return f;
    }
    LONG m_objects = 0;
};

} // namespace

TEST_F(ServerTest, FactoryPassesOnTheCreationFunctionsFailure) {
    IClassFactory* f = Factory(kFailingClsid);
    ASSERT_NE(f, nullptr);
    void* p = nullptr;
    // An object with a failure in its slot is destroyed and the failure answered.
    g_nextFailure = VFW_E_RUNTIME_ERROR;
    g_returnObject = true;
    EXPECT_EQ(f->CreateInstance(nullptr, IID_IUnknown, &p), VFW_E_RUNTIME_ERROR);
    // No object: the slot's failure, or E_OUTOFMEMORY when the slot says nothing went wrong.
    g_returnObject = false;
    EXPECT_EQ(f->CreateInstance(nullptr, IID_IUnknown, &p), VFW_E_RUNTIME_ERROR);
    g_nextFailure = S_OK;
    EXPECT_EQ(f->CreateInstance(nullptr, IID_IUnknown, &p), E_OUTOFMEMORY);
    f->Release();
}

namespace {

// A sink that describes itself to the filter mapper.
class SetupSink : public SinkFilter {
public:
    SetupSink() : SinkFilter(nullptr, nullptr) {}
    LPAMOVIESETUP_FILTER GetSetupData() override { return const_cast<LPAMOVIESETUP_FILTER>(&kSinkSetup); }
};

} // namespace

TEST_F(ServerTest, FilterRegistersItselfThroughIAMovieSetup) {
    platformtest::ScratchRegistry registry;
    const wchar_t* mapperEntry =
        L"CLSID\\{083863F1-70DE-11D0-BD40-00A0C911CE86}\\Instance\\{1B2C3D4E-0001-0002-8001-020304050607}";

    SetupSink* f = new SetupSink();
    f->NonDelegatingAddRef();
    IAMovieSetup* setup = nullptr;
    ASSERT_EQ(f->QueryInterface(IID_IAMovieSetup, reinterpret_cast<void**>(&setup)), S_OK);
    EXPECT_EQ(setup->Unregister(), S_OK); // nothing there yet
    ASSERT_EQ(setup->Register(), S_OK);
    ASSERT_EQ(setup->Register(), S_OK);
    EXPECT_EQ(platformtest::StringValue(mapperEntry, L"FriendlyName"), L"Test Sink");
    ASSERT_EQ(setup->Unregister(), S_OK);
    EXPECT_FALSE(platformtest::KeyExists(mapperEntry));
    setup->Release();
    EXPECT_EQ(f->NonDelegatingRelease(), 0u);
}
