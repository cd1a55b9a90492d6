// The page's dialog and title string for hosts that take resources as data rather than from the
// module image. On Windows the resource script supplies them and this does nothing.
#pragma once
#include <windows.h>

// Registers dialog 107 and string 100 under module (null: the executable). FALSE when the platform
// could not keep them (out of memory).
BOOL RegisterPageResources(HINSTANCE module);
