// Shared by the ATSC store tests.
#pragma once
#include "decode/decode_support.h"
#include "tables/store_test_support.h"
#include "tables/section.h"

#include <gtest/gtest.h>

#include <functional>

namespace qxtest {

// One way to break a valid section, named for the failure message. Edits keep the CRC_32 correct unless
// the edit is to the CRC itself, so that exactly one test fails.
struct Breakage {
    const char* name;
    std::function<void(Bytes&)> edit;
    bool fix_crc = true;
};

inline Bytes Broken(const Bytes& valid, const Breakage& b) {
    Bytes s = valid;
    b.edit(s);
    if (b.fix_crc && s.size() >= 4) {
        FixCrc(s);
    }
    return s;
}

// The header breakages every PSIP store refuses: syntax 0, private 0, current_next 0,
// section_number above last_section_number, a section_length below 3, a wrong CRC_32.
inline std::vector<Breakage> CommonPsipBreakages() {
    return {
        {"syntax 0", [](Bytes& s) { s[1] &= 0x7F; }},
        {"private 0", [](Bytes& s) { s[1] &= ~0x40; }},
        {"current_next 0", [](Bytes& s) { s[5] &= 0xFE; }},
        {"section_number above last", [](Bytes& s) { s[6] = s[7] + 1; }},
        {"section_length 2", [](Bytes& s) { SetLength12(s, 1, 2); }},
    };
}

// Each breakage of each of bases, offered to a store that holds held: every one is refused and what()
// reads the store as before; so is every sample of fewer than `shorter` bytes.
template <class Store, class Add, class What>
void ExpectRefused(const std::vector<Breakage>& breakages, const Bytes& held, const std::vector<Bytes>& bases,
                   Add add, What what, size_t shorter = 8) {
    for (const Breakage& b : breakages) {
        Store store;
        ASSERT_EQ(add(store, held), S_OK);
        const auto before = what(store);
        for (const Bytes& base : bases) {
            EXPECT_EQ(add(store, Broken(base, b)), E_INVALIDARG) << b.name;
        }
        EXPECT_EQ(what(store), before) << b.name;
    }
    for (size_t keep = 0; keep < shorter; ++keep) {
        Store store;
        EXPECT_EQ(add(store, Bytes(held.begin(), held.begin() + static_cast<long>(keep))), E_INVALIDARG)
            << keep;
    }
}

} // namespace qxtest
