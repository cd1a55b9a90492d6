// Field values that use every bit: each versioned table goes through versions 0 to 31 and back to 0,
// with ids whose both bytes are set and lengths that change with the version, and each new version
// must replace the one held.
#include "support/live_filter.h"

#include <gtest/gtest.h>

namespace qxtest {
namespace {

struct Versioned {
    const char* group;
    DWORD pid;
    Bytes (*build)(uint8_t version, uint16_t id);
};

const Versioned kTables[] = {
    {"PAT", 0x0000,
     [](uint8_t v, uint16_t id) {
         std::vector<std::pair<uint16_t, uint16_t>> programs = {{1, kPmtPid}};
         for (uint16_t p = 0; p < v % 4; ++p) {
             programs.emplace_back(0x8000 | p, 0x1F00 | p);
         }
         return BuildPat(id, v, programs);
     }},
    {"PMT", kPmtPid,
     [](uint8_t v, uint16_t) {
         return BuildPmt(1, v, 0x1FFE, {{0x1B, 0x1ABC}}, Bytes(v, 0xAB));
     }},
    {"NIT", 0x0010, [](uint8_t v, uint16_t id) { return BuildNitLike(0x40, id, v, 0, 0); }},
    {"SDT", 0x0011, [](uint8_t v, uint16_t id) { return BuildSdt(id, v, 0, 0); }},
    {"BAT", 0x0011, [](uint8_t v, uint16_t id) { return BuildNitLike(0x4A, id, v, 0, 0); }},
    {"EIT", 0x0012, [](uint8_t v, uint16_t id) { return BuildEit(0x4E, id, v, 0, 0, 0); }},
    {"CAT", 0x0001, [](uint8_t v, uint16_t) { return BuildCat(v, 0, 0); }},
    {"MGT", 0x1FFB,
     [](uint8_t v, uint16_t) {
         return BuildMgt(v, {{0x0100, kEitPid, v, 0xFFFFFFFF, {}}, {0x0200, kEttPid, v, 9, {}}},
                         Descriptor(0x80, Bytes(v, 0x5A)));
     }},
    {"VCT", 0x1FFB, [](uint8_t v, uint16_t id) { return BuildTvct(id, v); }},
    {"ATSC EIT", kEitPid, [](uint8_t v, uint16_t id) { return BuildAtscEit(id, v, 0, 0, id); }},
    {"ETT", kEttPid, [](uint8_t v, uint16_t id) { return BuildEtt(0xFFFF0000u | id, v, Bytes(v + 1, 't')); }},
};

TEST(FieldValues, EveryVersionReplacesTheOneHeldWrappingAround) {
    for (const Versioned& t : kTables) {
        SCOPED_TRACE(t.group);
        LiveFilter f;
        ASSERT_EQ(f.hr(), S_OK);
        f.DeliverOpening();
        for (int step = 0; step <= 32; ++step) {
            const uint8_t v = step % 32;
            Bytes section = t.build(v, 0xA5C3);
            EXPECT_EQ(f.Deliver(t.pid, section), S_OK);
            const bool replaced = f.Held(t.group) == std::vector<Bytes>{section};
            EXPECT_TRUE(replaced) << "version " << int(v);
            if (!replaced) {
                break; // on to the next table
            }
        }
    }
}

} // namespace
} // namespace qxtest
