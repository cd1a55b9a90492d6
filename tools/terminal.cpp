#include "terminal.h"

#ifdef _WIN32

namespace quenlix {

// No curses on this build: quenlix page --dump still prints every view.
bool Terminal::Enter(std::string* why) {
    *why = "the interactive page is not supported on this build; use quenlix page --dump";
    return false;
}
void Terminal::Leave() {}
int Terminal::Width() const {
    return 80;
}
int Terminal::Height() const {
    return 24;
}
void Terminal::Show(const std::vector<Line>&) {}
int Terminal::ReadKey(int) {
    return kKeyEnd;
}

} // namespace quenlix

#else

#include <curses.h>

#include <cstdio>

namespace quenlix {

namespace {

enum Pair : short { kTitlePair = 1, kFocusPair = 2, kMessagePair = 3 };

attr_t Attributes(Style s, bool colours) {
    switch (s) {
    case Style::Dim:
        return A_DIM;
    case Style::Focus:
        return colours ? COLOR_PAIR(kFocusPair) | A_BOLD : A_REVERSE;
    case Style::Bold:
        return A_BOLD;
    case Style::Title:
        return colours ? COLOR_PAIR(kTitlePair) | A_BOLD : A_REVERSE;
    case Style::Message:
        return colours ? COLOR_PAIR(kMessagePair) | A_BOLD : A_REVERSE;
    case Style::Normal:
        break;
    }
    return A_NORMAL;
}

} // namespace

bool Terminal::Enter(std::string* why) {
    if (m_entered) {
        return true;
    }
    SCREEN* screen = newterm(nullptr, stdout, stdin);
    if (screen == nullptr) {
        *why = "cannot drive this terminal (TERM has no terminfo entry)";
        return false;
    }
    m_screen = screen;
    set_term(screen);
    m_entered = true;
    cbreak();
    noecho();
    nonl(); // Enter arrives as '\r'
    keypad(stdscr, TRUE);
    set_escdelay(50); // a lone Esc closes the page without a noticeable wait
    curs_set(0);
    if (has_colors()) {
        start_color();
        use_default_colors();
        init_pair(kTitlePair, COLOR_WHITE, COLOR_BLUE);
        init_pair(kFocusPair, COLOR_BLACK, COLOR_CYAN);
        init_pair(kMessagePair, COLOR_WHITE, COLOR_RED);
        m_colours = true;
    }
    return true;
}

void Terminal::Leave() {
    if (!m_entered) {
        return;
    }
    endwin();
    delscreen(static_cast<SCREEN*>(m_screen));
    m_screen = nullptr;
    m_entered = false;
}

int Terminal::Width() const {
    return m_entered ? COLS : 80;
}

int Terminal::Height() const {
    return m_entered ? LINES : 24;
}

void Terminal::Show(const std::vector<Line>& lines) {
    erase();
    int row = 0;
    for (const Line& line : lines) {
        if (row >= LINES) {
            break;
        }
        move(row, 0);
        int column = 0;
        for (const Span& s : line) {
            if (column >= COLS) {
                break;
            }
            attrset(Attributes(s.style, m_colours));
            int n = static_cast<int>(s.text.size());
            addnstr(s.text.c_str(), n < COLS - column ? n : COLS - column);
            column += n;
        }
        attrset(A_NORMAL);
        ++row;
    }
    refresh();
}

int Terminal::ReadKey(int timeoutMs) {
    timeout(timeoutMs);
    int c = getch();
    switch (c) {
    case ERR:
        return timeoutMs < 0 ? kKeyEnd : kKeyTimeout;
    case KEY_UP:
        return kKeyUp;
    case KEY_DOWN:
        return kKeyDown;
    case KEY_LEFT:
        return kKeyLeft;
    case KEY_RIGHT:
        return kKeyRight;
    case KEY_PPAGE:
        return kKeyPageUp;
    case KEY_NPAGE:
        return kKeyPageDown;
    case KEY_BTAB:
        return kKeyBackTab;
    case KEY_RESIZE:
        return kKeyResize;
    case KEY_ENTER:
        return '\r';
    default:
        return c >= 0 && c < 256 ? c : 0;
    }
}

} // namespace quenlix

#endif
