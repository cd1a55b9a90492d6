// Streaming through CBaseInputPin and CRenderedInputPin where the filter's own tests do not reach:
// ReceiveMultiple, type changes, end of stream per stream.
#include <gtest/gtest.h>

#include "sink_filter.h"
#include "support/fake_graph.h"
#include "support/upstream_pin.h"

using namespace qxtest;

namespace {

class ReceiveTest : public BaseLayerTest {
protected:
    void SetUp() override {
        BaseLayerTest::SetUp();
        m_sink = SinkFilter::Create();
        ASSERT_NE(m_sink, nullptr);
        ASSERT_EQ(m_graph.AddFilter(m_sink->Base(), L"Sink"), S_OK);
        m_upstream = std::make_unique<FakeUpstream>();
        ASSERT_EQ(m_upstream->Connect(m_sink->m_pPin), S_OK);
    }
    void TearDown() override {
        MemFailAt(0);
        TaskMemFailAt(0);
        m_upstream.reset();
        m_graph.RemoveFilter(m_sink->Base());
        m_sink->Base()->Release();
        BaseLayerTest::TearDown();
    }
    SinkPin* Pin() { return m_sink->m_pPin; }

    FakeGraph m_graph;
    SinkFilter* m_sink = nullptr;
    std::unique_ptr<FakeUpstream> m_upstream;
};

const Bytes kSection = {0x00, 0xB0, 0x0D, 0x00, 0x01, 0xC1, 0x00, 0x00, 0x00, 0x01, 0xE1, 0x00, 1, 2, 3, 4};

} // namespace

// Refusing a type change aborts the stream; the error stays until a flush or a stop.
TEST_F(ReceiveTest, RefusedTypeChangeIsARunTimeError) {
    ASSERT_EQ(m_sink->Run(0), S_OK);
    CMediaType video(&MEDIATYPE_Video);
    SampleOptions change;
    change.newType = &video;
    EXPECT_EQ(m_upstream->Deliver(kSection, 0x11, change), VFW_E_INVALIDMEDIATYPE);
    auto events = m_graph.Events();
    ASSERT_EQ(events.size(), 1u); // the pin's end of stream finds the error and reports nothing
    EXPECT_EQ(events[0].code, EC_ERRORABORT);
    EXPECT_EQ(events[0].param2, 0);
    EXPECT_EQ(Pin()->EndOfStream(), VFW_E_RUNTIME_ERROR);

    // A change announced on a plain IMediaSample is checked too.
    ASSERT_EQ(m_sink->Stop(), S_OK);
    ASSERT_EQ(m_sink->Run(0), S_OK);
    change.sample2 = false;
    EXPECT_EQ(m_upstream->Deliver(kSection, 0x11, change), VFW_E_INVALIDMEDIATYPE);
    ASSERT_EQ(m_sink->Stop(), S_OK);
    ASSERT_EQ(m_sink->Run(0), S_OK);
    CMediaType sections(&MEDIATYPE_MPEG2_SECTIONS);
    change.newType = &sections;
    EXPECT_EQ(m_upstream->Deliver(kSection, 0x11, change), S_OK);
}

TEST_F(ReceiveTest, ReceiveMultipleStopsAtTheFirstAnswerOtherThanOk) {
    ASSERT_EQ(m_sink->Run(0), S_OK);
    LONG processed = -1;
    EXPECT_EQ(m_upstream->DeliverMultiple({kSection, kSection, kSection}, 5, &processed), S_OK);
    EXPECT_EQ(processed, 3);
    EXPECT_EQ(Pin()->m_received.size(), 3u);

    // The pin's own Receive (the derived one) decides: a refusal of the first sample stops there.
    Pin()->m_refuseFlags = 6;
    EXPECT_EQ(m_upstream->DeliverMultiple({kSection, kSection, kSection}, 6, &processed), S_FALSE);
    EXPECT_EQ(processed, 0);
    EXPECT_EQ(Pin()->m_answers.size(), 4u);

    ASSERT_EQ(Pin()->BeginFlush(), S_OK);
    EXPECT_EQ(m_upstream->DeliverMultiple({kSection, kSection}, 5, &processed), S_FALSE);
    EXPECT_EQ(processed, 0);
    ASSERT_EQ(Pin()->EndFlush(), S_OK);

    EXPECT_EQ(Pin()->ReceiveMultiple(nullptr, 0, &processed), S_OK);
    EXPECT_EQ(processed, 0);
    EXPECT_EQ(Pin()->ReceiveMultiple(nullptr, 1, &processed), E_POINTER);
}

TEST_F(ReceiveTest, EndOfStreamIsReportedOncePerStream) {
    EXPECT_EQ(m_upstream->DeliverEndOfStream(), VFW_E_WRONG_STATE);
    ASSERT_EQ(m_sink->Run(0), S_OK);
    EXPECT_EQ(m_upstream->DeliverEndOfStream(), S_OK);
    auto events = m_graph.Events();
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].code, EC_COMPLETE);
    EXPECT_EQ(events[0].param1, S_OK);
    EXPECT_EQ(events[0].param2, reinterpret_cast<LONG_PTR>(m_sink->Base()));

    // Pausing and running again does not repeat it; a new run after a stop is a new stream.
    ASSERT_EQ(m_sink->Pause(), S_OK);
    ASSERT_EQ(m_sink->Run(0), S_OK);
    EXPECT_EQ(m_graph.CountOf(EC_COMPLETE), 1u);
    ASSERT_EQ(m_sink->Stop(), S_OK);
    ASSERT_EQ(m_sink->Run(0), S_OK);
    EXPECT_EQ(m_upstream->DeliverEndOfStream(), S_OK);
    EXPECT_EQ(m_graph.CountOf(EC_COMPLETE), 2u);

    // Flushing refuses it; the rendered pin's own EndFlush starts a new stream.
    ASSERT_EQ(Pin()->BeginFlush(), S_OK);
    EXPECT_EQ(m_upstream->DeliverEndOfStream(), S_FALSE);
    ASSERT_EQ(Pin()->EndFlush(), S_OK);
    EXPECT_EQ(m_upstream->DeliverEndOfStream(), S_OK);
    EXPECT_EQ(m_graph.CountOf(EC_COMPLETE), 3u);
}

TEST_F(ReceiveTest, OutOfTaskMemoryForAnAnnouncedTypeOnAPlainSample) {
    ASSERT_EQ(m_sink->Run(0), S_OK);
    CMediaType sections(&MEDIATYPE_MPEG2_SECTIONS);
    SampleOptions change;
    change.newType = &sections;
    change.sample2 = false;
    // The sample's copy for the receiving pin cannot be made: the change goes unseen, as on a
    // sample that announces none, and nothing leaks.
    TaskMemFailAt(2); // 1: the type set on the sample; 2: the copy GetMediaType hands out
    EXPECT_EQ(m_upstream->Deliver(kSection, 0x11, change), S_OK);
    TaskMemFailAt(0);
    EXPECT_TRUE(m_graph.Events().empty());
}
