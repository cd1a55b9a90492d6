// The COM task allocator, with a failure hook so callers' out-of-memory paths can be tested.
#include <objbase.h>

#include "testhooks.h"

#include <atomic>
#include <cstdlib>

namespace {
std::atomic<unsigned long> g_failAt{0}; // countdown to the failing allocation; 0 = off
std::atomic<bool> g_failFrom{false};    // once the countdown fires, keep failing
std::atomic<bool> g_failing{false};
std::atomic<long> g_outstanding{0};

// Answers whether this allocation attempt is to fail.
bool ShouldFail() {
    if (g_failing.load()) {
        return true;
    }
    unsigned long n = g_failAt.load();
    while (n != 0) {
        if (g_failAt.compare_exchange_weak(n, n - 1)) {
            if (n == 1) {
                if (g_failFrom.load()) {
                    g_failing = true;
                }
                return true;
            }
            return false;
        }
    }
    return false;
}
} // namespace

extern "C" {

LPVOID CoTaskMemAlloc(SIZE_T cb) {
    if (ShouldFail()) {
        return nullptr;
    }
    // As on Windows, a zero-byte request still yields a distinct, freeable block.
    void* block = std::malloc(cb == 0 ? 1 : cb);
    if (block != nullptr) {
        ++g_outstanding;
    }
    return block;
}

LPVOID CoTaskMemRealloc(LPVOID pv, SIZE_T cb) {
    if (pv == nullptr) {
        return CoTaskMemAlloc(cb);
    }
    if (cb == 0) {
        CoTaskMemFree(pv);
        return nullptr;
    }
    if (ShouldFail()) {
        return nullptr; // the old block stays valid, as documented
    }
    return std::realloc(pv, cb);
}

void CoTaskMemFree(LPVOID pv) {
    if (pv != nullptr) {
        --g_outstanding;
        std::free(pv);
    }
}

} // extern "C"

void TaskMemFailAt(unsigned long n) {
    g_failing = false;
    g_failFrom = false;
    g_failAt = n;
}

void TaskMemFailFrom(unsigned long n) {
    g_failing = false;
    g_failFrom = n != 0;
    g_failAt = n;
}

long TaskMemOutstanding() {
    return g_outstanding.load();
}
