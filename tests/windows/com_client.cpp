// A plain Windows COM client of quenlix.ax, run under Wine: the filter by class from the registry, the
// system's own filter graph manager, the project's demultiplexer as the section source, every table
// read back through ITableCollector, then the "Service Information" page in a real property frame,
// driven by window messages from a second thread and kept as a screenshot. Each check that fails says
// so on stderr; the exit status is 0 when every one passed.
//
//   com_client SAMPLE.ts SCREENSHOT.bmp
#include <windows.h>
#include <objbase.h>
#include <olectl.h>
#include <strmif.h>
#include <control.h>
#include <evcode.h>
#include <uuids.h>
#include <commctrl.h>
#include <quenlix.h>

#include <cstdio>
#include <string>
#include <vector>

#include "host/SectionDemuxFilter.h"
#include "host/TsReader.h"

namespace {

int g_failures = 0;

void Check(bool ok, const char* what, const std::string& detail = "") {
    if (!ok) {
        ++g_failures;
        fprintf(stderr, "FAILED: %s %s\n", what, detail.c_str());
    }
}

std::string Hex(HRESULT hr) {
    char text[16];
    snprintf(text, sizeof text, "0x%08lX", static_cast<unsigned long>(hr));
    return text;
}

// A call that must answer S_OK, its answer shown when it does not.
void CheckOk(HRESULT hr, const char* what) {
    Check(hr == S_OK, what, Hex(hr));
}

// What the bundled sample holds, table by table: one section each is fetched and its length and
// table_id compared with the stream's.
struct Expected {
    const char* table;
    ULONG count;  // sections held (0: the table has no count method)
    ULONG length; // of the fetched section
    BYTE tableId;
};

using Fetch = HRESULT (*)(ITableCollector*, StoredSection**);
using Count = HRESULT (*)(ITableCollector*, ULONG*);
using Status = HRESULT (*)(ITableCollector*, ULONG*);
using Release = HRESULT (*)(ITableCollector*, StoredSection**);

struct TableCheck {
    Expected expected;
    Status status; // null: the table has no status (ETT)
    Count count;
    Fetch fetch;
    Release release;
};

#define QX_STATUS(call) [](ITableCollector* c, ULONG* s) { return c->call; }
#define QX_FETCH(call) [](ITableCollector* c, StoredSection** p) { return c->call; }
#define QX_FREE(method) [](ITableCollector* c, StoredSection** p) { return c->method(p); }

const TableCheck kTables[] = {
    {{"PAT", 1, 36, 0x00},
     QX_STATUS(GetPatStatus(s)),
     QX_STATUS(GetPatSectionCount(s)),
     QX_FETCH(GetPatSection(0, p)),
     QX_FREE(FreePatSection)},
    {{"PMT", 5, 31, 0x02},
     QX_STATUS(GetPmtStatus(s)),
     QX_STATUS(GetPmtSectionCount(s)),
     QX_FETCH(GetPmtSection(512, 258, p)),
     QX_FREE(FreePmtSection)},
    {{"CAT", 1, 18, 0x01},
     QX_STATUS(GetCatStatus(s)),
     QX_STATUS(GetCatSectionCount(s)),
     QX_FETCH(GetCatSection(0, p)),
     QX_FREE(FreeCatSection)},
    {{"NIT", 2, 30, 0x40},
     QX_STATUS(GetNitStatus(0, s)),
     QX_STATUS(GetNitSectionCount(0, s)),
     QX_FETCH(GetNitSection(0, 1, p)),
     QX_FREE(FreeNitSection)},
    {{"SDT", 1, 101, 0x42},
     QX_STATUS(GetSdtStatus(0, s)),
     QX_STATUS(GetSdtSectionCount(0, s)),
     QX_FETCH(GetSdtSection(0, 0, p)),
     QX_FREE(FreeSdtSection)},
    {{"BAT", 1, 39, 0x4A},
     QX_STATUS(GetBatStatus(s)),
     QX_STATUS(GetBatSectionCount(s)),
     QX_FETCH(GetBatSection(0, p)),
     QX_FREE(FreeBatSection)},
    {{"EIT 0x4E", 2, 84, 0x4E},
     QX_STATUS(GetEitStatus(0x4E, s)),
     QX_STATUS(GetEitSectionCount(0x4E, s)),
     QX_FETCH(GetEitSection(0x4E, 1, 258, p)),
     QX_FREE(FreeEitSection)},
    {{"EIT 0x50", 2, 76, 0x50},
     QX_STATUS(GetEitStatus(0x50, s)),
     QX_STATUS(GetEitSectionCount(0x50, s)),
     QX_FETCH(GetEitSection(0x50, 0, 257, p)),
     QX_FREE(FreeEitSection)},
    {{"TDT", 0, 8, 0x70},
     QX_STATUS(GetTdtStatus(s)),
     nullptr,
     QX_FETCH(GetTdtSection(p)),
     QX_FREE(FreeTdtSection)},
    {{"TOT", 0, 29, 0x73},
     QX_STATUS(GetTotStatus(s)),
     nullptr,
     QX_FETCH(GetTotSection(p)),
     QX_FREE(FreeTotSection)},
    {{"RST", 0, 12, 0x71},
     QX_STATUS(GetRstStatus(s)),
     nullptr,
     QX_FETCH(GetRstSection(p)),
     QX_FREE(FreeRstSection)},
    {{"MGT", 0, 61, 0xC7},
     QX_STATUS(GetMgtStatus(s)),
     nullptr,
     QX_FETCH(GetMgtSection(p)),
     QX_FREE(FreeMgtSection)},
    {{"TVCT", 1, 80, 0xC8},
     QX_STATUS(GetVctStatus(s)),
     QX_STATUS(GetVctSectionCount(s)),
     QX_FETCH(GetVctSection(0, p)),
     QX_FREE(FreeVctSection)},
    {{"STT", 0, 20, 0xCD},
     QX_STATUS(GetSttStatus(s)),
     nullptr,
     QX_FETCH(GetSttSection(p)),
     QX_FREE(FreeSttSection)},
    {{"ATSC EIT-0", 1, 70, 0xCB},
     QX_STATUS(GetAtscEitStatus(0x100, s)),
     QX_STATUS(GetAtscEitSectionCount(0x100, s)),
     QX_FETCH(GetAtscEitSection(0x100, 0, 18, p)),
     QX_FREE(FreeAtscEitSection)},
    {{"ATSC EIT-1", 1, 42, 0xCB},
     QX_STATUS(GetAtscEitStatus(0x101, s)),
     QX_STATUS(GetAtscEitSectionCount(0x101, s)),
     QX_FETCH(GetAtscEitSection(0x101, 0, 17, p)),
     QX_FREE(FreeAtscEitSection)},
    {{"ETT", 4, 39, 0xCC},
     nullptr,
     QX_STATUS(GetEttSectionCount(s)),
     QX_FETCH(GetEttSection(1180742, p)),
     QX_FREE(FreeEttSection)},
};

void CheckTables(ITableCollector* tc) {
    for (const TableCheck& t : kTables) {
        const Expected& e = t.expected;
        if (t.status != nullptr) {
            ULONG status = 0;
            HRESULT hr = t.status(tc, &status);
            Check(hr == S_OK && status == TABLE_STATUS_COMPLETE, e.table,
                  "status " + std::to_string(status) + " " + Hex(hr));
        }
        if (t.count != nullptr) {
            ULONG count = 0;
            HRESULT hr = t.count(tc, &count);
            Check(hr == S_OK && count == e.count, e.table, "count " + std::to_string(count) + " " + Hex(hr));
        }
        StoredSection* section = nullptr;
        HRESULT hr = t.fetch(tc, &section);
        Check(hr == S_OK && section != nullptr, e.table, "fetch " + Hex(hr));
        if (section == nullptr) {
            continue;
        }
        Check(section->length == e.length && section->bytes != nullptr && section->bytes[0] == e.tableId,
              e.table, "length " + std::to_string(section->length));
        Check(t.release(tc, &section) == S_OK && section == nullptr, e.table, "release");
    }
}

// --- the property frame, driven from a second thread as a user would drive it ---

struct PageRun {
    DWORD frameThread;
    std::wstring screenshot;
    bool found = false;
    std::vector<std::wstring> items; // "item\tdescription" per row
};

struct Search {
    DWORD thread;
    HWND frame = nullptr;
    HWND list = nullptr;
};

BOOL CALLBACK FindList(HWND child, LPARAM param) {
    auto* s = reinterpret_cast<Search*>(param);
    wchar_t cls[64] = {};
    GetClassNameW(child, cls, 64);
    if (lstrcmpiW(cls, WC_LISTVIEWW) == 0) {
        s->list = child;
        return FALSE;
    }
    return TRUE;
}

BOOL CALLBACK FindFrame(HWND top, LPARAM param) {
    auto* s = reinterpret_cast<Search*>(param);
    if (GetWindowThreadProcessId(top, nullptr) == s->thread && IsWindowVisible(top)) {
        EnumChildWindows(top, FindList, param);
        if (s->list != nullptr) {
            s->frame = top;
            return FALSE;
        }
    }
    return TRUE;
}

std::wstring ItemText(HWND list, int row, int column) {
    wchar_t text[256] = {};
    LVITEMW item = {};
    item.iSubItem = column;
    item.pszText = text;
    item.cchTextMax = 256;
    SendMessageW(list, LVM_GETITEMTEXTW, row, reinterpret_cast<LPARAM>(&item));
    return text;
}

// The frame as it is on the screen, as a 24-bit BMP.
bool SaveScreenshot(HWND frame, const std::wstring& path) {
    RECT r;
    if (!GetWindowRect(frame, &r)) {
        return false;
    }
    const int w = r.right - r.left, h = r.bottom - r.top;
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, w, h);
    HGDIOBJ old = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, w, h, screen, r.left, r.top, SRCCOPY);
    SelectObject(memory, old);
    BITMAPINFOHEADER info = {};
    info.biSize = sizeof info;
    info.biWidth = w;
    info.biHeight = h;
    info.biPlanes = 1;
    info.biBitCount = 24;
    info.biCompression = BI_RGB;
    const DWORD stride = (static_cast<DWORD>(w) * 3 + 3) & ~3u;
    std::vector<BYTE> pixels(stride * static_cast<DWORD>(h));
    bool ok = GetDIBits(memory, bitmap, 0, h, pixels.data(), reinterpret_cast<BITMAPINFO*>(&info),
                        DIB_RGB_COLORS) == h;
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    BITMAPFILEHEADER file = {};
    file.bfType = 0x4D42;
    file.bfOffBits = sizeof file + sizeof info;
    file.bfSize = file.bfOffBits + static_cast<DWORD>(pixels.size());
    FILE* out = ok ? _wfopen(path.c_str(), L"wb") : nullptr;
    if (out == nullptr) {
        return false;
    }
    ok = fwrite(&file, sizeof file, 1, out) == 1 && fwrite(&info, sizeof info, 1, out) == 1 &&
         fwrite(pixels.data(), pixels.size(), 1, out) == 1;
    return fclose(out) == 0 && ok;
}

DWORD WINAPI DrivePage(LPVOID param) {
    auto* run = static_cast<PageRun*>(param);
    Search s;
    s.thread = run->frameThread;
    for (int i = 0; i < 200 && s.frame == nullptr; ++i) {
        Sleep(100);
        s.list = nullptr;
        EnumWindows(FindFrame, reinterpret_cast<LPARAM>(&s));
    }
    if (s.frame == nullptr) {
        return 1;
    }
    run->found = true;
    HWND page = GetParent(s.list);
    HWND tables = FindWindowExW(page, nullptr, L"ComboBox", nullptr); // the first selector: SI Tables
    HWND update = FindWindowExW(page, nullptr, L"Button", L"&Update table");
    // A user's pick of "PAT" and press of the button reach the page as these notifications.
    LRESULT pat =
        SendMessageW(tables, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(L"PAT"));
    SendMessageW(tables, CB_SETCURSEL, static_cast<WPARAM>(pat), 0);
    SendMessageW(page, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(tables), CBN_SELCHANGE),
                 reinterpret_cast<LPARAM>(tables));
    SendMessageW(page, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(update), BN_CLICKED),
                 reinterpret_cast<LPARAM>(update));
    const int rows = static_cast<int>(SendMessageW(s.list, LVM_GETITEMCOUNT, 0, 0));
    for (int row = 0; row < rows; ++row) {
        run->items.push_back(ItemText(s.list, row, 0) + L"\t" + ItemText(s.list, row, 1));
    }
    RedrawWindow(s.frame, nullptr, nullptr, RDW_INVALIDATE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    Sleep(1000);
    Check(SaveScreenshot(s.frame, run->screenshot), "screenshot");
    PostMessageW(s.frame, WM_COMMAND, IDCANCEL, 0);
    return 0;
}

void CheckPage(IBaseFilter* filter, const std::wstring& screenshot) {
    ISpecifyPropertyPages* specify = nullptr;
    HRESULT hr = filter->QueryInterface(IID_ISpecifyPropertyPages, reinterpret_cast<void**>(&specify));
    Check(SUCCEEDED(hr), "ISpecifyPropertyPages", Hex(hr));
    if (FAILED(hr)) {
        return;
    }
    CAUUID pages = {};
    hr = specify->GetPages(&pages);
    specify->Release();
    Check(hr == S_OK && pages.cElems == 1 && pages.pElems[0] == CLSID_TableCollectorPropertyPage, "GetPages",
          Hex(hr));
    PageRun run;
    run.frameThread = GetCurrentThreadId();
    run.screenshot = screenshot;
    HANDLE driver = CreateThread(nullptr, 0, DrivePage, &run, 0, nullptr);
    IUnknown* object = filter;
    hr = OleCreatePropertyFrame(nullptr, 0, 0, L"Korvane Trevasi Filter", 1, &object, pages.cElems,
                                pages.pElems, 0, 0, nullptr);
    CoTaskMemFree(pages.pElems);
    WaitForSingleObject(driver, INFINITE);
    CloseHandle(driver);
    Check(hr == S_OK, "OleCreatePropertyFrame", Hex(hr));
    Check(run.found, "the property frame with the page's list view");
    // The PAT of the sample: 7 header rows, two per program (six of them), the CRC.
    const std::vector<std::wstring> expected = {
        L"section_syntax_indicator\tTRUE",      L"section_length\t33",
        L"transport_stream_id\t0x421 (= 1057)", L"version_number\t0x3 (= 3)",
        L"current_next_indicator\tTRUE",        L"last_section_number\t0",
        L"  program descriptor count\t6",
    };
    Check(run.items.size() == 20, "PAT rows", std::to_string(run.items.size()));
    for (size_t i = 0; i < expected.size() && i < run.items.size(); ++i) {
        Check(run.items[i] == expected[i], "PAT row", std::to_string(i));
    }
    Check(!run.items.empty() && run.items.back() == L"CRC_32\t0x12b811df", "PAT CRC row");
    for (const std::wstring& row : run.items) {
        fwprintf(stdout, L"  %ls\n", row.c_str());
    }
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 3) {
        fputs("usage: com_client SAMPLE.ts SCREENSHOT.bmp\n", stderr);
        return 2;
    }
    // A single-threaded apartment: the property frame is modal on this thread.
    HRESULT hr = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    Check(SUCCEEDED(hr), "CoInitializeEx", Hex(hr));

    char path[MAX_PATH];
    WideCharToMultiByte(CP_UTF8, 0, argv[1], -1, path, MAX_PATH, nullptr, nullptr);
    qxhost::FileSource source;
    std::string why;
    Check(source.Open(path, &why), "open the sample", why);
    qxhost::TsReader reader(&source);
    Check(reader.Detect() == qxhost::TsReader::Result::Packet, "a transport stream");

    IBaseFilter* filter = nullptr;
    IGraphBuilder* graph = nullptr;
    hr = CoCreateInstance(CLSID_TableCollectorFilter, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                          reinterpret_cast<void**>(&filter));
    Check(hr == S_OK, "CoCreateInstance(CLSID_TableCollectorFilter)", Hex(hr));
    hr = CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder,
                          reinterpret_cast<void**>(&graph));
    Check(hr == S_OK, "CoCreateInstance(CLSID_FilterGraph)", Hex(hr));
    if (filter == nullptr || graph == nullptr) {
        return 1;
    }

    HRESULT demuxResult = S_OK;
    auto* demux = new SectionDemuxFilter(&reader, nullptr, &demuxResult);
    demux->AddRef();
    IPin* input = nullptr;
    IMediaControl* control = nullptr;
    IMediaEvent* events = nullptr;
    ITableCollector* tc = nullptr;
    Check(SUCCEEDED(demuxResult), "the demultiplexer", Hex(demuxResult));
    CheckOk(graph->AddFilter(demux, L"Section demultiplexer"), "AddFilter(demultiplexer)");
    CheckOk(graph->AddFilter(filter, L"Korvane Trevasi Filter"), "AddFilter(filter)");
    CheckOk(filter->FindPin(L"Input", &input), "FindPin(Input)");
    CheckOk(graph->ConnectDirect(demux->GetPin(0), input, nullptr), "ConnectDirect");
    graph->QueryInterface(IID_IMediaControl, reinterpret_cast<void**>(&control));
    graph->QueryInterface(IID_IMediaEvent, reinterpret_cast<void**>(&events));
    CheckOk(filter->QueryInterface(IID_ITableCollector, reinterpret_cast<void**>(&tc)), "ITableCollector");
    if (g_failures == 0) {
        // The filter exposes neither IMediaSeeking nor IAMFilterMiscFlags, so the graph manager does
        // not count it as a renderer and would keep its EC_COMPLETE to itself: the application asks
        // for every EC_COMPLETE and waits for the filter's own.
        CheckOk(events->CancelDefaultHandling(EC_COMPLETE), "CancelDefaultHandling");
        hr = control->Run();
        Check(SUCCEEDED(hr), "Run", Hex(hr));
        // The graph was made on this single-threaded apartment and reaches it through its messages:
        // the wait pumps them, as any windowed application's loop would.
        HANDLE ready = nullptr;
        events->GetEventHandle(reinterpret_cast<OAEVENT*>(&ready));
        bool complete = false;
        const DWORD start = GetTickCount();
        while (!complete && GetTickCount() - start < 30000) {
            MsgWaitForMultipleObjects(1, &ready, FALSE, 100, QS_ALLINPUT);
            MSG msg;
            while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
                TranslateMessage(&msg);
                DispatchMessageW(&msg);
            }
            LONG code = 0;
            LONG_PTR param1 = 0, param2 = 0;
            while (events->GetEvent(&code, &param1, &param2, 0) == S_OK) {
                complete = complete || (code == EC_COMPLETE && param2 == reinterpret_cast<LONG_PTR>(filter));
                Check(code != EC_ERRORABORT, "EC_ERRORABORT", Hex(static_cast<HRESULT>(param1)));
                events->FreeEventParams(code, param1, param2);
            }
        }
        Check(complete, "EC_COMPLETE from the filter");
        // The demultiplexer's thread marks itself finished just after it delivers the end of stream,
        // which the filter may have passed on already.
        for (int i = 0; i < 500 && !demux->Finished(); ++i) {
            Sleep(10);
        }
        Check(demux->Finished(), "the stream read to its end");
        CheckOk(control->Stop(), "Stop");
        CheckTables(tc);
        CheckPage(filter, argv[2]);
    }
    if (tc != nullptr) {
        tc->Release();
    }
    if (input != nullptr) {
        input->Release();
    }
    if (control != nullptr) {
        control->Release();
    }
    if (events != nullptr) {
        events->Release();
    }
    graph->Release();
    demux->Release();
    filter->Release();
    CoUninitialize();
    printf("com_client: %s\n", g_failures == 0 ? "every check passed" : "checks failed");
    return g_failures == 0 ? 0 : 1;
}
