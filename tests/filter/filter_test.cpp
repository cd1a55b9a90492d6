// The filter object: construction and its out-of-memory stops, identity and reference counting, the
// pin it reports and the property page it names. Its factory, aggregation and release are the module's.
#include "baseclasses/allocation.h"
#include "filter/TableCollectorFilter.h"
#include "intake/TableCollectorInputPin.h"
#include "platform/posix/testhooks.h"

#include <objbase.h>
#include <ocidl.h>
#include <strmif.h>

#include <gtest/gtest.h>

#include <set>

namespace {

// The store pointers in the order the constructor makes them.
TableCollectorFilter* const kNoFilter = nullptr;
std::vector<const void*> StoresInCreationOrder(const TableCollectorFilter& f) {
    return {f.m_pPatStore, f.m_pPmtStore, f.m_pNitStore, f.m_pBatStore,     f.m_pSdtStore,
            f.m_pEitStore, f.m_pTdtStore, f.m_pTotStore, f.m_pRstStore,     f.m_pCatStore,
            f.m_pSttStore, f.m_pVctStore, f.m_pMgtStore, f.m_pAtscEitStore, f.m_pEttStore};
}

// Holds a new filter by one reference on its non-delegating IUnknown.
struct Made {
    HRESULT hr = E_UNEXPECTED;
    TableCollectorFilter* filter = nullptr;
    explicit Made(bool withResult = true) {
        filter = static_cast<TableCollectorFilter*>(
            TableCollectorFilter::CreateInstance(nullptr, withResult ? &hr : nullptr));
        if (filter != nullptr) {
            filter->NonDelegatingAddRef();
        }
    }
    ~Made() {
        if (filter != nullptr) {
            filter->NonDelegatingRelease();
        }
    }
};

TEST(FilterConstruction, WithoutAResultSlotMakesNeitherPinNorStores) {
    Made m(false);
    ASSERT_NE(m.filter, kNoFilter);
    EXPECT_EQ(m.filter->m_pInputPin, nullptr);
    for (const void* store : StoresInCreationOrder(*m.filter)) {
        EXPECT_EQ(store, nullptr);
    }
    EXPECT_EQ(m.filter->GetPinCount(), 1);
    EXPECT_EQ(m.filter->GetPin(0), nullptr);
}

TEST(FilterConstruction, OutOfMemoryAtEveryAllocationLeavesAPrefixOfTheStores) {
    // Each allocation of the construction fails in turn. Whatever fails, the stores made are a prefix
    // of the creation order, nothing is made after a missing pin, and the destructor copes.
    std::set<size_t> storeStops;
    bool objectFailed = false, pinFailed = false, completed = false;
    for (unsigned long n = 1; n < 1000 && !completed; ++n) {
        SCOPED_TRACE(n);
        MemFailAt(n);
        Made m;
        MemFailAt(0);
        if (m.filter == nullptr) {
            objectFailed = true;
            continue;
        }
        if (m.hr == S_OK) {
            completed = true;
            continue;
        }
        EXPECT_EQ(m.hr, E_OUTOFMEMORY);
        EXPECT_EQ(m.filter->GetPinCount(), 1);
        const auto stores = StoresInCreationOrder(*m.filter);
        size_t made = 0;
        while (made < stores.size() && stores[made] != nullptr) {
            ++made;
        }
        for (size_t i = made; i < stores.size(); ++i) {
            EXPECT_EQ(stores[i], nullptr) << "store " << i << " made after a failed one";
        }
        if (m.filter->m_pInputPin == nullptr) {
            pinFailed = true;
            EXPECT_EQ(made, 0u);
        } else {
            storeStops.insert(made);
        }
    }
    EXPECT_TRUE(completed);
    EXPECT_TRUE(objectFailed);
    EXPECT_TRUE(pinFailed);
    EXPECT_EQ(storeStops.size(), 15u) << "every store's allocation should have failed once";
}

TEST(FilterIdentity, BothInterfacesShareTheFiltersIdentityAndCount) {
    Made m;
    ASSERT_EQ(m.hr, S_OK);
    ITableCollector* collector = nullptr;
    ASSERT_EQ(
        m.filter->NonDelegatingQueryInterface(IID_ITableCollector, reinterpret_cast<void**>(&collector)),
        S_OK);
    ISpecifyPropertyPages* pages = nullptr;
    ASSERT_EQ(collector->QueryInterface(IID_ISpecifyPropertyPages, reinterpret_cast<void**>(&pages)), S_OK);
    IUnknown* fromCollector = nullptr;
    IUnknown* fromPages = nullptr;
    IBaseFilter* baseFilter = nullptr;
    ASSERT_EQ(collector->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&fromCollector)), S_OK);
    ASSERT_EQ(pages->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&fromPages)), S_OK);
    ASSERT_EQ(pages->QueryInterface(IID_IBaseFilter, reinterpret_cast<void**>(&baseFilter)), S_OK);
    EXPECT_EQ(fromCollector, fromPages);
    ITableCollector* again = nullptr;
    ASSERT_EQ(baseFilter->QueryInterface(IID_ITableCollector, reinterpret_cast<void**>(&again)), S_OK);
    EXPECT_EQ(again, collector);

    CLSID clsid = {};
    EXPECT_EQ(baseFilter->GetClassID(&clsid), S_OK);
    EXPECT_TRUE(IsEqualGUID(clsid, CLSID_TableCollectorFilter));

    // One count for the whole object: Made's reference plus the six taken above.
    EXPECT_EQ(pages->AddRef(), 8u);
    EXPECT_EQ(collector->Release(), 7u);
    for (IUnknown* p : {static_cast<IUnknown*>(again), static_cast<IUnknown*>(baseFilter), fromPages,
                        fromCollector, static_cast<IUnknown*>(pages), static_cast<IUnknown*>(pages)}) {
        p->Release();
    }
    // Made holds the last reference; its release destroys the filter.
}

TEST(FilterPins, OnePinAtIndexZero) {
    Made m;
    EXPECT_EQ(m.filter->GetPinCount(), 1);
    CBasePin* pin = m.filter->GetPin(0);
    EXPECT_NE(pin, nullptr);
    EXPECT_EQ(pin, static_cast<CBasePin*>(m.filter->m_pInputPin));
    EXPECT_EQ(m.filter->GetPin(1), nullptr);
    EXPECT_EQ(m.filter->GetPin(-1), nullptr);
}

TEST(FilterPages, NamesThePropertyPage) {
    Made m;
    ISpecifyPropertyPages* pages = static_cast<ISpecifyPropertyPages*>(m.filter);
    EXPECT_EQ(pages->GetPages(nullptr), E_POINTER);

    const long outstanding = TaskMemOutstanding();
    CAUUID list = {0, nullptr};
    ASSERT_EQ(pages->GetPages(&list), S_OK);
    ASSERT_EQ(list.cElems, 1u);
    ASSERT_NE(list.pElems, nullptr);
    EXPECT_TRUE(IsEqualGUID(list.pElems[0], CLSID_TableCollectorPropertyPage));
    CoTaskMemFree(list.pElems);
    EXPECT_EQ(TaskMemOutstanding(), outstanding);

    list = {0, reinterpret_cast<GUID*>(&list)};
    TaskMemFailAt(1);
    EXPECT_EQ(pages->GetPages(&list), E_OUTOFMEMORY);
    TaskMemFailAt(0);
    EXPECT_EQ(list.cElems, 1u);
    EXPECT_EQ(list.pElems, nullptr);
    EXPECT_EQ(TaskMemOutstanding(), outstanding);
}

} // namespace
