// Broadcast times against known answers: EN 300 468's own example, the dates where calendars trip
// (month, year and century ends, leap days) and values no clock can show.
#include <gtest/gtest.h>

#include "si/Time.h"

using namespace quenlix::si;

TEST(SiTime, DvbTimesKnownAnswers) {
    struct Case {
        uint64_t raw;
        const char* iso;
    } cases[] = {
        {0xC079124500ull, "1993-10-13T12:45:00Z"}, // EN 300 468 Annex C
        {0x0000000000ull, "1858-11-17T00:00:00Z"}, // MJD 0
        {0x3AE6235959ull, "1900-02-28T23:59:59Z"}, // 1900 is no leap year...
        {0x3AE7000000ull, "1900-03-01T00:00:00Z"},
        {0xC957235959ull, "1999-12-31T23:59:59Z"}, // ...2000 is
        {0xC958000000ull, "2000-01-01T00:00:00Z"},
        {0xC993120000ull, "2000-02-29T12:00:00Z"},
        {0xC994000000ull, "2000-03-01T00:00:00Z"},
        {0xEA63000000ull, "2023-02-28T00:00:00Z"},
        {0xEA64000000ull, "2023-03-01T00:00:00Z"},
        {0xEBB4000000ull, "2024-01-31T00:00:00Z"},
        {0xEBD1000000ull, "2024-02-29T00:00:00Z"},
        {0xEBD2000000ull, "2024-03-01T00:00:00Z"},
        {0xFFFF235959ull, "2038-04-22T23:59:59Z"}, // the last day 16 bits of MJD reach
        {0xFFFFFFFFFFull, "undefined"},
        {0xC0791245A0ull, "invalid (0xC0791245A0)"}, // a BCD digit above 9
        {0xC079240000ull, "invalid (0xC079240000)"}, // hour 24
        {0xC079006000ull, "invalid (0xC079006000)"}, // minute 60
        {0xC0791F0000ull, "invalid (0xC0791F0000)"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(DecodeDvbTime(c.raw).Iso(), c.iso) << std::hex << c.raw;
    }
    const uint8_t bytes[5] = {0xC0, 0x79, 0x12, 0x45, 0x00};
    const DvbTime t = DecodeDvbTime(std::span<const uint8_t, 5>(bytes));
    EXPECT_EQ(t.unix_seconds, 750516300); // 1993-10-13T12:45:00Z
}

TEST(SiTime, DurationsAndOffsets) {
    int64_t seconds = -1;
    EXPECT_EQ(FormatDuration(0x014530, &seconds), "01:45:30");
    EXPECT_EQ(seconds, 6330);
    EXPECT_EQ(FormatDuration(0x990000), "99:00:00");
    for (uint32_t bad : {0x0160A0u, 0x006000u, 0x000060u, 0xA00000u}) {
        seconds = -1;
        EXPECT_EQ(FormatDuration(bad, &seconds).rfind("invalid", 0), 0u) << std::hex << bad;
        EXPECT_EQ(seconds, -1);
    }
    EXPECT_EQ(FormatOffset(0x0100, false), "+01:00");
    EXPECT_EQ(FormatOffset(0x0330, true), "-03:30");
    EXPECT_EQ(FormatOffset(0x1345, false), "+13:45");
    EXPECT_EQ(FormatOffset(0x01A0, false), "invalid (0x01A0)");
    EXPECT_EQ(FormatOffset(0x0060, false), "invalid (0x0060)");
}

TEST(SiTime, GpsTimes) {
    EXPECT_EQ(FormatUnix(GpsToUnix(0, 0)), "1980-01-06T00:00:00Z");
    // 2017-01-01T00:00:00Z, when GPS ran 18 s ahead of UTC.
    EXPECT_EQ(FormatUnix(GpsToUnix(1167264018u, 18)), "2017-01-01T00:00:00Z");
    EXPECT_EQ(FormatUnix(GpsToUnix(0xFFFFFFFFu, 18)), "2116-02-12T06:27:57Z");
    EXPECT_EQ(FormatUnix(-1), "1969-12-31T23:59:59Z");
    EXPECT_EQ(FormatSeconds(3 * 3600 + 5 * 60 + 7), "03:05:07");
    EXPECT_EQ(FormatSeconds(0xFFFFF), "291:16:15");
}
