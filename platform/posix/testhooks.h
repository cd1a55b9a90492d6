// Test-only controls of the POSIX platform. Tests may include this header; system code never does.
#pragma once
#include <string>

// Debug output: everything written through OutputDebugStringA/W since the last clear, as UTF-8.
// DebugOutputCapture answers the captured text and clears it; DebugOutputPeek leaves it in place.
std::string DebugOutputCapture();
std::string DebugOutputPeek();
void DebugOutputClear();

// Task allocator. TaskMemFailAt(n) makes the nth allocation from now fail (1 = the next one; 0 turns the
// hook off); TaskMemFailFrom(n) makes the nth and every later one fail. CoTaskMemAlloc and every
// CoTaskMemRealloc that needs a block count as allocations. TaskMemOutstanding counts blocks handed out
// and not yet freed, to catch a caller that leaks or double-frees task memory.
void TaskMemFailAt(unsigned long n);
void TaskMemFailFrom(unsigned long n);
long TaskMemOutstanding();

// Registry: the file the registry functions use now ($QUENLIX_REGISTRY when set). Tests point
// QUENLIX_REGISTRY at a file of their own so that they never touch the user's registry.
std::string RegistryFilePath();
