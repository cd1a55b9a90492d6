// The stores of the PSIP base PID: MGT, STT (single-section) and TVCT (section-set).
#include "atsc_support.h"
#include "tables/MgtStore.h"
#include "tables/SttStore.h"
#include "tables/VctStore.h"

using namespace qxtest;

namespace {

Bytes HeldBytes(const SingleSectionStore& store) {
    const StoredSection& s = store.Held();
    return s.bytes ? Bytes(s.bytes, s.bytes + s.length) : Bytes{};
}

// An MGT padded with an outer descriptor to the given section_length.
Bytes MgtOfLength(uint16_t sectionLength, uint8_t version = 0) {
    Bytes probe = BuildMgt(version, {});
    size_t pad = sectionLength - (probe.size() - 3);
    Bytes descriptors;
    while (pad > 0) {
        size_t payload = std::min<size_t>(pad - 2, 255);
        if (pad - 2 - payload == 1) {
            --payload; // never leave a single byte that cannot form a descriptor
        }
        Bytes d = Descriptor(0x80, Bytes(payload, 0x55));
        descriptors.insert(descriptors.end(), d.begin(), d.end());
        pad -= d.size();
    }
    Bytes mgt = BuildMgt(version, {}, descriptors);
    EXPECT_EQ(mgt.size(), 3u + sectionLength);
    return mgt;
}

TEST(MgtStore, OnlyTheVersionTellsANewMgt) {
    MgtStore store;
    Bytes v3 = BuildMgt(3, {{0x0100, 0x1D00, 0, 10, {}}});
    EXPECT_EQ(Add(store, v3), S_OK);
    // Same version with other contents is still a repeat.
    EXPECT_EQ(Add(store, BuildMgt(3, {{0x0100, 0x1D01, 0, 10, {}}})), S_FALSE);
    EXPECT_EQ(HeldBytes(store), v3);
    Bytes v4 = BuildMgt(4, {{0x0100, 0x1D01, 0, 10, {}}});
    EXPECT_EQ(Add(store, v4), S_OK);
    EXPECT_EQ(HeldBytes(store), v4);
    // After a reset the same version is new again, so the pin remaps its PIDs.
    StoredSection* before = nullptr;
    ASSERT_EQ(store.GetSection(&before), S_OK);
    EXPECT_TRUE(store.Reset());
    EXPECT_FALSE(store.IsComplete());
    EXPECT_EQ(Add(store, v4), S_OK);
    ExpectCopy(before, 0x1FFB, 0, v4); // a copy taken earlier is its reader's own
    MgtStore::FreeSection(&before);
}

TEST(MgtStore, RefusesEachBrokenTestAndKeepsWhatItHolds) {
    Bytes held = BuildMgt(3, {});
    std::vector<Breakage> breakages = CommonPsipBreakages();
    breakages.push_back({"section_length 4094", [](Bytes& s) { SetLength12(s, 1, 4094); }});
    breakages.push_back({"section_length 13", [](Bytes& s) { SetLength12(s, 1, 13); }});
    breakages.push_back({"table_id_extension 1", [](Bytes& s) { s[4] = 1; }});
    breakages.push_back({"section_number 1", [](Bytes& s) { s[6] = 1, s[7] = 1; }});
    breakages.push_back({"last_section_number 1", [](Bytes& s) { s[7] = 1; }});
    breakages.push_back({"table_id 0xC8", [](Bytes& s) { s[0] = 0xC8; }});
    breakages.push_back({"CRC_32", [](Bytes& s) { s.back() ^= 1; }, false});
    breakages.push_back({"trailing 0xFF", [](Bytes& s) { s.push_back(0xFF); }, false});
    // Same version as the held one: refused, not answered as a repeat.
    ExpectRefused<MgtStore>(breakages, held, {held, BuildMgt(9, {})}, Add<MgtStore>, HeldBytes);
    MgtStore store;
    EXPECT_EQ(store.AddSection(static_cast<DWORD>(held.size()), nullptr), E_INVALIDARG);
    EXPECT_FALSE(store.IsComplete());
}

TEST(MgtStore, SectionLengthBounds) {
    MgtStore store;
    EXPECT_EQ(Add(store, MgtOfLength(14, 1)), S_OK);
    EXPECT_EQ(Add(store, MgtOfLength(4093, 2)), S_OK);
    // A zero byte after the CRC_32 keeps it valid and is kept as received.
    Bytes padded = BuildMgt(3, {});
    padded.push_back(0);
    EXPECT_EQ(Add(store, padded), S_OK);
    EXPECT_EQ(store.Held().length, padded.size());
}

TEST(SttStore, EveryValidSttReplacesTheLastAndEachBrokenOneIsRefused) {
    Bytes held = BuildStt(1000);
    ASSERT_EQ(held.size(), 3u + 17u);
    std::vector<Breakage> breakages = CommonPsipBreakages();
    breakages.push_back({"section_length 1022", [](Bytes& s) { SetLength12(s, 1, 1022); }});
    breakages.push_back({"section_length 16", [](Bytes& s) { SetLength12(s, 1, 16); }});
    breakages.push_back({"table_id_extension 0x0100", [](Bytes& s) { s[3] = 1; }});
    breakages.push_back({"version 1", [](Bytes& s) { s[5] |= 0x02; }});
    breakages.push_back({"section_number 1", [](Bytes& s) { s[6] = 1, s[7] = 1; }});
    breakages.push_back({"last_section_number 1", [](Bytes& s) { s[7] = 1; }});
    breakages.push_back({"table_id 0xC7", [](Bytes& s) { s[0] = 0xC7; }});
    breakages.push_back({"CRC_32", [](Bytes& s) { s.back() ^= 1; }, false});
    ExpectRefused<SttStore>(breakages, held, {BuildStt(2000)}, Add<SttStore>, HeldBytes);
    SttStore store;
    EXPECT_EQ(Add(store, held), S_OK);
    EXPECT_EQ(Add(store, BuildStt(1001)), S_OK);
    EXPECT_EQ(Add(store, BuildStt(1001)), S_OK); // no comparison with the held one
    EXPECT_EQ(HeldBytes(store), BuildStt(1001));
    // The largest section_length taken.
    SectionBuilder big = SttBuilder(5);
    big.body.resize(big.body.size() + (1021 - 17), 0x00);
    Bytes largest = BuildPsip(big);
    ASSERT_EQ(largest.size(), 3u + 1021u);
    EXPECT_EQ(Add(store, largest), S_OK);
}

TEST(VctStore, RepeatsAndVersionAndSizeChanges) {
    VctStore store;
    Bytes s0 = BuildTvct(0x10, 1, 0, 1);
    Bytes s1 = BuildTvct(0x10, 1, 1, 1);
    ASSERT_EQ(Add(store, s0), S_OK);
    ASSERT_EQ(Add(store, s1), S_OK);
    EXPECT_EQ(Add(store, s0), S_FALSE);
    // Another transport stream with the same section_number and version is a repeat too.
    EXPECT_EQ(Add(store, BuildTvct(0x11, 1, 0, 1)), S_FALSE);
    Copy held;
    ASSERT_EQ(store.GetSection(0, held.out()), S_OK);
    EXPECT_EQ(held.bytes(), s0);

    // A new version meeting a held slot starts the table over.
    Bytes v2 = BuildTvct(0x10, 2, 1, 1);
    EXPECT_EQ(Add(store, v2), S_OK);
    EXPECT_FALSE(store.IsComplete());
    EXPECT_EQ(store.GetVersion(0), -1);

    // A new last_section_number starts it over at the new size.
    ASSERT_EQ(Add(store, BuildTvct(0x10, 2, 0, 1)), S_OK);
    ASSERT_TRUE(store.IsComplete());
    Bytes wider = BuildTvct(0x10, 2, 2, 2);
    EXPECT_EQ(Add(store, wider), S_OK);
    EXPECT_EQ(store.GetSectionCount(), 3u);
    EXPECT_EQ(store.GetVersion(0), -1);
    Copy copy;
    ASSERT_EQ(store.GetSection(2, copy.out()), S_OK);
    EXPECT_EQ(copy.bytes(), wider);
}

TEST(VctStore, RefusesEachBrokenTestButNotTheCrc) {
    Bytes held = BuildTvct(0x10, 1, 0, 1);
    std::vector<Breakage> breakages = CommonPsipBreakages();
    breakages.push_back({"section_length 1022", [](Bytes& s) { SetLength12(s, 1, 1022); }});
    breakages.push_back({"section_length 12", [](Bytes& s) { SetLength12(s, 1, 12); }});
    breakages.push_back({"table_id 0xC9", [](Bytes& s) { s[0] = 0xC9; }});
    // Would reset the store (another size) if it were taken.
    ExpectRefused<VctStore>(breakages, held, {BuildTvct(0x10, 1, 0, 3)}, Add<VctStore>,
                            [](const VctStore& s) {
                                Copy copy;
                                EXPECT_EQ(s.GetSection(0, copy.out()), S_OK);
                                return std::make_pair(s.GetSectionCount(), copy.bytes());
                            });
    VctStore store;
    SectionBuilder badCrc = TvctBuilder(0x10, 1, 0, 0);
    badCrc.bad_crc = true;
    EXPECT_EQ(Add(store, BuildPsip(badCrc)), S_OK);
}

TEST(VctStore, OutOfMemoryKeepsHeldSlots) {
    MemFailGuard guard;
    Bytes s0 = BuildTvct(0x10, 1, 0, 1), s1 = BuildTvct(0x10, 1, 1, 1);
    // Slot array, then copy, then record.
    for (unsigned long n = 1; n <= 3; ++n) {
        VctStore store;
        MemFailAt(n);
        EXPECT_EQ(Add(store, s0), E_OUTOFMEMORY) << n;
        EXPECT_EQ(store.GetSectionCount(), n == 1 ? 0u : 2u);
        EXPECT_EQ(Add(store, s0), S_OK) << n; // the repeat is stored
    }
    VctStore store;
    ASSERT_EQ(Add(store, s0), S_OK);
    for (unsigned long n = 1; n <= 2; ++n) {
        MemFailAt(n);
        EXPECT_EQ(Add(store, s1), E_OUTOFMEMORY) << n;
        EXPECT_FALSE(store.IsComplete());
        StoredSection* copy = nullptr;
        ASSERT_EQ(store.GetSection(0, &copy), S_OK);
        ExpectCopy(copy, 0, 0, s0);
        VctStore::FreeSection(&copy);
    }
}

} // namespace
