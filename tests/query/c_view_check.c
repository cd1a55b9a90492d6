/* Compiled as C by the C header test: an application written in C that includes the published header
   and calls methods of every argument shape through the call macros (the slot test calls every macro,
   in C++). Never linked; the compiler's verdict is the test. */
#define COBJMACROS
#include <quenlix.h>

HRESULT CallEachShape(ITableCollector* p) {
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
    hr |= ITableCollector_GetPatStatus(p, &value);
    hr |= ITableCollector_GetPmtSection(p, 0, 0, &section);
    hr |= ITableCollector_GetEitSection(p, 0, 0, 0, &section);
    hr |= ITableCollector_FreeEitSection(p, &section);
    hr |= ITableCollector_SetEitResetOnVersionChange(p, FALSE);
    hr |= ITableCollector_GetAtscEitSectionCount(p, 0, &value);
    hr |= ITableCollector_ResetEtt(p);
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
