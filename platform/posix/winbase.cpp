// Win32 kernel functions on POSIX: recursive critical sections, Sleep, last error, interlocked counts.
#include <windows.h>

#include <pthread.h>
#include <time.h>
#include <unistd.h>
#include <sys/syscall.h>

#include <atomic>
#include <cstdlib>

namespace {
pthread_mutex_t* MutexOf(LPCRITICAL_SECTION cs) { return static_cast<pthread_mutex_t*>(cs->LockSemaphore); }
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

DWORD GetCurrentThreadId(void) { return static_cast<DWORD>(syscall(SYS_gettid)); }

DWORD GetLastError(void) { return t_lastError; }
void SetLastError(DWORD code) { t_lastError = code; }

LONG InterlockedIncrement(LONG volatile* addend) { return __atomic_add_fetch(addend, 1, __ATOMIC_SEQ_CST); }
LONG InterlockedDecrement(LONG volatile* addend) { return __atomic_sub_fetch(addend, 1, __ATOMIC_SEQ_CST); }

} // extern "C"
