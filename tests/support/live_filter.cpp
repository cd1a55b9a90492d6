#include "support/live_filter.h"

#include "intake/TableCollectorInputPin.h"

#include <cstring>

namespace qxtest {

LiveFilter::LiveFilter(LONG sampleSize) {
    // Keys no section announces still go through the lookups.
    m_keys.eit_tables = {0x4E, 0x50, 0x5F};
    m_keys.atsc_table_types = {0x0100};
    if (sampleSize > 0) {
        m_upstream.SetBuffers(1, sampleSize);
    }
    if (m_collector.hr != S_OK || FAILED(m_hr = m_graph.AddFilter(m_collector.filter, L"collector")) ||
        FAILED(m_hr = m_upstream.Connect(m_collector.filter->m_pInputPin))) {
        return;
    }
    m_hr = RunFilter(m_collector.filter);
}

LiveFilter::~LiveFilter() {
    StopFilter(m_collector.filter);
    m_upstream.Disconnect();
    m_graph.RemoveFilter(m_collector.filter);
}

HRESULT LiveFilter::Deliver(DWORD pid, const Bytes& section) {
    m_delivered.insert(section);
    LearnKeys(m_keys, pid, section.data(), section.size());
    return m_upstream.Deliver(section, pid);
}

Bytes OpeningPat() {
    return BuildPat(0x1234, 3, {{0, 0x0010}, {1, kPmtPid}});
}

Bytes OpeningMgt() {
    return BuildMgt(5, {{0x0100, kEitPid, 1, 300, {}}, {0x0200, kEttPid, 1, 300, {}}});
}

void LiveFilter::DeliverOpening() {
    Deliver(0x0000, OpeningPat());
    Deliver(0x1FFB, OpeningMgt());
}

int LiveFilter::ReadEverything(const CopySeen& seen) {
    int foreign = 0;
    int faults = ReadAllGroups(itf(), m_keys, [&](const char* group, const StoredSection& copy) {
        foreign += m_delivered.count(Bytes(copy.bytes, copy.bytes + copy.length)) == 0;
        if (seen) {
            seen(group, copy);
        }
    });
    return faults + foreign;
}

std::vector<Bytes> LiveFilter::Held(const char* group) {
    std::vector<Bytes> out;
    ReadEverything([&](const char* g, const StoredSection& c) {
        if (strcmp(g, group) == 0) {
            out.emplace_back(c.bytes, c.bytes + c.length);
        }
    });
    return out;
}

} // namespace qxtest
