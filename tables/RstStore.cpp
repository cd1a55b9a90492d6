#include "tables/RstStore.h"

#include "tables/section.h"

namespace {
constexpr DWORD kRstTableId = 0x71;
constexpr DWORD kRstPid = 0x0013;
} // namespace

HRESULT RstStore::AddSection(DWORD length, const BYTE* bytes) {
    if (length == 0 || bytes == nullptr) {
        return E_INVALIDARG;
    }
    if (SectionTableId(bytes) != kRstTableId) {
        return E_INVALIDARG;
    }
    if (length < 2 || SectionSyntaxIndicator(bytes) != 0) {
        return E_INVALIDARG;
    }
    // No CRC_32: the sample must be exactly the section.
    if (length < 3 || length != SectionLength(bytes) + 3) {
        return E_INVALIDARG;
    }
    return TakeSection(kRstPid, length, bytes);
}
