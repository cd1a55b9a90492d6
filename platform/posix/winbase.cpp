// Win32 kernel functions on POSIX: recursive critical sections, Sleep, last error, interlocked counts,
// the version record and the lstr string functions.
#include <windows.h>

#include <pthread.h>
#include <time.h>
#include <unistd.h>
#include <sys/syscall.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <strings.h>

namespace {
pthread_mutex_t* MutexOf(LPCRITICAL_SECTION cs) {
    return static_cast<pthread_mutex_t*>(cs->LockSemaphore);
}
thread_local DWORD t_lastError = 0;
} // namespace

extern "C" {

void InitializeCriticalSection(LPCRITICAL_SECTION cs) {
    *cs = CRITICAL_SECTION{};
    // Like Win32, initialisation cannot report failure; a process out of memory here aborts.
    auto* mutex = static_cast<pthread_mutex_t*>(std::malloc(sizeof(pthread_mutex_t)));
    if (mutex == nullptr) {
        std::abort();
    }
    pthread_mutexattr_t attr;
    pthread_mutexattr_init(&attr);
    pthread_mutexattr_settype(&attr, PTHREAD_MUTEX_RECURSIVE);
    pthread_mutex_init(mutex, &attr);
    pthread_mutexattr_destroy(&attr);
    cs->LockSemaphore = mutex;
    cs->LockCount = -1;
}

BOOL InitializeCriticalSectionAndSpinCount(LPCRITICAL_SECTION cs, DWORD spinCount) {
    InitializeCriticalSection(cs);
    cs->SpinCount = spinCount;
    return TRUE;
}

void EnterCriticalSection(LPCRITICAL_SECTION cs) {
    pthread_mutex_lock(MutexOf(cs));
    cs->RecursionCount++;
    cs->OwningThread = reinterpret_cast<HANDLE>(static_cast<uintptr_t>(GetCurrentThreadId()));
}

BOOL TryEnterCriticalSection(LPCRITICAL_SECTION cs) {
    if (pthread_mutex_trylock(MutexOf(cs)) != 0) {
        return FALSE;
    }
    cs->RecursionCount++;
    cs->OwningThread = reinterpret_cast<HANDLE>(static_cast<uintptr_t>(GetCurrentThreadId()));
    return TRUE;
}

void LeaveCriticalSection(LPCRITICAL_SECTION cs) {
    if (--cs->RecursionCount == 0) {
        cs->OwningThread = nullptr;
    }
    pthread_mutex_unlock(MutexOf(cs));
}

void DeleteCriticalSection(LPCRITICAL_SECTION cs) {
    if (cs->LockSemaphore != nullptr) {
        pthread_mutex_destroy(MutexOf(cs));
        std::free(cs->LockSemaphore);
        cs->LockSemaphore = nullptr;
    }
}

void Sleep(DWORD ms) {
    timespec ts{static_cast<time_t>(ms / 1000), static_cast<long>(ms % 1000) * 1000000L};
    while (nanosleep(&ts, &ts) != 0) {
    }
}

DWORD GetTickCount(void) {
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<DWORD>(ts.tv_sec * 1000ULL + ts.tv_nsec / 1000000);
}

ULONGLONG GetTickCount64(void) {
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<ULONGLONG>(ts.tv_sec) * 1000ULL + static_cast<ULONGLONG>(ts.tv_nsec / 1000000);
}

DWORD GetCurrentThreadId(void) {
    // Asked on every EnterCriticalSection: ask the kernel once per thread.
    thread_local DWORD t_threadId = static_cast<DWORD>(syscall(SYS_gettid));
    return t_threadId;
}
DWORD GetCurrentProcessId(void) {
    return static_cast<DWORD>(getpid());
}

DWORD GetLastError(void) {
    return t_lastError;
}
void SetLastError(DWORD code) {
    t_lastError = code;
}

LONG InterlockedIncrement(LONG volatile* addend) {
    return __atomic_add_fetch(addend, 1, __ATOMIC_SEQ_CST);
}
LONG InterlockedDecrement(LONG volatile* addend) {
    return __atomic_sub_fetch(addend, 1, __ATOMIC_SEQ_CST);
}
LONG InterlockedExchange(LONG volatile* target, LONG value) {
    return __atomic_exchange_n(target, value, __ATOMIC_SEQ_CST);
}
LONG InterlockedExchangeAdd(LONG volatile* addend, LONG value) {
    return __atomic_fetch_add(addend, value, __ATOMIC_SEQ_CST);
}
LONG InterlockedCompareExchange(LONG volatile* destination, LONG exchange, LONG comparand) {
    __atomic_compare_exchange_n(destination, &comparand, exchange, false, __ATOMIC_SEQ_CST, __ATOMIC_SEQ_CST);
    return comparand; // the initial value, whether or not the exchange happened
}
PVOID InterlockedExchangePointer(PVOID volatile* target, PVOID value) {
    return __atomic_exchange_n(target, value, __ATOMIC_SEQ_CST);
}
PVOID InterlockedCompareExchangePointer(PVOID volatile* destination, PVOID exchange, PVOID comparand) {
    __atomic_compare_exchange_n(destination, &comparand, exchange, false, __ATOMIC_SEQ_CST, __ATOMIC_SEQ_CST);
    return comparand;
}

// The version an application without a compatibility manifest is told on current Windows: 6.2.9200.
static const DWORD kMajorVersion = 6;
static const DWORD kMinorVersion = 2;
static const DWORD kBuildNumber = 9200;

BOOL GetVersionExA(LPOSVERSIONINFOA info) {
    if (info == nullptr || (info->dwOSVersionInfoSize != sizeof(OSVERSIONINFOA) &&
                            info->dwOSVersionInfoSize != sizeof(OSVERSIONINFOEXA))) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    DWORD size = info->dwOSVersionInfoSize;
    std::memset(info, 0, size);
    info->dwOSVersionInfoSize = size;
    info->dwMajorVersion = kMajorVersion;
    info->dwMinorVersion = kMinorVersion;
    info->dwBuildNumber = kBuildNumber;
    info->dwPlatformId = VER_PLATFORM_WIN32_NT;
    return TRUE;
}

BOOL GetVersionExW(LPOSVERSIONINFOW info) {
    if (info == nullptr || info->dwOSVersionInfoSize != sizeof(OSVERSIONINFOW)) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    *info = OSVERSIONINFOW{};
    info->dwOSVersionInfoSize = sizeof(OSVERSIONINFOW);
    info->dwMajorVersion = kMajorVersion;
    info->dwMinorVersion = kMinorVersion;
    info->dwBuildNumber = kBuildNumber;
    info->dwPlatformId = VER_PLATFORM_WIN32_NT;
    return TRUE;
}

DWORD GetVersion(void) {
    return kMajorVersion | (kMinorVersion << 8) | (kBuildNumber << 16);
}

// This host sends no thread notifications to modules, so there is nothing to turn off.
BOOL DisableThreadLibraryCalls(HMODULE module) {
    return module != nullptr ? TRUE : FALSE;
}

// The lstr functions answer 0 or copy nothing for null strings instead of faulting, as Windows does.
// Comparisons are by code point: this host has no locale-aware collation for them.
int lstrlenA(LPCSTR s) {
    return s != nullptr ? static_cast<int>(std::strlen(s)) : 0;
}
int lstrlenW(LPCWSTR s) {
    return s != nullptr ? static_cast<int>(std::wcslen(s)) : 0;
}

LPSTR lstrcpyA(LPSTR dst, LPCSTR src) {
    return dst != nullptr && src != nullptr ? std::strcpy(dst, src) : nullptr;
}
LPWSTR lstrcpyW(LPWSTR dst, LPCWSTR src) {
    return dst != nullptr && src != nullptr ? std::wcscpy(dst, src) : nullptr;
}

extern "C++" {
template <class Ch> static Ch* CopyBounded(Ch* dst, const Ch* src, int max) {
    if (dst == nullptr || src == nullptr) {
        return nullptr;
    }
    if (max <= 0) {
        return dst;
    }
    int i = 0;
    for (; i < max - 1 && src[i] != 0; ++i) {
        dst[i] = src[i];
    }
    dst[i] = 0;
    return dst;
}
}

LPSTR lstrcpynA(LPSTR dst, LPCSTR src, int max) {
    return CopyBounded(dst, src, max);
}
LPWSTR lstrcpynW(LPWSTR dst, LPCWSTR src, int max) {
    return CopyBounded(dst, src, max);
}

LPSTR lstrcatA(LPSTR dst, LPCSTR src) {
    return dst != nullptr && src != nullptr ? std::strcat(dst, src) : nullptr;
}
LPWSTR lstrcatW(LPWSTR dst, LPCWSTR src) {
    return dst != nullptr && src != nullptr ? std::wcscat(dst, src) : nullptr;
}

static int Sign(int v) {
    return v < 0 ? -1 : (v > 0 ? 1 : 0);
}
int lstrcmpA(LPCSTR a, LPCSTR b) {
    return Sign(std::strcmp(a != nullptr ? a : "", b != nullptr ? b : ""));
}
int lstrcmpW(LPCWSTR a, LPCWSTR b) {
    return Sign(std::wcscmp(a != nullptr ? a : L"", b != nullptr ? b : L""));
}
int lstrcmpiA(LPCSTR a, LPCSTR b) {
    return Sign(strcasecmp(a != nullptr ? a : "", b != nullptr ? b : ""));
}
int lstrcmpiW(LPCWSTR a, LPCWSTR b) {
    return Sign(wcscasecmp(a != nullptr ? a : L"", b != nullptr ? b : L""));
}

} // extern "C"
