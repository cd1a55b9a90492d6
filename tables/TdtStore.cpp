#include "tables/TdtStore.h"

#include "tables/section.h"

namespace {
constexpr DWORD kTdtTableId = 0x70;
constexpr DWORD kTdtPid = 0x0014;
// Three header bytes and UTC_time.
constexpr DWORD kTdtBytes = 8;
} // namespace

HRESULT TdtStore::AddSection(DWORD length, const BYTE* bytes) {
    if (length == 0 || length > kTdtBytes || bytes == nullptr) {
        return E_INVALIDARG;
    }
    if (SectionTableId(bytes) != kTdtTableId) {
        return E_INVALIDARG;
    }
    if (length < 2 || SectionSyntaxIndicator(bytes) != 0) {
        return E_INVALIDARG;
    }
    if (length < 3 || SectionLength(bytes) != 5) {
        return E_INVALIDARG;
    }
    return TakeSection(kTdtPid, length, bytes);
}
