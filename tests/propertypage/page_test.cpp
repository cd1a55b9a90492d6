// The page driven as a user drives it, through the headless window layer, on a running filter that
// a fake demultiplexer pin feeds: the state before the first fetch, every message and what it leaves,
// the three views, PID and table-id selection, the dirty flag, Apply, and a dialog made again.
#include <chrono>
#include <tuple>

#include "page_fixture.h"

namespace qxtest {
namespace {

const Bytes kPat = BuildPat(0x0001, 0, {{0, 0x0010}, {1, 0x0100}, {2, 0x0200}});
const Bytes kPmt1 = BuildPmt(1, 0, 0x0101, {{0x1B, 0x0101}});
const Bytes kPmt2 = BuildPmt(2, 4, 0x0201, {{0x03, 0x0201}, {0x04, 0x0202}});
const Bytes kNit = BuildNit(0x0020, 2, {0x40, 0x03, 'N', 'e', 't'}, {{0x0001, 0x0020, {}}});

using Strings = std::vector<std::string>;
using PageTest = PageFixture;

struct FullPage : PageFixture {
    void SetUp() override {
        PageFixture::SetUp();
        Send(kPat, 0x0000);
        Send(kPmt1, 0x0100);
        Send(kPmt2, 0x0200);
        Send(kNit, 0x0010);
    }
};

TEST_F(PageTest, BeforeTheFirstUpdateOnlyTheButtonIsEnabled) {
    EXPECT_EQ(Enabled(), std::vector<bool>({false, false, false, false, false}));
    EXPECT_TRUE(IsWindowEnabled(Button()));
    EXPECT_EQ(ComboEntries(Tables()), Strings({"PAT", "PMT", "NIT"}));
    EXPECT_EQ(Selected(Tables()), CB_ERR);
    EXPECT_TRUE(ComboEntries(Pid()).empty());
    EXPECT_TRUE(ComboEntries(TableId()).empty());
    EXPECT_TRUE(ComboEntries(Section()).empty());
    EXPECT_TRUE(Shown().empty());
    // A user cannot reach the disabled selectors.
    EXPECT_FALSE(Choose(Tables(), 1));

    // The list: grid lines, full-row select, two left-aligned columns.
    DWORD ex = ListView_GetExtendedListViewStyle(List());
    EXPECT_EQ(ex & (LVS_EX_GRIDLINES | LVS_EX_FULLROWSELECT), DWORD(LVS_EX_GRIDLINES | LVS_EX_FULLROWSELECT));
    for (auto [index, name, width] : {std::tuple(0, "Item", 180), std::tuple(1, "Description", 200)}) {
        char text[64] = {};
        LVCOLUMN column{};
        column.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_FMT;
        column.pszText = text;
        column.cchTextMax = sizeof text;
        ASSERT_TRUE(ListView_GetColumn(List(), index, &column));
        EXPECT_EQ(std::tuple(std::string(text), column.cx, column.fmt), std::tuple(name, width, LVCFMT_LEFT));
    }
    EXPECT_EQ(page->IsPageDirty(), S_FALSE);
}

TEST_F(PageTest, UpdateWithoutAPatAsksTwiceThenSaysSoAndChangesNothing) {
    auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(Click());
    auto elapsed = std::chrono::steady_clock::now() - start;
    EXPECT_GE(elapsed, std::chrono::milliseconds(5)); // the one retry waits 5 ms
    EXPECT_EQ(Messages(), Strings({kPatMessage}));
    EXPECT_EQ(Enabled(), std::vector<bool>({false, false, false, false, false}));
    EXPECT_EQ(impl->Pat(), nullptr);
    // Even a failed click is a command: the page is dirty and the site heard of it.
    EXPECT_EQ(page->IsPageDirty(), S_OK);
    EXPECT_EQ(site.changes, std::vector<DWORD>({PROPPAGESTATUS_DIRTY}));
}

TEST_F(FullPage, UpdateShowsThePatViewAndFetchesPmtAndNit) {
    ASSERT_TRUE(Click());
    EXPECT_TRUE(Messages().empty());
    EXPECT_EQ(Selected(Tables()), kPatView);
    EXPECT_EQ(Enabled(), std::vector<bool>({true, false, false, true, true}));
    EXPECT_EQ(ComboEntries(Pid()), Strings({"0x0000"}));
    EXPECT_EQ(ComboEntries(TableId()), Strings({"0x00"}));
    EXPECT_EQ(ComboEntries(Section()), Strings({"00"}));
    EXPECT_EQ(Selected(Pid()), 0);
    EXPECT_EQ(Selected(TableId()), 0);
    EXPECT_EQ(Selected(Section()), 0);
    EXPECT_EQ(Shown(), PatRows(kPat));
    // The program list skips the network entry; the first program's PMT and the NIT are held.
    ASSERT_EQ(impl->ProgramCount(), 2u);
    EXPECT_EQ(impl->ProgramPids()[0], 0x0100u);
    EXPECT_EQ(impl->ProgramNumbers()[1], 2u);
    ASSERT_NE(impl->Pmt(), nullptr);
    EXPECT_EQ(impl->Pmt()->program_number, 1u);
    ASSERT_NE(impl->Nit(), nullptr);
}

TEST_F(FullPage, ViewsAndPidSelection) {
    ASSERT_TRUE(Click());

    ASSERT_TRUE(Choose(Tables(), kPmtView));
    EXPECT_TRUE(Messages().empty());
    EXPECT_EQ(Enabled(), std::vector<bool>({true, true, false, false, true}));
    EXPECT_EQ(ComboEntries(Pid()), Strings({"0x0100", "0x0200"}));
    EXPECT_EQ(ComboEntries(TableId()), Strings({"0x02"}));
    EXPECT_EQ(ComboEntries(Section()), Strings({"0x00"}));
    EXPECT_EQ(Selected(Pid()), 0);
    EXPECT_EQ(Shown(), PmtRows(kPmt1));

    ASSERT_TRUE(Choose(Pid(), 1));
    EXPECT_EQ(Shown(), PmtRows(kPmt2));
    EXPECT_EQ(impl->Pmt()->program_number, 2u);
    ASSERT_TRUE(Choose(Pid(), 0));
    EXPECT_EQ(Shown(), PmtRows(kPmt1));

    ASSERT_TRUE(Choose(Tables(), kNitView));
    EXPECT_TRUE(Messages().empty());
    EXPECT_EQ(Enabled(), std::vector<bool>({true, false, true, true, true}));
    EXPECT_EQ(ComboEntries(Pid()), Strings({"0x0010"}));
    EXPECT_EQ(ComboEntries(TableId()), Strings({"0x40"}));
    EXPECT_EQ(ComboEntries(Section()), Strings({"00"}));
    EXPECT_EQ(Shown(), NitRows(kNit));

    ASSERT_TRUE(Choose(Tables(), kPatView));
    EXPECT_EQ(Shown(), PatRows(kPat));
    EXPECT_EQ(Enabled(), std::vector<bool>({true, false, false, true, true}));
}

TEST_F(FullPage, ChoosingTheShownTableOrASectionChangesNothingButMarksDirty) {
    ASSERT_TRUE(Click());
    ASSERT_EQ(page->Apply(), S_OK);
    EXPECT_EQ(page->IsPageDirty(), S_FALSE);
    site.changes.clear();
    Rows before = Shown();
    // A selection change to the table shown already.
    SendMessage(Dialog(), WM_COMMAND, MAKEWPARAM(IDC_SI_TABLES, CBN_SELCHANGE),
                reinterpret_cast<LPARAM>(Tables()));
    EXPECT_EQ(Shown(), before);
    EXPECT_EQ(page->IsPageDirty(), S_OK);
    SendMessage(Dialog(), WM_COMMAND, MAKEWPARAM(IDC_SECTION_NUM, CBN_SELCHANGE),
                reinterpret_cast<LPARAM>(Section()));
    EXPECT_EQ(Shown(), before);
    // A command from no control of the page is still a command.
    SendMessage(Dialog(), WM_COMMAND, MAKEWPARAM(4242, 0), 0);
    EXPECT_EQ(site.changes, std::vector<DWORD>(3, PROPPAGESTATUS_DIRTY));
    EXPECT_TRUE(Messages().empty());

    // Apply changes nothing and cleans the page.
    ASSERT_EQ(page->Apply(), S_OK);
    EXPECT_EQ(page->IsPageDirty(), S_FALSE);
    EXPECT_EQ(Shown(), before);
    EXPECT_EQ(Selected(Tables()), kPatView);
}

TEST_F(FullPage, ButtonNotificationsOtherThanClickDoNotFetch) {
    SendMessage(Dialog(), WM_COMMAND, MAKEWPARAM(IDC_UPDATE_TABLE, 5), reinterpret_cast<LPARAM>(Button()));
    EXPECT_EQ(impl->Pat(), nullptr);
    EXPECT_TRUE(Messages().empty());
    EXPECT_EQ(page->IsPageDirty(), S_OK);
}

TEST_F(PageTest, PatWithOnlyTheNetworkEntryShowsThePatViewThenThePmtMessage) {
    Bytes pat = BuildPat(1, 0, {{0, 0x0010}});
    Send(pat, 0x0000);
    Send(kNit, 0x0010);
    ASSERT_TRUE(Click());
    EXPECT_EQ(Messages(), Strings({kPmtMessage}));
    EXPECT_EQ(Shown(), PatRows(pat));
    EXPECT_EQ(impl->ProgramCount(), 0u);
    // The NIT was not fetched, although its store is complete: its view says so.
    EXPECT_EQ(impl->Nit(), nullptr);
    // A pick sends end of selection, close-up and change; each reads the selection, and each
    // finds the NIT view still not shown.
    ASSERT_TRUE(Choose(Tables(), kNitView));
    EXPECT_EQ(Messages(), Strings({kNitMessage, kNitMessage, kNitMessage}));
    EXPECT_EQ(Shown(), PatRows(pat));
    // So does any other notification while the selector reads NIT.
    for (WORD code : {CBN_SETFOCUS, CBN_KILLFOCUS}) {
        SendMessage(Dialog(), WM_COMMAND, MAKEWPARAM(IDC_SI_TABLES, code),
                    reinterpret_cast<LPARAM>(Tables()));
    }
    EXPECT_EQ(Messages(), Strings({kNitMessage, kNitMessage}));
    // And the PMT view, with nothing to fetch, says so too (after the drop-down, which still
    // reads NIT).
    ASSERT_TRUE(Choose(Tables(), kPmtView));
    EXPECT_EQ(Messages(), Strings({kNitMessage, kPmtMessage}));
}

TEST_F(PageTest, IncompletePmtStoreAndTheNitThatCameLater) {
    Send(kPat, 0x0000);
    Send(kPmt1, 0x0100); // program 2's PMT is missing
    ASSERT_TRUE(Click());
    EXPECT_TRUE(Messages().empty());
    EXPECT_EQ(impl->Pmt(), nullptr);
    EXPECT_EQ(impl->Nit(), nullptr);
    ASSERT_TRUE(Choose(Tables(), kPmtView));
    EXPECT_EQ(Messages(), Strings({kPmtMessage}));
    EXPECT_EQ(Shown(), PatRows(kPat));

    // The NIT view never fetches: a NIT that arrives now stays unseen until the next Update click.
    Send(kNit, 0x0010);
    ASSERT_TRUE(Choose(Tables(), kNitView));
    EXPECT_EQ(Messages(), Strings({kNitMessage, kNitMessage, kNitMessage}));
    Send(kPmt2, 0x0200);
    ASSERT_TRUE(Click());
    EXPECT_TRUE(Messages().empty());
    ASSERT_TRUE(Choose(Tables(), kNitView));
    EXPECT_EQ(Shown(), NitRows(kNit));
    ASSERT_TRUE(Choose(Tables(), kPmtView));
    EXPECT_EQ(Shown(), PmtRows(kPmt1));
}

TEST_F(FullPage, AnotherPidWhileThePmtStoreIsIncompleteKeepsThePreviousRows) {
    ASSERT_TRUE(Click());
    ASSERT_TRUE(Choose(Tables(), kPmtView));
    ASSERT_EQ(itf->ResetPmt(), S_OK);
    ASSERT_TRUE(Choose(Pid(), 1));
    EXPECT_TRUE(Messages().empty());
    EXPECT_EQ(Shown(), PmtRows(kPmt1));
    EXPECT_EQ(Selected(Pid()), 1);
}

TEST_F(FullPage, TableIdSelectionFetchesTheNitAgain) {
    ASSERT_TRUE(Click());
    ASSERT_TRUE(Choose(Tables(), kNitView));
    // A newer NIT version arrives; the only Table Id entry is already selected, so a pick of it
    // changes nothing, while a change of index (sent as the control would) fetches with that key.
    Bytes newer = BuildNit(0x0020, 3, {}, {});
    Send(newer, 0x0010);
    ASSERT_TRUE(Choose(TableId(), 0));
    EXPECT_EQ(Shown(), NitRows(kNit));
    SendMessage(TableId(), CB_SETCURSEL, 1, 0); // no such entry: the selection becomes -1
    SendMessage(Dialog(), WM_COMMAND, MAKEWPARAM(IDC_TABLE_ID, CBN_SELCHANGE),
                reinterpret_cast<LPARAM>(TableId()));
    EXPECT_EQ(Shown(), NitRows(newer));
}

TEST_F(FullPage, ADialogMadeAgainStartsDisabledAndKeepsTheRecords) {
    ASSERT_TRUE(Click());
    ASSERT_TRUE(Choose(Tables(), kPmtView));
    ASSERT_TRUE(Choose(Pid(), 1));
    const PmtRecord* held = impl->Pmt();
    size_t windows = LiveWindowCount();
    ASSERT_EQ(page->Deactivate(), S_OK);
    EXPECT_LT(LiveWindowCount(), windows);
    EXPECT_EQ(page->Deactivate(), E_UNEXPECTED);
    // Commands after the dialog went do not mark the page: it is inactive.
    ASSERT_EQ(page->Apply(), S_OK);

    // The stores empty; the page still holds what it fetched.
    ASSERT_EQ(itf->ResetAllTables(), S_OK);
    Activate();
    EXPECT_EQ(Enabled(), std::vector<bool>({false, false, false, false, false}));
    EXPECT_TRUE(Shown().empty());
    EXPECT_EQ(impl->Pmt(), held);
    EXPECT_EQ(impl->ProgramCount(), 2u);
    // The page remembers the PMT view; the SI Tables selector, sent a pick of PAT, shows the PAT
    // held without fetching, although the store is empty now.
    SendMessage(Tables(), CB_SETCURSEL, kPatView, 0);
    SendMessage(Dialog(), WM_COMMAND, MAKEWPARAM(IDC_SI_TABLES, CBN_SELCHANGE),
                reinterpret_cast<LPARAM>(Tables()));
    EXPECT_TRUE(Messages().empty());
    EXPECT_EQ(Shown(), PatRows(kPat));
    // Update table with empty stores says so and keeps the records.
    ASSERT_TRUE(Click());
    EXPECT_EQ(Messages(), Strings({kPatMessage}));
    EXPECT_EQ(impl->Pmt(), held);
}

TEST_F(PageTest, ProgramsBeyondTheListAreLeftOut) {
    // One PAT section holds at most 253 entries: all of them programs here.
    std::vector<std::pair<uint16_t, uint16_t>> programs;
    for (uint16_t p = 1; p <= 253; ++p) {
        programs.push_back({p, static_cast<uint16_t>(0x0100 + p)});
    }
    Bytes pat = BuildPat(1, 0, programs);
    ASSERT_EQ(pat.size(), 1024u);
    Send(pat, 0x0000);
    for (const auto& [number, pid] : programs) {
        Send(BuildPmt(number, 0, pid, {}), pid);
    }
    ASSERT_TRUE(Click());
    EXPECT_TRUE(Messages().empty());
    EXPECT_EQ(impl->ProgramCount(), kMaxPagePrograms);
    EXPECT_EQ(impl->ProgramPids()[kMaxPagePrograms - 1], 0x0100u + 252);
    EXPECT_EQ(Shown().size(), 8u + 2 * 253); // the PAT view lists every entry
    ASSERT_TRUE(Choose(Tables(), kPmtView));
    Strings pids = ComboEntries(Pid());
    ASSERT_EQ(pids.size(), kMaxPagePrograms);
    EXPECT_EQ(pids.back(), "0x01fc");
    ASSERT_TRUE(Choose(Pid(), 251));
    EXPECT_EQ(impl->Pmt()->program_number, 252u);
}

// The page's own part of SetObjects: the object must offer ITableCollector, and only one is taken.
TEST_F(PageTest, ObjectsAndSite) {
    ASSERT_EQ(page->Deactivate(), S_OK);
    ASSERT_EQ(page->SetObjects(0, nullptr), S_OK);
    EXPECT_EQ(page->SetObjects(0, nullptr), E_UNEXPECTED); // nothing to disconnect
    IUnknown* graphUnknown = static_cast<IFilterGraph*>(&graph);
    EXPECT_EQ(page->SetObjects(1, &graphUnknown), E_NOINTERFACE);
    IUnknown* two[2] = {graphUnknown, graphUnknown};
    EXPECT_TRUE(FAILED(page->SetObjects(2, two)));

    IUnknown* object = static_cast<IBaseFilter*>(filter);
    ASSERT_EQ(page->SetObjects(1, &object), S_OK);
    Activate();
    EXPECT_TRUE(IsWindowVisible(Dialog()));
    EXPECT_EQ(GetParent(Dialog()), parent);
}

TEST(PageCreation, OutOfMemory) {
    // The resources are registered before the page is allocated.
    HRESULT hr = S_OK;
    CUnknown* first = TableCollectorPropertyPage::CreateInstance(nullptr, &hr);
    ASSERT_NE(first, nullptr);
    first->NonDelegatingAddRef();
    first->NonDelegatingRelease();
    MemFailAt(1);
    hr = S_OK;
    EXPECT_EQ(TableCollectorPropertyPage::CreateInstance(nullptr, &hr), nullptr);
    MemFailAt(0);
    EXPECT_EQ(hr, E_OUTOFMEMORY);
}

// Every allocation of an Update table click fails in turn: the copy of a section, a record, a
// decoded list. The page shows a message or a view, never a half-made record, and leaks nothing.
TEST_F(FullPage, UpdateWithEachAllocationFailing) {
    bool sawPatMessage = false;
    bool sawPatWithoutPrograms = false;
    for (unsigned long n = 1;; ++n) {
        ASSERT_LT(n, 100u);
        // A fresh page each time, so that no record is left from before.
        DropPage();
        ASSERT_NO_FATAL_FAILURE(NewPage());

        MemFailAt(n);
        ASSERT_TRUE(Click());
        MemFailAt(0);
        Strings messages = Messages();
        if (!messages.empty() && messages[0] == kPatMessage) {
            sawPatMessage = true;
            EXPECT_EQ(impl->Pat(), nullptr);
            EXPECT_EQ(Enabled(), std::vector<bool>({false, false, false, false, false}));
            continue;
        }
        ASSERT_NE(impl->Pat(), nullptr);
        EXPECT_EQ(Shown(), RowsOf(impl->Pat()));
        if (impl->Pat()->programs == nullptr) {
            sawPatWithoutPrograms = true;
            EXPECT_EQ(messages, Strings({kPmtMessage}));
            continue;
        }
        EXPECT_TRUE(messages.empty());
        if (impl->Pmt() != nullptr && impl->Nit() != nullptr) {
            break; // every fetch went through: no allocation of the click failed any more
        }
    }
    EXPECT_TRUE(sawPatMessage);
    EXPECT_TRUE(sawPatWithoutPrograms);
}

} // namespace
} // namespace qxtest
