// An ITableCollector whose every method only records its own name, built against the C++ view. The
// slot test reaches it through the C view, so the two views are never seen by one translation unit:
// the object crosses as an untyped pointer.
#pragma once

void* NewSlotRecorder();
void DeleteSlotRecorder(void* recorder);
// The name of the method last called on the recorder, or "" before the first call.
const char* LastReachedMethod(void* recorder);
