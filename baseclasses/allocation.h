// The one allocation module of the system and the base layer. Every heap block goes through here so
// that a test can make the Nth allocation fail and watch the out-of-memory path run.
#pragma once
#include <windows.h>
#include <new>
#include <utility>

void* MemAlloc(SIZE_T size);     // null on failure
void* MemAllocZero(SIZE_T size); // zero-filled; null on failure
void MemFree(void* block);       // null is fine

// Constructs a T in a block from MemAlloc; null when the allocation fails.
template <class T, class... Args> T* MemNew(Args&&... args) {
    void* block = MemAlloc(sizeof(T));
    if (block == nullptr) {
        return nullptr;
    }
    return new (block) T(std::forward<Args>(args)...);
}

template <class T> void MemDelete(T* object) {
    if (object != nullptr) {
        object->~T();
        MemFree(object);
    }
}

// Test hook. MemFailAt(n) makes the nth allocation from now fail (1 = the next one); 0 turns it off.
// MemFailFrom(n) makes the nth and every later allocation fail. MemAllocationCount counts every
// allocation attempt made so far, failed ones included.
void MemFailAt(unsigned long n);
void MemFailFrom(unsigned long n);
unsigned long MemAllocationCount();
