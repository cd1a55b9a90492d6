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

// Every method in slot order, called with harmless arguments.
const Method kMethods[] = {
    {"ResetAllTables", Shape::Control,
     [](ITableCollector* p, ULONG& value, StoredSection*& section) { return p->ResetAllTables(); }},
    {"SetRequestedPids", Shape::Control,
     [](ITableCollector* p, ULONG& value, StoredSection*& section) { return p->SetRequestedPids(2, kPids); }},
    {"IsRequestedPidSeen", Shape::Control,
     [](ITableCollector* p, ULONG& value, StoredSection*& section) {
         return p->IsRequestedPidSeen(0, &value);
     }},
    {"UnmapRequestedPids", Shape::Control,
     [](ITableCollector* p, ULONG& value, StoredSection*& section) { return p->UnmapRequestedPids(); }},
    {"GetPatStatus", Shape::Status,
     [](ITableCollector* p, ULONG& value, StoredSection*& section) { return p->GetPatStatus(&value); }},
    {"GetPatSectionCount", Shape::Value,
     [](ITableCollector* p, ULONG& value, StoredSection*& section) { return p->GetPatSectionCount(&value); }},
    {"GetPatSection", Shape::Get,
     [](ITableCollector* p, ULONG& value, StoredSection*& section) { return p->GetPatSection(0, &section); }},
    {"FreePatSection", Shape::Free,
     [](ITableCollector* p, ULONG& value, StoredSection*& section) { return p->FreePatSection(&section); }},
    {"ResetPat", Shape::Reset,
     [](ITableCollector* p, ULONG& value, StoredSection*& section) { return p->ResetPat(); }},
    {"GetPmtStatus", Shape::Status,
     [](ITableCollector* p, ULONG& value, StoredSection*& section) { return p->GetPmtStatus(&value); }},
    {"GetPmtSectionCount", Shape::Value,
     [](ITableCollector* p, ULONG& value, StoredSection*& section) { return p->GetPmtSectionCount(&value); }},
    {"GetPmtSection", Shape::Get,
     [](ITableCollector* p, ULONG& value, StoredSection*& section) {
         return p->GetPmtSection(0, 0, &section);
     }},
    {"FreePmtSection", Shape::Free,
     [](ITableCollector* p, ULONG& value, StoredSection*& section) { return p->FreePmtSection(&section); }},
    {"ResetPmt", Shape::Reset,
     [](ITableCollector* p, ULONG& value, StoredSection*& section) { return p->ResetPmt(); }},
    {"GetNitStatus", Shape::Status,
     [](ITableCollector* p, ULONG& value, StoredSection*& section) { return p->GetNitStatus(0, &value); }},
    {"GetNitSectionCount", Shape::Value,
     [](ITableCollector* p, ULONG& value, StoredSection*& section) {
         return p->GetNitSectionCount(0, &value);
     }},
    {"GetNitSection", Shape::Get,
     [](ITableCollector* p, ULONG& value, StoredSection*& section) {
         return p->GetNitSection(0, 0, &section);
     }},
    {"FreeNitSection", Shape::Free,
     [](ITableCollector* p, ULONG& value, StoredSection*& section) { return p->FreeNitSection(&section); }},
    {"ResetNit", Shape::Reset,
     [](ITableCollector* p, ULONG& value, StoredSection*& section) { return p->ResetNit(); }},
    {"GetBatStatus", Shape::Status,
     [](ITableCollector* p, ULONG& value, StoredSection*& section) { return p->GetBatStatus(&value); }},
    {"GetBatSectionCount", Shape::Value,
     [](ITableCollector* p, ULONG& value, StoredSection*& section) { return p->GetBatSectionCount(&value); }},
    {"GetBatSection", Shape::Get,
     [](ITableCollector* p, ULONG& value, StoredSection*& section) { return p->GetBatSection(0, &section); }},
    {"FreeBatSection", Shape::Free,
     [](ITableCollector* p, ULONG& value, StoredSection*& section) { return p->FreeBatSection(&section); }},
    {"ResetBat", Shape::Reset,
     [](ITableCollector* p, ULONG& value, StoredSection*& section) { return p->ResetBat(); }},
    {"GetSdtStatus", Shape::Status,
     [](ITableCollector* p, ULONG& value, StoredSection*& section) { return p->GetSdtStatus(0, &value); }},
    {"GetSdtSectionCount", Shape::Value,
     [](ITableCollector* p, ULONG& value, StoredSection*& section) {
         return p->GetSdtSectionCount(0, &value);
     }},
    {"GetSdtSection", Shape::Get,
     [](ITableCollector* p, ULONG& value, StoredSection*& section) {
         return p->GetSdtSection(0, 0, &section);
     }},
    {"FreeSdtSection", Shape::Free,
     [](ITableCollector* p, ULONG& value, StoredSection*& section) { return p->FreeSdtSection(&section); }},
    {"ResetSdt", Shape::Reset,
     [](ITableCollector* p, ULONG& value, StoredSection*& section) { return p->ResetSdt(); }},
    {"GetEitStatus", Shape::Status,
     [](ITableCollector* p, ULONG& value, StoredSection*& section) { return p->GetEitStatus(0, &value); }},
    {"GetEitSectionCount", Shape::Value,
     [](ITableCollector* p, ULONG& value, StoredSection*& section) {
         return p->GetEitSectionCount(0, &value);
     }},
    {"GetEitSection", Shape::Get,
     [](ITableCollector* p, ULONG& value, StoredSection*& section) {
         return p->GetEitSection(0, 0, 0, &section);
     }},
    {"FreeEitSection", Shape::Free,
     [](ITableCollector* p, ULONG& value, StoredSection*& section) { return p->FreeEitSection(&section); }},
    {"ResetEit", Shape::Reset,
     [](ITableCollector* p, ULONG& value, StoredSection*& section) { return p->ResetEit(); }},
    {"SetEitResetOnVersionChange", Shape::Setter,
     [](ITableCollector* p, ULONG& value, StoredSection*& section) {
         return p->SetEitResetOnVersionChange(FALSE);
     }},
    {"GetTdtStatus", Shape::Status,
     [](ITableCollector* p, ULONG& value, StoredSection*& section) { return p->GetTdtStatus(&value); }},
    {"GetTdtSection", Shape::Get,
     [](ITableCollector* p, ULONG& value, StoredSection*& section) { return p->GetTdtSection(&section); }},
    {"FreeTdtSection", Shape::Free,
     [](ITableCollector* p, ULONG& value, StoredSection*& section) { return p->FreeTdtSection(&section); }},
    {"ResetTdt", Shape::Reset,
     [](ITableCollector* p, ULONG& value, StoredSection*& section) { return p->ResetTdt(); }},
    {"GetTotStatus", Shape::Status,
     [](ITableCollector* p, ULONG& value, StoredSection*& section) { return p->GetTotStatus(&value); }},
    {"GetTotSection", Shape::Get,
     [](ITableCollector* p, ULONG& value, StoredSection*& section) { return p->GetTotSection(&section); }},
    {"FreeTotSection", Shape::Free,
     [](ITableCollector* p, ULONG& value, StoredSection*& section) { return p->FreeTotSection(&section); }},
    {"ResetTot", Shape::Reset,
     [](ITableCollector* p, ULONG& value, StoredSection*& section) { return p->ResetTot(); }},
    {"GetRstStatus", Shape::Status,
     [](ITableCollector* p, ULONG& value, StoredSection*& section) { return p->GetRstStatus(&value); }},
    {"GetRstSection", Shape::Get,
     [](ITableCollector* p, ULONG& value, StoredSection*& section) { return p->GetRstSection(&section); }},
    {"FreeRstSection", Shape::Free,
     [](ITableCollector* p, ULONG& value, StoredSection*& section) { return p->FreeRstSection(&section); }},
    {"ResetRst", Shape::Reset,
     [](ITableCollector* p, ULONG& value, StoredSection*& section) { return p->ResetRst(); }},
    {"GetCatStatus", Shape::Status,
     [](ITableCollector* p, ULONG& value, StoredSection*& section) { return p->GetCatStatus(&value); }},
    {"GetCatSectionCount", Shape::Value,
     [](ITableCollector* p, ULONG& value, StoredSection*& section) { return p->GetCatSectionCount(&value); }},
    {"GetCatSection", Shape::Get,
     [](ITableCollector* p, ULONG& value, StoredSection*& section) { return p->GetCatSection(0, &section); }},
    {"FreeCatSection", Shape::Free,
     [](ITableCollector* p, ULONG& value, StoredSection*& section) { return p->FreeCatSection(&section); }},
    {"ResetCat", Shape::Reset,
     [](ITableCollector* p, ULONG& value, StoredSection*& section) { return p->ResetCat(); }},
    {"GetMgtStatus", Shape::Status,
     [](ITableCollector* p, ULONG& value, StoredSection*& section) { return p->GetMgtStatus(&value); }},
    {"GetMgtSection", Shape::Get,
     [](ITableCollector* p, ULONG& value, StoredSection*& section) { return p->GetMgtSection(&section); }},
    {"FreeMgtSection", Shape::Free,
     [](ITableCollector* p, ULONG& value, StoredSection*& section) { return p->FreeMgtSection(&section); }},
    {"ResetMgt", Shape::Reset,
     [](ITableCollector* p, ULONG& value, StoredSection*& section) { return p->ResetMgt(); }},
    {"GetVctStatus", Shape::Status,
     [](ITableCollector* p, ULONG& value, StoredSection*& section) { return p->GetVctStatus(&value); }},
    {"GetVctSectionCount", Shape::Value,
     [](ITableCollector* p, ULONG& value, StoredSection*& section) { return p->GetVctSectionCount(&value); }},
    {"GetVctSection", Shape::Get,
     [](ITableCollector* p, ULONG& value, StoredSection*& section) { return p->GetVctSection(0, &section); }},
    {"FreeVctSection", Shape::Free,
     [](ITableCollector* p, ULONG& value, StoredSection*& section) { return p->FreeVctSection(&section); }},
    {"ResetVct", Shape::Reset,
     [](ITableCollector* p, ULONG& value, StoredSection*& section) { return p->ResetVct(); }},
    {"GetSttStatus", Shape::Status,
     [](ITableCollector* p, ULONG& value, StoredSection*& section) { return p->GetSttStatus(&value); }},
    {"GetSttSection", Shape::Get,
     [](ITableCollector* p, ULONG& value, StoredSection*& section) { return p->GetSttSection(&section); }},
    {"FreeSttSection", Shape::Free,
     [](ITableCollector* p, ULONG& value, StoredSection*& section) { return p->FreeSttSection(&section); }},
    {"ResetStt", Shape::Reset,
     [](ITableCollector* p, ULONG& value, StoredSection*& section) { return p->ResetStt(); }},
    {"GetAtscEitStatus", Shape::Status,
     [](ITableCollector* p, ULONG& value,
        StoredSection*& section) { return p->GetAtscEitStatus(0, &value); }},
    {"GetAtscEitSectionCount", Shape::Value,
     [](ITableCollector* p, ULONG& value,
        StoredSection*& section) { return p->GetAtscEitSectionCount(0, &value); }},
    {"GetAtscEitSection", Shape::Get,
     [](ITableCollector* p, ULONG& value,
        StoredSection*& section) { return p->GetAtscEitSection(0, 0, 0, &section); }},
    {"FreeAtscEitSection", Shape::Free,
     [](ITableCollector* p, ULONG& value,
        StoredSection*& section) { return p->FreeAtscEitSection(&section); }},
    {"ResetAtscEit", Shape::Reset,
     [](ITableCollector* p, ULONG& value, StoredSection*& section) { return p->ResetAtscEit(); }},
    {"SetAtscEitResetOnVersionChange", Shape::Setter,
     [](ITableCollector* p, ULONG& value, StoredSection*& section) {
         return p->SetAtscEitResetOnVersionChange(FALSE);
     }},
    {"GetEttSectionCount", Shape::Value,
     [](ITableCollector* p, ULONG& value, StoredSection*& section) { return p->GetEttSectionCount(&value); }},
    {"GetEttSection", Shape::Get,
     [](ITableCollector* p, ULONG& value, StoredSection*& section) { return p->GetEttSection(0, &section); }},
    {"FreeEttSection", Shape::Free,
     [](ITableCollector* p, ULONG& value, StoredSection*& section) { return p->FreeEttSection(&section); }},
    {"ResetEtt", Shape::Reset,
     [](ITableCollector* p, ULONG& value, StoredSection*& section) { return p->ResetEtt(); }},
    {"EnableEttCollection", Shape::Setter,
     [](ITableCollector* p, ULONG& value, StoredSection*& section) { return p->EnableEttCollection(FALSE); }},
};

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
