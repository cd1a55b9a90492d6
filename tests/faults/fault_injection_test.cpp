// Out of memory at every allocation of every table's Receive path and of every interface read. Each
// time, the group holds the old section or the new one and nothing else, Receive still answers S_OK,
// the pin recovers as its rules say, and the sanitizer build sees no leak.
#include "support/live_filter.h"

#include "intake/TableCollectorInputPin.h"

#include <gtest/gtest.h>

namespace qxtest {
namespace {

struct TableCase {
    const char* group;
    DWORD pid;
    Bytes old_version; // held before the failing delivery; empty: nothing held
    Bytes new_version;
};

std::vector<TableCase> Tables() {
    const uint16_t id = 0xA5C3;
    return {
        {"PAT", 0x0000, OpeningPat(), BuildPat(id, 31, {{1, kPmtPid}, {id, 0x1FF0}})},
        {"PMT", kPmtPid, BuildPmt(1, 0, 0x1FFE, {}), BuildPmt(1, 17, 0x1FFE, {{0x02, 0x1ABC}}, Bytes(40, 7))},
        {"NIT", 0x0010, BuildNitLike(0x40, id, 3, 0, 0), BuildNitLike(0x40, id, 4, 1, 2)},
        {"SDT", 0x0011, BuildSdt(id, 30, 0, 0), BuildSdt(id, 31, 0, 1)},
        {"BAT", 0x0011, {}, BuildNitLike(0x4A, id, 16, 0, 0)},
        {"EIT", 0x0012, BuildEit(0x4E, id, 15, 0, 1, 1), BuildEit(0x4E, id, 16, 1, 1, 1)},
        {"TDT", 0x0014, BuildTdt(0x01), BuildTdt(0x59)},
        {"TOT", 0x0014, {}, BuildTot()},
        {"RST", 0x0013, {}, BuildRst()},
        {"CAT", 0x0001, BuildCat(1, 0, 0), BuildCat(2, 0, 0)},
        {"MGT", 0x1FFB, OpeningMgt(),
         BuildMgt(9, {{0x0100, kEitPid, 1, 300, {}}, {0x0201, 0x1D07, 2, 9, {}}})},
        {"VCT", 0x1FFB, BuildTvct(id, 0), BuildTvct(id, 1, 0, 1)},
        {"STT", 0x1FFB, BuildStt(1000), BuildStt(0xFFFFFFF0, 255)},
        {"ATSC EIT", kEitPid, BuildAtscEit(id, 0, 0, 0), BuildAtscEit(id, 31, 0, 0, 0xFFFF)},
        {"ETT", kEttPid, BuildEtt(0xA5C30002, 0), BuildEtt(0xA5C30002, 1, Bytes(100, 'x'))},
    };
}

TEST(FaultInjection, EveryAllocationOfEveryTablesReceive) {
    for (const TableCase& t : Tables()) {
        SCOPED_TRACE(t.group);
        bool succeeded = false;
        unsigned long k = 1;
        for (; !succeeded && k < 200; ++k) {
            SCOPED_TRACE(k);
            LiveFilter f;
            ASSERT_EQ(f.hr(), S_OK);
            f.DeliverOpening();
            if (!t.old_version.empty()) {
                f.Deliver(t.pid, t.old_version);
            }
            const unsigned long before = MemAllocationCount();
            MemFailAt(k);
            EXPECT_EQ(f.Deliver(t.pid, t.new_version), S_OK);
            MemFailAt(0);
            succeeded = MemAllocationCount() - before < k;

            std::vector<Bytes> held = f.Held(t.group);
            for (const Bytes& h : held) {
                EXPECT_TRUE(h == t.new_version || h == t.old_version);
            }
            if (succeeded) {
                EXPECT_NE(std::find(held.begin(), held.end(), t.new_version), held.end());
            }
            EXPECT_EQ(f.ReadEverything(), 0);
        }
        EXPECT_TRUE(succeeded);
        EXPECT_GT(k, 2u) << "filing a new version allocates";
    }
}

// A PAT or MGT filed while the pin's lists could not be made is not acted on; the next version is,
// and the tables it announces are collected again.
TEST(FaultInjection, PinRecoversAtTheNextVersion) {
    for (unsigned long k = 1; k < 40; ++k) {
        SCOPED_TRACE(k);
        LiveFilter f;
        ASSERT_EQ(f.hr(), S_OK);
        MemFailAt(k);
        f.DeliverOpening();
        MemFailAt(0);
        f.Deliver(0x0000, BuildPat(0x1234, 4, {{1, kPmtPid}}));
        f.Deliver(0x1FFB, BuildMgt(6, {{0x0100, kEitPid, 1, 300, {}}}));
        Bytes pmt = BuildPmt(1, 2, 0x1FFE, {});
        Bytes eit = BuildAtscEit(0x0102, 3);
        f.Deliver(kPmtPid, pmt);
        f.Deliver(kEitPid, eit);
        EXPECT_EQ(f.Held("PMT"), std::vector<Bytes>{pmt});
        EXPECT_EQ(f.Held("ATSC EIT"), std::vector<Bytes>{eit});
    }
}

TEST(FaultInjection, EveryAllocationOfEveryRead) {
    LiveFilter f;
    ASSERT_EQ(f.hr(), S_OK);
    f.DeliverOpening();
    for (const TableCase& t : Tables()) {
        f.Deliver(t.pid, t.new_version);
    }
    const unsigned long perPass = [&] {
        const unsigned long before = MemAllocationCount();
        EXPECT_EQ(f.ReadEverything(), 0);
        return MemAllocationCount() - before;
    }();
    ASSERT_GT(perPass, 15u);
    for (unsigned long k = 1; k <= perPass; ++k) {
        MemFailAt(k);
        int faults = ReadAllGroups(f.itf(), f.keys());
        MemFailAt(0);
        EXPECT_EQ(faults, 0) << "allocation " << k;
    }
}

// Connections made and broken, with flushes between, leave every reference count as it was. The pin
// keeps the PID map of the pin it was last connected to until it connects again or goes.
TEST(FaultInjection, ReferenceCountsAcrossReconnects) {
    auto refs = [](IUnknown* p) {
        p->AddRef();
        return p->Release();
    };
    FakeGraph graph;
    FakeUpstream upstream;
    const ULONG upstreamAlone = refs(upstream.Filter());
    auto collector = std::make_unique<Collector>();
    ASSERT_EQ(graph.AddFilter(collector->filter, L"collector"), S_OK);
    const ULONG filterRefs = refs(collector->itf);
    const LONG graphRefs = graph.RefCount();
    for (int i = 0; i < 3; ++i) {
        ASSERT_EQ(upstream.Connect(collector->filter->m_pInputPin), S_OK);
        ASSERT_EQ(RunFilter(collector->filter), S_OK);
        upstream.Deliver(BuildPat(1, i, {{1, kPmtPid}}), 0);
        upstream.DeliverBeginFlush();
        upstream.DeliverEndFlush();
        ASSERT_EQ(StopFilter(collector->filter), S_OK);
        ASSERT_EQ(upstream.Disconnect(), S_OK);
        EXPECT_EQ(refs(collector->itf), filterRefs);
        EXPECT_EQ(refs(upstream.Filter()), upstreamAlone + 1) << "the held PID map, once";
        EXPECT_EQ(graph.RefCount(), graphRefs);
    }
    graph.RemoveFilter(collector->filter);
    collector.reset();
    EXPECT_EQ(refs(upstream.Filter()), upstreamAlone);
}

} // namespace
} // namespace qxtest
