#include "tables/SttStore.h"

#include "tables/section.h"

namespace {
constexpr DWORD kSttTableId = 0xCD;
constexpr DWORD kPsipBasePid = 0x1FFB;

// private_indicator, bit 6 of byte 1: 1 in every ATSC PSIP section.
DWORD SectionPrivateIndicator(const BYTE* p) {
    return (p[1] >> 6) & 1;
}
} // namespace

HRESULT SttStore::AddSection(DWORD length, const BYTE* bytes) {
    if (!CheckCommonHeader(bytes, length, 1021, 3)) {
        return E_INVALIDARG;
    }
    if (SectionLength(bytes) < 17 || SectionPrivateIndicator(bytes) != 1 ||
        SectionTableIdExtension(bytes) != 0 || SectionVersion(bytes) != 0 || SectionCurrentNext(bytes) != 1 ||
        SectionNumber(bytes) != 0 || SectionLastNumber(bytes) != 0 || SectionTableId(bytes) != kSttTableId ||
        !CheckSectionCrc(bytes, length)) {
        return E_INVALIDARG;
    }
    return TakeSection(kPsipBasePid, length, bytes);
}
