// Broadcast texts: one string per DVB character-table selector, ISO 6937's non-spacing diacritics, the
// control codes, ATSC multiple strings in every mode, and UTF-16 short names.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "si/Text.h"

using namespace quenlix::si;
using Bytes = std::vector<uint8_t>;

TEST(SiText, EveryDvbCharacterTable) {
    struct Case {
        Bytes in;
        const char* utf8;
    } cases[] = {
        // The default table, ISO 6937: diacritic prefixes compose with the letter after them.
        {{'M',  0xC8, 'a', 'd', 'c', 'h', 'e', 'n', ' ',  'f',
          0xC8, 'u',  'r', ' ', 'S', 't', 'r', 'a', 0xFB, 'e'},
         "Mädchen für Straße"},
        {{0xC1, 'a', 0xC2, 'E', 0xC3, 'o', 0xC4, 'n', 0xC5, 'a', 0xC6, 'g',
          0xC7, 'z', 0xCA, 'A', 0xCB, 'c', 0xCD, 'o', 0xCE, 'e', 0xCF, 's'},
         "àÉôñāğżÅçőęš"},
        {{0xC8, 'x', 0xC2}, "x\u0308\u0301"}, // no precomposed letter; a prefix with nothing after it
        {{0xA4, 0xA6, 0xD4, 0xE0, 0xE8, 0xF0, 0xFF, 0xC0, 0xC9, 'A'}, "$#™\u2126Łĸ\u00AD\uFFFD\uFFFDA"},
        // 0x01..0x0B: ISO 8859-5 to -15.
        {{0x01, 0xBF, 0xE0, 0xD8, 0xD2, 0xD5, 0xE2, 0x2C, 0x20, 0xDC, 0xD8, 0xE0}, "Привет, мир"},
        {{0x02, 0xE5, 0xD1, 0xCD, 0xC8, 0xC7}, "مرحبا"},
        {{0x03, 0xCA, 0xE1, 0xEB, 0xE7, 0xEC, 0xDD, 0xF1, 0xE1, 0x20, 0xEA, 0xFC, 0xF3, 0xEC, 0xE5},
         "Καλημέρα κόσμε"},
        {{0x04, 0xF9, 0xEC, 0xE5, 0xED, 0x20, 0xF2, 0xE5, 0xEC, 0xED}, "שלום עולם"},
        {{0x05, 0x47, 0xFC, 0x6E, 0x61, 0x79, 0x64, 0xFD, 0x6E, 0x20, 0x64, 0xFC, 0x6E, 0x79, 0x61},
         "Günaydın dünya"},
        {{0x06, 0xDE, 0xF3, 0x72, 0xF0, 0x75, 0x72, 0x20, 0xBF}, "Þórður ŋ"},
        {{0x07, 0xCA, 0xC7, 0xD1, 0xCA, 0xB4, 0xD5}, "สวัสดี"},
        {{0x09, 0xC0, 0xFE, 0x75, 0x6F, 0x6C, 0x61, 0x73, 0x20, 0xFB, 0x73, 0x61, 0x69}, "Ąžuolas ūsai"},
        {{0x0A, 0xD0, 0x79, 0x6E, 0x20, 0xFE, 0x20, 0xB8}, "Ŵyn ŷ ẁ"},
        {{0x0B, 0x4C, 0x27, 0xE9, 0x74, 0xE9, 0x20, 0x6F, 0xF9, 0x20, 0x6C, 0x27, 0xBD, 0x75,
          0x76, 0x72, 0x65, 0x20, 0x63, 0x6F, 0xFB, 0x74, 0x65, 0x20, 0x35, 0x20, 0xA4},
         "L'été où l'œuvre coûte 5 €"},
        // 0x10 with the part number in two bytes.
        {{0x10, 0x00, 0x02, 0x5A, 0x61, 0xBF, 0xF3, 0xB3, 0xE6, 0x20,
          0x67, 0xEA, 0xB6, 0x6C, 0xB1, 0x20, 0x6A, 0x61, 0xBC, 0xF1},
         "Zażółć gęślą jaźń"},
        {{0x10, 0x00, 0x01, 0xC7, 0x61, 0x20, 0x76, 0x61}, "Ça va"},
        // 0x11 UCS-2, 0x12 KS X 1001, 0x13 GB 2312, 0x14 Big5, 0x15 UTF-8.
        {{0x11, 0x03, 0x9A, 0x03, 0xB1, 0x03, 0xBB, 0x03, 0xB7, 0x03, 0xBC, 0x03, 0xAD, 0x03, 0xC1, 0x03,
          0xB1},
         "Καλημέρα"},
        {{0x12, 0xBE, 0xC8, 0xB3, 0xE7, 0xC7, 0xCF, 0xBC, 0xBC, 0xBF, 0xE4}, "안녕하세요"},
        {{0x13, 0xC4, 0xE3, 0xBA, 0xC3, 0xCA, 0xC0, 0xBD, 0xE7}, "你好世界"},
        {{0x14, 0xB9, 0x71, 0xB5, 0xF8, 0xB8, 0x60, 0xA5, 0xD8}, "電視節目"},
        {{0x15, 'G', 'r', 0xC3, 0xBC, 0xC3, 0x9F, 0xF0, 0x9F, 0x99, 0x82}, "Grüß🙂"},
        // Bytes with no character are marked, not dropped silently or passed on broken.
        {{0x15, 'a', 0xFF, 'b', 0xC3, 'c', 0xE2, 0x82}, "a\uFFFDb\uFFFDc\uFFFD"},
        {{0x15, 0xC0, 0xAF, 0xED, 0xA0, 0x80}, "\uFFFD\uFFFD\uFFFD"}, // overlong '/', a surrogate
        {{0x12, 0xBE, 0xC8, 0xFF, 0xBE}, "안\uFFFD\uFFFD"},
        // Later editions of the tables, and what GB 2312 leaves out though GBK has it.
        {{0x03, 0xA4, 0xA1, 0xAA}, "€‘ͺ"},
        {{0x12, 0xA2, 0xE8}, "㉾"},
        {{0x13, 0xA1, 0xA4, 0xA2, 0xA1}, "・\uFFFD\uFFFD"},
        {{0x11, 0xD8, 0x00, 0x00}, "\uFFFD\uFFFD"},
        // Reserved selectors are named rather than guessed.
        {{0x0C, 'a'}, "[character table 0x0C]"},
        {{0x10, 0x00, 0x0C, 'a'}, "[character table 0x10]"},
        {{0x10, 0x00}, "[character table 0x10]"},
        {{}, ""},
        {{0x15}, ""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(DvbText(c.in), c.utf8);
    }
}

TEST(SiText, ControlCodesInEveryForm) {
    struct Case {
        Bytes in;
        const char* utf8;
    } cases[] = {
        {{'a', 0x86, 'b', 0x87, 'c', 0x8A, 'd', 0x00, 0x1B}, "abc\nd"},
        {{0x05, 'a', 0x86, 0xFC, 0x87, 0x8A, 'b'}, "aü\nb"},
        {{0x11, 0xE0, 0x86, 0x00, 'a', 0xE0, 0x87, 0xE0, 0x8A, 0x00, 'b'}, "a\nb"},
        {{0x15, 0xC2, 0x86, 'a', 0xC2, 0x87, 0xC2, 0x8A, 'b'}, "a\nb"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(DvbText(c.in), c.utf8);
    }
}

namespace {

Bytes Segment(uint8_t compression, uint8_t mode, const Bytes& b) {
    Bytes s = {compression, mode, static_cast<uint8_t>(b.size())};
    s.insert(s.end(), b.begin(), b.end());
    return s;
}

std::vector<AtscString> Read(const Bytes& b, std::optional<Stop>* stop) {
    Cursor c(b.data(), b.size(), stop);
    return ReadMultipleString(c);
}

} // namespace

TEST(SiText, AtscMultipleStrings) {
    // Two languages; the first in two segments of different modes, the second in UTF-16 with a surrogate
    // pair.
    Bytes mss = {2, 'e', 'n', 'g', 2};
    for (const Bytes& seg : {Segment(0, 0x00, {'N', 'e', 'w', 's', ' '}), Segment(0, 0x03, {0x9A, 0xB1})}) {
        mss.insert(mss.end(), seg.begin(), seg.end());
    }
    mss.insert(mss.end(), {'s', 'p', 'a', 1});
    const Bytes utf16 = Segment(0, 0x3F, {0x00, 0xF1, 0xD8, 0x3D, 0xDE, 0x00});
    mss.insert(mss.end(), utf16.begin(), utf16.end());
    std::optional<Stop> stop;
    auto strings = Read(mss, &stop);
    ASSERT_FALSE(stop);
    ASSERT_EQ(strings.size(), 2u);
    EXPECT_EQ(strings[0].language, "eng");
    EXPECT_EQ(strings[0].text, "News Κα");
    EXPECT_EQ(strings[0].segments.size(), 2u);
    EXPECT_EQ(strings[1].language, "spa");
    EXPECT_EQ(strings[1].text, "ñ😀");

    // Modes this decoder has no table for say so; the rest of the string is still read.
    Bytes odd = {1, 'k', 'o', 'r', 2};
    for (const Bytes& seg : {Segment(0, 0x3E, {1, 2}), Segment(0, 0x00, {'o', 'k'})}) {
        odd.insert(odd.end(), seg.begin(), seg.end());
    }
    stop.reset();
    strings = Read(odd, &stop);
    ASSERT_EQ(strings.size(), 1u);
    EXPECT_EQ(strings[0].text, "[mode 0x3E]ok");
    EXPECT_FALSE(strings[0].segments[0].decoded);

    // Cut anywhere, the structure stops where its bytes end and keeps the strings read before.
    for (size_t n = 0; n < mss.size(); ++n) {
        std::optional<Stop> cut;
        Bytes part(mss.begin(), mss.begin() + static_cast<long>(n));
        auto got = Read(part, &cut);
        ASSERT_TRUE(cut) << n;
        EXPECT_LE(cut->offset, n) << cut->reason;
        EXPECT_LE(got.size(), 2u);
    }
}

TEST(SiText, Utf16ShortNames) {
    EXPECT_EQ(Utf16BeText(Bytes{0, 'K', 0, 'Q', 0, 'E', 0, 'D', 0, 0, 0, 0, 0, 0}), "KQED");
    EXPECT_EQ(Utf16BeText(Bytes{0x00, 0xE9, 0xD8, 0x00}), "é\uFFFD");
    EXPECT_EQ(Utf16BeText(Bytes{0x00, 'A', 0x00}), "A");
}
