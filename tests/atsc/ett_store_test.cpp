// The ETT store: one section per ETM_id, the collection switch, and lookups over a whole guide.
#include "atsc_support.h"
#include "tables/EttStore.h"

using namespace qxtest;

namespace {

Bytes Read(const EttStore& store, DWORD etmId, DWORD* pid = nullptr) {
    StoredSection* copy = nullptr;
    if (store.GetSection(etmId, &copy) != S_OK || copy == nullptr) {
        return {};
    }
    Bytes out(copy->bytes, copy->bytes + copy->length);
    EXPECT_EQ(copy->section_number, 0u);
    if (pid != nullptr) {
        *pid = copy->pid;
    }
    EttStore::FreeSection(&copy);
    return out;
}

// ETM_id of an event: source_id, event_id, and 0b10.
DWORD EventEtm(DWORD source, DWORD event) {
    return (source << 16) | (event << 2) | 2;
}

TEST(EttStore, OneSectionPerEtmIdEachReplacedByItsNewVersion) {
    EttStore store;
    Bytes a = BuildEtt(EventEtm(1, 1), 0), b = BuildEtt(EventEtm(1, 2), 0);
    EXPECT_EQ(Add(store, a, 0x1E00), S_OK);
    EXPECT_EQ(Add(store, b, 0x1E01), S_OK);
    // The same ETM_id on another PID is the same entry.
    EXPECT_EQ(Add(store, a, 0x1E05), S_FALSE);
    EXPECT_EQ(store.GetSectionCount(), 2u);
    DWORD pid = 0;
    EXPECT_EQ(Read(store, EventEtm(1, 2), &pid), b);
    EXPECT_EQ(pid, 0x1E01u);

    Bytes v1 = BuildEtt(EventEtm(1, 2), 1, {'n', 'e', 'w'});
    EXPECT_EQ(Add(store, v1, 0x1E07), S_OK);
    EXPECT_EQ(Add(store, v1, 0x1E07), S_FALSE);
    EXPECT_EQ(store.GetSectionCount(), 2u);
    EXPECT_EQ(Read(store, EventEtm(1, 2), &pid), v1);
    EXPECT_EQ(pid, 0x1E07u);
    EXPECT_EQ(Read(store, EventEtm(1, 1), &pid), a);
    EXPECT_EQ(pid, 0x1E00u);
}

TEST(EttStore, RefusesEachBrokenTest) {
    std::vector<Breakage> breakages = CommonPsipBreakages();
    breakages.push_back({"section_length 4094", [](Bytes& s) { SetLength12(s, 1, 4094); }});
    breakages.push_back({"section_length 9", [](Bytes& s) { SetLength12(s, 1, 9); }});
    breakages.push_back({"section_number 1", [](Bytes& s) { s[6] = 1, s[7] = 1; }});
    breakages.push_back({"last_section_number 1", [](Bytes& s) { s[7] = 1; }});
    breakages.push_back({"table_id 0xCB", [](Bytes& s) { s[0] = 0xCB; }});
    breakages.push_back({"CRC_32", [](Bytes& s) { s.back() ^= 1; }, false});
    Bytes held = BuildEtt(EventEtm(1, 1), 0);
    ExpectRefused<EttStore>(
        breakages, held, {BuildEtt(EventEtm(1, 1), 1), BuildEtt(EventEtm(1, 9), 0)},
        [](EttStore& s, const Bytes& b) { return Add(s, b, 1); },
        [](const EttStore& s) { return std::make_pair(s.GetSectionCount(), Read(s, EventEtm(1, 1))); },
        held.size());
    EttStore store;
    EXPECT_EQ(store.AddSection(1, static_cast<DWORD>(held.size()), nullptr), E_INVALIDARG);
    // The shortest section there is: its ETM_id field holds the CRC_32.
    SectionBuilder smallest;
    smallest.Table(0xCC).Body(Bytes(1, 0));
    Bytes tiny = BuildPsip(smallest);
    ASSERT_EQ(tiny.size(), 3u + 10u);
    EXPECT_EQ(Add(store, tiny, 1), S_OK);
    EXPECT_EQ(store.GetSectionCount(), 1u);
}

TEST(EttStore, CollectionSwitch) {
    EttStore store;
    Bytes a = BuildEtt(EventEtm(1, 1), 0);
    ASSERT_EQ(Add(store, a, 1), S_OK);
    store.SetCollecting(0);
    EXPECT_FALSE(store.GetCollecting());
    EXPECT_EQ(Add(store, Bytes{0xFF}, 1), S_FALSE); // not even looked at
    EXPECT_EQ(store.AddSection(1, 0, nullptr), S_FALSE);
    EXPECT_EQ(Add(store, BuildEtt(EventEtm(1, 2), 0), 1), S_FALSE);
    EXPECT_EQ(Add(store, BuildEtt(EventEtm(1, 1), 4), 1), S_FALSE);
    EXPECT_EQ(store.GetSectionCount(), 1u);
    EXPECT_EQ(Read(store, EventEtm(1, 1)), a); // what was held stays readable
    EXPECT_TRUE(store.Reset());
    EXPECT_FALSE(store.GetCollecting()); // the switch survives a reset
    store.SetCollecting(7);
    EXPECT_EQ(Add(store, a, 1), S_OK);
}

TEST(EttStore, OutOfMemoryChangesNothing) {
    MemFailGuard guard;
    EttStore store;
    Bytes held = BuildEtt(EventEtm(1, 1), 0);
    ASSERT_EQ(Add(store, held, 1), S_OK);
    // A new ETM_id: copy, then node.
    for (unsigned long n = 1; n <= 2; ++n) {
        MemFailAt(n);
        EXPECT_EQ(Add(store, BuildEtt(EventEtm(1, 2), 0), 1), E_OUTOFMEMORY) << n;
        EXPECT_EQ(store.GetSectionCount(), 1u);
        EXPECT_TRUE(Read(store, EventEtm(1, 2)).empty());
    }
    // A new version: the held one stays.
    MemFailAt(1);
    EXPECT_EQ(Add(store, BuildEtt(EventEtm(1, 1), 1), 1), E_OUTOFMEMORY);
    EXPECT_EQ(Read(store, EventEtm(1, 1)), held);
}

// The ETM_id index only speeds lookups up: while it cannot be had the store answers the same, and it
// is built again once memory allows.
TEST(EttStore, LookupsStayRightWhenTheIndexCannotGrow) {
    MemFailGuard guard;
    EttStore store;
    std::vector<Bytes> held;
    for (DWORD e = 0; e < 200; ++e) {
        held.push_back(BuildEtt(EventEtm(3, e), 0));
    }
    for (DWORD e = 0; e < held.size(); ++e) {
        ExactBuffer buf(held[e]);
        unsigned long before = MemAllocationCount();
        // For the first half every index allocation (the third of a new ETM_id) is refused.
        if (e < 100) {
            MemFailAt(3);
        }
        ASSERT_EQ(store.AddSection(1, buf.size(), buf.data()), S_OK) << e;
        MemFailAt(0);
        unsigned long made = MemAllocationCount() - before;
        // Copy, node and, while there is none, an attempt at the index.
        if (e <= 100) {
            EXPECT_EQ(made, 3u) << e;
        }
        for (DWORD probe : {DWORD{0}, e / 2, e}) {
            ASSERT_EQ(Read(store, EventEtm(3, probe)), held[probe]) << e << " " << probe;
        }
        EXPECT_TRUE(Read(store, EventEtm(3, e + 1)).empty());
    }
    for (const Bytes& section : held) {
        EXPECT_EQ(Add(store, section, 1), S_FALSE);
    }
    EXPECT_EQ(store.GetSectionCount(), 200u);
}

TEST(EttStore, AWholeGuideOfEtmIds) {
    auto* store = new EttStore;
    // One ETM_id per event: 250 sources with 120 events each.
    std::vector<DWORD> ids;
    for (DWORD source = 1; source <= 250; ++source) {
        for (DWORD event = 0; event < 120; ++event) {
            ids.push_back(EventEtm(source, event));
        }
    }
    for (DWORD id : ids) {
        ASSERT_EQ(Add(*store, BuildEtt(id, 0), 0x1E00), S_OK);
    }
    EXPECT_EQ(store->GetSectionCount(), ids.size());
    // Every repeat is found, every one is readable, and a new version replaces in place.
    for (DWORD id : ids) {
        ASSERT_EQ(Add(*store, BuildEtt(id, 0), 0x1E00), S_FALSE);
    }
    ASSERT_EQ(Add(*store, BuildEtt(ids[12345], 1), 0x1E01), S_OK);
    EXPECT_EQ(store->GetSectionCount(), ids.size());
    EXPECT_EQ(Read(*store, ids[12345]), BuildEtt(ids[12345], 1));
    EXPECT_EQ(Read(*store, ids.back()), BuildEtt(ids.back(), 0));
    EXPECT_TRUE(Read(*store, EventEtm(251, 0)).empty());
    OnSmallStack([&] { EXPECT_TRUE(store->Reset()); });
    EXPECT_EQ(store->GetSectionCount(), 0u);
    // Filled again after the reset, the index is rebuilt from nothing.
    for (DWORD i = 0; i < 1000; ++i) {
        ASSERT_EQ(Add(*store, BuildEtt(ids[i], 0), 0x1E00), S_OK);
    }
    EXPECT_EQ(Read(*store, ids[999]), BuildEtt(ids[999], 0));
    OnSmallStack([&] { delete store; });
}

} // namespace
