#include "tables/section.h"

#include "baseclasses/allocation.h"

#include <stdint.h>
#include <string.h>

namespace {
// Slicing-by-8 tables for polynomial 0x04C11DB7, most significant bit first: row 0 is the standard
// byte table, row k advances a byte's remainder through k more zero bytes, so that eight bytes are
// folded in with eight independent look-ups instead of eight dependent ones.
struct CrcTables {
    uint32_t rows[8][256];
    constexpr CrcTables() : rows() {
        for (uint32_t i = 0; i < 256; ++i) {
            uint32_t r = i << 24;
            for (int bit = 0; bit < 8; ++bit) {
                r = (r & 0x80000000u) ? (r << 1) ^ 0x04C11DB7u : (r << 1);
            }
            rows[0][i] = r;
        }
        for (int k = 1; k < 8; ++k) {
            for (uint32_t i = 0; i < 256; ++i) {
                const uint32_t prev = rows[k - 1][i];
                rows[k][i] = (prev << 8) ^ rows[0][prev >> 24];
            }
        }
    }
};
constexpr CrcTables kCrc;
static_assert(kCrc.rows[0][1] == 0x04C11DB7u);

inline uint32_t LoadBigEndian32(const BYTE* p) {
    return (static_cast<uint32_t>(p[0]) << 24) | (static_cast<uint32_t>(p[1]) << 16) |
           (static_cast<uint32_t>(p[2]) << 8) | p[3];
}
} // namespace

DWORD ComputeSectionCrc(const BYTE* bytes, DWORD length) {
    uint32_t crc = 0xFFFFFFFFu;
    const BYTE* p = bytes;
    size_t left = length;
    for (; left >= 8; left -= 8, p += 8) {
        const uint32_t a = crc ^ LoadBigEndian32(p);
        const uint32_t b = LoadBigEndian32(p + 4);
        crc = kCrc.rows[7][a >> 24] ^ kCrc.rows[6][(a >> 16) & 0xFF] ^ kCrc.rows[5][(a >> 8) & 0xFF] ^
              kCrc.rows[4][a & 0xFF] ^ kCrc.rows[3][b >> 24] ^ kCrc.rows[2][(b >> 16) & 0xFF] ^
              kCrc.rows[1][(b >> 8) & 0xFF] ^ kCrc.rows[0][b & 0xFF];
    }
    for (; left > 0; --left, ++p) {
        crc = (crc << 8) ^ kCrc.rows[0][(crc >> 24) ^ *p];
    }
    return crc;
}

BOOL SameAsHeld(const StoredSection* held, DWORD length, const BYTE* bytes) {
    return held != nullptr && held->bytes != nullptr && held->length == length &&
                   memcmp(held->bytes, bytes, length) == 0
               ? TRUE
               : FALSE;
}

BOOL CheckSectionCrc(const BYTE* bytes, DWORD length) {
    return ComputeSectionCrc(bytes, length) == 0 ? TRUE : FALSE;
}

BOOL CheckCommonHeader(const BYTE* bytes, DWORD length, DWORD maxSectionLength, DWORD minSectionLength) {
    if (length == 0 || bytes == nullptr) {
        return FALSE;
    }
    if (length < 3 || SectionLength(bytes) > maxSectionLength || SectionLength(bytes) < minSectionLength) {
        return FALSE;
    }
    if (length < kSectionHeaderBytes || SectionLastNumber(bytes) < SectionNumber(bytes)) {
        return FALSE;
    }
    return SectionSyntaxIndicator(bytes) == 1 ? TRUE : FALSE;
}

HRESULT FreeSection(StoredSection** section) {
    if (section == nullptr || *section == nullptr) {
        return E_INVALIDARG;
    }
    MemFree((*section)->bytes);
    MemFree(*section);
    *section = nullptr;
    return S_OK;
}

HRESULT CopySection(const StoredSection* held, DWORD sectionNumber, StoredSection** out) {
    auto* copy = static_cast<StoredSection*>(MemAllocZero(sizeof(StoredSection)));
    *out = copy;
    if (copy == nullptr) {
        return E_OUTOFMEMORY;
    }
    auto* block = static_cast<BYTE*>(MemAlloc(held->length));
    if (block == nullptr) {
        MemFree(copy);
        *out = nullptr;
        return E_OUTOFMEMORY;
    }
    memcpy(block, held->bytes, held->length);
    copy->bytes = block;
    copy->length = held->length;
    copy->section_number = sectionNumber;
    return S_OK;
}
