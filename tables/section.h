// The MPEG-2 long-form section header as the stores read it, the CRC-32 check and the release of a
// StoredSection record. Shared by every store and by the decoders.
#pragma once
#include <windows.h>
#include <quenlix.h>

// Header fields. Callers make sure the bytes they read lie within the section they were given.
inline DWORD SectionTableId(const BYTE* p) {
    return p[0];
}
inline DWORD SectionSyntaxIndicator(const BYTE* p) {
    return (p[1] >> 7) & 1;
}
inline DWORD SectionLength(const BYTE* p) {
    return ((static_cast<DWORD>(p[1]) << 8) | p[2]) & 0x0FFF;
}
inline DWORD SectionTableIdExtension(const BYTE* p) {
    return (static_cast<DWORD>(p[3]) << 8) | p[4];
}
inline DWORD SectionVersion(const BYTE* p) {
    return (p[5] >> 1) & 0x1F;
}
inline DWORD SectionCurrentNext(const BYTE* p) {
    return p[5] & 1;
}
inline DWORD SectionNumber(const BYTE* p) {
    return p[6];
}
inline DWORD SectionLastNumber(const BYTE* p) {
    return p[7];
}

// Bytes of the long-form header (table_id through last_section_number).
constexpr DWORD kSectionHeaderBytes = 8;

// The header checks every long-form section store runs first, in this order: length and bytes present;
// section_length at most maxSectionLength; section_length at least minSectionLength; last_section_number
// not below section_number; section_syntax_indicator 1. A sample too short to hold a field that a check
// reads fails that check. TRUE when all pass.
BOOL CheckCommonHeader(const BYTE* bytes, DWORD length, DWORD maxSectionLength, DWORD minSectionLength);

// CRC-32/MPEG-2 over all length bytes, the section's own CRC_32 included: TRUE when the register
// ends at zero.
BOOL CheckSectionCrc(const BYTE* bytes, DWORD length);

// The CRC-32/MPEG-2 register after length bytes, starting from 0xFFFFFFFF.
DWORD ComputeSectionCrc(const BYTE* bytes, DWORD length);

// TRUE when held (may be null) has exactly these length bytes. A store that only ever holds sections
// whose CRC_32 it checked may then skip the check: the held copy passed it with these very bytes.
BOOL SameAsHeld(const StoredSection* held, DWORD length, const BYTE* bytes);

// Releases a record and its bytes and nulls the holder's pointer. E_INVALIDARG when *section is null.
HRESULT FreeSection(StoredSection** section);

// Makes a fresh heap copy of a held record for a reader: a zero-filled record with the held bytes,
// length and the given section_number; pid is left 0 for the caller to stamp when its table copies it.
// E_OUTOFMEMORY with *out null when either allocation fails.
HRESULT CopySection(const StoredSection* held, DWORD sectionNumber, StoredSection** out);
