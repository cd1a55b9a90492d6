#include "support/core/atsc_builder.h"

namespace qxtest {

Bytes Descriptor(uint8_t tag, const Bytes& payload) {
    Bytes d{tag, static_cast<uint8_t>(payload.size())};
    d.insert(d.end(), payload.begin(), payload.end());
    return d;
}

Bytes BuildPsip(const SectionBuilder& b) {
    Bytes s = b.Build();
    s[1] |= 0x40;
    FixCrc(s);
    if (b.bad_crc) {
        s.back() ^= 0x01;
    }
    return s;
}

SectionBuilder MgtBuilder(uint8_t version, const std::vector<MgtEntry>& entries, const Bytes& descriptors) {
    SectionBuilder b;
    b.Table(0xC7).Extension(0).Version(version).Number(0, 0);
    b.Append({0x00});
    b.Append16(static_cast<uint16_t>(entries.size()));
    for (const MgtEntry& e : entries) {
        b.Append16(e.table_type);
        b.Append16(0xE000 | (e.pid & 0x1FFF));
        b.Append({static_cast<uint8_t>(0xE0 | (e.version & 0x1F))});
        b.Append16(e.number_bytes >> 16);
        b.Append16(e.number_bytes & 0xFFFF);
        b.Append16(0xF000 | (e.descriptors.size() & 0x0FFF));
        b.body.insert(b.body.end(), e.descriptors.begin(), e.descriptors.end());
    }
    b.Append16(0xF000 | (descriptors.size() & 0x0FFF));
    b.body.insert(b.body.end(), descriptors.begin(), descriptors.end());
    return b;
}

Bytes BuildMgt(uint8_t version, const std::vector<MgtEntry>& entries, const Bytes& descriptors) {
    return BuildPsip(MgtBuilder(version, entries, descriptors));
}

SectionBuilder TvctBuilder(uint16_t tsid, uint8_t version, uint8_t section, uint8_t last) {
    SectionBuilder b;
    b.Table(0xC8).Extension(tsid).Version(version).Number(section, last);
    b.Append({0x00, 0x00}); // protocol_version, num_channels_in_section
    b.Append16(0xFC00);     // additional_descriptors_length 0
    return b;
}

Bytes BuildTvct(uint16_t tsid, uint8_t version, uint8_t section, uint8_t last) {
    return BuildPsip(TvctBuilder(tsid, version, section, last));
}

SectionBuilder SttBuilder(uint32_t systemTime, uint8_t gpsUtcOffset) {
    SectionBuilder b;
    b.Table(0xCD).Extension(0).Version(0).Number(0, 0);
    b.Append({0x00});
    b.Append16(systemTime >> 16);
    b.Append16(systemTime & 0xFFFF);
    b.Append({gpsUtcOffset});
    b.Append16(0x6000); // daylight_saving
    return b;
}

Bytes BuildStt(uint32_t systemTime, uint8_t gpsUtcOffset) {
    return BuildPsip(SttBuilder(systemTime, gpsUtcOffset));
}

SectionBuilder AtscEitBuilder(uint16_t sourceId, uint8_t version, uint8_t section, uint8_t last,
                              uint16_t eventId) {
    SectionBuilder b;
    b.Table(0xCB).Extension(sourceId).Version(version).Number(section, last);
    b.Append({0x00, 0x01}); // protocol_version, num_events_in_section
    b.Append16(0xC000 | (eventId & 0x3FFF));
    b.Append16(0x4B3C); // start_time
    b.Append16(0x2A00);
    b.Append({0xC0, 0x0E, 0x10}); // ETM_location, length_in_seconds 3600
    b.Append({0x00});             // title_length
    b.Append16(0xF000);           // descriptors_length
    return b;
}

Bytes BuildAtscEit(uint16_t sourceId, uint8_t version, uint8_t section, uint8_t last, uint16_t eventId) {
    return BuildPsip(AtscEitBuilder(sourceId, version, section, last, eventId));
}

Bytes BuildEtt(uint32_t etmId, uint8_t version, const Bytes& text) {
    SectionBuilder b;
    b.Table(0xCC).Extension(0x0001).Version(version).Number(0, 0);
    b.Append({0x00});
    b.Append16(etmId >> 16);
    b.Append16(etmId & 0xFFFF);
    b.body.insert(b.body.end(), text.begin(), text.end());
    return BuildPsip(b);
}

Bytes BuildNit(uint16_t networkId, uint8_t version, const Bytes& networkDescriptors,
               const std::vector<NitStream>& streams) {
    SectionBuilder b;
    b.Table(0x40).Extension(networkId).Version(version);
    b.Append16(0xF000 | (networkDescriptors.size() & 0x0FFF));
    b.body.insert(b.body.end(), networkDescriptors.begin(), networkDescriptors.end());
    size_t loop = 0;
    for (const NitStream& s : streams) {
        loop += 6 + s.descriptors.size();
    }
    b.Append16(0xF000 | (loop & 0x0FFF));
    for (const NitStream& s : streams) {
        b.Append16(s.tsid);
        b.Append16(s.onid);
        b.Append16(0xF000 | (s.descriptors.size() & 0x0FFF));
        b.body.insert(b.body.end(), s.descriptors.begin(), s.descriptors.end());
    }
    return b.Build();
}

} // namespace qxtest
