#include "propertypage/PageResources.h"

#include "propertypage/resource.h"

#ifdef _WIN32

BOOL RegisterPageResources(HINSTANCE module) {
    return TRUE; // linked into the image from TableCollectorPropertyPage.rc
}

#else

#include <commctrl.h>
#include <qxuser.h>
#include <winuser.h>

namespace {

// As the resource compiler writes TableCollectorPropertyPage.rc: every control statement adds
// WS_CHILD | WS_VISIBLE, and FONT adds DS_SETFONT.
constexpr DWORD kControl = WS_CHILD | WS_VISIBLE;
constexpr DWORD kLabel = kControl | SS_LEFT | WS_GROUP;
constexpr DWORD kSelector = kControl | CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP;

const QX_DIALOG_ITEM kItems[] = {
    {IDC_SI_TABLES_LABEL, "Static", "SI &Tables : ", 6, 8, 34, 8, kLabel, 0},
    {IDC_SI_TABLES, "ComboBox", "", 44, 6, 80, 84, kSelector, 0},
    {IDC_PID_LABEL, "Static", "&PID : ", 134, 9, 18, 8, kLabel, 0},
    {IDC_PID, "ComboBox", "", 180, 6, 80, 68, kSelector, 0},
    {IDC_TABLE_ID_LABEL, "Static", "Table &Id : ", 6, 31, 30, 8, kLabel, 0},
    {IDC_TABLE_ID, "ComboBox", "", 44, 28, 80, 61, kSelector, 0},
    {IDC_SECTION_NUM_LABEL, "Static", "Section &Num : ", 134, 32, 44, 8, kLabel, 0},
    {IDC_SECTION_NUM, "ComboBox", "", 180, 29, 80, 62, kSelector, 0},
    {IDC_TABLE_LIST, "SysListView32", "", 6, 51, 253, 163, kControl | LVS_REPORT | WS_BORDER | WS_TABSTOP, 0},
    {IDC_UPDATE_TABLE, "Button", "&Update table", 12, 222, 50, 14, kControl | BS_PUSHBUTTON | WS_TABSTOP, 0},
};

const QX_DIALOG kDialog = {
    DS_SETFONT | WS_CHILD | WS_BORDER,  0,      0, 0, 271, 252, "", 8, "MS Sans Serif",
    sizeof(kItems) / sizeof(kItems[0]), kItems,
};

} // namespace

BOOL RegisterPageResources(HINSTANCE module) {
    return QxRegisterDialog(module, MAKEINTRESOURCEA(IDD_SERVICE_INFORMATION), &kDialog) &&
           QxRegisterString(module, IDS_SERVICE_INFORMATION_TITLE, "Service Information");
}

#endif
