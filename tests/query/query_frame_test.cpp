// The frame every ITableCollector method shares: the answers for a missing store or pin, and the
// section lock held for the whole of each call.
#include "query_support.h"
#include "slot_recorder.h"

#include "intake/TableCollectorInputPin.h"
#include "tables/PatStore.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <utility>

using namespace qxtest;

namespace {

enum class Shape { Control, Status, Value, Get, Free, Reset, Setter };

// A method's shape follows from its name.
Shape ShapeOf(const std::string& name) {
    if (name == "ResetAllTables" || name.find("RequestedPid") != std::string::npos) {
        return Shape::Control;
    }
    const std::pair<const char*, Shape> prefixes[] = {
        {"Free", Shape::Free}, {"Reset", Shape::Reset}, {"Set", Shape::Setter}, {"Enable", Shape::Setter}};
    for (const auto& [prefix, shape] : prefixes) {
        if (name.rfind(prefix, 0) == 0) {
            return shape;
        }
    }
    const size_t suffix = name.size() - std::min<size_t>(name.size(), 6);
    return name.find("Status", suffix) != std::string::npos  ? Shape::Status
           : name.find("Count", suffix) != std::string::npos ? Shape::Value
                                                             : Shape::Get;
}

// What a method answers when the store (or, for the control methods, the pin) it needs is missing.
void ExpectMissingShape(ITableCollector* itf, size_t slot) {
    SCOPED_TRACE(SlotName(slot));
    const ULONG untouched = 0xDEADBEEF;
    StoredSection sentinel = {};
    ULONG value = untouched;
    StoredSection* section = &sentinel;
    HRESULT hr = CallSlot(slot, itf, value, section);
    switch (ShapeOf(SlotName(slot))) {
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
    Collector c(false); // no result slot: neither pin nor stores
    ASSERT_NE(c.itf, nullptr);
    ASSERT_EQ(c.filter->m_pInputPin, nullptr);
    for (size_t slot = 0; slot < SlotCount(); ++slot) {
        ExpectMissingShape(c.itf, slot);
    }
}

TEST(QueryFrame, StoresMissingBehindAPinThatExists) {
    std::unique_ptr<Collector> c;
    MakeStoppedCollector(
        c, [](TableCollectorFilter& f) { return f.m_pInputPin != nullptr && f.m_pPatStore == nullptr; });
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(c->hr, E_OUTOFMEMORY);
    for (size_t slot = 0; slot < SlotCount(); ++slot) {
        if (ShapeOf(SlotName(slot)) != Shape::Control) {
            ExpectMissingShape(c->itf, slot);
        }
    }
    // The control methods reach the pin now: an unrequested PID is reported as not seen.
    ULONG seen = 0xDEADBEEF;
    EXPECT_EQ((*c)->IsRequestedPidSeen(0x0100, &seen), S_OK);
    EXPECT_EQ(seen, 0u);
    const ULONG pids[] = {0x0100, 0x0200};
    EXPECT_EQ((*c)->SetRequestedPids(2, pids), S_OK);
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
    for (size_t slot = 0; slot < SlotCount(); ++slot) {
        SCOPED_TRACE(SlotName(slot));
        std::atomic<bool> done{false};
        c.filter->m_csSection.Lock();
        std::thread caller([&] {
            ULONG value = 0;
            StoredSection* section = nullptr;
            CallSlot(slot, c.itf, value, section);
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
    ASSERT_EQ(Add(*c.filter->m_pPatStore, BuildPat(1, 0, {{1, 0x100}})), S_OK);
    c.filter->m_csSection.Lock();
    EXPECT_EQ(c->ResetAllTables(), S_OK);
    c.filter->m_csSection.Unlock();
    ULONG count = 99;
    EXPECT_EQ(c->GetPatSectionCount(&count), S_OK);
    EXPECT_EQ(count, 0u);
}

} // namespace
