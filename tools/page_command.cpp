#include "page_command.h"

#include <windows.h>
#include <objbase.h>
#include <strmif.h>
#include <control.h>
#include <commctrl.h>
#include <qxuser.h>
#include <quenlix.h>
#include <winuser.h>

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "host/ScanSession.h"
#include "host/PropertyFrame.h"
#include "register_command.h"
#include "scan_setup.h"
#include "terminal.h"

namespace quenlix {

const char kPageHelp[] =
    "property page:\n"
    "  quenlix page [--packet-size N] FILE  scan FILE, then show the filter's \"Service Information\"\n"
    "                                       property page in the terminal (quenlix page --help: keys)\n"
    "  quenlix page --dump FILE             the same scan, then print the rows of every view\n";

const char kPageKeys[] =
    "keys: Tab / Shift-Tab  move between controls     Up / Down  choose an entry, scroll the list\n"
    "      Enter / Space    press the button          PgUp / PgDn  scroll the list by a page\n"
    "      u  Update table   t p i n  SI Tables, PID, Table Id, Section Num   a  Apply   o  OK\n"
    "      q / Esc  Cancel (close)\n";

namespace {

enum Exit { kOk = qxhost::kScanOk, kFailed = qxhost::kScanSetupError };

// Control identifiers of the page's dialog (resource 107).
enum : int {
    kTables = 1017,
    kPid = 1025,
    kTableId = 1019,
    kSection = 1021,
    kList = 1022,
    kUpdate = 1026,
};

std::string ClassOf(HWND hwnd) {
    char name[64] = {};
    GetClassNameA(hwnd, name, sizeof name);
    return name;
}

std::string TextOf(HWND hwnd) {
    char text[256] = {};
    GetWindowTextA(hwnd, text, sizeof text);
    return text;
}

std::vector<std::string> ComboEntries(HWND combo) {
    std::vector<std::string> out;
    LRESULT n = SendMessageA(combo, CB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < n; ++i) {
        char text[256] = {};
        SendMessageA(combo, CB_GETLBTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(text));
        out.push_back(text);
    }
    return out;
}

std::string ComboText(HWND combo) {
    LRESULT i = SendMessageA(combo, CB_GETCURSEL, 0, 0);
    if (i < 0) {
        return std::string();
    }
    char text[256] = {};
    SendMessageA(combo, CB_GETLBTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(text));
    return text;
}

std::vector<std::pair<std::string, std::string>> ListRows(HWND list) {
    std::vector<std::pair<std::string, std::string>> rows;
    int n = static_cast<int>(SendMessageA(list, LVM_GETITEMCOUNT, 0, 0));
    for (int i = 0; i < n; ++i) {
        char item[256] = {};
        char value[256] = {};
        LVITEMA lv = {};
        lv.iSubItem = 0;
        lv.pszText = item;
        lv.cchTextMax = sizeof item;
        SendMessageA(list, LVM_GETITEMTEXTA, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&lv));
        lv.iSubItem = 1;
        lv.pszText = value;
        lv.cchTextMax = sizeof value;
        SendMessageA(list, LVM_GETITEMTEXTA, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&lv));
        rows.push_back({item, value});
    }
    return rows;
}

// A label's text without the mnemonic marks.
std::string Plain(const std::string& text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '&' && i + 1 < text.size()) {
            ++i;
        }
        out += text[i];
    }
    return out;
}

// What a user's pick of an entry sends, as the combo box itself would on Windows.
void Choose(HWND dialog, int id, int index) {
    HWND combo = GetDlgItem(dialog, id);
    SendMessageA(combo, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
    SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, CBN_SELCHANGE), reinterpret_cast<LPARAM>(combo));
}

// --- message boxes ---

struct Presenter {
    bool interactive = false;
    std::vector<std::string> shown; // dump: messages since the last look
    void (*draw)(const std::string& text, const std::string& caption) = nullptr;
};

// The terminal while the page is shown interactively.
Terminal* g_terminal = nullptr;

int ReadKey(int timeoutMs) {
    return g_terminal != nullptr ? g_terminal->ReadKey(timeoutMs) : kKeyEnd;
}

int CALLBACK PresentMessage(void* context, HWND owner, LPCSTR text, LPCSTR caption, UINT type) {
    Presenter* p = static_cast<Presenter*>(context);
    if (!p->interactive) {
        p->shown.push_back(std::string(caption) + ": " + text);
        return IDOK;
    }
    p->draw(text, caption);
    // Modal: the page waits until the box is dismissed.
    for (;;) {
        int key = ReadKey(-1);
        if (key == kKeyResize) {
            p->draw(text, caption);
            continue;
        }
        if (key == '\r' || key == '\n' || key == ' ' || key == 27 || key == 'o' || key < 0) {
            return IDOK;
        }
    }
}

// --- dump ---

void PrintView(FILE* out, HWND dialog) {
    fprintf(out, "SI Tables: %s  PID: %s  Table Id: %s  Section Num: %s\n",
            ComboText(GetDlgItem(dialog, kTables)).c_str(), ComboText(GetDlgItem(dialog, kPid)).c_str(),
            ComboText(GetDlgItem(dialog, kTableId)).c_str(), ComboText(GetDlgItem(dialog, kSection)).c_str());
    for (const auto& [item, value] : ListRows(GetDlgItem(dialog, kList))) {
        fprintf(out, "%-36s  %s\n", item.c_str(), value.c_str());
    }
}

bool PrintMessages(FILE* out, Presenter* p) {
    bool any = !p->shown.empty();
    for (const std::string& m : p->shown) {
        fprintf(out, "%s\n", m.c_str());
    }
    p->shown.clear();
    return any;
}

void Dump(FILE* out, HWND dialog, Presenter* p) {
    fprintf(out, "== Update table ==\n");
    SendMessageA(GetDlgItem(dialog, kUpdate), BM_CLICK, 0, 0);
    PrintMessages(out, p);
    HWND tables = GetDlgItem(dialog, kTables);
    if (!IsWindowEnabled(tables)) {
        return; // no PAT: nothing to show
    }
    std::vector<std::string> names = ComboEntries(tables);
    for (int view = 0; view < static_cast<int>(names.size()); ++view) {
        fprintf(out, "\n== %s ==\n", names[static_cast<size_t>(view)].c_str());
        Choose(dialog, kTables, view);
        if (PrintMessages(out, p)) {
            continue;
        }
        PrintView(out, dialog);
        if (names[static_cast<size_t>(view)] != "PMT") {
            continue;
        }
        // Every program of the PID selector after the first.
        size_t programs = ComboEntries(GetDlgItem(dialog, kPid)).size();
        for (size_t i = 1; i < programs; ++i) {
            Choose(dialog, kPid, static_cast<int>(i));
            fprintf(out, "\n");
            PrintMessages(out, p);
            PrintView(out, dialog);
        }
    }
}

// --- the page on the terminal ---

class PageScreen {
public:
    PageScreen(Terminal* terminal, PropertyFrame* frame, HWND dialog)
        : m_terminal(terminal), m_frame(frame), m_dialog(dialog) {
        m_focusOrder = {
            kTables, kPid, kTableId, kSection, kList, kUpdate, IDOK, IDCANCEL, PropertyFrame::kApplyButtonId};
        m_focus = kUpdate;
    }

    void Draw(const std::string& message = std::string(), const std::string& caption = std::string());
    // False once the frame has closed.
    bool Handle(int key);

private:
    HWND Control(int id) const {
        HWND h = GetDlgItem(m_dialog, id);
        return h != nullptr ? h : GetDlgItem(m_frame->Window(), id);
    }
    bool Usable(int id) const {
        HWND h = Control(id);
        return h != nullptr && IsWindowEnabled(h);
    }
    void MoveFocus(int step);
    void Focus(int id) {
        if (Usable(id)) {
            m_focus = id;
        }
    }
    void Press(int id) {
        if (Usable(id)) {
            m_focus = id;
            SendMessageA(Control(id), BM_CLICK, 0, 0);
        }
    }
    void Step(int delta);
    Span Combo(int id, size_t width) const;
    Span Button(int id) const;
    Span Styled(int id, const std::string& text) const;

    Terminal* m_terminal;
    PropertyFrame* m_frame;
    HWND m_dialog;
    std::vector<int> m_focusOrder;
    int m_focus;
    int m_scroll = 0;
    int m_listHeight = 10;
};

void PageScreen::MoveFocus(int step) {
    const int n = static_cast<int>(m_focusOrder.size());
    const int at =
        static_cast<int>(std::find(m_focusOrder.begin(), m_focusOrder.end(), m_focus) - m_focusOrder.begin());
    for (int k = 1; k <= n; ++k) {
        int id = m_focusOrder[static_cast<size_t>(((at + step * k) % n + n) % n)];
        if (Usable(id)) {
            m_focus = id;
            return;
        }
    }
}

void PageScreen::Step(int delta) {
    if (m_focus == kList) {
        int rows = static_cast<int>(SendMessageA(Control(kList), LVM_GETITEMCOUNT, 0, 0));
        m_scroll = std::max(0, std::min(m_scroll + delta, std::max(0, rows - m_listHeight)));
        return;
    }
    if (m_focus != kTables && m_focus != kPid && m_focus != kTableId && m_focus != kSection) {
        return;
    }
    HWND combo = Control(m_focus);
    int count = static_cast<int>(SendMessageA(combo, CB_GETCOUNT, 0, 0));
    int at = static_cast<int>(SendMessageA(combo, CB_GETCURSEL, 0, 0));
    int to = std::max(0, std::min(count - 1, at + (delta > 0 ? 1 : -1)));
    if (count > 0 && to != at) {
        Choose(m_dialog, m_focus, to);
        m_scroll = 0;
    }
}

bool PageScreen::Handle(int key) {
    switch (key) {
    case '\t':
        MoveFocus(1);
        break;
    case kKeyBackTab:
        MoveFocus(-1);
        break;
    case kKeyUp:
    case kKeyLeft:
        Step(-1);
        break;
    case kKeyDown:
    case kKeyRight:
        Step(1);
        break;
    case kKeyPageUp:
        if (m_focus == kList) {
            Step(-m_listHeight);
        }
        break;
    case kKeyPageDown:
        if (m_focus == kList) {
            Step(m_listHeight);
        }
        break;
    case '\r':
    case '\n':
    case ' ':
        if (m_focus == kUpdate || m_focus == IDOK || m_focus == IDCANCEL ||
            m_focus == PropertyFrame::kApplyButtonId) {
            Press(m_focus);
        }
        break;
    case 'u':
        Press(kUpdate);
        m_scroll = 0;
        break;
    case 't':
        Focus(kTables);
        break;
    case 'p':
        Focus(kPid);
        break;
    case 'i':
        Focus(kTableId);
        break;
    case 'n':
        Focus(kSection);
        break;
    case 'l':
        Focus(kList);
        break;
    case 'a':
        Press(PropertyFrame::kApplyButtonId);
        break;
    case 'o':
        Press(IDOK);
        break;
    case 'q':
    case 27:
    case -1:
        Press(IDCANCEL);
        if (!m_frame->IsClosed()) {
            m_frame->Close();
        }
        break;
    default:
        break;
    }
    if (!m_frame->IsClosed() && !Usable(m_focus)) {
        MoveFocus(1);
    }
    return !m_frame->IsClosed();
}

Span PageScreen::Styled(int id, const std::string& text) const {
    if (!Usable(id)) {
        return {text, Style::Dim};
    }
    return {text, id == m_focus ? Style::Focus : Style::Normal};
}

Span PageScreen::Combo(int id, size_t width) const {
    std::string text = ComboText(Control(id));
    text.resize(width, ' ');
    return Styled(id, "[" + text + " v]");
}

Span PageScreen::Button(int id) const {
    return Styled(id, "[ " + Plain(TextOf(Control(id))) + " ]");
}

void PageScreen::Draw(const std::string& message, const std::string& caption) {
    const int width = m_terminal->Width();
    const int height = m_terminal->Height();
    std::vector<Line> lines;
    auto text = [](const std::string& t) { return Span{t, Style::Normal}; };
    std::string title = " " + TextOf(m_frame->Window());
    title.resize(static_cast<size_t>(std::max(width, 1)), ' ');
    lines.push_back({{title, Style::Title}});
    lines.push_back({text(" "), {"Service Information", Style::Bold}});
    lines.push_back({});
    auto label = [this, &text](int id) {
        std::string t = Plain(TextOf(GetDlgItem(m_dialog, id)));
        t.resize(15, ' ');
        return text(t);
    };
    lines.push_back(
        {text("  "), label(1007), Combo(kTables, 10), text("    "), label(1023), Combo(kPid, 10)});
    lines.push_back(
        {text("  "), label(1018), Combo(kTableId, 10), text("    "), label(1020), Combo(kSection, 10)});
    lines.push_back({});

    // The list: header, rows from the scroll position, then its end.
    auto rows = ListRows(Control(kList));
    const int col0 = 36;
    const int col1 = std::max(20, width - col0 - 10);
    m_listHeight = std::max(3, height - 16);
    m_scroll = std::max(0, std::min(m_scroll, static_cast<int>(rows.size()) - m_listHeight));
    auto cell = [](std::string t, int w) {
        t.resize(static_cast<size_t>(w), ' ');
        return t;
    };
    std::string rule = "  +" + std::string(static_cast<size_t>(col0 + 2), '-') + "+" +
                       std::string(static_cast<size_t>(col1 + 1), '-') + "+";
    lines.push_back({text(rule)});
    lines.push_back(
        {text("  | "), Styled(kList, cell("Item", col0)), text(" | " + cell("Description", col1) + "|")});
    lines.push_back({text(rule)});
    for (int r = 0; r < m_listHeight; ++r) {
        size_t at = static_cast<size_t>(m_scroll + r);
        bool held = at < rows.size();
        lines.push_back({text("  | " + cell(held ? rows[at].first : "", col0) + " | " +
                              cell(held ? rows[at].second : "", col1) + "|")});
    }
    std::string range;
    if (rows.size() > static_cast<size_t>(m_listHeight)) {
        range = "  rows " + std::to_string(m_scroll + 1) + "-" +
                std::to_string(std::min<size_t>(rows.size(), static_cast<size_t>(m_scroll + m_listHeight))) +
                " of " + std::to_string(rows.size());
    }
    lines.push_back({text(rule + range)});
    lines.push_back({});
    lines.push_back({text("  "), Button(kUpdate), text("          "), Button(IDOK), text(" "),
                     Button(IDCANCEL), text(" "), Button(PropertyFrame::kApplyButtonId)});
    lines.push_back({});
    if (!message.empty()) {
        lines.push_back({text("  "),
                         {" " + caption + " ", Style::Message},
                         text(" " + message + "   "),
                         {"[ OK ]", Style::Focus}});
    } else {
        lines.push_back(
            {text("  "),
             {"Tab move  Up/Down choose or scroll  Enter press  u update  a apply  o OK  q cancel",
              Style::Dim}});
    }
    m_terminal->Show(lines);
}

PageScreen* g_screen = nullptr;

void DrawMessage(const std::string& text, const std::string& caption) {
    if (g_screen != nullptr) {
        g_screen->Draw(text, caption);
    }
}

// The page's dialog: the frame window's child that is a dialog.
HWND FindDialog(HWND frame) {
    for (HWND child = GetWindow(frame, GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT)) {
        if (ClassOf(child) == "#32770") {
            return child;
        }
    }
    return nullptr;
}

int ShowPage(IBaseFilter* filter, bool dump) {
    std::string from;
    PropertyFrame frame([&from](REFCLSID clsid, IPropertyPage** ppPage) {
        return CreateCollector(clsid, IID_IPropertyPage, reinterpret_cast<void**>(ppPage), &from);
    });
    HRESULT hr = frame.Open(filter, L"Korvane Trevasi Filter Properties");
    if (FAILED(hr)) {
        fprintf(stderr, "quenlix: cannot open the property page: %s\n", DescribeHresult(hr).c_str());
        if (!from.empty()) {
            fprintf(stderr, "quenlix: module tried: %s\n", from.c_str());
        }
        return kFailed;
    }
    HWND dialog = FindDialog(frame.Window());
    if (dialog == nullptr) {
        fprintf(stderr, "quenlix: the property page shows no dialog\n");
        return kFailed;
    }
    Presenter presenter;
    presenter.interactive = !dump;
    presenter.draw = DrawMessage;
    QX_MESSAGEBOX_PRESENTER previous = QxSetMessageBoxPresenter(PresentMessage, &presenter);
    if (dump) {
        Dump(stdout, dialog, &presenter);
    } else {
        Terminal terminal;
        std::string why;
        if (!terminal.Enter(&why)) {
            fprintf(stderr, "quenlix: %s\n", why.c_str());
            QxSetMessageBoxPresenter(previous, nullptr);
            frame.Close();
            return kFailed;
        }
        g_terminal = &terminal;
        PageScreen screen(&terminal, &frame, dialog);
        g_screen = &screen;
        screen.Draw();
        for (;;) {
            int key = ReadKey(-1);
            if (!screen.Handle(key)) {
                break;
            }
            screen.Draw();
        }
        g_screen = nullptr;
        g_terminal = nullptr;
        terminal.Leave();
    }
    QxSetMessageBoxPresenter(previous, nullptr);
    frame.Close();
    return kOk;
}

} // namespace

int RunPage(const PageOptions& o) {
    if (!o.dump && (!isatty(STDIN_FILENO) || !isatty(STDOUT_FILENO))) {
        fprintf(stderr, "quenlix: the page needs a terminal; use --dump to print its views\n");
        return qxhost::kScanUsage;
    }
    ComScope com;
    qxhost::ScanSession session;
    int status = OpenInput(session, o.input, o.packetSize);
    if (status == qxhost::kScanOk && (status = BuildGraph(session)) == qxhost::kScanOk) {
        {
            InterruptEndsScan interrupts(&session);
            status = RunScanSession(session);
        }
        if (status != qxhost::kScanSetupError) {
            std::string warning = session.Warning();
            if (!warning.empty()) {
                fprintf(stderr, "quenlix: warning: %s\n", warning.c_str());
            }
            // What was read before a failure part-way is still shown.
            int shown = ShowPage(session.Filter(), o.dump);
            status = shown != qxhost::kScanOk ? shown : status;
        }
    }
    return status;
}

} // namespace quenlix
