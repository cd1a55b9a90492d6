// The order-1 Huffman decoder of ATSC texts, over a decode table in the layout of A/65 Annex C: 128
// big-endian 16-bit byte offsets (one tree per preceding character), then each tree as pairs of bytes
// (branch 0, branch 1), its root first; a byte with its top bit set is a leaf holding a character,
// otherwise the index of another pair within the same tree. Character 0 ends the string, 27 (ESC) introduces
// one 8-bit character sent as is.
#pragma once
#include <cstdint>
#include <span>
#include <string>

namespace quenlix::si {

bool HuffmanDecode(std::span<const uint8_t> table, std::span<const uint8_t> bits, std::string& out);

// The A/65 decode table for compression_type 1 (titles) or 2 (descriptions); empty for any other.
std::span<const uint8_t> AtscHuffmanTable(uint8_t compression_type);

} // namespace quenlix::si
