#include "tables/PmtStore.h"

#include "store_test_support.h"

#include <gtest/gtest.h>

using namespace qxtest;

namespace {

Bytes Pmt(uint16_t program, uint8_t version) {
    return BuildPmt(program, version, 0x101, {{0x02, 0x101}, {0x04, 0x102}});
}

} // namespace

TEST(PmtStore, ProgramsSharingOnePidAreKeyedByProgramNumber) {
    PmtStore store;
    EXPECT_EQ(S_OK, Add(store, Pmt(1, 0), 0x100, 3));
    EXPECT_EQ(S_OK, Add(store, Pmt(2, 0), 0x100, 3));
    EXPECT_EQ(S_OK, Add(store, Pmt(3, 0), 0x200, 3));
    EXPECT_TRUE(store.IsComplete());
    EXPECT_EQ(3u, store.GetSectionCount());
    EXPECT_EQ(S_FALSE, Add(store, Pmt(2, 0), 0x100, 3));

    EXPECT_EQ(0, store.FindSlot(0x100, 1));
    EXPECT_EQ(1, store.FindSlot(0x100, 2));
    EXPECT_EQ(0, store.FindSlot(0x100, 0)); // program 0 matches any program of the PID
    EXPECT_EQ(2, store.FindSlot(0x200, 0));
    EXPECT_EQ(-1, store.FindSlot(0x200, 1));
}

TEST(PmtStore, NewVersionOfOneProgramEmptiesTheStore) {
    PmtStore store;
    ASSERT_EQ(S_OK, Add(store, Pmt(1, 0), 0x100, 2));
    ASSERT_EQ(S_OK, Add(store, Pmt(2, 0), 0x200, 2));
    ASSERT_TRUE(store.IsComplete());

    EXPECT_EQ(S_OK, Add(store, Pmt(2, 1), 0x200, 2));
    EXPECT_FALSE(store.IsComplete());
    EXPECT_EQ(2u, store.GetSectionCount());
    EXPECT_EQ(-1, store.FindSlot(0x100, 1));
    EXPECT_EQ(0, store.FindSlot(0x200, 2));
    EXPECT_EQ(S_OK, Add(store, Pmt(1, 0), 0x100, 2));
    EXPECT_TRUE(store.IsComplete());
}

TEST(PmtStore, SlotCountChangeRebuildsTheStore) {
    PmtStore store;
    for (uint16_t p = 1; p <= 3; ++p) {
        ASSERT_EQ(S_OK, Add(store, Pmt(p, 0), 0x100 * p, 3));
    }
    ASSERT_TRUE(store.IsComplete());
    EXPECT_EQ(S_OK, Add(store, Pmt(1, 0), 0x100, 4));
    EXPECT_EQ(4u, store.GetSectionCount());
    EXPECT_FALSE(store.IsComplete());
    EXPECT_EQ(-1, store.FindSlot(0x200, 0));
    EXPECT_EQ(0, store.FindSlot(0x100, 1));

    EXPECT_TRUE(store.Reset());
    EXPECT_EQ(0u, store.GetSectionCount());
    EXPECT_FALSE(store.IsComplete());
}

TEST(PmtStore, SectionForWhichNoSlotIsFreeIsDropped) {
    PmtStore store;
    ASSERT_EQ(S_OK, Add(store, Pmt(1, 0), 0x100, 2));
    ASSERT_EQ(S_OK, Add(store, Pmt(2, 0), 0x200, 2));
    EXPECT_EQ(S_OK, Add(store, Pmt(3, 0), 0x300, 2));
    EXPECT_EQ(-1, store.FindSlot(0x300, 3));
    EXPECT_EQ(0, store.FindSlot(0x100, 1));
    EXPECT_EQ(1, store.FindSlot(0x200, 2));
}

TEST(PmtStore, Acceptance) {
    PmtStore store;
    Bytes good = Pmt(1, 0);
    ExactBuffer sample(good);
    EXPECT_EQ(E_INVALIDARG, store.AddSection(0, 1, sample.size(), sample.data()));
    EXPECT_EQ(E_INVALIDARG, store.AddSection(0x100, 0, sample.size(), sample.data()));
    EXPECT_EQ(E_INVALIDARG, store.AddSection(0x100, 1, 0, sample.data()));
    EXPECT_EQ(E_INVALIDARG, store.AddSection(0x100, 1, sample.size(), nullptr));

    // program_info_length one byte beyond what section_length leaves for it.
    Bytes info = BuildPmt(1, 0, 0x101, {}, {0x05, 0x02, 0x41, 0x42});
    EXPECT_EQ(S_OK, Add(store, info, 0x100, 1));
    store.Reset();
    info[11] += 1;
    FixCrc(info);
    EXPECT_EQ(E_INVALIDARG, Add(store, info, 0x100, 1));

    Bytes pat = BuildPat(1, 0, {{1, 0x100}});
    EXPECT_EQ(E_INVALIDARG, Add(store, pat, 0x100, 1));
    Bytes badCrc = good;
    badCrc[12] ^= 0x10;
    EXPECT_EQ(E_INVALIDARG, Add(store, badCrc, 0x100, 1));
    EXPECT_EQ(0u, store.GetSectionCount()); // refusals do not even size the store

    Bytes notCurrent = good;
    notCurrent[5] &= 0xFE;
    FixCrc(notCurrent);
    EXPECT_EQ(S_OK, Add(store, notCurrent, 0x100, 1));
}

TEST(PmtStore, OutOfMemory) {
    Bytes section = Pmt(1, 0);
    for (unsigned long n : {1ul, 2ul, 3ul}) {
        PmtStore store;
        {
            FailAllocation fail(n);
            EXPECT_EQ(E_OUTOFMEMORY, Add(store, section, 0x100, 2));
        }
        // The count handed in stands even when the slot array could not be made.
        EXPECT_EQ(2u, store.GetSectionCount());
        EXPECT_EQ(-1, store.FindSlot(0x100, 1));
        EXPECT_EQ(n == 1 ? E_POINTER : S_OK, store.FreeSlot(0));
        EXPECT_EQ(S_OK, Add(store, section, 0x100, 2));
        EXPECT_EQ(0, store.FindSlot(0x100, 1));
    }
    {
        // With every slot taken by other programs the copy is made and dropped again.
        PmtStore store;
        ASSERT_EQ(S_OK, Add(store, section, 0x100, 1));
        FailAllocation fail(1);
        EXPECT_EQ(E_OUTOFMEMORY, Add(store, Pmt(2, 0), 0x200, 1));
        EXPECT_EQ(0, store.FindSlot(0x100, 1));
    }
}
