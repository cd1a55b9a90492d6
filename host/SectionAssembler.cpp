#include "host/SectionAssembler.h"

#include <algorithm>
#include <cstring>

namespace qxhost {

namespace {

constexpr uint8_t kStuffing = 0xFF;

size_t DeclaredSize(const uint8_t* header) {
    return 3 + ((static_cast<size_t>(header[1] & 0x0F) << 8) | header[2]);
}

} // namespace

void SectionAssembler::Reset() {
    m_collecting = false;
    m_have = 0;
    m_need = 0;
    m_lastCc = -1;
}

void SectionAssembler::DropPartial() {
    if (m_collecting) {
        ++m_stats.dropped_partial;
    }
    m_collecting = false;
    m_have = 0;
    m_need = 0;
}

size_t SectionAssembler::Append(const uint8_t* data, size_t length, const Sink& sink) {
    size_t taken = 0;
    if (m_need == 0) {
        while (m_have < 3 && taken < length) {
            m_partial[m_have++] = data[taken++];
        }
        if (m_have < 3) {
            return taken; // the header itself goes on in the next packet
        }
        m_need = DeclaredSize(m_partial.data());
        if (m_need > kMaxSectionBytes) {
            ++m_stats.oversized;
            m_collecting = false;
            m_have = 0;
            m_need = 0;
            return length;
        }
    }
    size_t n = std::min(length - taken, m_need - m_have);
    memcpy(m_partial.data() + m_have, data + taken, n);
    m_have += n;
    taken += n;
    if (m_have == m_need) {
        size_t size = m_need;
        m_collecting = false;
        m_have = 0;
        m_need = 0;
        ++m_stats.sections;
        sink(m_partial.data(), size);
    }
    return taken;
}

void SectionAssembler::Parse(const uint8_t* data, size_t length, const Sink& sink) {
    size_t pos = 0;
    while (pos < length) {
        if (data[pos] == kStuffing) {
            return; // the rest of the packet is stuffing
        }
        size_t remain = length - pos;
        if (remain >= 3) {
            size_t size = DeclaredSize(data + pos);
            if (size > kMaxSectionBytes) {
                // Nothing after it in this packet can be trusted; the next unit start resumes.
                ++m_stats.oversized;
                return;
            }
            if (size <= remain) {
                ++m_stats.sections;
                sink(data + pos, size); // whole in this packet: no copy
                pos += size;
                continue;
            }
        }
        m_collecting = true;
        m_have = 0;
        m_need = 0;
        Append(data + pos, remain, sink);
        return;
    }
}

void SectionAssembler::Feed(unsigned continuityCounter, bool unitStart, const uint8_t* payload, size_t length,
                            const Sink& sink) {
    int cc = static_cast<int>(continuityCounter & 0x0F);
    if (m_lastCc >= 0) {
        if (cc == m_lastCc) {
            // A packet may be sent twice in a row; the copy carries nothing new.
            ++m_stats.duplicates;
            return;
        }
        if (cc != ((m_lastCc + 1) & 0x0F)) {
            ++m_stats.cc_errors;
            DropPartial();
        }
    }
    m_lastCc = cc;

    if (!unitStart) {
        if (m_collecting) {
            Append(payload, length, sink);
        }
        return;
    }
    if (length == 0 || 1 + static_cast<size_t>(payload[0]) > length) {
        DropPartial(); // pointer_field points outside the packet
        return;
    }
    size_t pointer = payload[0];
    if (m_collecting) {
        Append(payload + 1, pointer, sink);
        DropPartial(); // still incomplete where the next section starts: cut short
    }
    Parse(payload + 1 + pointer, length - 1 - pointer, sink);
}

} // namespace qxhost
