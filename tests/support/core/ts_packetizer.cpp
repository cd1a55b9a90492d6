#include "support/core/ts_packetizer.h"

#include <algorithm>

namespace qxtest {

namespace {

void Header(Bytes& out, uint16_t pid, bool unitStart, uint8_t cc, bool adaptation, bool payload) {
    out.push_back(0x47);
    out.push_back((unitStart ? 0x40 : 0x00) | ((pid >> 8) & 0x1F));
    out.push_back(pid & 0xFF);
    out.push_back((adaptation ? 0x20 : 0x00) | (payload ? 0x10 : 0x00) | (cc & 0x0F));
}

} // namespace

Bytes TsPacketizer::Packetize(const std::vector<Bytes>& sections) {
    Bytes out;
    size_t i = 0;   // section being carried
    size_t off = 0; // bytes of it already sent
    const size_t n = sections.size();
    while (i < n) {
        Bytes payload;
        size_t cont = off > 0 ? sections[i].size() - off : 0; // bytes finishing a started section
        size_t next = off > 0 ? i + 1 : i;                    // first section that could start here
        bool room = cont + 1 < 184 && next < n && (pack_together || off == 0);
        bool unitStart = room;
        if (unitStart) {
            payload.push_back(static_cast<uint8_t>(cont));
        }
        if (cont > 0) {
            size_t take = std::min(cont, 184 - payload.size());
            payload.insert(payload.end(), sections[i].begin() + off, sections[i].begin() + off + take);
            off += take;
            if (off == sections[i].size()) {
                ++i;
                off = 0;
            }
        }
        if (unitStart) {
            i = next;
            off = 0;
            while (payload.size() < 184 && i < n) {
                const Bytes& s = sections[i];
                size_t take = std::min(s.size(), 184 - payload.size());
                payload.insert(payload.end(), s.begin(), s.begin() + take);
                if (take < s.size()) {
                    off = take;
                    break;
                }
                ++i;
                if (!pack_together) {
                    break;
                }
            }
        }
        Bytes packet = MakePacket(pid, unitStart, cc, payload);
        cc = (cc + 1) & 0x0F;
        out.insert(out.end(), packet.begin(), packet.end());
    }
    return out;
}

Bytes MakePacket(uint16_t pid, bool unitStart, uint8_t cc, const Bytes& payload, int afLength,
                 bool adaptationOnly) {
    Bytes out;
    bool adaptation = afLength >= 0 || adaptationOnly;
    Header(out, pid, unitStart, cc, adaptation, !adaptationOnly);
    if (adaptationOnly) {
        out.push_back(183);
        out.push_back(0x00);
        out.resize(kTsPacket, 0xFF);
        return out;
    }
    if (afLength >= 0) {
        out.push_back(static_cast<uint8_t>(afLength));
        if (afLength > 0) {
            out.push_back(0x00);
            out.resize(5 + afLength, 0xFF);
        }
    }
    size_t take = std::min(payload.size(), kTsPacket - out.size());
    out.insert(out.end(), payload.begin(), payload.begin() + take);
    out.resize(kTsPacket, 0xFF);
    return out;
}

Bytes NullPacket() {
    return MakePacket(0x1FFF, false, 0, {});
}

Bytes WrapPackets(const Bytes& packets188, unsigned packetSize) {
    if (packetSize == 188) {
        return packets188;
    }
    Bytes out;
    uint32_t timecode = 0x01000000;
    for (size_t at = 0; at + kTsPacket <= packets188.size(); at += kTsPacket) {
        if (packetSize == 192) {
            out.push_back(timecode >> 24);
            out.push_back(timecode >> 16);
            out.push_back(timecode >> 8);
            out.push_back(timecode);
            timecode += 1234;
        }
        out.insert(out.end(), packets188.begin() + at, packets188.begin() + at + kTsPacket);
        if (packetSize == 204) {
            for (int k = 0; k < 16; ++k) {
                out.push_back(static_cast<uint8_t>(0xA0 + k)); // parity bytes, never 0x47
            }
        }
    }
    return out;
}

void SetTransportError(Bytes& packets, size_t index) {
    packets[index * kTsPacket + 1] |= 0x80;
}

void SetScrambled(Bytes& packets, size_t index) {
    packets[index * kTsPacket + 3] |= 0x80;
}

uint32_t NoiseSource::Next() {
    // xorshift32
    state ^= state << 13;
    state ^= state >> 17;
    state ^= state << 5;
    return state;
}

Bytes NoiseSource::RandomBytes(size_t n) {
    Bytes out(n);
    for (auto& b : out) {
        b = static_cast<uint8_t>(Next());
    }
    return out;
}

Bytes NoiseSource::RandomPacket(uint16_t pid, uint8_t cc) {
    return MakePacket(pid, false, cc, RandomBytes(184));
}

} // namespace qxtest
