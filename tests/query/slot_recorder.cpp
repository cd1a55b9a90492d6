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
    STDMETHODIMP ResetAllTables() override { return Reached("ResetAllTables"); }
    STDMETHODIMP SetRequestedPids(ULONG count, const ULONG* pPids) override {
        return Reached("SetRequestedPids");
    }
    STDMETHODIMP IsRequestedPidSeen(ULONG pid, ULONG* pSeen) override {
        return Reached("IsRequestedPidSeen");
    }
    STDMETHODIMP UnmapRequestedPids() override { return Reached("UnmapRequestedPids"); }
    STDMETHODIMP GetPatStatus(ULONG* pStatus) override { return Reached("GetPatStatus"); }
    STDMETHODIMP GetPatSectionCount(ULONG* pCount) override { return Reached("GetPatSectionCount"); }
    STDMETHODIMP GetPatSection(ULONG index, StoredSection** ppSection) override {
        return Reached("GetPatSection");
    }
    STDMETHODIMP FreePatSection(StoredSection** ppSection) override { return Reached("FreePatSection"); }
    STDMETHODIMP ResetPat() override { return Reached("ResetPat"); }
    STDMETHODIMP GetPmtStatus(ULONG* pStatus) override { return Reached("GetPmtStatus"); }
    STDMETHODIMP GetPmtSectionCount(ULONG* pCount) override { return Reached("GetPmtSectionCount"); }
    STDMETHODIMP GetPmtSection(ULONG pid, ULONG programNumber, StoredSection** ppSection) override {
        return Reached("GetPmtSection");
    }
    STDMETHODIMP FreePmtSection(StoredSection** ppSection) override { return Reached("FreePmtSection"); }
    STDMETHODIMP ResetPmt() override { return Reached("ResetPmt"); }
    STDMETHODIMP GetNitStatus(ULONG key, ULONG* pStatus) override { return Reached("GetNitStatus"); }
    STDMETHODIMP GetNitSectionCount(ULONG key, ULONG* pCount) override {
        return Reached("GetNitSectionCount");
    }
    STDMETHODIMP GetNitSection(ULONG key, ULONG index, StoredSection** ppSection) override {
        return Reached("GetNitSection");
    }
    STDMETHODIMP FreeNitSection(StoredSection** ppSection) override { return Reached("FreeNitSection"); }
    STDMETHODIMP ResetNit() override { return Reached("ResetNit"); }
    STDMETHODIMP GetBatStatus(ULONG* pStatus) override { return Reached("GetBatStatus"); }
    STDMETHODIMP GetBatSectionCount(ULONG* pCount) override { return Reached("GetBatSectionCount"); }
    STDMETHODIMP GetBatSection(ULONG index, StoredSection** ppSection) override {
        return Reached("GetBatSection");
    }
    STDMETHODIMP FreeBatSection(StoredSection** ppSection) override { return Reached("FreeBatSection"); }
    STDMETHODIMP ResetBat() override { return Reached("ResetBat"); }
    STDMETHODIMP GetSdtStatus(ULONG key, ULONG* pStatus) override { return Reached("GetSdtStatus"); }
    STDMETHODIMP GetSdtSectionCount(ULONG key, ULONG* pCount) override {
        return Reached("GetSdtSectionCount");
    }
    STDMETHODIMP GetSdtSection(ULONG key, ULONG index, StoredSection** ppSection) override {
        return Reached("GetSdtSection");
    }
    STDMETHODIMP FreeSdtSection(StoredSection** ppSection) override { return Reached("FreeSdtSection"); }
    STDMETHODIMP ResetSdt() override { return Reached("ResetSdt"); }
    STDMETHODIMP GetEitStatus(ULONG tableId, ULONG* pStatus) override { return Reached("GetEitStatus"); }
    STDMETHODIMP GetEitSectionCount(ULONG tableId, ULONG* pCount) override {
        return Reached("GetEitSectionCount");
    }
    STDMETHODIMP GetEitSection(ULONG tableId, ULONG sectionNumber, ULONG serviceId,
                               StoredSection** ppSection) override {
        return Reached("GetEitSection");
    }
    STDMETHODIMP FreeEitSection(StoredSection** ppSection) override { return Reached("FreeEitSection"); }
    STDMETHODIMP ResetEit() override { return Reached("ResetEit"); }
    STDMETHODIMP SetEitResetOnVersionChange(BOOL resetOnVersionChange) override {
        return Reached("SetEitResetOnVersionChange");
    }
    STDMETHODIMP GetTdtStatus(ULONG* pStatus) override { return Reached("GetTdtStatus"); }
    STDMETHODIMP GetTdtSection(StoredSection** ppSection) override { return Reached("GetTdtSection"); }
    STDMETHODIMP FreeTdtSection(StoredSection** ppSection) override { return Reached("FreeTdtSection"); }
    STDMETHODIMP ResetTdt() override { return Reached("ResetTdt"); }
    STDMETHODIMP GetTotStatus(ULONG* pStatus) override { return Reached("GetTotStatus"); }
    STDMETHODIMP GetTotSection(StoredSection** ppSection) override { return Reached("GetTotSection"); }
    STDMETHODIMP FreeTotSection(StoredSection** ppSection) override { return Reached("FreeTotSection"); }
    STDMETHODIMP ResetTot() override { return Reached("ResetTot"); }
    STDMETHODIMP GetRstStatus(ULONG* pStatus) override { return Reached("GetRstStatus"); }
    STDMETHODIMP GetRstSection(StoredSection** ppSection) override { return Reached("GetRstSection"); }
    STDMETHODIMP FreeRstSection(StoredSection** ppSection) override { return Reached("FreeRstSection"); }
    STDMETHODIMP ResetRst() override { return Reached("ResetRst"); }
    STDMETHODIMP GetCatStatus(ULONG* pStatus) override { return Reached("GetCatStatus"); }
    STDMETHODIMP GetCatSectionCount(ULONG* pCount) override { return Reached("GetCatSectionCount"); }
    STDMETHODIMP GetCatSection(ULONG index, StoredSection** ppSection) override {
        return Reached("GetCatSection");
    }
    STDMETHODIMP FreeCatSection(StoredSection** ppSection) override { return Reached("FreeCatSection"); }
    STDMETHODIMP ResetCat() override { return Reached("ResetCat"); }
    STDMETHODIMP GetMgtStatus(ULONG* pStatus) override { return Reached("GetMgtStatus"); }
    STDMETHODIMP GetMgtSection(StoredSection** ppSection) override { return Reached("GetMgtSection"); }
    STDMETHODIMP FreeMgtSection(StoredSection** ppSection) override { return Reached("FreeMgtSection"); }
    STDMETHODIMP ResetMgt() override { return Reached("ResetMgt"); }
    STDMETHODIMP GetVctStatus(ULONG* pStatus) override { return Reached("GetVctStatus"); }
    STDMETHODIMP GetVctSectionCount(ULONG* pCount) override { return Reached("GetVctSectionCount"); }
    STDMETHODIMP GetVctSection(ULONG index, StoredSection** ppSection) override {
        return Reached("GetVctSection");
    }
    STDMETHODIMP FreeVctSection(StoredSection** ppSection) override { return Reached("FreeVctSection"); }
    STDMETHODIMP ResetVct() override { return Reached("ResetVct"); }
    STDMETHODIMP GetSttStatus(ULONG* pStatus) override { return Reached("GetSttStatus"); }
    STDMETHODIMP GetSttSection(StoredSection** ppSection) override { return Reached("GetSttSection"); }
    STDMETHODIMP FreeSttSection(StoredSection** ppSection) override { return Reached("FreeSttSection"); }
    STDMETHODIMP ResetStt() override { return Reached("ResetStt"); }
    STDMETHODIMP GetAtscEitStatus(ULONG tableType, ULONG* pStatus) override {
        return Reached("GetAtscEitStatus");
    }
    STDMETHODIMP GetAtscEitSectionCount(ULONG tableType, ULONG* pCount) override {
        return Reached("GetAtscEitSectionCount");
    }
    STDMETHODIMP GetAtscEitSection(ULONG tableType, ULONG sectionNumber, ULONG sourceId,
                                   StoredSection** ppSection) override {
        return Reached("GetAtscEitSection");
    }
    STDMETHODIMP FreeAtscEitSection(StoredSection** ppSection) override {
        return Reached("FreeAtscEitSection");
    }
    STDMETHODIMP ResetAtscEit() override { return Reached("ResetAtscEit"); }
    STDMETHODIMP SetAtscEitResetOnVersionChange(BOOL resetOnVersionChange) override {
        return Reached("SetAtscEitResetOnVersionChange");
    }
    STDMETHODIMP GetEttSectionCount(ULONG* pCount) override { return Reached("GetEttSectionCount"); }
    STDMETHODIMP GetEttSection(ULONG etmId, StoredSection** ppSection) override {
        return Reached("GetEttSection");
    }
    STDMETHODIMP FreeEttSection(StoredSection** ppSection) override { return Reached("FreeEttSection"); }
    STDMETHODIMP ResetEtt() override { return Reached("ResetEtt"); }
    STDMETHODIMP EnableEttCollection(BOOL collect) override { return Reached("EnableEttCollection"); }

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
