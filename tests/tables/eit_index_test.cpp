// The DVB and ATSC EIT stores find held nodes through a hash index and skip the CRC_32 of exact
// repeats. Both must stay invisible: every answer, count and list order is what a walk of the lists
// gives, through random add / replace / reset sequences and through refused allocations.
#include "store_test_support.h"
#include "support/core/atsc_builder.h"
#include "tables/AtscEitStore.h"
#include "tables/EitStore.h"

#include <gtest/gtest.h>

#include <map>
#include <random>
#include <tuple>
#include <type_traits>

namespace qxtest {
namespace {

using Key = std::tuple<DWORD, DWORD, DWORD>; // table (table_id or table_type), section_number, service

// What the two stores have in common, so that one set of checks runs over both.
struct StoreKind {
    const char* name;
    std::vector<DWORD> tables;
    Bytes (*build)(DWORD table, DWORD section, DWORD service, uint8_t version, uint8_t fill);
};

const StoreKind kDvb = {"DVB EIT",
                        {0x4E, 0x50, 0x5F},
                        [](DWORD table, DWORD section, DWORD service, uint8_t version, uint8_t fill) {
                            return BuildEit(static_cast<uint8_t>(table), static_cast<uint16_t>(service),
                                            version, static_cast<uint8_t>(section), 7, 7,
                                            Bytes(1 + fill % 5, fill));
                        }};
const StoreKind kAtsc = {"ATSC EIT",
                         {0x100, 0x101, 0x17F},
                         [](DWORD, DWORD section, DWORD service, uint8_t version, uint8_t fill) {
                             return BuildAtscEit(static_cast<uint16_t>(service), version,
                                                 static_cast<uint8_t>(section), 7, fill);
                         }};

HRESULT AddTo(EitStore& s, DWORD, DWORD, const Bytes& b) {
    return Add(s, b);
}
HRESULT AddTo(AtscEitStore& s, DWORD table, DWORD pid, const Bytes& b) {
    return Add(s, b, pid, table);
}

// Every node in list order, as a reader walking the lists sees them.
struct Walked {
    Key key;
    DWORD pid;
    Bytes bytes;
    bool operator==(const Walked&) const = default;
};
template <class Store> std::vector<Walked> Walk(const Store& store, const StoreKind& kind) {
    std::vector<Walked> out;
    for (DWORD t : kind.tables) {
        for (const EitSectionNode* first = store.GetList(t); first; first = first->next_section) {
            for (const EitSectionNode* n = first; n; n = n->next_service) {
                out.push_back({{t, n->section_number, SectionTableIdExtension(n->bytes)},
                               n->pid,
                               Bytes(n->bytes, n->bytes + n->length)});
            }
        }
    }
    return out;
}

// The order the lists keep: a new section_number goes to the front of its table's list, a further
// service of a section_number right behind that number's first node.
struct ListModel {
    std::map<DWORD, std::vector<DWORD>> sections;                 // table -> section_numbers, newest first
    std::map<std::pair<DWORD, DWORD>, std::vector<DWORD>> chains; // (table, section) -> services
    std::map<Key, std::pair<DWORD, Bytes>> held;

    void Clear() { *this = {}; }
    void Put(const Key& k, DWORD pid, const Bytes& b) {
        auto [t, s, id] = k;
        if (!held.count(k)) {
            auto& chain = chains[{t, s}];
            if (chain.empty()) {
                sections[t].insert(sections[t].begin(), s);
                chain.push_back(id);
            } else {
                chain.insert(chain.begin() + 1, id);
            }
        }
        held[k] = {pid, b};
    }
    std::vector<Walked> Expected(const StoreKind& kind, bool dvb) const {
        std::vector<Walked> out;
        for (DWORD t : kind.tables) {
            auto it = sections.find(t);
            if (it == sections.end()) {
                continue;
            }
            for (DWORD s : it->second) {
                for (DWORD id : chains.at({t, s})) {
                    const auto& [pid, b] = held.at({t, s, id});
                    out.push_back({{t, s, id}, dvb ? 0x12u : pid, b});
                }
            }
        }
        return out;
    }
};

template <class Store> StoredSection* Get(const Store& s, const Key& k, StoredSection** out) {
    auto [t, sn, id] = k;
    return SUCCEEDED(s.GetSection(t, sn, id, out)) ? *out : nullptr;
}

template <class Store> void ExpectLookupsMatchWalk(const Store& store, const std::vector<Walked>& walk) {
    for (const Walked& w : walk) {
        Copy copy;
        ASSERT_NE(Get(store, w.key, copy.out()), nullptr);
        EXPECT_EQ(copy.bytes(), w.bytes);
        EXPECT_EQ(copy.p->pid, w.pid);
        if constexpr (std::is_same_v<Store, EitStore>) {
            const auto [t, s, id] = w.key;
            EXPECT_EQ(store.GetVersion(t, s, id), static_cast<LONG>(SectionVersion(w.bytes.data())));
        }
    }
}

template <class Store> void RandomSequences(const StoreKind& kind, bool dvb) {
    for (uint32_t seed = 1; seed <= 4; ++seed) {
        SCOPED_TRACE(testing::Message() << kind.name << " seed " << seed);
        std::mt19937 rng(seed);
        // Small pools make repeats and version changes common; the larger ones make the index grow.
        const DWORD services = seed <= 2 ? 6 : 300;
        Store store;
        ListModel model;
        std::map<Key, uint8_t> versions;  // the version each key is sent with now
        bool resetOnVersionChange = true; // the flag as set: any non-zero value, and it outlives Reset
        for (int step = 0; step < 3000; ++step) {
            const unsigned roll = rng() % 100;
            if (roll == 0) {
                store.Reset();
                model.Clear();
                continue;
            }
            if (roll == 1) {
                const DWORD flag = rng() % 2 ? 1 + rng() % 9 : 0;
                store.SetResetOnVersionChange(flag);
                resetOnVersionChange = flag != 0;
                continue;
            }
            const Key k{kind.tables[rng() % kind.tables.size()], static_cast<DWORD>(rng() % 4),
                        static_cast<DWORD>(1 + rng() % services)};
            uint8_t& version = versions[k];
            if (roll < 8) {
                version = (version + 1) & 0x1F;
            }
            const auto [t, s, id] = k;
            Bytes b = kind.build(t, s, id, version, static_cast<uint8_t>(roll < 20 ? rng() : 0));
            const DWORD pid = static_cast<DWORD>(0x1D00 + rng() % 3);
            if (roll >= 95) {
                b.back() ^= 1; // a bad CRC_32, also on the bytes of a held repeat
                ASSERT_EQ(AddTo(store, t, pid, b), E_INVALIDARG);
                continue;
            }
            auto held = model.held.find(k);
            HRESULT expected = S_OK;
            if (held != model.held.end() && SectionVersion(held->second.second.data()) == version) {
                expected = S_FALSE;
            }
            ASSERT_EQ(AddTo(store, t, pid, b), expected);
            if (expected == S_OK) {
                if (held != model.held.end() && resetOnVersionChange) {
                    model.Clear();
                }
                model.Put(k, pid, b);
            }
            if (step % 23 == 0) {
                const std::vector<Walked> walk = Walk(store, kind);
                ASSERT_EQ(walk, model.Expected(kind, dvb));
                for (DWORD table : kind.tables) {
                    EXPECT_EQ(store.GetSectionCount(table), model.sections[table].size());
                }
                if (step % 97 == 0) {
                    ExpectLookupsMatchWalk(store, walk);
                }
            }
            // A key no list holds is found by no lookup.
            const Key absent{t, static_cast<DWORD>(4 + rng() % 252), id};
            StoredSection* out = nullptr;
            EXPECT_EQ(Get(store, absent, &out), nullptr);
        }
        ExpectLookupsMatchWalk(store, Walk(store, kind));
    }
}

TEST(EitIndex, RandomSequencesAgreeWithTheListWalk) {
    RandomSequences<EitStore>(kDvb, true);
    RandomSequences<AtscEitStore>(kAtsc, false);
}

// Every allocation an add makes (copy, node, index growth) refused in turn: the store is left exactly
// as the refused section found it, and takes the section once memory is back.
template <class Store> void RefusedAllocationsLeaveTheStoreAsItWas(const StoreKind& kind) {
    // 0 held: the index's first table; 32 held: the add that doubles it; 40: no index allocation.
    for (DWORD heldCount : {0u, 32u, 40u}) {
        for (unsigned long n = 1; n <= 3; ++n) {
            SCOPED_TRACE(testing::Message() << kind.name << " held " << heldCount << " failing " << n);
            Store store;
            for (DWORD i = 0; i < heldCount; ++i) {
                ASSERT_EQ(
                    AddTo(store, kind.tables[i % 2], 0x1D00, kind.build(kind.tables[i % 2], 0, 1 + i, 0, 0)),
                    S_OK);
            }
            const std::vector<Walked> before = Walk(store, kind);
            const DWORD status = store.GetStatus(kind.tables[0]);
            const Bytes fresh = kind.build(kind.tables[0], 1, 999, 0, 0);
            const bool growsIndex = heldCount == 0 || heldCount == 32;
            {
                FailAllocation fail(n);
                const HRESULT hr = AddTo(store, kind.tables[0], 0x1D00, fresh);
                ASSERT_EQ(hr, (n <= 2 || growsIndex) ? E_OUTOFMEMORY : S_OK);
                if (hr == S_OK) {
                    continue;
                }
            }
            EXPECT_EQ(Walk(store, kind), before);
            EXPECT_EQ(store.GetStatus(kind.tables[0]), status);
            ExpectLookupsMatchWalk(store, before);
            StoredSection* out = nullptr;
            EXPECT_EQ(Get(store, {kind.tables[0], 1, 999}, &out), nullptr);
            ASSERT_EQ(AddTo(store, kind.tables[0], 0x1D00, fresh), S_OK);
            ExpectLookupsMatchWalk(store, Walk(store, kind));
        }
    }
}

TEST(EitIndex, RefusedAllocationsLeaveTheStoreAsItWas) {
    MemFailGuard guard;
    RefusedAllocationsLeaveTheStoreAsItWas<EitStore>(kDvb);
    RefusedAllocationsLeaveTheStoreAsItWas<AtscEitStore>(kAtsc);
}

// The sliced CRC_32 against the bit-at-a-time definition, for every length 0 to 4096 and every start
// alignment: the reference runs once over the buffer and gives the register after each prefix.
TEST(SectionCrc, SlicedEqualsBitwiseForEveryLengthAndAlignment) {
    std::mt19937 rng(7);
    std::vector<uint8_t> data(4096 + 8);
    for (auto& b : data) {
        b = static_cast<uint8_t>(rng());
    }
    for (size_t align = 0; align < 8; ++align) {
        const uint8_t* p = data.data() + align;
        uint32_t reference = 0xFFFFFFFF;
        for (size_t length = 0;; ++length) {
            ASSERT_EQ(ComputeSectionCrc(p, static_cast<DWORD>(length)), reference)
                << "length " << length << " alignment " << align;
            if (length == 4096) {
                break;
            }
            reference ^= static_cast<uint32_t>(p[length]) << 24;
            for (int bit = 0; bit < 8; ++bit) {
                reference = (reference & 0x80000000u) ? (reference << 1) ^ 0x04C11DB7u : (reference << 1);
            }
        }
    }
}

} // namespace
} // namespace qxtest
