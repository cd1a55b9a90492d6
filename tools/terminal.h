// The terminal under quenlix page: ncurses draws lines of styled text, reads keys and follows the
// window's size. It knows nothing of what the page shows.
#pragma once
#include <string>
#include <vector>

namespace quenlix {

enum Key : int {
    kKeyEnd = -1,     // end of input
    kKeyTimeout = -2, // nothing within the time
    kKeyUp = 1000,
    kKeyDown,
    kKeyLeft,
    kKeyRight,
    kKeyPageUp,
    kKeyPageDown,
    kKeyBackTab,
    kKeyResize, // the window changed size: draw again
};

enum class Style { Normal, Dim, Focus, Bold, Title, Message };

struct Span {
    std::string text;
    Style style = Style::Normal;
};
using Line = std::vector<Span>;

class Terminal {
public:
    Terminal() = default;
    ~Terminal() { Leave(); }
    Terminal(const Terminal&) = delete;
    Terminal& operator=(const Terminal&) = delete;

    // False (with *why) when the terminal cannot be driven, e.g. no terminfo entry for $TERM.
    bool Enter(std::string* why);
    void Leave();

    int Width() const;
    int Height() const;
    // Replaces the screen's contents; lines beyond the window are cut.
    void Show(const std::vector<Line>& lines);
    // A key, kKeyEnd or kKeyTimeout; timeoutMs < 0 waits.
    int ReadKey(int timeoutMs);

private:
    bool m_entered = false;
    bool m_colours = false;
    void* m_screen = nullptr; // SCREEN*
};

} // namespace quenlix
