// Dialogs from registered templates: controls, rectangles and styles, the messages a dialog procedure
// gets, user input, destruction, and failures while creating.
#include <windows.h>
#include <commctrl.h>
#include <qxuser.h>

#include "platform/posix/testhooks.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

constexpr DWORD kChild = WS_CHILD | WS_VISIBLE;

// A page-like dialog: statics, drop-down lists, a report list and a push button.
const QX_DIALOG_ITEM kItems[] = {
    {1007, "Static", "SI &Tables : ", 6, 8, 34, 8, kChild | SS_LEFT | WS_GROUP, 0},
    {1017, "ComboBox", nullptr, 44, 6, 80, 84, kChild | CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP, 0},
    {1022, WC_LISTVIEWA, "", 6, 51, 253, 163, kChild | LVS_REPORT | WS_BORDER | WS_TABSTOP, 0},
    {1026, "Button", "&Update table", 12, 222, 50, 14, kChild | BS_PUSHBUTTON | WS_TABSTOP, 0},
};
const QX_DIALOG kPage = {
    DS_SETFONT | WS_CHILD | WS_BORDER, 0, 0, 0, 271, 252, "", 8, "MS Sans Serif", 4, kItems};

HINSTANCE Module() {
    return GetModuleHandleA(nullptr);
}

struct Seen {
    HWND hwnd;
    UINT msg;
    WPARAM wParam;
    LPARAM lParam;
};
std::vector<Seen> g_seen;

INT_PTR CALLBACK RecordingProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    g_seen.push_back({hwnd, msg, wParam, lParam});
    if (msg == WM_INITDIALOG) {
        SetWindowLongPtrA(hwnd, DWLP_USER, lParam);
        return TRUE;
    }
    return FALSE;
}

std::vector<Seen> Commands() {
    std::vector<Seen> out;
    for (const Seen& s : g_seen) {
        if (s.msg == WM_COMMAND) {
            out.push_back(s);
        }
    }
    return out;
}

class DialogTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(QxRegisterDialog(Module(), MAKEINTRESOURCEA(107), &kPage));
        frame_ = CreateWindowExA(0, "Static", "frame", WS_VISIBLE, 0, 0, 600, 500, nullptr, nullptr, Module(),
                                 nullptr);
        ASSERT_NE(frame_, nullptr);
        g_seen.clear();
        windowsBefore_ = LiveWindowCount();
    }
    void TearDown() override {
        UserMemFailAt(0);
        DestroyWindow(frame_);
        QxUnregisterResources(Module());
    }
    HWND Create() {
        return CreateDialogParamA(Module(), MAKEINTRESOURCEA(107), frame_, RecordingProc, 0x1234);
    }

    HWND frame_ = nullptr;
    size_t windowsBefore_ = 0;
};

TEST_F(DialogTest, BuildsTheControlsInOrderInitialisesAndStaysHiddenUntilShown) {
    HWND dialog = Create();
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(GetParent(dialog), frame_);
    EXPECT_EQ(LiveWindowCount(), windowsBefore_ + 5);
    ASSERT_FALSE(g_seen.empty());
    EXPECT_EQ(g_seen[0].msg, UINT(WM_INITDIALOG)) << "the first message a dialog procedure sees";
    EXPECT_EQ(g_seen[0].lParam, 0x1234);
    EXPECT_EQ(reinterpret_cast<HWND>(g_seen[0].wParam), GetDlgItem(dialog, 1017)) << "first tab stop";
    EXPECT_EQ(GetWindowLongPtrA(dialog, DWLP_USER), 0x1234);
    // A property page's child dialog and its controls stay hidden until shown.
    EXPECT_FALSE(IsWindowVisible(GetDlgItem(dialog, 1017)));
    EXPECT_FALSE(ShowWindow(dialog, SW_SHOW));
    EXPECT_TRUE(IsWindowVisible(GetDlgItem(dialog, 1017)));

    char name[64];
    HWND control = GetWindow(dialog, GW_CHILD);
    for (const QX_DIALOG_ITEM& item : kItems) {
        ASSERT_NE(control, nullptr);
        EXPECT_EQ(GetDlgCtrlID(control), item.id);
        EXPECT_EQ(GetDlgItem(dialog, item.id), control);
        GetClassNameA(control, name, sizeof(name));
        EXPECT_STREQ(name, item.className);
        EXPECT_EQ(static_cast<DWORD>(GetWindowLongA(control, GWL_STYLE)), item.style);
        EXPECT_EQ(static_cast<DWORD>(GetWindowLongA(control, GWL_EXSTYLE)), DWORD(WS_EX_NOPARENTNOTIFY));
        // Position and size each go through the base units, as Windows creates dialog controls.
        RECT place{item.x, item.y, item.cx, item.cy};
        ASSERT_TRUE(MapDialogRect(dialog, &place));
        RECT actual;
        GetWindowRect(control, &actual);
        RECT origin;
        GetWindowRect(dialog, &origin);
        EXPECT_EQ(actual.left - origin.left, place.left) << item.id;
        EXPECT_EQ(actual.top - origin.top, place.top) << item.id;
        EXPECT_EQ(actual.right - actual.left, place.right) << item.id;
        EXPECT_EQ(actual.bottom - actual.top, place.bottom) << item.id;
        control = GetWindow(control, GW_HWNDNEXT);
    }
    EXPECT_EQ(control, nullptr);

    // 8-point MS Sans Serif: 6 x 13 base units, so 271 x 252 units are 407 x 410 pixels (MulDiv rounding).
    RECT client;
    GetClientRect(dialog, &client);
    EXPECT_EQ(client.right, 407);
    EXPECT_EQ(client.bottom, 410);
    EXPECT_EQ(GetDlgItem(dialog, 4242), nullptr);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_CONTROL_ID_NOT_FOUND));
    EXPECT_TRUE(DestroyWindow(dialog));
    EXPECT_EQ(LiveWindowCount(), windowsBefore_);
}

TEST_F(DialogTest, CommandsReachTheDialogProcedureWithTheCodeInTheHighWord) {
    HWND dialog = Create();
    HWND button = GetDlgItem(dialog, 1026);
    HWND combo = GetDlgItem(dialog, 1017);
    for (const char* entry : {"PAT", "PMT", "NIT"}) {
        SendMessageA(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(entry));
    }
    g_seen.clear();

    ASSERT_TRUE(QxSimulateClick(button));
    auto commands = Commands();
    ASSERT_EQ(commands.size(), 1u);
    EXPECT_EQ(commands[0].wParam, MAKEWPARAM(1026, BN_CLICKED));
    EXPECT_EQ(reinterpret_cast<HWND>(commands[0].lParam), button);

    // Programmatic selection notifies nobody; a user's pick does, in Windows' order.
    g_seen.clear();
    SendMessageA(combo, CB_SETCURSEL, 0, 0);
    EXPECT_TRUE(Commands().empty());
    ASSERT_TRUE(QxSimulateSelect(combo, 2));
    EXPECT_EQ(SendMessageA(combo, CB_GETCURSEL, 0, 0), 2);
    std::vector<WPARAM> codes;
    for (const Seen& s : Commands()) {
        codes.push_back(s.wParam);
    }
    EXPECT_EQ(codes, (std::vector<WPARAM>{MAKEWPARAM(1017, CBN_DROPDOWN), MAKEWPARAM(1017, CBN_SELENDOK),
                                          MAKEWPARAM(1017, CBN_CLOSEUP), MAKEWPARAM(1017, CBN_SELCHANGE)}));
    g_seen.clear();
    ASSERT_TRUE(QxSimulateSelect(combo, 2));
    EXPECT_EQ(Commands().size(), 3u) << "picking the entry already selected is no change";
    EXPECT_FALSE(QxSimulateSelect(combo, 3)) << "no such entry";
    EXPECT_FALSE(QxSimulateClick(combo));

    // Disabled controls, or controls in a disabled dialog, cannot be reached by a user.
    g_seen.clear();
    EnableWindow(button, FALSE);
    EXPECT_FALSE(QxSimulateClick(button));
    EnableWindow(button, TRUE);
    EnableWindow(dialog, FALSE);
    EXPECT_TRUE(IsWindowEnabled(combo)) << "a child's own state does not follow its parent";
    EXPECT_FALSE(QxSimulateSelect(combo, 0));
    EXPECT_TRUE(Commands().empty());
    DestroyWindow(dialog);
}

std::vector<std::pair<UINT, HWND>> g_destroyOrder;
LRESULT CALLBACK TrackingProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_DESTROY || msg == WM_NCDESTROY) {
        g_destroyOrder.emplace_back(msg, hwnd);
    }
    return DefWindowProcA(hwnd, msg, wParam, lParam);
}

TEST_F(DialogTest, DestructionGoesDownTheTreeThenBackUpAndHandlesStayDead) {
    WNDCLASSA wc{};
    wc.lpfnWndProc = TrackingProc;
    wc.lpszClassName = "QxTracking";
    ASSERT_NE(RegisterClassA(&wc), 0);
    HWND top = CreateWindowExA(0, "QxTracking", "", 0, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    HWND a = CreateWindowExA(0, "QxTracking", "", WS_CHILD, 0, 0, 1, 1, top, reinterpret_cast<HMENU>(1),
                             nullptr, nullptr);
    HWND a1 = CreateWindowExA(0, "QxTracking", "", WS_CHILD, 0, 0, 1, 1, a, reinterpret_cast<HMENU>(2),
                              nullptr, nullptr);
    HWND b = CreateWindowExA(0, "QxTracking", "", WS_CHILD, 0, 0, 1, 1, top, reinterpret_cast<HMENU>(3),
                             nullptr, nullptr);
    ASSERT_TRUE(a != nullptr && a1 != nullptr && b != nullptr);
    EXPECT_TRUE(IsChild(top, a1));
    g_destroyOrder.clear();
    EXPECT_TRUE(DestroyWindow(top));
    std::vector<std::pair<UINT, HWND>> expected = {{WM_DESTROY, top},  {WM_DESTROY, a},    {WM_DESTROY, a1},
                                                   {WM_NCDESTROY, a1}, {WM_NCDESTROY, a},  {WM_DESTROY, b},
                                                   {WM_NCDESTROY, b},  {WM_NCDESTROY, top}};
    EXPECT_EQ(g_destroyOrder, expected);
    for (HWND h : {top, a, a1, b}) {
        EXPECT_FALSE(IsWindow(h));
    }
    EXPECT_FALSE(DestroyWindow(top));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_WINDOW_HANDLE));
    EXPECT_TRUE(UnregisterClassA("QxTracking", nullptr));
    EXPECT_EQ(LiveWindowCount(), windowsBefore_);
}

INT_PTR CALLBACK SelfDestroyingProc(HWND hwnd, UINT msg, WPARAM, LPARAM) {
    if (msg == WM_INITDIALOG) {
        DestroyWindow(hwnd);
    }
    return FALSE;
}

TEST_F(DialogTest, CreationFailuresLeaveNoWindowBehind) {
    EXPECT_EQ(CreateDialogParamA(Module(), MAKEINTRESOURCEA(108), frame_, RecordingProc, 0), nullptr);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_RESOURCE_NAME_NOT_FOUND));
    EXPECT_EQ(CreateDialogParamA(reinterpret_cast<HINSTANCE>(&g_seen), MAKEINTRESOURCEA(107), frame_,
                                 RecordingProc, 0),
              nullptr)
        << "resources belong to the module that registered them";
    EXPECT_EQ(CreateDialogParamA(Module(), MAKEINTRESOURCEA(107), nullptr, RecordingProc, 0), nullptr);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_TLW_WITH_WSCHILD)) << "a child dialog needs its parent";
    EXPECT_EQ(CreateDialogParamA(Module(), MAKEINTRESOURCEA(107), frame_, SelfDestroyingProc, 0), nullptr);

    // A control of an unknown class fails the dialog.
    QX_DIALOG_ITEM odd[] = {kItems[0], {5, "NoSuchClass", "", 0, 0, 1, 1, kChild, 0}, kItems[3]};
    QX_DIALOG withOdd = kPage;
    withOdd.items = odd;
    withOdd.itemCount = 3;
    ASSERT_TRUE(QxRegisterDialog(Module(), MAKEINTRESOURCEA(109), &withOdd));
    EXPECT_EQ(CreateDialogParamA(Module(), "#109", frame_, RecordingProc, 0), nullptr);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_CANNOT_FIND_WND_CLASS));
    EXPECT_EQ(LiveWindowCount(), windowsBefore_);

    // Out of memory at every window of the dialog in turn: NULL, and nothing left over.
    for (unsigned long n = 1; n <= 6; ++n) {
        UserMemFailAt(n);
        HWND dialog = Create();
        EXPECT_EQ(dialog == nullptr ? GetLastError() : 0, n < 6 ? DWORD(ERROR_NOT_ENOUGH_MEMORY) : 0) << n;
        UserMemFailAt(0);
        DestroyWindow(dialog);
        EXPECT_EQ(LiveWindowCount(), windowsBefore_) << n;
    }
}

} // namespace
