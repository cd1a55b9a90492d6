/* Window geometry of the Windows SDK: points, sizes and rectangles, in pixels unless a function says
   dialog units. Self-contained so that <ocidl.h> and <winuser.h> can take it in either order. */
#pragma once
#include <basetsd.h>

typedef struct tagPOINT {
    LONG x;
    LONG y;
} POINT, *PPOINT, *LPPOINT;

typedef struct tagSIZE {
    LONG cx;
    LONG cy;
} SIZE, *PSIZE, *LPSIZE;

typedef struct tagRECT {
    LONG left;
    LONG top;
    LONG right;
    LONG bottom;
} RECT, *PRECT, *LPRECT;
typedef const RECT* LPCRECT;
