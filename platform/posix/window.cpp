// Windows without a display: the handle table, window classes, creation and destruction, the window tree,
// synchronous message delivery with ANSI/wide translation, and window state (style, text, rectangle,
// window data).
#include <windows.h>
#include <commctrl.h>

#include "testhooks.h"
#include "userinternal.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cstring>
#include <map>
#include <new>

namespace qxplatform {
namespace {

struct WindowClass {
    std::string name;
    WNDPROC proc;
    WindowKind kind;
    HINSTANCE instance;
};

std::map<UINT_PTR, std::unique_ptr<Window>>& Table() {
    static std::map<UINT_PTR, std::unique_ptr<Window>> table;
    return table;
}

// Handles are never reused, so a stale handle stays invalid for good, as IsWindow callers expect.
UINT_PTR g_nextHandle = 0x10010;

std::vector<WindowClass>& Classes() {
    static std::vector<WindowClass> classes = {
        {"Button", ButtonProc, WindowKind::Button, nullptr},
        {"Static", StaticProc, WindowKind::Static, nullptr},
        {"Edit", EditProc, WindowKind::Edit, nullptr},
        {"ComboBox", ComboBoxProc, WindowKind::ComboBox, nullptr},
        {WC_LISTVIEWA, ListViewProc, WindowKind::ListView, nullptr},
        {"#32770", DefDlgProcA, WindowKind::Dialog, nullptr},
    };
    return classes;
}

std::atomic<unsigned long> g_failAt{0};
std::atomic<bool> g_failFrom{false};
std::atomic<bool> g_failing{false};

const WindowClass* FindClassLocked(LPCSTR name) {
    if (name == nullptr) {
        return nullptr;
    }
    // The dialog class is also known by its atom.
    if (IS_INTRESOURCE(name)) {
        if (reinterpret_cast<UINT_PTR>(name) != 0x8002) {
            return nullptr;
        }
        name = "#32770";
    }
    for (const WindowClass& cls : Classes()) {
        if (CompareNoCase(cls.name, name) == 0) {
            return &cls;
        }
    }
    return nullptr;
}

Window* FindOrFail(HWND hwnd) {
    Window* window = FindWindowLocked(hwnd);
    if (window == nullptr) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    }
    return window;
}

// Sends WM_DESTROY down the tree (parent first) and WM_NCDESTROY up it (children first), then forgets the
// window, as Windows does.
void DestroyTree(HWND hwnd) {
    SendMessageA(hwnd, WM_DESTROY, 0, 0);
    for (;;) {
        HWND child = nullptr;
        {
            std::lock_guard<std::mutex> guard(UserLock());
            Window* window = FindWindowLocked(hwnd);
            if (window == nullptr) {
                return;
            }
            for (HWND candidate : window->children) {
                Window* c = FindWindowLocked(candidate);
                if (c != nullptr && !c->destroying) {
                    c->destroying = true;
                    child = candidate;
                    break;
                }
            }
        }
        if (child == nullptr) {
            break;
        }
        DestroyTree(child);
    }
    SendMessageA(hwnd, WM_NCDESTROY, 0, 0);
    std::lock_guard<std::mutex> guard(UserLock());
    Window* window = FindWindowLocked(hwnd);
    if (window == nullptr) {
        return;
    }
    if (Window* parent = FindWindowLocked(window->parent)) {
        auto& siblings = parent->children;
        siblings.erase(std::remove(siblings.begin(), siblings.end(), hwnd), siblings.end());
    }
    Table().erase(reinterpret_cast<UINT_PTR>(hwnd));
}

LRESULT CallProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    WNDPROC proc;
    {
        std::lock_guard<std::mutex> guard(UserLock());
        Window* window = FindOrFail(hwnd);
        if (window == nullptr) {
            return 0;
        }
        proc = window->proc;
    }
    return proc(hwnd, msg, wParam, lParam);
}

// Wide text read through an ANSI message: the ANSI text in a buffer wide enough for max characters.
std::string ReadThroughA(HWND hwnd, UINT msg, WPARAM wParam, int max, int& result) {
    std::string buffer(static_cast<size_t>(max) * 4 + 4, '\0');
    result = static_cast<int>(SendMessageA(hwnd, msg, wParam, reinterpret_cast<LPARAM>(buffer.data())));
    buffer.resize(std::strlen(buffer.c_str()));
    return buffer;
}

template <typename W, typename A> A NarrowListStruct(const W& in, std::string& holder) {
    static_assert(sizeof(W) == sizeof(A), "the ANSI and wide records differ only in their text pointer");
    A out;
    std::memcpy(&out, &in, sizeof(A));
    if (in.pszText != nullptr &&
        in.pszText != reinterpret_cast<decltype(in.pszText)>(static_cast<INT_PTR>(-1))) {
        holder = NarrowText(in.pszText);
        out.pszText = holder.data();
    } else {
        out.pszText = reinterpret_cast<LPSTR>(in.pszText);
    }
    return out;
}

// Reads a list-view record with text through the ANSI message and hands the text back widened.
template <typename W, typename A> LRESULT GetListStructW(HWND hwnd, UINT msgA, WPARAM wParam, W* in) {
    if (in == nullptr) {
        return SendMessageA(hwnd, msgA, wParam, 0);
    }
    A out;
    std::memcpy(&out, in, sizeof(A));
    std::string buffer(in->cchTextMax > 0 ? static_cast<size_t>(in->cchTextMax) * 4 + 4 : 1, '\0');
    out.pszText = in->pszText != nullptr ? buffer.data() : nullptr;
    out.cchTextMax = in->cchTextMax > 0 ? static_cast<int>(buffer.size()) : in->cchTextMax;
    LRESULT result = SendMessageA(hwnd, msgA, wParam, reinterpret_cast<LPARAM>(&out));
    LPWSTR text = in->pszText;
    int max = in->cchTextMax;
    std::memcpy(in, &out, sizeof(A));
    in->pszText = text;
    in->cchTextMax = max;
    int copied = 0;
    if (text != nullptr && max > 0) {
        buffer.resize(std::strlen(buffer.c_str()));
        copied = CopyTextOut(buffer, text, max);
    }
    return msgA == LVM_GETITEMTEXTA ? copied : result;
}

} // namespace

std::mutex& UserLock() {
    static std::mutex lock;
    return lock;
}

Window* FindWindowLocked(HWND hwnd) {
    auto& table = Table();
    auto it = table.find(reinterpret_cast<UINT_PTR>(hwnd));
    return it == table.end() ? nullptr : it->second.get();
}

bool UserAllocationAllowed() {
    if (g_failing.load()) {
        return false;
    }
    unsigned long n = g_failAt.load();
    while (n != 0) {
        if (g_failAt.compare_exchange_weak(n, n - 1)) {
            if (n == 1) {
                if (g_failFrom.load()) {
                    g_failing = true;
                }
                return false;
            }
            return true;
        }
    }
    return true;
}

void NotifyParent(HWND control, int code) {
    HWND parent;
    LONG_PTR id;
    {
        std::lock_guard<std::mutex> guard(UserLock());
        Window* window = FindWindowLocked(control);
        if (window == nullptr || (window->style & WS_CHILD) == 0) {
            return;
        }
        parent = window->parent;
        id = window->id;
    }
    SendMessageA(parent, WM_COMMAND, MAKEWPARAM(id, code), reinterpret_cast<LPARAM>(control));
}

std::string NarrowText(LPCWSTR text) {
    if (text == nullptr) {
        return {};
    }
    int size = WideCharToMultiByte(CP_ACP, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (size <= 1) {
        return {};
    }
    std::string out(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_ACP, 0, text, -1, out.data(), size, nullptr, nullptr);
    out.resize(static_cast<size_t>(size) - 1);
    return out;
}

std::wstring WidenText(const std::string& text) {
    if (text.empty()) {
        return {};
    }
    int size = MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, nullptr, 0);
    if (size <= 1) {
        return {};
    }
    std::wstring out(static_cast<size_t>(size), L'\0');
    MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, out.data(), size);
    out.resize(static_cast<size_t>(size) - 1);
    return out;
}

int CopyTextOut(const std::string& text, LPSTR buffer, int max) {
    if (buffer == nullptr || max <= 0) {
        return 0;
    }
    size_t n = text.size();
    if (n > static_cast<size_t>(max) - 1) {
        n = static_cast<size_t>(max) - 1;
        // Never leave half a character behind.
        while (n > 0 && (static_cast<unsigned char>(text[n]) & 0xC0) == 0x80) {
            --n;
        }
    }
    std::memcpy(buffer, text.data(), n);
    buffer[n] = '\0';
    return static_cast<int>(n);
}

int CopyTextOut(const std::string& text, LPWSTR buffer, int max) {
    if (buffer == nullptr || max <= 0) {
        return 0;
    }
    std::wstring wide = WidenText(text);
    size_t n = std::min(wide.size(), static_cast<size_t>(max) - 1);
    std::wmemcpy(buffer, wide.data(), n);
    buffer[n] = L'\0';
    return static_cast<int>(n);
}

int CompareNoCase(const std::string& a, const std::string& b) {
    size_t n = std::min(a.size(), b.size());
    for (size_t i = 0; i < n; ++i) {
        int ca = std::tolower(static_cast<unsigned char>(a[i]));
        int cb = std::tolower(static_cast<unsigned char>(b[i]));
        if (ca != cb) {
            return ca < cb ? -1 : 1;
        }
    }
    return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

} // namespace qxplatform

using namespace qxplatform;

void UserMemFailAt(unsigned long n) {
    g_failing = false;
    g_failFrom = false;
    g_failAt = n;
}

void UserMemFailFrom(unsigned long n) {
    g_failing = false;
    g_failFrom = n != 0;
    g_failAt = n;
}

size_t LiveWindowCount() {
    std::lock_guard<std::mutex> guard(UserLock());
    size_t count = 0;
    for (const auto& entry : Table()) {
        count += entry.second->kind != WindowKind::Desktop ? 1 : 0;
    }
    return count;
}

ATOM WINAPI RegisterClassA(const WNDCLASSA* wc) {
    if (wc == nullptr || wc->lpszClassName == nullptr || wc->lpfnWndProc == nullptr ||
        IS_INTRESOURCE(wc->lpszClassName)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    std::lock_guard<std::mutex> guard(UserLock());
    if (FindClassLocked(wc->lpszClassName) != nullptr) {
        SetLastError(ERROR_CLASS_ALREADY_EXISTS);
        return 0;
    }
    if (!UserAllocationAllowed()) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return 0;
    }
    Classes().push_back({wc->lpszClassName, wc->lpfnWndProc, WindowKind::Custom, wc->hInstance});
    // Atoms of registered classes live in 0xC000..0xFFFF.
    return static_cast<ATOM>(0xC000 + Classes().size());
}

BOOL WINAPI UnregisterClassA(LPCSTR name, HINSTANCE instance) {
    std::lock_guard<std::mutex> guard(UserLock());
    auto& classes = Classes();
    for (auto it = classes.begin(); it != classes.end(); ++it) {
        if (it->kind == WindowKind::Custom && name != nullptr && !IS_INTRESOURCE(name) &&
            CompareNoCase(it->name, name) == 0) {
            for (const auto& entry : Table()) {
                if (entry.second->proc == it->proc && entry.second->className == it->name) {
                    SetLastError(ERROR_CLASS_HAS_WINDOWS);
                    return FALSE;
                }
            }
            classes.erase(it);
            return TRUE;
        }
    }
    SetLastError(ERROR_CLASS_DOES_NOT_EXIST);
    return FALSE;
}

HWND WINAPI CreateWindowExA(DWORD exStyle, LPCSTR className, LPCSTR windowName, DWORD style, int x, int y,
                            int width, int height, HWND parent, HMENU menu, HINSTANCE instance,
                            LPVOID param) {
    HWND hwnd;
    {
        std::lock_guard<std::mutex> guard(UserLock());
        const WindowClass* cls = FindClassLocked(className);
        if (cls == nullptr) {
            SetLastError(ERROR_CANNOT_FIND_WND_CLASS);
            return nullptr;
        }
        Window* parentWindow = nullptr;
        if (parent != nullptr) {
            parentWindow = FindOrFail(parent);
            if (parentWindow == nullptr) {
                return nullptr;
            }
        } else if ((style & WS_CHILD) != 0) {
            SetLastError(ERROR_TLW_WITH_WSCHILD);
            return nullptr;
        }
        if (!UserAllocationAllowed()) {
            SetLastError(ERROR_NOT_ENOUGH_MEMORY);
            return nullptr;
        }
        try {
            auto window = std::make_unique<Window>();
            hwnd = reinterpret_cast<HWND>(g_nextHandle);
            window->handle = hwnd;
            window->kind = cls->kind;
            window->className = cls->name;
            window->proc = cls->proc;
            window->style = style;
            window->exStyle = exStyle;
            // A child's menu argument is its identifier; a top-level window has none.
            window->id = (style & WS_CHILD) != 0 ? reinterpret_cast<LONG_PTR>(menu) : 0;
            window->parent = parent;
            window->text = windowName != nullptr && !IS_INTRESOURCE(windowName) ? windowName : "";
            if (x == CW_USEDEFAULT) {
                x = y = 0;
            }
            if (width == CW_USEDEFAULT) {
                width = height = 0;
            }
            window->rect = RECT{x, y, x + width, y + height};
            window->instance = instance;
            window->owner = std::this_thread::get_id();
            if (cls->kind == WindowKind::ComboBox) {
                window->combo = std::make_unique<ComboState>();
                // A drop-down list shows only what it holds; its text is the selected entry.
                window->text.clear();
            } else if (cls->kind == WindowKind::ListView) {
                window->list = std::make_unique<ListState>();
                window->text.clear();
            }
            if (parentWindow != nullptr) {
                parentWindow->children.push_back(hwnd);
            }
            Table().emplace(g_nextHandle, std::move(window));
            g_nextHandle += 2;
        } catch (const std::bad_alloc&) {
            SetLastError(ERROR_NOT_ENOUGH_MEMORY);
            return nullptr;
        }
    }
    CREATESTRUCTA cs{param,      instance,  menu,   parent, height, width, y, x, static_cast<LONG>(style),
                     windowName, className, exStyle};
    if (SendMessageA(hwnd, WM_NCCREATE, 0, reinterpret_cast<LPARAM>(&cs)) == FALSE ||
        SendMessageA(hwnd, WM_CREATE, 0, reinterpret_cast<LPARAM>(&cs)) == -1) {
        DestroyWindow(hwnd);
        return nullptr;
    }
    return hwnd;
}

BOOL WINAPI DestroyWindow(HWND hwnd) {
    {
        std::lock_guard<std::mutex> guard(UserLock());
        Window* window = FindOrFail(hwnd);
        if (window == nullptr) {
            return FALSE;
        }
        if (window->owner != std::this_thread::get_id() || window->kind == WindowKind::Desktop) {
            SetLastError(ERROR_ACCESS_DENIED);
            return FALSE;
        }
        if (window->destroying) {
            return TRUE; // already on its way, e.g. DestroyWindow again from WM_DESTROY
        }
        window->destroying = true;
    }
    DestroyTree(hwnd);
    return TRUE;
}

BOOL WINAPI IsWindow(HWND hwnd) {
    std::lock_guard<std::mutex> guard(UserLock());
    return FindWindowLocked(hwnd) != nullptr ? TRUE : FALSE;
}

BOOL WINAPI IsChild(HWND parent, HWND hwnd) {
    std::lock_guard<std::mutex> guard(UserLock());
    Window* window = FindWindowLocked(hwnd);
    while (window != nullptr && (window->style & WS_CHILD) != 0) {
        if (window->parent == parent) {
            return TRUE;
        }
        window = FindWindowLocked(window->parent);
    }
    return FALSE;
}

HWND WINAPI GetParent(HWND hwnd) {
    std::lock_guard<std::mutex> guard(UserLock());
    Window* window = FindOrFail(hwnd);
    return window != nullptr ? window->parent : nullptr;
}

HWND WINAPI SetParent(HWND hwnd, HWND newParent) {
    std::lock_guard<std::mutex> guard(UserLock());
    Window* window = FindOrFail(hwnd);
    if (window == nullptr) {
        return nullptr;
    }
    Window* target = nullptr;
    if (newParent != nullptr) {
        target = FindOrFail(newParent);
        if (target == nullptr) {
            return nullptr;
        }
        // A window cannot become its own descendant.
        for (Window* up = target; up != nullptr; up = FindWindowLocked(up->parent)) {
            if (up == window) {
                SetLastError(ERROR_INVALID_PARAMETER);
                return nullptr;
            }
        }
    }
    HWND old = window->parent;
    if (Window* oldParent = FindWindowLocked(old)) {
        auto& siblings = oldParent->children;
        siblings.erase(std::remove(siblings.begin(), siblings.end(), hwnd), siblings.end());
    }
    if (target != nullptr) {
        target->children.push_back(hwnd);
    }
    window->parent = newParent;
    return old;
}

HWND WINAPI GetWindow(HWND hwnd, UINT cmd) {
    std::lock_guard<std::mutex> guard(UserLock());
    Window* window = FindOrFail(hwnd);
    if (window == nullptr) {
        return nullptr;
    }
    if (cmd == GW_CHILD) {
        return window->children.empty() ? nullptr : window->children.front();
    }
    if (cmd == GW_OWNER) {
        return nullptr;
    }
    Window* parent = FindWindowLocked(window->parent);
    if (parent == nullptr) {
        return cmd == GW_HWNDFIRST || cmd == GW_HWNDLAST ? hwnd : nullptr;
    }
    const auto& siblings = parent->children;
    auto it = std::find(siblings.begin(), siblings.end(), hwnd);
    switch (cmd) {
    case GW_HWNDFIRST:
        return siblings.front();
    case GW_HWNDLAST:
        return siblings.back();
    case GW_HWNDNEXT:
        return it + 1 < siblings.end() ? *(it + 1) : nullptr;
    case GW_HWNDPREV:
        return it != siblings.begin() ? *(it - 1) : nullptr;
    default:
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
}

int WINAPI GetClassNameA(HWND hwnd, LPSTR buffer, int max) {
    std::lock_guard<std::mutex> guard(UserLock());
    Window* window = FindOrFail(hwnd);
    return window != nullptr ? CopyTextOut(window->className, buffer, max) : 0;
}

LRESULT WINAPI SendMessageA(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    return CallProc(hwnd, msg, wParam, lParam);
}

// Every window procedure on this host is ANSI; wide senders' text goes through the code page both ways.
LRESULT WINAPI SendMessageW(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    auto wide = reinterpret_cast<LPCWSTR>(lParam);
    switch (msg) {
    case WM_SETTEXT:
    case CB_ADDSTRING:
    case CB_INSERTSTRING:
    case CB_FINDSTRING:
    case CB_FINDSTRINGEXACT:
    case CB_SELECTSTRING: {
        if (wide == nullptr) {
            return SendMessageA(hwnd, msg, wParam, 0);
        }
        std::string text = NarrowText(wide);
        return SendMessageA(hwnd, msg, wParam, reinterpret_cast<LPARAM>(text.c_str()));
    }
    case WM_GETTEXT: {
        int max = static_cast<int>(wParam);
        if (max <= 0 || lParam == 0) {
            return 0;
        }
        int ignored;
        std::string text = ReadThroughA(hwnd, WM_GETTEXT, wParam * 4 + 4, max, ignored);
        return CopyTextOut(text, reinterpret_cast<LPWSTR>(lParam), max);
    }
    case WM_GETTEXTLENGTH: {
        int length = static_cast<int>(SendMessageA(hwnd, WM_GETTEXTLENGTH, 0, 0));
        int result;
        std::string text = ReadThroughA(hwnd, WM_GETTEXT, static_cast<WPARAM>(length) + 1, length, result);
        return static_cast<LRESULT>(WidenText(text).size());
    }
    case CB_GETLBTEXT:
    case CB_GETLBTEXTLEN: {
        LRESULT length = SendMessageA(hwnd, CB_GETLBTEXTLEN, wParam, 0);
        if (length < 0) {
            return length;
        }
        int result;
        std::string text = ReadThroughA(hwnd, CB_GETLBTEXT, wParam, static_cast<int>(length), result);
        std::wstring converted = WidenText(text);
        if (msg == CB_GETLBTEXT && lParam != 0) {
            std::wmemcpy(reinterpret_cast<LPWSTR>(lParam), converted.c_str(), converted.size() + 1);
        }
        return static_cast<LRESULT>(converted.size());
    }
    case LVM_INSERTITEMW:
    case LVM_SETITEMW:
    case LVM_SETITEMTEXTW: {
        UINT msgA = msg == LVM_INSERTITEMW ? LVM_INSERTITEMA
                    : msg == LVM_SETITEMW  ? LVM_SETITEMA
                                           : LVM_SETITEMTEXTA;
        if (lParam == 0) {
            return SendMessageA(hwnd, msgA, wParam, 0);
        }
        std::string holder;
        LVITEMA item = NarrowListStruct<LVITEMW, LVITEMA>(*reinterpret_cast<LVITEMW*>(lParam), holder);
        return SendMessageA(hwnd, msgA, wParam, reinterpret_cast<LPARAM>(&item));
    }
    case LVM_INSERTCOLUMNW:
    case LVM_SETCOLUMNW: {
        UINT msgA = msg == LVM_INSERTCOLUMNW ? LVM_INSERTCOLUMNA : LVM_SETCOLUMNA;
        if (lParam == 0) {
            return SendMessageA(hwnd, msgA, wParam, 0);
        }
        std::string holder;
        LVCOLUMNA column =
            NarrowListStruct<LVCOLUMNW, LVCOLUMNA>(*reinterpret_cast<LVCOLUMNW*>(lParam), holder);
        return SendMessageA(hwnd, msgA, wParam, reinterpret_cast<LPARAM>(&column));
    }
    case LVM_GETITEMW:
        return GetListStructW<LVITEMW, LVITEMA>(hwnd, LVM_GETITEMA, wParam,
                                                reinterpret_cast<LVITEMW*>(lParam));
    case LVM_GETITEMTEXTW:
        return GetListStructW<LVITEMW, LVITEMA>(hwnd, LVM_GETITEMTEXTA, wParam,
                                                reinterpret_cast<LVITEMW*>(lParam));
    case LVM_GETCOLUMNW:
        return GetListStructW<LVCOLUMNW, LVCOLUMNA>(hwnd, LVM_GETCOLUMNA, wParam,
                                                    reinterpret_cast<LVCOLUMNW*>(lParam));
    default:
        return SendMessageA(hwnd, msg, wParam, lParam);
    }
}

LRESULT WINAPI CallWindowProcA(WNDPROC proc, HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    return proc != nullptr ? proc(hwnd, msg, wParam, lParam) : 0;
}

LRESULT WINAPI DefWindowProcA(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
    case WM_NCCREATE:
        return TRUE;
    case WM_SETTEXT: {
        std::lock_guard<std::mutex> guard(UserLock());
        Window* window = FindOrFail(hwnd);
        if (window == nullptr) {
            return FALSE;
        }
        if (!UserAllocationAllowed()) {
            SetLastError(ERROR_NOT_ENOUGH_MEMORY);
            return FALSE;
        }
        try {
            window->text = lParam != 0 ? reinterpret_cast<LPCSTR>(lParam) : "";
        } catch (const std::bad_alloc&) {
            return FALSE;
        }
        return TRUE;
    }
    case WM_GETTEXT: {
        std::lock_guard<std::mutex> guard(UserLock());
        Window* window = FindOrFail(hwnd);
        return window != nullptr
                   ? CopyTextOut(window->text, reinterpret_cast<LPSTR>(lParam), static_cast<int>(wParam))
                   : 0;
    }
    case WM_GETTEXTLENGTH: {
        std::lock_guard<std::mutex> guard(UserLock());
        Window* window = FindOrFail(hwnd);
        return window != nullptr ? static_cast<LRESULT>(window->text.size()) : 0;
    }
    case WM_CLOSE:
        DestroyWindow(hwnd);
        return 0;
    default:
        return 0;
    }
}

BOOL WINAPI EnableWindow(HWND hwnd, BOOL enable) {
    BOOL wasDisabled;
    bool changed;
    {
        std::lock_guard<std::mutex> guard(UserLock());
        Window* window = FindOrFail(hwnd);
        if (window == nullptr) {
            return FALSE;
        }
        wasDisabled = (window->style & WS_DISABLED) != 0 ? TRUE : FALSE;
        changed = (enable != FALSE) == (wasDisabled != FALSE);
        if (enable) {
            window->style &= ~static_cast<DWORD>(WS_DISABLED);
        } else {
            window->style |= WS_DISABLED;
        }
    }
    if (changed) {
        SendMessageA(hwnd, WM_ENABLE, enable ? TRUE : FALSE, 0);
    }
    return wasDisabled;
}

BOOL WINAPI IsWindowEnabled(HWND hwnd) {
    std::lock_guard<std::mutex> guard(UserLock());
    Window* window = FindOrFail(hwnd);
    return window != nullptr && (window->style & WS_DISABLED) == 0 ? TRUE : FALSE;
}

BOOL WINAPI ShowWindow(HWND hwnd, int cmdShow) {
    BOOL wasVisible;
    bool show = cmdShow != SW_HIDE && cmdShow != SW_MINIMIZE;
    {
        std::lock_guard<std::mutex> guard(UserLock());
        Window* window = FindOrFail(hwnd);
        if (window == nullptr) {
            return FALSE;
        }
        wasVisible = (window->style & WS_VISIBLE) != 0 ? TRUE : FALSE;
        if (show) {
            window->style |= WS_VISIBLE;
        } else {
            window->style &= ~static_cast<DWORD>(WS_VISIBLE);
        }
    }
    if ((wasVisible != FALSE) != show) {
        SendMessageA(hwnd, WM_SHOWWINDOW, show ? TRUE : FALSE, 0);
    }
    return wasVisible;
}

BOOL WINAPI IsWindowVisible(HWND hwnd) {
    std::lock_guard<std::mutex> guard(UserLock());
    Window* window = FindWindowLocked(hwnd);
    if (window == nullptr) {
        return FALSE;
    }
    // Visible only when every ancestor is.
    for (; window != nullptr; window = FindWindowLocked(window->parent)) {
        if ((window->style & WS_VISIBLE) == 0) {
            return FALSE;
        }
    }
    return TRUE;
}

BOOL WINAPI MoveWindow(HWND hwnd, int x, int y, int width, int height, BOOL repaint) {
    {
        std::lock_guard<std::mutex> guard(UserLock());
        Window* window = FindOrFail(hwnd);
        if (window == nullptr) {
            return FALSE;
        }
        window->rect = RECT{x, y, x + width, y + height};
    }
    SendMessageA(hwnd, WM_SIZE, SIZE_RESTORED, MAKELPARAM(width, height));
    SendMessageA(hwnd, WM_MOVE, 0, MAKELPARAM(x, y));
    return TRUE;
}

BOOL WINAPI SetWindowPos(HWND hwnd, HWND, int x, int y, int width, int height, UINT flags) {
    RECT now;
    {
        std::lock_guard<std::mutex> guard(UserLock());
        Window* window = FindOrFail(hwnd);
        if (window == nullptr) {
            return FALSE;
        }
        now = window->rect;
    }
    if ((flags & SWP_NOMOVE) != 0) {
        x = now.left;
        y = now.top;
    }
    if ((flags & SWP_NOSIZE) != 0) {
        width = now.right - now.left;
        height = now.bottom - now.top;
    }
    if ((flags & (SWP_NOMOVE | SWP_NOSIZE)) != (SWP_NOMOVE | SWP_NOSIZE)) {
        MoveWindow(hwnd, x, y, width, height, (flags & SWP_NOREDRAW) == 0);
    }
    if ((flags & SWP_SHOWWINDOW) != 0) {
        ShowWindow(hwnd, SW_SHOWNA);
    } else if ((flags & SWP_HIDEWINDOW) != 0) {
        ShowWindow(hwnd, SW_HIDE);
    }
    return TRUE;
}

HWND WINAPI GetDesktopWindow(void) {
    static HWND desktop = [] {
        std::lock_guard<std::mutex> guard(UserLock());
        auto window = std::make_unique<Window>();
        HWND hwnd = reinterpret_cast<HWND>(g_nextHandle);
        window->handle = hwnd;
        window->kind = WindowKind::Desktop;
        window->className = "#32769";
        window->proc = DefWindowProcA;
        window->style = WS_POPUP | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN;
        window->rect = RECT{0, 0, 1920, 1080};
        Table().emplace(g_nextHandle, std::move(window));
        g_nextHandle += 2;
        return hwnd;
    }();
    return desktop;
}

BOOL WINAPI GetWindowRect(HWND hwnd, LPRECT rect) {
    std::lock_guard<std::mutex> guard(UserLock());
    Window* window = FindOrFail(hwnd);
    if (window == nullptr || rect == nullptr) {
        return FALSE;
    }
    // Screen coordinates: offset by every ancestor's position.
    RECT r = window->rect;
    for (Window* up = FindWindowLocked(window->parent); up != nullptr; up = FindWindowLocked(up->parent)) {
        r.left += up->rect.left;
        r.right += up->rect.left;
        r.top += up->rect.top;
        r.bottom += up->rect.top;
    }
    *rect = r;
    return TRUE;
}

BOOL WINAPI GetClientRect(HWND hwnd, LPRECT rect) {
    std::lock_guard<std::mutex> guard(UserLock());
    Window* window = FindOrFail(hwnd);
    if (window == nullptr || rect == nullptr) {
        return FALSE;
    }
    *rect = RECT{0, 0, window->rect.right - window->rect.left, window->rect.bottom - window->rect.top};
    return TRUE;
}

BOOL WINAPI SetWindowTextA(HWND hwnd, LPCSTR text) {
    if (!IsWindow(hwnd)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    return SendMessageA(hwnd, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text)) > 0 ? TRUE : FALSE;
}

BOOL WINAPI SetWindowTextW(HWND hwnd, LPCWSTR text) {
    if (!IsWindow(hwnd)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    return SendMessageW(hwnd, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text)) > 0 ? TRUE : FALSE;
}

int WINAPI GetWindowTextA(HWND hwnd, LPSTR buffer, int max) {
    if (buffer != nullptr && max > 0) {
        buffer[0] = '\0';
    }
    if (!IsWindow(hwnd)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    return static_cast<int>(
        SendMessageA(hwnd, WM_GETTEXT, static_cast<WPARAM>(max), reinterpret_cast<LPARAM>(buffer)));
}

int WINAPI GetWindowTextW(HWND hwnd, LPWSTR buffer, int max) {
    if (buffer != nullptr && max > 0) {
        buffer[0] = L'\0';
    }
    if (!IsWindow(hwnd)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    return static_cast<int>(
        SendMessageW(hwnd, WM_GETTEXT, static_cast<WPARAM>(max), reinterpret_cast<LPARAM>(buffer)));
}

int WINAPI GetWindowTextLengthA(HWND hwnd) {
    if (!IsWindow(hwnd)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    return static_cast<int>(SendMessageA(hwnd, WM_GETTEXTLENGTH, 0, 0));
}

LONG_PTR WINAPI GetWindowLongPtrA(HWND hwnd, int index) {
    std::lock_guard<std::mutex> guard(UserLock());
    Window* window = FindOrFail(hwnd);
    if (window == nullptr) {
        return 0;
    }
    switch (index) {
    case GWLP_WNDPROC:
        return reinterpret_cast<LONG_PTR>(window->proc);
    case GWLP_HINSTANCE:
        return reinterpret_cast<LONG_PTR>(window->instance);
    case GWLP_HWNDPARENT:
        return reinterpret_cast<LONG_PTR>(window->parent);
    case GWLP_ID:
        return window->id;
    case GWL_STYLE:
        return static_cast<LONG>(window->style);
    case GWL_EXSTYLE:
        return static_cast<LONG>(window->exStyle);
    case GWLP_USERDATA:
        return window->userData;
    default:
        break;
    }
    if (window->kind == WindowKind::Dialog) {
        switch (index) {
        case DWLP_MSGRESULT:
            return window->msgResult;
        case DWLP_DLGPROC:
            return reinterpret_cast<LONG_PTR>(window->dlgProc);
        case DWLP_USER:
            return window->dlgUser;
        default:
            break;
        }
    }
    SetLastError(ERROR_INVALID_INDEX);
    return 0;
}

LONG_PTR WINAPI SetWindowLongPtrA(HWND hwnd, int index, LONG_PTR value) {
    std::lock_guard<std::mutex> guard(UserLock());
    Window* window = FindOrFail(hwnd);
    if (window == nullptr) {
        return 0;
    }
    LONG_PTR old;
    switch (index) {
    case GWLP_WNDPROC:
        if (value == 0) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return 0;
        }
        old = reinterpret_cast<LONG_PTR>(window->proc);
        window->proc = reinterpret_cast<WNDPROC>(value);
        return old;
    case GWLP_HINSTANCE:
        old = reinterpret_cast<LONG_PTR>(window->instance);
        window->instance = reinterpret_cast<HINSTANCE>(value);
        return old;
    case GWLP_ID:
        old = window->id;
        window->id = value;
        return old;
    case GWL_STYLE:
        // Setting the style moves the window's enabled and visible state with it, as on Windows.
        old = static_cast<LONG>(window->style);
        window->style = static_cast<DWORD>(value);
        return old;
    case GWL_EXSTYLE:
        old = static_cast<LONG>(window->exStyle);
        window->exStyle = static_cast<DWORD>(value);
        return old;
    case GWLP_USERDATA:
        old = window->userData;
        window->userData = value;
        return old;
    default:
        break;
    }
    if (window->kind == WindowKind::Dialog) {
        switch (index) {
        case DWLP_MSGRESULT:
            old = window->msgResult;
            window->msgResult = value;
            return old;
        case DWLP_DLGPROC:
            old = reinterpret_cast<LONG_PTR>(window->dlgProc);
            window->dlgProc = reinterpret_cast<DLGPROC>(value);
            return old;
        case DWLP_USER:
            old = window->dlgUser;
            window->dlgUser = value;
            return old;
        default:
            break;
        }
    }
    SetLastError(ERROR_INVALID_INDEX);
    return 0;
}

LONG_PTR WINAPI GetWindowLongPtrW(HWND hwnd, int index) {
    return GetWindowLongPtrA(hwnd, index);
}

LONG_PTR WINAPI SetWindowLongPtrW(HWND hwnd, int index, LONG_PTR value) {
    return SetWindowLongPtrA(hwnd, index, value);
}

// The 32-bit forms reach only 32-bit data: pointer-sized indices need the Ptr forms, as on Win64.
LONG WINAPI GetWindowLongA(HWND hwnd, int index) {
    if (index == GWLP_WNDPROC || index == GWLP_HINSTANCE || index == GWLP_HWNDPARENT) {
        SetLastError(ERROR_INVALID_INDEX);
        return 0;
    }
    return static_cast<LONG>(GetWindowLongPtrA(hwnd, index));
}

LONG WINAPI SetWindowLongA(HWND hwnd, int index, LONG value) {
    if (index == GWLP_WNDPROC || index == GWLP_HINSTANCE || index == GWLP_HWNDPARENT) {
        SetLastError(ERROR_INVALID_INDEX);
        return 0;
    }
    return static_cast<LONG>(SetWindowLongPtrA(hwnd, index, value));
}
