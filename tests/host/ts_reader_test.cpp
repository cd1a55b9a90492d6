#include <gtest/gtest.h>

#include "host/TsReader.h"
#include "support/core/ts_packetizer.h"

using namespace qxtest;
using qxhost::MemorySource;
using qxhost::TsReader;

namespace {

// A stream of count packets on PID 0x100 whose payload's first byte is the packet's index.
Bytes IndexedPackets(size_t count, uint16_t pid = 0x100) {
    Bytes out;
    for (size_t i = 0; i < count; ++i) {
        Bytes p = MakePacket(pid, false, static_cast<uint8_t>(i & 0x0F), Bytes{static_cast<uint8_t>(i)});
        out.insert(out.end(), p.begin(), p.end());
    }
    return out;
}

// Reads everything; answers the index bytes of the packets handed out and the final result.
std::vector<int> ReadAll(TsReader& reader, TsReader::Result* last = nullptr) {
    std::vector<int> got;
    const uint8_t* p = nullptr;
    TsReader::Result r;
    while ((r = reader.Next(&p)) == TsReader::Result::Packet) {
        got.push_back(p[4]);
    }
    if (last != nullptr) {
        *last = r;
    }
    return got;
}

std::vector<int> Range(int n) {
    std::vector<int> v;
    for (int i = 0; i < n; ++i) {
        v.push_back(i);
    }
    return v;
}

} // namespace

TEST(TsReader, DetectsEachPacketSizeAndResynchronisesAfterGarbage) {
    NoiseSource noise(7);
    for (unsigned size : {188u, 192u, 204u}) {
        SCOPED_TRACE(size);
        Bytes first = WrapPackets(IndexedPackets(20), size);
        Bytes second = WrapPackets(IndexedPackets(40), size);
        Bytes garbage = noise.RandomBytes(333);
        for (auto& b : garbage) {
            if (b == 0x47) {
                b = 0x46;
            }
        }
        Bytes stream = {0x00, 0x47, 0x12}; // leading noise with a false sync byte
        stream.insert(stream.end(), first.begin(), first.end());
        stream.insert(stream.end(), garbage.begin(), garbage.end());
        // The packets after the garbage start at index 20, so that the two runs can be told apart.
        size_t skip = 20 * size;
        stream.insert(stream.end(), second.begin() + skip, second.end());

        // Small blocks and short reads force refills in the middle of packets.
        MemorySource source(stream.data(), stream.size(), 517);
        TsReader reader(&source, 0, 2048);
        ASSERT_EQ(TsReader::Result::Packet, reader.Detect());
        EXPECT_EQ(size, reader.PacketSize());
        TsReader::Result last;
        EXPECT_EQ(Range(40), ReadAll(reader, &last));
        EXPECT_EQ(TsReader::Result::End, last);
        EXPECT_EQ(1u, reader.Stats().sync_losses);
        EXPECT_EQ(3u + 333u, reader.Stats().skipped_bytes);
        EXPECT_EQ(stream.size(), reader.Stats().bytes);
        EXPECT_FALSE(reader.Truncated());
    }
}

TEST(TsReader, DropsErroredScrambledAndPayloadlessPackets) {
    Bytes stream = IndexedPackets(6);
    SetTransportError(stream, 1);
    SetScrambled(stream, 3);
    Bytes af = MakePacket(0x100, false, 0, {}, -1, true);
    stream.insert(stream.begin() + 4 * 188, af.begin(), af.end());
    MemorySource source(stream.data(), stream.size());
    TsReader reader(&source);
    EXPECT_EQ((std::vector<int>{0, 2, 4, 5}), ReadAll(reader));
    EXPECT_EQ(7u, reader.Stats().packets);
    EXPECT_EQ(1u, reader.Stats().error_packets);
    EXPECT_EQ(1u, reader.Stats().scrambled_packets);
    EXPECT_EQ(1u, reader.Stats().no_payload_packets);
}

TEST(TsReader, RefusesInputThatIsNotATransportStreamAfterItsFirstBlock) {
    Bytes text = NoiseSource(3).RandomBytes(100000);
    MemorySource junk(text.data(), text.size());
    TsReader reader(&junk, 0, 65536);
    const uint8_t* p;
    EXPECT_EQ(TsReader::Result::NotTransportStream, reader.Next(&p));
    EXPECT_LT(reader.Stats().bytes, text.size());
}

TEST(TsReader, EndsOfTheStream) {
    auto cut = [](unsigned size, size_t packets, size_t drop) {
        Bytes s = WrapPackets(IndexedPackets(packets), size);
        s.resize(s.size() - drop);
        return s;
    };
    const struct {
        const char* what;
        Bytes stream;
        int packets;        // handed out whole
        uint64_t truncated; // bytes of a cut last packet dropped
    } cases[] = {
        {"empty", {}, 0, 0},
        {"one packet", IndexedPackets(1), 1, 0},
        {"188 cut after 100 bytes", cut(188, 12, 88), 11, 100},
        {"192 cut after 100 bytes", cut(192, 12, 92), 11, 96},
        {"204 cut after 100 bytes", cut(204, 12, 104), 11, 100},
        {"204 without its last parity bytes", cut(204, 8, 10), 8, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        MemorySource source(c.stream.data(), c.stream.size());
        TsReader reader(&source);
        TsReader::Result last;
        EXPECT_EQ(Range(c.packets), ReadAll(reader, &last));
        EXPECT_EQ(TsReader::Result::End, last);
        EXPECT_EQ(c.truncated != 0, reader.Truncated());
        EXPECT_EQ(c.truncated, reader.Stats().truncated_bytes);
    }
}
