#include "tables/EitStore.h"

#include "store_test_support.h"

#include <gtest/gtest.h>

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

TEST(EitStore, WholeScheduleFillsAndEmptiesOnASmallStack) {
    auto* store = new EitStore;
    for (uint8_t section = 0; section < 8; ++section) {
        EXPECT_EQ(section == 0 ? 0u : 1u, store->GetStatus(0x50));
        for (uint16_t service = 1; service <= 500; ++service) {
            ASSERT_EQ(S_OK, Add(*store, BuildEit(0x50, service, 3, section, 7, 7)));
        }
    }
    EXPECT_EQ(2u, store->GetStatus(0x50));
    EXPECT_EQ(8u, store->GetSectionCount(0x50));
    OnSmallStack([&] { EXPECT_TRUE(store->Reset()); });
    EXPECT_EQ(nullptr, store->GetList(0x50));
    EXPECT_EQ(0u, store->GetSectionCount(0x50));
    for (uint16_t service = 1; service <= 20000; ++service) {
        ASSERT_EQ(S_OK, Add(*store, BuildEit(0x4E, service, 0, 0, 0, 0)));
    }
    OnSmallStack([&] { delete store; }); // the destructor empties one long chain
}
