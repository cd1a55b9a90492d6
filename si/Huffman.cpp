#include "si/Huffman.h"

#include "si/Text.h"

namespace quenlix::si {

namespace {

class BitReader {
public:
    explicit BitReader(std::span<const uint8_t> b) : m_b(b) {}
    bool More() const { return m_pos < m_b.size() * 8; }
    int Bit() {
        const int v = (m_b[m_pos / 8] >> (7 - m_pos % 8)) & 1;
        ++m_pos;
        return v;
    }

private:
    std::span<const uint8_t> m_b;
    size_t m_pos = 0;
};

constexpr uint8_t kEnd = 0x00;
constexpr uint8_t kEscape = 0x1B;

} // namespace

bool HuffmanDecode(std::span<const uint8_t> table, std::span<const uint8_t> bits, std::string& out) {
    if (table.size() < 256) {
        return false;
    }
    BitReader in(bits);
    uint8_t prior = kEnd;
    // Set after an escape and after every character above 127 (which the trees cannot hold): the next
    // character is then sent as 8 bits as is.
    bool literal = false;
    bool escaped = false;
    while (in.More()) {
        uint8_t ch = 0;
        if (literal) {
            for (int i = 0; i < 8; ++i) {
                if (!in.More()) {
                    // An escape promises a whole character; after a high character these are padding.
                    return !escaped;
                }
                ch = static_cast<uint8_t>((ch << 1) | in.Bit());
            }
        } else {
            const size_t tree = (static_cast<size_t>(table[prior * 2]) << 8) | table[prior * 2 + 1];
            size_t node = 0;
            for (int depth = 0;; ++depth) {
                const size_t at = tree + node * 2;
                if (at + 1 >= table.size()) {
                    return false;
                }
                if (!in.More()) {
                    return true; // the padding bits of the last byte
                }
                const uint8_t branch = table[at + static_cast<size_t>(in.Bit())];
                if (branch & 0x80) {
                    ch = branch & 0x7F;
                    break;
                }
                // The root is no one's child, and a tree of at most 128 pairs is at most 128 deep:
                // anything else is a damaged table, refused rather than followed bit after bit.
                if (branch == 0 || depth >= 128) {
                    return false;
                }
                node = branch;
            }
            if (ch == kEscape) {
                literal = escaped = true;
                continue;
            }
        }
        if (ch == kEnd) {
            return true; // the terminator, in either form
        }
        out += static_cast<char>(ch);
        literal = ch >= 0x80;
        escaped = false;
        if (!literal) {
            prior = ch;
        }
    }
    return true;
}

bool AtscHuffmanDecode(uint8_t compression_type, std::span<const uint8_t> bytes, std::string& out) {
    const std::span<const uint8_t> table = AtscHuffmanTable(compression_type);
    return !table.empty() && HuffmanDecode(table, bytes, out);
}

} // namespace quenlix::si
