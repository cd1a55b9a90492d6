// An ITableCollector whose every method only records its own name, built against the C++ view, and
// the interface's slots called through the C view's call macros. The two views are never seen by one
// translation unit: objects cross as untyped pointers.
#pragma once
#include <windows.h>

#include <cstddef>

struct StoredSection;

void* NewSlotRecorder();
void DeleteSlotRecorder(void* recorder);
// The name of the method last called on the recorder, or "" before the first call.
const char* LastReachedMethod(void* recorder);

// The slots after IUnknown's, in order, each called on itf (an ITableCollector) with harmless arguments.
size_t SlotCount();
const char* SlotName(size_t slot);
HRESULT CallSlot(size_t slot, void* itf, ULONG& value, StoredSection*& section);
