#include "tables/BatStore.h"
#include "tables/CatStore.h"
#include "tables/NitStore.h"
#include "tables/SdtStore.h"

#include "store_test_support.h"

#include <gtest/gtest.h>

using namespace qxtest;

namespace {

const Bytes kNetworkName = {0x40, 0x03, 'a', 'b', 'c'};
const Bytes kTsEntry = {0x00, 0x01, 0x00, 0x02, 0xF0, 0x00};

Bytes Nit(uint16_t networkId, uint8_t version, uint8_t section = 0, uint8_t last = 0,
          uint8_t tableId = 0x40) {
    return BuildNitLike(tableId, networkId, version, section, last, kNetworkName, kTsEntry);
}

Bytes Bat(uint16_t bouquetId, uint8_t version, uint8_t section = 0, uint8_t last = 0) {
    return BuildNitLike(0x4A, bouquetId, version, section, last, kNetworkName, kTsEntry);
}

Bytes Sdt(uint16_t tsid, uint8_t version, uint8_t section = 0, uint8_t last = 0, uint8_t tableId = 0x42) {
    return BuildSdt(tableId, tsid, version, section, last, {0x00, 0x01, 0xFC, 0x80, 0x00});
}

} // namespace

TEST(NitStore, OtherNetworkAndLoopLengths) {
    NitStore store;
    EXPECT_EQ(E_INVALIDARG, Add(store, Nit(1, 0, 0, 0, 0x41)));
    EXPECT_EQ(E_INVALIDARG, Add(store, Nit(1, 0, 0, 0, 0x42)));

    // network_descriptors_length one too large for section_length (CRC made right again).
    Bytes tooLong = Nit(1, 0);
    tooLong[9] += 1;
    FixCrc(tooLong);
    EXPECT_EQ(E_INVALIDARG, Add(store, tooLong));

    // A network_descriptors_length that puts the loop-length field beyond the sample.
    Bytes beyond = Nit(1, 0);
    beyond[8] = 0xF0;
    beyond[9] = 0xFF;
    FixCrc(beyond);
    EXPECT_EQ(E_INVALIDARG, Add(store, beyond));
    // The same field just inside the sample (its last two bytes) is read, then judged by the sum.
    Bytes edge = Nit(1, 0);
    edge[9] = static_cast<uint8_t>(edge.size() - 12);
    FixCrc(edge);
    EXPECT_EQ(E_INVALIDARG, Add(store, edge));
    EXPECT_EQ(0u, store.GetSectionCount(0));

    // Without descriptors or transport streams: section_length 13.
    EXPECT_EQ(S_OK, Add(store, BuildNitLike(0x40, 1, 0, 0, 0)));
}

TEST(NitStore, AnotherNetworkAtTheSameVersionEmptiesTheStoreWithoutStoring) {
    NitStore store;
    ASSERT_EQ(S_OK, Add(store, Nit(1, 2, 0, 1)));
    ASSERT_EQ(S_OK, Add(store, Nit(1, 2, 1, 1)));
    EXPECT_EQ(S_FALSE, Add(store, Nit(1, 2, 0, 1)));
    EXPECT_EQ(2u, store.GetSectionCount(0));

    EXPECT_EQ(S_FALSE, Add(store, Nit(2, 2, 0, 1)));
    EXPECT_EQ(0u, store.GetSectionCount(0));
    EXPECT_EQ(S_OK, Add(store, Nit(2, 2, 0, 1)));
    EXPECT_EQ(2u, store.GetSectionCount(0));

    // Another version is stored at once.
    EXPECT_EQ(S_OK, Add(store, Nit(2, 3, 0, 1)));
    EXPECT_EQ(3, store.GetVersion(0, 0));
}

TEST(SdtStore, AcceptanceAndOtherTransportStream) {
    SdtStore store;
    EXPECT_EQ(E_INVALIDARG, Add(store, Sdt(1, 0, 0, 0, 0x46)));
    SectionBuilder shortest;
    shortest.Table(0x42).Extension(1).Append({0x12, 0x34});
    EXPECT_EQ(11, SectionLength(shortest.Build().data()));
    EXPECT_EQ(E_INVALIDARG, Add(store, shortest.Build()));
    shortest.Append({0xFF});
    EXPECT_EQ(S_OK, Add(store, shortest.Build()));
    store.Reset();

    ASSERT_EQ(S_OK, Add(store, Sdt(1, 4)));
    EXPECT_EQ(S_FALSE, Add(store, Sdt(1, 4)));
    EXPECT_EQ(S_FALSE, Add(store, Sdt(2, 4)));
    EXPECT_EQ(0u, store.GetSectionCount(0));
    EXPECT_EQ(S_OK, Add(store, Sdt(2, 4)));
    Copy copy;
    ASSERT_EQ(S_OK, store.GetSection(0, 0, copy.out()));
    EXPECT_EQ(2u, SectionTableIdExtension(copy.p->bytes));
}

TEST(BatStore, AnotherBouquetReplacesTheTable) {
    BatStore store;
    ASSERT_EQ(S_OK, Add(store, Bat(1, 0, 0, 1)));
    ASSERT_EQ(S_OK, Add(store, Bat(1, 0, 1, 1)));
    EXPECT_EQ(S_FALSE, Add(store, Bat(1, 0, 1, 1)));
    EXPECT_EQ(S_OK, Add(store, Bat(2, 0, 1, 1)));
    EXPECT_EQ(-1, store.GetVersion(0));
    Copy copy;
    ASSERT_EQ(S_OK, store.GetSection(1, copy.out()));
    EXPECT_EQ(2u, SectionTableIdExtension(copy.p->bytes));

    EXPECT_EQ(E_INVALIDARG, Add(store, Nit(1, 0, 1, 1)));
    Bytes loopTooShort = Bat(2, 0, 0, 1);
    loopTooShort[8 + 2 + kNetworkName.size() + 1] -= 1;
    FixCrc(loopTooShort);
    EXPECT_EQ(E_INVALIDARG, Add(store, loopTooShort));
}

TEST(CatStore, NoCrcNoExtensionAndNoPidInCopies) {
    CatStore store;
    SectionBuilder eight;
    eight.Table(0x01).section_length = 8;
    Bytes tooShort = eight.Build();
    EXPECT_EQ(E_INVALIDARG, Add(store, tooShort));
    EXPECT_EQ(9u, SectionLength(BuildCat(0, 0, 0).data()));
    EXPECT_EQ(S_OK, Add(store, BuildCat(0, 0, 0)));
    store.Reset();

    Bytes wrongCrc = BuildCat(1, 0, 0, 0xFFFF, {0x09, 0x04, 0x01, 0x00, 0xE1, 0x00});
    wrongCrc.back() ^= 0xFF;
    EXPECT_EQ(S_OK, Add(store, wrongCrc));
    EXPECT_EQ(S_FALSE, Add(store, BuildCat(1, 0, 0, 0x1234)));
    Copy held;
    ASSERT_EQ(S_OK, store.GetSection(0, held.out()));
    EXPECT_EQ(0u, held.p->pid);
    EXPECT_EQ(0xFFFFu, SectionTableIdExtension(held.p->bytes));
    EXPECT_EQ(wrongCrc.size(), held.p->length);

    SectionBuilder pmtTable;
    pmtTable.Table(0x02).Version(2);
    EXPECT_EQ(E_INVALIDARG, Add(store, pmtTable.Build()));

    EXPECT_EQ(S_OK, Add(store, BuildCat(2, 0, 0)));
    EXPECT_EQ(2, store.GetVersion(0));
}

TEST(SectionSetStores, OutOfMemoryKeepsWhatTheRulesSay) {
    const Bytes nitSection = Nit(1, 0, 0, 1), batSection = Bat(1, 0, 0, 1), sdtSection = Sdt(1, 0, 0, 1),
                catSection = BuildCat(0, 0, 1);
    // Allocation 1 is the slot array, 2 the copy, 3 the record.
    for (unsigned long n : {1ul, 2ul, 3ul}) {
        NitStore nit;
        BatStore bat;
        SdtStore sdt;
        CatStore cat;
        {
            FailAllocation fail(n);
            EXPECT_EQ(E_OUTOFMEMORY, Add(nit, nitSection));
            MemFailAt(n);
            EXPECT_EQ(E_OUTOFMEMORY, Add(bat, batSection));
            MemFailAt(n);
            EXPECT_EQ(E_OUTOFMEMORY, Add(sdt, sdtSection));
            MemFailAt(n);
            EXPECT_EQ(E_OUTOFMEMORY, Add(cat, catSection));
        }
        const DWORD slots = n == 1 ? 0 : 2;
        EXPECT_EQ(slots, nit.GetSectionCount(0));
        EXPECT_EQ(slots, bat.GetSectionCount());
        EXPECT_EQ(slots, sdt.GetSectionCount(0));
        EXPECT_EQ(slots, cat.GetSectionCount());
        EXPECT_EQ(S_OK, Add(nit, nitSection));
        EXPECT_EQ(S_OK, Add(bat, batSection));
        EXPECT_EQ(S_OK, Add(sdt, sdtSection));
        EXPECT_EQ(S_OK, Add(cat, catSection));
    }
}
