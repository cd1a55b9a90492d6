#include "host/SectionDemux.h"

#include "host/TsReader.h"

namespace qxhost {

SectionDemux::SectionDemux(Sink sink) : m_sink(std::move(sink)), m_assemblers(kPidCount) {
    for (auto& m : m_mapped) {
        m.store(false, std::memory_order_relaxed);
    }
}

bool SectionDemux::Map(unsigned pid) {
    if (pid >= kPidCount) {
        return false;
    }
    m_mapped[pid].store(true, std::memory_order_release);
    return true;
}

bool SectionDemux::Unmap(unsigned pid) {
    if (pid >= kPidCount) {
        return false;
    }
    m_mapped[pid].store(false, std::memory_order_release);
    return true;
}

bool SectionDemux::IsMapped(unsigned pid) const {
    return pid < kPidCount && m_mapped[pid].load(std::memory_order_acquire);
}

std::vector<unsigned> SectionDemux::MappedPids() const {
    std::vector<unsigned> pids;
    for (unsigned pid = 0; pid < kPidCount; ++pid) {
        if (m_mapped[pid].load(std::memory_order_acquire)) {
            pids.push_back(pid);
        }
    }
    return pids;
}

void SectionDemux::ResetAssembly() {
    for (auto& a : m_assemblers) {
        if (a) {
            a->Reset();
        }
    }
}

SectionDemuxStats SectionDemux::Stats() const {
    SectionDemuxStats s = m_stats;
    for (const auto& a : m_assemblers) {
        if (a) {
            const SectionAssemblerStats& p = a->Stats();
            s.sections.sections += p.sections;
            s.sections.cc_errors += p.cc_errors;
            s.sections.duplicates += p.duplicates;
            s.sections.dropped_partial += p.dropped_partial;
            s.sections.oversized += p.oversized;
        }
    }
    return s;
}

void SectionDemux::Push(const uint8_t* p) {
    ++m_stats.packets;
    if (p[0] != kTsSyncByte) {
        ++m_stats.bad_packets;
        return;
    }
    if ((p[1] & 0x80) != 0 || (p[3] >> 6) != 0 || (p[3] & 0x10) == 0) {
        return;
    }
    unsigned pid = (static_cast<unsigned>(p[1] & 0x1F) << 8) | p[2];
    std::unique_ptr<SectionAssembler>& assembler = m_assemblers[pid];
    if (!m_mapped[pid].load(std::memory_order_acquire)) {
        if (assembler) {
            assembler->Reset(); // a later mapping starts clean at the next unit start
        }
        return;
    }
    ++m_stats.mapped_packets;

    size_t offset = 4;
    bool discontinuity = false;
    if (p[3] & 0x20) {
        size_t afLength = p[4];
        offset = 5 + afLength;
        if (offset > kTsPacketSize) {
            ++m_stats.bad_packets;
            return;
        }
        discontinuity = afLength > 0 && (p[5] & 0x80) != 0;
    }
    if (!assembler) {
        assembler = std::make_unique<SectionAssembler>();
    }
    if (discontinuity) {
        assembler->Reset(); // an announced break in the counter is no error
    }
    bool unitStart = (p[1] & 0x40) != 0;
    assembler->Feed(p[3] & 0x0F, unitStart, p + offset, kTsPacketSize - offset,
                    [this, pid](const uint8_t* section, size_t length) { m_sink(pid, section, length); });
}

} // namespace qxhost
