#include "tables/RstStore.h"
#include "tables/TdtStore.h"
#include "tables/TotStore.h"

#include "store_test_support.h"

#include <gtest/gtest.h>

using namespace qxtest;

TEST(TdtStore, AcceptanceAndReplacement) {
    TdtStore store;
    EXPECT_FALSE(store.IsComplete());
    Bytes tdt = BuildTdt();
    EXPECT_EQ(S_OK, Add(store, tdt));
    Bytes later = tdt;
    later[7] = 0x57;
    EXPECT_EQ(S_OK, Add(store, later));
    EXPECT_EQ(S_OK, Add(store, later)); // no duplicate test: taken again
    EXPECT_EQ(0x57, store.Held().bytes[7]);
    EXPECT_EQ(0x0014u, store.Held().pid);

    Bytes syntax = tdt;
    syntax[1] |= 0x80;
    Bytes six = tdt;
    six[2] = 6;
    Bytes nine = tdt;
    nine.push_back(0);
    Bytes tot = tdt;
    tot[0] = 0x73;
    for (const Bytes& refused : {syntax, six, nine, tot}) {
        EXPECT_EQ(E_INVALIDARG, Add(store, refused));
    }
    EXPECT_EQ(0x57, store.Held().bytes[7]);
}

TEST(TotStore, Acceptance) {
    TotStore store;
    Bytes tot =
        BuildTot({0x58, 0x0D, 'D', 'E', 'U', 0x02, 0x01, 0x00, 0xE8, 0x3C, 0x00, 0x00, 0x01, 0x00, 0x00});
    EXPECT_EQ(S_OK, Add(store, tot));
    EXPECT_EQ(S_OK, Add(store, BuildTot()));
    EXPECT_EQ(BuildTot().size(), store.Held().length);

    Bytes loopOff = tot;
    loopOff[9] -= 1;
    FixCrc(loopOff);
    EXPECT_EQ(E_INVALIDARG, Add(store, loopOff));
    Bytes badCrc = tot;
    badCrc[4] ^= 1;
    EXPECT_EQ(E_INVALIDARG, Add(store, badCrc));
    Bytes otherTable = tot;
    otherTable[0] = 0x72;
    FixCrc(otherTable);
    EXPECT_EQ(E_INVALIDARG, Add(store, otherTable));
    EXPECT_EQ(BuildTot().size(), store.Held().length);
}

TEST(RstStore, AcceptanceAndLength) {
    RstStore store;
    EXPECT_EQ(S_OK, Add(store, BuildRst(0)));
    EXPECT_EQ(3u, store.Held().length);
    EXPECT_EQ(0x0013u, store.Held().pid);
    EXPECT_EQ(S_OK, Add(store, BuildRst(2)));
    Bytes longer = BuildRst(1);
    longer.push_back(0);
    EXPECT_EQ(E_INVALIDARG, Add(store, longer));
    Bytes syntax = BuildRst(1);
    syntax[1] |= 0x80;
    EXPECT_EQ(E_INVALIDARG, Add(store, syntax));
    EXPECT_EQ(21u, store.Held().length);
}

TEST(SingleSectionStores, OutOfMemory) {
    TotStore store;
    ASSERT_EQ(S_OK, Add(store, BuildTot()));
    {
        // The held section is dropped before the new copy is made.
        FailAllocation fail(1);
        EXPECT_EQ(E_OUTOFMEMORY, Add(store, BuildTot()));
    }
    EXPECT_FALSE(store.IsComplete());
    EXPECT_EQ(0u, store.Held().length);
    EXPECT_EQ(S_OK, Add(store, BuildTot()));
}
