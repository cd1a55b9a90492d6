#include "baseclasses/allocation.h"

#include <atomic>
#include <cstdlib>
#include <cstring>

namespace {
std::atomic<unsigned long> g_attempts{0};
std::atomic<unsigned long> g_failAt{0}; // attempt number that fails; 0 = none
std::atomic<bool> g_failAfter{false};   // every attempt from g_failAt on fails

bool ShouldFail() {
    unsigned long attempt = ++g_attempts;
    unsigned long failAt = g_failAt.load();
    if (failAt == 0) {
        return false;
    }
    return g_failAfter.load() ? attempt >= failAt : attempt == failAt;
}
} // namespace

void* MemAlloc(SIZE_T size) {
    if (ShouldFail()) {
        return nullptr;
    }
    // A zero-sized request still yields a distinct block that MemFree accepts.
    return std::malloc(size == 0 ? 1 : size);
}

void* MemAllocZero(SIZE_T size) {
    void* block = MemAlloc(size);
    if (block != nullptr) {
        std::memset(block, 0, size == 0 ? 1 : size);
    }
    return block;
}

void MemFree(void* block) {
    std::free(block);
}

void MemFailAt(unsigned long n) {
    g_failAfter = false;
    g_failAt = n == 0 ? 0 : g_attempts.load() + n;
}

void MemFailFrom(unsigned long n) {
    g_failAfter = true;
    g_failAt = n == 0 ? 0 : g_attempts.load() + n;
}

unsigned long MemAllocationCount() {
    return g_attempts.load();
}
