#include <gtest/gtest.h>

#include "host/SectionDemux.h"
#include "support/core/ts_packetizer.h"

using namespace qxtest;
using qxhost::SectionDemux;

namespace {

struct Got {
    unsigned pid;
    Bytes section;
    bool operator==(const Got& o) const { return pid == o.pid && section == o.section; }
};

// A private section of exactly total bytes (header, filler body, CRC), tagged by table_id.
Bytes SectionOfSize(size_t total, uint8_t tableId, uint8_t fill = 0x11) {
    SectionBuilder b;
    b.Table(tableId).Extension(static_cast<uint16_t>(total));
    b.body.assign(total - 12, fill);
    return b.Build();
}

struct Harness {
    std::vector<Got> got;
    SectionDemux demux{[this](unsigned pid, const uint8_t* s, size_t n) {
        got.push_back({pid, Bytes(s, s + n)});
    }};

    void Push(const Bytes& packets) {
        for (size_t at = 0; at + kTsPacket <= packets.size(); at += kTsPacket) {
            demux.Push(packets.data() + at);
        }
    }
    std::vector<Bytes> Sections() const {
        std::vector<Bytes> out;
        for (const auto& g : got) {
            out.push_back(g.section);
        }
        return out;
    }
};

} // namespace

TEST(SectionDemux, ReassemblesWhateverWayTheSectionsArePacked) {
    // Sizes chosen to hit every boundary: tiny sections sharing a packet, a header split after one and
    // two bytes, a section ending exactly at a packet end, one spanning many packets, the largest.
    std::vector<Bytes> sections;
    size_t sizes[] = {12, 16, 183, 182, 181, 184, 367, 1000, 12, 4096, 20, 185, 40};
    uint8_t id = 0x40;
    for (size_t n : sizes) {
        sections.push_back(SectionOfSize(n, id++));
    }
    for (bool together : {true, false}) {
        SCOPED_TRACE(together);
        Harness h;
        h.demux.Map(0x30);
        TsPacketizer tx(0x30, 9);
        tx.pack_together = together;
        h.Push(tx.Packetize(sections));
        EXPECT_EQ(sections, h.Sections());
        EXPECT_EQ(0u, h.demux.Stats().sections.dropped_partial);
    }
}

TEST(SectionDemux, ContinityGapDropsThePartialSectionAndARepeatIsIgnored) {
    Bytes first = SectionOfSize(500, 0x40), second = SectionOfSize(300, 0x41),
          third = SectionOfSize(30, 0x42);
    TsPacketizer tx(0x10);
    tx.pack_together = false;
    Bytes packets = tx.Packetize({first, second, third});
    // first: packets 0-2, second: 3-4, third: 5. Lose packet 1; send packet 3 twice.
    Bytes stream;
    auto put = [&](size_t i) {
        stream.insert(stream.end(), packets.begin() + i * kTsPacket, packets.begin() + (i + 1) * kTsPacket);
    };
    put(0);
    put(2);
    put(3);
    put(3);
    put(4);
    put(5);
    Harness h;
    h.demux.Map(0x10);
    h.Push(stream);
    EXPECT_EQ((std::vector<Bytes>{second, third}), h.Sections());
    auto s = h.demux.Stats().sections;
    EXPECT_EQ(1u, s.cc_errors);
    EXPECT_EQ(1u, s.duplicates);
    EXPECT_EQ(1u, s.dropped_partial);
}

TEST(SectionDemux, AnnouncedDiscontinuityIsNoError) {
    Bytes a = SectionOfSize(30, 0x40), b = SectionOfSize(40, 0x41);
    Bytes pa = {0x00}, pb = {0x00};
    pa.insert(pa.end(), a.begin(), a.end());
    pb.insert(pb.end(), b.begin(), b.end());
    Bytes jump = MakePacket(0x10, true, 9, pb, 1);
    jump[5] |= 0x80; // discontinuity_indicator
    Harness h;
    h.demux.Map(0x10);
    h.Push(MakePacket(0x10, true, 2, pa));
    h.Push(jump);
    EXPECT_EQ((std::vector<Bytes>{a, b}), h.Sections());
    EXPECT_EQ(0u, h.demux.Stats().sections.cc_errors);
}

TEST(SectionDemux, GapInsideAPacketOfSeveralSectionsKeepsTheWholeOnes) {
    // The packet after a gap starts with the tail of a lost section, then holds whole ones.
    Bytes big = SectionOfSize(300, 0x40), a = SectionOfSize(20, 0x41), b = SectionOfSize(24, 0x42);
    TsPacketizer tx(0x10);
    Bytes packets = tx.Packetize({big, a, b});
    ASSERT_EQ(2 * kTsPacket, packets.size());
    Harness h;
    h.demux.Map(0x10);
    h.Push(Bytes(packets.begin() + kTsPacket, packets.end())); // first packet lost
    EXPECT_EQ((std::vector<Bytes>{a, b}), h.Sections()) << "pointer_field skips the orphan tail";
}

TEST(SectionDemux, StuffingOversizeAndBadPointerField) {
    Harness h;
    h.demux.Map(0x12);
    Bytes s1 = SectionOfSize(20, 0x4E);
    // A section, then 0xFF stuffing that must not be read as a section start.
    Bytes payload = {0x00};
    payload.insert(payload.end(), s1.begin(), s1.end());
    h.Push(MakePacket(0x12, true, 0, payload));
    // A header declaring 3 + 4095 bytes: dropped, nothing after it in the packet is read.
    Bytes over = {0x00, 0x4F, 0xBF, 0xFF, 0x00, 0x01};
    h.Push(MakePacket(0x12, true, 1, over));
    // pointer_field past the payload's end.
    h.Push(MakePacket(0x12, true, 2, Bytes{200, 0x4E}));
    // An adaptation field before the payload; the section is found after it.
    Bytes s2 = SectionOfSize(40, 0x50);
    payload = {0x00};
    payload.insert(payload.end(), s2.begin(), s2.end());
    h.Push(MakePacket(0x12, true, 3, payload, 20));
    EXPECT_EQ((std::vector<Bytes>{s1, s2}), h.Sections());
    EXPECT_EQ(1u, h.demux.Stats().sections.oversized);
}

TEST(SectionDemux, OnlyMappedPidsAndAMappingStartsAtTheNextUnitStart) {
    Bytes big = SectionOfSize(400, 0x02), small = SectionOfSize(30, 0x02);
    TsPacketizer tx(0x100);
    tx.pack_together = false;
    Bytes packets = tx.Packetize({big, small});
    Harness h;
    h.Push(Bytes(packets.begin(), packets.begin() + kTsPacket)); // unmapped: ignored
    h.demux.Map(0x100);
    h.Push(Bytes(packets.begin() + kTsPacket, packets.end())); // rest of big, then small
    EXPECT_EQ((std::vector<Bytes>{small}), h.Sections());
    EXPECT_EQ((std::vector<unsigned>{0x100}), h.demux.MappedPids());
    EXPECT_FALSE(h.demux.Map(0x2000));
    EXPECT_TRUE(h.demux.Unmap(0x100));
    EXPECT_TRUE(h.demux.MappedPids().empty());
}
