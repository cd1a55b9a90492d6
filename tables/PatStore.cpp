#include "tables/PatStore.h"

#include "tables/section.h"

namespace {
constexpr DWORD kPatTableId = 0x00;
// Held PAT records keep pid 0, as their zero-filled record leaves it.
constexpr DWORD kPatPid = 0x0000;
} // namespace

HRESULT PatStore::AddSection(DWORD length, const BYTE* bytes) {
    if (!CheckCommonHeader(bytes, length, 1021, 5)) {
        return E_INVALIDARG;
    }
    // The program loop holds whole 4-byte entries; a signed remainder lets section_length 5 (-4) pass.
    const LONG loopBytes = static_cast<LONG>(SectionLength(bytes)) - 9;
    if (loopBytes % 4 != 0) {
        return E_INVALIDARG;
    }
    if (SectionTableId(bytes) != kPatTableId) {
        return E_INVALIDARG;
    }
    // A repeat of the held section needs no CRC_32: those very bytes passed it.
    if (!SameAsHeld(HeldAt(SectionNumber(bytes)), length, bytes) && !CheckSectionCrc(bytes, length)) {
        return E_INVALIDARG;
    }

    if (slot_count != 0 && slot_count != SectionLastNumber(bytes) + 1) {
        Reset(); // the table changed size
    }
    if (const StoredSection* held = HeldAt(SectionNumber(bytes))) {
        if (SectionVersion(held->bytes) == SectionVersion(bytes) &&
            SectionTableIdExtension(held->bytes) == SectionTableIdExtension(bytes)) {
            return S_FALSE;
        }
        Reset(); // a new version, or another transport stream
    }
    return PlaceSection(kPatPid, length, bytes);
}

HRESULT PatStore::GetSection(DWORD index, StoredSection** out) const {
    return CopySlot(index, 0, out);
}
