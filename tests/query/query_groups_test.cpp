// The table groups of ITableCollector, read through the interface with sections filed in the
// filter's stores directly: status, count, copies, release, reset and the out-of-memory answers.
#include "query_support.h"

#include "tables/AtscEitStore.h"
#include "tables/BatStore.h"
#include "tables/CatStore.h"
#include "tables/EitStore.h"
#include "tables/EttStore.h"
#include "tables/MgtStore.h"
#include "tables/NitStore.h"
#include "tables/PatStore.h"
#include "tables/PmtStore.h"
#include "tables/RstStore.h"
#include "tables/SdtStore.h"
#include "tables/SttStore.h"
#include "tables/TdtStore.h"
#include "tables/TotStore.h"
#include "tables/VctStore.h"

#include <gtest/gtest.h>

#include <functional>

using namespace qxtest;

namespace {

constexpr ULONG kIncomplete = TABLE_STATUS_INCOMPLETE;
constexpr ULONG kComplete = TABLE_STATUS_COMPLETE;

// Both allocations of a copy can fail; either way the caller's pointer ends up null.
void ExpectCopyOutOfMemory(const std::function<HRESULT(StoredSection**)>& get) {
    for (unsigned long n = 1; n <= 2; ++n) {
        SCOPED_TRACE(n);
        StoredSection* section = nullptr;
        MemFailAt(n);
        HRESULT hr = get(&section);
        MemFailAt(0);
        EXPECT_EQ(hr, E_OUTOFMEMORY);
        EXPECT_EQ(section, nullptr);
    }
}

// Each group table names its groups: the test names and the failure messages show them.
template <class Group>
requires requires(const Group& g) {
    g.add;
}
std::ostream& operator<<(std::ostream& os, const Group& g) {
    return os << g.name;
}
struct {
    template <class Group> std::string operator()(const testing::TestParamInfo<Group>& info) const {
        return info.param.name;
    }
} NameOf;

// --- The section-set groups: slots indexed by section_number.

struct SetGroup {
    const char* name;
    std::function<HRESULT(TableCollectorFilter&, const Bytes&)> add;
    std::function<Bytes(uint8_t version, uint8_t section, uint8_t last)> build;
    std::function<HRESULT(ITableCollector*, ULONG*)> status;
    std::function<HRESULT(ITableCollector*, ULONG*)> count;
    std::function<HRESULT(ITableCollector*, ULONG, StoredSection**)> get;
    std::function<HRESULT(ITableCollector*, StoredSection**)> release;
    std::function<HRESULT(ITableCollector*)> reset;
    DWORD copyPid;
};

class SectionSetGroup : public testing::TestWithParam<SetGroup> {};

TEST_P(SectionSetGroup, StatusCountCopiesReleaseAndReset) {
    const SetGroup& g = GetParam();
    Collector c;
    ASSERT_EQ(c.hr, S_OK);
    ULONG status = 99, count = 99;
    Copy copy;

    EXPECT_EQ(g.status(c.itf, &status), S_OK);
    EXPECT_EQ(status, kIncomplete);
    EXPECT_EQ(g.count(c.itf, &count), S_OK);
    EXPECT_EQ(count, 0u);
    EXPECT_EQ(g.get(c.itf, 0, copy.out()), E_INVALIDARG);

    const Bytes s0 = g.build(3, 0, 2), s1 = g.build(3, 1, 2), s2 = g.build(3, 2, 2);
    ASSERT_EQ(g.add(*c.filter, s0), S_OK);
    ASSERT_EQ(g.add(*c.filter, s2), S_OK);
    EXPECT_EQ(g.status(c.itf, &status), S_OK);
    EXPECT_EQ(status, kIncomplete);
    EXPECT_EQ(g.count(c.itf, &count), S_OK);
    EXPECT_EQ(count, 3u);
    EXPECT_EQ(g.get(c.itf, 1, copy.out()), S_OK); // slot not filled yet: no copy
    EXPECT_EQ(copy.p, nullptr);
    EXPECT_EQ(g.get(c.itf, 3, copy.out()), E_INVALIDARG);
    EXPECT_EQ(g.get(c.itf, 2, copy.out()), S_OK);
    ExpectCopy(copy.p, g.copyPid, 2, s2);

    ASSERT_EQ(g.add(*c.filter, s1), S_OK);
    EXPECT_EQ(g.status(c.itf, &status), S_OK);
    EXPECT_EQ(status, kComplete);
    ExpectCopyOutOfMemory([&](StoredSection** out) { return g.get(c.itf, 1, out); });

    // A copy is the caller's: it outlives the reset of its store.
    EXPECT_EQ(g.reset(c.itf), S_OK);
    EXPECT_EQ(g.status(c.itf, &status), S_OK);
    EXPECT_EQ(status, kIncomplete);
    EXPECT_EQ(g.count(c.itf, &count), S_OK);
    EXPECT_EQ(count, 0u);
    ExpectCopy(copy.p, g.copyPid, 2, s2);
    EXPECT_EQ(g.reset(c.itf), S_OK); // an empty store resets as well

    EXPECT_EQ(g.release(c.itf, copy.out()), S_OK);
    EXPECT_EQ(copy.p, nullptr);
    EXPECT_EQ(g.release(c.itf, copy.out()), E_INVALIDARG);
}

// The NIT and SDT keys select nothing; the calls use keys other than 0 to show they pass through.
const SetGroup kSetGroups[] = {
    {"PAT", AddTo<&TableCollectorFilter::m_pPatStore>,
     [](uint8_t v, uint8_t n, uint8_t l) {
         return BuildPat(0x0001, v, {{1, 0x0100}}, n, l);
     },
     &ITableCollector::GetPatStatus, &ITableCollector::GetPatSectionCount, &ITableCollector::GetPatSection,
     &ITableCollector::FreePatSection, &ITableCollector::ResetPat, 0x0000},
    {"NIT", AddTo<&TableCollectorFilter::m_pNitStore>,
     [](uint8_t v, uint8_t n, uint8_t l) { return BuildNitLike(0x40, 0x3001, v, n, l); },
     [](ITableCollector* p, ULONG* s) { return p->GetNitStatus(0x41, s); },
     [](ITableCollector* p, ULONG* n) { return p->GetNitSectionCount(7, n); },
     [](ITableCollector* p, ULONG i, StoredSection** s) { return p->GetNitSection(0x41, i, s); },
     &ITableCollector::FreeNitSection, &ITableCollector::ResetNit, 0x0010},
    {"BAT", AddTo<&TableCollectorFilter::m_pBatStore>,
     [](uint8_t v, uint8_t n, uint8_t l) { return BuildNitLike(0x4A, 0x0042, v, n, l); },
     &ITableCollector::GetBatStatus, &ITableCollector::GetBatSectionCount, &ITableCollector::GetBatSection,
     &ITableCollector::FreeBatSection, &ITableCollector::ResetBat, 0x0011},
    {"SDT", AddTo<&TableCollectorFilter::m_pSdtStore>,
     [](uint8_t v, uint8_t n, uint8_t l) { return BuildSdt(0x0001, v, n, l); },
     [](ITableCollector* p, ULONG* s) { return p->GetSdtStatus(0x1234, s); },
     [](ITableCollector* p, ULONG* n) { return p->GetSdtSectionCount(1, n); },
     [](ITableCollector* p, ULONG i, StoredSection** s) { return p->GetSdtSection(0xFFFFFFFF, i, s); },
     &ITableCollector::FreeSdtSection, &ITableCollector::ResetSdt, 0x0011},
    {"CAT", AddTo<&TableCollectorFilter::m_pCatStore>,
     [](uint8_t v, uint8_t n, uint8_t l) { return BuildCat(v, n, l); }, &ITableCollector::GetCatStatus,
     &ITableCollector::GetCatSectionCount, &ITableCollector::GetCatSection, &ITableCollector::FreeCatSection,
     &ITableCollector::ResetCat, 0x0000},
    {"VCT", AddTo<&TableCollectorFilter::m_pVctStore>,
     [](uint8_t v, uint8_t n, uint8_t l) { return BuildTvct(0x0001, v, n, l); },
     &ITableCollector::GetVctStatus, &ITableCollector::GetVctSectionCount, &ITableCollector::GetVctSection,
     &ITableCollector::FreeVctSection, &ITableCollector::ResetVct, 0x0000},
};

INSTANTIATE_TEST_SUITE_P(Groups, SectionSetGroup, testing::ValuesIn(kSetGroups), NameOf);

// --- The single-section groups: the latest section, no count, no index.

struct SingleGroup {
    const char* name;
    std::function<HRESULT(TableCollectorFilter&, const Bytes&)> add;
    Bytes section;
    std::function<HRESULT(ITableCollector*, ULONG*)> status;
    std::function<HRESULT(ITableCollector*, StoredSection**)> get;
    std::function<HRESULT(ITableCollector*, StoredSection**)> release;
    std::function<HRESULT(ITableCollector*)> reset;
    DWORD copyPid;
};

class SingleSectionGroup : public testing::TestWithParam<SingleGroup> {};

TEST_P(SingleSectionGroup, StatusCopiesReleaseAndReset) {
    const SingleGroup& g = GetParam();
    Collector c;
    ASSERT_EQ(c.hr, S_OK);
    ULONG status = 99;
    Copy copy;

    EXPECT_EQ(g.status(c.itf, &status), S_OK);
    EXPECT_EQ(status, kIncomplete);
    EXPECT_EQ(g.get(c.itf, copy.out()), E_POINTER); // nothing held
    EXPECT_EQ(copy.p, nullptr);

    ASSERT_EQ(g.add(*c.filter, g.section), S_OK);
    EXPECT_EQ(g.status(c.itf, &status), S_OK);
    EXPECT_EQ(status, kComplete);
    EXPECT_EQ(g.get(c.itf, copy.out()), S_OK);
    ExpectCopy(copy.p, g.copyPid, 0, g.section);
    ExpectCopyOutOfMemory([&](StoredSection** out) { return g.get(c.itf, out); });

    EXPECT_EQ(g.reset(c.itf), S_OK);
    EXPECT_EQ(g.status(c.itf, &status), S_OK);
    EXPECT_EQ(status, kIncomplete);
    StoredSection* none = nullptr;
    EXPECT_EQ(g.get(c.itf, &none), E_POINTER);
    ExpectCopy(copy.p, g.copyPid, 0, g.section);
    EXPECT_EQ(g.reset(c.itf), S_OK);

    EXPECT_EQ(g.release(c.itf, copy.out()), S_OK);
    EXPECT_EQ(copy.p, nullptr);
    EXPECT_EQ(g.release(c.itf, copy.out()), E_INVALIDARG);
}

const SingleGroup kSingleGroups[] = {
    {"TDT", AddTo<&TableCollectorFilter::m_pTdtStore>, BuildTdt(), &ITableCollector::GetTdtStatus,
     &ITableCollector::GetTdtSection, &ITableCollector::FreeTdtSection, &ITableCollector::ResetTdt, 0x0014},
    {"TOT", AddTo<&TableCollectorFilter::m_pTotStore>, BuildTot(), &ITableCollector::GetTotStatus,
     &ITableCollector::GetTotSection, &ITableCollector::FreeTotSection, &ITableCollector::ResetTot, 0x0014},
    {"RST", AddTo<&TableCollectorFilter::m_pRstStore>, BuildRst(), &ITableCollector::GetRstStatus,
     &ITableCollector::GetRstSection, &ITableCollector::FreeRstSection, &ITableCollector::ResetRst, 0x0013},
    {"MGT", AddTo<&TableCollectorFilter::m_pMgtStore>, BuildMgt(3, {}), &ITableCollector::GetMgtStatus,
     &ITableCollector::GetMgtSection, &ITableCollector::FreeMgtSection, &ITableCollector::ResetMgt, 0x1FFB},
    {"STT", AddTo<&TableCollectorFilter::m_pSttStore>, BuildStt(0x12345610u), &ITableCollector::GetSttStatus,
     &ITableCollector::GetSttSection, &ITableCollector::FreeSttSection, &ITableCollector::ResetStt, 0x1FFB},
};

INSTANTIATE_TEST_SUITE_P(Groups, SingleSectionGroup, testing::ValuesIn(kSingleGroups), NameOf);

// --- PMT: keyed by (PID, program_number).

TEST(PmtGroup, SectionsByPidAndProgram) {
    Collector c;
    ASSERT_EQ(c.hr, S_OK);
    ULONG status = 99, count = 99;
    const Bytes p1 = BuildPmt(1, 0, 0x0101, {{0x02, 0x0111}});
    const Bytes p2 = BuildPmt(2, 0, 0x0201, {{0x04, 0x0211}});
    // Two programs announced on one PMT PID, so the store is sized for two.
    ASSERT_EQ(Add(*c.filter->m_pPmtStore, p1, 0x0100, 2), S_OK);
    EXPECT_EQ(c->GetPmtStatus(&status), S_OK);
    EXPECT_EQ(status, kIncomplete);
    ASSERT_EQ(Add(*c.filter->m_pPmtStore, p2, 0x0100, 2), S_OK);
    EXPECT_EQ(c->GetPmtStatus(&status), S_OK);
    EXPECT_EQ(status, kComplete);
    EXPECT_EQ(c->GetPmtSectionCount(&count), S_OK);
    EXPECT_EQ(count, 2u);

    Copy second, first, missing;
    EXPECT_EQ(c->GetPmtSection(0x0100, 2, second.out()), S_OK);
    ExpectCopy(second.p, 0x0100, 0, p2);
    EXPECT_EQ(c->GetPmtSection(0x0100, 0, first.out()), S_OK); // program 0: the PID's first slot
    ExpectCopy(first.p, 0x0100, 0, p1);
    EXPECT_EQ(c->GetPmtSection(0x0100, 3, missing.out()), E_FAIL);
    EXPECT_EQ(c->GetPmtSection(0x0200, 1, missing.out()), E_FAIL);
    EXPECT_EQ(missing.p, nullptr);
    ExpectCopyOutOfMemory([&](StoredSection** out) { return c->GetPmtSection(0x0100, 1, out); });

    // ResetPat leaves the PMTs alone; ResetPmt empties them and the copies stay.
    EXPECT_EQ(c->ResetPat(), S_OK);
    EXPECT_EQ(c->GetPmtSectionCount(&count), S_OK);
    EXPECT_EQ(count, 2u);
    EXPECT_EQ(c->ResetPmt(), S_OK);
    EXPECT_EQ(c->GetPmtSectionCount(&count), S_OK);
    EXPECT_EQ(count, 0u);
    EXPECT_EQ(c->GetPmtStatus(&status), S_OK);
    EXPECT_EQ(status, kIncomplete);
    ExpectCopy(second.p, 0x0100, 0, p2);
    EXPECT_EQ(c->FreePmtSection(second.out()), S_OK);
    EXPECT_EQ(c->FreePmtSection(second.out()), E_INVALIDARG);
}

// --- DVB and ATSC EIT: per table_id or table_type, section and service; the store answers the status.

struct EitLike {
    const char* name;
    ULONG table;
    ULONG others[3]; // keys that hold nothing: status NONE, count 0
    std::function<Bytes(uint16_t service, uint8_t section)> build; // one of two sections
    std::function<HRESULT(TableCollectorFilter&, const Bytes&)> add;
    HRESULT (STDMETHODCALLTYPE ITableCollector::*status)(ULONG, ULONG*);
    HRESULT (STDMETHODCALLTYPE ITableCollector::*count)(ULONG, ULONG*);
    HRESULT (STDMETHODCALLTYPE ITableCollector::*get)(ULONG, ULONG, ULONG, StoredSection**);
    HRESULT (STDMETHODCALLTYPE ITableCollector::*release)(StoredSection**);
    HRESULT (STDMETHODCALLTYPE ITableCollector::*reset)();
    HRESULT missing; // GetSection for a key not held
    DWORD copyPid;
};

class EitGroup : public testing::TestWithParam<EitLike> {};

TEST_P(EitGroup, StatusCountAndCopiesPerTable) {
    const EitLike& g = GetParam();
    Collector c;
    ASSERT_EQ(c.hr, S_OK);
    ITableCollector* p = c.itf;
    ULONG status = 99, count = 99;
    EXPECT_EQ((p->*g.status)(g.table, &status), S_OK);
    EXPECT_EQ(status, static_cast<ULONG>(TABLE_STATUS_NONE)); // nothing held for the key
    const Bytes service1 = g.build(1, 0), service2 = g.build(2, 0);
    ASSERT_EQ(g.add(*c.filter, service1), S_OK);
    ASSERT_EQ(g.add(*c.filter, service2), S_OK);
    EXPECT_EQ((p->*g.status)(g.table, &status), S_OK);
    EXPECT_EQ(status, kIncomplete);
    EXPECT_EQ((p->*g.count)(g.table, &count), S_OK);
    EXPECT_EQ(count, 1u);
    ASSERT_EQ(g.add(*c.filter, g.build(2, 1)), S_OK); // section 1 of any service
    EXPECT_EQ((p->*g.status)(g.table, &status), S_OK);
    EXPECT_EQ(status, kComplete);
    for (ULONG other : g.others) {
        SCOPED_TRACE(other);
        EXPECT_EQ((p->*g.status)(other, &status), S_OK);
        EXPECT_EQ(status, static_cast<ULONG>(TABLE_STATUS_NONE));
        EXPECT_EQ((p->*g.count)(other, &count), S_OK);
        EXPECT_EQ(count, 0u);
    }

    Copy copy, missing;
    EXPECT_EQ((p->*g.get)(g.table, 0, 2, copy.out()), S_OK);
    ExpectCopy(copy.p, g.copyPid, 0, service2);
    EXPECT_EQ((p->*g.get)(g.table, 0, 3, missing.out()), g.missing);
    EXPECT_EQ((p->*g.get)(g.others[0], 0, 1, missing.out()), g.missing);
    EXPECT_EQ(missing.p, nullptr);
    ExpectCopyOutOfMemory([&](StoredSection** out) { return (p->*g.get)(g.table, 0, 1, out); });

    EXPECT_EQ((p->*g.reset)(), S_OK);
    EXPECT_EQ((p->*g.count)(g.table, &count), S_OK);
    EXPECT_EQ(count, 0u);
    ExpectCopy(copy.p, g.copyPid, 0, service2);
    EXPECT_EQ((p->*g.release)(copy.out()), S_OK);
    EXPECT_EQ((p->*g.release)(copy.out()), E_INVALIDARG);
}

const EitLike kEitGroups[] = {
    {"DVB",
     0x4E,
     {0x4F, 0x60, 0x50},
     [](uint16_t service, uint8_t section) { return BuildEit(0x4E, service, 0, section, 1, 1); },
     AddTo<&TableCollectorFilter::m_pEitStore>,
     &ITableCollector::GetEitStatus,
     &ITableCollector::GetEitSectionCount,
     &ITableCollector::GetEitSection,
     &ITableCollector::FreeEitSection,
     &ITableCollector::ResetEit,
     E_POINTER,
     0x0012},
    {"ATSC",
     0x0100,
     {0x0200, 0x00FF, 0x0180},
     [](uint16_t source, uint8_t section) { return BuildAtscEit(source, 0, section, 1); },
     [](TableCollectorFilter& f, const Bytes& s) { return Add(*f.m_pAtscEitStore, s, 0x1D00, 0x0100); },
     &ITableCollector::GetAtscEitStatus,
     &ITableCollector::GetAtscEitSectionCount,
     &ITableCollector::GetAtscEitSection,
     &ITableCollector::FreeAtscEitSection,
     &ITableCollector::ResetAtscEit,
     E_INVALIDARG,
     0x1D00},
};

INSTANTIATE_TEST_SUITE_P(Groups, EitGroup, testing::ValuesIn(kEitGroups), NameOf);

// --- ETT: one section per ETM_id, no status; its reset fails on an empty store.

TEST(EttGroup, CountCopiesResetAndCollectionSwitch) {
    Collector c;
    ASSERT_EQ(c.hr, S_OK);
    EttStore* store = c.filter->m_pEttStore;
    ULONG count = 99;
    EXPECT_EQ(c->ResetEtt(), E_FAIL);
    const Bytes ett = BuildEtt(0x00010002, 0);
    ASSERT_EQ(Add(*store, ett, 0x1E00), S_OK);
    EXPECT_EQ(c->GetEttSectionCount(&count), S_OK);
    EXPECT_EQ(count, 1u);

    Copy copy, missing;
    EXPECT_EQ(c->GetEttSection(0x00010002, copy.out()), S_OK);
    ExpectCopy(copy.p, 0x1E00, 0, ett);
    EXPECT_EQ(c->GetEttSection(0x00010003, missing.out()), E_INVALIDARG);
    EXPECT_EQ(missing.p, nullptr);
    ExpectCopyOutOfMemory([&](StoredSection** out) { return c->GetEttSection(0x00010002, out); });

    // Switched off, the store ignores arrivals and keeps what it holds.
    EXPECT_EQ(c->EnableEttCollection(FALSE), S_OK);
    const Bytes other = BuildEtt(0x00010004, 0);
    EXPECT_EQ(Add(*store, other, 0x1E00), S_FALSE);
    EXPECT_EQ(c->GetEttSectionCount(&count), S_OK);
    EXPECT_EQ(count, 1u);
    EXPECT_EQ(c->EnableEttCollection(TRUE), S_OK);
    EXPECT_EQ(Add(*store, other, 0x1E00), S_OK);

    EXPECT_EQ(c->ResetEtt(), S_OK);
    EXPECT_EQ(c->GetEttSectionCount(&count), S_OK);
    EXPECT_EQ(count, 0u);
    EXPECT_EQ(c->ResetEtt(), E_FAIL);
    ExpectCopy(copy.p, 0x1E00, 0, ett);
    EXPECT_EQ(c->FreeEttSection(copy.out()), S_OK);
    EXPECT_EQ(c->FreeEttSection(copy.out()), E_INVALIDARG);
}

// --- ResetAllTables: every store emptied, the three flags kept.

TEST(ResetAllTables, EmptiesEveryStoreAndKeepsTheFlags) {
    Collector c;
    ASSERT_EQ(c.hr, S_OK);
    TableCollectorFilter& f = *c.filter;
    for (const SetGroup& g : kSetGroups) {
        ASSERT_EQ(g.add(f, g.build(0, 0, 0)), S_OK) << g.name;
    }
    for (const SingleGroup& g : kSingleGroups) {
        ASSERT_EQ(g.add(f, g.section), S_OK) << g.name;
    }
    for (const EitLike& g : kEitGroups) {
        ASSERT_EQ(g.add(f, g.build(1, 0)), S_OK) << g.name;
    }
    const Bytes pmt = BuildPmt(1, 0, 0x0101, {}), ett = BuildEtt(0x00010002, 0);
    ASSERT_EQ(Add(*f.m_pPmtStore, pmt, 0x0100, 1), S_OK);
    ASSERT_EQ(Add(*f.m_pEttStore, ett, 0x1E00), S_OK);
    EXPECT_EQ(c->SetEitResetOnVersionChange(FALSE), S_OK);
    EXPECT_EQ(c->SetAtscEitResetOnVersionChange(FALSE), S_OK);

    EXPECT_EQ(c->ResetAllTables(), S_OK);

    ULONG status = 99, count = 99;
    for (const SetGroup& g : kSetGroups) {
        EXPECT_EQ(g.status(c.itf, &status), S_OK);
        EXPECT_EQ(status, kIncomplete) << g.name;
    }
    for (const SingleGroup& g : kSingleGroups) {
        EXPECT_EQ(g.status(c.itf, &status), S_OK);
        EXPECT_EQ(status, kIncomplete) << g.name;
    }
    for (const EitLike& g : kEitGroups) {
        EXPECT_EQ((c.itf->*g.status)(g.table, &status), S_OK);
        EXPECT_EQ(status, static_cast<ULONG>(TABLE_STATUS_NONE)) << g.name;
    }
    EXPECT_EQ(c->GetPmtStatus(&status), S_OK);
    EXPECT_EQ(status, kIncomplete);
    EXPECT_EQ(c->GetEttSectionCount(&count), S_OK);
    EXPECT_EQ(count, 0u);

    EXPECT_FALSE(f.m_pEitStore->GetResetOnVersionChange());
    EXPECT_FALSE(f.m_pAtscEitStore->GetResetOnVersionChange());
    EXPECT_EQ(c->EnableEttCollection(FALSE), S_OK);
    EXPECT_EQ(c->ResetAllTables(), S_OK);
    EXPECT_FALSE(f.m_pEttStore->GetCollecting());
    EXPECT_EQ(Add(*f.m_pEttStore, ett, 0x1E00), S_FALSE);
}

} // namespace
