// Broadcast texts to UTF-8: DVB strings with their character-table selector, ATSC multiple strings with
// their modes and Huffman compression, and the UTF-16 short names of the virtual channel tables.
#pragma once
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "si/Cursor.h"

namespace quenlix::si {

// The character table a DVB string selects with its first bytes.
struct DvbCharset {
    enum class Table { Iso6937, Iso8859, Ucs2, KsX1001, Gb2312, Big5, Utf8, Reserved };
    Table table = Table::Iso6937;
    int part = 0;      // ISO 8859 part number; the selector byte for Reserved
    size_t prefix = 0; // bytes the selector takes
};
DvbCharset SelectDvbCharset(std::span<const uint8_t> text);

// A DVB string (selector included) as UTF-8. Emphasis marks are dropped, CR/LF becomes '\n', other
// control codes are dropped, bytes with no character become U+FFFD.
std::string DvbText(std::span<const uint8_t> text);

// ISO 8859-n, KS X 1001 (EUC-KR), GB 2312 (EUC-CN) or Big5 bytes to UTF-8 through the platform's converter.
// Answers false when the platform has no such table (out then holds the bytes read as ISO 8859-1).
bool LegacyToUtf8(DvbCharset::Table table, int part, std::span<const uint8_t> bytes, std::string& out);

void AppendUtf8(std::string& out, uint32_t code_point);
// An ISO 639-2 language (or ISO 3166 country) code: three ISO 8859-1 characters, whatever the bytes are.
std::string LanguageCode(std::span<const uint8_t> bytes);
// Big-endian UTF-16 (pairs joined, lone surrogates replaced) to UTF-8, stopping at the first NUL.
std::string Utf16BeText(std::span<const uint8_t> bytes);

// One segment of an ATSC multiple_string_structure.
struct AtscSegment {
    uint8_t compression_type = 0;
    uint8_t mode = 0;
    std::vector<uint8_t> bytes;
    std::string text;     // UTF-8
    bool decoded = false; // false: text says why ("[mode 0x3E]")
};
struct AtscString {
    std::string language; // ISO 639-2 code
    std::vector<AtscSegment> segments;
    std::string text; // the segments joined
};
// Reads a whole multiple_string_structure from c (which may hold more after it).
std::vector<AtscString> ReadMultipleString(Cursor& c);
// The first string's text (the one receivers show), or "".
std::string FirstText(const std::vector<AtscString>& strings);

// A/65 Annex C Huffman decoding; compression_type 1 (titles) or 2 (descriptions). Answers false on a code
// the table does not hold or an unknown compression_type; out holds the characters decoded before it.
bool AtscHuffmanDecode(uint8_t compression_type, std::span<const uint8_t> bytes, std::string& out);

} // namespace quenlix::si
