#include "tables/section.h"

#include "baseclasses/allocation.h"

#include <string.h>

namespace {
// The standard table for polynomial 0x04C11DB7, most significant bit first.
struct CrcTable {
    DWORD entries[256];
    constexpr CrcTable() : entries() {
        for (DWORD i = 0; i < 256; ++i) {
            DWORD r = i << 24;
            for (int bit = 0; bit < 8; ++bit) {
                r = (r & 0x80000000) ? (r << 1) ^ 0x04C11DB7 : (r << 1);
            }
            entries[i] = r;
        }
    }
};
constexpr CrcTable kCrcTable;
static_assert(kCrcTable.entries[1] == 0x04C11DB7);
} // namespace

DWORD ComputeSectionCrc(const BYTE* bytes, DWORD length) {
    DWORD crc = 0xFFFFFFFF;
    for (DWORD i = 0; i < length; ++i) {
        crc = (crc << 8) ^ kCrcTable.entries[((crc >> 24) ^ bytes[i]) & 0xFF];
    }
    return crc;
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
