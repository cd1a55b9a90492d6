#include "si/Text.h"

#include "si/Huffman.h"

#include <cstring>

#ifdef _WIN32
#include <windows.h>
#else
#include <iconv.h>
#include <cerrno>
#include <map>
#endif

namespace quenlix::si {

namespace {

constexpr uint32_t kReplacement = 0xFFFD;

// ISO/IEC 6937 0xA0..0xFF; 0 marks the non-spacing diacritics (0xC1..0xCF) and unassigned positions.
constexpr uint16_t kIso6937High[96] = {
    0x00A0, 0x00A1, 0x00A2, 0x00A3, 0x0024, 0x00A5, 0x0023, 0x00A7, // A0
    0x00A4, 0x2018, 0x201C, 0x00AB, 0x2190, 0x2191, 0x2192, 0x2193, // A8
    0x00B0, 0x00B1, 0x00B2, 0x00B3, 0x00D7, 0x00B5, 0x00B6, 0x00B7, // B0
    0x00F7, 0x2019, 0x201D, 0x00BB, 0x00BC, 0x00BD, 0x00BE, 0x00BF, // B8
    0,      0,      0,      0,      0,      0,      0,      0,      // C0
    0,      0,      0,      0,      0,      0,      0,      0,      // C8
    0x2015, 0x00B9, 0x00AE, 0x00A9, 0x2122, 0x266A, 0x00AC, 0x00A6, // D0
    0,      0,      0,      0,      0x215B, 0x215C, 0x215D, 0x215E, // D8
    0x2126, 0x00C6, 0x0110, 0x00AA, 0x0126, 0,      0x0132, 0x013F, // E0
    0x0141, 0x00D8, 0x0152, 0x00BA, 0x00DE, 0x0166, 0x014A, 0x0149, // E8
    0x0138, 0x00E6, 0x0111, 0x00F0, 0x0127, 0x0131, 0x0133, 0x0140, // F0
    0x0142, 0x00F8, 0x0153, 0x00DF, 0x00FE, 0x0167, 0x014B, 0x00AD, // F8
};

// The combining mark of each diacritic prefix 0xC1..0xCF (0: none assigned).
constexpr uint16_t kDiacriticMark[15] = {0x0300, 0x0301, 0x0302, 0x0303, 0x0304, 0x0306, 0x0307, 0x0308,
                                         0,      0x030A, 0x0327, 0,      0x030B, 0x0328, 0x030C};

// Precomposed letters per diacritic: base letters and, in the same order, their code points.
struct Composition {
    const char* bases;
    const uint16_t* letters;
};
constexpr uint16_t kGrave[] = {0xC0, 0xC8, 0xCC,  0xD2,  0xD9,   0xE0,   0xE8,   0xEC,
                               0xF2, 0xF9, 0x1F8, 0x1F9, 0x1E80, 0x1E81, 0x1EF2, 0x1EF3};
constexpr uint16_t kAcute[] = {0xC1,  0xC9,  0xCD,  0xD3,  0xDA,  0xDD,  0xE1,   0xE9,  0xED,  0xF3,
                               0xFA,  0xFD,  0x106, 0x107, 0x139, 0x13A, 0x143,  0x144, 0x154, 0x155,
                               0x15A, 0x15B, 0x179, 0x17A, 0x1F4, 0x1F5, 0x1E82, 0x1E83};
constexpr uint16_t kCircumflex[] = {0xC2,  0xCA,  0xCE,  0xD4,  0xDB,  0xE2,  0xEA,  0xEE,
                                    0xF4,  0xFB,  0x108, 0x109, 0x11C, 0x11D, 0x124, 0x125,
                                    0x134, 0x135, 0x15C, 0x15D, 0x174, 0x175, 0x176, 0x177};
constexpr uint16_t kTilde[] = {0xC3, 0xD1, 0xD5, 0xE3, 0xF1, 0xF5, 0x128, 0x129, 0x168, 0x169};
constexpr uint16_t kMacron[] = {0x100, 0x101, 0x112, 0x113, 0x12A, 0x12B, 0x14C, 0x14D, 0x16A, 0x16B};
constexpr uint16_t kBreve[] = {0x102, 0x103, 0x11E, 0x11F, 0x16C, 0x16D,
                               0x114, 0x115, 0x12C, 0x12D, 0x14E, 0x14F};
constexpr uint16_t kDot[] = {0x10A, 0x10B, 0x116, 0x117, 0x120, 0x121, 0x130, 0x17B, 0x17C};
constexpr uint16_t kDiaeresis[] = {0xC4, 0xCB, 0xCF, 0xD6, 0xDC, 0xE4, 0xEB, 0xEF, 0xF6, 0xFC, 0xFF, 0x178};
constexpr uint16_t kRing[] = {0xC5, 0xE5, 0x16E, 0x16F};
constexpr uint16_t kCedilla[] = {0xC7,  0xE7,  0x122, 0x123, 0x136, 0x137, 0x13B, 0x13C,
                                 0x145, 0x146, 0x156, 0x157, 0x15E, 0x15F, 0x162, 0x163};
constexpr uint16_t kDoubleAcute[] = {0x150, 0x151, 0x170, 0x171};
constexpr uint16_t kOgonek[] = {0x104, 0x105, 0x118, 0x119, 0x12E, 0x12F, 0x172, 0x173};
constexpr uint16_t kCaron[] = {0x10C, 0x10D, 0x10E, 0x10F, 0x11A, 0x11B, 0x13D, 0x13E, 0x147,
                               0x148, 0x158, 0x159, 0x160, 0x161, 0x164, 0x165, 0x17D, 0x17E};
constexpr Composition kCompositions[15] = {
    {"AEIOUaeiouNnWwYy", kGrave},
    {"AEIOUYaeiouyCcLlNnRrSsZzGgWw", kAcute},
    {"AEIOUaeiouCcGgHhJjSsWwYy", kCircumflex},
    {"ANOanoIiUu", kTilde},
    {"AaEeIiOoUu", kMacron},
    {"AaGgUuEeIiOo", kBreve},
    {"CcEeGgIZz", kDot},
    {"AEIOUaeiouyY", kDiaeresis},
    {"", nullptr},
    {"AaUu", kRing},
    {"CcGgKkLlNnRrSsTt", kCedilla},
    {"", nullptr},
    {"OoUu", kDoubleAcute},
    {"AaEeIiUu", kOgonek},
    {"CcDdEeLlNnRrSsTtZz", kCaron},
};

// Appends a code point read from a DVB text, with the control codes of the character tables applied.
void Emit(std::string& out, uint32_t cp) {
    if (cp >= 0xE080 && cp <= 0xE09F) {
        cp -= 0xE000; // the two-byte forms of the control codes in UCS-2
    }
    if (cp == 0x8A) {
        out += '\n';
        return;
    }
    if ((cp < 0x20 && cp != '\n' && cp != '\t') || (cp >= 0x7F && cp <= 0x9F)) {
        return; // emphasis on/off and the rest carry no character
    }
    AppendUtf8(out, cp);
}

void Iso6937ToUtf8(std::span<const uint8_t> s, std::string& out) {
    for (size_t i = 0; i < s.size(); ++i) {
        const uint8_t b = s[i];
        if (b < 0xA0) {
            Emit(out, b);
            continue;
        }
        if (b >= 0xC1 && b <= 0xCF && kDiacriticMark[b - 0xC1] != 0) {
            const uint16_t mark = kDiacriticMark[b - 0xC1];
            if (i + 1 >= s.size() || s[i + 1] < 0x20 || s[i + 1] >= 0x7F) {
                Emit(out, mark); // a diacritic with no letter after it
                continue;
            }
            const uint8_t base = s[++i];
            const Composition& c = kCompositions[b - 0xC1];
            const char* at = strchr(c.bases, base);
            if (at != nullptr) {
                Emit(out, c.letters[at - c.bases]);
            } else {
                Emit(out, base);
                Emit(out, mark);
            }
            continue;
        }
        const uint16_t cp = kIso6937High[b - 0xA0];
        Emit(out, cp != 0 ? cp : kReplacement);
    }
}

// Re-reads UTF-8 (replacing broken sequences) so that control codes are applied to every table alike.
void Utf8ToUtf8(std::span<const uint8_t> s, std::string& out) {
    size_t i = 0;
    while (i < s.size()) {
        const uint8_t b = s[i];
        int need = 0;
        uint32_t cp = 0;
        if (b < 0x80) {
            Emit(out, b);
            ++i;
            continue;
        } else if (b >= 0xC2 && b <= 0xDF) {
            need = 1;
            cp = b & 0x1F;
        } else if (b >= 0xE0 && b <= 0xEF) {
            need = 2;
            cp = b & 0x0F;
        } else if (b >= 0xF0 && b <= 0xF4) {
            need = 3;
            cp = b & 0x07;
        } else {
            Emit(out, kReplacement);
            ++i;
            continue;
        }
        size_t j = i + 1;
        for (; j < s.size() && j <= i + need && (s[j] & 0xC0) == 0x80; ++j) {
            cp = (cp << 6) | (s[j] & 0x3F);
        }
        const bool whole = j == i + need + 1;
        const bool shortest = (need == 2 && cp >= 0x800) || (need == 3 && cp >= 0x10000) || need == 1;
        if (!whole || !shortest || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
            Emit(out, kReplacement);
            i = j > i + 1 ? j : i + 1;
            continue;
        }
        Emit(out, cp);
        i = j;
    }
}

void Ucs2ToUtf8(std::span<const uint8_t> s, std::string& out) {
    for (size_t i = 0; i + 1 < s.size(); i += 2) {
        const uint32_t u = (s[i] << 8) | s[i + 1];
        Emit(out, (u >= 0xD800 && u <= 0xDFFF) ? kReplacement : u); // UCS-2 has no surrogate pairs
    }
    if (s.size() % 2 != 0) {
        Emit(out, kReplacement);
    }
}

void Latin1ToUtf8(std::span<const uint8_t> s, std::string& out) {
    for (uint8_t b : s) {
        AppendUtf8(out, b);
    }
}

#ifdef _WIN32
// ISO 8859 parts with no Windows code page, 0xA0..0xFF; 0 marks a position with no character.
constexpr uint16_t kIso8859_10High[96] = {
    0x00A0, 0x0104, 0x0112, 0x0122, 0x012A, 0x0128, 0x0136, 0x00A7, // A0
    0x013B, 0x0110, 0x0160, 0x0166, 0x017D, 0x00AD, 0x016A, 0x014A, // A8
    0x00B0, 0x0105, 0x0113, 0x0123, 0x012B, 0x0129, 0x0137, 0x00B7, // B0
    0x013C, 0x0111, 0x0161, 0x0167, 0x017E, 0x2015, 0x016B, 0x014B, // B8
    0x0100, 0x00C1, 0x00C2, 0x00C3, 0x00C4, 0x00C5, 0x00C6, 0x012E, // C0
    0x010C, 0x00C9, 0x0118, 0x00CB, 0x0116, 0x00CD, 0x00CE, 0x00CF, // C8
    0x00D0, 0x0145, 0x014C, 0x00D3, 0x00D4, 0x00D5, 0x00D6, 0x0168, // D0
    0x00D8, 0x0172, 0x00DA, 0x00DB, 0x00DC, 0x00DD, 0x00DE, 0x00DF, // D8
    0x0101, 0x00E1, 0x00E2, 0x00E3, 0x00E4, 0x00E5, 0x00E6, 0x012F, // E0
    0x010D, 0x00E9, 0x0119, 0x00EB, 0x0117, 0x00ED, 0x00EE, 0x00EF, // E8
    0x00F0, 0x0146, 0x014D, 0x00F3, 0x00F4, 0x00F5, 0x00F6, 0x0169, // F0
    0x00F8, 0x0173, 0x00FA, 0x00FB, 0x00FC, 0x00FD, 0x00FE, 0x0138, // F8
};
constexpr uint16_t kIso8859_11High[96] = {
    0x00A0, 0x0E01, 0x0E02, 0x0E03, 0x0E04, 0x0E05, 0x0E06, 0x0E07, // A0
    0x0E08, 0x0E09, 0x0E0A, 0x0E0B, 0x0E0C, 0x0E0D, 0x0E0E, 0x0E0F, // A8
    0x0E10, 0x0E11, 0x0E12, 0x0E13, 0x0E14, 0x0E15, 0x0E16, 0x0E17, // B0
    0x0E18, 0x0E19, 0x0E1A, 0x0E1B, 0x0E1C, 0x0E1D, 0x0E1E, 0x0E1F, // B8
    0x0E20, 0x0E21, 0x0E22, 0x0E23, 0x0E24, 0x0E25, 0x0E26, 0x0E27, // C0
    0x0E28, 0x0E29, 0x0E2A, 0x0E2B, 0x0E2C, 0x0E2D, 0x0E2E, 0x0E2F, // C8
    0x0E30, 0x0E31, 0x0E32, 0x0E33, 0x0E34, 0x0E35, 0x0E36, 0x0E37, // D0
    0x0E38, 0x0E39, 0x0E3A, 0,      0,      0,      0,      0x0E3F, // D8
    0x0E40, 0x0E41, 0x0E42, 0x0E43, 0x0E44, 0x0E45, 0x0E46, 0x0E47, // E0
    0x0E48, 0x0E49, 0x0E4A, 0x0E4B, 0x0E4C, 0x0E4D, 0x0E4E, 0x0E4F, // E8
    0x0E50, 0x0E51, 0x0E52, 0x0E53, 0x0E54, 0x0E55, 0x0E56, 0x0E57, // F0
    0x0E58, 0x0E59, 0x0E5A, 0x0E5B, 0,      0,      0,      0,      // F8
};
constexpr uint16_t kIso8859_14High[96] = {
    0x00A0, 0x1E02, 0x1E03, 0x00A3, 0x010A, 0x010B, 0x1E0A, 0x00A7, // A0
    0x1E80, 0x00A9, 0x1E82, 0x1E0B, 0x1EF2, 0x00AD, 0x00AE, 0x0178, // A8
    0x1E1E, 0x1E1F, 0x0120, 0x0121, 0x1E40, 0x1E41, 0x00B6, 0x1E56, // B0
    0x1E81, 0x1E57, 0x1E83, 0x1E60, 0x1EF3, 0x1E84, 0x1E85, 0x1E61, // B8
    0x00C0, 0x00C1, 0x00C2, 0x00C3, 0x00C4, 0x00C5, 0x00C6, 0x00C7, // C0
    0x00C8, 0x00C9, 0x00CA, 0x00CB, 0x00CC, 0x00CD, 0x00CE, 0x00CF, // C8
    0x0174, 0x00D1, 0x00D2, 0x00D3, 0x00D4, 0x00D5, 0x00D6, 0x1E6A, // D0
    0x00D8, 0x00D9, 0x00DA, 0x00DB, 0x00DC, 0x00DD, 0x0176, 0x00DF, // D8
    0x00E0, 0x00E1, 0x00E2, 0x00E3, 0x00E4, 0x00E5, 0x00E6, 0x00E7, // E0
    0x00E8, 0x00E9, 0x00EA, 0x00EB, 0x00EC, 0x00ED, 0x00EE, 0x00EF, // E8
    0x0175, 0x00F1, 0x00F2, 0x00F3, 0x00F4, 0x00F5, 0x00F6, 0x1E6B, // F0
    0x00F8, 0x00F9, 0x00FA, 0x00FB, 0x00FC, 0x00FD, 0x0177, 0x00FF, // F8
};

const uint16_t* Iso8859High(int part) {
    return part == 10   ? kIso8859_10High
           : part == 11 ? kIso8859_11High
           : part == 14 ? kIso8859_14High
                        : nullptr;
}

// Where a Windows code page holds an older edition than iconv: ISO 8859-7:2003, ISO 8859-8:1999,
// the KS X 1001 postal code mark of 2002, and two punctuation marks of GB 2312.
struct Amendment {
    DvbCharset::Table table;
    int part;
    uint16_t code;
    uint16_t unicode;
};
constexpr Amendment kAmendments[] = {
    {DvbCharset::Table::Iso8859, 7, 0xA1, 0x2018},   {DvbCharset::Table::Iso8859, 7, 0xA2, 0x2019},
    {DvbCharset::Table::Iso8859, 7, 0xA4, 0x20AC},   {DvbCharset::Table::Iso8859, 7, 0xA5, 0x20AF},
    {DvbCharset::Table::Iso8859, 7, 0xAA, 0x037A},   {DvbCharset::Table::Iso8859, 8, 0xAF, 0x00AF},
    {DvbCharset::Table::Iso8859, 8, 0xFD, 0x200E},   {DvbCharset::Table::Iso8859, 8, 0xFE, 0x200F},
    {DvbCharset::Table::KsX1001, 0, 0xA2E8, 0x327E}, {DvbCharset::Table::Gb2312, 0, 0xA1A4, 0x30FB},
    {DvbCharset::Table::Gb2312, 0, 0xA1AA, 0x2015},
};

bool Amended(DvbCharset::Table table, int part, uint16_t code, std::wstring& w) {
    for (const Amendment& a : kAmendments) {
        if (a.table == table && (table != DvbCharset::Table::Iso8859 || a.part == part) && a.code == code) {
            w += static_cast<wchar_t>(a.unicode);
            return true;
        }
    }
    return false;
}

// Rows of GB 2312 that code page 936 (GBK) fills further: what GB 2312 itself assigns there.
bool InGb2312(uint8_t lead, uint8_t trail) {
    switch (lead) {
    case 0xA2:
        return (trail >= 0xB1 && trail <= 0xE2) || (trail >= 0xE5 && trail <= 0xEE) ||
               (trail >= 0xF1 && trail <= 0xFC);
    case 0xA6:
        return (trail >= 0xA1 && trail <= 0xB8) || (trail >= 0xC1 && trail <= 0xD8);
    case 0xA8:
        return (trail >= 0xA1 && trail <= 0xBA) || (trail >= 0xC5 && trail <= 0xE9);
    default:
        return true;
    }
}

// One character of code page cp, or false when the bytes hold none.
bool OneCharacter(UINT cp, bool euc, const uint8_t* p, int n, std::wstring& w) {
    wchar_t buf[2];
    const int wn = MultiByteToWideChar(cp, MB_ERR_INVALID_CHARS, reinterpret_cast<const char*>(p), n, buf, 2);
    if (wn <= 0) {
        return false;
    }
    // Characters in the private use area are the code page's own additions to the standard table.
    if (euc && wn == 1 && buf[0] >= 0xE000 && buf[0] <= 0xF8FF) {
        return false;
    }
    w.append(buf, static_cast<size_t>(wn));
    return true;
}
#endif

#ifndef _WIN32
const char* IconvName(DvbCharset::Table table, int part) {
    static const char* const k8859[] = {nullptr,      "ISO-8859-1",  "ISO-8859-2",  "ISO-8859-3",
                                        "ISO-8859-4", "ISO-8859-5",  "ISO-8859-6",  "ISO-8859-7",
                                        "ISO-8859-8", "ISO-8859-9",  "ISO-8859-10", "ISO-8859-11",
                                        nullptr,      "ISO-8859-13", "ISO-8859-14", "ISO-8859-15"};
    switch (table) {
    case DvbCharset::Table::Iso8859:
        return part >= 1 && part <= 15 ? k8859[part] : nullptr;
    case DvbCharset::Table::KsX1001:
        return "EUC-KR";
    case DvbCharset::Table::Gb2312:
        return "GB2312";
    case DvbCharset::Table::Big5:
        return "BIG5";
    default:
        return nullptr;
    }
}

// One converter per table and thread, opened on first use: iconv_open is far dearer than a conversion.
class IconvCache {
public:
    ~IconvCache() {
        for (auto& [name, cd] : m_open) {
            if (cd != reinterpret_cast<iconv_t>(-1)) {
                iconv_close(cd);
            }
        }
    }
    iconv_t Get(const char* name) {
        auto it = m_open.find(name);
        if (it == m_open.end()) {
            it = m_open.emplace(name, iconv_open("UTF-8", name)).first;
        }
        return it->second;
    }

private:
    std::map<std::string, iconv_t> m_open;
};
#endif

} // namespace

std::string LanguageCode(std::span<const uint8_t> bytes) {
    std::string out;
    Latin1ToUtf8(bytes, out);
    return out;
}

void AppendUtf8(std::string& out, uint32_t cp) {
    if (cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
        cp = kReplacement;
    }
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

bool LegacyToUtf8(DvbCharset::Table table, int part, std::span<const uint8_t> s, std::string& out) {
    if (table == DvbCharset::Table::Iso8859 && part == 1) {
        Latin1ToUtf8(s, out);
        return true;
    }
#ifdef _WIN32
    if (const uint16_t* high = table == DvbCharset::Table::Iso8859 ? Iso8859High(part) : nullptr) {
        for (uint8_t b : s) {
            AppendUtf8(out, b < 0xA0 ? b : high[b - 0xA0] != 0 ? high[b - 0xA0] : kReplacement);
        }
        return true;
    }
    UINT cp = 0;
    // The Windows code pages are supersets (UHC, GBK, Big5 with its user-defined rows) that would read
    // more than the broadcast tables hold: EUC has both bytes of a character in 0xA1..0xFE, Big5 its
    // first in 0xA1..0xF9.
    bool euc = false;
    switch (table) {
    case DvbCharset::Table::Iso8859:
        cp = (part >= 1 && part <= 15 && part != 12) ? 28590 + part : 0;
        break;
    case DvbCharset::Table::KsX1001:
        cp = 949;
        euc = true;
        break;
    case DvbCharset::Table::Gb2312:
        cp = 936;
        euc = true;
        break;
    case DvbCharset::Table::Big5:
        cp = 950;
        break;
    default:
        break;
    }
    if (cp == 0 || !IsValidCodePage(cp)) {
        Latin1ToUtf8(s, out);
        return false;
    }
    // Character by character, so that a byte with no character is marked and the rest still read,
    // as iconv does on other systems.
    std::wstring w;
    w.reserve(s.size());
    const bool doubleByte = table != DvbCharset::Table::Iso8859;
    for (size_t i = 0; i < s.size();) {
        const uint8_t b = s[i];
        bool ok = false;
        size_t n = 1;
        if (b < 0x80) {
            w += static_cast<wchar_t>(b);
            ok = true;
        } else if (!doubleByte) {
            ok = Amended(table, part, b, w) || OneCharacter(cp, false, &s[i], 1, w);
        } else if (b <= (table == DvbCharset::Table::KsX1001 ? 0x9F
                         : table == DvbCharset::Table::Big5  ? 0x80
                                                             : 0)) {
            w += static_cast<wchar_t>(b); // a C1 control, as iconv passes it
            ok = true;
        } else if (i + 1 < s.size() && b >= 0xA1 && b <= (euc ? 0xFE : 0xF9) && IsDBCSLeadByteEx(cp, b)) {
            n = 2;
            ok = (!euc || (s[i + 1] >= 0xA1 && s[i + 1] <= 0xFE)) &&
                 (table != DvbCharset::Table::Gb2312 || InGb2312(b, s[i + 1])) &&
                 (Amended(table, part, static_cast<uint16_t>(b << 8 | s[i + 1]), w) ||
                  OneCharacter(cp, euc, &s[i], 2, w));
        }
        if (ok) {
            i += n;
        } else {
            w += static_cast<wchar_t>(kReplacement);
            ++i;
        }
    }
    for (size_t i = 0; i < w.size(); ++i) {
        uint32_t u = static_cast<uint16_t>(w[i]);
        if (u >= 0xD800 && u <= 0xDBFF && i + 1 < w.size() && w[i + 1] >= 0xDC00 && w[i + 1] <= 0xDFFF) {
            u = 0x10000 + ((u - 0xD800) << 10) + (static_cast<uint16_t>(w[++i]) - 0xDC00);
        }
        AppendUtf8(out, u);
    }
    return true;
#else
    const char* name = IconvName(table, part);
    static thread_local IconvCache cache;
    iconv_t cd = name != nullptr ? cache.Get(name) : reinterpret_cast<iconv_t>(-1);
    if (cd == reinterpret_cast<iconv_t>(-1)) {
        Latin1ToUtf8(s, out);
        return false;
    }
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    char* in = const_cast<char*>(reinterpret_cast<const char*>(s.data()));
    size_t inLeft = s.size();
    char buf[1024];
    while (inLeft > 0) {
        char* o = buf;
        size_t oLeft = sizeof buf;
        const size_t r = iconv(cd, &in, &inLeft, &o, &oLeft);
        out.append(buf, static_cast<size_t>(o - buf));
        if (r == static_cast<size_t>(-1)) {
            if (errno == E2BIG) {
                continue;
            }
            // A byte with no character, or a character cut off at the end: mark it and go on.
            AppendUtf8(out, kReplacement);
            ++in;
            --inLeft;
            iconv(cd, nullptr, nullptr, nullptr, nullptr);
        }
    }
    return true;
#endif
}

DvbCharset SelectDvbCharset(std::span<const uint8_t> s) {
    DvbCharset cs;
    if (s.empty() || s[0] >= 0x20) {
        return cs;
    }
    const uint8_t b = s[0];
    cs.prefix = 1;
    if (b >= 0x01 && b <= 0x0B) {
        cs.table = DvbCharset::Table::Iso8859;
        cs.part = b + 4;
    } else if (b == 0x10) {
        cs.prefix = s.size() >= 3 ? 3 : s.size();
        const int part = s.size() >= 3 ? ((s[1] << 8) | s[2]) : 0;
        if (part >= 1 && part <= 15 && part != 12) {
            cs.table = DvbCharset::Table::Iso8859;
            cs.part = part;
        } else {
            cs.table = DvbCharset::Table::Reserved;
            cs.part = b;
        }
    } else if (b == 0x11) {
        cs.table = DvbCharset::Table::Ucs2;
    } else if (b == 0x12) {
        cs.table = DvbCharset::Table::KsX1001;
    } else if (b == 0x13) {
        cs.table = DvbCharset::Table::Gb2312;
    } else if (b == 0x14) {
        cs.table = DvbCharset::Table::Big5;
    } else if (b == 0x15) {
        cs.table = DvbCharset::Table::Utf8;
    } else if (b == 0x1F) {
        cs.prefix = s.size() >= 2 ? 2 : 1; // an encoding_type_id follows
        cs.table = DvbCharset::Table::Reserved;
        cs.part = b;
    } else {
        cs.table = DvbCharset::Table::Reserved;
        cs.part = b;
    }
    return cs;
}

std::string DvbText(std::span<const uint8_t> s) {
    const DvbCharset cs = SelectDvbCharset(s);
    const std::span<const uint8_t> body = s.subspan(cs.prefix);
    std::string out;
    out.reserve(body.size());
    switch (cs.table) {
    case DvbCharset::Table::Iso6937:
        Iso6937ToUtf8(body, out);
        break;
    case DvbCharset::Table::Ucs2:
        Ucs2ToUtf8(body, out);
        break;
    case DvbCharset::Table::Utf8:
        Utf8ToUtf8(body, out);
        break;
    case DvbCharset::Table::Reserved:
        // A table this decoder cannot name: say so rather than show a wrong text.
        out = "[character table 0x";
        out += "0123456789ABCDEF"[(cs.part >> 4) & 0xF];
        out += "0123456789ABCDEF"[cs.part & 0xF];
        out += "]";
        break;
    default: {
        std::string raw;
        LegacyToUtf8(cs.table, cs.part, body, raw);
        Utf8ToUtf8(std::span(reinterpret_cast<const uint8_t*>(raw.data()), raw.size()), out);
        break;
    }
    }
    return out;
}

std::string Utf16BeText(std::span<const uint8_t> s) {
    std::string out;
    for (size_t i = 0; i + 1 < s.size(); i += 2) {
        uint32_t u = (s[i] << 8) | s[i + 1];
        if (u == 0) {
            break;
        }
        if (u >= 0xD800 && u <= 0xDBFF && i + 3 < s.size()) {
            const uint32_t lo = (s[i + 2] << 8) | s[i + 3];
            if (lo >= 0xDC00 && lo <= 0xDFFF) {
                u = 0x10000 + ((u - 0xD800) << 10) + (lo - 0xDC00);
                i += 2;
            }
        }
        AppendUtf8(out, u);
    }
    return out;
}

namespace {

// One segment's bytes to UTF-8 under its mode: a page of 256 Unicode code points, or UTF-16.
bool SegmentText(uint8_t mode, std::span<const uint8_t> bytes, std::string& out) {
    const bool page = mode <= 0x06 || (mode >= 0x09 && mode <= 0x10) || (mode >= 0x20 && mode <= 0x27) ||
                      (mode >= 0x30 && mode <= 0x33);
    if (page) {
        for (uint8_t b : bytes) {
            AppendUtf8(out, (static_cast<uint32_t>(mode) << 8) | b);
        }
        return true;
    }
    if (mode == 0x3F) {
        out += Utf16BeText(bytes);
        return true;
    }
    char buf[32];
    snprintf(buf, sizeof buf, "[mode 0x%02X]", mode);
    out += buf;
    return false;
}

} // namespace

std::vector<AtscString> ReadMultipleString(Cursor& c) {
    std::vector<AtscString> strings;
    const unsigned count = c.U8("number_strings");
    for (unsigned i = 0; i < count && c.ok(); ++i) {
        AtscString s;
        s.language = LanguageCode(c.Bytes(3, "ISO_639_language_code"));
        const unsigned segments = c.U8("number_segments");
        for (unsigned j = 0; j < segments && c.ok(); ++j) {
            AtscSegment seg;
            seg.compression_type = c.U8("compression_type");
            seg.mode = c.U8("mode");
            const unsigned n = c.U8("number_bytes");
            auto bytes = c.Bytes(n, "compressed_string_byte");
            if (!c.ok()) {
                break;
            }
            seg.bytes.assign(bytes.begin(), bytes.end());
            if (seg.compression_type == 0) {
                seg.decoded = SegmentText(seg.mode, bytes, seg.text);
            } else if (seg.compression_type <= 2 && seg.mode == 0x00) {
                std::string chars;
                seg.decoded = AtscHuffmanDecode(seg.compression_type, bytes, chars);
                Latin1ToUtf8(std::span(reinterpret_cast<const uint8_t*>(chars.data()), chars.size()),
                             seg.text);
                if (!seg.decoded) {
                    seg.text += "[bad Huffman code]";
                }
            } else {
                char buf[48];
                snprintf(buf, sizeof buf, "[compression 0x%02X, mode 0x%02X]", seg.compression_type,
                         seg.mode);
                seg.text = buf;
            }
            s.text += seg.text;
            s.segments.push_back(std::move(seg));
        }
        strings.push_back(std::move(s));
    }
    return strings;
}

std::string FirstText(const std::vector<AtscString>& strings) {
    return strings.empty() ? std::string() : strings.front().text;
}

} // namespace quenlix::si
