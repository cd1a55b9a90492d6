// A running filter in a graph, connected to a fake demultiplexer pin, as the intake tests need it.
#pragma once
#include <gtest/gtest.h>

#include "intake/TableCollectorInputPin.h"
#include "query/query_support.h"
#include "support/core/atsc_builder.h"
#include "support/fake_graph.h"
#include "support/upstream_pin.h"

#include <algorithm>

namespace qxtest {

inline const std::vector<ULONG> kBasePids = {0x0000, 0x0010, 0x0011, 0x0012, 0x0013, 0x0014, 0x0001, 0x1FFB};

struct PinFixture : ::testing::Test {
    Collector collector;
    FakeGraph graph;
    FakeUpstream upstream;
    bool running = false;

    TableCollectorFilter* filter() { return collector.filter; }
    TableCollectorInputPin* pin() { return collector.filter->m_pInputPin; }
    ITableCollector* itf() { return collector.itf; }

    void SetUp() override {
        ASSERT_EQ(collector.hr, S_OK);
        ASSERT_EQ(graph.AddFilter(filter(), L"collector"), S_OK);
    }
    void TearDown() override {
        if (running) {
            StopFilter(filter());
        }
        upstream.Disconnect();
        graph.RemoveFilter(filter());
    }

    void ConnectAndRun() {
        ASSERT_EQ(upstream.Connect(pin()), S_OK);
        ASSERT_EQ(RunFilter(filter()), S_OK);
        running = true;
        upstream.ClearCalls();
    }

    HRESULT Send(const Bytes& section, DWORD pid) { return upstream.Deliver(section, pid); }

    ULONG PatStatus() {
        ULONG s = 9;
        itf()->GetPatStatus(&s);
        return s;
    }
    ULONG PmtStatus() {
        ULONG s = 9;
        itf()->GetPmtStatus(&s);
        return s;
    }
    ULONG PmtCount() {
        ULONG c = 99;
        itf()->GetPmtSectionCount(&c);
        return c;
    }
    bool HasPmt(ULONG pid, ULONG program) {
        Copy copy;
        return itf()->GetPmtSection(pid, program, copy.out()) == S_OK && copy.p != nullptr;
    }
    ULONG Seen(ULONG pid) {
        ULONG seen = 9;
        itf()->IsRequestedPidSeen(pid, &seen);
        return seen;
    }
};

inline PidMapCall MapCall(std::vector<ULONG> pids) {
    return {PidMapCall::Map, std::move(pids), MEDIA_MPEG2_PSI};
}
inline PidMapCall UnmapCall(std::vector<ULONG> pids) {
    return {PidMapCall::Unmap, std::move(pids), static_cast<MEDIA_SAMPLE_CONTENT>(0)};
}

inline bool operator==(const PidMapCall& a, const PidMapCall& b) {
    return a.kind == b.kind && a.pids == b.pids && (a.kind == PidMapCall::Unmap || a.content == b.content);
}

inline void PrintTo(const PidMapCall& c, std::ostream* os) {
    *os << (c.kind == PidMapCall::Map ? "Map(" : "Unmap(");
    for (ULONG p : c.pids) {
        *os << std::hex << "0x" << p << " ";
    }
    *os << ")";
}

} // namespace qxtest
