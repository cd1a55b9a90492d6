#include "tables/BatStore.h"

#include "tables/section.h"

namespace {
constexpr DWORD kBatTableId = 0x4A;
constexpr DWORD kBatPid = 0x0011;
} // namespace

HRESULT BatStore::AddSection(DWORD length, const BYTE* bytes) {
    if (!CheckCommonHeader(bytes, length, 1021, 5)) {
        return E_INVALIDARG;
    }
    // The descriptor loop and the transport stream loop fill the section exactly.
    if (length < 10) {
        return E_INVALIDARG;
    }
    const DWORD descriptorsLength = ((static_cast<DWORD>(bytes[8]) << 8) | bytes[9]) & 0x0FFF;
    if (length < 12 + descriptorsLength) {
        return E_INVALIDARG;
    }
    const DWORD loopLength =
        ((static_cast<DWORD>(bytes[10 + descriptorsLength]) << 8) | bytes[11 + descriptorsLength]) & 0x0FFF;
    if (SectionLength(bytes) != 13 + descriptorsLength + loopLength) {
        return E_INVALIDARG;
    }
    if (SectionTableId(bytes) != kBatTableId) {
        return E_INVALIDARG;
    }
    // A repeat of the held section needs no CRC_32: those very bytes passed it.
    if (!SameAsHeld(HeldAt(SectionNumber(bytes)), length, bytes) && !CheckSectionCrc(bytes, length)) {
        return E_INVALIDARG;
    }

    if (slot_count != 0 && slot_count != SectionLastNumber(bytes) + 1) {
        Reset();
    }
    if (const StoredSection* held = HeldAt(SectionNumber(bytes))) {
        if (SectionVersion(held->bytes) == SectionVersion(bytes) &&
            SectionTableIdExtension(held->bytes) == SectionTableIdExtension(bytes)) {
            return S_FALSE;
        }
        // A new version, or another bouquet: unlike the NIT and SDT, the arriving section is kept.
        Reset();
    }
    return PlaceSection(kBatPid, length, bytes);
}

HRESULT BatStore::GetSection(DWORD index, StoredSection** out) const {
    return CopySlot(index, kBatPid, out);
}
