// Module resources (dialog templates and string-table entries registered per module), LoadString, and
// MessageBox through the installed presenter or the recording default.
#include <windows.h>
#include <qxuser.h>

#include "testhooks.h"
#include "userinternal.h"

#include <cctype>
#include <map>
#include <new>

namespace qxplatform {
namespace {

struct DialogEntry {
    DialogData data;
    QX_DIALOG view{};
    std::vector<QX_DIALOG_ITEM> items;
};

struct StringEntry {
    std::string text;
    std::wstring wide;
};

struct ModuleResources {
    std::map<std::string, std::unique_ptr<DialogEntry>> dialogs;
    std::map<UINT, StringEntry> strings;
};

std::mutex g_lock;
std::map<HINSTANCE, ModuleResources>& Modules() {
    static std::map<HINSTANCE, ModuleResources> modules;
    return modules;
}

// As FindResource, a null module is the executable.
HINSTANCE ModuleOf(HINSTANCE module) {
    return module != nullptr ? module : GetModuleHandleA(nullptr);
}

// Resource names: an identifier and "#<identifier>" are the same; string names ignore case.
std::string KeyOf(LPCSTR name) {
    if (IS_INTRESOURCE(name)) {
        return "#" + std::to_string(reinterpret_cast<UINT_PTR>(name));
    }
    std::string key(name);
    for (char& c : key) {
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    if (key.size() > 1 && key[0] == '#') {
        return "#" + std::to_string(std::strtoul(key.c_str() + 1, nullptr, 10));
    }
    return key;
}

// The QX_DIALOG view of an entry points into the entry's own strings.
void BuildView(DialogEntry& e) {
    const DialogData& d = e.data;
    e.items.clear();
    e.items.reserve(d.items.size());
    for (const DialogItemData& item : d.items) {
        e.items.push_back(QX_DIALOG_ITEM{static_cast<WORD>(item.id), item.className.c_str(),
                                         item.text.c_str(), item.x, item.y, item.cx, item.cy, item.style,
                                         item.exStyle});
    }
    e.view = QX_DIALOG{d.style,
                       d.exStyle,
                       d.x,
                       d.y,
                       d.cx,
                       d.cy,
                       d.caption.c_str(),
                       d.pointSize,
                       d.typeface.c_str(),
                       static_cast<UINT>(e.items.size()),
                       e.items.empty() ? nullptr : e.items.data()};
}

int CALLBACK RecordingPresenter(void* context, HWND owner, LPCSTR text, LPCSTR caption, UINT type);

QX_MESSAGEBOX_PRESENTER g_presenter = RecordingPresenter;
void* g_presenterContext = nullptr;
std::vector<RecordedMessageBox> g_recorded;

// The button a user's Enter would press: the default one of the set.
int DefaultAnswer(UINT type) {
    static const int kButtons[][3] = {
        {IDOK, 0, 0},     {IDOK, IDCANCEL, 0},    {IDABORT, IDRETRY, IDIGNORE},       {IDYES, IDNO, IDCANCEL},
        {IDYES, IDNO, 0}, {IDRETRY, IDCANCEL, 0}, {IDCANCEL, IDTRYAGAIN, IDCONTINUE},
    };
    UINT set = type & MB_TYPEMASK;
    if (set >= sizeof(kButtons) / sizeof(kButtons[0])) {
        set = 0;
    }
    UINT which = (type & MB_DEFMASK) >> 8;
    if (which > 2 || kButtons[set][which] == 0) {
        which = 0;
    }
    return kButtons[set][which];
}

int CALLBACK RecordingPresenter(void*, HWND owner, LPCSTR text, LPCSTR caption, UINT type) {
    std::lock_guard<std::mutex> guard(g_lock);
    try {
        g_recorded.push_back(RecordedMessageBox{owner, text, caption, type});
    } catch (const std::bad_alloc&) {
        // A record lost for want of memory does not change the answer.
    }
    return DefaultAnswer(type);
}

} // namespace

bool LookupDialog(HINSTANCE module, LPCSTR name, DialogData& out) {
    if (name == nullptr) {
        return false;
    }
    std::string key = KeyOf(name);
    std::lock_guard<std::mutex> guard(g_lock);
    auto m = Modules().find(ModuleOf(module));
    if (m == Modules().end()) {
        return false;
    }
    auto d = m->second.dialogs.find(key);
    if (d == m->second.dialogs.end()) {
        return false;
    }
    out = d->second->data;
    return true;
}

} // namespace qxplatform

using namespace qxplatform;

BOOL QxRegisterDialog(HINSTANCE module, LPCSTR name, const QX_DIALOG* dialog) {
    if (name == nullptr || dialog == nullptr || (dialog->itemCount != 0 && dialog->items == nullptr)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    for (UINT i = 0; i < dialog->itemCount; ++i) {
        if (dialog->items[i].className == nullptr || IS_INTRESOURCE(dialog->items[i].className)) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return FALSE;
        }
    }
    if (!UserAllocationAllowed()) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return FALSE;
    }
    try {
        auto entry = std::make_unique<DialogEntry>();
        DialogData& d = entry->data;
        d.style = dialog->style;
        d.exStyle = dialog->exStyle;
        d.x = dialog->x;
        d.y = dialog->y;
        d.cx = dialog->cx;
        d.cy = dialog->cy;
        d.caption = dialog->caption != nullptr ? dialog->caption : "";
        d.pointSize = dialog->pointSize;
        d.typeface = dialog->typeface != nullptr ? dialog->typeface : "";
        for (UINT i = 0; i < dialog->itemCount; ++i) {
            const QX_DIALOG_ITEM& in = dialog->items[i];
            DialogItemData item;
            item.id = in.id;
            item.className = in.className;
            item.text = in.text != nullptr ? in.text : "";
            item.x = in.x;
            item.y = in.y;
            item.cx = in.cx;
            item.cy = in.cy;
            item.style = in.style;
            item.exStyle = in.exStyle;
            d.items.push_back(std::move(item));
        }
        BuildView(*entry);
        std::string key = KeyOf(name);
        std::lock_guard<std::mutex> guard(g_lock);
        Modules()[ModuleOf(module)].dialogs[key] = std::move(entry);
    } catch (const std::bad_alloc&) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return FALSE;
    }
    return TRUE;
}

BOOL QxRegisterString(HINSTANCE module, UINT id, LPCSTR text) {
    // String-table identifiers are 16-bit.
    if (text == nullptr || id > 0xFFFF) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (!UserAllocationAllowed()) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return FALSE;
    }
    try {
        StringEntry entry{text, WidenText(text)};
        std::lock_guard<std::mutex> guard(g_lock);
        Modules()[ModuleOf(module)].strings[id] = std::move(entry);
    } catch (const std::bad_alloc&) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return FALSE;
    }
    return TRUE;
}

void QxUnregisterResources(HINSTANCE module) {
    std::lock_guard<std::mutex> guard(g_lock);
    Modules().erase(ModuleOf(module));
}

const QX_DIALOG* QxFindDialog(HINSTANCE module, LPCSTR name) {
    if (name == nullptr) {
        return nullptr;
    }
    std::string key = KeyOf(name);
    std::lock_guard<std::mutex> guard(g_lock);
    auto m = Modules().find(ModuleOf(module));
    if (m == Modules().end()) {
        return nullptr;
    }
    auto d = m->second.dialogs.find(key);
    return d != m->second.dialogs.end() ? &d->second->view : nullptr;
}

QX_MESSAGEBOX_PRESENTER QxSetMessageBoxPresenter(QX_MESSAGEBOX_PRESENTER presenter, void* context) {
    std::lock_guard<std::mutex> guard(g_lock);
    QX_MESSAGEBOX_PRESENTER old = g_presenter;
    g_presenter = presenter != nullptr ? presenter : RecordingPresenter;
    g_presenterContext = presenter != nullptr ? context : nullptr;
    return old;
}

// An empty string-table entry counts as absent, as in a compiled string table.
int WINAPI LoadStringA(HINSTANCE module, UINT id, LPSTR buffer, int max) {
    if (buffer == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    std::lock_guard<std::mutex> guard(g_lock);
    auto m = Modules().find(ModuleOf(module));
    if (m == Modules().end() || m->second.strings.count(id) == 0 || m->second.strings[id].text.empty()) {
        if (max > 0) {
            buffer[0] = '\0';
        }
        SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
        return 0;
    }
    return CopyTextOut(m->second.strings[id].text, buffer, max);
}

int WINAPI LoadStringW(HINSTANCE module, UINT id, LPWSTR buffer, int max) {
    if (buffer == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    std::lock_guard<std::mutex> guard(g_lock);
    auto m = Modules().find(ModuleOf(module));
    if (m == Modules().end() || m->second.strings.count(id) == 0 || m->second.strings[id].wide.empty()) {
        if (max > 0) {
            buffer[0] = L'\0';
        }
        SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
        return 0;
    }
    const std::wstring& wide = m->second.strings[id].wide;
    if (max == 0) {
        // The resource itself, read-only, for as long as the module's resources stay.
        *reinterpret_cast<LPCWSTR*>(buffer) = wide.c_str();
        return static_cast<int>(wide.size());
    }
    if (max < 0) {
        return 0;
    }
    size_t n = std::min(wide.size(), static_cast<size_t>(max) - 1);
    std::wmemcpy(buffer, wide.data(), n);
    buffer[n] = L'\0';
    return static_cast<int>(n);
}

int WINAPI MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type) {
    if (owner != nullptr && !IsWindow(owner)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    QX_MESSAGEBOX_PRESENTER presenter;
    void* context;
    {
        std::lock_guard<std::mutex> guard(g_lock);
        presenter = g_presenter;
        context = g_presenterContext;
    }
    // Windows captions a box without a caption "Error".
    return presenter(context, owner, text != nullptr ? text : "", caption != nullptr ? caption : "Error",
                     type);
}

int WINAPI MessageBoxW(HWND owner, LPCWSTR text, LPCWSTR caption, UINT type) {
    std::string narrowText = NarrowText(text);
    std::string narrowCaption = NarrowText(caption);
    return MessageBoxA(owner, narrowText.c_str(), caption != nullptr ? narrowCaption.c_str() : nullptr, type);
}

std::vector<RecordedMessageBox> MessageBoxCapture() {
    std::lock_guard<std::mutex> guard(g_lock);
    std::vector<RecordedMessageBox> taken;
    taken.swap(g_recorded);
    return taken;
}

void MessageBoxClear() {
    std::lock_guard<std::mutex> guard(g_lock);
    g_recorded.clear();
}
