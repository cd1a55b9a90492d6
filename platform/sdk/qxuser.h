/* What this host's window layer needs from outside that Windows gets elsewhere: a module's resources
   (Windows reads them from the image) and the presentation of message boxes (Windows draws them).
   Not part of the Windows SDK; only modules that ship resources and front ends include it. */
#pragma once
#include <windows.h>

#ifdef __cplusplus
extern "C" {
#endif

/* A dialog template as the resource script states it: styles exactly as the resource compiler writes
   them (a control statement's WS_CHILD | WS_VISIBLE included), rectangles in dialog units. Class names are
   those of CreateWindowEx ("Button", "Static", "Edit", "ComboBox", "SysListView32"). */
typedef struct QX_DIALOG_ITEM {
    WORD id;
    LPCSTR className;
    LPCSTR text;
    SHORT x;
    SHORT y;
    SHORT cx;
    SHORT cy;
    DWORD style;
    DWORD exStyle;
} QX_DIALOG_ITEM;

typedef struct QX_DIALOG {
    DWORD style;
    DWORD exStyle;
    SHORT x;
    SHORT y;
    SHORT cx;
    SHORT cy;
    LPCSTR caption;
    WORD pointSize; /* with DS_SETFONT */
    LPCSTR typeface;
    UINT itemCount;
    const QX_DIALOG_ITEM* items;
} QX_DIALOG;

/* Registers a dialog template (name: MAKEINTRESOURCE(id) or a string) or a string-table entry under a
   module, replacing one of the same name; the platform keeps its own copy. A NULL module stands for the
   executable, as in CreateDialogParam and LoadString. FALSE with ERROR_INVALID_PARAMETER or
   ERROR_NOT_ENOUGH_MEMORY. */
BOOL QxRegisterDialog(HINSTANCE module, LPCSTR name, const QX_DIALOG* dialog);
BOOL QxRegisterString(HINSTANCE module, UINT id, LPCSTR text);
/* Forgets every resource of the module, for its unloading. */
void QxUnregisterResources(HINSTANCE module);
/* The registered template, valid until the module's resources change again; NULL when there is none. */
const QX_DIALOG* QxFindDialog(HINSTANCE module, LPCSTR name);

/* MessageBox hands its text (UTF-8), caption and flags to the presenter, whose answer (IDOK, IDYES, ...) it
   returns. Without one installed it answers the default button (MB_DEFBUTTONn; IDOK for MB_OK) and keeps
   the call for tests. Installing NULL restores that; the previous presenter is returned. */
typedef int(CALLBACK* QX_MESSAGEBOX_PRESENTER)(void* context, HWND owner, LPCSTR text, LPCSTR caption,
                                               UINT type);
QX_MESSAGEBOX_PRESENTER QxSetMessageBoxPresenter(QX_MESSAGEBOX_PRESENTER presenter, void* context);

#ifdef __cplusplus
}
#endif
