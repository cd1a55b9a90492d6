/* Win32 kernel functions the system uses: critical sections, Sleep, debug output, modules. */
#pragma once
#include <basetsd.h>

#ifdef __cplusplus
extern "C" {
#endif

/* The SDK's layout; on POSIX hosts the implementation keeps a recursive mutex behind LockSemaphore. */
typedef struct _RTL_CRITICAL_SECTION {
    void* DebugInfo;
    LONG LockCount;
    LONG RecursionCount;
    HANDLE OwningThread;
    HANDLE LockSemaphore;
    ULONG_PTR SpinCount;
} RTL_CRITICAL_SECTION, CRITICAL_SECTION, *LPCRITICAL_SECTION, *PCRITICAL_SECTION;

void InitializeCriticalSection(LPCRITICAL_SECTION lpCriticalSection);
void EnterCriticalSection(LPCRITICAL_SECTION lpCriticalSection);
void LeaveCriticalSection(LPCRITICAL_SECTION lpCriticalSection);
BOOL TryEnterCriticalSection(LPCRITICAL_SECTION lpCriticalSection);
void DeleteCriticalSection(LPCRITICAL_SECTION lpCriticalSection);

void Sleep(DWORD dwMilliseconds);
DWORD GetTickCount(void);
DWORD GetCurrentThreadId(void);

void OutputDebugStringA(LPCSTR lpOutputString);
int wsprintfA(LPSTR buffer, LPCSTR format, ...);

DWORD GetLastError(void);
void SetLastError(DWORD dwErrCode);

LONG InterlockedIncrement(LONG volatile* addend);
LONG InterlockedDecrement(LONG volatile* addend);

#ifdef __cplusplus
}
#endif
