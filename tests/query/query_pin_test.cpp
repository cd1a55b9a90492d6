// ITableCollector with sections arriving through the input pin from a fake demultiplexer pin: what
// the pin files is what the interface reads, and the control methods steer the PID mapping.
#include "query_support.h"

#include "intake/TableCollectorInputPin.h"
#include "support/upstream_pin.h"
#include "tables/EitStore.h"

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

TEST_F(ThroughThePin, PatAndPmtFiledByThePinAreReadThroughTheInterface) {
    const Bytes pat = BuildPat(0x0001, 0, {{1, 0x0100}});
    const Bytes pmt = BuildPmt(1, 0, 0x0101, {{0x02, 0x0111}});
    ASSERT_EQ(up.Deliver(pat, 0x0000), S_OK);
    ASSERT_EQ(up.Deliver(pmt, 0x0100), S_OK);

    ULONG status = 99;
    EXPECT_EQ(c->GetPatStatus(&status), S_OK);
    EXPECT_EQ(status, static_cast<ULONG>(TABLE_STATUS_COMPLETE));
    EXPECT_EQ(c->GetPmtStatus(&status), S_OK);
    EXPECT_EQ(status, static_cast<ULONG>(TABLE_STATUS_COMPLETE));
    Copy patCopy, pmtCopy;
    EXPECT_EQ(c->GetPatSection(0, patCopy.out()), S_OK);
    EXPECT_EQ(patCopy.bytes(), pat);
    EXPECT_EQ(c->GetPmtSection(0x0100, 1, pmtCopy.out()), S_OK);
    ASSERT_NE(pmtCopy.p, nullptr);
    EXPECT_EQ(pmtCopy.p->pid, 0x0100u);
    EXPECT_EQ(pmtCopy.bytes(), pmt);
}

TEST_F(ThroughThePin, RequestedPidsAreMappedSeenAndUnmapped) {
    const ULONG pids[] = {0x0200, 0x0300};
    EXPECT_EQ(c->SetRequestedPids(2, pids), S_OK);
    EXPECT_TRUE(Contains(up.MappedPids(), 0x0200));
    EXPECT_TRUE(Contains(up.MappedPids(), 0x0300));

    ULONG seen = 99;
    EXPECT_EQ(c->IsRequestedPidSeen(0x0200, &seen), S_OK);
    EXPECT_EQ(seen, 0u);
    ASSERT_EQ(up.Deliver(BuildPat(0x0001, 0, {}), 0x0200), S_OK);
    EXPECT_EQ(c->IsRequestedPidSeen(0x0200, &seen), S_OK);
    EXPECT_EQ(seen, 1u);
    EXPECT_EQ(c->IsRequestedPidSeen(0x0300, &seen), S_OK);
    EXPECT_EQ(seen, 0u);
    EXPECT_EQ(c->IsRequestedPidSeen(0x0400, &seen), S_OK); // never requested
    EXPECT_EQ(seen, 0u);

    // A count of 0 is refused by the pin but still answers S_OK and changes nothing.
    EXPECT_EQ(c->SetRequestedPids(0, nullptr), S_OK);
    EXPECT_EQ(c->IsRequestedPidSeen(0x0200, &seen), S_OK);
    EXPECT_EQ(seen, 1u);

    EXPECT_EQ(c->UnmapRequestedPids(), S_OK);
    EXPECT_FALSE(Contains(up.MappedPids(), 0x0200));
    EXPECT_FALSE(Contains(up.MappedPids(), 0x0300));
    EXPECT_EQ(c->IsRequestedPidSeen(0x0200, &seen), S_OK);
    EXPECT_EQ(seen, 0u);
}

TEST_F(ThroughThePin, ResetAllTablesReturnsTheMappingToTheBaseSet) {
    ASSERT_EQ(up.Deliver(BuildPat(0x0001, 0, {{1, 0x0100}}), 0x0000), S_OK);
    EXPECT_TRUE(Contains(up.MappedPids(), 0x0100));
    EXPECT_EQ(c->ResetAllTables(), S_OK);
    EXPECT_EQ(Sorted(up.MappedPids()), kBasePids);
    ULONG count = 99;
    EXPECT_EQ(c->GetPatSectionCount(&count), S_OK);
    EXPECT_EQ(count, 0u);
    // The pin has forgotten the PAT it acted on: the same PAT maps its PMT PID again.
    ASSERT_EQ(up.Deliver(BuildPat(0x0001, 0, {{1, 0x0100}}), 0x0000), S_OK);
    EXPECT_TRUE(Contains(up.MappedPids(), 0x0100));
}

TEST_F(ThroughThePin, FlushEmptiesTheStoresAndKeepsTheFlags) {
    ASSERT_EQ(up.Deliver(BuildPat(0x0001, 0, {{1, 0x0100}}), 0x0000), S_OK);
    EXPECT_EQ(c->SetEitResetOnVersionChange(FALSE), S_OK);
    EXPECT_EQ(up.DeliverBeginFlush(), S_OK);
    ULONG count = 99;
    EXPECT_EQ(c->GetPatSectionCount(&count), S_OK);
    EXPECT_EQ(count, 0u);
    EXPECT_FALSE(c.filter->m_pEitStore->GetResetOnVersionChange());
    EXPECT_EQ(up.DeliverEndFlush(), S_OK);
    ASSERT_EQ(up.Deliver(BuildPat(0x0001, 0, {{1, 0x0100}}), 0x0000), S_OK);
    EXPECT_EQ(c->GetPatSectionCount(&count), S_OK);
    EXPECT_EQ(count, 1u);
}

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
