#include "baseclasses/dllsetup.h"

#include <string.h>
#include <wchar.h>

#include <uuids.h>

namespace {

const HRESULT kFileNotFound = HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);

// "CLSID\{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}"
BOOL ClassKeyName(REFCLSID clsid, WCHAR* name, size_t cch) {
    static const WCHAR kPrefix[] = L"CLSID\\";
    size_t prefix = wcslen(kPrefix);
    if (cch < prefix + CHARS_IN_GUID) {
        return FALSE;
    }
    wcscpy(name, kPrefix);
    return StringFromGUID2(clsid, name + prefix, static_cast<int>(cch - prefix)) == CHARS_IN_GUID;
}

HRESULT FromRegistry(LONG rc) {
    return rc == ERROR_SUCCESS ? S_OK : HRESULT_FROM_WIN32(static_cast<DWORD>(rc));
}

HRESULT SetStringValue(HKEY hkey, LPCWSTR valueName, LPCWSTR value) {
    DWORD bytes = static_cast<DWORD>((wcslen(value) + 1) * sizeof(WCHAR));
    return FromRegistry(
        RegSetValueExW(hkey, valueName, 0, REG_SZ, reinterpret_cast<const BYTE*>(value), bytes));
}

// Deletes a key and everything below it, depth first; a key that will not open is left alone.
void EliminateSubKey(HKEY hParent, LPCWSTR name) {
    HKEY hkey = NULL;
    if (RegOpenKeyExW(hParent, name, 0, KEY_ALL_ACCESS, &hkey) != ERROR_SUCCESS) {
        return;
    }
    WCHAR child[MAX_PATH];
    for (;;) {
        DWORD cch = MAX_PATH;
        // Always the first subkey: each one is gone once handled.
        if (RegEnumKeyExW(hkey, 0, child, &cch, NULL, NULL, NULL, NULL) != ERROR_SUCCESS) {
            break;
        }
        HKEY hBefore = NULL;
        EliminateSubKey(hkey, child);
        // A subkey that could not be removed would be found again for ever.
        if (RegOpenKeyExW(hkey, child, 0, KEY_READ, &hBefore) == ERROR_SUCCESS) {
            RegCloseKey(hBefore);
            break;
        }
    }
    RegCloseKey(hkey);
    RegDeleteKeyW(hParent, name);
}

} // namespace

STDAPI AMovieSetupRegisterServer(CLSID clsServer, LPCWSTR szDescription, LPCWSTR szFileName,
                                 LPCWSTR szThreadingModel, LPCWSTR szServerType) {
    WCHAR keyName[MAX_PATH];
    if (!ClassKeyName(clsServer, keyName, MAX_PATH)) {
        return E_UNEXPECTED;
    }
    HKEY hkey = NULL;
    HRESULT hr = FromRegistry(RegCreateKeyW(HKEY_CLASSES_ROOT, keyName, &hkey));
    if (FAILED(hr)) {
        return hr;
    }
    hr = SetStringValue(hkey, NULL, szDescription != NULL ? szDescription : L"");
    if (SUCCEEDED(hr)) {
        HKEY hsubkey = NULL;
        hr = FromRegistry(RegCreateKeyW(hkey, szServerType, &hsubkey));
        if (SUCCEEDED(hr)) {
            hr = SetStringValue(hsubkey, NULL, szFileName);
            if (SUCCEEDED(hr)) {
                hr = SetStringValue(hsubkey, L"ThreadingModel", szThreadingModel);
            }
            RegCloseKey(hsubkey);
        }
    }
    RegCloseKey(hkey);
    return hr;
}

STDAPI AMovieSetupUnregisterServer(CLSID clsServer) {
    WCHAR keyName[MAX_PATH];
    if (ClassKeyName(clsServer, keyName, MAX_PATH)) {
        EliminateSubKey(HKEY_CLASSES_ROOT, keyName);
    }
    return S_OK;
}

STDAPI AMovieSetupRegisterFilter2(const AMOVIESETUP_FILTER* const psetupdata, IFilterMapper2* pIFM2,
                                  BOOL bRegister) {
    if (psetupdata == NULL) {
        return S_FALSE;
    }
    // Unregistered first so that registering twice leaves one entry.
    HRESULT hr = pIFM2->UnregisterFilter(NULL, NULL, *psetupdata->clsID);
    if (hr == kFileNotFound) {
        hr = S_OK;
    }
    if (FAILED(hr) || !bRegister) {
        return hr;
    }
    REGFILTER2 rf2;
    memset(&rf2, 0, sizeof(rf2));
    rf2.dwVersion = 1;
    rf2.dwMerit = psetupdata->dwMerit;
    rf2.cPins = psetupdata->nPins;
    rf2.rgPins = psetupdata->lpPin;
    hr = pIFM2->RegisterFilter(*psetupdata->clsID, psetupdata->strName, NULL, NULL, NULL, &rf2);
    return hr == kFileNotFound ? S_OK : hr;
}

STDAPI AMovieSetupRegisterFilter(const AMOVIESETUP_FILTER* const psetupdata, IFilterMapper* pIFM,
                                 BOOL bRegister) {
    if (psetupdata == NULL) {
        return S_FALSE;
    }
    HRESULT hr = pIFM->UnregisterFilter(*psetupdata->clsID);
    if (hr == kFileNotFound) {
        hr = S_OK;
    }
    if (FAILED(hr) || !bRegister) {
        return hr;
    }
    hr = pIFM->RegisterFilter(*psetupdata->clsID, psetupdata->strName, psetupdata->dwMerit);
    for (UINT i = 0; SUCCEEDED(hr) && i < psetupdata->nPins; i++) {
        const AMOVIESETUP_PIN& pin = psetupdata->lpPin[i];
        CLSID connectsTo = pin.clsConnectsToFilter != NULL ? *pin.clsConnectsToFilter : CLSID_NULL;
        hr = pIFM->RegisterPin(*psetupdata->clsID, pin.strName, pin.bRendered, pin.bOutput, pin.bZero,
                               pin.bMany, connectsTo, pin.strConnectsToPin);
        for (UINT t = 0; SUCCEEDED(hr) && t < pin.nMediaTypes; t++) {
            const AMOVIESETUP_MEDIATYPE& type = pin.lpMediaType[t];
            hr = pIFM->RegisterPinType(*psetupdata->clsID, pin.strName,
                                       type.clsMajorType != NULL ? *type.clsMajorType : GUID_NULL,
                                       type.clsMinorType != NULL ? *type.clsMinorType : GUID_NULL);
        }
    }
    return hr == kFileNotFound ? S_OK : hr;
}

STDAPI AMovieDllRegisterServer2(BOOL bRegister) {
    // 1. The module's path, as a wide string in the ANSI code page.
    char achFileName[MAX_PATH];
    if (GetModuleFileNameA(reinterpret_cast<HMODULE>(g_hInst), achFileName, MAX_PATH) == 0) {
        DWORD err = GetLastError();
        return err != 0 ? HRESULT_FROM_WIN32(err) : E_FAIL;
    }
    WCHAR achFileNameW[MAX_PATH];
    if (MultiByteToWideChar(CP_ACP, 0, achFileName, -1, achFileNameW, MAX_PATH) == 0) {
        DWORD err = GetLastError();
        return err != 0 ? HRESULT_FROM_WIN32(err) : E_FAIL;
    }

    // 2. The COM server keys.
    HRESULT hr = S_OK;
    if (bRegister) {
        for (int i = 0; i < g_cTemplates; i++) {
            const CFactoryTemplate* pT = &g_Templates[i];
            hr =
                AMovieSetupRegisterServer(*pT->m_ClsID, pT->m_Name, achFileNameW, L"Both", L"InprocServer32");
            if (FAILED(hr)) {
                return hr;
            }
        }
    }

    // 3. and 4. The filter mapper.
    HRESULT hrInit = CoInitialize(NULL);
    IFilterMapper2* pIFM2 = NULL;
    IFilterMapper* pIFM = NULL;
    hr = CoCreateInstance(CLSID_FilterMapper2, NULL, CLSCTX_INPROC_SERVER, IID_IFilterMapper2,
                          reinterpret_cast<void**>(&pIFM2));
    if (FAILED(hr)) {
        pIFM2 = NULL;
        hr = CoCreateInstance(CLSID_FilterMapper, NULL, CLSCTX_INPROC_SERVER, IID_IFilterMapper,
                              reinterpret_cast<void**>(&pIFM));
        if (FAILED(hr)) {
            pIFM = NULL;
        }
    }
    if (SUCCEEDED(hr)) {
        for (int i = 0; i < g_cTemplates; i++) {
            const CFactoryTemplate* pT = &g_Templates[i];
            if (pT->m_pAMovieSetup_Filter == NULL) {
                continue;
            }
            const AMOVIESETUP_FILTER* psetup =
                reinterpret_cast<const AMOVIESETUP_FILTER*>(pT->m_pAMovieSetup_Filter);
            hr = pIFM2 != NULL ? AMovieSetupRegisterFilter2(psetup, pIFM2, bRegister)
                               : AMovieSetupRegisterFilter(psetup, pIFM, bRegister);
            if (FAILED(hr)) {
                break;
            }
        }
        if (pIFM2 != NULL) {
            pIFM2->Release();
        }
        if (pIFM != NULL) {
            pIFM->Release();
        }
    }

    // 5. Let go of COM.
    CoFreeUnusedLibraries();
    if (SUCCEEDED(hrInit)) {
        CoUninitialize();
    }

    // 6. The COM server keys go last, and only when the mapper let go of the filters.
    if (!bRegister && SUCCEEDED(hr)) {
        for (int i = 0; i < g_cTemplates; i++) {
            HRESULT hrKey = AMovieSetupUnregisterServer(*g_Templates[i].m_ClsID);
            if (FAILED(hrKey) && SUCCEEDED(hr)) {
                hr = hrKey;
            }
        }
    }
    return FAILED(hr) ? hr : S_OK;
}

STDAPI AMovieDllRegisterServer() {
    return AMovieDllRegisterServer2(TRUE);
}

STDAPI AMovieDllUnregisterServer() {
    return AMovieDllRegisterServer2(FALSE);
}
