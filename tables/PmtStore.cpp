#include "tables/PmtStore.h"

#include "baseclasses/allocation.h"
#include "tables/section.h"

namespace {
constexpr DWORD kPmtTableId = 0x02;
} // namespace

LONG PmtStore::FindSlot(DWORD pid, DWORD programNumber) const {
    if (slots == nullptr) {
        return -1;
    }
    for (DWORD i = 0; i < slot_count; ++i) {
        const StoredSection* record = slots[i];
        if (record != nullptr && record->pid == pid &&
            (programNumber == 0 || SectionTableIdExtension(record->bytes) == programNumber)) {
            return static_cast<LONG>(i);
        }
    }
    return -1;
}

HRESULT PmtStore::AddSection(DWORD pid, DWORD pmtPidCount, DWORD length, const BYTE* bytes) {
    if (pid == 0 || pmtPidCount == 0) {
        return E_INVALIDARG;
    }
    if (!CheckCommonHeader(bytes, length, 1021, 5)) {
        return E_INVALIDARG;
    }
    // The fixed part (PCR_PID, program_info_length, CRC_32 and header) and the program descriptors.
    if (length < 12) {
        return E_INVALIDARG;
    }
    const DWORD programInfoLength = ((static_cast<DWORD>(bytes[10]) << 8) | bytes[11]) & 0x0FFF;
    if (SectionLength(bytes) < programInfoLength + 13) {
        return E_INVALIDARG;
    }
    if (SectionTableId(bytes) != kPmtTableId) {
        return E_INVALIDARG;
    }
    const DWORD program = SectionTableIdExtension(bytes);
    LONG found = FindSlot(pid, program);
    // A repeat of a held section needs no CRC_32: those very bytes passed it.
    if (!(found >= 0 && SameAsHeld(slots[found], length, bytes)) && !CheckSectionCrc(bytes, length)) {
        return E_INVALIDARG;
    }

    if (slot_count != pmtPidCount) {
        Reset(); // the PAT's program list changed size
        slot_count = pmtPidCount;
        found = -1;
    }
    if (found >= 0) {
        const StoredSection* held = slots[found];
        if (SectionVersion(held->bytes) == SectionVersion(bytes)) {
            if (SectionTableIdExtension(held->bytes) == program) {
                return S_FALSE;
            }
            // Same version of another program on this PID (program 0 matched it): keep looking.
        } else {
            // A program's PMT changed: start over; the other programs' PMTs come back as they repeat.
            Reset();
        }
    }
    if (slots == nullptr) {
        slot_count = pmtPidCount;
        if (FAILED(EnsureSlots(pmtPidCount))) {
            return E_OUTOFMEMORY;
        }
    }

    BYTE* copy = CopyBytes(length, bytes);
    if (copy == nullptr) {
        return E_OUTOFMEMORY;
    }
    for (DWORD i = 0; i < slot_count; ++i) {
        const StoredSection* record = slots[i];
        if (record == nullptr || (record->pid == pid && SectionTableIdExtension(record->bytes) == program)) {
            return StoreCopy(i, pid, 0, length, copy);
        }
    }
    // Every slot holds another program's PMT.
    MemFree(copy);
    return S_OK;
}

HRESULT PmtStore::GetSection(DWORD pid, DWORD programNumber, StoredSection** out) const {
    const LONG found = FindSlot(pid, programNumber);
    if (found < 0) {
        return E_FAIL;
    }
    HRESULT hr = CopySection(slots[found], 0, out);
    if (SUCCEEDED(hr)) {
        (*out)->pid = pid;
    }
    return hr;
}
