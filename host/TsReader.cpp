#include "host/TsReader.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

namespace qxhost {

namespace {

// Sync bytes in a row that count as lock, both at the start and after a loss. Five is what receivers
// commonly use: a chance 0x47 in payload data rarely repeats five times at the right stride.
constexpr unsigned kLockRuns = 5;
constexpr unsigned kStrides[] = {188, 192, 204};
constexpr unsigned kMaxStride = 204;

} // namespace

FileSource::~FileSource() {
    if (m_owned && m_file != nullptr) {
        fclose(m_file);
    }
}

bool FileSource::Open(const std::string& path, std::string* errorText) {
    if (path == "-") {
#ifdef _WIN32
        _setmode(_fileno(stdin), _O_BINARY);
#endif
        m_file = stdin;
        m_owned = false;
        return true;
    }
    m_file = fopen(path.c_str(), "rb");
    if (m_file == nullptr) {
        if (errorText != nullptr) {
            *errorText = strerror(errno);
        }
        return false;
    }
    m_owned = true;
    return true;
}

long FileSource::Read(uint8_t* buffer, size_t size) {
    if (m_file == nullptr) {
        return -1;
    }
    size_t got = fread(buffer, 1, size, m_file);
    if (got == 0 && ferror(m_file)) {
        return -1;
    }
    return static_cast<long>(got);
}

long MemorySource::Read(uint8_t* buffer, size_t size) {
    size_t n = std::min(size, m_size - m_at);
    if (m_chunk != 0) {
        n = std::min(n, m_chunk);
    }
    if (n != 0) {
        memcpy(buffer, m_data + m_at, n);
    }
    m_at += n;
    return static_cast<long>(n);
}

TsReader::TsReader(ByteSource* source, unsigned packetSize, size_t blockSize)
    : m_source(source), m_packetSize(packetSize), m_forced(packetSize != 0) {
    // The slack past one block keeps a lock check's look-ahead in the buffer after compaction.
    m_buffer.resize(std::max<size_t>(blockSize, 4096) + static_cast<size_t>(kMaxStride) * (kLockRuns + 1));
}

// Makes at least need bytes available from m_begin, unless the input ends first. Reads fill all the
// free space so that the source sees large blocks. False when fewer than need bytes are left.
bool TsReader::Fill(size_t need) {
    if (m_end - m_begin >= need) {
        return true;
    }
    if (m_begin != 0) {
        memmove(m_buffer.data(), m_buffer.data() + m_begin, m_end - m_begin);
        m_end -= m_begin;
        m_begin = 0;
    }
    while (m_end < need && !m_eof) {
        long got = m_source->Read(m_buffer.data() + m_end, m_buffer.size() - m_end);
        if (got < 0) {
            m_readError = true;
            m_eof = true;
        } else if (got == 0) {
            m_eof = true;
        } else {
            m_end += static_cast<size_t>(got);
            m_stats.bytes += static_cast<uint64_t>(got);
        }
    }
    return m_end - m_begin >= need;
}

// True when the bytes at at, at + stride, ... hold sync bytes for as many packets as lock needs, or as
// the end of the input leaves room for (at least one whole packet).
bool TsReader::SyncedAt(size_t at, unsigned stride, unsigned runs) const {
    size_t avail = m_end - at;
    if (avail < kTsPacketSize) {
        return false;
    }
    size_t fits = (avail - kTsPacketSize) / stride + 1;
    size_t check = std::min<size_t>(runs, fits);
    if (check < runs && !m_eof) {
        return false;
    }
    for (size_t k = 0; k < check; ++k) {
        if (m_buffer[at + k * stride] != kTsSyncByte) {
            return false;
        }
    }
    return true;
}

// Moves m_begin to the next position from which the stride holds; counts what it passes over. False
// when the input ends first; a tail too short for a packet that starts with a sync byte is kept so
// that it is reported as a truncated packet rather than as noise.
bool TsReader::FindSync(unsigned stride) {
    const size_t lookahead = static_cast<size_t>(stride) * (kLockRuns - 1) + kTsPacketSize;
    for (;;) {
        Fill(lookahead);
        size_t j = m_begin;
        for (; j < m_end; ++j) {
            if (!m_eof && m_end - j < lookahead) {
                break; // not enough bytes to judge j yet
            }
            if (m_buffer[j] != kTsSyncByte) {
                continue;
            }
            if (SyncedAt(j, stride, kLockRuns) || (m_eof && m_end - j < kTsPacketSize)) {
                m_stats.skipped_bytes += j - m_begin;
                m_begin = j;
                return true;
            }
        }
        m_stats.skipped_bytes += j - m_begin;
        m_begin = j;
        if (m_eof && m_begin == m_end) {
            return false;
        }
    }
}

TsReader::Result TsReader::Detect() {
    if (m_detected) {
        return Result::Packet;
    }
    if (m_notTs) {
        return Result::NotTransportStream;
    }
    Fill(m_buffer.size());
    if (m_end == m_begin) {
        return m_readError ? Result::ReadError : Result::End;
    }
    // Lock is looked for over the first block only, so a file that is not a transport stream is
    // refused after one read instead of being scanned to its end.
    for (size_t i = m_begin; i < m_end; ++i) {
        if (m_buffer[i] != kTsSyncByte) {
            continue;
        }
        for (unsigned stride : kStrides) {
            if (m_forced && stride != m_packetSize) {
                continue;
            }
            // A stream of a single packet has no second sync byte to confirm the first.
            bool lone = m_eof && i - m_begin <= 4 && m_end - i < kTsPacketSize + stride;
            if (SyncedAt(i, stride, kLockRuns) && (m_end - i >= kTsPacketSize + stride || lone)) {
                m_packetSize = stride;
                m_detected = true;
                size_t lead = i - m_begin;
                if (stride == 192 && lead >= 4) {
                    lead -= 4; // the first packet's timecode prefix is not noise
                }
                m_stats.skipped_bytes += lead;
                m_begin = i;
                return Result::Packet;
            }
        }
    }
    m_notTs = true;
    return m_readError ? Result::ReadError : Result::NotTransportStream;
}

TsReader::Result TsReader::NextRaw(const uint8_t** packet) {
    Result r = Detect();
    if (r != Result::Packet) {
        return r;
    }
    for (;;) {
        Fill(m_packetSize);
        size_t avail = m_end - m_begin;
        if (avail == 0) {
            return m_readError ? Result::ReadError : Result::End;
        }
        if (avail < kTsPacketSize) {
            // Fill stops short only at the end of the input: the stream ends inside a packet.
            m_stats.truncated_bytes += avail;
            m_begin = m_end;
            return m_readError ? Result::ReadError : Result::End;
        }
        if (m_buffer[m_begin] != kTsSyncByte) {
            ++m_stats.sync_losses;
            if (!FindSync(m_packetSize)) {
                return m_readError ? Result::ReadError : Result::End;
            }
            continue;
        }
        *packet = m_buffer.data() + m_begin;
        m_begin += std::min<size_t>(m_packetSize, avail); // the last suffix or prefix may be missing
        ++m_stats.packets;
        return Result::Packet;
    }
}

TsReader::Result TsReader::Next(const uint8_t** packet) {
    for (;;) {
        const uint8_t* p = nullptr;
        Result r = NextRaw(&p);
        if (r != Result::Packet) {
            return r;
        }
        if (p[1] & 0x80) {
            ++m_stats.error_packets;
            continue;
        }
        if ((p[3] >> 6) != 0) {
            ++m_stats.scrambled_packets;
            continue;
        }
        if ((p[3] & 0x10) == 0) {
            ++m_stats.no_payload_packets;
            continue;
        }
        *packet = p;
        return r;
    }
}

} // namespace qxhost
