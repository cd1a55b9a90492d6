// The frame every ITableCollector method shares: the answers for a missing store or pin, and the
// section lock held for the whole of each call.
#include "query_support.h"

#include "intake/TableCollectorInputPin.h"
#include "tables/PatStore.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

using namespace qxtest;

namespace {

enum class Shape { Control, Status, Value, Get, Free, Reset, Setter };

using Call = HRESULT (*)(ITableCollector* p, ULONG& value, StoredSection*& section);

struct Method {
    const char* name;
    Shape shape;
    Call call;
};

const ULONG kPids[2] = {0x0100, 0x0200};

// Calls the method through the C++ view with harmless arguments.
#define METHOD(Name, shape, ...)                                                                             \
    Method {                                                                                                 \
#Name, Shape::shape, [](ITableCollector* p, ULONG& value, StoredSection*& section) -> HRESULT {       \
            (void)value;                                                                                       \
            (void)section;                                                                                     \
            return p->Name(__VA_ARGS__);                                                                       \
        }      \
    }

// Every method in slot order.
// clang-format off
const Method kMethods[] = {
    METHOD(ResetAllTables, Control),
    METHOD(SetRequestedPids, Control, 2, kPids),
    METHOD(IsRequestedPidSeen, Control, 0, &value),
    METHOD(UnmapRequestedPids, Control),
    METHOD(GetPatStatus, Status, &value),
    METHOD(GetPatSectionCount, Value, &value),
    METHOD(GetPatSection, Get, 0, &section),
    METHOD(FreePatSection, Free, &section),
    METHOD(ResetPat, Reset),
    METHOD(GetPmtStatus, Status, &value),
    METHOD(GetPmtSectionCount, Value, &value),
    METHOD(GetPmtSection, Get, 0, 0, &section),
    METHOD(FreePmtSection, Free, &section),
    METHOD(ResetPmt, Reset),
    METHOD(GetNitStatus, Status, 0, &value),
    METHOD(GetNitSectionCount, Value, 0, &value),
    METHOD(GetNitSection, Get, 0, 0, &section),
    METHOD(FreeNitSection, Free, &section),
    METHOD(ResetNit, Reset),
    METHOD(GetBatStatus, Status, &value),
    METHOD(GetBatSectionCount, Value, &value),
    METHOD(GetBatSection, Get, 0, &section),
    METHOD(FreeBatSection, Free, &section),
    METHOD(ResetBat, Reset),
    METHOD(GetSdtStatus, Status, 0, &value),
    METHOD(GetSdtSectionCount, Value, 0, &value),
    METHOD(GetSdtSection, Get, 0, 0, &section),
    METHOD(FreeSdtSection, Free, &section),
    METHOD(ResetSdt, Reset),
    METHOD(GetEitStatus, Status, 0, &value),
    METHOD(GetEitSectionCount, Value, 0, &value),
    METHOD(GetEitSection, Get, 0, 0, 0, &section),
    METHOD(FreeEitSection, Free, &section),
    METHOD(ResetEit, Reset),
    METHOD(SetEitResetOnVersionChange, Setter, FALSE),
    METHOD(GetTdtStatus, Status, &value),
    METHOD(GetTdtSection, Get, &section),
    METHOD(FreeTdtSection, Free, &section),
    METHOD(ResetTdt, Reset),
    METHOD(GetTotStatus, Status, &value),
    METHOD(GetTotSection, Get, &section),
    METHOD(FreeTotSection, Free, &section),
    METHOD(ResetTot, Reset),
    METHOD(GetRstStatus, Status, &value),
    METHOD(GetRstSection, Get, &section),
    METHOD(FreeRstSection, Free, &section),
    METHOD(ResetRst, Reset),
    METHOD(GetCatStatus, Status, &value),
    METHOD(GetCatSectionCount, Value, &value),
    METHOD(GetCatSection, Get, 0, &section),
    METHOD(FreeCatSection, Free, &section),
    METHOD(ResetCat, Reset),
    METHOD(GetMgtStatus, Status, &value),
    METHOD(GetMgtSection, Get, &section),
    METHOD(FreeMgtSection, Free, &section),
    METHOD(ResetMgt, Reset),
    METHOD(GetVctStatus, Status, &value),
    METHOD(GetVctSectionCount, Value, &value),
    METHOD(GetVctSection, Get, 0, &section),
    METHOD(FreeVctSection, Free, &section),
    METHOD(ResetVct, Reset),
    METHOD(GetSttStatus, Status, &value),
    METHOD(GetSttSection, Get, &section),
    METHOD(FreeSttSection, Free, &section),
    METHOD(ResetStt, Reset),
    METHOD(GetAtscEitStatus, Status, 0, &value),
    METHOD(GetAtscEitSectionCount, Value, 0, &value),
    METHOD(GetAtscEitSection, Get, 0, 0, 0, &section),
    METHOD(FreeAtscEitSection, Free, &section),
    METHOD(ResetAtscEit, Reset),
    METHOD(SetAtscEitResetOnVersionChange, Setter, FALSE),
    METHOD(GetEttSectionCount, Value, &value),
    METHOD(GetEttSection, Get, 0, &section),
    METHOD(FreeEttSection, Free, &section),
    METHOD(ResetEtt, Reset),
    METHOD(EnableEttCollection, Setter, FALSE),
};
// clang-format on

// What a method answers when the store (or, for the control methods, the pin) it needs is missing.
void ExpectMissingShape(ITableCollector* itf, const Method& m) {
    SCOPED_TRACE(m.name);
    const ULONG untouched = 0xDEADBEEF;
    StoredSection sentinel = {};
    ULONG value = untouched;
    StoredSection* section = &sentinel;
    HRESULT hr = m.call(itf, value, section);
    switch (m.shape) {
    case Shape::Control:
        EXPECT_EQ(hr, S_OK);
        EXPECT_EQ(value, untouched);
        break;
    case Shape::Status:
        EXPECT_EQ(hr, S_OK);
        EXPECT_EQ(value, static_cast<ULONG>(TABLE_STATUS_NONE));
        break;
    case Shape::Value:
        EXPECT_EQ(hr, E_POINTER);
        EXPECT_EQ(value, untouched);
        break;
    case Shape::Get:
    case Shape::Free:
        EXPECT_EQ(hr, E_POINTER);
        EXPECT_EQ(section, &sentinel);
        break;
    case Shape::Reset:
    case Shape::Setter:
        EXPECT_EQ(hr, E_POINTER);
        break;
    }
}

TEST(QueryFrame, EveryMethodAnswersForAMissingStoreOrPin) {
    ASSERT_EQ(std::size(kMethods), 76u);
    Collector c(false); // no result slot: neither pin nor stores
    ASSERT_NE(c.itf, nullptr);
    ASSERT_EQ(c.filter->m_pInputPin, nullptr);
    for (const Method& m : kMethods) {
        ExpectMissingShape(c.itf, m);
    }
}

TEST(QueryFrame, StoresMissingBehindAPinThatExists) {
    std::unique_ptr<Collector> c;
    MakeStoppedCollector(
        c, [](TableCollectorFilter& f) { return f.m_pInputPin != nullptr && f.m_pPatStore == nullptr; });
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(c->hr, E_OUTOFMEMORY);
    for (const Method& m : kMethods) {
        if (m.shape != Shape::Control) {
            ExpectMissingShape(c->itf, m);
        }
    }
    // The control methods reach the pin now: an unrequested PID is reported as not seen.
    ULONG seen = 0xDEADBEEF;
    EXPECT_EQ((*c)->IsRequestedPidSeen(0x0100, &seen), S_OK);
    EXPECT_EQ(seen, 0u);
    EXPECT_EQ((*c)->SetRequestedPids(2, kPids), S_OK);
    EXPECT_EQ((*c)->IsRequestedPidSeen(0x0100, &seen), S_OK);
    EXPECT_EQ(seen, 0u); // requested, but nothing has arrived on it
    EXPECT_EQ((*c)->UnmapRequestedPids(), S_OK);
    EXPECT_EQ((*c)->ResetAllTables(), S_OK);
}

TEST(QueryFrame, AStopAtTheMgtStoreLeavesOnlyTheLaterGroupsMissing) {
    // The STT and VCT stores are made before the MGT store.
    std::unique_ptr<Collector> c;
    MakeStoppedCollector(
        c, [](TableCollectorFilter& f) { return f.m_pVctStore != nullptr && f.m_pMgtStore == nullptr; });
    ASSERT_NE(c, nullptr);
    ULONG status = 99, count = 99;
    EXPECT_EQ((*c)->GetSttStatus(&status), S_OK);
    EXPECT_EQ(status, static_cast<ULONG>(TABLE_STATUS_INCOMPLETE));
    EXPECT_EQ((*c)->GetVctSectionCount(&count), S_OK);
    EXPECT_EQ(count, 0u);
    EXPECT_EQ((*c)->GetMgtStatus(&status), S_OK);
    EXPECT_EQ(status, static_cast<ULONG>(TABLE_STATUS_NONE));
    EXPECT_EQ((*c)->ResetVct(), S_OK);
    EXPECT_EQ((*c)->ResetMgt(), E_POINTER);
    EXPECT_EQ((*c)->EnableEttCollection(TRUE), E_POINTER);
    EXPECT_EQ((*c)->ResetAllTables(), S_OK);
}

TEST(QueryFrame, EveryMethodWaitsForTheSectionLock) {
    Collector c;
    ASSERT_EQ(c.hr, S_OK);
    for (const Method& m : kMethods) {
        SCOPED_TRACE(m.name);
        std::atomic<bool> done{false};
        c.filter->m_csSection.Lock();
        std::thread caller([&] {
            ULONG value = 0;
            StoredSection* section = nullptr;
            m.call(c.itf, value, section);
            done = true;
        });
        // Not finishing while the lock is held is what counts; a late start cannot make this fail.
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        EXPECT_FALSE(done.load());
        c.filter->m_csSection.Unlock();
        caller.join();
        EXPECT_TRUE(done.load());
    }
}

TEST(QueryFrame, ResetAllTablesRunsInsideTheSectionLockOfItsThread) {
    // The pin's BeginFlush calls it with the section lock already held.
    Collector c;
    ASSERT_EQ(c.hr, S_OK);
    ASSERT_EQ(Add(c.filter->m_pPatStore, BuildPat(1, 0, {{1, 0x100}})), S_OK);
    c.filter->m_csSection.Lock();
    EXPECT_EQ(c->ResetAllTables(), S_OK);
    c.filter->m_csSection.Unlock();
    ULONG count = 99;
    EXPECT_EQ(c->GetPatSectionCount(&count), S_OK);
    EXPECT_EQ(count, 0u);
}

} // namespace
