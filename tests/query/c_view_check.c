/* Compiled as C by the C header test: an application written in C that includes the published header
   and calls every method through the call macros. Never linked; the compiler's verdict is the test. */
#define COBJMACROS
#include <quenlix.h>

HRESULT CallEverySlot(ITableCollector* p) {
    const ULONG pids[2] = {0x0100, 0x0200};
    ULONG value = 0;
    StoredSection* section = NULL;
    HRESULT hr = S_OK;
    void* other = NULL;
    hr |= ITableCollector_QueryInterface(p, &IID_ITableCollector, &other);
    ITableCollector_AddRef(p);
    ITableCollector_Release(p);
    hr |= ITableCollector_ResetAllTables(p);
    hr |= ITableCollector_SetRequestedPids(p, 0, pids);
    hr |= ITableCollector_IsRequestedPidSeen(p, 0, &value);
    hr |= ITableCollector_UnmapRequestedPids(p);
    hr |= ITableCollector_GetPatStatus(p, &value);
    hr |= ITableCollector_GetPatSectionCount(p, &value);
    hr |= ITableCollector_GetPatSection(p, 0, &section);
    hr |= ITableCollector_FreePatSection(p, &section);
    hr |= ITableCollector_ResetPat(p);
    hr |= ITableCollector_GetPmtStatus(p, &value);
    hr |= ITableCollector_GetPmtSectionCount(p, &value);
    hr |= ITableCollector_GetPmtSection(p, 0, 0, &section);
    hr |= ITableCollector_FreePmtSection(p, &section);
    hr |= ITableCollector_ResetPmt(p);
    hr |= ITableCollector_GetNitStatus(p, 0, &value);
    hr |= ITableCollector_GetNitSectionCount(p, 0, &value);
    hr |= ITableCollector_GetNitSection(p, 0, 0, &section);
    hr |= ITableCollector_FreeNitSection(p, &section);
    hr |= ITableCollector_ResetNit(p);
    hr |= ITableCollector_GetBatStatus(p, &value);
    hr |= ITableCollector_GetBatSectionCount(p, &value);
    hr |= ITableCollector_GetBatSection(p, 0, &section);
    hr |= ITableCollector_FreeBatSection(p, &section);
    hr |= ITableCollector_ResetBat(p);
    hr |= ITableCollector_GetSdtStatus(p, 0, &value);
    hr |= ITableCollector_GetSdtSectionCount(p, 0, &value);
    hr |= ITableCollector_GetSdtSection(p, 0, 0, &section);
    hr |= ITableCollector_FreeSdtSection(p, &section);
    hr |= ITableCollector_ResetSdt(p);
    hr |= ITableCollector_GetEitStatus(p, 0, &value);
    hr |= ITableCollector_GetEitSectionCount(p, 0, &value);
    hr |= ITableCollector_GetEitSection(p, 0, 0, 0, &section);
    hr |= ITableCollector_FreeEitSection(p, &section);
    hr |= ITableCollector_ResetEit(p);
    hr |= ITableCollector_SetEitResetOnVersionChange(p, FALSE);
    hr |= ITableCollector_GetTdtStatus(p, &value);
    hr |= ITableCollector_GetTdtSection(p, &section);
    hr |= ITableCollector_FreeTdtSection(p, &section);
    hr |= ITableCollector_ResetTdt(p);
    hr |= ITableCollector_GetTotStatus(p, &value);
    hr |= ITableCollector_GetTotSection(p, &section);
    hr |= ITableCollector_FreeTotSection(p, &section);
    hr |= ITableCollector_ResetTot(p);
    hr |= ITableCollector_GetRstStatus(p, &value);
    hr |= ITableCollector_GetRstSection(p, &section);
    hr |= ITableCollector_FreeRstSection(p, &section);
    hr |= ITableCollector_ResetRst(p);
    hr |= ITableCollector_GetCatStatus(p, &value);
    hr |= ITableCollector_GetCatSectionCount(p, &value);
    hr |= ITableCollector_GetCatSection(p, 0, &section);
    hr |= ITableCollector_FreeCatSection(p, &section);
    hr |= ITableCollector_ResetCat(p);
    hr |= ITableCollector_GetMgtStatus(p, &value);
    hr |= ITableCollector_GetMgtSection(p, &section);
    hr |= ITableCollector_FreeMgtSection(p, &section);
    hr |= ITableCollector_ResetMgt(p);
    hr |= ITableCollector_GetVctStatus(p, &value);
    hr |= ITableCollector_GetVctSectionCount(p, &value);
    hr |= ITableCollector_GetVctSection(p, 0, &section);
    hr |= ITableCollector_FreeVctSection(p, &section);
    hr |= ITableCollector_ResetVct(p);
    hr |= ITableCollector_GetSttStatus(p, &value);
    hr |= ITableCollector_GetSttSection(p, &section);
    hr |= ITableCollector_FreeSttSection(p, &section);
    hr |= ITableCollector_ResetStt(p);
    hr |= ITableCollector_GetAtscEitStatus(p, 0, &value);
    hr |= ITableCollector_GetAtscEitSectionCount(p, 0, &value);
    hr |= ITableCollector_GetAtscEitSection(p, 0, 0, 0, &section);
    hr |= ITableCollector_FreeAtscEitSection(p, &section);
    hr |= ITableCollector_ResetAtscEit(p);
    hr |= ITableCollector_SetAtscEitResetOnVersionChange(p, FALSE);
    hr |= ITableCollector_GetEttSectionCount(p, &value);
    hr |= ITableCollector_GetEttSection(p, 0, &section);
    hr |= ITableCollector_FreeEttSection(p, &section);
    hr |= ITableCollector_ResetEtt(p);
    hr |= ITableCollector_EnableEttCollection(p, FALSE);
    if (section != NULL && section->length > 0 && section->bytes[0] == 0 && value == TABLE_STATUS_COMPLETE) {
        hr = S_FALSE;
    }
    return hr;
}

int main(void) {
    /* The identifiers are usable as values, as MIDL-generated headers declare them. */
    const CLSID* filter = &CLSID_TableCollectorFilter;
    const CLSID* page = &CLSID_TableCollectorPropertyPage;
    return IsEqualGUID(filter, page) ? 1 : 0;
}
