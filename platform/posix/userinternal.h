// The window layer's shared state: window objects, the lock that guards them and the helpers that the
// window, control and resource units share. Nothing outside platform/posix includes it.
#pragma once
#include <windows.h>
#include <commctrl.h>

#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace qxplatform {

enum class WindowKind { Custom, Dialog, Button, Static, Edit, ComboBox, ListView, Desktop };

struct ComboState {
    std::vector<std::string> items;
    std::vector<LPARAM> data;
    int selection = CB_ERR;
    bool dropped = false;
};

struct ListColumn {
    int fmt = LVCFMT_LEFT;
    int cx = 0;
    std::string text;
    int subItem = 0;
};

struct ListRow {
    std::vector<std::string> cells; // [0] the item's text, [n] sub-item n
    LPARAM param = 0;
    UINT state = 0;
};

struct ListState {
    DWORD exStyle = 0;
    std::vector<ListColumn> columns;
    std::vector<ListRow> rows;
};

struct Window {
    HWND handle = nullptr;
    WindowKind kind = WindowKind::Custom;
    std::string className;
    DWORD style = 0;
    DWORD exStyle = 0;
    LONG_PTR id = 0;
    HWND parent = nullptr;
    std::vector<HWND> children; // z-order, top first: creation order, as dialog tab order expects
    std::string text;
    RECT rect{};
    WNDPROC proc = nullptr;
    HINSTANCE instance = nullptr;
    LONG_PTR userData = 0;
    std::thread::id owner;
    bool destroying = false;
    // Dialogs: their window data and dialog base units.
    LONG_PTR msgResult = 0;
    DLGPROC dlgProc = nullptr;
    LONG_PTR dlgUser = 0;
    int baseX = 8;
    int baseY = 16;
    // Buttons.
    UINT check = BST_UNCHECKED;
    std::unique_ptr<ComboState> combo;
    std::unique_ptr<ListState> list;
};

// Guards every window and the handle table. Never held while a window or dialog procedure, a presenter
// or any other caller-supplied code runs, so procedures may call back into the layer.
std::mutex& UserLock();
// The window behind a handle, or null; the caller holds UserLock.
Window* FindWindowLocked(HWND hwnd);
// One allocation of the window layer: false when the test hook makes it fail.
bool UserAllocationAllowed();

// Sends WM_COMMAND with the control's id and the code to the control's parent; no lock held.
void NotifyParent(HWND control, int code);

LRESULT CALLBACK ButtonProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
LRESULT CALLBACK StaticProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
LRESULT CALLBACK EditProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
LRESULT CALLBACK ComboBoxProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
LRESULT CALLBACK ListViewProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);

// Text in the ANSI code page (UTF-8 here) and back.
std::string NarrowText(LPCWSTR text);
std::wstring WidenText(const std::string& text);
// Copies text into a caller's buffer of max characters, cut on a character boundary and terminated;
// answers the characters copied (0 when max is 0 or less).
int CopyTextOut(const std::string& text, LPSTR buffer, int max);
int CopyTextOut(const std::string& text, LPWSTR buffer, int max);
// Case-insensitive comparison of ANSI text, as the list controls sort and search.
int CompareNoCase(const std::string& a, const std::string& b);

} // namespace qxplatform

namespace qxplatform {
// A dialog template, whichever form it came in.
struct DialogItemData {
    DWORD id = 0;
    std::string className;
    std::string text;
    short x = 0, y = 0, cx = 0, cy = 0;
    DWORD style = 0;
    DWORD exStyle = 0;
};

struct DialogData {
    DWORD style = 0;
    DWORD exStyle = 0;
    short x = 0, y = 0, cx = 0, cy = 0;
    std::string caption;
    WORD pointSize = 0;
    std::string typeface;
    std::vector<DialogItemData> items;
};

// The template registered under the module and name; false when there is none.
bool LookupDialog(HINSTANCE module, LPCSTR name, DialogData& out);
} // namespace qxplatform
