// The single-section store: one embedded StoredSection holding the latest section taken. The TDT,
// TOT and RST stores and the ATSC MGT and STT stores are built on it; each keeps its own acceptance
// tests in its AddSection and calls TakeSection with its own PID once they pass.
#pragma once
#include <windows.h>
#include <quenlix.h>

class SingleSectionStore {
public:
    virtual ~SingleSectionStore();
    SingleSectionStore(const SingleSectionStore&) = delete;
    SingleSectionStore& operator=(const SingleSectionStore&) = delete;

    // TRUE while a section is held.
    BOOL IsComplete() const { return section.bytes != nullptr ? TRUE : FALSE; }
    // E_POINTER while nothing is held; otherwise a copy with all four fields of the held record, S_OK.
    // E_OUTOFMEMORY with *out null when either allocation fails.
    HRESULT GetSection(StoredSection** out) const;
    // Drops the held section; all four fields become zero. Always TRUE.
    BOOL Reset();

    static HRESULT FreeSection(StoredSection** section);

    // The held record (bytes null while empty).
    const StoredSection& Held() const { return section; }

protected:
    SingleSectionStore() = default;

    // Replaces the held section with a copy of the given one, stamped with pid and section_number 0.
    // The old section is dropped first: on E_OUTOFMEMORY the store is left empty.
    HRESULT TakeSection(DWORD pid, DWORD length, const BYTE* bytes);

private:
    StoredSection section = {};
};
