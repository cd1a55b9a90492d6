// Cuts sections into 188-byte transport packets the way a multiplexer does (pointer_field, sections
// sharing a packet, 0xFF stuffing, continuity counters), and helpers for hand-made and noise packets.
#pragma once
#include <cstdint>
#include <vector>

#include "support/core/section_builder.h"

namespace qxtest {

constexpr size_t kTsPacket = 188;

// One PID's packetizer; keeps its continuity counter across calls.
struct TsPacketizer {
    uint16_t pid = 0;
    uint8_t cc = 0;
    // true: a section starts right after the previous one, in the same packet when there is room;
    // false: every section starts a packet of its own and its last packet is stuffed.
    bool pack_together = true;

    explicit TsPacketizer(uint16_t p, uint8_t counter = 0) : pid(p), cc(counter) {}

    // The packets (188 bytes each, concatenated) carrying the sections in order.
    Bytes Packetize(const std::vector<Bytes>& sections);
    Bytes Packetize(const Bytes& section) { return Packetize(std::vector<Bytes>{section}); }
};

// A single packet: header, optional adaptation field of afLength bytes (flags byte 0 when afLength >
// 0, then stuffing), then payload padded with 0xFF. adaptationOnly leaves out the payload entirely.
Bytes MakePacket(uint16_t pid, bool unitStart, uint8_t cc, const Bytes& payload, int afLength = -1,
                 bool adaptationOnly = false);

// A null packet (PID 0x1FFF).
Bytes NullPacket();

// Rewraps a stream of 188-byte packets as 192-byte (4-byte timecode prefix, counting up) or 204-byte
// (16 bytes of parity, here a fixed pattern) packets. 188 returns it unchanged.
Bytes WrapPackets(const Bytes& packets188, unsigned packetSize);

// Sets fields of the packet at index in a 188-byte packet stream.
void SetTransportError(Bytes& packets, size_t index);
void SetScrambled(Bytes& packets, size_t index);

// A small deterministic generator for noise: same seed, same stream.
struct NoiseSource {
    uint32_t state;
    explicit NoiseSource(uint32_t seed) : state(seed ? seed : 1) {}
    uint32_t Next();
    Bytes RandomBytes(size_t n);
    // A packet on pid with random payload and the given counter.
    Bytes RandomPacket(uint16_t pid, uint8_t cc);
};

} // namespace qxtest
