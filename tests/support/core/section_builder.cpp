#include "support/core/section_builder.h"

namespace qxtest {

uint32_t Crc32Mpeg2(const uint8_t* data, size_t length) {
    uint32_t crc = 0xFFFFFFFF;
    for (size_t i = 0; i < length; ++i) {
        crc ^= static_cast<uint32_t>(data[i]) << 24;
        for (int bit = 0; bit < 8; ++bit) {
            crc = (crc & 0x80000000) ? (crc << 1) ^ 0x04C11DB7 : (crc << 1);
        }
    }
    return crc;
}

void FixCrc(Bytes& section) {
    if (section.size() < 4) {
        return;
    }
    uint32_t crc = Crc32Mpeg2(section.data(), section.size() - 4);
    size_t at = section.size() - 4;
    section[at] = crc >> 24;
    section[at + 1] = crc >> 16;
    section[at + 2] = crc >> 8;
    section[at + 3] = crc;
}

Bytes SectionBuilder::Build() const {
    Bytes s;
    uint16_t len = section_length.value_or(static_cast<uint16_t>(5 + body.size() + 4));
    s.push_back(table_id);
    s.push_back((syntax ? 0x80 : 0x00) | 0x30 | ((len >> 8) & 0x0F));
    s.push_back(len & 0xFF);
    s.push_back(table_id_extension >> 8);
    s.push_back(table_id_extension & 0xFF);
    s.push_back(0xC0 | ((version & 0x1F) << 1) | (current_next ? 1 : 0));
    s.push_back(section_number);
    s.push_back(last_section_number);
    s.insert(s.end(), body.begin(), body.end());
    s.insert(s.end(), 4, 0);
    FixCrc(s);
    if (bad_crc) {
        s.back() ^= 0x01;
    }
    return s;
}

Bytes BuildPat(uint16_t tsid, uint8_t version, const std::vector<std::pair<uint16_t, uint16_t>>& programs,
               uint8_t section, uint8_t last) {
    SectionBuilder b;
    b.Table(0x00).Extension(tsid).Version(version).Number(section, last);
    for (auto [program, pid] : programs) {
        b.Append16(program);
        b.Append16(0xE000 | (pid & 0x1FFF));
    }
    return b.Build();
}

Bytes BuildPmt(uint16_t program, uint8_t version, uint16_t pcrPid,
               const std::vector<std::pair<uint8_t, uint16_t>>& streams, const Bytes& programInfo) {
    SectionBuilder b;
    b.Table(0x02).Extension(program).Version(version);
    b.Append16(0xE000 | (pcrPid & 0x1FFF));
    b.Append16(0xF000 | (programInfo.size() & 0x0FFF));
    b.body.insert(b.body.end(), programInfo.begin(), programInfo.end());
    for (auto [type, pid] : streams) {
        b.body.push_back(type);
        b.Append16(0xE000 | (pid & 0x1FFF));
        b.Append16(0xF000);
    }
    return b.Build();
}

} // namespace qxtest
