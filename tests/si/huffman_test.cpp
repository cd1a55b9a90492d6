// The ATSC order-1 Huffman decoder: each character's tree is the prior character's; what follows an
// escape or a character above 127 is sent as 8 bits, and an escaped character below 128 picks the tree
// of the next one.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "si/Huffman.h"

namespace quenlix::si {
namespace {

using Bytes = std::vector<uint8_t>;

// Every context uses the tree at 256 (0 -> 'a', 10 -> end, 11 -> escape) except 'b', whose tree at 260
// reads 0 -> 'c', 1 -> end.
Bytes TwoTreeTable() {
    Bytes table(256, 0);
    for (int i = 0; i < 128; ++i) {
        table[i * 2] = 0x01;
        table[i * 2 + 1] = i == 'b' ? 0x04 : 0x00;
    }
    table.insert(table.end(), {0x80 | 'a', 0x01, 0x80, 0x80 | 0x1B, 0x80 | 'c', 0x80});
    return table;
}

TEST(SiHuffman, EscapedAndHighCharactersFollowTheEscapeRules) {
    const Bytes table = TwoTreeTable();
    struct Case {
        const char* what;
        Bytes bits;
        bool ok;
        const char* out;
    } cases[] = {
        {"an escaped 'b' selects the tree of 'b'", {0xD8, 0x90}, true, "bc"},
        {"after a high character the next one is sent as is",
         {0xFA, 0x58, 0x90},
         true,
         "\xE9"
         "bc"},
        {"high characters in a row, then the terminator as is", {0xFA, 0x7F, 0x00, 0x00}, true, "\xE9\xFC"},
        {"the terminator as is ends the string", {0xFA, 0x40, 0x3F}, true, "\xE9"},
        {"the padding after a high character", {0xFA, 0x60}, true, "\xE9"},
        {"0x80 is a high character too",
         {0xE0, 0x10, 0x60},
         true,
         "\x80"
         "A"},
        {"the tree of the prior character: 0 0 10", {0x20}, true, "aa"},
        {"no end code: the bits run out", {0x00}, true, "aaaaaaaa"},
        {"an escape cut short", {0x3F}, false, "aa"},
        {"an escaped character cut short", {0xFA}, false, ""},
    };
    for (const Case& c : cases) {
        std::string out;
        EXPECT_EQ(HuffmanDecode(table, c.bits, out), c.ok) << c.what;
        EXPECT_EQ(out, c.out) << c.what;
    }
    // A tree that points back at itself is refused, not followed for ever; so is a table too short.
    Bytes loop = table;
    loop[256 + 1] = 0x00;
    std::string out;
    EXPECT_FALSE(HuffmanDecode(loop, Bytes{0x40}, out));
    EXPECT_FALSE(HuffmanDecode(Bytes(10, 0), Bytes{0x00}, out));
}

TEST(SiHuffman, ReadsTheDecodeTreeExampleOfA65) {
    // A/65 Table F2: the tree of its Figure F1 (a 0, b 10, c 1100, d 1101, e 1110, f 11110, g 111110,
    // escape 111111) as word offsets and leaves, here the tree of every context.
    Bytes table(256, 0);
    for (int i = 0; i < 128; ++i) {
        table[i * 2] = 0x01;
    }
    table.insert(table.end(), {225, 1, 226, 2, 3, 4, 227, 228, 229, 5, 230, 6, 231, 155});
    std::string out;
    EXPECT_TRUE(HuffmanDecode(table, Bytes{0x59, 0xBD, 0xEF, 0xBF, 0x5A}, out));
    EXPECT_EQ(out, "abcdefgZ");
}

} // namespace
} // namespace quenlix::si
