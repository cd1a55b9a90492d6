// The section-set store: slots indexed by section_number, each empty or holding one StoredSection.
// PatStore, NitStore, SdtStore, BatStore, CatStore and PmtStore are built on it. It owns the slot
// array and the generic read operations; each store keeps its own acceptance tests and its own rule for
// a section that meets a held one in the same slot, so that what differs between tables is decided in
// that table's AddSection.
#pragma once
#include <windows.h>
#include <quenlix.h>

class SectionStore {
public:
    virtual ~SectionStore();
    SectionStore(const SectionStore&) = delete;
    SectionStore& operator=(const SectionStore&) = delete;

    // Releases every held record, highest slot first, then the array. Always TRUE.
    BOOL Reset();
    // FALSE while nothing is held; TRUE when every slot holds a record.
    BOOL IsComplete() const;
    // The number of slots (0 for an empty store).
    DWORD GetSectionCount() const;
    // E_INVALIDARG for index >= slot_count, E_POINTER without slots, otherwise empties the slot (S_OK).
    HRESULT FreeSlot(DWORD index);
    // version_number of the held section; -1 for an empty slot; E_INVALIDARG / E_POINTER as values.
    LONG GetVersion(DWORD index) const;

    // The shared release of a copy (see tables/section.h).
    static HRESULT FreeSection(StoredSection** section);

protected:
    SectionStore() = default;

    // The record in slot index, or null when the slot (or the whole array) is empty.
    const StoredSection* HeldAt(DWORD index) const;
    // A fresh copy of slot index for a reader, with copyPid in its pid. E_INVALIDARG for an index out of
    // range, E_POINTER without slots, S_OK with *out untouched for an empty slot.
    HRESULT CopySlot(DWORD index, DWORD copyPid, StoredSection** out) const;
    // Makes sure the slot array exists with count entries (the caller has reset a store of another
    // size). E_OUTOFMEMORY when it cannot be allocated.
    HRESULT EnsureSlots(DWORD count);
    // Keeps a copy of the section in slot index (which must exist): copy first, then the record when
    // the slot is empty, so that a failure leaves the slot as it was. S_OK or E_OUTOFMEMORY.
    HRESULT StoreInSlot(DWORD index, DWORD pid, DWORD sectionNumber, DWORD length, const BYTE* bytes);
    // As StoreInSlot with the copy already made; takes ownership of copy (released on failure).
    HRESULT StoreCopy(DWORD index, DWORD pid, DWORD sectionNumber, DWORD length, BYTE* copy);
    // A heap copy of length bytes, or null.
    static BYTE* CopyBytes(DWORD length, const BYTE* bytes);
    // The placement shared by the tables keyed by section_number once the store has applied its own
    // same-slot rule: allocates the array of lastSectionNumber + 1 slots if needed and stores the copy.
    HRESULT PlaceSection(DWORD pid, DWORD length, const BYTE* bytes);

    StoredSection** slots = nullptr;
    DWORD slot_count = 0;
};
