#include "tables/MgtStore.h"

#include "tables/section.h"

namespace {
constexpr DWORD kMgtTableId = 0xC7;
constexpr DWORD kPsipBasePid = 0x1FFB;

// private_indicator, bit 6 of byte 1: 1 in every ATSC PSIP section.
DWORD SectionPrivateIndicator(const BYTE* p) {
    return (p[1] >> 6) & 1;
}
} // namespace

HRESULT MgtStore::AddSection(DWORD length, const BYTE* bytes) {
    if (!CheckCommonHeader(bytes, length, 4093, 3)) {
        return E_INVALIDARG;
    }
    if (SectionLength(bytes) < 14 || SectionPrivateIndicator(bytes) != 1 ||
        SectionTableIdExtension(bytes) != 0 || SectionCurrentNext(bytes) != 1 || SectionNumber(bytes) != 0 ||
        SectionLastNumber(bytes) != 0 || SectionTableId(bytes) != kMgtTableId ||
        (!SameAsHeld(&Held(), length, bytes) && !CheckSectionCrc(bytes, length))) {
        return E_INVALIDARG;
    }
    // The version alone tells a new MGT from a repeat; the pin remaps its table PIDs only on S_OK.
    const StoredSection& held = Held();
    if (held.bytes != nullptr && SectionVersion(held.bytes) == SectionVersion(bytes)) {
        return S_FALSE;
    }
    return TakeSection(kPsipBasePid, length, bytes);
}
