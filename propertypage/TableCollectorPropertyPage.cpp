#include "propertypage/TableCollectorPropertyPage.h"

#include <commctrl.h>
#include <winuser.h>

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "baseclasses/allocation.h"
#include "propertypage/PageResources.h"
#include "propertypage/resource.h"

namespace {

const char kPatMessage[] = "The PAT Table is not collecting completed yet.";
const char kPmtMessage[] = "The PMT Table is not collecting completed yet.";
const char kNitMessage[] = "The NIT Table is not collecting completed yet.";

constexpr ULONG kComplete = 2;
constexpr DWORD kRetryDelayMs = 5;

// Step 1 of every fetch: the table must be complete now or 5 ms later.
template <class StatusFn> BOOL WaitComplete(StatusFn status) {
    ULONG value = 0;
    status(&value);
    if (value == kComplete) {
        return TRUE;
    }
    Sleep(kRetryDelayMs);
    value = 0;
    status(&value);
    return value == kComplete;
}

const RecordOps<PatRecord> kPatRecord = {&SectionParser::CreatePatRecord, &SectionParser::ParsePat,
                                         &SectionParser::FreePatRecord};
const RecordOps<PmtRecord> kPmtRecord = {&SectionParser::CreatePmtRecord, &SectionParser::ParsePmt,
                                         &SectionParser::FreePmtRecord};
const RecordOps<NitRecord> kNitRecord = {&SectionParser::CreateNitRecord, &SectionParser::ParseNit,
                                         &SectionParser::FreeNitRecord};

} // namespace

CUnknown* WINAPI TableCollectorPropertyPage::CreateInstance(LPUNKNOWN lpunk, HRESULT* phr) {
    // Hosts that take resources as data get them with the first page; a failure here shows later as
    // a dialog that cannot be made.
    RegisterPageResources(g_hInst);
    // The dialog holds a list view: its window class must exist before the dialog is made, whoever
    // hosts the page.
    INITCOMMONCONTROLSEX controls = {sizeof(INITCOMMONCONTROLSEX), ICC_LISTVIEW_CLASSES};
    InitCommonControlsEx(&controls);
    CUnknown* page = new TableCollectorPropertyPage(lpunk, phr);
    if (page == nullptr && phr != nullptr) {
        *phr = E_OUTOFMEMORY;
    }
    return page;
}

TableCollectorPropertyPage::TableCollectorPropertyPage(LPUNKNOWN pUnk, HRESULT* phr)
    : CBasePropertyPage(NAME("Service Information Property Page"), pUnk, IDD_SERVICE_INFORMATION,
                        IDS_SERVICE_INFORMATION_TITLE),
      tables_combo(nullptr), pid_combo(nullptr), table_id_combo(nullptr), section_combo(nullptr),
      list_view(nullptr), update_button(nullptr), active(FALSE), collector(nullptr), current_table(0),
      pid_index(0), table_id_index(0), section_index(0), pat(nullptr), pmt(nullptr), nit(nullptr),
      program_pids(), program_numbers(), program_count(0) {}

TableCollectorPropertyPage::~TableCollectorPropertyPage() {
    SectionParser parser;
    parser.FreePatRecord(&pat);
    parser.FreePmtRecord(&pmt);
    parser.FreeNitRecord(&nit);
    if (collector != nullptr) {
        collector->Release();
        collector = nullptr;
    }
}

HRESULT TableCollectorPropertyPage::OnConnect(IUnknown* pUnknown) {
    if (collector != nullptr) {
        // A second object replaces the first.
        collector->Release();
        collector = nullptr;
    }
    HRESULT hr = pUnknown->QueryInterface(IID_ITableCollector, reinterpret_cast<void**>(&collector));
    if (FAILED(hr) || collector == nullptr) {
        collector = nullptr;
        return E_NOINTERFACE;
    }
    active = FALSE;
    return S_OK;
}

HRESULT TableCollectorPropertyPage::OnDisconnect() {
    if (collector == nullptr) {
        return E_UNEXPECTED;
    }
    collector->Release();
    collector = nullptr;
    return S_OK;
}

HRESULT TableCollectorPropertyPage::OnActivate() {
    active = TRUE;
    return S_OK;
}

HRESULT TableCollectorPropertyPage::OnDeactivate() {
    active = FALSE;
    return S_OK;
}

HRESULT TableCollectorPropertyPage::OnApplyChanges() {
    return S_OK;
}

INT_PTR TableCollectorPropertyPage::OnReceiveMessage(HWND hwnd, UINT uMsg, WPARAM wParam, LPARAM lParam) {
    switch (uMsg) {
    case WM_INITDIALOG:
        tables_combo = GetDlgItem(hwnd, IDC_SI_TABLES);
        pid_combo = GetDlgItem(hwnd, IDC_PID);
        table_id_combo = GetDlgItem(hwnd, IDC_TABLE_ID);
        section_combo = GetDlgItem(hwnd, IDC_SECTION_NUM);
        list_view = GetDlgItem(hwnd, IDC_TABLE_LIST);
        update_button = GetDlgItem(hwnd, IDC_UPDATE_TABLE);
        FillTableSelector();
        SetupList();
        // Until the first fetch only the Update table button can be used.
        EnableControls(FALSE);
        break;
    case WM_COMMAND:
        OnCommand(LOWORD(wParam), HIWORD(wParam));
        MarkDirty();
        return TRUE;
    case WM_DESTROY:
        // The controls go with the dialog; records, program list and indices stay with the page.
        tables_combo = pid_combo = table_id_combo = section_combo = list_view = update_button = nullptr;
        break;
    default:
        break;
    }
    return CBasePropertyPage::OnReceiveMessage(hwnd, uMsg, wParam, lParam);
}

void TableCollectorPropertyPage::OnCommand(WORD id, WORD notification) {
    switch (id) {
    case IDC_SI_TABLES: {
        // Every notification reads the selection. A pick arrives as several of them, so a view that
        // cannot be shown may say so more than once for one pick, as a Win32 combo box makes it.
        LONG selected = static_cast<LONG>(SendMessage(tables_combo, CB_GETCURSEL, 0, 0));
        if (selected == current_table) {
            break;
        }
        if (selected == kPatView) {
            ShowPatView();
        } else if (selected == kPmtView) {
            ShowPmtView();
        } else if (selected == kNitView) {
            ShowNitView();
        }
        break;
    }
    case IDC_PID:
        OnPidSelected();
        break;
    case IDC_TABLE_ID:
        OnTableIdSelected();
        break;
    case IDC_SECTION_NUM:
        OnSectionSelected();
        break;
    case IDC_UPDATE_TABLE:
        if (notification == BN_CLICKED) {
            UpdateTables();
        }
        break;
    default:
        break;
    }
}

void TableCollectorPropertyPage::MarkDirty() {
    if (active) {
        m_bDirty = TRUE;
        if (m_pPageSite != nullptr) {
            m_pPageSite->OnStatusChange(PROPPAGESTATUS_DIRTY);
        }
    }
}

void TableCollectorPropertyPage::ShowMessage(LPCSTR text) {
    MessageBox(m_Dlg, text, "Error", MB_OK);
}

BOOL TableCollectorPropertyPage::FetchPat(ULONG sectionIndex) {
    return FetchRecord(
        pat, kPatRecord, [this](ULONG* status) { return collector->GetPatStatus(status); },
        [this, sectionIndex](StoredSection** copy) { return collector->GetPatSection(sectionIndex, copy); },
        &ITableCollector::FreePatSection);
}

BOOL TableCollectorPropertyPage::FetchPmt(ULONG pid, ULONG programNumber) {
    return FetchRecord(
        pmt, kPmtRecord, [this](ULONG* status) { return collector->GetPmtStatus(status); },
        [this, pid, programNumber](StoredSection** copy) {
            return collector->GetPmtSection(pid, programNumber, copy);
        },
        &ITableCollector::FreePmtSection);
}

BOOL TableCollectorPropertyPage::FetchNit(ULONG key, ULONG sectionIndex) {
    return FetchRecord(
        nit, kNitRecord, [this, key](ULONG* status) { return collector->GetNitStatus(key, status); },
        [this, key, sectionIndex](StoredSection** copy) {
            return collector->GetNitSection(key, sectionIndex, copy);
        },
        &ITableCollector::FreeNitSection);
}

// The fetch every view makes: wait for the table to be complete, copy one section out, decode it into
// a fresh record in place of the held one, and give the copy back. A fetch that fails before the
// decode leaves the held record as it was.
template <class Record, class Status, class Get>
BOOL TableCollectorPropertyPage::FetchRecord(
    Record*& held, const RecordOps<Record>& ops, Status status, Get get,
    HRESULT (STDMETHODCALLTYPE ITableCollector::*release)(StoredSection**)) {
    if (collector == nullptr || !WaitComplete(status)) {
        return FALSE;
    }
    StoredSection* copy = nullptr;
    HRESULT hr = get(&copy);
    if (hr != S_OK || copy == nullptr) {
        if (copy != nullptr) {
            (collector->*release)(&copy);
        }
        return FALSE;
    }
    SectionParser parser;
    (parser.*ops.free)(&held);
    held = (parser.*ops.create)();
    if (held == nullptr) {
        (collector->*release)(&copy);
        return FALSE;
    }
    (parser.*ops.parse)(copy->bytes, copy->length, held);
    (collector->*release)(&copy);
    return TRUE;
}

void TableCollectorPropertyPage::FillTableSelector() {
    SendMessage(tables_combo, CB_RESETCONTENT, 0, 0);
    SendMessage(tables_combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>("PAT"));
    SendMessage(tables_combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>("PMT"));
    SendMessage(tables_combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>("NIT"));
}

void TableCollectorPropertyPage::ClearSelectors() {
    SendMessage(pid_combo, CB_RESETCONTENT, 0, 0);
    SendMessage(table_id_combo, CB_RESETCONTENT, 0, 0);
    SendMessage(section_combo, CB_RESETCONTENT, 0, 0);
    SendMessage(list_view, LVM_DELETEALLITEMS, 0, 0);
}

void TableCollectorPropertyPage::EnableControls(BOOL enable) {
    EnableWindow(tables_combo, enable);
    EnableWindow(pid_combo, enable);
    EnableWindow(table_id_combo, enable);
    EnableWindow(section_combo, enable);
    EnableWindow(list_view, enable);
}

void TableCollectorPropertyPage::SelectIndices() {
    SendMessage(pid_combo, CB_SETCURSEL, static_cast<WPARAM>(pid_index), 0);
    SendMessage(table_id_combo, CB_SETCURSEL, static_cast<WPARAM>(table_id_index), 0);
    SendMessage(section_combo, CB_SETCURSEL, static_cast<WPARAM>(section_index), 0);
}

void TableCollectorPropertyPage::ShowPatView() {
    pid_index = table_id_index = section_index = 0;
    current_table = kPatView;
    if (pat == nullptr) {
        FetchPat(static_cast<ULONG>(section_index));
        if (pat == nullptr) {
            ShowMessage(kPatMessage);
            return;
        }
    }
    ClearSelectors();
    EnableControls(TRUE);
    EnableWindow(pid_combo, FALSE);
    EnableWindow(table_id_combo, FALSE);
    AddPatViewEntries(pat, this);
    SelectIndices();
    RenderPat();
}

void TableCollectorPropertyPage::ShowPmtView() {
    pid_index = table_id_index = section_index = 0;
    current_table = kPmtView;
    // A PMT already held stays, whichever program it belongs to.
    if (pmt == nullptr) {
        FetchPmt(program_pids[pid_index], program_numbers[pid_index]);
        if (pmt == nullptr) {
            ShowMessage(kPmtMessage);
            return;
        }
    }
    ClearSelectors();
    EnableControls(TRUE);
    EnableWindow(table_id_combo, FALSE);
    EnableWindow(section_combo, FALSE);
    AddPmtViewEntries(pmt, program_pids, program_count, this);
    SelectIndices();
    if (pat != nullptr) {
        RenderPmt();
    }
}

void TableCollectorPropertyPage::ShowNitView() {
    // Only Update table and the Table Id selector fetch the NIT.
    if (nit == nullptr) {
        ShowMessage(kNitMessage);
        return;
    }
    pid_index = table_id_index = section_index = 0;
    current_table = kNitView;
    ClearSelectors();
    EnableControls(TRUE);
    EnableWindow(pid_combo, FALSE);
    AddNitViewPidEntry(this);
    SendMessage(pid_combo, CB_SETCURSEL, static_cast<WPARAM>(pid_index), 0);
    ULONG actual = 0;
    ULONG other = 0;
    if (collector != nullptr) {
        collector->GetNitSectionCount(0, &actual);
        collector->GetNitSectionCount(1, &other);
    }
    if (actual == 0 && other == 0) {
        return;
    }
    if (actual != 0) {
        AddNitViewTableIdEntry(this);
    }
    SendMessage(table_id_combo, CB_SETCURSEL, static_cast<WPARAM>(table_id_index), 0);
    AddNitViewSectionEntries(nit, this);
    SendMessage(section_combo, CB_SETCURSEL, static_cast<WPARAM>(section_index), 0);
    RenderNit();
}

void TableCollectorPropertyPage::OnPidSelected() {
    if (current_table != kPmtView) {
        return;
    }
    LONG selected = static_cast<LONG>(SendMessage(pid_combo, CB_GETCURSEL, 0, 0));
    if (selected == pid_index) {
        return;
    }
    pid_index = selected;
    if (pat != nullptr && pid_index >= 0 && static_cast<DWORD>(pid_index) < kMaxPagePrograms) {
        // When the fetch fails the previous program's rows stay on show.
        FetchPmt(program_pids[pid_index], program_numbers[pid_index]);
        RenderPmt();
    }
}

void TableCollectorPropertyPage::OnTableIdSelected() {
    if (current_table != kNitView) {
        return;
    }
    LONG selected = static_cast<LONG>(SendMessage(table_id_combo, CB_GETCURSEL, 0, 0));
    if (selected == table_id_index) {
        return;
    }
    table_id_index = selected;
    if (nit != nullptr) {
        FetchNit(static_cast<ULONG>(table_id_index), 0);
        RenderNit();
    }
}

void TableCollectorPropertyPage::OnSectionSelected() {
    // Only section 0 of each table is ever fetched.
}

void TableCollectorPropertyPage::UpdateTables() {
    if (!FetchPat(0)) {
        ShowMessage(kPatMessage);
        return;
    }
    SendMessage(tables_combo, CB_SETCURSEL, kPatView, 0);
    ShowPatView();

    program_count = 0;
    std::memset(program_pids, 0, sizeof program_pids);
    std::memset(program_numbers, 0, sizeof program_numbers);
    const DWORD entries = pat->programs != nullptr ? pat->program_count : 0;
    for (DWORD i = 0; i < entries && program_count < kMaxPagePrograms; ++i) {
        if (pat->programs[i].program_number != 0) {
            program_pids[program_count] = pat->programs[i].PID;
            program_numbers[program_count] = pat->programs[i].program_number;
            ++program_count;
        }
    }
    if (program_count == 0) {
        ShowMessage(kPmtMessage);
        return;
    }
    FetchPmt(program_pids[0], program_numbers[0]);
    FetchNit(0, 0);
}

// --- rendering on the list view ---

void TableCollectorPropertyPage::SetupList() {
    const DWORD styles = LVS_EX_GRIDLINES | LVS_EX_FULLROWSELECT;
    SendMessage(list_view, LVM_SETEXTENDEDLISTVIEWSTYLE, styles, styles);
    char item[] = "Item";
    char description[] = "Description";
    LVCOLUMN column;
    std::memset(&column, 0, sizeof column);
    column.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT | LVCF_SUBITEM;
    column.fmt = LVCFMT_LEFT;
    column.cx = 180;
    column.pszText = item;
    column.iSubItem = 0;
    SendMessage(list_view, LVM_INSERTCOLUMN, 0, reinterpret_cast<LPARAM>(&column));
    column.cx = 200;
    column.pszText = description;
    column.iSubItem = 1;
    SendMessage(list_view, LVM_INSERTCOLUMN, 1, reinterpret_cast<LPARAM>(&column));
}

void TableCollectorPropertyPage::AddRowItem(int row, LPCSTR format, ...) {
    char text[kCellTextSize];
    std::memset(text, 0, sizeof text);
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    InsertRow(row, text);
}

void TableCollectorPropertyPage::SetRowValue(int row, LPCSTR format, ...) {
    char text[kCellTextSize];
    std::memset(text, 0, sizeof text);
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    SetRowText(row, text);
}

void TableCollectorPropertyPage::RenderPat() {
    TableRenderer(this).RenderPat(pat);
}

void TableCollectorPropertyPage::RenderPmt() {
    TableRenderer(this).RenderPmt(pmt);
}

void TableCollectorPropertyPage::RenderNit() {
    TableRenderer(this).RenderNit(nit);
}

void TableCollectorPropertyPage::RenderDescriptors(int* row, LONG count, const DescriptorRecord* list,
                                                   LPCSTR label, LPCSTR indent) {
    TableRenderer(this).RenderDescriptors(row, count, list, label, indent);
}

void TableCollectorPropertyPage::DeleteAllRows() {
    SendMessage(list_view, LVM_DELETEALLITEMS, 0, 0);
}

void TableCollectorPropertyPage::InsertRow(int row, LPCSTR text) {
    LVITEM item;
    std::memset(&item, 0, sizeof item);
    item.mask = LVIF_TEXT;
    item.iItem = row;
    item.iSubItem = 0;
    item.pszText = const_cast<LPSTR>(text);
    SendMessage(list_view, LVM_INSERTITEM, 0, reinterpret_cast<LPARAM>(&item));
}

void TableCollectorPropertyPage::SetRowText(int row, LPCSTR text) {
    LVITEM item;
    std::memset(&item, 0, sizeof item);
    item.mask = LVIF_TEXT;
    item.iItem = row;
    item.iSubItem = 1;
    item.pszText = const_cast<LPSTR>(text);
    SendMessage(list_view, LVM_SETITEM, 0, reinterpret_cast<LPARAM>(&item));
}

void TableCollectorPropertyPage::AddEntry(PageSelector selector, LPCSTR text) {
    HWND combo = selector == kPidSelector       ? pid_combo
                 : selector == kTableIdSelector ? table_id_combo
                                                : section_combo;
    SendMessage(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text));
}
