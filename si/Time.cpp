#include "si/Time.h"

#include <cstdio>

namespace quenlix::si {

namespace {

// Days since 1970-01-01 to a proleptic Gregorian date (H. Hinnant's algorithm, exact for every input used).
void CivilFromDays(int64_t z, int& y, int& m, int& d) {
    z += 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const int64_t doe = z - era * 146097;
    const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const int64_t mp = (5 * doy + 2) / 153;
    d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    y = static_cast<int>(yoe + era * 400 + (m <= 2 ? 1 : 0));
}

constexpr int64_t kMjdOfUnixEpoch = 40587; // 1970-01-01
constexpr int64_t kGpsEpoch = 315964800;   // 1980-01-06T00:00:00Z

int64_t FloorDiv(int64_t a, int64_t b) {
    return a / b - ((a % b != 0) && ((a < 0) != (b < 0)) ? 1 : 0);
}

} // namespace

int Bcd(uint8_t b) {
    if ((b >> 4) > 9 || (b & 0x0F) > 9) {
        return -1;
    }
    return (b >> 4) * 10 + (b & 0x0F);
}

DvbTime DecodeDvbTime(uint64_t raw) {
    DvbTime t;
    t.raw = raw & 0xFFFFFFFFFFull;
    if (t.raw == 0xFFFFFFFFFFull) {
        t.undefined = true;
        return t;
    }
    const int mjd = static_cast<int>(t.raw >> 24);
    const int h = Bcd(static_cast<uint8_t>(t.raw >> 16));
    const int mi = Bcd(static_cast<uint8_t>(t.raw >> 8));
    const int s = Bcd(static_cast<uint8_t>(t.raw));
    if (h < 0 || mi < 0 || s < 0 || h > 23 || mi > 59 || s > 60) {
        return t;
    }
    const int64_t days = mjd - kMjdOfUnixEpoch;
    CivilFromDays(days, t.year, t.month, t.day);
    t.hour = h;
    t.minute = mi;
    t.second = s;
    t.unix_seconds = days * 86400 + h * 3600 + mi * 60 + s;
    t.valid = true;
    return t;
}

DvbTime DecodeDvbTime(std::span<const uint8_t, 5> p) {
    uint64_t v = 0;
    for (uint8_t b : p) {
        v = (v << 8) | b;
    }
    return DecodeDvbTime(v);
}

std::string DvbTime::Iso() const {
    char buf[48];
    if (undefined) {
        return "undefined";
    }
    if (!valid) {
        snprintf(buf, sizeof buf, "invalid (0x%010llX)", static_cast<unsigned long long>(raw));
        return buf;
    }
    snprintf(buf, sizeof buf, "%04d-%02d-%02dT%02d:%02d:%02dZ", year, month, day, hour, minute, second);
    return buf;
}

std::string FormatDuration(uint32_t bcd, int64_t* seconds) {
    const int h = Bcd(static_cast<uint8_t>(bcd >> 16));
    const int m = Bcd(static_cast<uint8_t>(bcd >> 8));
    const int s = Bcd(static_cast<uint8_t>(bcd));
    char buf[32];
    if (h < 0 || m < 0 || s < 0 || m > 59 || s > 59) {
        snprintf(buf, sizeof buf, "invalid (0x%06X)", bcd & 0xFFFFFFu);
        return buf;
    }
    if (seconds != nullptr) {
        *seconds = h * 3600 + m * 60 + s;
    }
    snprintf(buf, sizeof buf, "%02d:%02d:%02d", h, m, s);
    return buf;
}

std::string FormatOffset(uint16_t bcd, bool negative) {
    const int h = Bcd(static_cast<uint8_t>(bcd >> 8));
    const int m = Bcd(static_cast<uint8_t>(bcd));
    char buf[32];
    if (h < 0 || m < 0 || m > 59) {
        snprintf(buf, sizeof buf, "invalid (0x%04X)", bcd);
        return buf;
    }
    snprintf(buf, sizeof buf, "%c%02d:%02d", negative ? '-' : '+', h, m);
    return buf;
}

int64_t GpsToUnix(uint32_t gps, uint8_t offset) {
    return kGpsEpoch + static_cast<int64_t>(gps) - offset;
}

std::string FormatUnix(int64_t t) {
    const int64_t days = FloorDiv(t, 86400);
    const int64_t rem = t - days * 86400;
    int y, m, d;
    CivilFromDays(days, y, m, d);
    char buf[48];
    snprintf(buf, sizeof buf, "%04d-%02d-%02dT%02d:%02d:%02dZ", y, m, d, static_cast<int>(rem / 3600),
             static_cast<int>(rem / 60 % 60), static_cast<int>(rem % 60));
    return buf;
}

std::string FormatSeconds(uint32_t s) {
    char buf[32];
    snprintf(buf, sizeof buf, "%02u:%02u:%02u", s / 3600, s / 60 % 60, s % 60);
    return buf;
}

} // namespace quenlix::si
