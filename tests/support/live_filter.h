// A running filter connected to a fake demultiplexer pin, as the fuzz targets and the fault and stress
// tests drive it: sections go in through Receive, and everything read back is checked against what
// was delivered.
#pragma once
#include <set>

#include "query/query_support.h"
#include "support/collector_reads.h"
#include "support/fake_graph.h"
#include "support/upstream_pin.h"

namespace qxtest {

// PIDs the opening PAT and MGT announce.
constexpr DWORD kPmtPid = 0x0100;
constexpr DWORD kEitPid = 0x1D00;
constexpr DWORD kEttPid = 0x1D01;

Bytes OpeningPat();
Bytes OpeningMgt();

class LiveFilter {
public:
    // hr() is S_OK once the filter runs connected. A sampleSize makes the allocator's one buffer that
    // size, so that a read past a sample of that size leaves the heap block.
    explicit LiveFilter(LONG sampleSize = 0);
    ~LiveFilter();
    LiveFilter(const LiveFilter&) = delete;
    LiveFilter& operator=(const LiveFilter&) = delete;

    HRESULT hr() const { return m_hr; }
    ITableCollector* itf() { return m_collector.itf; }
    TableCollectorFilter* filter() { return m_collector.filter; }
    FakeUpstream& upstream() { return m_upstream; }
    ReadKeys& keys() { return m_keys; }

    // Delivers a section on pid, remembering its bytes and the keys that find it again.
    HRESULT Deliver(DWORD pid, const Bytes& section);
    // Delivers OpeningPat (program 1 on kPmtPid) and OpeningMgt (EIT-0 on kEitPid, its ETT on kEttPid).
    void DeliverOpening();
    // Reads every group; answers the calls that broke their promise plus the copies whose bytes were
    // never delivered. seen, when given, also gets every copy.
    int ReadEverything(const CopySeen& seen = {});
    // The copies one group ("PAT", "ATSC EIT", ...) hands out now.
    std::vector<Bytes> Held(const char* group);

private:
    HRESULT m_hr = E_FAIL;
    Collector m_collector;
    FakeGraph m_graph;
    FakeUpstream m_upstream;
    ReadKeys m_keys;
    std::set<Bytes> m_delivered;
};

} // namespace qxtest
