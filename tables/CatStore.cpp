#include "tables/CatStore.h"

#include "tables/section.h"

namespace {
constexpr DWORD kCatTableId = 0x01;
constexpr DWORD kCatPid = 0x0001;
} // namespace

HRESULT CatStore::AddSection(DWORD length, const BYTE* bytes) {
    if (!CheckCommonHeader(bytes, length, 1021, 5)) {
        return E_INVALIDARG;
    }
    // Five header bytes and the CRC_32.
    if (SectionLength(bytes) < 9) {
        return E_INVALIDARG;
    }
    if (SectionTableId(bytes) != kCatTableId) {
        return E_INVALIDARG;
    }
    // The CAT is taken without a CRC check.

    if (slot_count != 0 && slot_count != SectionLastNumber(bytes) + 1) {
        Reset();
    }
    if (const StoredSection* held = HeldAt(SectionNumber(bytes))) {
        // table_id_extension is reserved in the CAT: only the version tells a new table.
        if (SectionVersion(held->bytes) == SectionVersion(bytes)) {
            return S_FALSE;
        }
        Reset();
    }
    return PlaceSection(kCatPid, length, bytes);
}

HRESULT CatStore::GetSection(DWORD index, StoredSection** out) const {
    // Copies leave pid 0 although the held record says 0x0001.
    return CopySlot(index, 0, out);
}
