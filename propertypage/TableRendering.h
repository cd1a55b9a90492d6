// The display format of the "Service Information" page: the rows of the two-column list for a decoded
// PAT, PMT or NIT, and the entries of the PID, Table Id and Section Num selectors of each view.
//
// The texts go to a target rather than straight to the controls, so that the page (list view and
// combo boxes), the terminal front end and the tests all see the same rows.
#pragma once
#include <windows.h>

#include "decode/SectionParser.h"

// Every cell and selector text is formatted into a buffer of this size.
constexpr int kCellTextSize = 128;

// Where rows go. A row is inserted with its column 0 text, then given its column 1 text.
class RowTarget {
public:
    virtual void DeleteAllRows() = 0;
    virtual void InsertRow(int row, LPCSTR item) = 0;
    virtual void SetRowText(int row, LPCSTR value) = 0;

protected:
    ~RowTarget() = default;
};

enum PageSelector { kPidSelector = 0, kTableIdSelector = 1, kSectionSelector = 2 };

// Where selector entries go; entries are appended in order.
class SelectorTarget {
public:
    virtual void AddEntry(PageSelector selector, LPCSTR text) = 0;

protected:
    ~SelectorTarget() = default;
};

class TableRenderer {
public:
    explicit TableRenderer(RowTarget* target) : m_pTarget(target) {}

    // printf-style: inserts a row at index with the text in column 0 / sets column 1 of that row.
    void AddRowItem(int row, LPCSTR format, ...);
    void SetRowValue(int row, LPCSTR format, ...);

    // Each empties the list, then adds the table's rows. A null record leaves the list untouched.
    void RenderPat(const PatRecord* pat);
    void RenderPmt(const PmtRecord* pmt);
    void RenderNit(const NitRecord* nit);

    // Appends the rows of one descriptor loop from *row on and leaves *row after the last of them.
    // Nothing for a null list or a count of 0. label names the count row; indent is the format that
    // each item name goes through ("  %s", "    %s").
    void RenderDescriptors(int* row, LONG count, const DescriptorRecord* list, LPCSTR label, LPCSTR indent);

private:
    // One whole row: item text made from indent and name, value from format and arguments.
    void AddRow(int* row, LPCSTR indent, LPCSTR name, LPCSTR format, ...);
    void AddFlagRow(int* row, LPCSTR name, DWORD flag);

    RowTarget* m_pTarget;
};

// The descriptor_data cell: the payload bytes in lower-case hexadecimal, blank-separated, then the same
// bytes as text between bars with '.' for anything not printable ASCII, as a hex dump shows them.
// Payloads longer than kDescriptorBytesShown show their first bytes and "..." in both parts, followed
// by the byte count. An empty payload reads "(none)".
constexpr DWORD kDescriptorBytesShown = 24;
void FormatDescriptorData(const DescriptorRecord& descriptor, char (&text)[kCellTextSize]);

// Selector entries of the three views, appended to target after the caller emptied the selectors.
// PAT view: PID "0x0000", the PAT's table_id, section numbers 0 to last_section_number.
void AddPatViewEntries(const PatRecord* pat, SelectorTarget* target);
// PMT view: one PID entry per listed program, the PMT's table_id, and its own section_number.
void AddPmtViewEntries(const PmtRecord* pmt, const DWORD* programPids, DWORD programCount,
                       SelectorTarget* target);
// NIT view: the PID entry (0x0010); the Table Id entry 0x40; section numbers 0 to last_section_number.
void AddNitViewPidEntry(SelectorTarget* target);
void AddNitViewTableIdEntry(SelectorTarget* target);
void AddNitViewSectionEntries(const NitRecord* nit, SelectorTarget* target);
