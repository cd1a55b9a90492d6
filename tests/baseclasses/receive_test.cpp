// Streaming through CBaseInputPin and CRenderedInputPin: the receive check, ReceiveMultiple, flushing,
// end of stream and its EC_COMPLETE.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "baseclasses/streams.h"
#include "platform/posix/testhooks.h"
#include "sink_filter.h"
#include "support/fake_graph.h"
#include "support/upstream_pin.h"

using namespace qxtest;

namespace {

class ReceiveTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_objects = CBaseObject::ObjectsActive();
        m_taskMem = TaskMemOutstanding();
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
        EXPECT_EQ(CBaseObject::ObjectsActive(), m_objects);
        EXPECT_EQ(TaskMemOutstanding(), m_taskMem);
    }
    SinkPin* Pin() { return m_sink->m_pPin; }

    LONG m_objects = 0;
    long m_taskMem = 0;
    FakeGraph m_graph;
    SinkFilter* m_sink = nullptr;
    std::unique_ptr<FakeUpstream> m_upstream;
};

const Bytes kSection = {0x00, 0xB0, 0x0D, 0x00, 0x01, 0xC1, 0x00, 0x00, 0x00, 0x01, 0xE1, 0x00, 1, 2, 3, 4};

} // namespace

TEST_F(ReceiveTest, RunningPinTakesSamplesWithTheirTypeSpecificFlags) {
    ASSERT_EQ(m_sink->Run(0), S_OK);
    EXPECT_EQ(m_upstream->Deliver(kSection, 0x2ABC), S_OK);
    ASSERT_EQ(Pin()->m_received.size(), 1u);
    EXPECT_EQ(Pin()->m_received[0].bytes, kSection);
    EXPECT_EQ(Pin()->m_received[0].typeSpecificFlags, 0x2ABCu);
    EXPECT_EQ(Pin()->SampleProps()->lActual, static_cast<LONG>(kSection.size()));

    // A sample without IMediaSample2 shows no type-specific flags.
    EXPECT_EQ(m_upstream->Deliver(kSection, 0x0100, false), S_OK);
    ASSERT_EQ(Pin()->m_received.size(), 2u);
    EXPECT_EQ(Pin()->m_received[1].typeSpecificFlags, 0u);
    EXPECT_EQ(Pin()->SampleProps()->lActual, static_cast<LONG>(kSection.size()));

    // Paused is streaming too.
    ASSERT_EQ(m_sink->Pause(), S_OK);
    EXPECT_EQ(m_upstream->Deliver(kSection, 1), S_OK);
    EXPECT_EQ(Pin()->Receive(nullptr), E_POINTER);
}

TEST_F(ReceiveTest, StoppedFlushingAndErrorStatesRefuseSamples) {
    // Stopped.
    EXPECT_EQ(m_upstream->Deliver(kSection, 0x10), VFW_E_WRONG_STATE);
    EXPECT_EQ(Pin()->CheckStreaming(), VFW_E_WRONG_STATE);

    // Flushing, also while stopped; the flush ends with EndFlush.
    EXPECT_EQ(m_upstream->DeliverBeginFlush(), S_OK);
    EXPECT_TRUE(Pin()->IsFlushing());
    EXPECT_EQ(m_upstream->Deliver(kSection, 0x10), S_FALSE);
    ASSERT_EQ(m_sink->Run(0), S_OK);
    EXPECT_EQ(m_upstream->Deliver(kSection, 0x10), S_FALSE);
    EXPECT_EQ(m_upstream->DeliverEndFlush(), S_OK);
    EXPECT_EQ(m_upstream->Deliver(kSection, 0x10), S_OK);
    EXPECT_EQ(Pin()->m_received.size(), 1u);
    EXPECT_TRUE(m_graph.Events().empty());
}

TEST_F(ReceiveTest, RefusedTypeChangeIsARunTimeError) {
    ASSERT_EQ(m_sink->Run(0), S_OK);
    CMediaType video(&MEDIATYPE_Video);
    SampleOptions change;
    change.newType = &video;
    EXPECT_EQ(m_upstream->Deliver(kSection, 0x11, change), VFW_E_INVALIDMEDIATYPE);
    auto events = m_graph.Events();
    ASSERT_EQ(events.size(), 1u); // the pin's end of stream finds the error and reports nothing
    EXPECT_EQ(events[0].code, EC_ERRORABORT);
    EXPECT_EQ(events[0].param1, static_cast<LONG_PTR>(VFW_E_TYPE_NOT_ACCEPTED));
    EXPECT_EQ(events[0].param2, 0);
    EXPECT_TRUE(Pin()->m_received.empty());

    // From now on every sample meets the error, until a flush ends.
    EXPECT_EQ(m_upstream->Deliver(kSection, 0x11), VFW_E_RUNTIME_ERROR);
    EXPECT_EQ(Pin()->EndOfStream(), VFW_E_RUNTIME_ERROR);
    EXPECT_EQ(m_upstream->DeliverBeginFlush(), S_OK);
    EXPECT_EQ(m_upstream->DeliverEndFlush(), S_OK);
    EXPECT_EQ(m_upstream->Deliver(kSection, 0x11), S_OK);

    // A type the pin takes passes; so does a change announced on a plain IMediaSample.
    CMediaType sections(&MEDIATYPE_MPEG2_SECTIONS);
    change.newType = &sections;
    EXPECT_EQ(m_upstream->Deliver(kSection, 0x11, change), S_OK);
    change.sample2 = false;
    EXPECT_EQ(m_upstream->Deliver(kSection, 0x11, change), S_OK);
    change.newType = &video;
    EXPECT_EQ(m_upstream->Deliver(kSection, 0x11, change), VFW_E_INVALIDMEDIATYPE);
    EXPECT_EQ(m_graph.CountOf(EC_ERRORABORT), 2u);
    // Stopping clears the error as well.
    ASSERT_EQ(m_sink->Stop(), S_OK);
    ASSERT_EQ(m_sink->Run(0), S_OK);
    EXPECT_EQ(m_upstream->Deliver(kSection, 0x11), S_OK);
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

TEST_F(ReceiveTest, EndOfStreamReportsCompleteOnceWhileRunning) {
    ASSERT_EQ(m_sink->Run(0), S_OK);
    EXPECT_EQ(m_upstream->DeliverEndOfStream(), S_OK);
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
}

TEST_F(ReceiveTest, EndOfStreamWhilePausedWaitsForRun) {
    ASSERT_EQ(m_sink->Pause(), S_OK);
    EXPECT_EQ(m_upstream->DeliverEndOfStream(), S_OK);
    EXPECT_TRUE(m_graph.Events().empty());
    ASSERT_EQ(m_sink->Run(0), S_OK);
    EXPECT_EQ(m_graph.CountOf(EC_COMPLETE), 1u);
    EXPECT_EQ(m_upstream->DeliverEndOfStream(), S_OK);
    EXPECT_EQ(m_graph.CountOf(EC_COMPLETE), 1u);
}

TEST_F(ReceiveTest, EndOfStreamOutsideStreamingIsRefused) {
    EXPECT_EQ(m_upstream->DeliverEndOfStream(), VFW_E_WRONG_STATE);
    ASSERT_EQ(m_sink->Run(0), S_OK);
    ASSERT_EQ(Pin()->BeginFlush(), S_OK);
    EXPECT_EQ(m_upstream->DeliverEndOfStream(), S_FALSE);
    // The rendered pin's own EndFlush starts a new stream: a later end of stream is reported.
    ASSERT_EQ(Pin()->EndFlush(), S_OK);
    EXPECT_TRUE(m_graph.Events().empty());
    EXPECT_EQ(m_upstream->DeliverEndOfStream(), S_OK);
    ASSERT_EQ(Pin()->BeginFlush(), S_OK);
    ASSERT_EQ(Pin()->EndFlush(), S_OK);
    EXPECT_EQ(m_upstream->DeliverEndOfStream(), S_OK);
    EXPECT_EQ(m_graph.CountOf(EC_COMPLETE), 2u);
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

TEST_F(ReceiveTest, StreamingWhileTheGraphChangesState) {
    // One thread streams as a demultiplexer would; this one runs, pauses, flushes and stops the
    // sink meanwhile. Every answer is one the receive check gives, and nothing is lost or leaked.
    ASSERT_EQ(m_sink->Run(0), S_OK);
    std::atomic<bool> stop{false};
    std::atomic<int> delivered{0};
    std::thread streamer([&] {
        while (!stop) {
            HRESULT hr = m_upstream->Deliver(kSection, 0x12);
            EXPECT_TRUE(hr == S_OK || hr == S_FALSE || hr == VFW_E_WRONG_STATE || hr == VFW_E_NOT_COMMITTED ||
                        hr == VFW_E_TIMEOUT)
                << std::hex << hr;
            if (hr == S_OK) {
                delivered++;
            }
            m_upstream->DeliverEndOfStream();
        }
    });
    for (int i = 0; i < 2000; i++) {
        switch (i % 5) {
        case 0:
            m_sink->Pause();
            break;
        case 1:
            m_upstream->DeliverBeginFlush();
            break;
        case 2:
            m_upstream->DeliverEndFlush();
            break;
        case 3:
            m_sink->Stop();
            break;
        default:
            m_sink->Run(0);
            break;
        }
    }
    stop = true;
    streamer.join();
    EXPECT_EQ(static_cast<int>(Pin()->m_received.size()), delivered.load());
}
