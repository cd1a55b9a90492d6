// Host COM objects (enumerators, the graph) come from the allocation module like the base layer's,
// so that its failure hook reaches them in tests.
#pragma once
#include <new>
#include <utility>

#include "baseclasses/allocation.h"

namespace qxhost {

template <class T, class... Args> T* MakeObject(Args&&... args) {
    void* block = MemAlloc(sizeof(T));
    return block != nullptr ? new (block) T(std::forward<Args>(args)...) : nullptr;
}

// Objects whose destructor is private name this function a friend.
template <class T> void DestroyObject(T* object) {
    object->~T();
    MemFree(object);
}

} // namespace qxhost
