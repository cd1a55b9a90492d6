// Builds MPEG-2 long-form sections for tests, with a correct section_length and CRC_32 unless a test
// asks for something else.
#pragma once
#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

namespace qxtest {

using Bytes = std::vector<uint8_t>;

uint32_t Crc32Mpeg2(const uint8_t* data, size_t length);

struct SectionBuilder {
    uint8_t table_id = 0x00;
    bool syntax = true;
    uint16_t table_id_extension = 0;
    uint8_t version = 0;
    bool current_next = true;
    uint8_t section_number = 0;
    uint8_t last_section_number = 0;
    Bytes body;                             // bytes after last_section_number, before the CRC
    std::optional<uint16_t> section_length; // overrides the computed length
    bool bad_crc = false;                   // flips a bit of the CRC

    SectionBuilder& Table(uint8_t id) {
        table_id = id;
        return *this;
    }
    SectionBuilder& Extension(uint16_t ext) {
        table_id_extension = ext;
        return *this;
    }
    SectionBuilder& Version(uint8_t v) {
        version = v;
        return *this;
    }
    SectionBuilder& Number(uint8_t n, uint8_t last) {
        section_number = n;
        last_section_number = last;
        return *this;
    }
    SectionBuilder& Body(Bytes b) {
        body = std::move(b);
        return *this;
    }
    SectionBuilder& Append(std::initializer_list<uint8_t> b) {
        // Byte by byte: GCC 12 warns falsely (-Warray-bounds) on a range insert it has inlined.
        for (const uint8_t x : b) {
            body.push_back(x);
        }
        return *this;
    }
    SectionBuilder& Append16(uint16_t v) {
        body.push_back(v >> 8);
        body.push_back(v & 0xFF);
        return *this;
    }

    Bytes Build() const;
};

// A PAT listing (program_number, PID) pairs; program 0 stands for the network PID.
Bytes BuildPat(uint16_t tsid, uint8_t version, const std::vector<std::pair<uint16_t, uint16_t>>& programs,
               uint8_t section = 0, uint8_t last = 0);

// A PMT for one program with a PCR PID, program_info descriptors and (stream_type, PID) entries.
Bytes BuildPmt(uint16_t program, uint8_t version, uint16_t pcrPid,
               const std::vector<std::pair<uint8_t, uint16_t>>& streams, const Bytes& programInfo = {});

// Recomputes the CRC_32 of a section after a test edited its bytes (the last four bytes are the CRC).
void FixCrc(Bytes& section);

} // namespace qxtest
