// The PID filter and section reassembly of the demultiplexer, without any COM: fed 188-byte transport
// packets, it hands every complete section of a mapped PID to a sink.
#pragma once
#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "host/SectionAssembler.h"

namespace qxhost {

constexpr unsigned kPidCount = 0x2000;

struct SectionDemuxStats {
    uint64_t packets = 0;           // packets pushed
    uint64_t mapped_packets = 0;    // of those, on a mapped PID
    uint64_t bad_packets = 0;       // no sync byte, or an adaptation field longer than the packet
    SectionAssemblerStats sections; // summed over every PID
};

class SectionDemux {
public:
    using Sink = std::function<void(unsigned pid, const uint8_t* section, size_t length)>;

    explicit SectionDemux(Sink sink);

    // The PID map. Safe from any thread, the sink's included; a change is seen from the next packet
    // on, never half-way through one. Answers false for a PID above 0x1FFF.
    bool Map(unsigned pid);
    bool Unmap(unsigned pid);
    bool IsMapped(unsigned pid) const;
    std::vector<unsigned> MappedPids() const; // ascending

    // One packet from the streaming thread. Packets with transport errors, scrambled payloads or no
    // payload are passed over (the reader drops them already; this keeps direct feeding safe).
    void Push(const uint8_t* packet);

    // Forgets every partial section and continuity counter (a new run, a flush); keeps the map.
    void ResetAssembly();

    SectionDemuxStats Stats() const;

private:
    Sink m_sink;
    std::array<std::atomic<bool>, kPidCount> m_mapped;
    // Touched only by the streaming thread, so a map change made from the sink cannot pull an
    // assembler away from under the packet being taken apart.
    std::vector<std::unique_ptr<SectionAssembler>> m_assemblers;
    SectionDemuxStats m_stats;
};

} // namespace qxhost
