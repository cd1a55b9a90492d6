#include "tables/PatStore.h"

#include "store_test_support.h"

#include <gtest/gtest.h>

using namespace qxtest;

namespace {

Bytes Pat(uint16_t tsid, uint8_t version, uint8_t section = 0, uint8_t last = 0) {
    return BuildPat(tsid, version, {{1, 0x100}, {2, 0x200}}, section, last);
}

// A PAT whose section_length is forced, with a correct CRC over the bytes it has.
Bytes PatWithSectionLength(uint16_t sectionLength, size_t bodyBytes) {
    SectionBuilder b;
    b.Table(0x00).Extension(1);
    b.body.assign(bodyBytes, 0xE1);
    b.section_length = sectionLength;
    return b.Build();
}

} // namespace

TEST(PatStore, TrailingBytesAfterCrc) {
    PatStore store;
    Bytes ffTail = Pat(1, 0);
    ffTail.push_back(0xFF);
    EXPECT_EQ(E_INVALIDARG, Add(store, ffTail));
    EXPECT_EQ(0u, store.GetSectionCount());

    Bytes zeroTail = Pat(1, 0);
    zeroTail.push_back(0x00);
    EXPECT_EQ(S_OK, Add(store, zeroTail));
    Copy copy;
    ASSERT_EQ(S_OK, store.GetSection(0, copy.out()));
    ASSERT_NE(nullptr, copy.p);
    EXPECT_EQ(zeroTail.size(), copy.p->length);
    EXPECT_EQ(3 + SectionLength(zeroTail.data()) + 1, copy.p->length);
}

TEST(PatStore, SectionLengthBounds) {
    // 1021 = 5 header bytes + 253 program entries + CRC_32.
    {
        PatStore store;
        Bytes longest = PatWithSectionLength(1021, 1012);
        ASSERT_EQ(1024u, longest.size());
        EXPECT_EQ(S_OK, Add(store, longest));
    }
    {
        PatStore store;
        EXPECT_EQ(E_INVALIDARG, Add(store, PatWithSectionLength(1022, 1013)));
        EXPECT_EQ(E_INVALIDARG, Add(store, PatWithSectionLength(1024, 1012)));
        EXPECT_EQ(E_INVALIDARG, Add(store, PatWithSectionLength(4, 0)));
        EXPECT_EQ(0u, store.GetSectionCount());
    }
    {
        // section_length 5 passes the loop check and is judged by the CRC over the bytes given.
        PatStore store;
        EXPECT_EQ(S_OK, Add(store, PatWithSectionLength(5, 0)));
        Bytes bad = PatWithSectionLength(5, 0);
        bad.back() ^= 1;
        PatStore other;
        EXPECT_EQ(E_INVALIDARG, Add(other, bad));
    }
}

TEST(PatStore, RefusedSectionsLeaveTheStoreAsItWas) {
    PatStore store;
    ASSERT_EQ(S_OK, Add(store, Pat(1, 3, 0, 1)));

    std::vector<Bytes> refused;
    refused.push_back(Pat(1, 4, 2, 1)); // last_section_number below section_number
    SectionBuilder noSyntax;
    noSyntax.Table(0x00).Extension(1).Version(4).Number(0, 1).Append({0, 1, 0xE1, 0});
    noSyntax.syntax = false;
    refused.push_back(noSyntax.Build());
    SectionBuilder brokenLoop;
    brokenLoop.Table(0x00).Extension(1).Version(4).Number(0, 1).Append({0, 1, 0xE1});
    refused.push_back(brokenLoop.Build());
    SectionBuilder pmt;
    pmt.Table(0x02).Extension(1).Version(4).Number(0, 1).Append({0, 1, 0xE1, 0});
    refused.push_back(pmt.Build());
    Bytes badCrc = Pat(1, 4, 0, 1);
    badCrc[8] ^= 0x01;
    refused.push_back(badCrc);
    refused.push_back(Pat(1, 4, 0, 2)); // would resize the table, but its CRC is broken below
    refused.back().back() ^= 0x80;

    for (const Bytes& section : refused) {
        EXPECT_EQ(E_INVALIDARG, Add(store, section));
        EXPECT_EQ(2u, store.GetSectionCount());
        EXPECT_EQ(3, store.GetVersion(0));
    }
    EXPECT_EQ(E_INVALIDARG, store.AddSection(0, Pat(1, 0).data()));
    EXPECT_EQ(E_INVALIDARG, store.AddSection(16, nullptr));
    EXPECT_EQ(3, store.GetVersion(0));
}

TEST(PatStore, DuplicatesAreAnsweredWithoutAllocating) {
    PatStore store;
    Bytes section = Pat(1, 0);
    section[5] &= 0xFE; // current_next_indicator 0 is stored like 1
    FixCrc(section);
    EXPECT_EQ(S_OK, Add(store, section));
    ExactBuffer sample(section);
    unsigned long before = MemAllocationCount();
    EXPECT_EQ(S_FALSE, store.AddSection(sample.size(), sample.data()));
    EXPECT_EQ(before, MemAllocationCount());
    EXPECT_TRUE(store.IsComplete());
    EXPECT_EQ(1u, store.GetSectionCount());
}

TEST(PatStore, PartialTable) {
    PatStore store;
    EXPECT_FALSE(store.IsComplete());
    ASSERT_EQ(S_OK, Add(store, Pat(1, 0, 1, 2)));
    EXPECT_EQ(3u, store.GetSectionCount());
    EXPECT_FALSE(store.IsComplete());

    StoredSection* untouched = nullptr;
    EXPECT_EQ(S_OK, store.GetSection(0, &untouched));
    EXPECT_EQ(nullptr, untouched);
    EXPECT_EQ(E_INVALIDARG, store.GetSection(3, &untouched));
    EXPECT_EQ(-1, store.GetVersion(0));
    EXPECT_EQ(0, store.GetVersion(1));
    EXPECT_EQ(static_cast<LONG>(E_INVALIDARG), store.GetVersion(3));

    ASSERT_EQ(S_OK, Add(store, Pat(1, 0, 0, 2)));
    ASSERT_EQ(S_OK, Add(store, Pat(1, 0, 2, 2)));
    EXPECT_TRUE(store.IsComplete());
}

// A new version in an occupied slot empties the store; in an empty slot it is stored beside the old.
TEST(PatStore, NewVersionEmptiesTheStoreOnlyWhereItsSlotIsHeld) {
    PatStore store;
    ASSERT_EQ(S_OK, Add(store, Pat(1, 4, 0, 1)));
    EXPECT_EQ(S_OK, Add(store, Pat(1, 5, 1, 1)));
    EXPECT_TRUE(store.IsComplete());
    EXPECT_EQ(4, store.GetVersion(0));
    EXPECT_EQ(5, store.GetVersion(1));

    EXPECT_EQ(S_OK, Add(store, Pat(1, 6, 0, 1)));
    EXPECT_FALSE(store.IsComplete());
    EXPECT_EQ(2u, store.GetSectionCount());
    EXPECT_EQ(6, store.GetVersion(0));
    EXPECT_EQ(-1, store.GetVersion(1));
}

TEST(PatStore, SizeOrTransportStreamChangeEmptiesTheStore) {
    PatStore store;
    ASSERT_EQ(S_OK, Add(store, Pat(1, 4, 0, 1)));
    ASSERT_EQ(S_OK, Add(store, Pat(1, 4, 1, 1)));
    EXPECT_EQ(S_OK, Add(store, Pat(1, 4, 2, 2)));
    EXPECT_EQ(3u, store.GetSectionCount());
    EXPECT_EQ(-1, store.GetVersion(0));
    EXPECT_EQ(-1, store.GetVersion(1));
    EXPECT_EQ(4, store.GetVersion(2));

    // Same version and section_number of another transport stream.
    EXPECT_EQ(S_OK, Add(store, Pat(2, 4, 2, 2)));
    Copy copy;
    ASSERT_EQ(S_OK, store.GetSection(2, copy.out()));
    ASSERT_NE(nullptr, copy.p);
    EXPECT_EQ(2u, SectionTableIdExtension(copy.p->bytes));
    EXPECT_EQ(-1, store.GetVersion(0));
}

TEST(PatStore, SlotOperationCodes) {
    PatStore store;
    EXPECT_EQ(E_INVALIDARG, store.FreeSlot(0));
    EXPECT_EQ(static_cast<LONG>(E_INVALIDARG), store.GetVersion(0));
    StoredSection* out = nullptr;
    EXPECT_EQ(E_INVALIDARG, store.GetSection(0, &out));

    ASSERT_EQ(S_OK, Add(store, Pat(1, 2, 0, 1)));
    EXPECT_EQ(S_OK, store.FreeSlot(1)); // already empty
    EXPECT_EQ(S_OK, store.FreeSlot(0));
    EXPECT_EQ(-1, store.GetVersion(0));
    EXPECT_EQ(2u, store.GetSectionCount());
    EXPECT_EQ(E_INVALIDARG, store.FreeSlot(2));
    // The emptied slot takes the same section again.
    EXPECT_EQ(S_OK, Add(store, Pat(1, 2, 0, 1)));
}

TEST(PatStore, OutOfMemoryWhileStoring) {
    Bytes section = Pat(1, 0, 0, 1);
    {
        // Slot array: the store stays empty.
        PatStore store;
        FailAllocation fail(1);
        EXPECT_EQ(E_OUTOFMEMORY, Add(store, section));
        EXPECT_EQ(0u, store.GetSectionCount());
    }
    for (unsigned long n : {2ul, 3ul}) {
        // Copy or record: the slot array stays, empty, and the next repetition is stored.
        PatStore store;
        {
            FailAllocation fail(n);
            EXPECT_EQ(E_OUTOFMEMORY, Add(store, section));
        }
        EXPECT_EQ(2u, store.GetSectionCount());
        EXPECT_EQ(-1, store.GetVersion(0));
        EXPECT_EQ(S_OK, Add(store, section));
        EXPECT_EQ(0, store.GetVersion(0));
    }
    {
        // A reset made for a new version stands when the allocation after it fails.
        PatStore store;
        ASSERT_EQ(S_OK, Add(store, section));
        ASSERT_EQ(S_OK, Add(store, Pat(1, 0, 1, 1)));
        {
            FailAllocation fail(1);
            EXPECT_EQ(E_OUTOFMEMORY, Add(store, Pat(1, 1, 0, 1)));
        }
        EXPECT_EQ(0u, store.GetSectionCount());
        EXPECT_FALSE(store.IsComplete());
    }
}
