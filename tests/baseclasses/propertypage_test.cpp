// CBasePropertyPage where the system's page does not take it: refusals out of order, an apply that
// fails, a page released while active, a dialog that is not there, no task memory for the page info.
#include <gtest/gtest.h>

#include <vector>

#include <qxuser.h>

#include "sink_filter.h"

namespace {

const int kDialogId = 300;
const int kTitleId = 301;
const int kMissingDialogId = 399;

class TestPage : public CBasePropertyPage {
public:
    explicit TestPage(int dialogId = kDialogId)
        : CBasePropertyPage(NAME("Test page"), nullptr, dialogId, kTitleId) {}

    HRESULT OnApplyChanges() override {
        calls.push_back("apply");
        return applyResult;
    }
    INT_PTR OnReceiveMessage(HWND hwnd, UINT uMsg, WPARAM wParam, LPARAM lParam) override {
        if (uMsg == WM_INITDIALOG) {
            calls.push_back("initdialog");
        }
        return CBasePropertyPage::OnReceiveMessage(hwnd, uMsg, wParam, lParam);
    }
    HWND Window() const { return m_hwnd; }
    void SetDirty() { m_bDirty = TRUE; }

    std::vector<std::string> calls;
    HRESULT applyResult = S_OK;
};

class FakeSite final : public IPropertyPageSite {
public:
    STDMETHODIMP QueryInterface(REFIID, void** ppv) override {
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++refs; }
    STDMETHODIMP_(ULONG) Release() override { return --refs; }
    STDMETHODIMP OnStatusChange(DWORD) override { return S_OK; }
    STDMETHODIMP GetLocaleID(LCID*) override { return E_NOTIMPL; }
    STDMETHODIMP GetPageContainer(IUnknown**) override { return E_NOTIMPL; }
    STDMETHODIMP TranslateAccelerator(MSG*) override { return E_NOTIMPL; }
    ULONG refs = 1;
};

class PropertyPageTest : public qxtest::BaseLayerTest {
protected:
    void SetUp() override {
        BaseLayerTest::SetUp();
        static const QX_DIALOG_ITEM items[] = {
            {1002, "Button", "Press", 6, 20, 50, 14, WS_CHILD | WS_VISIBLE | WS_TABSTOP, 0},
        };
        static const QX_DIALOG dialog = {WS_CHILD | DS_SETFONT, 0, 0,    0, 200, 100, "", 8,
                                         "MS Sans Serif",       1, items};
        ASSERT_TRUE(QxRegisterDialog(g_hInst, MAKEINTRESOURCEA(kDialogId), &dialog));
        ASSERT_TRUE(QxRegisterString(g_hInst, kTitleId, "Test Page"));
        m_frame = CreateWindowExA(0, "Static", "frame", WS_POPUP | WS_VISIBLE, 0, 0, 600, 400, nullptr,
                                  nullptr, g_hInst, nullptr);
        ASSERT_NE(m_frame, nullptr);
    }
    void TearDown() override {
        TaskMemFailAt(0);
        DestroyWindow(m_frame);
        QxUnregisterResources(g_hInst);
        BaseLayerTest::TearDown();
    }
    // A page with one reference, showing itself as its object.
    static TestPage* MakePage(int dialogId = kDialogId) {
        TestPage* page = new TestPage(dialogId);
        page->NonDelegatingAddRef();
        IUnknown* object = page->GetOwner();
        EXPECT_EQ(page->SetObjects(1, &object), S_OK);
        return page;
    }

    HWND m_frame = nullptr;
};

} // namespace

TEST_F(PropertyPageTest, CallsOutOfOrderAreRefusedAndAFailedApplyLeavesThePageDirty) {
    TestPage* page = new TestPage();
    page->NonDelegatingAddRef();
    RECT rc = {10, 20, 310, 220};
    EXPECT_EQ(page->Show(SW_SHOW), E_UNEXPECTED);
    EXPECT_EQ(page->Deactivate(), E_UNEXPECTED);
    EXPECT_EQ(page->Activate(m_frame, &rc, FALSE), E_UNEXPECTED) << "no object to show yet";
    EXPECT_EQ(page->Apply(), E_UNEXPECTED);
    IUnknown* object = page->GetOwner();
    EXPECT_EQ(page->SetObjects(2, &object), E_UNEXPECTED);
    ASSERT_EQ(page->SetObjects(1, &object), S_OK);
    EXPECT_EQ(page->Apply(), E_UNEXPECTED) << "no site yet";

    FakeSite site;
    ASSERT_EQ(page->SetPageSite(&site), S_OK);
    EXPECT_EQ(page->SetPageSite(&site), E_UNEXPECTED);
    PROPPAGEINFO info{}; // measured without reaching the page's own message handler
    ASSERT_EQ(page->GetPageInfo(&info), S_OK);
    CoTaskMemFree(info.pszTitle);
    EXPECT_EQ(page->Apply(), S_OK) << "a clean page applies nothing";
    page->SetDirty();
    page->applyResult = E_FAIL;
    EXPECT_EQ(page->Apply(), E_FAIL);
    EXPECT_EQ(page->IsPageDirty(), S_OK);
    page->applyResult = S_OK;
    EXPECT_EQ(page->Apply(), S_OK);
    EXPECT_EQ(page->IsPageDirty(), S_FALSE);

    ASSERT_EQ(page->Activate(m_frame, &rc, FALSE), S_OK);
    RECT client{};
    ASSERT_TRUE(GetClientRect(page->Window(), &client));
    EXPECT_EQ(client.right - client.left, 300);
    EXPECT_EQ(page->Activate(m_frame, &rc, FALSE), E_UNEXPECTED);
    EXPECT_EQ(page->Show(7), E_INVALIDARG);
    EXPECT_EQ(page->Move(nullptr), E_POINTER);
    ASSERT_EQ(page->Deactivate(), S_OK);
    EXPECT_EQ(page->Window(), nullptr);
    EXPECT_EQ(page->calls, (std::vector<std::string>{"apply", "apply", "initdialog"}));

    ASSERT_EQ(page->SetPageSite(nullptr), S_OK);
    EXPECT_EQ(site.refs, 1u);
    EXPECT_EQ(page->NonDelegatingRelease(), 0u);
}

TEST_F(PropertyPageTest, ReleasingAnActivePageTakesItsDialogAlong) {
    TestPage* page = MakePage();
    RECT rc = {0, 0, 100, 100};
    ASSERT_EQ(page->Activate(m_frame, &rc, FALSE), S_OK);
    HWND dialog = page->Window();
    page->NonDelegatingRelease();
    EXPECT_FALSE(IsWindow(dialog));
}

TEST_F(PropertyPageTest, PageInfoOfAMissingDialogAndWithoutTaskMemory) {
    TestPage* page = MakePage(kMissingDialogId);
    RECT rc = {0, 0, 100, 100};
    EXPECT_EQ(page->Activate(m_frame, &rc, FALSE), E_OUTOFMEMORY);
    // Without a dialog to measure the frame gets a default size.
    PROPPAGEINFO info{};
    ASSERT_EQ(page->GetPageInfo(&info), S_OK);
    EXPECT_STREQ(info.pszTitle, L"Test Page");
    EXPECT_EQ(info.size.cx, 340);
    EXPECT_EQ(info.size.cy, 150);
    CoTaskMemFree(info.pszTitle);
    EXPECT_EQ(page->GetPageInfo(nullptr), E_POINTER);
    TaskMemFailAt(1);
    EXPECT_EQ(page->GetPageInfo(&info), E_OUTOFMEMORY);
    EXPECT_EQ(page->NonDelegatingRelease(), 0u);
}
