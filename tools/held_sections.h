// Walks what the filter holds, as any application would: through ITableCollector only, learning the keys
// of the keyed tables from the tables that name them (PAT to PMTs; PAT and SDT to services; MGT to ATSC EIT
// table types; VCT to sources; VCT channels and ATSC EIT events to ETM ids). A sub-table is found through
// its section 0, whose last_section_number (and, in the DVB schedule, segment_last_section_number) says
// which other sections to ask for, so the number of requests follows what is held, not every key there
// could be. One copy is held at a time and freed as soon as the visitor returns.
#pragma once
#include <windows.h>
#include <quenlix.h>

#include <cstdint>
#include <functional>
#include <map>
#include <set>
#include <string>

namespace quenlix {

// A table, or one table_id of the DVB EIT / table_type of the ATSC EIT, about to be walked.
struct HeldTable {
    const char* name; // "pat", "pmt", "cat", "nit", "sdt", "bat", "eit", "tdt", "tot", "rst", "mgt", "vct",
                      // "stt", "atsc_eit", "ett"
    ULONG key = 0;    // table_id for "eit", table_type for "atsc_eit"
    ULONG status = 0; // as the interface answers it: 0, 1 or 2
    ULONG count = 0;  // the interface's section count
};

struct HeldSection {
    const HeldTable* table;
    const StoredSection* section;
};

class HeldSections {
public:
    explicit HeldSections(ITableCollector* tc) : m_tc(tc) {}

    // Every table whose name is in chosen (all when empty), in the order above; onTable before each
    // table's sections, answering whether to walk them.
    void Walk(const std::set<std::string>& chosen, const std::function<bool(const HeldTable&)>& onTable,
              const std::function<void(const HeldSection&)>& onSection);

    // Requests for sections made so far (each Get...Section call).
    uint64_t Requests() const { return m_requests; }

private:
    using Visit = std::function<void(const StoredSection*)>;
    void LearnPrograms();
    void LearnServices();
    void LearnAtscKeys();
    void WalkDvbEit(ULONG tableId, const Visit& visit);
    void WalkAtscEit(ULONG tableType, const Visit& visit);

    ITableCollector* m_tc;
    uint64_t m_requests = 0;
    std::set<std::pair<ULONG, ULONG>> m_programs; // (program_number, PMT PID)
    std::set<ULONG> m_services;
    std::set<ULONG> m_eitTypes;
    std::set<ULONG> m_sources;
    std::set<ULONG> m_etmIds;
    std::map<ULONG, ULONG> m_lastTableId; // (service << 8 | schedule range) -> last_table_id
};

} // namespace quenlix
