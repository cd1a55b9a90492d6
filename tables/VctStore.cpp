#include "tables/VctStore.h"

#include "tables/section.h"

namespace {
constexpr DWORD kTvctTableId = 0xC8;
constexpr DWORD kPsipBasePid = 0x1FFB;

// private_indicator, bit 6 of byte 1: 1 in every ATSC PSIP section.
DWORD SectionPrivateIndicator(const BYTE* p) {
    return (p[1] >> 6) & 1;
}
} // namespace

HRESULT VctStore::AddSection(DWORD length, const BYTE* bytes) {
    // No CRC test and no test of the transport_stream_id: the table is taken as it comes.
    if (!CheckCommonHeader(bytes, length, 1021, 3)) {
        return E_INVALIDARG;
    }
    if (SectionLength(bytes) < 13 || SectionPrivateIndicator(bytes) != 1 || SectionCurrentNext(bytes) != 1 ||
        SectionTableId(bytes) != kTvctTableId) {
        return E_INVALIDARG;
    }
    const DWORD count = SectionLastNumber(bytes) + 1;
    if (slot_count != 0 && slot_count != count) {
        Reset();
    }
    // Only the version is compared: a TVCT of another transport stream in the same slot is a repeat.
    const StoredSection* held = HeldAt(SectionNumber(bytes));
    if (held != nullptr) {
        if (SectionVersion(held->bytes) == SectionVersion(bytes)) {
            return S_FALSE;
        }
        Reset();
    }
    return PlaceSection(kPsipBasePid, length, bytes);
}

HRESULT VctStore::GetSection(DWORD index, StoredSection** out) const {
    return CopySlot(index, 0, out);
}
