// Module resources and what reads them: string-table entries through LoadString, template registration,
// and message boxes through the recording default and an installed presenter.
#include <windows.h>
#include <commctrl.h>
#include <qxuser.h>

#include "platform/posix/testhooks.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>

namespace {

HINSTANCE Other() {
    static int marker;
    return reinterpret_cast<HINSTANCE>(&marker);
}

class ResourceTest : public ::testing::Test {
protected:
    void TearDown() override {
        UserMemFailAt(0);
        QxUnregisterResources(nullptr);
        QxUnregisterResources(Other());
        QxSetMessageBoxPresenter(nullptr, nullptr);
        MessageBoxClear();
    }
};

TEST_F(ResourceTest, LoadStringCopiesCutsAndMissesLikeWin32) {
    HINSTANCE exe = GetModuleHandleA(nullptr);
    ASSERT_TRUE(QxRegisterString(exe, 100, "Service Information"));
    char buffer[32];
    EXPECT_EQ(LoadStringA(exe, 100, buffer, sizeof(buffer)), 19);
    EXPECT_STREQ(buffer, "Service Information");
    EXPECT_EQ(LoadStringA(nullptr, 100, buffer, sizeof(buffer)), 19) << "NULL is the executable";
    EXPECT_EQ(LoadStringA(exe, 100, buffer, 8), 7);
    EXPECT_STREQ(buffer, "Service");

    EXPECT_EQ(LoadStringA(Other(), 100, buffer, sizeof(buffer)), 0) << "another module's table";
    EXPECT_EQ(GetLastError(), DWORD(ERROR_RESOURCE_NAME_NOT_FOUND));

    wchar_t wide[8];
    EXPECT_EQ(LoadStringW(exe, 100, wide, 8), 7);
    EXPECT_STREQ(wide, L"Service");

    QxUnregisterResources(exe);
    EXPECT_EQ(LoadStringA(exe, 100, buffer, sizeof(buffer)), 0);
}

TEST_F(ResourceTest, RegistrationKeepsItsOwnCopy) {
    char caption[] = "Page";
    char cls[] = "Button";
    QX_DIALOG_ITEM item{1026, cls, "&Update table", 12, 222, 50, 14, WS_CHILD | WS_VISIBLE | WS_TABSTOP, 0};
    QX_DIALOG dialog{DS_SETFONT | WS_CHILD, 0, 0, 0, 271, 252, caption, 8, "MS Sans Serif", 1, &item};
    ASSERT_TRUE(QxRegisterDialog(nullptr, MAKEINTRESOURCEA(107), &dialog));
    std::strcpy(caption, "Gone");
    std::strcpy(cls, "Static");
    const QX_DIALOG* found = QxFindDialog(nullptr, "#107");
    ASSERT_NE(found, nullptr);
    EXPECT_STREQ(found->caption, "Page");
    EXPECT_STREQ(found->typeface, "MS Sans Serif");
    ASSERT_EQ(found->itemCount, 1u);
    EXPECT_STREQ(found->items[0].className, "Button");
    EXPECT_EQ(found->items[0].y, 222);
    EXPECT_EQ(QxFindDialog(Other(), MAKEINTRESOURCEA(107)), nullptr);

    QX_DIALOG_ITEM nameless = item;
    nameless.className = nullptr;
    dialog.items = &nameless;
    EXPECT_FALSE(QxRegisterDialog(nullptr, MAKEINTRESOURCEA(108), &dialog));
    EXPECT_FALSE(QxRegisterDialog(nullptr, nullptr, &dialog));
    dialog.items = &item;
    UserMemFailAt(1);
    EXPECT_FALSE(QxRegisterDialog(nullptr, MAKEINTRESOURCEA(108), &dialog));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_NOT_ENOUGH_MEMORY));
    UserMemFailAt(1);
    EXPECT_FALSE(QxRegisterString(nullptr, 100, "x"));
    EXPECT_EQ(QxFindDialog(nullptr, MAKEINTRESOURCEA(108)), nullptr);
}

const char kResourceHeader[] = R"(
#define IDD_PAGE 107
#define IDS_TITLE 100
#define IDC_TABLES 1017
)";

const char kScript[] = R"(#include "resource.h"
#include "winres.h"
/* The page as the resource compiler sees it. */
IDD_PAGE DIALOGEX 0, 0, 271, 252
STYLE DS_SETFONT | WS_CHILD | WS_BORDER
FONT 8, "MS Sans Serif", 0, 0, 0x0
BEGIN
    LTEXT           "SI &Tables : ",1007,6,8,34,8
    COMBOBOX        IDC_TABLES,44,6,80,84,CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP
    CONTROL         "",1022,"SysListView32",LVS_REPORT | WS_BORDER | WS_TABSTOP,6,51,253,163
    PUSHBUTTON      "&Update table",1026,12,222,50,14, NOT WS_TABSTOP
END

STRINGTABLE
BEGIN
    IDS_TITLE "Service Information"
END
)";

TEST_F(ResourceTest, ResourceScriptAgreesWithWhatTheModuleRegistered) {
    const DWORD child = WS_CHILD | WS_VISIBLE;
    QX_DIALOG_ITEM items[] = {
        {1007, "Static", "SI &Tables : ", 6, 8, 34, 8, child | SS_LEFT | WS_GROUP, 0},
        {1017, "ComboBox", "", 44, 6, 80, 84, child | CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP, 0},
        {1022, "SysListView32", "", 6, 51, 253, 163, child | LVS_REPORT | WS_BORDER | WS_TABSTOP, 0},
        {1026, "Button", "&Update table", 12, 222, 50, 14, child | BS_PUSHBUTTON, 0},
    };
    QX_DIALOG page{DS_SETFONT | WS_CHILD | WS_BORDER, 0, 0, 0, 271, 252, "", 8, "MS Sans Serif", 4, items};
    HINSTANCE module = Other();
    ASSERT_TRUE(QxRegisterDialog(module, MAKEINTRESOURCEA(107), &page));
    ASSERT_TRUE(QxRegisterString(module, 100, "Service Information"));
    EXPECT_EQ(ResourceScriptMismatch(module, kScript, kResourceHeader), "");

    // Each kind of drift is named.
    items[1].cy = 85;
    items[3].style |= WS_TABSTOP;
    ASSERT_TRUE(QxRegisterDialog(module, MAKEINTRESOURCEA(107), &page));
    ASSERT_TRUE(QxRegisterString(module, 100, "Service information"));
    std::string report = ResourceScriptMismatch(module, kScript, kResourceHeader);
    EXPECT_NE(report.find("control 1 (1017) rectangle: script 44,6,80,84, registered 44,6,80,85"),
              std::string::npos)
        << report;
    EXPECT_NE(report.find("control 3 (1026) style"), std::string::npos) << report;
    EXPECT_NE(report.find("string 100"), std::string::npos) << report;
    EXPECT_EQ(std::count(report.begin(), report.end(), '\n'), 3) << report;

    EXPECT_NE(ResourceScriptMismatch(module, kScript, "").find("unknown name IDC_TABLES"), std::string::npos)
        << "names the script cannot resolve are reported, not guessed";
    QxUnregisterResources(module);
    EXPECT_NE(ResourceScriptMismatch(module, kScript, kResourceHeader).find("dialog #107: not registered"),
              std::string::npos);
}

struct Presented {
    HWND owner = nullptr;
    std::string text, caption;
    UINT type = 0;
    int calls = 0;
};

int CALLBACK Presenter(void* context, HWND owner, LPCSTR text, LPCSTR caption, UINT type) {
    auto* p = static_cast<Presented*>(context);
    *p = Presented{owner, text, caption, type, p->calls + 1};
    return IDCANCEL;
}

TEST_F(ResourceTest, MessageBoxesGoToThePresenter) {
    HWND owner = CreateWindowExA(0, "Static", "", 0, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
    MessageBoxClear();
    EXPECT_EQ(MessageBoxA(owner, "The PAT Table is not collecting completed yet.", "Error", MB_OK), IDOK);
    EXPECT_EQ(MessageBoxA(nullptr, "Sure?", nullptr, MB_YESNO | MB_DEFBUTTON2), IDNO) << "the default button";
    EXPECT_EQ(MessageBoxA(reinterpret_cast<HWND>(0x1), "lost", "Error", MB_OK), 0)
        << "an owner that is no window";
    auto boxes = MessageBoxCapture();
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[0].owner, owner);
    EXPECT_EQ(boxes[0].text, "The PAT Table is not collecting completed yet.");
    EXPECT_EQ(boxes[1].caption, "Error") << "Windows' caption for none";
    EXPECT_EQ(boxes[1].type, unsigned(MB_YESNO | MB_DEFBUTTON2));
    EXPECT_TRUE(MessageBoxCapture().empty());

    Presented seen;
    QxSetMessageBoxPresenter(Presenter, &seen);
    EXPECT_EQ(MessageBoxA(owner, "text", "caption", MB_OKCANCEL), IDCANCEL);
    EXPECT_EQ(seen.calls, 1);
    EXPECT_EQ(seen.owner, owner);
    EXPECT_EQ(seen.caption, "caption");
    EXPECT_TRUE(MessageBoxCapture().empty()) << "an installed presenter replaces the record";
    EXPECT_EQ(QxSetMessageBoxPresenter(nullptr, nullptr), Presenter);
    EXPECT_EQ(MessageBoxA(owner, "again", "Error", MB_OK), IDOK);
    EXPECT_EQ(MessageBoxCapture().size(), 1u);
    DestroyWindow(owner);
}

} // namespace
