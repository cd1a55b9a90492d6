// CBasePropertyPage: the page's object, site, dialog and dirty flag as a property frame drives them.
#include <gtest/gtest.h>

#include <vector>

#include <qxuser.h>

#include "baseclasses/streams.h"
#include "platform/posix/testhooks.h"

namespace {

const int kDialogId = 300;
const int kTitleId = 301;
const int kMissingDialogId = 399;

class TestPage : public CBasePropertyPage {
public:
    TestPage() : CBasePropertyPage(NAME("Test page"), nullptr, kDialogId, kTitleId) {}
    TestPage(int dialogId) : CBasePropertyPage(NAME("Test page"), nullptr, dialogId, kTitleId) {}

    HRESULT OnConnect(IUnknown* pUnknown) override {
        calls.push_back("connect");
        connected = pUnknown;
        return connectResult;
    }
    HRESULT OnDisconnect() override {
        calls.push_back("disconnect");
        return S_OK;
    }
    HRESULT OnActivate() override {
        calls.push_back("activate");
        return S_OK;
    }
    HRESULT OnDeactivate() override {
        calls.push_back("deactivate");
        return S_OK;
    }
    HRESULT OnApplyChanges() override {
        calls.push_back("apply");
        return applyResult;
    }
    INT_PTR OnReceiveMessage(HWND hwnd, UINT uMsg, WPARAM wParam, LPARAM lParam) override {
        if (uMsg == WM_INITDIALOG) {
            calls.push_back("initdialog");
            dialogAtInit = m_Dlg;
        }
        return CBasePropertyPage::OnReceiveMessage(hwnd, uMsg, wParam, lParam);
    }

    HWND Window() const { return m_hwnd; }
    void SetDirty() { m_bDirty = TRUE; }

    std::vector<std::string> calls;
    IUnknown* connected = nullptr;
    HWND dialogAtInit = nullptr;
    HRESULT connectResult = S_OK;
    HRESULT applyResult = S_OK;
};

class FakeSite final : public IPropertyPageSite {
public:
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
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

class PropertyPageTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_objects = CBaseObject::ObjectsActive();
        m_taskMem = TaskMemOutstanding();
        static const QX_DIALOG_ITEM items[] = {
            {1001, "Static", "Label", 6, 8, 40, 8, WS_CHILD | WS_VISIBLE, 0},
            {1002, "Button", "Press", 6, 20, 50, 14, WS_CHILD | WS_VISIBLE | WS_TABSTOP, 0},
        };
        static const QX_DIALOG dialog = {WS_CHILD | DS_SETFONT, 0, 0,    0, 200, 100, "", 8,
                                         "MS Sans Serif",       2, items};
        ASSERT_TRUE(QxRegisterDialog(g_hInst, MAKEINTRESOURCEA(kDialogId), &dialog));
        ASSERT_TRUE(QxRegisterString(g_hInst, kTitleId, "Test Page"));
        m_frame = CreateWindowExA(0, "Static", "frame", WS_POPUP | WS_VISIBLE, 0, 0, 600, 400, nullptr,
                                  nullptr, g_hInst, nullptr);
        ASSERT_NE(m_frame, nullptr);
        m_page = new TestPage();
        m_page->NonDelegatingAddRef();
    }
    void TearDown() override {
        TaskMemFailAt(0);
        EXPECT_EQ(m_page->NonDelegatingRelease(), 0u);
        DestroyWindow(m_frame);
        QxUnregisterResources(g_hInst);
        EXPECT_EQ(CBaseObject::ObjectsActive(), m_objects);
        EXPECT_EQ(TaskMemOutstanding(), m_taskMem);
    }

    LONG m_objects = 0;
    long m_taskMem = 0;
    HWND m_frame = nullptr;
    TestPage* m_page = nullptr;
};

} // namespace

TEST_F(PropertyPageTest, PageInfoWithoutTaskMemoryAndWithoutReachingThePage) {
    PROPPAGEINFO info{};
    ASSERT_EQ(m_page->GetPageInfo(&info), S_OK);
    EXPECT_STREQ(info.pszTitle, L"Test Page");
    CoTaskMemFree(info.pszTitle);
    EXPECT_EQ(m_page->GetPageInfo(nullptr), E_POINTER);
    TaskMemFailAt(1);
    EXPECT_EQ(m_page->GetPageInfo(&info), E_OUTOFMEMORY);
    // Measuring never reaches the page's own message handler.
    EXPECT_TRUE(m_page->calls.empty());
}

TEST_F(PropertyPageTest, ObjectsAndSite) {
    IUnknown* object = m_page->GetNonDelegatingUnknown();
    EXPECT_EQ(m_page->SetObjects(1, nullptr), E_POINTER);
    EXPECT_EQ(m_page->SetObjects(2, &object), E_UNEXPECTED);
    ASSERT_EQ(m_page->SetObjects(1, &object), S_OK);
    EXPECT_EQ(m_page->connected, object);

    // Apply needs the object and the site; a clean page applies nothing.
    EXPECT_EQ(m_page->Apply(), E_UNEXPECTED);
    FakeSite site;
    ASSERT_EQ(m_page->SetPageSite(&site), S_OK);
    EXPECT_EQ(site.refs, 2u);
    EXPECT_EQ(m_page->SetPageSite(&site), E_UNEXPECTED);
    EXPECT_EQ(m_page->Apply(), S_OK);
    m_page->SetDirty();
    EXPECT_EQ(m_page->IsPageDirty(), S_OK);
    m_page->applyResult = E_FAIL;
    EXPECT_EQ(m_page->Apply(), E_FAIL);
    EXPECT_EQ(m_page->IsPageDirty(), S_OK);
    m_page->applyResult = S_OK;
    EXPECT_EQ(m_page->Apply(), S_OK);
    EXPECT_EQ(m_page->IsPageDirty(), S_FALSE);

    ASSERT_EQ(m_page->SetObjects(0, nullptr), S_OK);
    EXPECT_EQ(m_page->Apply(), E_UNEXPECTED);
    ASSERT_EQ(m_page->SetPageSite(nullptr), S_OK);
    EXPECT_EQ(site.refs, 1u);
    EXPECT_EQ(m_page->calls, (std::vector<std::string>{"connect", "apply", "apply", "disconnect"}));
}

TEST_F(PropertyPageTest, DialogComesAndGoesWithActivation) {
    RECT rc = {10, 20, 310, 220};
    EXPECT_EQ(m_page->Show(SW_SHOW), E_UNEXPECTED);
    EXPECT_EQ(m_page->Move(&rc), E_UNEXPECTED);
    EXPECT_EQ(m_page->Deactivate(), E_UNEXPECTED);
    EXPECT_EQ(m_page->Activate(m_frame, nullptr, FALSE), E_POINTER);
    // No object to show yet.
    EXPECT_EQ(m_page->Activate(m_frame, &rc, FALSE), E_UNEXPECTED);
    IUnknown* object = m_page->GetOwner();
    ASSERT_EQ(m_page->SetObjects(1, &object), S_OK);
    m_page->calls.clear();

    ASSERT_EQ(m_page->Activate(m_frame, &rc, FALSE), S_OK);
    HWND dialog = m_page->Window();
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(m_page->dialogAtInit, dialog);
    EXPECT_TRUE(IsWindowVisible(dialog));
    RECT client{};
    ASSERT_TRUE(GetClientRect(dialog, &client));
    EXPECT_EQ(client.right - client.left, 300);
    EXPECT_EQ(client.bottom - client.top, 200);
    EXPECT_EQ(m_page->Activate(m_frame, &rc, FALSE), E_UNEXPECTED);

    EXPECT_EQ(m_page->Show(7), E_INVALIDARG);
    EXPECT_EQ(m_page->Show(SW_HIDE), S_OK);
    EXPECT_FALSE(IsWindowVisible(dialog));
    EXPECT_EQ(m_page->Move(nullptr), E_POINTER);

    ASSERT_EQ(m_page->Deactivate(), S_OK);
    EXPECT_FALSE(IsWindow(dialog));
    EXPECT_EQ(m_page->Window(), nullptr);
    EXPECT_EQ(m_page->calls, (std::vector<std::string>{"initdialog", "activate", "deactivate"}));
}

TEST_F(PropertyPageTest, ReleasingAnActivePageTakesItsDialogAlong) {
    TestPage* page = new TestPage(kDialogId);
    page->NonDelegatingAddRef();
    IUnknown* object = page->GetOwner();
    ASSERT_EQ(page->SetObjects(1, &object), S_OK);
    RECT rc = {0, 0, 100, 100};
    ASSERT_EQ(page->Activate(m_frame, &rc, FALSE), S_OK);
    HWND dialog = page->Window();
    page->NonDelegatingRelease();
    EXPECT_FALSE(IsWindow(dialog));
}

TEST_F(PropertyPageTest, MissingDialogCannotBeActivated) {
    TestPage* page = new TestPage(kMissingDialogId);
    page->NonDelegatingAddRef();
    RECT rc = {0, 0, 100, 100};
    IUnknown* object = page->GetOwner();
    ASSERT_EQ(page->SetObjects(1, &object), S_OK);
    page->calls.clear();
    EXPECT_EQ(page->Activate(m_frame, &rc, FALSE), E_OUTOFMEMORY);
    EXPECT_TRUE(page->calls.empty());
    // Without a dialog to measure the frame gets a default size.
    PROPPAGEINFO info{};
    ASSERT_EQ(page->GetPageInfo(&info), S_OK);
    EXPECT_EQ(info.size.cx, 340);
    EXPECT_EQ(info.size.cy, 150);
    CoTaskMemFree(info.pszTitle);
    EXPECT_EQ(page->NonDelegatingRelease(), 0u);
}
