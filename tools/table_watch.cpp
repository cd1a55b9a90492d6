#include "table_watch.h"

#include <nlohmann/json.hpp>

#include <set>

namespace quenlix {

namespace {

int VersionOf(const StoredSection* s) {
    return s != nullptr && s->length >= 8 ? (s->bytes[5] >> 1) & 0x1F : -1;
}

std::string Hex(ULONG v, int digits) {
    char buf[16];
    snprintf(buf, sizeof buf, "0x%0*lX", digits, static_cast<unsigned long>(v));
    return buf;
}

// Status, count and the version of the first held section of a table of numbered sections.
template <class GetFn, class FreeFn>
TableState Indexed(ITableCollector* tc, ULONG status, ULONG count, GetFn get, FreeFn release) {
    TableState t;
    t.status = status;
    t.sections = count;
    for (ULONG i = 0; i < count && t.version < 0; ++i) {
        StoredSection* s = nullptr;
        if ((tc->*get)(i, &s) == S_OK && s != nullptr) {
            t.version = VersionOf(s);
            (tc->*release)(&s);
        }
    }
    return t;
}

// (PMT PID, program_number) of every program the held PAT lists.
std::vector<std::pair<ULONG, ULONG>> Programs(ITableCollector* tc) {
    std::vector<std::pair<ULONG, ULONG>> programs;
    ULONG count = 0;
    tc->GetPatSectionCount(&count);
    for (ULONG i = 0; i < count; ++i) {
        StoredSection* s = nullptr;
        if (tc->GetPatSection(i, &s) != S_OK || s == nullptr) {
            continue;
        }
        for (size_t at = 8; s->length >= 12 && at + 4 <= s->length - 4; at += 4) {
            ULONG number = (static_cast<ULONG>(s->bytes[at]) << 8) | s->bytes[at + 1];
            ULONG pid = ((static_cast<ULONG>(s->bytes[at + 2]) & 0x1F) << 8) | s->bytes[at + 3];
            if (number != 0) {
                programs.emplace_back(pid, number);
            }
        }
        tc->FreePatSection(&s);
    }
    return programs;
}

// EIT table types the held MGT lists.
std::vector<ULONG> AtscEitTypes(ITableCollector* tc) {
    std::vector<ULONG> types;
    StoredSection* s = nullptr;
    if (tc->GetMgtSection(&s) != S_OK || s == nullptr) {
        return types;
    }
    size_t at = 9;
    size_t end = s->length >= 4 ? s->length - 4 : 0;
    unsigned count = at + 2 <= end ? (s->bytes[at] << 8) | s->bytes[at + 1] : 0;
    at += 2;
    for (unsigned i = 0; i < count && at + 11 <= end; ++i) {
        ULONG type = (static_cast<ULONG>(s->bytes[at]) << 8) | s->bytes[at + 1];
        if (type >= 0x0100 && type <= 0x017F) {
            types.push_back(type);
        }
        at += 11 + (((s->bytes[at + 9] & 0x0F) << 8) | s->bytes[at + 10]);
    }
    tc->FreeMgtSection(&s);
    return types;
}

} // namespace

std::map<std::string, TableState> HeldTables(ITableCollector* tc) {
    std::map<std::string, TableState> held;
    auto keep = [&held](const std::string& name, const TableState& t) {
        if (t.sections != 0) {
            held[name] = t;
        }
    };
    ULONG status = 0, count = 0;

    tc->GetPatStatus(&status);
    tc->GetPatSectionCount(&count);
    keep("pat",
         Indexed(tc, status, count, &ITableCollector::GetPatSection, &ITableCollector::FreePatSection));
    for (const auto& [pid, number] : Programs(tc)) {
        StoredSection* s = nullptr;
        if (tc->GetPmtSection(pid, number, &s) == S_OK && s != nullptr) {
            keep("pmt " + Hex(number, 4), TableState{TABLE_STATUS_COMPLETE, VersionOf(s), 1});
            tc->FreePmtSection(&s);
        }
    }
    tc->GetCatStatus(&status);
    tc->GetCatSectionCount(&count);
    keep("cat",
         Indexed(tc, status, count, &ITableCollector::GetCatSection, &ITableCollector::FreeCatSection));
    tc->GetBatStatus(&status);
    tc->GetBatSectionCount(&count);
    keep("bat",
         Indexed(tc, status, count, &ITableCollector::GetBatSection, &ITableCollector::FreeBatSection));
    tc->GetVctStatus(&status);
    tc->GetVctSectionCount(&count);
    keep("vct",
         Indexed(tc, status, count, &ITableCollector::GetVctSection, &ITableCollector::FreeVctSection));

    // The NIT and SDT of the actual stream, as the report shows them.
    TableState t;
    tc->GetNitStatus(0, &t.status);
    tc->GetNitSectionCount(0, &t.sections);
    for (ULONG i = 0; i < t.sections && t.version < 0; ++i) {
        StoredSection* s = nullptr;
        if (tc->GetNitSection(0, i, &s) == S_OK && s != nullptr) {
            t.version = VersionOf(s);
            tc->FreeNitSection(&s);
        }
    }
    keep("nit", t);
    t = TableState{};
    tc->GetSdtStatus(0, &t.status);
    tc->GetSdtSectionCount(0, &t.sections);
    for (ULONG i = 0; i < t.sections && t.version < 0; ++i) {
        StoredSection* s = nullptr;
        if (tc->GetSdtSection(0, i, &s) == S_OK && s != nullptr) {
            t.version = VersionOf(s);
            tc->FreeSdtSection(&s);
        }
    }
    keep("sdt", t);

    // Versions differ from service to service in an EIT: only presence and completeness count.
    for (ULONG id = 0x4E; id <= 0x5F; ++id) {
        if (id == 0x4F) {
            continue; // the other stream's: not collected
        }
        t = TableState{};
        tc->GetEitStatus(id, &t.status);
        tc->GetEitSectionCount(id, &t.sections);
        keep("eit " + Hex(id, 2), t);
    }
    for (ULONG type : AtscEitTypes(tc)) {
        t = TableState{};
        tc->GetAtscEitStatus(type, &t.status);
        tc->GetAtscEitSectionCount(type, &t.sections);
        keep("atsc_eit " + Hex(type, 4), t);
    }

    // Single sections: held or not.
    struct Single {
        const char* name;
        HRESULT (STDMETHODCALLTYPE ITableCollector::*status)(ULONG*);
        HRESULT (STDMETHODCALLTYPE ITableCollector::*get)(StoredSection**);
        HRESULT (STDMETHODCALLTYPE ITableCollector::*release)(StoredSection**);
        bool versioned;
    };
    const Single singles[] = {
        {"tdt", &ITableCollector::GetTdtStatus, &ITableCollector::GetTdtSection,
         &ITableCollector::FreeTdtSection, false},
        {"tot", &ITableCollector::GetTotStatus, &ITableCollector::GetTotSection,
         &ITableCollector::FreeTotSection, false},
        {"rst", &ITableCollector::GetRstStatus, &ITableCollector::GetRstSection,
         &ITableCollector::FreeRstSection, false},
        {"mgt", &ITableCollector::GetMgtStatus, &ITableCollector::GetMgtSection,
         &ITableCollector::FreeMgtSection, true},
        {"stt", &ITableCollector::GetSttStatus, &ITableCollector::GetSttSection,
         &ITableCollector::FreeSttSection, false},
    };
    for (const Single& one : singles) {
        t = TableState{};
        (tc->*one.status)(&t.status);
        if (t.status != TABLE_STATUS_COMPLETE) {
            continue;
        }
        StoredSection* s = nullptr;
        if ((tc->*one.get)(&s) == S_OK && s != nullptr) {
            t.sections = 1;
            t.version = one.versioned ? VersionOf(s) : -1;
            (tc->*one.release)(&s);
        }
        keep(one.name, t);
    }
    t = TableState{};
    if (SUCCEEDED(tc->GetEttSectionCount(&t.sections)) && t.sections != 0) {
        t.status = TABLE_STATUS_COMPLETE; // ETTs are collected one by one: each held one is whole
        keep("ett", t);
    }
    return held;
}

bool CollectionComplete(ITableCollector* tc) {
    ULONG status = 0;
    if (FAILED(tc->GetPatStatus(&status)) || status != TABLE_STATUS_COMPLETE) {
        return false;
    }
    if (!Programs(tc).empty() && (FAILED(tc->GetPmtStatus(&status)) || status != TABLE_STATUS_COMPLETE)) {
        return false;
    }
    for (const auto& [name, t] : HeldTables(tc)) {
        if (t.status == TABLE_STATUS_INCOMPLETE) {
            return false;
        }
    }
    return true;
}

std::vector<TableEvent> TableWatch::Look(ITableCollector* tc) {
    std::vector<TableEvent> events;
    std::map<std::string, TableState> now = HeldTables(tc);
    for (const auto& [name, t] : now) {
        auto before = m_last.find(name);
        if (before == m_last.end()) {
            events.push_back({name, "appeared", t, -1});
            if (t.status == TABLE_STATUS_COMPLETE) {
                events.push_back({name, "complete", t, -1});
            }
            continue;
        }
        const TableState& b = before->second;
        bool newVersion = t.version != b.version && b.version >= 0 && t.version >= 0;
        if (newVersion) {
            events.push_back({name, "version", t, b.version});
        }
        if (t.status == TABLE_STATUS_COMPLETE && (b.status != TABLE_STATUS_COMPLETE || newVersion)) {
            events.push_back({name, "complete", t, -1});
        }
    }
    m_last = std::move(now);
    return events;
}

void PrintEvent(FILE* out, const TableEvent& e, bool json) {
    const char* status = e.state.status == TABLE_STATUS_COMPLETE ? "complete" : "incomplete";
    if (json) {
        nlohmann::ordered_json j;
        j["table"] = e.table;
        j["event"] = e.event;
        if (e.state.version >= 0) {
            j["version"] = e.state.version;
        }
        if (e.event == "version") {
            j["previous_version"] = e.previous_version;
        }
        j["status"] = status;
        j["sections"] = e.state.sections;
        fprintf(out, "%s\n", j.dump().c_str());
    } else if (e.event == "version") {
        fprintf(out, "%s: version %d -> %d (%s, %lu sections)\n", e.table.c_str(), e.previous_version,
                e.state.version, status, static_cast<unsigned long>(e.state.sections));
    } else if (e.state.version >= 0) {
        fprintf(out, "%s: %s (version %d, %lu sections)\n", e.table.c_str(), e.event.c_str(), e.state.version,
                static_cast<unsigned long>(e.state.sections));
    } else {
        fprintf(out, "%s: %s (%lu sections)\n", e.table.c_str(), e.event.c_str(),
                static_cast<unsigned long>(e.state.sections));
    }
    fflush(out);
}

} // namespace quenlix
