// The base filter's pin: its reference counts, its enumerator and lookup; graph membership; and
// running out of memory while making them.
#include <gtest/gtest.h>

#include "sink_filter.h"
#include "support/fake_graph.h"

using namespace qxtest;

namespace {

using ComTest = BaseLayerTest;

ULONG RefCount(IUnknown* p) {
    p->AddRef();
    return p->Release();
}

} // namespace

// The filter's own identity and count are the system filter's tests'; here the pin's interfaces.
TEST_F(ComTest, ThePinsInterfacesCountOnTheFilter) {
    SinkFilter* f = SinkFilter::Create();
    ASSERT_NE(f, nullptr);
    IBaseFilter* base = f->Base();
    IPin* pin = f->GetPin(0);
    pin->AddRef();
    EXPECT_EQ(RefCount(base), 2u);
    IMemInputPin* mem = nullptr;
    ASSERT_EQ(pin->QueryInterface(IID_IMemInputPin, reinterpret_cast<void**>(&mem)), S_OK);
    IQualityControl* qc = nullptr;
    ASSERT_EQ(mem->QueryInterface(IID_IQualityControl, reinterpret_cast<void**>(&qc)), S_OK);
    EXPECT_EQ(RefCount(base), 4u);
    IPin* pinAgain = nullptr;
    ASSERT_EQ(qc->QueryInterface(IID_IPin, reinterpret_cast<void**>(&pinAgain)), S_OK);
    EXPECT_EQ(pinAgain, pin);

    for (IUnknown* p : std::initializer_list<IUnknown*>{pinAgain, qc, mem, pin}) {
        p->Release();
    }
    EXPECT_EQ(base->Release(), 0u);
}

TEST_F(ComTest, EnumeratesAndFindsPins) {
    SinkFilter* f = SinkFilter::Create();
    IEnumPins* e = nullptr;
    ASSERT_EQ(f->EnumPins(&e), S_OK);
    IPin* pins[2] = {};
    ULONG fetched = 9;
    EXPECT_EQ(e->Next(2, pins, &fetched), S_FALSE);
    EXPECT_EQ(fetched, 1u);
    EXPECT_EQ(pins[0], static_cast<IPin*>(f->m_pPin));
    pins[0]->Release();
    EXPECT_EQ(e->Next(1, pins, nullptr), S_FALSE);
    EXPECT_EQ(e->Next(2, pins, nullptr), E_INVALIDARG);
    EXPECT_EQ(e->Reset(), S_OK);
    EXPECT_EQ(e->Skip(2), S_FALSE);
    EXPECT_EQ(e->Skip(1), S_OK);

    IEnumPins* clone = nullptr;
    ASSERT_EQ(e->Clone(&clone), S_OK);
    EXPECT_EQ(clone->Next(1, pins, &fetched), S_FALSE);
    EXPECT_EQ(fetched, 0u);
    // A changed pin set puts existing enumerators out of step until they are reset.
    f->IncrementPinVersion();
    EXPECT_EQ(clone->Next(1, pins, &fetched), VFW_E_ENUM_OUT_OF_SYNC);
    EXPECT_EQ(clone->Reset(), S_OK);
    EXPECT_EQ(clone->Next(1, pins, &fetched), S_OK);
    pins[0]->Release();
    clone->Release();
    e->Release();

    IPin* found = nullptr;
    EXPECT_EQ(f->FindPin(L"Input", &found), S_OK);
    EXPECT_EQ(found, static_cast<IPin*>(f->m_pPin));
    found->Release();
    EXPECT_EQ(f->FindPin(L"Output", &found), VFW_E_NOT_FOUND);
    EXPECT_EQ(found, nullptr);

    PIN_INFO info{};
    ASSERT_EQ(f->m_pPin->QueryPinInfo(&info), S_OK);
    EXPECT_EQ(info.dir, PINDIR_INPUT);
    EXPECT_STREQ(info.achName, L"Input");
    EXPECT_EQ(info.pFilter, f->Base());
    info.pFilter->Release();
    f->Base()->Release();
}

TEST_F(ComTest, JoinsAndLeavesAGraph) {
    FakeGraph graph;
    SinkFilter* f = SinkFilter::Create();
    ASSERT_EQ(graph.AddFilter(f->Base(), L"Collector"), S_OK);
    // The filter keeps no counted reference on its graph.
    EXPECT_EQ(graph.RefCount(), 0);

    EXPECT_EQ(f->GetFilterGraph(), static_cast<IFilterGraph*>(&graph));
    EXPECT_EQ(f->NotifyEvent(EC_USER, 7, 8), S_OK) << "the receive tests check what the graph hears";

    ASSERT_EQ(graph.RemoveFilter(f->Base()), S_OK);
    EXPECT_EQ(f->GetFilterGraph(), nullptr);
    // Outside a graph nothing hears events.
    EXPECT_EQ(f->NotifyEvent(EC_USER, 0, 0), E_NOTIMPL);
    f->Base()->Release();
}

TEST_F(ComTest, OutOfMemoryWhileMakingObjects) {
    // The filter object itself.
    MemFailAt(1);
    EXPECT_EQ(SinkFilter::Create(), nullptr);
    // The pin, then the pin's name: both end in E_OUTOFMEMORY and nothing is left behind.
    for (unsigned long n = 2; n <= 3; n++) {
        MemFailAt(n);
        HRESULT hr = S_OK;
        SinkFilter* f = new SinkFilter(nullptr, &hr);
        MemFailAt(0);
        ASSERT_NE(f, nullptr);
        EXPECT_EQ(hr, E_OUTOFMEMORY) << n;
        delete f;
    }

    SinkFilter* f = SinkFilter::Create();
    IEnumPins* e = reinterpret_cast<IEnumPins*>(1);
    MemFailAt(1);
    EXPECT_EQ(f->EnumPins(&e), E_OUTOFMEMORY);
    EXPECT_EQ(e, nullptr);
    IEnumMediaTypes* types = reinterpret_cast<IEnumMediaTypes*>(1);
    MemFailAt(1);
    EXPECT_EQ(f->m_pPin->EnumMediaTypes(&types), E_OUTOFMEMORY);
    EXPECT_EQ(types, nullptr);

    // A graph name that cannot be copied leaves the filter outside the graph.
    FakeGraph graph;
    MemFailAt(1);
    EXPECT_EQ(graph.AddFilter(f->Base(), L"Collector"), E_OUTOFMEMORY);
    EXPECT_EQ(f->GetFilterGraph(), nullptr);

    TaskMemFailAt(1);
    LPWSTR id = reinterpret_cast<LPWSTR>(1);
    EXPECT_EQ(f->m_pPin->QueryId(&id), E_OUTOFMEMORY);
    EXPECT_EQ(id, nullptr);
    f->Base()->Release();
}
