/* Common controls of the Windows SDK (<commctrl.h>) for non-Windows hosts: the list-view control in report
   view, with the SDK's message numbers, structures and ListView_ macros. The control keeps items,
   sub-item texts, columns and states; it draws nothing, has no header control (LVM_GETHEADER answers
   NULL) and sends no notifications. */
#pragma once
#include <windows.h>
#include <winuser.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef struct tagINITCOMMONCONTROLSEX {
    DWORD dwSize;
    DWORD dwICC;
} INITCOMMONCONTROLSEX, *LPINITCOMMONCONTROLSEX;

#define ICC_LISTVIEW_CLASSES 0x1
#define ICC_TREEVIEW_CLASSES 0x2
#define ICC_BAR_CLASSES 0x4
#define ICC_TAB_CLASSES 0x8
#define ICC_UPDOWN_CLASS 0x10
#define ICC_PROGRESS_CLASS 0x20
#define ICC_WIN95_CLASSES 0xff
#define ICC_STANDARD_CLASSES 0x4000

/* The list view is always available on this host; these only check their argument. */
void WINAPI InitCommonControls(void);
BOOL WINAPI InitCommonControlsEx(const INITCOMMONCONTROLSEX* picce);

#define WC_LISTVIEWA "SysListView32"
#define WC_LISTVIEWW L"SysListView32"

#define LVS_ICON 0x0000
#define LVS_REPORT 0x0001
#define LVS_SMALLICON 0x0002
#define LVS_LIST 0x0003
#define LVS_TYPEMASK 0x0003
#define LVS_SINGLESEL 0x0004
#define LVS_SHOWSELALWAYS 0x0008
#define LVS_SORTASCENDING 0x0010
#define LVS_SORTDESCENDING 0x0020
#define LVS_SHAREIMAGELISTS 0x0040
#define LVS_NOLABELWRAP 0x0080
#define LVS_AUTOARRANGE 0x0100
#define LVS_EDITLABELS 0x0200
#define LVS_OWNERDATA 0x1000
#define LVS_NOSCROLL 0x2000
#define LVS_ALIGNTOP 0x0000
#define LVS_ALIGNLEFT 0x0800
#define LVS_OWNERDRAWFIXED 0x0400
#define LVS_NOCOLUMNHEADER 0x4000
#define LVS_NOSORTHEADER 0x8000

#define LVS_EX_GRIDLINES 0x00000001
#define LVS_EX_SUBITEMIMAGES 0x00000002
#define LVS_EX_CHECKBOXES 0x00000004
#define LVS_EX_TRACKSELECT 0x00000008
#define LVS_EX_HEADERDRAGDROP 0x00000010
#define LVS_EX_FULLROWSELECT 0x00000020
#define LVS_EX_ONECLICKACTIVATE 0x00000040
#define LVS_EX_TWOCLICKACTIVATE 0x00000080
#define LVS_EX_INFOTIP 0x00000400
#define LVS_EX_LABELTIP 0x00004000
#define LVS_EX_DOUBLEBUFFER 0x00010000

#define LVIF_TEXT 0x0001
#define LVIF_IMAGE 0x0002
#define LVIF_PARAM 0x0004
#define LVIF_STATE 0x0008
#define LVIF_INDENT 0x0010

#define LVIS_FOCUSED 0x0001
#define LVIS_SELECTED 0x0002
#define LVIS_CUT 0x0004
#define LVIS_DROPHILITED 0x0008
#define LVIS_OVERLAYMASK 0x0F00
#define LVIS_STATEIMAGEMASK 0xF000

#define LVNI_ALL 0x0000
#define LVNI_FOCUSED 0x0001
#define LVNI_SELECTED 0x0002
#define LVNI_CUT 0x0004
#define LVNI_DROPHILITED 0x0008

#define LPSTR_TEXTCALLBACKA ((LPSTR)(INT_PTR)-1)
#define LPSTR_TEXTCALLBACKW ((LPWSTR)(INT_PTR)-1)
#define I_IMAGECALLBACK (-1)

typedef struct tagLVITEMA {
    UINT mask;
    int iItem;
    int iSubItem;
    UINT state;
    UINT stateMask;
    LPSTR pszText;
    int cchTextMax;
    int iImage;
    LPARAM lParam;
    int iIndent;
    int iGroupId;
    UINT cColumns;
    PUINT puColumns;
    int* piColFmt;
    int iGroup;
} LVITEMA, *LPLVITEMA;

typedef struct tagLVITEMW {
    UINT mask;
    int iItem;
    int iSubItem;
    UINT state;
    UINT stateMask;
    LPWSTR pszText;
    int cchTextMax;
    int iImage;
    LPARAM lParam;
    int iIndent;
    int iGroupId;
    UINT cColumns;
    PUINT puColumns;
    int* piColFmt;
    int iGroup;
} LVITEMW, *LPLVITEMW;

#define LVCF_FMT 0x0001
#define LVCF_WIDTH 0x0002
#define LVCF_TEXT 0x0004
#define LVCF_SUBITEM 0x0008
#define LVCF_IMAGE 0x0010
#define LVCF_ORDER 0x0020

#define LVCFMT_LEFT 0x0000
#define LVCFMT_RIGHT 0x0001
#define LVCFMT_CENTER 0x0002
#define LVCFMT_JUSTIFYMASK 0x0003

typedef struct tagLVCOLUMNA {
    UINT mask;
    int fmt;
    int cx;
    LPSTR pszText;
    int cchTextMax;
    int iSubItem;
    int iImage;
    int iOrder;
    int cxMin;
    int cxDefault;
    int cxIdeal;
} LVCOLUMNA, *LPLVCOLUMNA;

typedef struct tagLVCOLUMNW {
    UINT mask;
    int fmt;
    int cx;
    LPWSTR pszText;
    int cchTextMax;
    int iSubItem;
    int iImage;
    int iOrder;
    int cxMin;
    int cxDefault;
    int cxIdeal;
} LVCOLUMNW, *LPLVCOLUMNW;

#define LVM_FIRST 0x1000
#define LVM_GETITEMCOUNT (LVM_FIRST + 4)
#define LVM_GETITEMA (LVM_FIRST + 5)
#define LVM_SETITEMA (LVM_FIRST + 6)
#define LVM_INSERTITEMA (LVM_FIRST + 7)
#define LVM_DELETEITEM (LVM_FIRST + 8)
#define LVM_DELETEALLITEMS (LVM_FIRST + 9)
#define LVM_GETNEXTITEM (LVM_FIRST + 12)
#define LVM_ENSUREVISIBLE (LVM_FIRST + 19)
#define LVM_GETCOLUMNA (LVM_FIRST + 25)
#define LVM_SETCOLUMNA (LVM_FIRST + 26)
#define LVM_INSERTCOLUMNA (LVM_FIRST + 27)
#define LVM_DELETECOLUMN (LVM_FIRST + 28)
#define LVM_GETCOLUMNWIDTH (LVM_FIRST + 29)
#define LVM_SETCOLUMNWIDTH (LVM_FIRST + 30)
#define LVM_GETHEADER (LVM_FIRST + 31)
#define LVM_SETITEMSTATE (LVM_FIRST + 43)
#define LVM_GETITEMSTATE (LVM_FIRST + 44)
#define LVM_GETITEMTEXTA (LVM_FIRST + 45)
#define LVM_SETITEMTEXTA (LVM_FIRST + 46)
#define LVM_SETITEMCOUNT (LVM_FIRST + 47)
#define LVM_GETSELECTEDCOUNT (LVM_FIRST + 50)
#define LVM_SETEXTENDEDLISTVIEWSTYLE (LVM_FIRST + 54)
#define LVM_GETEXTENDEDLISTVIEWSTYLE (LVM_FIRST + 55)
#define LVM_GETITEMW (LVM_FIRST + 75)
#define LVM_SETITEMW (LVM_FIRST + 76)
#define LVM_INSERTITEMW (LVM_FIRST + 77)
#define LVM_GETCOLUMNW (LVM_FIRST + 95)
#define LVM_SETCOLUMNW (LVM_FIRST + 96)
#define LVM_INSERTCOLUMNW (LVM_FIRST + 97)
#define LVM_GETITEMTEXTW (LVM_FIRST + 115)
#define LVM_SETITEMTEXTW (LVM_FIRST + 116)

#ifdef __cplusplus
}
#endif

#ifdef UNICODE
#define WC_LISTVIEW WC_LISTVIEWW
#define LPSTR_TEXTCALLBACK LPSTR_TEXTCALLBACKW
#define LVITEM LVITEMW
#define LPLVITEM LPLVITEMW
#define LVCOLUMN LVCOLUMNW
#define LPLVCOLUMN LPLVCOLUMNW
#define LVM_GETITEM LVM_GETITEMW
#define LVM_SETITEM LVM_SETITEMW
#define LVM_INSERTITEM LVM_INSERTITEMW
#define LVM_GETCOLUMN LVM_GETCOLUMNW
#define LVM_SETCOLUMN LVM_SETCOLUMNW
#define LVM_INSERTCOLUMN LVM_INSERTCOLUMNW
#define LVM_GETITEMTEXT LVM_GETITEMTEXTW
#define LVM_SETITEMTEXT LVM_SETITEMTEXTW
#else
#define WC_LISTVIEW WC_LISTVIEWA
#define LPSTR_TEXTCALLBACK LPSTR_TEXTCALLBACKA
#define LVITEM LVITEMA
#define LPLVITEM LPLVITEMA
#define LVCOLUMN LVCOLUMNA
#define LPLVCOLUMN LPLVCOLUMNA
#define LVM_GETITEM LVM_GETITEMA
#define LVM_SETITEM LVM_SETITEMA
#define LVM_INSERTITEM LVM_INSERTITEMA
#define LVM_GETCOLUMN LVM_GETCOLUMNA
#define LVM_SETCOLUMN LVM_SETCOLUMNA
#define LVM_INSERTCOLUMN LVM_INSERTCOLUMNA
#define LVM_GETITEMTEXT LVM_GETITEMTEXTA
#define LVM_SETITEMTEXT LVM_SETITEMTEXTA
#endif
#define LV_ITEM LVITEM
#define LV_COLUMN LVCOLUMN

#define ListView_GetItemCount(hwnd) (int)SendMessage((hwnd), LVM_GETITEMCOUNT, 0, 0)
#define ListView_GetItem(hwnd, pitem) (BOOL) SendMessage((hwnd), LVM_GETITEM, 0, (LPARAM)(LVITEM*)(pitem))
#define ListView_SetItem(hwnd, pitem)                                                                        \
    (BOOL) SendMessage((hwnd), LVM_SETITEM, 0, (LPARAM)(const LVITEM*)(pitem))
#define ListView_InsertItem(hwnd, pitem)                                                                     \
    (int)SendMessage((hwnd), LVM_INSERTITEM, 0, (LPARAM)(const LVITEM*)(pitem))
#define ListView_DeleteItem(hwnd, i) (BOOL) SendMessage((hwnd), LVM_DELETEITEM, (WPARAM)(int)(i), 0)
#define ListView_DeleteAllItems(hwnd) (BOOL) SendMessage((hwnd), LVM_DELETEALLITEMS, 0, 0)
#define ListView_GetNextItem(hwnd, i, flags)                                                                 \
    (int)SendMessage((hwnd), LVM_GETNEXTITEM, (WPARAM)(int)(i), MAKELPARAM((flags), 0))
#define ListView_GetColumn(hwnd, iCol, pcol)                                                                 \
    (BOOL) SendMessage((hwnd), LVM_GETCOLUMN, (WPARAM)(int)(iCol), (LPARAM)(LVCOLUMN*)(pcol))
#define ListView_SetColumn(hwnd, iCol, pcol)                                                                 \
    (BOOL) SendMessage((hwnd), LVM_SETCOLUMN, (WPARAM)(int)(iCol), (LPARAM)(const LVCOLUMN*)(pcol))
#define ListView_InsertColumn(hwnd, iCol, pcol)                                                              \
    (int)SendMessage((hwnd), LVM_INSERTCOLUMN, (WPARAM)(int)(iCol), (LPARAM)(const LVCOLUMN*)(pcol))
#define ListView_DeleteColumn(hwnd, iCol) (BOOL) SendMessage((hwnd), LVM_DELETECOLUMN, (WPARAM)(int)(iCol), 0)
#define ListView_GetColumnWidth(hwnd, iCol)                                                                  \
    (int)SendMessage((hwnd), LVM_GETCOLUMNWIDTH, (WPARAM)(int)(iCol), 0)
#define ListView_SetColumnWidth(hwnd, iCol, cx)                                                              \
    (BOOL) SendMessage((hwnd), LVM_SETCOLUMNWIDTH, (WPARAM)(int)(iCol), MAKELPARAM((cx), 0))
#define ListView_GetItemState(hwnd, i, mask)                                                                 \
    (UINT) SendMessage((hwnd), LVM_GETITEMSTATE, (WPARAM)(i), (LPARAM)(mask))
#define ListView_SetItemState(hwnd, i, data, mask)                                                           \
    {                                                                                                        \
        LVITEM _lvi;                                                                                         \
        _lvi.stateMask = (mask);                                                                             \
        _lvi.state = (data);                                                                                 \
        SendMessage((hwnd), LVM_SETITEMSTATE, (WPARAM)(i), (LPARAM)(LVITEM*)&_lvi);                          \
    }
#define ListView_GetSelectedCount(hwnd) (UINT) SendMessage((hwnd), LVM_GETSELECTEDCOUNT, 0, 0)
#define ListView_GetItemText(hwnd, i, iSubItem_, pszText_, cchTextMax_)                                      \
    {                                                                                                        \
        LVITEM _lvi;                                                                                         \
        _lvi.iSubItem = (iSubItem_);                                                                         \
        _lvi.cchTextMax = (cchTextMax_);                                                                     \
        _lvi.pszText = (pszText_);                                                                           \
        SendMessage((hwnd), LVM_GETITEMTEXT, (WPARAM)(i), (LPARAM)(LVITEM*)&_lvi);                           \
    }
#define ListView_SetItemText(hwnd, i, iSubItem_, pszText_)                                                   \
    {                                                                                                        \
        LVITEM _lvi;                                                                                         \
        _lvi.iSubItem = (iSubItem_);                                                                         \
        _lvi.pszText = (pszText_);                                                                           \
        SendMessage((hwnd), LVM_SETITEMTEXT, (WPARAM)(i), (LPARAM)(LVITEM*)&_lvi);                           \
    }
#define ListView_SetExtendedListViewStyle(hwnd, dw)                                                          \
    (DWORD) SendMessage((hwnd), LVM_SETEXTENDEDLISTVIEWSTYLE, 0, (LPARAM)(dw))
#define ListView_SetExtendedListViewStyleEx(hwnd, mask, dw)                                                  \
    (DWORD) SendMessage((hwnd), LVM_SETEXTENDEDLISTVIEWSTYLE, (WPARAM)(mask), (LPARAM)(dw))
#define ListView_GetExtendedListViewStyle(hwnd)                                                              \
    (DWORD) SendMessage((hwnd), LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0)
