#include "tables/SdtStore.h"

#include "tables/section.h"

namespace {
constexpr DWORD kSdtActualTableId = 0x42;
constexpr DWORD kSdtOtherTableId = 0x46;
constexpr DWORD kSdtPid = 0x0011;
} // namespace

HRESULT SdtStore::AddSection(DWORD length, const BYTE* bytes) {
    if (!CheckCommonHeader(bytes, length, 1021, 5)) {
        return E_INVALIDARG;
    }
    // Header, original_network_id, a reserved byte and the CRC_32.
    if (SectionLength(bytes) < 12) {
        return E_INVALIDARG;
    }
    const DWORD tableId = SectionTableId(bytes);
    if (tableId != kSdtActualTableId && tableId != kSdtOtherTableId) {
        return E_INVALIDARG;
    }
    // A repeat of the held section needs no CRC_32: those very bytes passed it.
    if (!SameAsHeld(HeldAt(SectionNumber(bytes)), length, bytes) && !CheckSectionCrc(bytes, length)) {
        return E_INVALIDARG;
    }
    // Only the actual transport stream is kept.
    if (tableId != kSdtActualTableId) {
        return E_INVALIDARG;
    }

    if (slot_count != 0 && slot_count != SectionLastNumber(bytes) + 1) {
        Reset();
    }
    if (const StoredSection* held = HeldAt(SectionNumber(bytes))) {
        if (SectionVersion(held->bytes) == SectionVersion(bytes)) {
            if (SectionTableIdExtension(held->bytes) == SectionTableIdExtension(bytes)) {
                return S_FALSE;
            }
            // Another transport stream at the same version: drop the old table now and collect the
            // new one from its next repetition.
            Reset();
            return S_FALSE;
        }
        Reset();
    }
    return PlaceSection(kSdtPid, length, bytes);
}

HRESULT SdtStore::GetSection(DWORD key, DWORD index, StoredSection** out) const {
    return CopySlot(index, kSdtPid, out);
}
