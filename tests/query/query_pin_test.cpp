// ITableCollector on a filter whose construction ran out of memory, driven through its connected
// input pin: the control methods still steer the PID mapping.
#include "query_support.h"

#include "intake/TableCollectorInputPin.h"
#include "support/upstream_pin.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace qxtest;

namespace {

const std::vector<ULONG> kBasePids = {0x0000, 0x0001, 0x0010, 0x0011, 0x0012, 0x0013, 0x0014, 0x1FFB};

std::vector<ULONG> Sorted(std::vector<ULONG> pids) {
    std::sort(pids.begin(), pids.end());
    return pids;
}

bool Contains(const std::vector<ULONG>& pids, ULONG pid) {
    return std::find(pids.begin(), pids.end(), pid) != pids.end();
}

// A collector connected to a fake demultiplexer pin and paused, so that its pin takes samples.
class ThroughThePin : public testing::Test {
protected:
    void Connect(Collector& collector) {
        ASSERT_NE(collector.filter->m_pInputPin, nullptr);
        ASSERT_EQ(up.Connect(collector.filter->m_pInputPin), S_OK);
        ASSERT_EQ(collector.filter->Pause(), S_OK);
        connected = collector.filter;
    }
    void SetUp() override {
        ASSERT_EQ(c.hr, S_OK);
        Connect(c);
    }
    void TearDown() override {
        if (connected != nullptr) {
            connected->Stop();
        }
        up.Disconnect();
    }

    Collector c;
    FakeUpstream up;
    TableCollectorFilter* connected = nullptr;
};

TEST_F(ThroughThePin, ResetPatResetsTheMappingEvenWithoutAPatStore) {
    std::unique_ptr<Collector> stopped;
    MakeStoppedCollector(stopped, [](TableCollectorFilter& f) {
        return f.m_pInputPin != nullptr && f.m_pPatStore == nullptr;
    });
    ASSERT_NE(stopped, nullptr);
    // The fixture's collector gives its upstream pin to this one.
    TearDown();
    Connect(*stopped);
    const ULONG pids[] = {0x0200};
    EXPECT_EQ((*stopped)->SetRequestedPids(1, pids), S_OK);
    EXPECT_TRUE(Contains(up.MappedPids(), 0x0200));
    EXPECT_EQ((*stopped)->ResetPat(), E_POINTER);
    EXPECT_EQ(Sorted(up.MappedPids()), kBasePids);
    TearDown();
    connected = nullptr;
}

} // namespace
