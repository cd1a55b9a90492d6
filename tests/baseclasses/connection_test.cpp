// Pin connection: media-type agreement, refusals, undoing a failed connection, allocator negotiation.
#include <gtest/gtest.h>

#include "sink_filter.h"
#include "support/upstream_pin.h"

using namespace qxtest;

namespace {

class ConnectionTest : public BaseLayerTest {
protected:
    void SetUp() override {
        BaseLayerTest::SetUp();
        m_sink = SinkFilter::Create();
        ASSERT_NE(m_sink, nullptr);
    }
    void TearDown() override {
        MemFailAt(0);
        TaskMemFailAt(0);
        m_upstream.reset();
        m_sink->Base()->Release();
        BaseLayerTest::TearDown();
    }
    FakeUpstream& Up(const GUID& major = MEDIATYPE_MPEG2_SECTIONS) {
        if (!m_upstream) {
            m_upstream = std::make_unique<FakeUpstream>(major);
        }
        return *m_upstream;
    }
    bool BothUnconnected() {
        IPin* p = reinterpret_cast<IPin*>(1);
        bool downstream = m_sink->m_pPin->ConnectedTo(&p) == VFW_E_NOT_CONNECTED && p == nullptr;
        bool upstream = Up().OutputPin()->ConnectedTo(&p) == VFW_E_NOT_CONNECTED && p == nullptr;
        return downstream && upstream;
    }

    SinkFilter* m_sink = nullptr;
    std::unique_ptr<FakeUpstream> m_upstream;
};

CMediaType SectionType(const GUID& major) {
    CMediaType mt(&major);
    mt.SetSubtype(&MEDIASUBTYPE_MPEG2DATA);
    mt.SetFormatType(&FORMAT_None);
    return mt;
}

} // namespace

TEST_F(ConnectionTest, ConnectedPinsRefuseASecondConnectionAndADisconnectWhileRunning) {
    ASSERT_EQ(Up().Connect(m_sink->m_pPin), S_OK);
    AM_MEDIA_TYPE mt{};
    ASSERT_EQ(m_sink->m_pPin->ConnectionMediaType(&mt), S_OK);
    EXPECT_EQ(mt.subtype, MEDIASUBTYPE_MPEG2DATA);
    FreeMediaType(mt);

    CMediaType sections = SectionType(MEDIATYPE_MPEG2_SECTIONS);
    EXPECT_EQ(m_sink->m_pPin->ReceiveConnection(Up().OutputPin(), &sections), VFW_E_ALREADY_CONNECTED);
    ASSERT_EQ(m_sink->Run(0), S_OK);
    EXPECT_EQ(m_sink->m_pPin->Disconnect(), VFW_E_NOT_STOPPED);
    ASSERT_EQ(m_sink->Stop(), S_OK);
    ASSERT_EQ(Up().Disconnect(), S_OK);
    EXPECT_TRUE(BothUnconnected());
    EXPECT_EQ(m_sink->m_pPin->Disconnect(), S_FALSE);
    EXPECT_EQ(m_sink->m_pPin->ConnectionMediaType(&mt), VFW_E_NOT_CONNECTED);
}

TEST_F(ConnectionTest, RefusalsLeaveBothSidesUnconnected) {
    ASSERT_EQ(Up(MEDIATYPE_Video).Connect(m_sink->m_pPin), VFW_E_INVALIDMEDIATYPE);
    EXPECT_EQ(m_sink->m_pPin->m_completeCalls, 0);
    CMediaType sections = SectionType(MEDIATYPE_MPEG2_SECTIONS);
    SinkFilter* other = SinkFilter::Create();
    EXPECT_EQ(m_sink->m_pPin->ReceiveConnection(other->m_pPin, &sections), VFW_E_INVALID_DIRECTION);
    EXPECT_EQ(m_sink->m_pPin->ReceiveConnection(nullptr, &sections), E_POINTER);
    EXPECT_EQ(m_sink->m_pPin->ReceiveConnection(Up().OutputPin(), nullptr), E_POINTER);
    other->Base()->Release();
    ASSERT_EQ(m_sink->Run(0), S_OK);
    EXPECT_EQ(Up().Connect(m_sink->m_pPin), VFW_E_NOT_STOPPED);
    ASSERT_EQ(m_sink->Stop(), S_OK);
    EXPECT_TRUE(BothUnconnected());
}

TEST_F(ConnectionTest, FailedCompleteConnectUndoesTheConnection) {
    m_sink->m_pPin->m_completeResult = E_UNEXPECTED;
    EXPECT_EQ(Up().Connect(m_sink->m_pPin), E_UNEXPECTED);
    EXPECT_EQ(m_sink->m_pPin->m_completeCalls, 1);
    EXPECT_TRUE(BothUnconnected());
    m_sink->m_pPin->m_completeResult = S_OK;
    EXPECT_EQ(Up().Connect(m_sink->m_pPin), S_OK);
}

TEST_F(ConnectionTest, AllocatorIsAgreedWithTheInputPin) {
    Up().SetBuffers(3, 1000);
    ASSERT_EQ(Up().Connect(m_sink->m_pPin), S_OK);
    IMemAllocator* fromSink = nullptr;
    ASSERT_EQ(m_sink->m_pPin->GetAllocator(&fromSink), S_OK);
    EXPECT_EQ(fromSink, Up().Pin()->Allocator());
    ALLOCATOR_PROPERTIES props{};
    ASSERT_EQ(fromSink->GetProperties(&props), S_OK);
    EXPECT_EQ(props.cBuffers, 3);
    EXPECT_EQ(props.cbBuffer, 1000);
    EXPECT_FALSE(m_sink->m_pPin->IsReadOnly());
    fromSink->Release();
}

TEST_F(ConnectionTest, OutOfMemoryWhileConnecting) {
    // Each allocation of a connection fails in turn: the connection then either finds another way
    // (another allocator) or fails with E_OUTOFMEMORY and leaves both pins unconnected.
    unsigned long before = MemAllocationCount();
    ASSERT_EQ(Up().Connect(m_sink->m_pPin), S_OK);
    unsigned long allocations = MemAllocationCount() - before;
    ASSERT_EQ(Up().Disconnect(), S_OK);
    ASSERT_GT(allocations, 0u);
    int failures = 0;
    for (unsigned long n = 1; n <= allocations; n++) {
        MemFailAt(n);
        HRESULT hr = Up().Connect(m_sink->m_pPin);
        MemFailAt(0);
        if (SUCCEEDED(hr)) {
            ASSERT_EQ(Up().Disconnect(), S_OK);
            continue;
        }
        failures++;
        EXPECT_EQ(hr, E_OUTOFMEMORY) << n;
        EXPECT_TRUE(BothUnconnected()) << n;
    }
    EXPECT_GT(failures, 0);

    // The offered type is copied into task memory; without it there is nothing to offer.
    TaskMemFailAt(1);
    EXPECT_EQ(Up().Connect(m_sink->m_pPin), E_OUTOFMEMORY);
    TaskMemFailAt(0);
    EXPECT_TRUE(BothUnconnected());
    EXPECT_EQ(Up().Connect(m_sink->m_pPin), S_OK);
}
