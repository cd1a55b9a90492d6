// The controls: button, static, edit, combo box and the report-view list view, each a window procedure
// over the state its window keeps.
#include <windows.h>
#include <commctrl.h>

#include "userinternal.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace qxplatform {
namespace {

LPCSTR TextOf(LPARAM lParam) {
    return reinterpret_cast<LPCSTR>(lParam);
}

// ---- combo box ----

bool IsDropDownList(const Window& w) {
    return (w.style & 0x3) == CBS_DROPDOWNLIST;
}

// Prefix or whole-text search from the entry after start, wrapping round, case-insensitive.
int FindEntry(const ComboState& c, WPARAM start, LPCSTR text, bool exact) {
    if (text == nullptr || c.items.empty()) {
        return CB_ERR;
    }
    std::string wanted(text);
    int n = static_cast<int>(c.items.size());
    int first = static_cast<int>(start);
    first = first < 0 || first >= n ? 0 : first + 1;
    for (int k = 0; k < n; ++k) {
        int i = (first + k) % n;
        const std::string& item = c.items[static_cast<size_t>(i)];
        std::string head = exact ? item : item.substr(0, std::min(item.size(), wanted.size()));
        if ((exact || item.size() >= wanted.size()) && CompareNoCase(head, wanted) == 0) {
            return i;
        }
    }
    return CB_ERR;
}

// Answers the new entry's index, CB_ERR for a bad position or CB_ERRSPACE when memory runs out.
LRESULT InsertEntry(Window& w, int index, LPCSTR text, bool sorted) {
    ComboState& c = *w.combo;
    if (text == nullptr) {
        return CB_ERR;
    }
    int n = static_cast<int>(c.items.size());
    if (sorted) {
        index = 0;
        while (index < n && CompareNoCase(c.items[static_cast<size_t>(index)], text) <= 0) {
            ++index;
        }
    } else if (index < 0) {
        index = n;
    } else if (index > n) {
        return CB_ERR;
    }
    if (!UserAllocationAllowed()) {
        return CB_ERRSPACE;
    }
    try {
        c.items.reserve(c.items.size() + 1);
        c.data.reserve(c.data.size() + 1);
        c.items.insert(c.items.begin() + index, text);
        c.data.insert(c.data.begin() + index, 0);
    } catch (const std::bad_alloc&) {
        return CB_ERRSPACE;
    }
    if (c.selection >= index) {
        ++c.selection;
    }
    return index;
}

LRESULT ComboMessage(Window& w, UINT msg, WPARAM wParam, LPARAM lParam, int& notify) {
    ComboState& c = *w.combo;
    int count = static_cast<int>(c.items.size());
    int index = static_cast<int>(wParam);
    bool valid = index >= 0 && index < count;
    switch (msg) {
    case CB_ADDSTRING:
    case CB_INSERTSTRING: {
        LRESULT result = InsertEntry(w, msg == CB_ADDSTRING ? -1 : index, TextOf(lParam),
                                     msg == CB_ADDSTRING && (w.style & CBS_SORT) != 0);
        if (result == CB_ERRSPACE) {
            notify = CBN_ERRSPACE;
        }
        return result;
    }
    case CB_DELETESTRING:
        if (!valid) {
            return CB_ERR;
        }
        c.items.erase(c.items.begin() + index);
        c.data.erase(c.data.begin() + index);
        if (c.selection == index) {
            c.selection = CB_ERR;
        } else if (c.selection > index) {
            --c.selection;
        }
        return count - 1;
    case CB_RESETCONTENT:
        c.items.clear();
        c.data.clear();
        c.selection = CB_ERR;
        return CB_OKAY;
    case CB_GETCOUNT:
        return count;
    case CB_GETCURSEL:
        return c.selection;
    case CB_SETCURSEL:
        // -1 or a position past the end clears the selection and answers CB_ERR; no notification either way.
        c.selection = valid ? index : CB_ERR;
        return c.selection;
    case CB_GETLBTEXT:
        if (!valid || lParam == 0) {
            return CB_ERR;
        }
        // The caller's buffer is sized from CB_GETLBTEXTLEN; the whole entry is copied.
        std::memcpy(reinterpret_cast<LPSTR>(lParam), c.items[static_cast<size_t>(index)].c_str(),
                    c.items[static_cast<size_t>(index)].size() + 1);
        return static_cast<LRESULT>(c.items[static_cast<size_t>(index)].size());
    case CB_GETLBTEXTLEN:
        return valid ? static_cast<LRESULT>(c.items[static_cast<size_t>(index)].size()) : CB_ERR;
    case CB_FINDSTRING:
    case CB_FINDSTRINGEXACT:
        return FindEntry(c, wParam, TextOf(lParam), msg == CB_FINDSTRINGEXACT);
    case CB_SELECTSTRING: {
        int found = FindEntry(c, wParam, TextOf(lParam), false);
        if (found != CB_ERR) {
            c.selection = found;
        }
        return found;
    }
    case CB_GETITEMDATA:
        return valid ? c.data[static_cast<size_t>(index)] : CB_ERR;
    case CB_SETITEMDATA:
        if (!valid) {
            return CB_ERR;
        }
        c.data[static_cast<size_t>(index)] = lParam;
        return TRUE;
    case CB_SHOWDROPDOWN:
        if ((w.style & 0x3) != CBS_SIMPLE && (wParam != 0) != c.dropped) {
            c.dropped = wParam != 0;
            notify = c.dropped ? CBN_DROPDOWN : CBN_CLOSEUP;
        }
        return TRUE;
    case CB_GETDROPPEDSTATE:
        return c.dropped ? TRUE : FALSE;
    case WM_GETTEXT:
    case WM_GETTEXTLENGTH: {
        const std::string& text = !IsDropDownList(w) ? w.text
                                  : c.selection >= 0 && c.selection < count
                                      ? c.items[static_cast<size_t>(c.selection)]
                                      : w.text;
        if (msg == WM_GETTEXTLENGTH) {
            return static_cast<LRESULT>(text.size());
        }
        return CopyTextOut(text, reinterpret_cast<LPSTR>(lParam), static_cast<int>(wParam));
    }
    case WM_SETTEXT: {
        if (!IsDropDownList(w)) {
            if (!UserAllocationAllowed()) {
                return CB_ERRSPACE;
            }
            try {
                w.text = lParam != 0 ? TextOf(lParam) : "";
            } catch (const std::bad_alloc&) {
                return CB_ERRSPACE;
            }
            return TRUE;
        }
        // A drop-down list can only show one of its entries: the text selects it.
        int found = FindEntry(c, static_cast<WPARAM>(-1), lParam != 0 ? TextOf(lParam) : "", true);
        if (found == CB_ERR) {
            return CB_ERR;
        }
        c.selection = found;
        return TRUE;
    }
    default:
        return 0;
    }
}

// ---- list view ----

bool ListValidItem(const ListState& l, int item) {
    return item >= 0 && item < static_cast<int>(l.rows.size());
}

// Sub-items beyond the columns have nowhere to show, so setting them is refused; sub-item 0 is the item.
bool ListValidSubItem(const ListState& l, int subItem) {
    return subItem == 0 || (subItem > 0 && subItem < static_cast<int>(l.columns.size()));
}

bool SetCellText(ListRow& row, int subItem, LPCSTR text) {
    if (!UserAllocationAllowed()) {
        return false;
    }
    try {
        if (row.cells.size() <= static_cast<size_t>(subItem)) {
            row.cells.resize(static_cast<size_t>(subItem) + 1);
        }
        // Text supplied on request (LPSTR_TEXTCALLBACK) is not asked for here: the cell stays empty.
        row.cells[static_cast<size_t>(subItem)] =
            text != nullptr && text != LPSTR_TEXTCALLBACKA ? std::string(text) : std::string();
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}

std::string CellText(const ListRow& row, int subItem) {
    return static_cast<size_t>(subItem) < row.cells.size() ? row.cells[static_cast<size_t>(subItem)]
                                                           : std::string();
}

LRESULT ListInsertItem(Window& w, const LVITEMA* item) {
    ListState& l = *w.list;
    if (item == nullptr || item->iSubItem != 0 || item->iItem < 0) {
        return -1;
    }
    int n = static_cast<int>(l.rows.size());
    std::string text =
        (item->mask & LVIF_TEXT) != 0 && item->pszText != nullptr && item->pszText != LPSTR_TEXTCALLBACKA
            ? item->pszText
            : "";
    int index = std::min(item->iItem, n);
    // A sorting list places the item by its text whatever position is asked for.
    DWORD sort = w.style & (LVS_SORTASCENDING | LVS_SORTDESCENDING);
    if (sort != 0) {
        index = 0;
        while (index < n) {
            int order = CompareNoCase(l.rows[static_cast<size_t>(index)].cells[0], text);
            if ((sort == LVS_SORTASCENDING && order > 0) || (sort != LVS_SORTASCENDING && order < 0)) {
                break;
            }
            ++index;
        }
    }
    if (!UserAllocationAllowed()) {
        return -1;
    }
    try {
        ListRow row;
        row.cells.push_back(text);
        if ((item->mask & LVIF_PARAM) != 0) {
            row.param = item->lParam;
        }
        if ((item->mask & LVIF_STATE) != 0) {
            row.state = item->state & item->stateMask;
        }
        l.rows.insert(l.rows.begin() + index, std::move(row));
    } catch (const std::bad_alloc&) {
        return -1;
    }
    return index;
}

LRESULT ListSetItem(Window& w, int index, const LVITEMA* item, bool textOnly) {
    ListState& l = *w.list;
    if (item == nullptr || !ListValidItem(l, index) || !ListValidSubItem(l, item->iSubItem)) {
        return FALSE;
    }
    ListRow& row = l.rows[static_cast<size_t>(index)];
    if ((textOnly || (item->mask & LVIF_TEXT) != 0) && !SetCellText(row, item->iSubItem, item->pszText)) {
        return FALSE;
    }
    if (!textOnly && item->iSubItem == 0) {
        if ((item->mask & LVIF_PARAM) != 0) {
            row.param = item->lParam;
        }
        if ((item->mask & LVIF_STATE) != 0) {
            row.state = (row.state & ~item->stateMask) | (item->state & item->stateMask);
        }
    }
    return TRUE;
}

LRESULT ListMessage(Window& w, UINT msg, WPARAM wParam, LPARAM lParam) {
    ListState& l = *w.list;
    int index = static_cast<int>(wParam);
    switch (msg) {
    case LVM_GETITEMCOUNT:
        return static_cast<LRESULT>(l.rows.size());
    case LVM_SETEXTENDEDLISTVIEWSTYLE: {
        // A zero mask changes every style bit.
        DWORD mask = wParam != 0 ? static_cast<DWORD>(wParam) : 0xFFFFFFFF;
        DWORD old = l.exStyle;
        l.exStyle = (old & ~mask) | (static_cast<DWORD>(lParam) & mask);
        return old;
    }
    case LVM_GETEXTENDEDLISTVIEWSTYLE:
        return l.exStyle;
    case LVM_INSERTITEMA:
        return ListInsertItem(w, reinterpret_cast<const LVITEMA*>(lParam));
    case LVM_SETITEMA: {
        auto* item = reinterpret_cast<const LVITEMA*>(lParam);
        return item != nullptr ? ListSetItem(w, item->iItem, item, false) : FALSE;
    }
    case LVM_SETITEMTEXTA:
        return ListSetItem(w, index, reinterpret_cast<const LVITEMA*>(lParam), true);
    case LVM_GETITEMTEXTA: {
        auto* item = reinterpret_cast<LVITEMA*>(lParam);
        if (item == nullptr || !ListValidItem(l, index) || item->iSubItem < 0) {
            return 0;
        }
        return CopyTextOut(CellText(l.rows[static_cast<size_t>(index)], item->iSubItem), item->pszText,
                           item->cchTextMax);
    }
    case LVM_GETITEMA: {
        auto* item = reinterpret_cast<LVITEMA*>(lParam);
        if (item == nullptr || !ListValidItem(l, item->iItem) || item->iSubItem < 0) {
            return FALSE;
        }
        const ListRow& row = l.rows[static_cast<size_t>(item->iItem)];
        if ((item->mask & LVIF_TEXT) != 0) {
            CopyTextOut(CellText(row, item->iSubItem), item->pszText, item->cchTextMax);
        }
        if ((item->mask & LVIF_PARAM) != 0) {
            item->lParam = row.param;
        }
        if ((item->mask & LVIF_STATE) != 0) {
            item->state = row.state & item->stateMask;
        }
        return TRUE;
    }
    case LVM_DELETEITEM:
        if (!ListValidItem(l, index)) {
            return FALSE;
        }
        l.rows.erase(l.rows.begin() + index);
        return TRUE;
    case LVM_DELETEALLITEMS:
        l.rows.clear();
        return TRUE;
    case LVM_INSERTCOLUMNA: {
        auto* column = reinterpret_cast<const LVCOLUMNA*>(lParam);
        if (column == nullptr || index < 0) {
            return -1;
        }
        int at = std::min(index, static_cast<int>(l.columns.size()));
        if (!UserAllocationAllowed()) {
            return -1;
        }
        try {
            ListColumn c;
            c.fmt = (column->mask & LVCF_FMT) != 0 ? column->fmt : LVCFMT_LEFT;
            c.cx = (column->mask & LVCF_WIDTH) != 0 ? column->cx : 0;
            if ((column->mask & LVCF_TEXT) != 0 && column->pszText != nullptr) {
                c.text = column->pszText;
            }
            c.subItem = (column->mask & LVCF_SUBITEM) != 0 ? column->iSubItem : at;
            l.columns.insert(l.columns.begin() + at, std::move(c));
            // A column placed before others moves their sub-items along with them.
            for (ListRow& row : l.rows) {
                size_t from = static_cast<size_t>(std::max(at, 1));
                if (row.cells.size() > from) {
                    row.cells.insert(row.cells.begin() + static_cast<long>(from), std::string());
                }
            }
        } catch (const std::bad_alloc&) {
            return -1;
        }
        return at;
    }
    case LVM_SETCOLUMNA:
    case LVM_GETCOLUMNA: {
        auto* column = reinterpret_cast<LVCOLUMNA*>(lParam);
        if (column == nullptr || index < 0 || index >= static_cast<int>(l.columns.size())) {
            return FALSE;
        }
        ListColumn& c = l.columns[static_cast<size_t>(index)];
        if (msg == LVM_GETCOLUMNA) {
            if ((column->mask & LVCF_FMT) != 0) {
                column->fmt = c.fmt;
            }
            if ((column->mask & LVCF_WIDTH) != 0) {
                column->cx = c.cx;
            }
            if ((column->mask & LVCF_TEXT) != 0) {
                CopyTextOut(c.text, column->pszText, column->cchTextMax);
            }
            if ((column->mask & LVCF_SUBITEM) != 0) {
                column->iSubItem = c.subItem;
            }
            return TRUE;
        }
        if ((column->mask & LVCF_TEXT) != 0) {
            if (!UserAllocationAllowed()) {
                return FALSE;
            }
            c.text = column->pszText != nullptr ? column->pszText : "";
        }
        if ((column->mask & LVCF_FMT) != 0) {
            c.fmt = column->fmt;
        }
        if ((column->mask & LVCF_WIDTH) != 0) {
            c.cx = column->cx;
        }
        if ((column->mask & LVCF_SUBITEM) != 0) {
            c.subItem = column->iSubItem;
        }
        return TRUE;
    }
    case LVM_DELETECOLUMN:
        if (index < 0 || index >= static_cast<int>(l.columns.size())) {
            return FALSE;
        }
        l.columns.erase(l.columns.begin() + index);
        // Sub-item 0 is the item itself and stays; a later column's text goes with it.
        if (index > 0) {
            for (ListRow& row : l.rows) {
                if (row.cells.size() > static_cast<size_t>(index)) {
                    row.cells.erase(row.cells.begin() + index);
                }
            }
        }
        return TRUE;
    case LVM_GETCOLUMNWIDTH:
        return index >= 0 && index < static_cast<int>(l.columns.size())
                   ? l.columns[static_cast<size_t>(index)].cx
                   : 0;
    case LVM_SETCOLUMNWIDTH:
        if (index < 0 || index >= static_cast<int>(l.columns.size())) {
            return FALSE;
        }
        l.columns[static_cast<size_t>(index)].cx = static_cast<short>(LOWORD(lParam));
        return TRUE;
    case LVM_SETITEMSTATE: {
        auto* item = reinterpret_cast<const LVITEMA*>(lParam);
        if (item == nullptr || (index != -1 && !ListValidItem(l, index))) {
            return FALSE;
        }
        // -1 sets the state of every item.
        for (size_t i = 0; i < l.rows.size(); ++i) {
            if (index == -1 || static_cast<int>(i) == index) {
                l.rows[i].state = (l.rows[i].state & ~item->stateMask) | (item->state & item->stateMask);
            }
        }
        return TRUE;
    }
    case LVM_GETITEMSTATE:
        return ListValidItem(l, index) ? l.rows[static_cast<size_t>(index)].state & static_cast<UINT>(lParam)
                                       : 0;
    case LVM_GETSELECTEDCOUNT:
        return std::count_if(l.rows.begin(), l.rows.end(),
                             [](const ListRow& row) { return (row.state & LVIS_SELECTED) != 0; });
    case LVM_GETNEXTITEM: {
        UINT flags = LOWORD(lParam) & (LVNI_FOCUSED | LVNI_SELECTED | LVNI_CUT | LVNI_DROPHILITED);
        for (int i = index < 0 ? 0 : index + 1; i < static_cast<int>(l.rows.size()); ++i) {
            if ((l.rows[static_cast<size_t>(i)].state & flags) == flags) {
                return i;
            }
        }
        return -1;
    }
    case LVM_SETITEMCOUNT:
    case LVM_ENSUREVISIBLE:
        return TRUE;
    default:
        return 0; // LVM_GETHEADER among them: there is no header control
    }
}

} // namespace

// Controls answer what is theirs under the lock and leave the rest to DefWindowProc outside it; a
// notification goes to the parent once the lock is released.
LRESULT CALLBACK ButtonProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
    case BM_CLICK: {
        {
            std::lock_guard<std::mutex> guard(UserLock());
            Window* w = FindWindowLocked(hwnd);
            if (w == nullptr) {
                return 0;
            }
            DWORD type = w->style & BS_TYPEMASK;
            if (type == BS_GROUPBOX) {
                return 0;
            }
            if (type == BS_AUTOCHECKBOX) {
                w->check = w->check == BST_CHECKED ? BST_UNCHECKED : BST_CHECKED;
            } else if (type == BS_AUTO3STATE) {
                w->check = (w->check + 1) % 3;
            } else if (type == BS_AUTORADIOBUTTON) {
                w->check = BST_CHECKED;
            }
        }
        NotifyParent(hwnd, BN_CLICKED);
        return 0;
    }
    case BM_GETCHECK:
    case BM_SETCHECK: {
        std::lock_guard<std::mutex> guard(UserLock());
        Window* w = FindWindowLocked(hwnd);
        if (w == nullptr) {
            return 0;
        }
        if (msg == BM_SETCHECK) {
            w->check = static_cast<UINT>(wParam);
            return 0;
        }
        return w->check;
    }
    default:
        return DefWindowProcA(hwnd, msg, wParam, lParam);
    }
}

LRESULT CALLBACK StaticProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    return DefWindowProcA(hwnd, msg, wParam, lParam);
}

LRESULT CALLBACK EditProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    return DefWindowProcA(hwnd, msg, wParam, lParam);
}

LRESULT CALLBACK ComboBoxProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if ((msg < CB_GETEDITSEL || msg > CB_FINDSTRINGEXACT) && msg != WM_GETTEXT && msg != WM_GETTEXTLENGTH &&
        msg != WM_SETTEXT) {
        return DefWindowProcA(hwnd, msg, wParam, lParam);
    }
    int notify = 0;
    LRESULT result;
    {
        std::lock_guard<std::mutex> guard(UserLock());
        Window* w = FindWindowLocked(hwnd);
        if (w == nullptr || !w->combo) {
            return CB_ERR;
        }
        result = ComboMessage(*w, msg, wParam, lParam, notify);
    }
    if (notify != 0) {
        NotifyParent(hwnd, notify);
    }
    return result;
}

LRESULT CALLBACK ListViewProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg >= LVM_FIRST && msg < LVM_FIRST + 0x100) {
        std::lock_guard<std::mutex> guard(UserLock());
        Window* w = FindWindowLocked(hwnd);
        if (w == nullptr || !w->list) {
            return 0;
        }
        return ListMessage(*w, msg, wParam, lParam);
    }
    return DefWindowProcA(hwnd, msg, wParam, lParam);
}

} // namespace qxplatform

void WINAPI InitCommonControls(void) {}

BOOL WINAPI InitCommonControlsEx(const INITCOMMONCONTROLSEX* icc) {
    if (icc == nullptr || icc->dwSize != sizeof(INITCOMMONCONTROLSEX)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    return TRUE;
}
