#include "held_sections.h"

#include <algorithm>
#include <span>

#include "si/Tables.h"

namespace quenlix {

namespace {

std::span<const uint8_t> Bytes(const StoredSection* s) {
    return {s->bytes, s->length};
}

bool Chosen(const std::set<std::string>& chosen, const char* name) {
    return chosen.empty() || chosen.count(name) != 0;
}

} // namespace

void HeldSections::LearnPrograms() {
    ULONG count = 0;
    m_tc->GetPatSectionCount(&count);
    for (ULONG i = 0; i < count; ++i) {
        StoredSection* s = nullptr;
        ++m_requests;
        if (m_tc->GetPatSection(i, &s) == S_OK && s != nullptr) {
            for (const auto& p : si::DecodePat(Bytes(s)).programs) {
                if (p.program_number != 0) {
                    m_programs.insert({p.program_number, p.pid});
                    m_services.insert(p.program_number);
                }
            }
            m_tc->FreePatSection(&s);
        }
    }
}

void HeldSections::LearnServices() {
    ULONG count = 0;
    m_tc->GetSdtSectionCount(0, &count);
    for (ULONG i = 0; i < count; ++i) {
        StoredSection* s = nullptr;
        ++m_requests;
        if (m_tc->GetSdtSection(0, i, &s) == S_OK && s != nullptr) {
            for (const auto& sv : si::DecodeSdt(Bytes(s)).services) {
                m_services.insert(sv.service_id);
            }
            m_tc->FreeSdtSection(&s);
        }
    }
}

void HeldSections::LearnAtscKeys() {
    StoredSection* s = nullptr;
    ++m_requests;
    if (m_tc->GetMgtSection(&s) == S_OK && s != nullptr) {
        for (const auto& t : si::DecodeMgt(Bytes(s)).tables) {
            if (t.table_type >= 0x0100 && t.table_type <= 0x017F) {
                m_eitTypes.insert(t.table_type);
            }
        }
        m_tc->FreeMgtSection(&s);
    }
    ULONG count = 0;
    m_tc->GetVctSectionCount(&count);
    for (ULONG i = 0; i < count; ++i) {
        s = nullptr;
        ++m_requests;
        if (m_tc->GetVctSection(i, &s) == S_OK && s != nullptr) {
            for (const auto& ch : si::DecodeVct(Bytes(s)).channels) {
                m_sources.insert(ch.source_id);
                if (ch.etm_location != 0) {
                    m_etmIds.insert(static_cast<ULONG>(ch.source_id) << 16); // the channel's own text
                }
            }
            m_tc->FreeVctSection(&s);
        }
    }
}

void HeldSections::WalkDvbEit(ULONG tableId, const Visit& visit) {
    const bool schedule = tableId >= 0x50;
    auto get = [&](ULONG service, ULONG number, si::DvbEit* head) {
        StoredSection* s = nullptr;
        ++m_requests;
        if (m_tc->GetEitSection(tableId, number, service, &s) != S_OK || s == nullptr) {
            return false;
        }
        if (head != nullptr) {
            *head = si::DecodeDvbEit(Bytes(s));
        }
        visit(s);
        m_tc->FreeEitSection(&s);
        return true;
    };
    for (ULONG service : m_services) {
        // A schedule's first table names the last one of the service (last_table_id): later tables
        // beyond it need no request.
        const ULONG range = (service << 8) | (tableId & 0xF0);
        const auto known = m_lastTableId.find(range);
        if (schedule && known != m_lastTableId.end() && tableId > known->second) {
            continue;
        }
        si::DvbEit first;
        if (!get(service, 0, &first)) {
            continue;
        }
        if (schedule && !first.stop && known == m_lastTableId.end() && first.last_table_id >= tableId &&
            (first.last_table_id & 0xF0) == (tableId & 0xF0)) {
            m_lastTableId[range] = first.last_table_id;
        }
        const ULONG last = first.header.last_section_number;
        if (!schedule) {
            for (ULONG n = 1; n <= last; ++n) {
                get(service, n, nullptr);
            }
            continue;
        }
        // The schedule comes in segments of eight sections; each segment's first section says where the
        // segment ends.
        for (ULONG segment = 0; segment <= last; segment += 8) {
            ULONG end = std::min<ULONG>(segment + 7, last);
            if (segment == 0) {
                end = std::min<ULONG>(end, first.segment_last_section_number);
            } else {
                si::DvbEit head;
                if (get(service, segment, &head) && !head.stop) {
                    end = std::min<ULONG>(end, head.segment_last_section_number);
                }
            }
            for (ULONG n = segment + 1; n <= end; ++n) {
                get(service, n, nullptr);
            }
        }
    }
}

void HeldSections::WalkAtscEit(ULONG tableType, const Visit& visit) {
    for (ULONG source : m_sources) {
        ULONG last = 0;
        for (ULONG n = 0; n <= last; ++n) {
            StoredSection* s = nullptr;
            ++m_requests;
            if (m_tc->GetAtscEitSection(tableType, n, source, &s) != S_OK || s == nullptr) {
                if (n == 0) {
                    break;
                }
                continue;
            }
            const si::AtscEit eit = si::DecodeAtscEit(Bytes(s));
            if (n == 0) {
                last = eit.header.last_section_number;
            }
            for (const auto& e : eit.events) {
                if (e.etm_location != 0) {
                    m_etmIds.insert(si::EventEtmId(static_cast<uint16_t>(source), e.event_id));
                }
            }
            visit(s);
            m_tc->FreeAtscEitSection(&s);
        }
    }
}

void HeldSections::Walk(const std::set<std::string>& chosen,
                        const std::function<bool(const HeldTable&)>& onTable,
                        const std::function<void(const HeldSection&)>& onSection) {
    LearnPrograms();
    LearnServices();
    LearnAtscKeys();

    using StatusFn = HRESULT (STDMETHODCALLTYPE ITableCollector::*)(ULONG*);
    using IndexFn = HRESULT (STDMETHODCALLTYPE ITableCollector::*)(ULONG, StoredSection**);
    using SingleFn = HRESULT (STDMETHODCALLTYPE ITableCollector::*)(StoredSection**);
    using FreeFn = HRESULT (STDMETHODCALLTYPE ITableCollector::*)(StoredSection**);

    auto emit = [&](const HeldTable& t, StoredSection* s, FreeFn freeFn) {
        onSection({&t, s});
        (m_tc->*freeFn)(&s);
    };
    auto indexed = [&](const char* name, StatusFn statusFn, StatusFn countFn, IndexFn getFn, FreeFn freeFn) {
        if (!Chosen(chosen, name)) {
            return;
        }
        HeldTable t{name};
        (m_tc->*statusFn)(&t.status);
        (m_tc->*countFn)(&t.count);
        if (!onTable(t)) {
            return;
        }
        for (ULONG i = 0; i < t.count; ++i) {
            StoredSection* s = nullptr;
            ++m_requests;
            if ((m_tc->*getFn)(i, &s) == S_OK && s != nullptr) {
                emit(t, s, freeFn);
            }
        }
    };
    auto single = [&](const char* name, StatusFn statusFn, SingleFn getFn, FreeFn freeFn) {
        if (!Chosen(chosen, name)) {
            return;
        }
        HeldTable t{name};
        (m_tc->*statusFn)(&t.status);
        StoredSection* s = nullptr;
        ++m_requests;
        const bool held = (m_tc->*getFn)(&s) == S_OK && s != nullptr;
        t.count = held ? 1 : 0;
        if (onTable(t) && held) {
            emit(t, s, freeFn);
        } else if (held) {
            (m_tc->*freeFn)(&s);
        }
    };
    auto keyed = [&](const char* name, HRESULT (STDMETHODCALLTYPE ITableCollector::*statusFn)(ULONG, ULONG*),
                     HRESULT (STDMETHODCALLTYPE ITableCollector::*countFn)(ULONG, ULONG*),
                     HRESULT (STDMETHODCALLTYPE ITableCollector::*getFn)(ULONG, ULONG, StoredSection**),
                     FreeFn freeFn) {
        if (!Chosen(chosen, name)) {
            return;
        }
        HeldTable t{name};
        (m_tc->*statusFn)(0, &t.status);
        (m_tc->*countFn)(0, &t.count);
        if (!onTable(t)) {
            return;
        }
        for (ULONG i = 0; i < t.count; ++i) {
            StoredSection* s = nullptr;
            ++m_requests;
            if ((m_tc->*getFn)(0, i, &s) == S_OK && s != nullptr) {
                emit(t, s, freeFn);
            }
        }
    };

    indexed("pat", &ITableCollector::GetPatStatus, &ITableCollector::GetPatSectionCount,
            &ITableCollector::GetPatSection, &ITableCollector::FreePatSection);
    if (Chosen(chosen, "pmt")) {
        HeldTable t{"pmt"};
        m_tc->GetPmtStatus(&t.status);
        m_tc->GetPmtSectionCount(&t.count);
        for (const auto& [program, pid] : onTable(t) ? m_programs : decltype(m_programs){}) {
            StoredSection* s = nullptr;
            ++m_requests;
            if (m_tc->GetPmtSection(pid, program, &s) == S_OK && s != nullptr) {
                emit(t, s, &ITableCollector::FreePmtSection);
            }
        }
    }
    indexed("cat", &ITableCollector::GetCatStatus, &ITableCollector::GetCatSectionCount,
            &ITableCollector::GetCatSection, &ITableCollector::FreeCatSection);
    keyed("nit", &ITableCollector::GetNitStatus, &ITableCollector::GetNitSectionCount,
          &ITableCollector::GetNitSection, &ITableCollector::FreeNitSection);
    keyed("sdt", &ITableCollector::GetSdtStatus, &ITableCollector::GetSdtSectionCount,
          &ITableCollector::GetSdtSection, &ITableCollector::FreeSdtSection);
    indexed("bat", &ITableCollector::GetBatStatus, &ITableCollector::GetBatSectionCount,
            &ITableCollector::GetBatSection, &ITableCollector::FreeBatSection);
    if (Chosen(chosen, "eit")) {
        for (ULONG id = 0x4E; id <= 0x6F; ++id) {
            HeldTable t{"eit", id};
            m_tc->GetEitStatus(id, &t.status);
            m_tc->GetEitSectionCount(id, &t.count);
            if (t.status == 0 && t.count == 0) {
                continue; // nothing held: no list, or an empty one
            }
            if (!onTable(t)) {
                continue;
            }
            WalkDvbEit(id, [&](const StoredSection* s) { onSection({&t, s}); });
        }
    }
    single("tdt", &ITableCollector::GetTdtStatus, &ITableCollector::GetTdtSection,
           &ITableCollector::FreeTdtSection);
    single("tot", &ITableCollector::GetTotStatus, &ITableCollector::GetTotSection,
           &ITableCollector::FreeTotSection);
    single("rst", &ITableCollector::GetRstStatus, &ITableCollector::GetRstSection,
           &ITableCollector::FreeRstSection);
    single("mgt", &ITableCollector::GetMgtStatus, &ITableCollector::GetMgtSection,
           &ITableCollector::FreeMgtSection);
    indexed("vct", &ITableCollector::GetVctStatus, &ITableCollector::GetVctSectionCount,
            &ITableCollector::GetVctSection, &ITableCollector::FreeVctSection);
    single("stt", &ITableCollector::GetSttStatus, &ITableCollector::GetSttSection,
           &ITableCollector::FreeSttSection);
    // Event ETM ids are learnt from the ATSC EIT, so it is walked for the ETT even when not shown.
    const bool showEit = Chosen(chosen, "atsc_eit");
    const bool showEtt = Chosen(chosen, "ett");
    if (showEit || showEtt) {
        for (ULONG type : m_eitTypes) {
            HeldTable t{"atsc_eit", type};
            m_tc->GetAtscEitStatus(type, &t.status);
            m_tc->GetAtscEitSectionCount(type, &t.count);
            const bool walk = showEit ? onTable(t) : true;
            if (t.count == 0 || !(walk || showEtt)) {
                continue;
            }
            WalkAtscEit(type, [&](const StoredSection* s) {
                if (showEit && walk) {
                    onSection({&t, s});
                }
            });
        }
    }
    if (showEtt) {
        HeldTable t{"ett"}; // the ETT group has no status
        m_tc->GetEttSectionCount(&t.count);
        if (!onTable(t)) {
            return;
        }
        ULONG found = 0;
        for (auto it = m_etmIds.begin(); it != m_etmIds.end() && found < t.count; ++it) {
            StoredSection* s = nullptr;
            ++m_requests;
            if (m_tc->GetEttSection(*it, &s) == S_OK && s != nullptr) {
                ++found;
                emit(t, s, &ITableCollector::FreeEttSection);
            }
        }
    }
}

} // namespace quenlix
