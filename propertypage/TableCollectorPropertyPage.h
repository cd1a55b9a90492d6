// The filter's "Service Information" property page: shows the PAT, the PMT of one program and the
// NIT as decoded fields in a two-column list. It reads the filter only through ITableCollector, one
// section copy at a time, and changes nothing in it (Apply has no effect).
#pragma once
#include <windows.h>
#include <ocidl.h>
#include <quenlix.h>

#include "baseclasses/cprop.h"
#include "decode/SectionParser.h"
#include "propertypage/TableRendering.h"

// The program list holds this many programs; a PAT section can list up to 253. Programs after the
// 252nd (program_number 0 not counted) are left out of the PMT view's PID selector; the PAT view
// still shows every entry.
constexpr DWORD kMaxPagePrograms = 252;

// Views, by their index in the SI Tables selector.
enum PageView { kPatView = 0, kPmtView = 1, kNitView = 2 };

// How one kind of decoded record is made, filled and released.
template <class Record> struct RecordOps {
    Record* (SectionParser::*create)();
    bool (SectionParser::*parse)(const BYTE*, DWORD, Record*);
    void (SectionParser::*free)(Record**);
};

class TableCollectorPropertyPage : public CBasePropertyPage, private RowTarget, private SelectorTarget {
public:
    // The factory template's creation function. Null with *phr = E_OUTOFMEMORY when the page cannot
    // be allocated.
    static CUnknown* WINAPI CreateInstance(LPUNKNOWN lpunk, HRESULT* phr);

    TableCollectorPropertyPage(LPUNKNOWN pUnk, HRESULT* phr);
    ~TableCollectorPropertyPage() override;

    HRESULT OnConnect(IUnknown* pUnknown) override;
    HRESULT OnDisconnect() override;
    HRESULT OnActivate() override;
    HRESULT OnDeactivate() override;
    HRESULT OnApplyChanges() override;
    INT_PTR OnReceiveMessage(HWND hwnd, UINT uMsg, WPARAM wParam, LPARAM lParam) override;

    // The rendering, on this page's list (each runs only while its record is held).
    void SetupList();
    void AddRowItem(int row, LPCSTR format, ...);
    void SetRowValue(int row, LPCSTR format, ...);
    void RenderPat();
    void RenderPmt();
    void RenderNit();
    void RenderDescriptors(int* row, LONG count, const DescriptorRecord* list, LPCSTR label, LPCSTR indent);

    // Read access for front ends that draw the page themselves.
    HWND PageWindow() const { return m_hwnd; }
    DWORD CurrentTable() const { return static_cast<DWORD>(current_table); }
    const PatRecord* Pat() const { return pat; }
    const PmtRecord* Pmt() const { return pmt; }
    const NitRecord* Nit() const { return nit; }
    DWORD ProgramCount() const { return program_count; }
    const DWORD* ProgramPids() const { return program_pids; }
    const DWORD* ProgramNumbers() const { return program_numbers; }

private:
    // Fetching: status (with one retry 5 ms later), copy, decode into a fresh record, release.
    BOOL FetchPat(ULONG sectionIndex);
    BOOL FetchPmt(ULONG pid, ULONG programNumber);
    BOOL FetchNit(ULONG key, ULONG sectionIndex);
    template <class Record, class Status, class Get>
    BOOL FetchRecord(Record*& held, const RecordOps<Record>& ops, Status status, Get get,
                     HRESULT (STDMETHODCALLTYPE ITableCollector::*release)(StoredSection**));

    void OnCommand(WORD id, WORD notification);
    void FillTableSelector();
    void ClearSelectors();
    void EnableControls(BOOL enable);
    void SelectIndices();
    void ShowPatView();
    void ShowPmtView();
    void ShowNitView();
    void OnPidSelected();
    void OnTableIdSelected();
    void OnSectionSelected();
    void UpdateTables();
    void MarkDirty();
    void ShowMessage(LPCSTR text);

    // RowTarget: the list view.
    void DeleteAllRows() override;
    void InsertRow(int row, LPCSTR item) override;
    void SetRowText(int row, LPCSTR value) override;
    // SelectorTarget: the PID, Table Id and Section Num combo boxes.
    void AddEntry(PageSelector selector, LPCSTR text) override;

    HWND tables_combo;
    HWND pid_combo;
    HWND table_id_combo;
    HWND section_combo;
    HWND list_view;
    HWND update_button;
    BOOL active;
    ITableCollector* collector;
    LONG current_table;
    LONG pid_index;
    LONG table_id_index;
    LONG section_index;
    PatRecord* pat;
    PmtRecord* pmt;
    NitRecord* nit;
    DWORD program_pids[kMaxPagePrograms];
    DWORD program_numbers[kMaxPagePrograms];
    DWORD program_count;
};
