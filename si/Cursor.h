// The one reader every decoder of si/ goes through: big-endian fields within fixed bounds. A read past the
// bounds yields zeros and records, once for the whole section, where decoding stopped and why; every cursor
// taken from the same root shares that record, so a decoder stops as soon as any part of it overruns.
#pragma once
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace quenlix::si {

// Where a malformed section stopped being sound: the byte offset within the section and the reason.
struct Stop {
    size_t offset = 0;
    std::string reason;
};

class Cursor {
public:
    // A root cursor over n bytes; stops are recorded in *stop (which must outlive the cursor).
    Cursor(const uint8_t* p, size_t n, std::optional<Stop>* stop) : m_p(p), m_end(n), m_stop(stop) {}

    bool ok() const { return !m_stop->has_value(); }
    size_t offset() const { return m_base + m_pos; }
    size_t remaining() const { return ok() ? m_end - m_pos : 0; }
    bool empty() const { return remaining() == 0; }

    uint8_t U8(const char* what) { return static_cast<uint8_t>(Read(1, what)); }
    uint16_t U16(const char* what) { return static_cast<uint16_t>(Read(2, what)); }
    uint32_t U24(const char* what) { return static_cast<uint32_t>(Read(3, what)); }
    uint32_t U32(const char* what) { return static_cast<uint32_t>(Read(4, what)); }
    uint64_t U40(const char* what) { return Read(5, what); }

    // n bytes as a view (empty after a stop).
    std::span<const uint8_t> Bytes(size_t n, const char* what) {
        if (!Need(n, what)) {
            return {};
        }
        std::span<const uint8_t> s(m_p + m_pos, n);
        m_pos += n;
        return s;
    }
    // The next n bytes as a cursor of their own, e.g. a descriptor loop of a stated length.
    Cursor Take(size_t n, const char* what) {
        Cursor c(*this);
        if (!Need(n, what)) {
            c.m_end = c.m_pos;
            return c;
        }
        c.m_p = m_p + m_pos;
        c.m_base = m_base + m_pos;
        c.m_pos = 0;
        c.m_end = n;
        m_pos += n;
        return c;
    }
    std::span<const uint8_t> Rest() { return Bytes(remaining(), "rest"); }

    // Records a stop at the current offset (the first one wins).
    void Fail(const std::string& reason) {
        if (ok()) {
            *m_stop = Stop{offset(), reason};
        }
    }

private:
    bool Need(size_t n, const char* what) {
        if (!ok()) {
            return false;
        }
        if (m_end - m_pos < n) {
            Fail(std::string(what) + ": needs " + std::to_string(n) + " bytes, " +
                 std::to_string(m_end - m_pos) + " left");
            return false;
        }
        return true;
    }
    uint64_t Read(size_t n, const char* what) {
        if (!Need(n, what)) {
            return 0;
        }
        uint64_t v = 0;
        for (size_t i = 0; i < n; ++i) {
            v = (v << 8) | m_p[m_pos + i];
        }
        m_pos += n;
        return v;
    }

    const uint8_t* m_p;
    size_t m_end;
    size_t m_pos = 0;
    size_t m_base = 0;
    std::optional<Stop>* m_stop;
};

} // namespace quenlix::si
