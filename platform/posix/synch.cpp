// Win32 semaphores and events on POSIX: one mutex and condition variable per object.
#include <windows.h>

#include <pthread.h>
#include <time.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <new>

#include "testhooks.h"

namespace {

enum class Kind { Semaphore, Event };

struct KernelObject {
    Kind kind;
    pthread_mutex_t lock;
    pthread_cond_t changed;
    LONG count;   // semaphore: current count; event: 1 when signalled
    LONG maximum; // semaphore only
    bool manualReset;
};

std::atomic<unsigned long> g_failAt{0};

KernelObject* NewObject(Kind kind, LPCWSTR name) {
    if (name != nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    unsigned long failAt = g_failAt.load();
    if (failAt != 0) {
        g_failAt.compare_exchange_strong(failAt, failAt - 1);
        if (failAt == 1) {
            SetLastError(ERROR_NOT_ENOUGH_MEMORY);
            return nullptr;
        }
    }
    auto* o = new (std::nothrow) KernelObject{};
    if (o == nullptr) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    o->kind = kind;
    pthread_mutex_init(&o->lock, nullptr);
    pthread_condattr_t attr;
    pthread_condattr_init(&attr);
    pthread_condattr_setclock(&attr, CLOCK_MONOTONIC);
    pthread_cond_init(&o->changed, &attr);
    pthread_condattr_destroy(&attr);
    return o;
}

KernelObject* ObjectOf(HANDLE h, Kind kind) {
    auto* o = static_cast<KernelObject*>(h);
    if (o == nullptr || o->kind != kind) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    return o;
}

} // namespace

void KernelObjectFailAt(unsigned long n) {
    g_failAt.store(n);
}

extern "C" {

HANDLE CreateSemaphoreW(LPSECURITY_ATTRIBUTES, LONG initialCount, LONG maximumCount, LPCWSTR name) {
    if (maximumCount <= 0 || initialCount < 0 || initialCount > maximumCount) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    KernelObject* o = NewObject(Kind::Semaphore, name);
    if (o != nullptr) {
        o->count = initialCount;
        o->maximum = maximumCount;
    }
    return o;
}

BOOL ReleaseSemaphore(HANDLE h, LONG releaseCount, LPLONG previousCount) {
    KernelObject* o = ObjectOf(h, Kind::Semaphore);
    if (o == nullptr) {
        return FALSE;
    }
    if (releaseCount <= 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    pthread_mutex_lock(&o->lock);
    // As on Windows, a release past the maximum changes nothing.
    bool fits = releaseCount <= o->maximum - o->count;
    if (fits) {
        if (previousCount != nullptr) {
            *previousCount = o->count;
        }
        o->count += releaseCount;
        pthread_cond_broadcast(&o->changed);
    }
    pthread_mutex_unlock(&o->lock);
    if (!fits) {
        SetLastError(ERROR_TOO_MANY_POSTS);
    }
    return fits ? TRUE : FALSE;
}

HANDLE CreateEventW(LPSECURITY_ATTRIBUTES, BOOL manualReset, BOOL initialState, LPCWSTR name) {
    KernelObject* o = NewObject(Kind::Event, name);
    if (o != nullptr) {
        o->manualReset = manualReset != FALSE;
        o->count = initialState ? 1 : 0;
    }
    return o;
}

static BOOL SetEventState(HANDLE h, LONG state) {
    KernelObject* o = ObjectOf(h, Kind::Event);
    if (o == nullptr) {
        return FALSE;
    }
    pthread_mutex_lock(&o->lock);
    o->count = state;
    if (state != 0) {
        pthread_cond_broadcast(&o->changed);
    }
    pthread_mutex_unlock(&o->lock);
    return TRUE;
}

BOOL SetEvent(HANDLE h) {
    return SetEventState(h, 1);
}

BOOL ResetEvent(HANDLE h) {
    return SetEventState(h, 0);
}

DWORD WaitForSingleObject(HANDLE h, DWORD milliseconds) {
    auto* o = static_cast<KernelObject*>(h);
    if (o == nullptr) {
        SetLastError(ERROR_INVALID_HANDLE);
        return WAIT_FAILED;
    }
    timespec deadline{};
    clock_gettime(CLOCK_MONOTONIC, &deadline);
    deadline.tv_sec += milliseconds / 1000;
    deadline.tv_nsec += static_cast<long>(milliseconds % 1000) * 1000000L;
    if (deadline.tv_nsec >= 1000000000L) {
        deadline.tv_sec++;
        deadline.tv_nsec -= 1000000000L;
    }
    pthread_mutex_lock(&o->lock);
    DWORD result = WAIT_OBJECT_0;
    while (o->count == 0) {
        if (milliseconds == INFINITE) {
            pthread_cond_wait(&o->changed, &o->lock);
        } else if (pthread_cond_timedwait(&o->changed, &o->lock, &deadline) == ETIMEDOUT) {
            if (o->count == 0) {
                result = WAIT_TIMEOUT;
            }
            break;
        }
    }
    // A semaphore gives one unit to each satisfied wait; an auto-reset event lets one waiter through.
    if (result == WAIT_OBJECT_0 && (o->kind == Kind::Semaphore || !o->manualReset)) {
        o->count--;
    }
    pthread_mutex_unlock(&o->lock);
    return result;
}

BOOL CloseHandle(HANDLE h) {
    auto* o = static_cast<KernelObject*>(h);
    if (o == nullptr) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    pthread_cond_destroy(&o->changed);
    pthread_mutex_destroy(&o->lock);
    delete o;
    return TRUE;
}

} // extern "C"
