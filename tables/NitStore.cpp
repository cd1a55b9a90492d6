#include "tables/NitStore.h"

#include "tables/section.h"

namespace {
constexpr DWORD kNitActualTableId = 0x40;
constexpr DWORD kNitOtherTableId = 0x41;
constexpr DWORD kNitPid = 0x0010;
} // namespace

HRESULT NitStore::AddSection(DWORD length, const BYTE* bytes) {
    if (!CheckCommonHeader(bytes, length, 1021, 5)) {
        return E_INVALIDARG;
    }
    // The network descriptors and the transport stream loop fill the section exactly.
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
    const DWORD tableId = SectionTableId(bytes);
    if (tableId != kNitActualTableId && tableId != kNitOtherTableId) {
        return E_INVALIDARG;
    }
    // A repeat of the held section needs no CRC_32: those very bytes passed it.
    if (!SameAsHeld(HeldAt(SectionNumber(bytes)), length, bytes) && !CheckSectionCrc(bytes, length)) {
        return E_INVALIDARG;
    }
    // Only the actual network is kept; the other network's NIT is a valid section all the same.
    if (tableId != kNitActualTableId) {
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
            // Another network at the same version: drop the old table now and collect the new one
            // from its next repetition.
            Reset();
            return S_FALSE;
        }
        Reset();
    }
    return PlaceSection(kNitPid, length, bytes);
}

HRESULT NitStore::GetSection(DWORD key, DWORD index, StoredSection** out) const {
    return CopySlot(index, kNitPid, out);
}
