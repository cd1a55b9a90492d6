// What the module quenlix.ax is made of, for the module itself and for tests that link its parts into
// a program of their own: the factory template table (g_Templates, g_cTemplates, dllentry.h), the
// filter's setup record and the entry points beyond the base layer's DllGetClassObject and
// DllCanUnloadNow.
#pragma once
#include <windows.h>

#include "baseclasses/amfilter.h"
#include "baseclasses/dllentry.h"

// The filter's entry with the filter mapper: "Korvane Trevasi Filter", MERIT_DO_NOT_USE, no pins.
extern const AMOVIESETUP_FILTER g_TableCollectorSetup;

// Process attach and detach go to the base layer's DllEntryPoint.
EXTERN_C BOOL WINAPI DllMain(HINSTANCE hInstance, DWORD dwReason, LPVOID lpReserved);
// Registration and unregistration of both classes and the filter's mapper entry.
STDAPI DllRegisterServer();
STDAPI DllUnregisterServer();
