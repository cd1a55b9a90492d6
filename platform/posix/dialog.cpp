// Modeless dialogs: templates from the module's resources or from memory in the resource compiler's layout,
// the dialog window procedure, dialog items, and the user input that tests and front ends simulate.
#include <windows.h>

#include "testhooks.h"
#include "userinternal.h"

#include <cstring>
#include <new>

namespace qxplatform {
namespace {

// Rounds half away from zero, as MulDiv does.
int Scale(int value, int multiplier, int divisor) {
    long long product = static_cast<long long>(value) * multiplier;
    long long half = divisor / 2;
    return static_cast<int>(product >= 0 ? (product + half) / divisor : (product - half) / divisor);
}

// No font metrics without a display: an 8-point font gives the familiar 6 x 13 of "MS Sans Serif" and
// "MS Shell Dlg" at 96 dpi; other sizes scale with the cell height.
void BaseUnitsOf(const DialogData& t, int& x, int& y) {
    if ((t.style & DS_SETFONT) == 0 || t.pointSize == 0) {
        x = 8;
        y = 16;
        return;
    }
    y = Scale(t.pointSize, 96, 72) + 2;
    x = (y * 6 + 6) / 13;
}

// Reads the resource compiler's layout, which is little-endian with UTF-16 strings.
class TemplateReader {
public:
    explicit TemplateReader(const void* start) : p_(static_cast<const BYTE*>(start)) {}
    WORD Word() {
        WORD w;
        std::memcpy(&w, p_, 2);
        p_ += 2;
        return w;
    }
    DWORD Dword() {
        DWORD d;
        std::memcpy(&d, p_, 4);
        p_ += 4;
        return d;
    }
    short Short() { return static_cast<short>(Word()); }
    void Skip(size_t n) { p_ += n; }
    void AlignDword() {
        auto at = reinterpret_cast<UINT_PTR>(p_);
        p_ += (4 - at % 4) % 4;
    }
    std::string String() {
        std::wstring wide;
        for (WORD unit = Word(); unit != 0; unit = Word()) {
            if (unit >= 0xD800 && unit < 0xDC00) {
                WORD low = Word();
                wide.push_back(static_cast<wchar_t>(0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00)));
            } else {
                wide.push_back(static_cast<wchar_t>(unit));
            }
        }
        return NarrowText(wide.c_str());
    }
    // A name or an ordinal (0xFFFF then the number); answers the ordinal, or 0 with the name in text.
    WORD NameOrOrdinal(std::string& text) {
        WORD first;
        std::memcpy(&first, p_, 2);
        if (first == 0xFFFF) {
            p_ += 2;
            return Word();
        }
        text = String();
        return 0;
    }

private:
    const BYTE* p_;
};

const char* ClassOfOrdinal(WORD ordinal) {
    switch (ordinal) {
    case 0x80:
        return "Button";
    case 0x81:
        return "Edit";
    case 0x82:
        return "Static";
    case 0x83:
        return "ListBox";
    case 0x84:
        return "ScrollBar";
    case 0x85:
        return "ComboBox";
    default:
        return "";
    }
}

// Both DLGTEMPLATE and DLGTEMPLATEEX. The menu and the dialog's own class are read past: child dialogs have
// no menu and every dialog here is of the dialog class.
void ParseTemplate(const void* start, DialogData& t) {
    TemplateReader r(start);
    WORD version = r.Word();
    WORD signature = r.Word();
    bool extended = version == 1 && signature == 0xFFFF;
    WORD count;
    if (extended) {
        r.Dword(); // help id
        t.exStyle = r.Dword();
        t.style = r.Dword();
    } else {
        r = TemplateReader(start);
        t.style = r.Dword();
        t.exStyle = r.Dword();
    }
    count = r.Word();
    t.x = r.Short();
    t.y = r.Short();
    t.cx = r.Short();
    t.cy = r.Short();
    std::string ignored;
    r.NameOrOrdinal(ignored); // menu
    r.NameOrOrdinal(ignored); // class
    t.caption = r.String();
    if ((t.style & DS_SETFONT) != 0) {
        t.pointSize = r.Word();
        if (extended) {
            r.Word();  // weight
            r.Skip(2); // italic, character set
        }
        t.typeface = r.String();
    }
    for (WORD i = 0; i < count; ++i) {
        r.AlignDword();
        DialogItemData item;
        if (extended) {
            r.Dword(); // help id
            item.exStyle = r.Dword();
            item.style = r.Dword();
        } else {
            item.style = r.Dword();
            item.exStyle = r.Dword();
        }
        item.x = r.Short();
        item.y = r.Short();
        item.cx = r.Short();
        item.cy = r.Short();
        item.id = extended ? r.Dword() : r.Word();
        std::string className;
        WORD classOrdinal = r.NameOrOrdinal(className);
        item.className = classOrdinal != 0 ? ClassOfOrdinal(classOrdinal) : className;
        std::string text;
        if (r.NameOrOrdinal(text) == 0) {
            item.text = text;
        }
        // Creation data: a byte count, then the bytes.
        WORD extra = r.Word();
        r.Skip(extended || extra == 0 ? extra : static_cast<size_t>(extra) - 2);
        t.items.push_back(std::move(item));
    }
}

bool EnabledForInput(Window* window) {
    // A user cannot reach a disabled window, nor anything inside one.
    for (; window != nullptr; window = FindWindowLocked(window->parent)) {
        if ((window->style & WS_DISABLED) != 0) {
            return false;
        }
    }
    return true;
}

bool IsInputTarget(HWND hwnd, WindowKind kind) {
    std::lock_guard<std::mutex> guard(UserLock());
    Window* window = FindWindowLocked(hwnd);
    return window != nullptr && window->kind == kind && EnabledForInput(window);
}

HWND CreateDialogFrom(HINSTANCE instance, const DialogData& t, HWND parent, DLGPROC proc, LPARAM param) {
    int bx, by;
    BaseUnitsOf(t, bx, by);
    // The dialog shows itself only once it has initialised.
    HWND dialog = CreateWindowExA(
        t.exStyle, "#32770", t.caption.c_str(), t.style & ~static_cast<DWORD>(WS_VISIBLE), Scale(t.x, bx, 4),
        Scale(t.y, by, 8), Scale(t.cx, bx, 4), Scale(t.cy, by, 8), parent, nullptr, instance, nullptr);
    if (dialog == nullptr) {
        return nullptr;
    }
    {
        std::lock_guard<std::mutex> guard(UserLock());
        Window* window = FindWindowLocked(dialog);
        window->baseX = bx;
        window->baseY = by;
        window->dlgProc = proc;
    }
    for (const DialogItemData& item : t.items) {
        HWND control =
            CreateWindowExA(item.exStyle | WS_EX_NOPARENTNOTIFY, item.className.c_str(), item.text.c_str(),
                            item.style | WS_CHILD, Scale(item.x, bx, 4), Scale(item.y, by, 8),
                            Scale(item.cx, bx, 4), Scale(item.cy, by, 8), dialog,
                            reinterpret_cast<HMENU>(static_cast<UINT_PTR>(item.id)), instance, nullptr);
        if (control == nullptr && (t.style & DS_NOFAILCREATE) == 0) {
            DWORD error = GetLastError();
            DestroyWindow(dialog);
            SetLastError(error);
            return nullptr;
        }
    }
    // WM_INITDIALOG names the control that would take the focus: the first enabled tab stop.
    HWND focus = nullptr;
    {
        std::lock_guard<std::mutex> guard(UserLock());
        for (HWND child : FindWindowLocked(dialog)->children) {
            Window* c = FindWindowLocked(child);
            if (c != nullptr && (c->style & WS_TABSTOP) != 0 && (c->style & WS_DISABLED) == 0) {
                focus = child;
                break;
            }
        }
    }
    SendMessageA(dialog, WM_INITDIALOG, reinterpret_cast<WPARAM>(focus), param);
    if (!IsWindow(dialog)) {
        return nullptr; // the dialog procedure destroyed it
    }
    if ((t.style & WS_VISIBLE) != 0) {
        ShowWindow(dialog, SW_SHOWNORMAL);
    }
    return dialog;
}

} // namespace
} // namespace qxplatform

using namespace qxplatform;

HWND WINAPI CreateDialogParamA(HINSTANCE instance, LPCSTR name, HWND parent, DLGPROC proc, LPARAM param) {
    DialogData t;
    try {
        if (!LookupDialog(instance, name, t)) {
            SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
            return nullptr;
        }
    } catch (const std::bad_alloc&) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    return CreateDialogFrom(instance, t, parent, proc, param);
}

HWND WINAPI CreateDialogParamW(HINSTANCE instance, LPCWSTR name, HWND parent, DLGPROC proc, LPARAM param) {
    if (IS_INTRESOURCE(name)) {
        return CreateDialogParamA(instance, reinterpret_cast<LPCSTR>(name), parent, proc, param);
    }
    std::string narrow = NarrowText(name);
    return CreateDialogParamA(instance, narrow.c_str(), parent, proc, param);
}

HWND WINAPI CreateDialogIndirectParamA(HINSTANCE instance, LPCDLGTEMPLATEA tmpl, HWND parent, DLGPROC proc,
                                       LPARAM param) {
    if (tmpl == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    DialogData t;
    try {
        ParseTemplate(tmpl, t);
    } catch (const std::bad_alloc&) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    return CreateDialogFrom(instance, t, parent, proc, param);
}

HWND WINAPI CreateDialogIndirectParamW(HINSTANCE instance, LPCDLGTEMPLATEW tmpl, HWND parent, DLGPROC proc,
                                       LPARAM param) {
    return CreateDialogIndirectParamA(instance, tmpl, parent, proc, param);
}

// The dialog class's window procedure: the dialog procedure first; what it leaves (answers FALSE to) gets
// the default handling.
LRESULT WINAPI DefDlgProcA(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    DLGPROC proc = nullptr;
    {
        std::lock_guard<std::mutex> guard(UserLock());
        Window* window = FindWindowLocked(hwnd);
        if (window == nullptr) {
            SetLastError(ERROR_INVALID_WINDOW_HANDLE);
            return 0;
        }
        if (window->kind == WindowKind::Dialog) {
            proc = window->dlgProc;
            window->msgResult = 0;
        }
    }
    INT_PTR handled = proc != nullptr ? proc(hwnd, msg, wParam, lParam) : 0;
    if (handled != 0) {
        switch (msg) {
        // These answer the dialog procedure's own return value; every other message answers DWLP_MSGRESULT.
        case WM_INITDIALOG:
        case 0x0039: // WM_COMPAREITEM
        case 0x002E: // WM_VKEYTOITEM
        case 0x002F: // WM_CHARTOITEM
        case 0x0037: // WM_QUERYDRAGICON
        case 0x0132: // WM_CTLCOLORMSGBOX .. WM_CTLCOLORSTATIC
        case 0x0133:
        case 0x0134:
        case 0x0135:
        case 0x0136:
        case 0x0137:
        case 0x0138:
            return handled;
        default: {
            std::lock_guard<std::mutex> guard(UserLock());
            Window* window = FindWindowLocked(hwnd);
            return window != nullptr ? window->msgResult : 0;
        }
        }
    }
    switch (msg) {
    case WM_INITDIALOG:
    case WM_COMMAND:
        return 0;
    case WM_CLOSE:
        // Windows posts the Cancel command; without a queue it is sent.
        SendMessageA(hwnd, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED),
                     reinterpret_cast<LPARAM>(GetDlgItem(hwnd, IDCANCEL)));
        return 0;
    default:
        return DefWindowProcA(hwnd, msg, wParam, lParam);
    }
}

HWND WINAPI GetDlgItem(HWND dialog, int id) {
    std::lock_guard<std::mutex> guard(UserLock());
    Window* window = FindWindowLocked(dialog);
    if (window == nullptr) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return nullptr;
    }
    for (HWND child : window->children) {
        Window* c = FindWindowLocked(child);
        if (c != nullptr && static_cast<int>(c->id) == id) {
            return child;
        }
    }
    SetLastError(ERROR_CONTROL_ID_NOT_FOUND);
    return nullptr;
}

int WINAPI GetDlgCtrlID(HWND hwnd) {
    std::lock_guard<std::mutex> guard(UserLock());
    Window* window = FindWindowLocked(hwnd);
    if (window == nullptr) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    return static_cast<int>(window->id);
}

LRESULT WINAPI SendDlgItemMessageA(HWND dialog, int id, UINT msg, WPARAM wParam, LPARAM lParam) {
    HWND item = GetDlgItem(dialog, id);
    return item != nullptr ? SendMessageA(item, msg, wParam, lParam) : 0;
}

BOOL WINAPI SetDlgItemTextA(HWND dialog, int id, LPCSTR text) {
    HWND item = GetDlgItem(dialog, id);
    return item != nullptr ? SetWindowTextA(item, text) : FALSE;
}

UINT WINAPI GetDlgItemTextA(HWND dialog, int id, LPSTR buffer, int max) {
    HWND item = GetDlgItem(dialog, id);
    if (item == nullptr) {
        if (buffer != nullptr && max > 0) {
            buffer[0] = '\0';
        }
        return 0;
    }
    return static_cast<UINT>(GetWindowTextA(item, buffer, max));
}

BOOL WINAPI MapDialogRect(HWND dialog, LPRECT rect) {
    std::lock_guard<std::mutex> guard(UserLock());
    Window* window = FindWindowLocked(dialog);
    if (window == nullptr || window->kind != WindowKind::Dialog || rect == nullptr) {
        SetLastError(window == nullptr ? ERROR_INVALID_WINDOW_HANDLE : ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    rect->left = Scale(rect->left, window->baseX, 4);
    rect->right = Scale(rect->right, window->baseX, 4);
    rect->top = Scale(rect->top, window->baseY, 8);
    rect->bottom = Scale(rect->bottom, window->baseY, 8);
    return TRUE;
}

LONG WINAPI GetDialogBaseUnits(void) {
    return MAKELONG(8, 16);
}

BOOL QxSimulateClick(HWND button) {
    if (!IsInputTarget(button, WindowKind::Button)) {
        return FALSE;
    }
    SendMessageA(button, BM_CLICK, 0, 0);
    return TRUE;
}

BOOL QxSimulateSelect(HWND combo, int index) {
    if (!IsInputTarget(combo, WindowKind::ComboBox)) {
        return FALSE;
    }
    LRESULT count = SendMessageA(combo, CB_GETCOUNT, 0, 0);
    if (index < 0 || index >= count) {
        return FALSE;
    }
    // A mouse selection from the dropped list, in the order Windows reports it.
    SendMessageA(combo, CB_SHOWDROPDOWN, TRUE, 0);
    LRESULT before = SendMessageA(combo, CB_GETCURSEL, 0, 0);
    SendMessageA(combo, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
    NotifyParent(combo, CBN_SELENDOK);
    SendMessageA(combo, CB_SHOWDROPDOWN, FALSE, 0);
    if (before != index) {
        NotifyParent(combo, CBN_SELCHANGE);
    }
    return TRUE;
}
