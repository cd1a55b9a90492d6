/* On this host DEFINE_GUID always defines its identifier (see <guiddef.h>); the header exists so that
   code written for the Windows SDK, which includes it in one translation unit, builds unchanged. */
#pragma once
#ifndef INITGUID
#define INITGUID
#endif
#include <guiddef.h>
