// The ATSC EIT store: the table_type range, status, refusals, memory and a whole guide. List order and
// the version rules are checked against a model in tests/tables/eit_index_test.cpp.
#include "atsc_support.h"
#include "tables/AtscEitStore.h"

using namespace qxtest;

namespace {

constexpr DWORD kEit0 = 0x0100;

Bytes Read(const AtscEitStore& store, DWORD tableType, DWORD section, DWORD source) {
    StoredSection* copy = nullptr;
    if (store.GetSection(tableType, section, source, &copy) != S_OK || copy == nullptr) {
        return {};
    }
    Bytes out(copy->bytes, copy->bytes + copy->length);
    EXPECT_EQ(copy->section_number, section);
    AtscEitStore::FreeSection(&copy);
    return out;
}

TEST(AtscEitStore, TableTypeOutsideTheEitRangeIsRefused) {
    AtscEitStore store;
    Bytes eit = BuildAtscEit(1, 0);
    for (DWORD outside : {0x0180u, 0x00FFu, 0x0200u}) {
        EXPECT_EQ(Add(store, eit, 0x1D00, outside), E_INVALIDARG) << outside;
    }
    EXPECT_EQ(Add(store, eit, 0x1D00, 0x017F), S_OK); // reads outside the range are the group test's
}

TEST(AtscEitStore, StatusCountsSectionNumbersOverAllSources) {
    AtscEitStore store;
    const DWORD eit1 = kEit0 + 1;
    ASSERT_EQ(Add(store, BuildAtscEit(7, 0, 0, 2), 1, eit1), S_OK);
    ASSERT_EQ(Add(store, BuildAtscEit(7, 0, 2, 2), 1, eit1), S_OK);
    EXPECT_EQ(store.GetStatus(eit1), 1u);
    ASSERT_EQ(Add(store, BuildAtscEit(8, 0, 2, 2), 1, eit1), S_OK); // another source, same number
    EXPECT_EQ(store.GetStatus(eit1), 1u);
    ASSERT_EQ(Add(store, BuildAtscEit(8, 0, 1, 2), 1, eit1), S_OK);
    EXPECT_EQ(store.GetStatus(eit1), 2u);
    EXPECT_EQ(store.GetSectionCount(eit1), 3u);
    EXPECT_EQ(store.GetStatus(kEit0), 0u);
}

TEST(AtscEitStore, RefusesEachBrokenTest) {
    std::vector<Breakage> breakages = CommonPsipBreakages();
    breakages.push_back({"section_length 4094", [](Bytes& s) { SetLength12(s, 1, 4094); }});
    breakages.push_back({"section_length 13", [](Bytes& s) { SetLength12(s, 1, 13); }});
    breakages.push_back({"table_id 0xCC", [](Bytes& s) { s[0] = 0xCC; }});
    breakages.push_back({"CRC_32", [](Bytes& s) { s.back() ^= 1; }, false});
    breakages.push_back({"trailing 0xFF", [](Bytes& s) { s.push_back(0xFF); }, false});
    Bytes held = BuildAtscEit(1, 0, 0, 1);
    // A new version of the held section: it would empty the store if it were taken.
    ExpectRefused<AtscEitStore>(
        breakages, held, {BuildAtscEit(1, 1, 0, 1)},
        [](AtscEitStore& s, const Bytes& b) { return Add(s, b, 1, kEit0); },
        [](const AtscEitStore& s) { return Read(s, kEit0, 0, 1); });
    AtscEitStore store;
    EXPECT_EQ(store.AddSection(1, kEit0, static_cast<DWORD>(held.size()), nullptr), E_INVALIDARG);
    // Section lengths at their bounds are taken.
    SectionBuilder smallest;
    smallest.Table(0xCB).Extension(5).Body(Bytes(5, 0));
    ASSERT_EQ(smallest.Build().size(), 3u + 14u);
    EXPECT_EQ(Add(store, BuildPsip(smallest), 1, kEit0), S_OK);
    SectionBuilder largest = AtscEitBuilder(6, 0, 0, 0);
    largest.body.resize(largest.body.size() + 4093 - (largest.Build().size() - 3), 0);
    ASSERT_EQ(largest.Build().size(), 3u + 4093u);
    EXPECT_EQ(Add(store, BuildPsip(largest), 1, kEit0), S_OK);
}

// A new node's failures are the list-walk model's; here what a new version does first.
TEST(AtscEitStore, OutOfMemory) {
    MemFailGuard guard;
    Bytes held = BuildAtscEit(1, 0, 0, 0);
    {
        // A node to be replaced is left as it was.
        AtscEitStore store;
        store.SetResetOnVersionChange(0);
        ASSERT_EQ(Add(store, held, 1, kEit0), S_OK);
        MemFailAt(1);
        EXPECT_EQ(Add(store, BuildAtscEit(1, 1, 0, 0), 2, kEit0), E_OUTOFMEMORY);
        EXPECT_EQ(Read(store, kEit0, 0, 1), held);
    }
    {
        // With the flag set, the reset made for the new version stands.
        AtscEitStore store;
        ASSERT_EQ(Add(store, held, 1, kEit0), S_OK);
        ASSERT_EQ(Add(store, held, 1, kEit0 + 5), S_OK);
        MemFailAt(1);
        EXPECT_EQ(Add(store, BuildAtscEit(1, 1, 0, 0), 2, kEit0), E_OUTOFMEMORY);
        EXPECT_EQ(store.GetSectionCount(kEit0), 0u);
        EXPECT_EQ(store.GetSectionCount(kEit0 + 5), 0u);
    }
}

TEST(AtscEitStore, AWholeGuideFillsAndEmptiesOnASmallStack) {
    auto* store = new AtscEitStore;
    // 128 tables x 4 section_numbers x 200 sources: over a hundred thousand nodes.
    const DWORD sources = 200, sections = 4;
    for (DWORD k = 0; k < AtscEitStore::kListCount; ++k) {
        for (DWORD s = 0; s < sections; ++s) {
            for (DWORD src = 1; src <= sources; ++src) {
                ASSERT_EQ(
                    Add(*store,
                        BuildAtscEit(static_cast<uint16_t>(src), 0, static_cast<uint8_t>(s), sections - 1),
                        0x1D00 + k, kEit0 + k),
                    S_OK);
            }
        }
        EXPECT_EQ(store->GetStatus(kEit0 + k), 2u);
    }
    EXPECT_EQ(Read(*store, kEit0 + 127, 3, 200).size(), BuildAtscEit(200, 0, 3, 3).size());
    OnSmallStack([&] { EXPECT_TRUE(store->Reset()); });
    for (DWORD k = 0; k < AtscEitStore::kListCount; ++k) {
        EXPECT_EQ(store->GetSectionCount(kEit0 + k), 0u);
        EXPECT_EQ(store->GetList(kEit0 + k), nullptr);
    }
    ASSERT_EQ(Add(*store, BuildAtscEit(1, 0, 0, 0), 1, kEit0), S_OK);
    for (DWORD src = 2; src <= 12000; ++src) {
        ASSERT_EQ(Add(*store, BuildAtscEit(static_cast<uint16_t>(src), 0, 0, 0), 1, kEit0), S_OK);
    }
    OnSmallStack([&] { delete store; }); // the destructor empties one long chain
}

} // namespace
