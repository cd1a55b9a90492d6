// Reassembles the PSI/SI sections carried on one PID from the payloads of its transport packets.
#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>

namespace qxhost {

// The largest section delivered: 3 + section_length bytes. Private sections may declare up to 4095
// bytes of section_length, but no standard table exceeds 4096 bytes in total; longer ones are taken
// for corruption and dropped.
constexpr size_t kMaxSectionBytes = 4096;

struct SectionAssemblerStats {
    uint64_t sections = 0;        // complete sections handed out
    uint64_t cc_errors = 0;       // continuity gaps seen
    uint64_t duplicates = 0;      // repeated packets ignored
    uint64_t dropped_partial = 0; // partial sections thrown away (gap, bad pointer_field, cut short)
    uint64_t oversized = 0;       // sections whose declared length exceeds kMaxSectionBytes
};

class SectionAssembler {
public:
    using Sink = std::function<void(const uint8_t* section, size_t length)>;

    // Feeds one packet of the PID: its continuity_counter, payload_unit_start_indicator and payload
    // (after any adaptation field). Calls sink once per section completed by this payload, in order.
    void Feed(unsigned continuityCounter, bool unitStart, const uint8_t* payload, size_t length,
              const Sink& sink);

    // Forgets the partial section and the continuity counter, as when the PID is (re)mapped.
    void Reset();

    const SectionAssemblerStats& Stats() const { return m_stats; }

private:
    void DropPartial();
    // Appends up to length bytes to the partial section; answers how many were taken.
    size_t Append(const uint8_t* data, size_t length, const Sink& sink);
    void Parse(const uint8_t* data, size_t length, const Sink& sink);

    std::array<uint8_t, kMaxSectionBytes> m_partial{};
    size_t m_have = 0; // bytes in m_partial
    size_t m_need = 0; // whole section size once the header is in, else 0
    bool m_collecting = false;
    int m_lastCc = -1;
    SectionAssemblerStats m_stats;
};

} // namespace qxhost
