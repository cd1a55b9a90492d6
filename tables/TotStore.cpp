#include "tables/TotStore.h"

#include "tables/section.h"

namespace {
constexpr DWORD kTotTableId = 0x73;
constexpr DWORD kTotPid = 0x0014;
} // namespace

HRESULT TotStore::AddSection(DWORD length, const BYTE* bytes) {
    if (length == 0 || bytes == nullptr) {
        return E_INVALIDARG;
    }
    if (SectionTableId(bytes) != kTotTableId) {
        return E_INVALIDARG;
    }
    if (length < 2 || SectionSyntaxIndicator(bytes) != 0) {
        return E_INVALIDARG;
    }
    // UTC_time, the loop length and the CRC_32 around the descriptors.
    if (length < 10) {
        return E_INVALIDARG;
    }
    const DWORD loopLength = ((static_cast<DWORD>(bytes[8]) & 0x0F) << 8) | bytes[9];
    if (SectionLength(bytes) != loopLength + 11) {
        return E_INVALIDARG;
    }
    if (!CheckSectionCrc(bytes, length)) {
        return E_INVALIDARG;
    }
    return TakeSection(kTotPid, length, bytes);
}
