#include "baseclasses/dllentry.h"

#include <string.h>

OSVERSIONINFOA g_osInfo;
DWORD g_amPlatform = 0;

EXTERN_C BOOL WINAPI DllEntryPoint(HINSTANCE hInstance, ULONG ulReason, LPVOID pv) {
    switch (ulReason) {
    case DLL_PROCESS_ATTACH:
        DisableThreadLibraryCalls(reinterpret_cast<HMODULE>(hInstance));
        g_hInst = hInstance;
        memset(&g_osInfo, 0, sizeof(g_osInfo));
        g_osInfo.dwOSVersionInfoSize = sizeof(g_osInfo);
        if (GetVersionExA(&g_osInfo)) {
            g_amPlatform = g_osInfo.dwPlatformId;
        }
        for (int i = 0; i < g_cTemplates; i++) {
            if (g_Templates[i].m_lpfnInit != NULL) {
                g_Templates[i].m_lpfnInit(TRUE, g_Templates[i].m_ClsID);
            }
        }
        break;
    case DLL_PROCESS_DETACH:
        for (int i = 0; i < g_cTemplates; i++) {
            if (g_Templates[i].m_lpfnInit != NULL) {
                g_Templates[i].m_lpfnInit(FALSE, g_Templates[i].m_ClsID);
            }
        }
        break;
    default:
        break;
    }
    return TRUE;
}
