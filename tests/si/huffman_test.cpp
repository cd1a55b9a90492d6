// The ATSC order-1 Huffman decoder: each character's tree is the prior character's; what follows an
// escape or a character above 127 is sent as 8 bits, and an escaped character below 128 picks the tree
// of the next one. The two decode tables of A/65 are checked tree by tree and through an encoder built
// from their own codes.
#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "si/Cursor.h"
#include "si/Huffman.h"
#include "si/Text.h"

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

// The codes of one context of a decode table, walked from its root. A pair reached twice or never, an
// index outside the tree, or a character with two codes is reported: any of them means a damaged byte.
std::map<uint8_t, std::string> CodesOf(std::span<const uint8_t> table, int context) {
    const auto offset = [&](int c) -> size_t {
        return c < 128 ? static_cast<size_t>(table[c * 2] << 8 | table[c * 2 + 1]) : table.size();
    };
    const size_t start = offset(context);
    const size_t pairs = (offset(context + 1) - start) / 2;
    std::vector<int> reached(pairs, 0);
    std::map<uint8_t, std::string> codes;
    std::vector<std::pair<size_t, std::string>> todo{{0, ""}};
    while (!todo.empty()) {
        auto [node, prefix] = todo.back();
        todo.pop_back();
        if (node >= pairs || reached[node]++ != 0) {
            ADD_FAILURE() << "context " << context << ": pair " << node << " of " << pairs;
            continue;
        }
        for (int bit = 0; bit < 2; ++bit) {
            const uint8_t b = table[start + node * 2 + bit];
            const std::string code = prefix + char('0' + bit);
            if (!(b & 0x80)) {
                todo.emplace_back(b, code);
            } else if (!codes.emplace(b & 0x7F, code).second && pairs > 1) {
                ADD_FAILURE() << "context " << context << ": character " << (b & 0x7F) << " twice";
            }
        }
    }
    for (size_t i = 0; i < pairs; ++i) {
        EXPECT_EQ(reached[i], 1) << "context " << context << ": pair " << i;
    }
    return codes;
}

// What a broadcaster's encoder sends: each character in its context's code, or the escape and 8 bits
// when the context has none, the character after one above 127 as 8 bits, and the terminator last.
Bytes Encode(std::span<const uint8_t> table, const std::string& text) {
    std::vector<std::map<uint8_t, std::string>> contexts;
    for (int c = 0; c < 128; ++c) {
        contexts.push_back(CodesOf(table, c));
    }
    std::string bits;
    const auto byte = [&](uint8_t ch) {
        for (int i = 7; i >= 0; --i) {
            bits += char('0' + ((ch >> i) & 1));
        }
    };
    uint8_t prior = 0;
    bool literal = false;
    std::string all = text;
    all += '\0';
    for (const char c : all) {
        const auto ch = static_cast<uint8_t>(c);
        const auto& codes = contexts[prior];
        if (literal) {
            byte(ch);
        } else if (ch < 0x80 && codes.count(ch)) {
            bits += codes.at(ch);
        } else {
            bits += codes.at(0x1B);
            byte(ch);
        }
        literal = ch >= 0x80;
        prior = literal ? prior : ch;
    }
    Bytes out((bits.size() + 7) / 8, 0);
    for (size_t i = 0; i < bits.size(); ++i) {
        out[i / 8] |= static_cast<uint8_t>((bits[i] - '0') << (7 - i % 8));
    }
    return out;
}

TEST(SiHuffman, EveryTreeOfTheA65TablesIsWholeAndCanEscape) {
    for (const uint8_t type : {1, 2}) {
        const auto table = AtscHuffmanTable(type);
        ASSERT_GE(table.size(), 256u);
        for (int c = 0; c < 128; ++c) {
            EXPECT_TRUE(CodesOf(table, c).count(0x1B)) << "type " << int(type) << " context " << c;
        }
    }
    EXPECT_TRUE(AtscHuffmanTable(0).empty());
    EXPECT_TRUE(AtscHuffmanTable(3).empty());
}

TEST(SiHuffman, DecodesTitlesAndDescriptionsOfTheA65Tables) {
    // Sent as a broadcaster's encoder sends them: "Café Zürich" needs the escape, and the character after
    // each accented one goes as 8 bits.
    const struct {
        uint8_t type;
        Bytes bits;
        const char* text;
    } known[] = {
        {1, {0x43, 0xE9, 0xB7, 0x66, 0x81}, "The Late Show"},
        {1, {0x66, 0x2B, 0x66, 0x61, 0x36, 0xC0}, "Jeopardy!"},
        {1, {0xB9, 0x5B, 0xE7, 0xA4, 0x80, 0x0C, 0xFC, 0x72, 0x5F, 0x7A}, "Caf\xE9 Z\xFCrich"},
        {2,
         {0x22, 0xFF, 0x1F, 0xF5, 0x7C, 0xC7, 0x97, 0x28, 0x68, 0xF3, 0xDE, 0x82, 0x4C, 0x20, 0xDC, 0xE9,
          0x4A, 0x7D, 0x1C},
         "News at 11. Weather & traffic."},
    };
    for (const auto& k : known) {
        std::string out;
        EXPECT_TRUE(AtscHuffmanDecode(k.type, k.bits, out)) << k.text;
        EXPECT_EQ(out, k.text);
    }
    // In a multiple string, a compressed segment is joined to a plain one and read as UTF-8.
    Bytes mss{1, 'e', 'n', 'g', 2, 1, 0, 10};
    mss.insert(mss.end(), known[2].bits.begin(), known[2].bits.end());
    mss.insert(mss.end(), {0, 0, 5, ' ', '(', 'H', 'D', ')'});
    std::optional<Stop> stop;
    Cursor c(mss.data(), mss.size(), &stop);
    const auto strings = ReadMultipleString(c);
    EXPECT_FALSE(stop);
    ASSERT_EQ(strings.size(), 1u);
    EXPECT_TRUE(strings[0].segments[0].decoded);
    EXPECT_EQ(strings[0].text, "Café Zürich (HD)");
    // Every printable character after every printable character, through every tree.
    std::string all;
    for (char a = ' '; a <= '~'; ++a) {
        for (char b = ' '; b <= '~'; ++b) {
            all += {a, b};
        }
    }
    for (const uint8_t type : {1, 2}) {
        std::string out;
        EXPECT_TRUE(AtscHuffmanDecode(type, Encode(AtscHuffmanTable(type), all), out));
        EXPECT_EQ(out, all) << "type " << int(type);
    }
}

} // namespace
} // namespace quenlix::si
