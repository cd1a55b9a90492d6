// The key-learning walk against a fake ITableCollector that holds sections by the filter's keys: every
// held section is found through the tables that name it, and the requests follow what is held.
#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "held_sections.h"
#include "si/Tables.h"
#include "support/core/atsc_builder.h"
#include "support/core/section_builder.h"

using qxtest::Bytes;

namespace {

class FakeCollector : public ITableCollector {
public:
    std::vector<Bytes> pat, sdt, vct;
    std::map<std::pair<ULONG, ULONG>, Bytes> pmt;                  // (PID, program)
    std::map<std::tuple<ULONG, ULONG, ULONG>, Bytes> eit, atscEit; // (table, section, service/source)
    std::map<ULONG, Bytes> ett;
    Bytes mgt;
    uint64_t gets = 0;
    int live = 0; // copies handed out and not yet freed

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** ppv) override {
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 1; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE ResetAllTables() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE SetRequestedPids(ULONG, const ULONG*) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE IsRequestedPidSeen(ULONG, ULONG*) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE UnmapRequestedPids() override { return S_OK; }

    HRESULT STDMETHODCALLTYPE GetPatStatus(ULONG* s) override { return Status(s, !pat.empty()); }
    HRESULT STDMETHODCALLTYPE GetPatSectionCount(ULONG* c) override { return Count(c, pat.size()); }
    HRESULT STDMETHODCALLTYPE GetPatSection(ULONG i, StoredSection** p) override { return At(pat, i, p); }
    HRESULT STDMETHODCALLTYPE FreePatSection(StoredSection** p) override { return Free(p); }
    HRESULT STDMETHODCALLTYPE ResetPat() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE GetPmtStatus(ULONG* s) override { return Status(s, !pmt.empty()); }
    HRESULT STDMETHODCALLTYPE GetPmtSectionCount(ULONG* c) override { return Count(c, pmt.size()); }
    HRESULT STDMETHODCALLTYPE GetPmtSection(ULONG pid, ULONG program, StoredSection** p) override {
        return Key(pmt, {pid, program}, p, E_INVALIDARG);
    }
    HRESULT STDMETHODCALLTYPE FreePmtSection(StoredSection** p) override { return Free(p); }
    HRESULT STDMETHODCALLTYPE ResetPmt() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE GetNitStatus(ULONG, ULONG* s) override { return Status(s, false); }
    HRESULT STDMETHODCALLTYPE GetNitSectionCount(ULONG, ULONG* c) override { return Count(c, 0); }
    HRESULT STDMETHODCALLTYPE GetNitSection(ULONG, ULONG, StoredSection**) override { return E_INVALIDARG; }
    HRESULT STDMETHODCALLTYPE FreeNitSection(StoredSection** p) override { return Free(p); }
    HRESULT STDMETHODCALLTYPE ResetNit() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE GetBatStatus(ULONG* s) override { return Status(s, false); }
    HRESULT STDMETHODCALLTYPE GetBatSectionCount(ULONG* c) override { return Count(c, 0); }
    HRESULT STDMETHODCALLTYPE GetBatSection(ULONG, StoredSection**) override { return E_INVALIDARG; }
    HRESULT STDMETHODCALLTYPE FreeBatSection(StoredSection** p) override { return Free(p); }
    HRESULT STDMETHODCALLTYPE ResetBat() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE GetSdtStatus(ULONG, ULONG* s) override { return Status(s, !sdt.empty()); }
    HRESULT STDMETHODCALLTYPE GetSdtSectionCount(ULONG, ULONG* c) override { return Count(c, sdt.size()); }
    HRESULT STDMETHODCALLTYPE GetSdtSection(ULONG, ULONG i, StoredSection** p) override {
        return At(sdt, i, p);
    }
    HRESULT STDMETHODCALLTYPE FreeSdtSection(StoredSection** p) override { return Free(p); }
    HRESULT STDMETHODCALLTYPE ResetSdt() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE GetEitStatus(ULONG t, ULONG* s) override {
        *s = Distinct(eit, t) != 0 ? 2 : 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetEitSectionCount(ULONG t, ULONG* c) override {
        return Count(c, Distinct(eit, t));
    }
    HRESULT STDMETHODCALLTYPE GetEitSection(ULONG t, ULONG n, ULONG service, StoredSection** p) override {
        return Key(eit, {t, n, service}, p, E_POINTER);
    }
    HRESULT STDMETHODCALLTYPE FreeEitSection(StoredSection** p) override { return Free(p); }
    HRESULT STDMETHODCALLTYPE ResetEit() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE SetEitResetOnVersionChange(BOOL) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE GetTdtStatus(ULONG* s) override { return Status(s, false); }
    HRESULT STDMETHODCALLTYPE GetTdtSection(StoredSection**) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE FreeTdtSection(StoredSection** p) override { return Free(p); }
    HRESULT STDMETHODCALLTYPE ResetTdt() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE GetTotStatus(ULONG* s) override { return Status(s, false); }
    HRESULT STDMETHODCALLTYPE GetTotSection(StoredSection**) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE FreeTotSection(StoredSection** p) override { return Free(p); }
    HRESULT STDMETHODCALLTYPE ResetTot() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE GetRstStatus(ULONG* s) override { return Status(s, false); }
    HRESULT STDMETHODCALLTYPE GetRstSection(StoredSection**) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE FreeRstSection(StoredSection** p) override { return Free(p); }
    HRESULT STDMETHODCALLTYPE ResetRst() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE GetCatStatus(ULONG* s) override { return Status(s, false); }
    HRESULT STDMETHODCALLTYPE GetCatSectionCount(ULONG* c) override { return Count(c, 0); }
    HRESULT STDMETHODCALLTYPE GetCatSection(ULONG, StoredSection**) override { return E_INVALIDARG; }
    HRESULT STDMETHODCALLTYPE FreeCatSection(StoredSection** p) override { return Free(p); }
    HRESULT STDMETHODCALLTYPE ResetCat() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE GetMgtStatus(ULONG* s) override { return Status(s, !mgt.empty()); }
    HRESULT STDMETHODCALLTYPE GetMgtSection(StoredSection** p) override {
        ++gets;
        return mgt.empty() ? S_OK : Copy(mgt, p);
    }
    HRESULT STDMETHODCALLTYPE FreeMgtSection(StoredSection** p) override { return Free(p); }
    HRESULT STDMETHODCALLTYPE ResetMgt() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE GetVctStatus(ULONG* s) override { return Status(s, !vct.empty()); }
    HRESULT STDMETHODCALLTYPE GetVctSectionCount(ULONG* c) override { return Count(c, vct.size()); }
    HRESULT STDMETHODCALLTYPE GetVctSection(ULONG i, StoredSection** p) override { return At(vct, i, p); }
    HRESULT STDMETHODCALLTYPE FreeVctSection(StoredSection** p) override { return Free(p); }
    HRESULT STDMETHODCALLTYPE ResetVct() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE GetSttStatus(ULONG* s) override { return Status(s, false); }
    HRESULT STDMETHODCALLTYPE GetSttSection(StoredSection**) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE FreeSttSection(StoredSection** p) override { return Free(p); }
    HRESULT STDMETHODCALLTYPE ResetStt() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE GetAtscEitStatus(ULONG t, ULONG* s) override {
        *s = Distinct(atscEit, t) != 0 ? 2 : 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetAtscEitSectionCount(ULONG t, ULONG* c) override {
        return Count(c, Distinct(atscEit, t));
    }
    HRESULT STDMETHODCALLTYPE GetAtscEitSection(ULONG t, ULONG n, ULONG source, StoredSection** p) override {
        return Key(atscEit, {t, n, source}, p, E_INVALIDARG);
    }
    HRESULT STDMETHODCALLTYPE FreeAtscEitSection(StoredSection** p) override { return Free(p); }
    HRESULT STDMETHODCALLTYPE ResetAtscEit() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE SetAtscEitResetOnVersionChange(BOOL) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE GetEttSectionCount(ULONG* c) override { return Count(c, ett.size()); }
    HRESULT STDMETHODCALLTYPE GetEttSection(ULONG id, StoredSection** p) override {
        return Key(ett, id, p, E_INVALIDARG);
    }
    HRESULT STDMETHODCALLTYPE FreeEttSection(StoredSection** p) override { return Free(p); }
    HRESULT STDMETHODCALLTYPE ResetEtt() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE EnableEttCollection(BOOL) override { return S_OK; }

private:
    static HRESULT Status(ULONG* s, bool held) {
        *s = held ? 2 : 1;
        return S_OK;
    }
    static HRESULT Count(ULONG* c, size_t n) {
        *c = static_cast<ULONG>(n);
        return S_OK;
    }
    template <class M> static size_t Distinct(const M& m, ULONG table) {
        std::set<ULONG> numbers;
        for (const auto& [k, v] : m) {
            if (std::get<0>(k) == table) {
                numbers.insert(std::get<1>(k));
            }
        }
        return numbers.size();
    }
    HRESULT Copy(const Bytes& b, StoredSection** p) {
        auto* s =
            new StoredSection{0, b.size() > 6 ? b[6] : 0u, static_cast<DWORD>(b.size()), new BYTE[b.size()]};
        std::copy(b.begin(), b.end(), s->bytes);
        *p = s;
        ++live;
        return S_OK;
    }
    HRESULT At(const std::vector<Bytes>& v, ULONG i, StoredSection** p) {
        ++gets;
        return i < v.size() ? Copy(v[i], p) : E_INVALIDARG;
    }
    template <class M>
    HRESULT Key(const M& m, const typename M::key_type& k, StoredSection** p, HRESULT missing) {
        ++gets;
        auto it = m.find(k);
        return it == m.end() ? missing : Copy(it->second, p);
    }
    HRESULT Free(StoredSection** p) {
        if (*p != nullptr) {
            delete[](*p)->bytes;
            delete *p;
            *p = nullptr;
            --live;
        }
        return S_OK;
    }
};

Bytes DvbEit(uint8_t table, uint16_t service, uint8_t number, uint8_t last, uint8_t segmentLast) {
    qxtest::SectionBuilder b;
    b.Table(table).Extension(service).Number(number, last);
    b.Append({0x00, 0x01, 0x00, 0x01, segmentLast, table});
    return b.Build();
}

Bytes Vct(const std::vector<std::pair<uint16_t, uint8_t>>& channels) { // (source_id, ETM_location)
    qxtest::SectionBuilder b = qxtest::TvctBuilder(1, 0, 0, 0);
    b.body = {0x00, static_cast<uint8_t>(channels.size())};
    for (auto [source, etm] : channels) {
        b.body.insert(b.body.end(), 14, 0);
        b.Append({0xF0, 0x04, 0x04, 0x04, 0, 0, 0, 0, 0, 1, 0, 1});
        b.Append16(static_cast<uint16_t>(etm << 14 | 0x0002));
        b.Append16(source);
        b.Append16(0xFC00);
    }
    b.Append16(0xFC00);
    return qxtest::BuildPsip(b);
}

Bytes AtscEit(uint16_t source, uint8_t number, uint8_t last, uint16_t event, uint8_t etm) {
    qxtest::SectionBuilder b = qxtest::AtscEitBuilder(source, 0, number, last, event);
    b.body[8] = static_cast<uint8_t>(0xC0 | etm << 4); // ETM_location above length_in_seconds
    return qxtest::BuildPsip(b);
}

using Seen = std::multiset<std::tuple<std::string, ULONG, Bytes>>;

Seen Walk(FakeCollector& fake, const std::set<std::string>& chosen = {}) {
    Seen seen;
    quenlix::HeldSections held(&fake);
    held.Walk(
        chosen, [](const quenlix::HeldTable&) { return true; },
        [&](const quenlix::HeldSection& h) {
            seen.insert(
                {h.table->name, h.table->key, Bytes(h.section->bytes, h.section->bytes + h.section->length)});
        });
    EXPECT_EQ(fake.live, 0);
    return seen;
}

} // namespace

TEST(HeldSections, FindsEverySectionThroughTheTablesThatNameIt) {
    FakeCollector f;
    f.pat = {qxtest::BuildPat(1, 0, {{0, 0x10}, {1, 0x100}, {2, 0x200}})};
    f.pmt[{0x100, 1}] = qxtest::BuildPmt(1, 0, 0x101, {{2, 0x101}});
    f.pmt[{0x200, 2}] = qxtest::BuildPmt(2, 0, 0x201, {{2, 0x201}});
    qxtest::SectionBuilder sdt;
    sdt.Table(0x42).Extension(1).Append({0, 1, 0xFF, 0, 3, 0xFC, 0x80, 0x00});
    f.sdt = {sdt.Build()}; // service 3 is in the SDT only
    Seen want;
    auto eit = [&](uint8_t table, uint16_t service, uint8_t n, uint8_t last, uint8_t segLast) {
        Bytes b = DvbEit(table, service, n, last, segLast);
        f.eit[{table, n, service}] = b;
        want.insert({"eit", table, b});
    };
    eit(0x4E, 1, 0, 1, 1);
    eit(0x4E, 1, 1, 1, 1);
    eit(0x4E, 3, 0, 0, 0);
    // A schedule in two segments: 0-1 and 8-10.
    for (uint8_t n : {0, 1}) {
        eit(0x50, 1, n, 10, 1);
    }
    for (uint8_t n : {8, 9, 10}) {
        eit(0x50, 1, n, 10, 10);
    }
    eit(0x51, 2, 0, 0, 0);
    f.mgt = qxtest::BuildMgt(
        0, {{0x0100, 0x1D00, 0, 0, {}}, {0x0101, 0x1D01, 0, 0, {}}, {0x0200, 0x1E00, 0, 0, {}}});
    f.vct = {Vct({{7, 1}, {8, 0}})};
    for (auto [type, number, source, event] :
         {std::tuple{0x100, 0, 7, 42}, {0x100, 1, 7, 43}, {0x101, 0, 8, 50}}) {
        Bytes b = AtscEit(static_cast<uint16_t>(source), static_cast<uint8_t>(number), type == 0x100 ? 1 : 0,
                          static_cast<uint16_t>(event), event == 42 ? 1 : 0);
        f.atscEit[{type, number, source}] = b;
        want.insert({"atsc_eit", type, b});
    }
    // The channel's own text and one event's text are named; the third ETT is named by nothing held.
    for (uint32_t id : {7u << 16, quenlix::si::EventEtmId(7, 42), quenlix::si::EventEtmId(8, 50)}) {
        f.ett[id] = qxtest::BuildEtt(id, 0);
        if (id != quenlix::si::EventEtmId(8, 50)) {
            want.insert({"ett", 0, f.ett[id]});
        }
    }
    for (const auto& [key, b] : f.pmt) {
        want.insert({"pmt", 0, b});
    }
    want.insert({"pat", 0, f.pat[0]});
    want.insert({"sdt", 0, f.sdt[0]});
    want.insert({"mgt", 0, f.mgt});
    want.insert({"vct", 0, f.vct[0]});

    EXPECT_EQ(Walk(f), want);
    // Requests follow the sections held: one section-0 probe per service and EIT table (3 services x 3
    // tables), one per source and ATSC EIT type (2 x 2), the three schedule sections of segment 1 not
    // held (11..15 lie beyond last_section_number), plus one request per held section.
    EXPECT_LE(f.gets, want.size() + 9 + 4 + 3 + 4);

    // Only what is asked for is shown; the ETT still finds its ids through the ATSC EIT.
    Seen ett = Walk(f, {"ett"});
    EXPECT_EQ(ett.size(), 2u);
}

TEST(HeldSections, AnnouncedKeysWithoutSectionsCostNoRequests) {
    // The shape of a stream that announces far more than it carries: an MGT of 369 EIT tables and a VCT
    // of many channels, with no EIT at all.
    FakeCollector f;
    std::vector<qxtest::MgtEntry> tables;
    for (uint16_t t = 0x100; t < 0x100 + 128; ++t) {
        tables.push_back({t, static_cast<uint16_t>(0x1000 + t), 0, 0, {}});
    }
    f.mgt = qxtest::BuildMgt(0, tables);
    for (int s = 0; s < 8; ++s) {
        std::vector<std::pair<uint16_t, uint8_t>> channels;
        for (int c = 0; c < 30; ++c) {
            channels.emplace_back(static_cast<uint16_t>(s * 30 + c + 1), 0);
        }
        f.vct.push_back(Vct(channels));
    }
    Walk(f);
    EXPECT_LE(f.gets, 2u * (1 + f.vct.size())); // the MGT and the VCT, read to learn and again to show
}
