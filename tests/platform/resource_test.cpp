// Module resources and what reads them: string-table entries through LoadString, template registration,
// and message boxes through the recording default and an installed presenter.
#include <windows.h>
#include <qxuser.h>

#include "platform/posix/testhooks.h"

#include <gtest/gtest.h>

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
    EXPECT_STREQ(buffer, "");
    EXPECT_EQ(GetLastError(), DWORD(ERROR_RESOURCE_NAME_NOT_FOUND));
    ASSERT_TRUE(QxRegisterString(Other(), 100, ""));
    EXPECT_EQ(LoadStringA(Other(), 100, buffer, sizeof(buffer)), 0) << "an empty entry is no entry";
    EXPECT_FALSE(QxRegisterString(exe, 0x10000, "x")) << "identifiers are 16-bit";

    wchar_t wide[8];
    EXPECT_EQ(LoadStringW(exe, 100, wide, 8), 7);
    EXPECT_STREQ(wide, L"Service");
    const wchar_t* direct = nullptr;
    EXPECT_EQ(LoadStringW(exe, 100, reinterpret_cast<LPWSTR>(&direct), 0), 19) << "the resource itself";
    ASSERT_NE(direct, nullptr);
    EXPECT_EQ(std::wstring(direct, 19), L"Service Information");

    ASSERT_TRUE(QxRegisterString(exe, 100, "Replaced"));
    EXPECT_EQ(LoadStringA(exe, 100, buffer, sizeof(buffer)), 8);
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
    EXPECT_EQ(MessageBoxW(nullptr, L"\x00e9", L"Wide", MB_RETRYCANCEL | MB_ICONERROR), IDRETRY);
    EXPECT_EQ(MessageBoxA(reinterpret_cast<HWND>(0x1), "lost", "Error", MB_OK), 0)
        << "an owner that is no window";
    auto boxes = MessageBoxCapture();
    ASSERT_EQ(boxes.size(), 3u);
    EXPECT_EQ(boxes[0].owner, owner);
    EXPECT_EQ(boxes[0].text, "The PAT Table is not collecting completed yet.");
    EXPECT_EQ(boxes[0].caption, "Error");
    EXPECT_EQ(boxes[0].type, unsigned(MB_OK));
    EXPECT_EQ(boxes[1].caption, "Error") << "Windows' caption for none";
    EXPECT_EQ(boxes[2].text, "\xc3\xa9");
    EXPECT_EQ(boxes[2].type, unsigned(MB_RETRYCANCEL | MB_ICONERROR));
    EXPECT_TRUE(MessageBoxCapture().empty());

    Presented seen;
    QxSetMessageBoxPresenter(Presenter, &seen);
    EXPECT_EQ(MessageBoxA(owner, "text", "caption", MB_OKCANCEL), IDCANCEL);
    EXPECT_EQ(seen.calls, 1);
    EXPECT_EQ(seen.owner, owner);
    EXPECT_EQ(seen.text, "text");
    EXPECT_EQ(seen.caption, "caption");
    EXPECT_EQ(seen.type, UINT(MB_OKCANCEL));
    EXPECT_TRUE(MessageBoxCapture().empty()) << "an installed presenter replaces the record";
    EXPECT_EQ(QxSetMessageBoxPresenter(nullptr, nullptr), Presenter);
    EXPECT_EQ(MessageBoxA(owner, "again", "Error", MB_OK), IDOK);
    EXPECT_EQ(MessageBoxCapture().size(), 1u);
    DestroyWindow(owner);
}

} // namespace
