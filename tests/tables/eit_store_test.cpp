#include "tables/EitStore.h"

#include "store_test_support.h"

#include <gtest/gtest.h>

#include <pthread.h>

#include <vector>

using namespace qxtest;

namespace {

Bytes PresentFollowing(uint16_t service, uint8_t version, uint8_t section = 0, uint8_t last = 1) {
    return BuildEit(0x4E, service, version, section, last, last);
}

} // namespace

TEST(EitStore, Acceptance) {
    EitStore store;
    SectionBuilder longest;
    longest.Table(0x50).Extension(1).Append({0, 1, 0, 2, 0, 0x50});
    longest.body.resize(4093 - 9, 0xAA);
    ASSERT_EQ(4093u, SectionLength(longest.Build().data()));
    EXPECT_EQ(S_OK, Add(store, longest.Build()));
    longest.body.push_back(0xAA);
    EXPECT_EQ(E_INVALIDARG, Add(store, longest.Build()));

    SectionBuilder fourteen;
    fourteen.Table(0x4E).Extension(1).Append({0, 1, 0, 2, 0});
    ASSERT_EQ(14u, SectionLength(fourteen.Build().data()));
    EXPECT_EQ(E_INVALIDARG, Add(store, fourteen.Build()));
    fourteen.Append({0x4E});
    EXPECT_EQ(S_OK, Add(store, fourteen.Build()));

    for (uint8_t other : {0x4F, 0x60, 0x6F, 0x70, 0x4D}) {
        EXPECT_EQ(E_INVALIDARG, Add(store, BuildEit(other, 9, 0, 0, 0, 0))) << int(other);
    }
    Bytes badCrc = PresentFollowing(9, 0);
    badCrc[14] ^= 1;
    EXPECT_EQ(E_INVALIDARG, Add(store, badCrc));
    EXPECT_EQ(E_INVALIDARG, Add(store, PresentFollowing(9, 0, 2, 1)));
    EXPECT_EQ(-1, store.GetVersion(0x4E, 0, 9));
    EXPECT_EQ(1u, store.GetSectionCount(0x4E));
    StoredSection* untouched = nullptr;
    EXPECT_EQ(E_POINTER, store.GetSection(0x4E, 0, 9, &untouched));
    EXPECT_EQ(nullptr, untouched);
}

TEST(EitStore, StatusBySegments) {
    EitStore store;
    EXPECT_EQ(0u, store.GetStatus(0x4E));
    ASSERT_EQ(S_OK, Add(store, PresentFollowing(5, 0, 1, 1)));
    EXPECT_EQ(0u, store.GetStatus(0x4E)); // no section 0 yet
    store.Reset();
    ASSERT_EQ(S_OK, Add(store, PresentFollowing(5, 0, 0, 1)));
    ASSERT_EQ(S_OK, Add(store, PresentFollowing(6, 0, 0, 1)));
    EXPECT_EQ(1u, store.GetStatus(0x4E));
    ASSERT_EQ(S_OK, Add(store, PresentFollowing(6, 0, 1, 1))); // section 1 of any service
    EXPECT_EQ(2u, store.GetStatus(0x4E));
    EXPECT_EQ(2u, store.GetListCounter(0x4E));

    // One segment in use of a schedule announcing two: complete with two distinct section_numbers.
    ASSERT_EQ(S_OK, Add(store, BuildEit(0x50, 1, 0, 0, 15, 0)));
    EXPECT_EQ(1u, store.GetStatus(0x50));
    ASSERT_EQ(S_OK, Add(store, BuildEit(0x50, 2, 0, 8, 15, 8)));
    EXPECT_EQ(2u, store.GetStatus(0x50));

    // A one-section table is complete at once.
    ASSERT_EQ(S_OK, Add(store, BuildEit(0x51, 1, 0, 0, 0, 0)));
    EXPECT_EQ(2u, store.GetStatus(0x51));

    for (DWORD other : {0x4Fu, 0x60u, 0x00u, 0x14Eu}) {
        EXPECT_EQ(0u, store.GetStatus(other));
        EXPECT_EQ(0u, store.GetSectionCount(other));
    }
}

// Failures of a new node or of the index are the list-walk model's; here what a new version does first.
TEST(EitStore, OutOfMemory) {
    EitStore store;
    ASSERT_EQ(S_OK, Add(store, PresentFollowing(1, 0)));
    {
        // Replacement: the copy fails before the node is touched.
        store.SetResetOnVersionChange(FALSE);
        FailAllocation fail(1);
        EXPECT_EQ(E_OUTOFMEMORY, Add(store, PresentFollowing(1, 1)));
        EXPECT_EQ(0, store.GetVersion(0x4E, 0, 1));
    }
    {
        // With the flag set the reset stands.
        store.SetResetOnVersionChange(TRUE);
        ASSERT_EQ(S_OK, Add(store, BuildEit(0x50, 1, 0, 0, 0, 0)));
        FailAllocation fail(1);
        EXPECT_EQ(E_OUTOFMEMORY, Add(store, PresentFollowing(1, 1)));
        EXPECT_EQ(0u, store.GetSectionCount(0x4E));
        EXPECT_EQ(0u, store.GetSectionCount(0x50));
    }
}

namespace {

struct ScheduleRun {
    DWORD services = 0;
    DWORD chainServices = 0;
    HRESULT firstFailure = S_OK;
    DWORD statusBefore = 0, statusAfter = 0, countAfter = 0, chainCount = 0;
    bool emptyAfterReset = false;
};

// Fills a whole schedule and a long present/following chain, then empties the store: run on a thread
// with a small stack, so a release that recursed per node would overflow it.
void* RunSchedule(void* arg) {
    auto* run = static_cast<ScheduleRun*>(arg);
    EitStore store;
    auto add = [&](const Bytes& s) {
        HRESULT hr = store.AddSection(static_cast<DWORD>(s.size()), s.data());
        if (hr != S_OK && run->firstFailure == S_OK) {
            run->firstFailure = hr;
        }
    };
    for (uint8_t section = 0; section < 8; ++section) {
        if (section == 7) {
            run->statusBefore = store.GetStatus(0x50);
        }
        for (DWORD service = 1; service <= run->services; ++service) {
            add(BuildEit(0x50, static_cast<uint16_t>(service), 3, section, 7, 7));
        }
    }
    run->statusAfter = store.GetStatus(0x50);
    run->countAfter = store.GetSectionCount(0x50);
    for (DWORD service = 1; service <= run->chainServices; ++service) {
        add(BuildEit(0x4E, static_cast<uint16_t>(service), 0, 0, 0, 0));
    }
    for (const EitSectionNode* n = store.GetList(0x4E); n != nullptr; n = n->next_service) {
        ++run->chainCount;
    }
    store.Reset();
    run->emptyAfterReset =
        store.GetList(0x50) == nullptr && store.GetList(0x4E) == nullptr && store.GetSectionCount(0x50) == 0;
    return nullptr;
}

} // namespace

TEST(EitStore, WholeScheduleFillsAndEmptiesOnASmallStack) {
    ScheduleRun run;
    run.services = 500;
    run.chainServices = 20000;
    pthread_attr_t attr;
    pthread_attr_init(&attr);
    pthread_attr_setstacksize(&attr, 256 * 1024);
    pthread_t thread;
    ASSERT_EQ(0, pthread_create(&thread, &attr, RunSchedule, &run));
    pthread_join(thread, nullptr);
    pthread_attr_destroy(&attr);

    EXPECT_EQ(S_OK, run.firstFailure);
    EXPECT_EQ(1u, run.statusBefore);
    EXPECT_EQ(2u, run.statusAfter);
    EXPECT_EQ(8u, run.countAfter);
    EXPECT_EQ(run.chainServices, run.chainCount);
    EXPECT_TRUE(run.emptyAfterReset);
}
