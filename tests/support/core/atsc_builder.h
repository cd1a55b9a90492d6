// Builds ATSC PSIP sections (MGT, TVCT, STT, EIT, ETT) and DVB NIT sections for tests, with correct
// section_length and CRC_32. PSIP sections carry private_indicator 1 as A/65 requires.
#pragma once
#include "support/core/section_builder.h"

#include <cstdint>
#include <vector>

namespace qxtest {

// A descriptor: tag, length, payload.
Bytes Descriptor(uint8_t tag, const Bytes& payload);

// Builds b and sets private_indicator (bit 6 of byte 1), fixing the CRC_32 unless b asks for a bad one.
Bytes BuildPsip(const SectionBuilder& b);

struct MgtEntry {
    uint16_t table_type = 0;
    uint16_t pid = 0;
    uint8_t version = 0;
    uint32_t number_bytes = 0;
    Bytes descriptors;
};

// MGT (table_id 0xC7, table_id_extension 0, protocol_version 0).
SectionBuilder MgtBuilder(uint8_t version, const std::vector<MgtEntry>& entries,
                          const Bytes& descriptors = {});
Bytes BuildMgt(uint8_t version, const std::vector<MgtEntry>& entries, const Bytes& descriptors = {});

// Terrestrial VCT (table_id 0xC8) without channels.
SectionBuilder TvctBuilder(uint16_t tsid, uint8_t version, uint8_t section, uint8_t last);
Bytes BuildTvct(uint16_t tsid, uint8_t version, uint8_t section = 0, uint8_t last = 0);

// STT (table_id 0xCD) with the given system_time and GPS_UTC_offset.
SectionBuilder SttBuilder(uint32_t systemTime, uint8_t gpsUtcOffset = 18);
Bytes BuildStt(uint32_t systemTime, uint8_t gpsUtcOffset = 18);

// ATSC EIT (table_id 0xCB) of one source with one event.
SectionBuilder AtscEitBuilder(uint16_t sourceId, uint8_t version, uint8_t section, uint8_t last,
                              uint16_t eventId = 1);
Bytes BuildAtscEit(uint16_t sourceId, uint8_t version, uint8_t section = 0, uint8_t last = 0,
                   uint16_t eventId = 1);

// ETT (table_id 0xCC) for one ETM_id with a short text.
Bytes BuildEtt(uint32_t etmId, uint8_t version, const Bytes& text = {'t', 'x', 't'});

// DVB NIT (table_id 0x40).
struct NitStream {
    uint16_t tsid = 0;
    uint16_t onid = 0;
    Bytes descriptors;
};
Bytes BuildNit(uint16_t networkId, uint8_t version, const Bytes& networkDescriptors,
               const std::vector<NitStream>& streams);

} // namespace qxtest
