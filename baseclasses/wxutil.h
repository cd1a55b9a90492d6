// Locks and small helpers of the base layer: the critical-section wrapper, its scope guard, and the
// debug-support macros that code written against the classic base classes expects.
#pragma once
#include <windows.h>
#include <objbase.h>

// Release-build forms of the classic debug macros: names are kept for the code that uses them.
#ifndef NAME
#define NAME(x) TEXT(x)
#endif
#ifndef ASSERT
#define ASSERT(x) ((void)0)
#endif
#ifndef EXECUTE_ASSERT
#define EXECUTE_ASSERT(x) ((void)(x))
#endif
#ifndef DbgLog
#define DbgLog(x) ((void)0)
#endif
#ifndef DbgBreak
#define DbgBreak(x) ((void)0)
#endif
#define ValidateReadPtr(p, cb) ((void)0)
#define ValidateWritePtr(p, cb) ((void)0)
#define ValidateReadWritePtr(p, cb) ((void)0)

// Returns ret from the calling function when the pointer is null.
#define CheckPointer(p, ret)                                                                                 \
    {                                                                                                        \
        if ((p) == NULL)                                                                                     \
            return (ret);                                                                                    \
    }

// A Win32 critical section: recursive for the thread that holds it.
class CCritSec {
public:
    CCritSec() { InitializeCriticalSection(&m_CritSec); }
    ~CCritSec() { DeleteCriticalSection(&m_CritSec); }
    CCritSec(const CCritSec&) = delete;
    CCritSec& operator=(const CCritSec&) = delete;

    void Lock() { EnterCriticalSection(&m_CritSec); }
    void Unlock() { LeaveCriticalSection(&m_CritSec); }

    // Whether the calling thread holds the lock (for checks in debug code).
    BOOL IsHeldByCurrentThread() const;

private:
    CRITICAL_SECTION m_CritSec;
};

// TRUE when the calling thread holds the lock.
BOOL WINAPI CritCheckIn(const CCritSec* pcCrit);
BOOL WINAPI CritCheckOut(const CCritSec* pcCrit);

// Checks of "called with the lock held" contracts. Off by default, so a check costs one load; a test
// turns them on and reads how many calls came without the lock.
void WINAPI CheckLockHeld(const CCritSec* pcCrit);
void WINAPI SetLockChecks(BOOL on);
LONG WINAPI LockCheckFailures();

// Holds a CCritSec for the life of the guard.
class CAutoLock {
public:
    explicit CAutoLock(CCritSec* plock) : m_pLock(plock) { m_pLock->Lock(); }
    ~CAutoLock() { m_pLock->Unlock(); }
    CAutoLock(const CAutoLock&) = delete;
    CAutoLock& operator=(const CAutoLock&) = delete;

protected:
    CCritSec* m_pLock;
};

// Copies a wide string into a block from the COM task allocator, which the caller frees with
// CoTaskMemFree (IPin::QueryId and similar out-strings).
STDAPI AMGetWideString(LPCWSTR pszString, LPWSTR* ppszReturn);

// Length-limited wide copy that always terminates (cchDest > 0).
void WINAPI CopyWideName(WCHAR* pDest, size_t cchDest, LPCWSTR pSource);
// A MemAlloc'd copy of a wide string; null for a null source or when out of memory.
WCHAR* WINAPI DuplicateWideString(LPCWSTR pSource);
