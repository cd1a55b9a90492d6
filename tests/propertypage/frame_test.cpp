// The property frame on the filter: the page it makes from the filter's page list, the page site it
// gives the page, the Apply button following the page's dirty state, and closing by its buttons.
#include "host/PropertyFrame.h"
#include "page_fixture.h"

namespace qxtest {
namespace {

struct FrameTest : RunningFilter {
    IUnknown* object = nullptr;
    size_t windowsBefore = 0;

    void SetUp() override {
        windowsBefore = LiveWindowCount();
        StartFilter();
        object = static_cast<IBaseFilter*>(filter);
        MessageBoxClear();
    }
    void TearDown() override {
        StopFilterAndRelease(); // nothing holds the filter once the frame has gone
        EXPECT_EQ(LiveWindowCount(), windowsBefore);
        UserMemFailAt(0);
        MessageBoxClear();
    }
    TableCollectorPropertyPage* PageOf(const PropertyFrame& frame) {
        return static_cast<TableCollectorPropertyPage*>(frame.Page(0));
    }
};

TEST_F(FrameTest, OpensTheFiltersPageAndFollowsItsDirtyState) {
    upstream.Deliver(BuildPat(1, 0, {{1, 0x0100}}), 0x0000);
    upstream.Deliver(BuildPmt(1, 0, 0x0100, {}), 0x0100);
    PropertyFrame frame(CreatePage);
    ASSERT_EQ(frame.Open(object, L"Korvane Trevasi Filter Properties"), S_OK);
    ASSERT_EQ(frame.PageCount(), 1u);
    EXPECT_EQ(frame.PageTitle(0), L"Service Information");
    EXPECT_FALSE(frame.IsClosed());
    char caption[64] = {};
    GetWindowTextA(frame.Window(), caption, sizeof caption);
    EXPECT_STREQ(caption, "Korvane Trevasi Filter Properties");

    // The page's dialog sits in the frame's page area, which fits it.
    HWND dialog = PageOf(frame)->PageWindow();
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(GetParent(dialog), frame.Window());
    EXPECT_TRUE(IsWindowVisible(dialog));
    RECT rc = {};
    GetWindowRect(dialog, &rc);
    RECT area = frame.PageArea();
    EXPECT_EQ(rc.left, area.left);
    EXPECT_EQ(rc.right - rc.left, area.right - area.left);
    RECT template_ = {0, 0, 271, 252};
    MapDialogRect(dialog, &template_);
    EXPECT_EQ(area.right - area.left, template_.right);
    EXPECT_EQ(area.bottom - area.top, template_.bottom);

    HWND apply = GetDlgItem(frame.Window(), PropertyFrame::kApplyButtonId);
    ASSERT_NE(apply, nullptr);
    EXPECT_FALSE(IsWindowEnabled(apply));
    ASSERT_TRUE(QxSimulateClick(GetDlgItem(dialog, IDC_UPDATE_TABLE)));
    EXPECT_TRUE(MessageBoxCapture().empty());
    EXPECT_EQ(ListRows(GetDlgItem(dialog, IDC_TABLE_LIST)).size(), 10u);
    EXPECT_TRUE(frame.IsDirty());
    EXPECT_EQ(frame.StatusChanges(), 1u);
    EXPECT_TRUE(IsWindowEnabled(apply));

    // Apply: the page does nothing and is clean again, the frame stays open.
    ASSERT_TRUE(QxSimulateClick(apply));
    EXPECT_FALSE(IsWindowEnabled(apply));
    EXPECT_EQ(frame.Page(0)->IsPageDirty(), S_FALSE);
    EXPECT_TRUE(frame.IsOpen());
    EXPECT_EQ(ListRows(GetDlgItem(dialog, IDC_TABLE_LIST)).size(), 10u);

    // Cancel closes: the page is deactivated, disconnected and released with the window.
    ASSERT_TRUE(QxSimulateClick(GetDlgItem(frame.Window(), IDCANCEL)));
    EXPECT_TRUE(frame.IsClosed());
    EXPECT_FALSE(frame.IsOpen());
    EXPECT_EQ(frame.PageCount(), 0u);
}

TEST_F(FrameTest, OkAppliesAndCloses) {
    PropertyFrame frame(CreatePage);
    ASSERT_EQ(frame.Open(object, L"Properties"), S_OK);
    HWND dialog = PageOf(frame)->PageWindow();
    ASSERT_TRUE(QxSimulateClick(GetDlgItem(dialog, IDC_UPDATE_TABLE))); // no PAT: message, still dirty
    EXPECT_EQ(MessageBoxCapture().size(), 1u);
    EXPECT_TRUE(frame.IsDirty());
    ASSERT_TRUE(QxSimulateClick(GetDlgItem(frame.Window(), IDOK)));
    EXPECT_TRUE(frame.IsClosed());
    // Opening again makes a new page with a new dialog.
    ASSERT_EQ(frame.Open(object, L"Properties"), S_OK);
    EXPECT_FALSE(frame.IsClosed());
    EXPECT_FALSE(frame.IsDirty());
    EXPECT_EQ(frame.Open(object, L"Properties"), E_UNEXPECTED);
    EXPECT_EQ(frame.ActivatePage(0), S_OK);
    EXPECT_EQ(frame.ActivatePage(1), E_INVALIDARG);
    // The destructor closes what is still open.
}

TEST_F(FrameTest, ObjectsWithoutPagesAndPagesThatCannotBeMade) {
    PropertyFrame frame(CreatePage);
    IUnknown* graphUnknown = static_cast<IFilterGraph*>(&graph);
    EXPECT_EQ(frame.Open(graphUnknown, L"Graph"), E_NOINTERFACE);
    EXPECT_EQ(frame.Open(nullptr, L"Nothing"), E_POINTER);

    PropertyFrame unregistered([](REFCLSID, IPropertyPage** pp) {
        *pp = nullptr;
        return REGDB_E_CLASSNOTREG;
    });
    EXPECT_EQ(unregistered.Open(object, L"Properties"), REGDB_E_CLASSNOTREG);
    EXPECT_FALSE(unregistered.IsOpen());
    EXPECT_FALSE(unregistered.IsClosed());
}

TEST_F(FrameTest, WindowsThatCannotBeMadeLeaveNothingBehind) {
    bool opened = false;
    for (unsigned long n = 1; n < 40 && !opened; ++n) {
        PropertyFrame frame(CreatePage);
        UserMemFailAt(n);
        HRESULT hr = frame.Open(object, L"Properties");
        UserMemFailAt(0);
        if (SUCCEEDED(hr)) {
            opened = true;
            EXPECT_NE(PageOf(frame)->PageWindow(), nullptr);
        } else {
            EXPECT_EQ(frame.PageCount(), 0u);
            EXPECT_FALSE(frame.IsOpen());
            EXPECT_EQ(LiveWindowCount(), windowsBefore);
        }
    }
    EXPECT_TRUE(opened);
}

} // namespace
} // namespace qxtest
