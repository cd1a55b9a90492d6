// The module quenlix.ax: its factory template table, the filter's setup record for the filter mapper,
// and the entry points. DllGetClassObject and DllCanUnloadNow are the base layer's own
// (baseclasses/dllentry.h); the build exports these five entry points and nothing else.
#include <windows.h>
#include <objbase.h>
#include <strmif.h>
#include <quenlix.h>

#include "baseclasses/streams.h"
#include "filter/TableCollectorFilter.h"
#include "propertypage/TableCollectorPropertyPage.h"
#include "module/QuenlixModule.h"

const AMOVIESETUP_FILTER g_TableCollectorSetup = {
    &CLSID_TableCollectorFilter,
    L"Korvane Trevasi Filter",
    MERIT_DO_NOT_USE, // never inserted by automatic graph building: applications add it by class
    0,                // the input pin is not described to the mapper
    NULL,
};

CFactoryTemplate g_Templates[] = {
    {L"Korvane Trevasi Filter", &CLSID_TableCollectorFilter, TableCollectorFilter::CreateInstance, NULL,
     &g_TableCollectorSetup},
    {L"Korvane Trevasi Filter Property Page", &CLSID_TableCollectorPropertyPage,
     TableCollectorPropertyPage::CreateInstance, NULL, NULL},
};
int g_cTemplates = sizeof(g_Templates) / sizeof(g_Templates[0]);

EXTERN_C BOOL WINAPI DllMain(HINSTANCE hInstance, DWORD dwReason, LPVOID lpReserved) {
    return DllEntryPoint(hInstance, dwReason, lpReserved);
}

STDAPI DllRegisterServer() {
    return AMovieDllRegisterServer2(TRUE);
}

STDAPI DllUnregisterServer() {
    return AMovieDllRegisterServer2(FALSE);
}
