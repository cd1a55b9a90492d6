// Reads an MPEG-2 transport stream from a file, standard input or memory and hands out its packets one
// at a time. Works on a fixed-size buffer, so memory use does not grow with the stream.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace qxhost {

constexpr unsigned kTsPacketSize = 188;
constexpr uint8_t kTsSyncByte = 0x47;

// Where the bytes come from. Read answers the number of bytes placed in buffer, 0 at end of input,
// or -1 on a read error.
class ByteSource {
public:
    virtual ~ByteSource() = default;
    virtual long Read(uint8_t* buffer, size_t size) = 0;
};

// A file opened by name, or standard input for "-".
class FileSource : public ByteSource {
public:
    ~FileSource() override;
    // False when the file cannot be opened; errorText then says why.
    bool Open(const std::string& path, std::string* errorText);
    long Read(uint8_t* buffer, size_t size) override;

private:
    FILE* m_file = nullptr;
    bool m_owned = false;
};

// Bytes held in memory (tests, benchmarks).
class MemorySource : public ByteSource {
public:
    MemorySource(const uint8_t* data, size_t size, size_t chunk = 0)
        : m_data(data), m_size(size), m_chunk(chunk) {}
    long Read(uint8_t* buffer, size_t size) override;

private:
    const uint8_t* m_data;
    size_t m_size;
    size_t m_chunk; // largest piece one Read hands back; 0 for no limit (short reads, as from a pipe)
    size_t m_at = 0;
};

struct TsReaderStats {
    uint64_t bytes = 0;              // bytes read from the source
    uint64_t packets = 0;            // packets handed out
    uint64_t sync_losses = 0;        // times the sync byte was not where the packet size said
    uint64_t skipped_bytes = 0;      // bytes passed over to find sync (leading bytes included)
    uint64_t error_packets = 0;      // dropped: transport_error_indicator set
    uint64_t scrambled_packets = 0;  // dropped: transport_scrambling_control not 0
    uint64_t no_payload_packets = 0; // dropped: adaptation field only, or no payload at all
    uint64_t truncated_bytes = 0;    // bytes of an incomplete last packet
};

class TsReader {
public:
    enum class Result { Packet, End, NotTransportStream, ReadError };

    // packetSize 0 detects 188, 192 or 204 from the sync bytes; any of those three forces it.
    explicit TsReader(ByteSource* source, unsigned packetSize = 0, size_t blockSize = 1 << 20);

    // Hands out the next usable 188-byte packet in *packet (valid until the next call). Packets with
    // transport errors, scrambled payloads or no payload are counted and passed over.
    Result Next(const uint8_t** packet);

    // Finds the packet size without consuming a packet. NotTransportStream when no run of sync bytes
    // at any of the three strides starts within the first block; End for an empty source.
    Result Detect();

    unsigned PacketSize() const { return m_packetSize; }
    const TsReaderStats& Stats() const { return m_stats; }
    bool Truncated() const { return m_stats.truncated_bytes != 0; }

private:
    bool Fill(size_t need);
    bool SyncedAt(size_t at, unsigned stride, unsigned runs) const;
    bool FindSync(unsigned stride);
    Result NextRaw(const uint8_t** packet);

    ByteSource* m_source;
    unsigned m_packetSize;
    bool m_forced;
    std::vector<uint8_t> m_buffer;
    size_t m_begin = 0;
    size_t m_end = 0;
    bool m_eof = false;
    bool m_readError = false;
    bool m_detected = false;
    bool m_notTs = false;
    TsReaderStats m_stats;
};

} // namespace qxhost
