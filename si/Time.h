// Broadcast times as people read them: DVB MJD+BCD, ATSC GPS seconds, BCD durations and offsets.
#pragma once
#include <cstdint>
#include <span>
#include <string>

namespace quenlix::si {

// A UTC instant decoded from the 40-bit DVB form (16-bit MJD, 6 BCD digits hhmmss).
struct DvbTime {
    uint64_t raw = 0;       // the 40 bits as sent
    bool undefined = false; // all bits set: the event's time is not given
    bool valid = false;     // a real date and time of day
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
    int64_t unix_seconds = 0;

    // "1993-10-13T12:45:00Z", "undefined", or "invalid (0xC079124599)".
    std::string Iso() const;
};

DvbTime DecodeDvbTime(uint64_t raw40);
DvbTime DecodeDvbTime(std::span<const uint8_t, 5> p);

// A 24-bit BCD duration hhmmss: "01:45:30", or "invalid (0x0160A0)". Sets *seconds when valid.
std::string FormatDuration(uint32_t bcd24, int64_t* seconds = nullptr);

// A 16-bit BCD offset hhmm with its polarity (true = west of Greenwich, negative): "+01:00", "-03:30",
// or "invalid (0x01A0)".
std::string FormatOffset(uint16_t bcd16, bool negative);

// A BCD byte's value, or -1 when a digit is above 9.
int Bcd(uint8_t b);

// GPS seconds since 1980-01-06T00:00:00Z to UTC, with the leap seconds the STT states.
int64_t GpsToUnix(uint32_t gps_seconds, uint8_t gps_utc_offset);
// "2026-12-06T04:18:36Z" from seconds since 1970; any 64-bit value a decoder can produce.
std::string FormatUnix(int64_t unix_seconds);
// Seconds as "HH:MM:SS" (hours may exceed 24).
std::string FormatSeconds(uint32_t seconds);

} // namespace quenlix::si
