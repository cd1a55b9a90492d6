// A "Service Information" page on a running filter: the filter connected to a fake demultiplexer
// pin that feeds it sections, a page site that counts status changes, and the page's dialog made
// by the headless window layer inside a parent window. Helpers read the controls back.
#pragma once
#include <gtest/gtest.h>

#include <commctrl.h>
#include <winuser.h>

#include "baseclasses/allocation.h"
#include "filter/TableCollectorFilter.h"
#include "platform/posix/testhooks.h"
#include "propertypage/TableCollectorPropertyPage.h"
#include "propertypage/resource.h"
#include "render_support.h"
#include "support/fake_graph.h"
#include "support/upstream_pin.h"

#include <quenlix.h>

#include <atomic>
#include <string>
#include <vector>

namespace qxtest {

class CountingSite : public IPropertyPageSite {
public:
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
        if (riid == IID_IUnknown || riid == IID_IPropertyPageSite) {
            *ppv = static_cast<IPropertyPageSite*>(this);
            AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++refs; }
    STDMETHODIMP_(ULONG) Release() override { return --refs; }
    STDMETHODIMP OnStatusChange(DWORD flags) override {
        changes.push_back(flags);
        return S_OK;
    }
    STDMETHODIMP GetLocaleID(LCID* locale) override { return E_NOTIMPL; }
    STDMETHODIMP GetPageContainer(IUnknown** ppUnk) override { return E_NOTIMPL; }
    STDMETHODIMP TranslateAccelerator(MSG* msg) override { return E_NOTIMPL; }

    std::atomic<ULONG> refs{0};
    std::vector<DWORD> changes;
};

inline std::vector<std::string> ComboEntries(HWND combo) {
    std::vector<std::string> out;
    LRESULT n = SendMessage(combo, CB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < n; ++i) {
        char text[256] = {};
        SendMessage(combo, CB_GETLBTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(text));
        out.push_back(text);
    }
    return out;
}

inline Rows ListRows(HWND list) {
    Rows out;
    int n = static_cast<int>(SendMessage(list, LVM_GETITEMCOUNT, 0, 0));
    for (int i = 0; i < n; ++i) {
        char item[256] = {};
        char value[256] = {};
        ListView_GetItemText(list, i, 0, item, sizeof item);
        ListView_GetItemText(list, i, 1, value, sizeof value);
        out.push_back({item, value});
    }
    return out;
}

// The page factory a frame is given; the fixture makes its pages with it too.
inline HRESULT CreatePage(REFCLSID clsid, IPropertyPage** ppPage) {
    if (clsid != CLSID_TableCollectorPropertyPage) {
        return REGDB_E_CLASSNOTREG;
    }
    HRESULT hr = S_OK;
    CUnknown* object = TableCollectorPropertyPage::CreateInstance(nullptr, &hr);
    if (object == nullptr) {
        return hr;
    }
    return object->NonDelegatingQueryInterface(IID_IPropertyPage, reinterpret_cast<void**>(ppPage));
}

// A filter running connected to a fake demultiplexer pin, held by one reference of the test's own.
struct RunningFilter : ::testing::Test {
    FakeGraph graph;
    FakeUpstream upstream;
    TableCollectorFilter* filter = nullptr;
    bool running = false;

    void StartFilter() {
        HRESULT hr = S_OK;
        filter = static_cast<TableCollectorFilter*>(TableCollectorFilter::CreateInstance(nullptr, &hr));
        ASSERT_NE(filter, nullptr);
        ASSERT_EQ(hr, S_OK);
        filter->NonDelegatingAddRef();
        ASSERT_EQ(graph.AddFilter(filter, L"collector"), S_OK);
        ASSERT_EQ(upstream.Connect(filter->GetPin(0)), S_OK);
        ASSERT_EQ(RunFilter(filter), S_OK);
        running = true;
    }
    // Whatever the test did, nothing else holds the filter by now.
    void StopFilterAndRelease() {
        if (running) {
            StopFilter(filter);
        }
        upstream.Disconnect();
        graph.RemoveFilter(filter);
        if (filter != nullptr) {
            EXPECT_EQ(filter->NonDelegatingRelease(), 0u);
        }
    }
};

struct PageFixture : RunningFilter {
    ITableCollector* itf = nullptr;
    IPropertyPage* page = nullptr;
    TableCollectorPropertyPage* impl = nullptr;
    CountingSite site;
    HWND parent = nullptr;

    void SetUp() override {
        StartFilter();
        ASSERT_EQ(filter->NonDelegatingQueryInterface(IID_ITableCollector, reinterpret_cast<void**>(&itf)),
                  S_OK);
        parent = CreateWindowEx(0, "Static", "frame", WS_POPUP, 0, 0, 600, 600, nullptr, nullptr, nullptr,
                                nullptr);
        ASSERT_NE(parent, nullptr);
        ShowWindow(parent, SW_SHOW);
        MessageBoxClear();
        NewPage();
    }

    // A page of its own on the filter, its dialog shown in the parent.
    void NewPage() {
        ASSERT_EQ(CreatePage(CLSID_TableCollectorPropertyPage, &page), S_OK);
        impl = static_cast<TableCollectorPropertyPage*>(page);
        ASSERT_EQ(page->SetPageSite(&site), S_OK);
        IUnknown* object = static_cast<IBaseFilter*>(filter);
        ASSERT_EQ(page->SetObjects(1, &object), S_OK);
        Activate();
    }
    void DropPage() {
        if (impl->PageWindow() != nullptr) {
            page->Deactivate();
        }
        page->SetObjects(0, nullptr);
        page->SetPageSite(nullptr);
        EXPECT_EQ(page->Release(), 0u);
        page = nullptr;
    }

    void TearDown() override {
        if (page != nullptr) {
            DropPage();
        }
        if (parent != nullptr) {
            DestroyWindow(parent);
        }
        if (itf != nullptr) {
            itf->Release();
        }
        StopFilterAndRelease(); // the page let go of the filter when its objects were cleared
        MemFailAt(0);
        MessageBoxClear();
    }

    void Activate() {
        RECT rc = {0, 0, 560, 520};
        ASSERT_EQ(page->Activate(parent, &rc, FALSE), S_OK);
        ASSERT_NE(Dialog(), nullptr);
    }

    HWND Dialog() const { return impl->PageWindow(); }
    HWND Item(int id) const { return GetDlgItem(Dialog(), id); }
    HWND Tables() const { return Item(IDC_SI_TABLES); }
    HWND Pid() const { return Item(IDC_PID); }
    HWND TableId() const { return Item(IDC_TABLE_ID); }
    HWND Section() const { return Item(IDC_SECTION_NUM); }
    HWND List() const { return Item(IDC_TABLE_LIST); }
    HWND Button() const { return Item(IDC_UPDATE_TABLE); }
    Rows Shown() const { return ListRows(List()); }
    LRESULT Selected(HWND combo) const { return SendMessage(combo, CB_GETCURSEL, 0, 0); }

    void Send(const Bytes& section, DWORD pid) { ASSERT_EQ(upstream.Deliver(section, pid), S_OK); }
    BOOL Click() { return QxSimulateClick(Button()); }
    BOOL Choose(HWND combo, int index) { return QxSimulateSelect(combo, index); }
    // The messages shown since the last call, by text.
    std::vector<std::string> Messages() {
        std::vector<std::string> out;
        for (const RecordedMessageBox& m : MessageBoxCapture()) {
            EXPECT_EQ(m.caption, "Error");
            EXPECT_EQ(m.type, static_cast<unsigned>(MB_OK));
            EXPECT_EQ(m.owner, Dialog());
            out.push_back(m.text);
        }
        return out;
    }
    // Selectors and list view, in the order SI Tables, PID, Table Id, Section Num, list.
    std::vector<bool> Enabled() const {
        return {IsWindowEnabled(Tables()) != FALSE, IsWindowEnabled(Pid()) != FALSE,
                IsWindowEnabled(TableId()) != FALSE, IsWindowEnabled(Section()) != FALSE,
                IsWindowEnabled(List()) != FALSE};
    }
};

inline const std::string kPatMessage = "The PAT Table is not collecting completed yet.";
inline const std::string kPmtMessage = "The PMT Table is not collecting completed yet.";
inline const std::string kNitMessage = "The NIT Table is not collecting completed yet.";

} // namespace qxtest
