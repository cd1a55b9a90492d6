// The module's class objects, factories and object count, through the entry points linked into this
// program (the same code quenlix.ax is built from).
#include <windows.h>
#include <objbase.h>
#include <ocidl.h>
#include <strmif.h>
#include <quenlix.h>

#include <gtest/gtest.h>

#include "baseclasses/streams.h"
#include "filter/TableCollectorFilter.h"
#include "propertypage/TableCollectorPropertyPage.h"
#include "module/QuenlixModule.h"
#include "module_support.h"

namespace {

class FactoryTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(CBaseObject::ObjectsActive(), 0); }
    void TearDown() override {
        MemFailAt(0);
        EXPECT_EQ(CBaseObject::ObjectsActive(), 0);
        EXPECT_EQ(DllCanUnloadNow(), S_OK);
    }
    static IClassFactory* Factory(REFCLSID clsid) {
        IClassFactory* factory = nullptr;
        EXPECT_EQ(DllGetClassObject(clsid, IID_IClassFactory, reinterpret_cast<void**>(&factory)), S_OK);
        return factory;
    }
};

// An object that aggregates another: it keeps the inner object's non-delegating IUnknown and counts
// the references that reach it through the inner object's interfaces.
class Outer final : public IUnknown {
public:
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
        if (riid == IID_IUnknown) {
            *ppv = this;
            AddRef();
            return S_OK;
        }
        return inner != nullptr ? inner->QueryInterface(riid, ppv) : E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return static_cast<ULONG>(++refs); }
    STDMETHODIMP_(ULONG) Release() override { return static_cast<ULONG>(--refs); }

    IUnknown* inner = nullptr;
    long refs = 1;
};

} // namespace

TEST_F(FactoryTest, ClassObjectsOnlyForTheModulesClassesAndFactoryInterfaces) {
    const CLSID unknownClass = {0x13e1554d, 0xa79f, 0x4d21, {0xba, 0xa4, 0xaf, 0xd0, 0xff, 0x70, 0xf3, 0x58}};
    void* p = reinterpret_cast<void*>(1);
    EXPECT_EQ(DllGetClassObject(unknownClass, IID_IClassFactory, &p), CLASS_E_CLASSNOTAVAILABLE);
    EXPECT_EQ(p, nullptr);
    // The interface is checked first: even a class of the module has no other interface.
    p = reinterpret_cast<void*>(1);
    EXPECT_EQ(DllGetClassObject(CLSID_TableCollectorFilter, IID_IBaseFilter, &p), E_NOINTERFACE);
    EXPECT_EQ(p, nullptr);
    EXPECT_EQ(DllGetClassObject(unknownClass, IID_ITableCollector, &p), E_NOINTERFACE);
    EXPECT_EQ(DllGetClassObject(CLSID_TableCollectorFilter, IID_IClassFactory, nullptr), E_POINTER);

    for (const CLSID* clsid : {&CLSID_TableCollectorFilter, &CLSID_TableCollectorPropertyPage}) {
        for (const IID* iid : {&IID_IUnknown, &IID_IClassFactory}) {
            IUnknown* object = nullptr;
            ASSERT_EQ(DllGetClassObject(*clsid, *iid, reinterpret_cast<void**>(&object)), S_OK);
            IClassFactory* factory = nullptr;
            EXPECT_EQ(object->QueryInterface(IID_IClassFactory, reinterpret_cast<void**>(&factory)), S_OK);
            factory->Release();
            object->Release();
        }
    }
    // Out of memory for the factory itself.
    MemFailAt(1);
    p = reinterpret_cast<void*>(1);
    EXPECT_EQ(DllGetClassObject(CLSID_TableCollectorFilter, IID_IClassFactory, &p), E_OUTOFMEMORY);
    EXPECT_EQ(p, nullptr);
}

// Each class's factory: an interface the object lacks, alone or aggregated, leaves nothing behind.
TEST_F(FactoryTest, EachClassComesWithItsInterfacesAndAnUnknownInterfaceLeavesNothing) {
    const struct {
        const CLSID* clsid;
        const IID* has;
        const IID* lacks;
    } classes[] = {{&CLSID_TableCollectorFilter, &IID_ITableCollector, &IID_IMemInputPin},
                   {&CLSID_TableCollectorPropertyPage, &IID_IPropertyPage, &IID_IBaseFilter}};
    for (const auto& c : classes) {
        IClassFactory* factory = Factory(*c.clsid);
        ASSERT_NE(factory, nullptr);
        EXPECT_EQ(factory->CreateInstance(nullptr, *c.has, nullptr), E_POINTER);
        Outer outer;
        for (IUnknown* aggregate : {static_cast<IUnknown*>(nullptr), static_cast<IUnknown*>(&outer)}) {
            void* p = reinterpret_cast<void*>(1);
            EXPECT_EQ(factory->CreateInstance(aggregate, aggregate ? *c.has : *c.lacks, &p), E_NOINTERFACE);
            EXPECT_EQ(p, nullptr);
        }
        EXPECT_EQ(CBaseObject::ObjectsActive(), 1); // the factory only
        IUnknown* object = nullptr;
        ASSERT_EQ(factory->CreateInstance(nullptr, *c.has, reinterpret_cast<void**>(&object)), S_OK);
        EXPECT_EQ(object->Release(), 0u);
        factory->Release();
    }
}

TEST_F(FactoryTest, AggregationOnlyThroughIUnknownAndIdentityIsTheOuterObjects) {
    IClassFactory* factory = Factory(CLSID_TableCollectorFilter);
    ASSERT_NE(factory, nullptr);
    Outer outer;
    ASSERT_EQ(factory->CreateInstance(&outer, IID_IUnknown, reinterpret_cast<void**>(&outer.inner)), S_OK);
    factory->Release();
    EXPECT_EQ(outer.refs, 1); // the inner object holds no reference on the outer one

    // The inner object's interfaces count on, and answer for, the outer object.
    ITableCollector* tables = nullptr;
    ASSERT_EQ(outer.QueryInterface(IID_ITableCollector, reinterpret_cast<void**>(&tables)), S_OK);
    EXPECT_EQ(outer.refs, 2);
    IUnknown* identity = nullptr;
    ASSERT_EQ(tables->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&identity)), S_OK);
    EXPECT_EQ(identity, static_cast<IUnknown*>(&outer));
    EXPECT_EQ(outer.refs, 3);
    identity->Release();
    tables->Release();
    EXPECT_EQ(outer.refs, 1);

    EXPECT_EQ(outer.inner->Release(), 0u);
    outer.inner = nullptr;
}
