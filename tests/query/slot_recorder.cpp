#include "slot_recorder.h"

#include <quenlix.h>

namespace {

class SlotRecorder final : public ITableCollector {
public:
    const char* last = "";

    STDMETHODIMP QueryInterface(REFIID, void** ppv) override {
        *ppv = nullptr;
        return Reached("QueryInterface");
    }
    STDMETHODIMP_(ULONG) AddRef() override {
        Reached("AddRef");
        return 1;
    }
    STDMETHODIMP_(ULONG) Release() override {
        Reached("Release");
        return 1;
    }
// Each method records its own name and answers S_OK.
#define RECORD(Name, ...)                                                                                    \
    STDMETHODIMP Name(__VA_ARGS__) override {                                                                \
        return Reached(#Name);                                                                               \
    }

    // clang-format off
    RECORD(ResetAllTables)
    RECORD(SetRequestedPids, ULONG count, const ULONG* pPids)
    RECORD(IsRequestedPidSeen, ULONG pid, ULONG* pSeen)
    RECORD(UnmapRequestedPids)
    RECORD(GetPatStatus, ULONG* pStatus)
    RECORD(GetPatSectionCount, ULONG* pCount)
    RECORD(GetPatSection, ULONG index, StoredSection** ppSection)
    RECORD(FreePatSection, StoredSection** ppSection)
    RECORD(ResetPat)
    RECORD(GetPmtStatus, ULONG* pStatus)
    RECORD(GetPmtSectionCount, ULONG* pCount)
    RECORD(GetPmtSection, ULONG pid, ULONG programNumber, StoredSection** ppSection)
    RECORD(FreePmtSection, StoredSection** ppSection)
    RECORD(ResetPmt)
    RECORD(GetNitStatus, ULONG key, ULONG* pStatus)
    RECORD(GetNitSectionCount, ULONG key, ULONG* pCount)
    RECORD(GetNitSection, ULONG key, ULONG index, StoredSection** ppSection)
    RECORD(FreeNitSection, StoredSection** ppSection)
    RECORD(ResetNit)
    RECORD(GetBatStatus, ULONG* pStatus)
    RECORD(GetBatSectionCount, ULONG* pCount)
    RECORD(GetBatSection, ULONG index, StoredSection** ppSection)
    RECORD(FreeBatSection, StoredSection** ppSection)
    RECORD(ResetBat)
    RECORD(GetSdtStatus, ULONG key, ULONG* pStatus)
    RECORD(GetSdtSectionCount, ULONG key, ULONG* pCount)
    RECORD(GetSdtSection, ULONG key, ULONG index, StoredSection** ppSection)
    RECORD(FreeSdtSection, StoredSection** ppSection)
    RECORD(ResetSdt)
    RECORD(GetEitStatus, ULONG tableId, ULONG* pStatus)
    RECORD(GetEitSectionCount, ULONG tableId, ULONG* pCount)
    RECORD(GetEitSection, ULONG tableId, ULONG sectionNumber, ULONG serviceId, StoredSection** ppSection)
    RECORD(FreeEitSection, StoredSection** ppSection)
    RECORD(ResetEit)
    RECORD(SetEitResetOnVersionChange, BOOL resetOnVersionChange)
    RECORD(GetTdtStatus, ULONG* pStatus)
    RECORD(GetTdtSection, StoredSection** ppSection)
    RECORD(FreeTdtSection, StoredSection** ppSection)
    RECORD(ResetTdt)
    RECORD(GetTotStatus, ULONG* pStatus)
    RECORD(GetTotSection, StoredSection** ppSection)
    RECORD(FreeTotSection, StoredSection** ppSection)
    RECORD(ResetTot)
    RECORD(GetRstStatus, ULONG* pStatus)
    RECORD(GetRstSection, StoredSection** ppSection)
    RECORD(FreeRstSection, StoredSection** ppSection)
    RECORD(ResetRst)
    RECORD(GetCatStatus, ULONG* pStatus)
    RECORD(GetCatSectionCount, ULONG* pCount)
    RECORD(GetCatSection, ULONG index, StoredSection** ppSection)
    RECORD(FreeCatSection, StoredSection** ppSection)
    RECORD(ResetCat)
    RECORD(GetMgtStatus, ULONG* pStatus)
    RECORD(GetMgtSection, StoredSection** ppSection)
    RECORD(FreeMgtSection, StoredSection** ppSection)
    RECORD(ResetMgt)
    RECORD(GetVctStatus, ULONG* pStatus)
    RECORD(GetVctSectionCount, ULONG* pCount)
    RECORD(GetVctSection, ULONG index, StoredSection** ppSection)
    RECORD(FreeVctSection, StoredSection** ppSection)
    RECORD(ResetVct)
    RECORD(GetSttStatus, ULONG* pStatus)
    RECORD(GetSttSection, StoredSection** ppSection)
    RECORD(FreeSttSection, StoredSection** ppSection)
    RECORD(ResetStt)
    RECORD(GetAtscEitStatus, ULONG tableType, ULONG* pStatus)
    RECORD(GetAtscEitSectionCount, ULONG tableType, ULONG* pCount)
    RECORD(GetAtscEitSection, ULONG tableType, ULONG sectionNumber, ULONG sourceId, StoredSection** ppSection)
    RECORD(FreeAtscEitSection, StoredSection** ppSection)
    RECORD(ResetAtscEit)
    RECORD(SetAtscEitResetOnVersionChange, BOOL resetOnVersionChange)
    RECORD(GetEttSectionCount, ULONG* pCount)
    RECORD(GetEttSection, ULONG etmId, StoredSection** ppSection)
    RECORD(FreeEttSection, StoredSection** ppSection)
    RECORD(ResetEtt)
    RECORD(EnableEttCollection, BOOL collect)
    // clang-format on
#undef RECORD

private:
    HRESULT Reached(const char* name) {
        last = name;
        return S_OK;
    }
};

} // namespace

void* NewSlotRecorder() {
    // Handed across as the interface pointer, which is what a C caller holds.
    return static_cast<ITableCollector*>(new SlotRecorder());
}

void DeleteSlotRecorder(void* recorder) {
    delete static_cast<SlotRecorder*>(static_cast<ITableCollector*>(recorder));
}

const char* LastReachedMethod(void* recorder) {
    return static_cast<SlotRecorder*>(static_cast<ITableCollector*>(recorder))->last;
}
