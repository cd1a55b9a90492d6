#include "support/collector_reads.h"

#include <algorithm>

namespace qxtest {

namespace {

using Free = HRESULT (STDMETHODCALLTYPE ITableCollector::*)(StoredSection**);

// Only what one call promises is checked: other threads may reset or file between two calls.
struct Reader {
    ITableCollector* itf;
    const CopySeen& seen;
    int faults = 0;

    void Value(HRESULT hr) {
        if (hr != S_OK) {
            ++faults;
        }
    }
    // A copy is whole and goes back through its own group's free method.
    template <class Get> void Got(const char* group, Get get, Free free) {
        StoredSection* copy = nullptr;
        const HRESULT hr = get(&copy);
        if (copy == nullptr) {
            return;
        }
        if (hr != S_OK || copy->length == 0 || copy->bytes == nullptr) {
            ++faults;
        } else if (seen) {
            seen(group, *copy);
        }
        if ((itf->*free)(&copy) != S_OK || copy != nullptr) {
            ++faults;
        }
    }
    template <class Count, class Get>
    void Indexed(const char* group, Count count, Get get, Free free, ULONG max) {
        ULONG n = 0;
        Value(count(&n));
        for (ULONG i = 0; i < std::min(n, max); ++i) {
            Got(
                group, [&](StoredSection** c) { return get(i, c); }, free);
        }
    }
    void Single(const char* group, HRESULT (STDMETHODCALLTYPE ITableCollector::*status)(ULONG*),
                HRESULT (STDMETHODCALLTYPE ITableCollector::*get)(StoredSection**), Free free) {
        ULONG s = 9;
        Value((itf->*status)(&s));
        Got(
            group, [&](StoredSection** c) { return (itf->*get)(c); }, free);
    }
};

} // namespace

int ReadAllGroups(ITableCollector* itf, const ReadKeys& keys, const CopySeen& seen) {
    Reader r{itf, seen};
    ULONG s = 0;
    const ULONG max = 4; // indexed groups: slots 0 to 3
    auto count = [itf](HRESULT (STDMETHODCALLTYPE ITableCollector::*fn)(ULONG*)) {
        return [itf, fn](ULONG* n) { return (itf->*fn)(n); };
    };
    auto get = [itf](HRESULT (STDMETHODCALLTYPE ITableCollector::*fn)(ULONG, StoredSection**)) {
        return [itf, fn](ULONG i, StoredSection** c) { return (itf->*fn)(i, c); };
    };

    r.Value(itf->GetPatStatus(&s));
    r.Indexed("PAT", count(&ITableCollector::GetPatSectionCount), get(&ITableCollector::GetPatSection),
              &ITableCollector::FreePatSection, max);

    r.Value(itf->GetPmtStatus(&s));
    r.Value(itf->GetPmtSectionCount(&s));
    for (const auto& key : keys.pmt) {
        r.Got(
            "PMT", [&](StoredSection** c) { return itf->GetPmtSection(key.first, key.second, c); },
            &ITableCollector::FreePmtSection);
    }

    r.Value(itf->GetNitStatus(0, &s));
    r.Indexed(
        "NIT", [itf](ULONG* n) { return itf->GetNitSectionCount(0, n); },
        [itf](ULONG i, StoredSection** c) { return itf->GetNitSection(0, i, c); },
        &ITableCollector::FreeNitSection, max);
    r.Value(itf->GetBatStatus(&s));
    r.Indexed("BAT", count(&ITableCollector::GetBatSectionCount), get(&ITableCollector::GetBatSection),
              &ITableCollector::FreeBatSection, max);
    r.Value(itf->GetSdtStatus(0, &s));
    r.Indexed(
        "SDT", [itf](ULONG* n) { return itf->GetSdtSectionCount(0, n); },
        [itf](ULONG i, StoredSection** c) { return itf->GetSdtSection(0, i, c); },
        &ITableCollector::FreeSdtSection, max);

    for (ULONG table : keys.eit_tables) {
        r.Value(itf->GetEitStatus(table, &s));
        r.Value(itf->GetEitSectionCount(table, &s));
        for (const auto& key : keys.eit) {
            r.Got(
                "EIT", [&](StoredSection** c) { return itf->GetEitSection(table, key.first, key.second, c); },
                &ITableCollector::FreeEitSection);
        }
    }

    r.Single("TDT", &ITableCollector::GetTdtStatus, &ITableCollector::GetTdtSection,
             &ITableCollector::FreeTdtSection);
    r.Single("TOT", &ITableCollector::GetTotStatus, &ITableCollector::GetTotSection,
             &ITableCollector::FreeTotSection);
    r.Single("RST", &ITableCollector::GetRstStatus, &ITableCollector::GetRstSection,
             &ITableCollector::FreeRstSection);
    r.Value(itf->GetCatStatus(&s));
    r.Indexed("CAT", count(&ITableCollector::GetCatSectionCount), get(&ITableCollector::GetCatSection),
              &ITableCollector::FreeCatSection, max);
    r.Single("MGT", &ITableCollector::GetMgtStatus, &ITableCollector::GetMgtSection,
             &ITableCollector::FreeMgtSection);
    r.Value(itf->GetVctStatus(&s));
    r.Indexed("VCT", count(&ITableCollector::GetVctSectionCount), get(&ITableCollector::GetVctSection),
              &ITableCollector::FreeVctSection, max);
    r.Single("STT", &ITableCollector::GetSttStatus, &ITableCollector::GetSttSection,
             &ITableCollector::FreeSttSection);

    for (ULONG type : keys.atsc_table_types) {
        r.Value(itf->GetAtscEitStatus(type, &s));
        r.Value(itf->GetAtscEitSectionCount(type, &s));
        for (const auto& key : keys.atsc_eit) {
            r.Got(
                "ATSC EIT",
                [&](StoredSection** c) { return itf->GetAtscEitSection(type, key.first, key.second, c); },
                &ITableCollector::FreeAtscEitSection);
        }
    }
    r.Value(itf->GetEttSectionCount(&s));
    for (ULONG etm : keys.etm_ids) {
        r.Got(
            "ETT", [&](StoredSection** c) { return itf->GetEttSection(etm, c); },
            &ITableCollector::FreeEttSection);
    }
    return r.faults;
}

void LearnKeys(ReadKeys& keys, ULONG pid, const uint8_t* p, size_t n) {
    auto add = [](auto& list, auto value) {
        if (std::find(list.begin(), list.end(), value) == list.end()) {
            list.push_back(value);
        }
    };
    if (n < 8) {
        return;
    }
    const ULONG tableId = p[0];
    const ULONG ext = (static_cast<ULONG>(p[3]) << 8) | p[4];
    const ULONG section = p[6];
    if (tableId == 0x02) {
        add(keys.pmt, std::pair<ULONG, ULONG>(pid, ext));
    } else if (tableId == 0x4E || (tableId >= 0x50 && tableId <= 0x5F)) {
        add(keys.eit_tables, tableId);
        add(keys.eit, std::pair<ULONG, ULONG>(section, ext));
    } else if (tableId == 0xCB) {
        add(keys.atsc_eit, std::pair<ULONG, ULONG>(section, ext));
    } else if (tableId == 0xCC && n >= 13) {
        add(keys.etm_ids, (static_cast<ULONG>(p[9]) << 24) | (p[10] << 16) | (p[11] << 8) | p[12]);
    } else if (tableId == 0xC7 && n >= 11) {
        // Every EIT table_type the MGT announces.
        size_t at = 11;
        for (unsigned i = 0, count = (p[9] << 8) | p[10]; i < count && at + 11 <= n; ++i) {
            ULONG type = (static_cast<ULONG>(p[at]) << 8) | p[at + 1];
            if (type >= 0x100 && type <= 0x17F) {
                add(keys.atsc_table_types, type);
            }
            at += 11 + (((p[at + 9] & 0x0F) << 8) | p[at + 10]);
        }
    }
}

} // namespace qxtest
