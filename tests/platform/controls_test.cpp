// The combo box and the report-view list view as their messages define them: positions, selections,
// copies into callers' buffers, and running out of memory.
#include <windows.h>
#include <commctrl.h>

#include "platform/posix/testhooks.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

std::vector<int> g_codes;

LRESULT CALLBACK ParentProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_COMMAND) {
        g_codes.push_back(static_cast<short>(HIWORD(wParam)));
    }
    return DefWindowProcA(hwnd, msg, wParam, lParam);
}

class ControlTest : public ::testing::Test {
protected:
    void SetUp() override {
        WNDCLASSA wc{};
        wc.lpfnWndProc = ParentProc;
        wc.lpszClassName = "QxControlParent";
        RegisterClassA(&wc);
        parent_ =
            CreateWindowExA(0, "QxControlParent", "", 0, 0, 0, 100, 100, nullptr, nullptr, nullptr, nullptr);
        ASSERT_NE(parent_, nullptr);
        g_codes.clear();
    }
    void TearDown() override {
        UserMemFailAt(0);
        DestroyWindow(parent_);
    }
    HWND Make(LPCSTR cls, DWORD style) {
        return CreateWindowExA(0, cls, "", WS_CHILD | style, 0, 0, 50, 50, parent_,
                               reinterpret_cast<HMENU>(7), nullptr, nullptr);
    }
    HWND parent_ = nullptr;
};

LRESULT Add(HWND combo, const char* text) {
    return SendMessageA(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text));
}

std::string Entry(HWND combo, int index) {
    LRESULT length = SendMessageA(combo, CB_GETLBTEXTLEN, index, 0);
    if (length < 0) {
        return "<CB_ERR>";
    }
    std::string text(static_cast<size_t>(length) + 1, '?');
    EXPECT_EQ(SendMessageA(combo, CB_GETLBTEXT, index, reinterpret_cast<LPARAM>(text.data())), length);
    EXPECT_EQ(text.back(), '\0') << "terminated";
    text.pop_back();
    return text;
}

TEST_F(ControlTest, ComboBoxEntriesAndSelection) {
    HWND combo = Make("ComboBox", CBS_DROPDOWNLIST);
    EXPECT_EQ(SendMessageA(combo, CB_GETCURSEL, 0, 0), CB_ERR);
    EXPECT_EQ(Add(combo, "PMT"), 0);
    EXPECT_EQ(Add(combo, "NIT"), 1) << "no CBS_SORT: appended";
    EXPECT_EQ(Add(combo, "SDT"), 2);
    EXPECT_EQ(SendMessageA(combo, CB_GETCOUNT, 0, 0), 3);
    EXPECT_EQ(Entry(combo, 0), "PMT");
    EXPECT_EQ(Entry(combo, 2), "SDT");
    EXPECT_EQ(Entry(combo, 3), "<CB_ERR>");

    EXPECT_EQ(SendMessageA(combo, CB_SETCURSEL, 1, 0), 1);
    EXPECT_EQ(SendMessageA(combo, CB_GETCURSEL, 0, 0), 1);
    EXPECT_EQ(SendMessageA(combo, CB_SETCURSEL, 3, 0), CB_ERR);
    EXPECT_EQ(SendMessageA(combo, CB_GETCURSEL, 0, 0), CB_ERR) << "a bad index clears the selection";

    EXPECT_EQ(SendMessageA(combo, CB_RESETCONTENT, 0, 0), CB_OKAY);
    EXPECT_EQ(SendMessageA(combo, CB_GETCOUNT, 0, 0), 0);
    EXPECT_EQ(SendMessageA(combo, CB_GETCURSEL, 0, 0), CB_ERR);
    EXPECT_EQ(GetWindowTextLengthA(combo), 0);
    EXPECT_TRUE(g_codes.empty()) << "nothing here is a user's doing";
}

TEST_F(ControlTest, ComboBoxOutOfMemory) {
    HWND combo = Make("ComboBox", CBS_DROPDOWNLIST);
    Add(combo, "PAT");
    UserMemFailAt(1);
    EXPECT_EQ(Add(combo, "PMT"), CB_ERRSPACE);
    EXPECT_EQ(g_codes, std::vector<int>{CBN_ERRSPACE}) << "the parent hears of it";
    EXPECT_EQ(SendMessageA(combo, CB_GETCOUNT, 0, 0), 1);
    EXPECT_EQ(Add(combo, "PMT"), 1);
}

LRESULT InsertColumn(HWND list, int index, const char* text, int width) {
    LVCOLUMNA column{};
    column.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT | LVCF_SUBITEM;
    column.fmt = LVCFMT_LEFT;
    column.cx = width;
    column.pszText = const_cast<LPSTR>(text);
    column.iSubItem = index;
    return SendMessageA(list, LVM_INSERTCOLUMNA, index, reinterpret_cast<LPARAM>(&column));
}

// LVM_INSERTITEMA or LVM_SETITEMA with one cell's text.
LRESULT ItemMessage(HWND list, UINT msg, int row, int sub, const char* text) {
    LVITEMA item{};
    item.mask = LVIF_TEXT;
    item.iItem = row;
    item.iSubItem = sub;
    item.pszText = const_cast<LPSTR>(text);
    return SendMessageA(list, msg, 0, reinterpret_cast<LPARAM>(&item));
}

LRESULT InsertRow(HWND list, int index, const char* text) {
    return ItemMessage(list, LVM_INSERTITEMA, index, 0, text);
}

BOOL SetCell(HWND list, int row, int sub, const char* text) {
    return static_cast<BOOL>(ItemMessage(list, LVM_SETITEMA, row, sub, text));
}

std::string Cell(HWND list, int row, int sub, int max = 128) {
    std::string buffer(static_cast<size_t>(max), '?');
    LVITEMA item{};
    item.iSubItem = sub;
    item.pszText = buffer.data();
    item.cchTextMax = max;
    LRESULT n = SendMessageA(list, LVM_GETITEMTEXTA, row, reinterpret_cast<LPARAM>(&item));
    EXPECT_EQ(n, static_cast<LRESULT>(std::strlen(buffer.c_str())));
    return buffer.c_str();
}

TEST_F(ControlTest, ListViewRowsColumnsAndTheCallersBuffers) {
    HWND list = Make(WC_LISTVIEWA, LVS_REPORT);
    EXPECT_EQ(InsertColumn(list, 0, "Item", 180), 0);
    EXPECT_EQ(InsertColumn(list, 1, "Description", 200), 1);

    EXPECT_EQ(InsertRow(list, 0, "section_syntax_indicator"), 0);
    EXPECT_EQ(InsertRow(list, 1, "section_length"), 1);
    EXPECT_EQ(InsertRow(list, 50, "CRC_32"), 2) << "a position past the end appends";
    EXPECT_EQ(InsertRow(list, 1, "inserted"), 1);
    EXPECT_EQ(InsertRow(list, -1, "x"), -1);
    EXPECT_EQ(SendMessageA(list, LVM_GETITEMCOUNT, 0, 0), 4);
    EXPECT_EQ(Cell(list, 2, 0), "section_length");

    EXPECT_TRUE(SetCell(list, 0, 1, "TRUE"));
    EXPECT_TRUE(SetCell(list, 3, 1, "0x1234abcd"));
    EXPECT_FALSE(SetCell(list, 4, 1, "no such row"));
    EXPECT_FALSE(SetCell(list, 0, 2, "no such column"));
    EXPECT_EQ(Cell(list, 0, 1), "TRUE");
    EXPECT_EQ(Cell(list, 1, 1), "") << "never set";
    EXPECT_EQ(Cell(list, 3, 1, 5), "0x12") << "cut to the caller's buffer, terminated";
    EXPECT_EQ(Cell(list, 3, 1, 1), "");
    EXPECT_EQ(Cell(list, 0, 0), "section_syntax_indicator") << "the item keeps its text";

    EXPECT_TRUE(SendMessageA(list, LVM_DELETEALLITEMS, 0, 0));
    EXPECT_EQ(SendMessageA(list, LVM_GETITEMCOUNT, 0, 0), 0);
    char kept[4] = "abc";
    LVITEMA none{};
    none.pszText = kept;
    none.cchTextMax = 4;
    EXPECT_EQ(SendMessageA(list, LVM_GETITEMTEXTA, 0, reinterpret_cast<LPARAM>(&none)), 0);
    EXPECT_STREQ(kept, "abc") << "no item: the buffer is left alone";
    EXPECT_EQ(SendMessageA(list, LVM_GETCOLUMNWIDTH, 0, 0), 180) << "columns stay";
}

TEST_F(ControlTest, ListViewOutOfMemoryKeepsWhatItHad) {
    HWND list = Make(WC_LISTVIEWA, LVS_REPORT);
    UserMemFailAt(1);
    EXPECT_EQ(InsertColumn(list, 0, "Item", 180), -1);
    EXPECT_EQ(InsertColumn(list, 0, "Item", 180), 0);
    InsertColumn(list, 1, "Description", 200);
    InsertRow(list, 0, "a");
    SetCell(list, 0, 1, "before");
    UserMemFailAt(1);
    EXPECT_EQ(InsertRow(list, 1, "b"), -1);
    EXPECT_EQ(SendMessageA(list, LVM_GETITEMCOUNT, 0, 0), 1);
    UserMemFailAt(1);
    EXPECT_FALSE(SetCell(list, 0, 1, "after"));
    EXPECT_EQ(Cell(list, 0, 1), "before");
}

TEST_F(ControlTest, TextThatCannotBeStoredLeavesTheOldText) {
    HWND button = Make("Button", BS_PUSHBUTTON);
    HWND edit = Make("ComboBox", CBS_DROPDOWN);
    HWND list = Make(WC_LISTVIEWA, LVS_REPORT);
    InsertColumn(list, 0, "Item", 180);
    SetWindowTextA(button, "old");
    SetWindowTextA(edit, "old");
    char text[8];
    LVCOLUMNA column{};
    column.mask = LVCF_TEXT;
    column.pszText = const_cast<LPSTR>("new");
    for (HWND h : {button, edit}) {
        UserMemFailAt(1);
        EXPECT_FALSE(SetWindowTextA(h, "new"));
        GetWindowTextA(h, text, sizeof(text));
        EXPECT_STREQ(text, "old");
    }
    UserMemFailAt(1);
    EXPECT_FALSE(SendMessageA(list, LVM_SETCOLUMNA, 0, reinterpret_cast<LPARAM>(&column)));
    column.pszText = text;
    column.cchTextMax = sizeof(text);
    SendMessageA(list, LVM_GETCOLUMNA, 0, reinterpret_cast<LPARAM>(&column));
    EXPECT_STREQ(text, "Item");

    WNDCLASSA wc{};
    wc.lpfnWndProc = DefWindowProcA;
    wc.lpszClassName = "QxNoRoom";
    UserMemFailAt(1);
    EXPECT_EQ(RegisterClassA(&wc), 0);
    EXPECT_EQ(CreateWindowExA(0, "QxNoRoom", "", 0, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr), nullptr);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_CANNOT_FIND_WND_CLASS));
}

} // namespace
