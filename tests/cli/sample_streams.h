// Generated multiplexes with DVB SI and ATSC PSIP tables, repeated as a broadcaster would and mixed
// with the noise real captures have. Used by the end-to-end tests and by the program that writes the
// bundled sample stream; each stream comes with the sections that a scan must find, table by table.
#pragma once
#include <cstdint>
#include <map>
#include <string>
#include <tuple>
#include <vector>

#include "support/core/section_builder.h"

namespace qxtest {

struct MuxOptions {
    bool dvb = true;
    bool atsc = true;
    unsigned packet_size = 188; // 188, 192 or 204
    bool noise = true;          // null, scrambled and stray packets, garbage, a gap, an errored packet
    int cycles = 3;             // repetitions of every table; damage only ever hits the first
    uint32_t seed = 1;
};

// The sections a scan must end up with: the last version written of every table the filter keeps.
struct ExpectedTables {
    std::vector<Bytes> pat, nit, sdt, bat, cat, vct;    // by section_number
    std::map<uint16_t, std::pair<uint16_t, Bytes>> pmt; // program_number -> (PID, section)
    // (table_id, service_id, section_number) -> section
    std::map<std::tuple<uint8_t, uint16_t, uint8_t>, Bytes> eit;
    Bytes tdt, tot, rst, mgt, stt; // empty when not sent
    // (table_type, source_id, section_number) -> (PID, section)
    std::map<std::tuple<uint16_t, uint16_t, uint8_t>, std::pair<uint16_t, Bytes>> atsc_eit;
    std::map<uint32_t, std::pair<uint16_t, Bytes>> ett; // ETM_id -> (PID, section)
};

struct BuiltStream {
    Bytes ts;
    ExpectedTables expected;
};

BuiltStream BuildSampleStream(const MuxOptions& options);

// Date and time fields as the tables carry them.
uint16_t Mjd(int year, int month, int day);
Bytes DvbUtc(int year, int month, int day, int hour, int minute, int second); // MJD + BCD, 5 bytes

} // namespace qxtest
