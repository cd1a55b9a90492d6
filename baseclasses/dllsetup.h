// Self-registration of an in-process server: the COM server keys of each factory template and the
// filter-mapper entry of each template with a filter setup record.
#pragma once
#include <windows.h>
#include <strmif.h>

#include "baseclasses/amfilter.h"
#include "baseclasses/dllentry.h"

// Registers (TRUE) or unregisters (FALSE) every template of g_Templates:
// 1. the module's path (a failure answers the last Win32 error);
// 2. registering: the COM server keys of each template, stopping at the first failure;
// 3. the filter mapper through IFilterMapper2, else IFilterMapper; with neither the mapper step is
//    skipped and its failure answered;
// 4. for each template with a setup record: unregister it from the mapper, then register it again
//    when registering; the first failure ends the loop;
// 5. CoFreeUnusedLibraries and CoUninitialize;
// 6. unregistering with nothing failed: the COM server keys go.
STDAPI AMovieDllRegisterServer2(BOOL bRegister);
STDAPI AMovieDllRegisterServer();
STDAPI AMovieDllUnregisterServer();

// One filter with the mapper: unregistered first, then (bRegister) registered with its name, merit
// and pins in the default filter category, setup version 1. "File not found" (0x80070002) from
// either call counts as success. S_FALSE without setup data.
STDAPI AMovieSetupRegisterFilter2(const AMOVIESETUP_FILTER* const psetupdata, IFilterMapper2* pIFM2,
                                  BOOL bRegister);
STDAPI AMovieSetupRegisterFilter(const AMOVIESETUP_FILTER* const psetupdata, IFilterMapper* pIFM,
                                 BOOL bRegister);

// HKEY_CLASSES_ROOT\CLSID\{clsid} = description, with the server type subkey = file name and its
// ThreadingModel value. A registry error is answered as its HRESULT.
STDAPI AMovieSetupRegisterServer(CLSID clsServer, LPCWSTR szDescription, LPCWSTR szFileName,
                                 LPCWSTR szThreadingModel = L"Both",
                                 LPCWSTR szServerType = L"InprocServer32");
// Removes HKEY_CLASSES_ROOT\CLSID\{clsid} with all its subkeys; keys that cannot be opened are passed
// over and nothing is reported.
STDAPI AMovieSetupUnregisterServer(CLSID clsServer);
