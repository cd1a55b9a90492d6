// Reads the dialogs and string tables of a resource script the way the resource compiler does, so that a
// test can hold what a module registers on this host against the .rc file it is built with on Windows.
#include <windows.h>
#include <commctrl.h>
#include <qxuser.h>

#include "testhooks.h"

#include <cctype>
#include <cstdlib>
#include <map>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

struct ScriptItem {
    DWORD id = 0;
    std::string className, text;
    long x = 0, y = 0, cx = 0, cy = 0;
    DWORD style = 0, exStyle = 0;
};

struct ScriptDialog {
    std::string name;
    DWORD style = 0, exStyle = 0;
    long x = 0, y = 0, cx = 0, cy = 0;
    std::string caption, typeface;
    long pointSize = 0;
    std::vector<ScriptItem> items;
};

struct Token {
    enum Kind { Word, Number, String, Punct, End } kind;
    std::string text;
    long long value;
};

// The SDK names a dialog script uses for its styles.
const std::map<std::string, long long>& StyleNames() {
    static const std::map<std::string, long long> names = {
        {"WS_OVERLAPPED", WS_OVERLAPPED},
        {"WS_POPUP", WS_POPUP},
        {"WS_CHILD", WS_CHILD},
        {"WS_MINIMIZE", WS_MINIMIZE},
        {"WS_VISIBLE", WS_VISIBLE},
        {"WS_DISABLED", WS_DISABLED},
        {"WS_CLIPSIBLINGS", WS_CLIPSIBLINGS},
        {"WS_CLIPCHILDREN", WS_CLIPCHILDREN},
        {"WS_MAXIMIZE", WS_MAXIMIZE},
        {"WS_CAPTION", WS_CAPTION},
        {"WS_BORDER", WS_BORDER},
        {"WS_DLGFRAME", WS_DLGFRAME},
        {"WS_VSCROLL", WS_VSCROLL},
        {"WS_HSCROLL", WS_HSCROLL},
        {"WS_SYSMENU", WS_SYSMENU},
        {"WS_THICKFRAME", WS_THICKFRAME},
        {"WS_GROUP", WS_GROUP},
        {"WS_TABSTOP", WS_TABSTOP},
        {"WS_MINIMIZEBOX", WS_MINIMIZEBOX},
        {"WS_MAXIMIZEBOX", WS_MAXIMIZEBOX},
        {"WS_EX_NOPARENTNOTIFY", WS_EX_NOPARENTNOTIFY},
        {"WS_EX_CLIENTEDGE", WS_EX_CLIENTEDGE},
        {"WS_EX_STATICEDGE", WS_EX_STATICEDGE},
        {"WS_EX_CONTROLPARENT", WS_EX_CONTROLPARENT},
        {"WS_EX_TRANSPARENT", WS_EX_TRANSPARENT},
        {"WS_EX_TOOLWINDOW", WS_EX_TOOLWINDOW},
        {"DS_ABSALIGN", DS_ABSALIGN},
        {"DS_SYSMODAL", DS_SYSMODAL},
        {"DS_3DLOOK", DS_3DLOOK},
        {"DS_FIXEDSYS", DS_FIXEDSYS},
        {"DS_NOFAILCREATE", DS_NOFAILCREATE},
        {"DS_LOCALEDIT", DS_LOCALEDIT},
        {"DS_SETFONT", DS_SETFONT},
        {"DS_MODALFRAME", DS_MODALFRAME},
        {"DS_NOIDLEMSG", DS_NOIDLEMSG},
        {"DS_SETFOREGROUND", DS_SETFOREGROUND},
        {"DS_CONTROL", DS_CONTROL},
        {"DS_CENTER", DS_CENTER},
        {"DS_CENTERMOUSE", DS_CENTERMOUSE},
        {"DS_CONTEXTHELP", DS_CONTEXTHELP},
        {"DS_SHELLFONT", DS_SHELLFONT},
        {"SS_LEFT", SS_LEFT},
        {"SS_CENTER", SS_CENTER},
        {"SS_RIGHT", SS_RIGHT},
        {"SS_SIMPLE", SS_SIMPLE},
        {"SS_LEFTNOWORDWRAP", SS_LEFTNOWORDWRAP},
        {"SS_NOPREFIX", SS_NOPREFIX},
        {"SS_NOTIFY", SS_NOTIFY},
        {"SS_ICON", 0x3},
        {"BS_PUSHBUTTON", BS_PUSHBUTTON},
        {"BS_DEFPUSHBUTTON", BS_DEFPUSHBUTTON},
        {"BS_CHECKBOX", BS_CHECKBOX},
        {"BS_AUTOCHECKBOX", BS_AUTOCHECKBOX},
        {"BS_RADIOBUTTON", BS_RADIOBUTTON},
        {"BS_3STATE", BS_3STATE},
        {"BS_AUTO3STATE", BS_AUTO3STATE},
        {"BS_GROUPBOX", BS_GROUPBOX},
        {"BS_AUTORADIOBUTTON", BS_AUTORADIOBUTTON},
        {"BS_NOTIFY", BS_NOTIFY},
        {"ES_LEFT", ES_LEFT},
        {"ES_MULTILINE", ES_MULTILINE},
        {"ES_AUTOHSCROLL", ES_AUTOHSCROLL},
        {"ES_READONLY", ES_READONLY},
        {"CBS_SIMPLE", CBS_SIMPLE},
        {"CBS_DROPDOWN", CBS_DROPDOWN},
        {"CBS_DROPDOWNLIST", CBS_DROPDOWNLIST},
        {"CBS_OWNERDRAWFIXED", CBS_OWNERDRAWFIXED},
        {"CBS_OWNERDRAWVARIABLE", CBS_OWNERDRAWVARIABLE},
        {"CBS_AUTOHSCROLL", CBS_AUTOHSCROLL},
        {"CBS_OEMCONVERT", CBS_OEMCONVERT},
        {"CBS_SORT", CBS_SORT},
        {"CBS_HASSTRINGS", CBS_HASSTRINGS},
        {"CBS_NOINTEGRALHEIGHT", CBS_NOINTEGRALHEIGHT},
        {"CBS_DISABLENOSCROLL", CBS_DISABLENOSCROLL},
        {"CBS_UPPERCASE", CBS_UPPERCASE},
        {"CBS_LOWERCASE", CBS_LOWERCASE},
        {"LBS_NOTIFY", 0x1},
        {"LVS_ICON", LVS_ICON},
        {"LVS_REPORT", LVS_REPORT},
        {"LVS_SMALLICON", LVS_SMALLICON},
        {"LVS_LIST", LVS_LIST},
        {"LVS_SINGLESEL", LVS_SINGLESEL},
        {"LVS_SHOWSELALWAYS", LVS_SHOWSELALWAYS},
        {"LVS_SORTASCENDING", LVS_SORTASCENDING},
        {"LVS_SORTDESCENDING", LVS_SORTDESCENDING},
        {"LVS_SHAREIMAGELISTS", LVS_SHAREIMAGELISTS},
        {"LVS_NOLABELWRAP", LVS_NOLABELWRAP},
        {"LVS_AUTOARRANGE", LVS_AUTOARRANGE},
        {"LVS_EDITLABELS", LVS_EDITLABELS},
        {"LVS_OWNERDATA", LVS_OWNERDATA},
        {"LVS_NOSCROLL", LVS_NOSCROLL},
        {"LVS_ALIGNLEFT", LVS_ALIGNLEFT},
        {"LVS_NOCOLUMNHEADER", LVS_NOCOLUMNHEADER},
        {"LVS_NOSORTHEADER", LVS_NOSORTHEADER},
        {"IDOK", IDOK},
        {"IDCANCEL", IDCANCEL},
        {"IDC_STATIC", -1},
    };
    return names;
}

struct ControlKind {
    const char* className;
    DWORD defaultStyle;
    bool hasText;
};

// Each statement's class and default style; a stated style is added to the default (NOT takes bits away),
// and every control is a visible child.
const std::map<std::string, ControlKind>& ControlKinds() {
    static const std::map<std::string, ControlKind> kinds = {
        {"LTEXT", {"Static", SS_LEFT | WS_GROUP, true}},
        {"RTEXT", {"Static", SS_RIGHT | WS_GROUP, true}},
        {"CTEXT", {"Static", SS_CENTER | WS_GROUP, true}},
        {"ICON", {"Static", 0x3, true}},
        {"PUSHBUTTON", {"Button", BS_PUSHBUTTON | WS_TABSTOP, true}},
        {"DEFPUSHBUTTON", {"Button", BS_DEFPUSHBUTTON | WS_TABSTOP, true}},
        {"GROUPBOX", {"Button", BS_GROUPBOX, true}},
        {"CHECKBOX", {"Button", BS_CHECKBOX | WS_TABSTOP, true}},
        {"AUTOCHECKBOX", {"Button", BS_AUTOCHECKBOX | WS_TABSTOP, true}},
        {"RADIOBUTTON", {"Button", BS_RADIOBUTTON, true}},
        {"AUTORADIOBUTTON", {"Button", BS_AUTORADIOBUTTON, true}},
        {"STATE3", {"Button", BS_3STATE | WS_TABSTOP, true}},
        {"AUTO3STATE", {"Button", BS_AUTO3STATE | WS_TABSTOP, true}},
        {"EDITTEXT", {"Edit", ES_LEFT | WS_BORDER | WS_TABSTOP, false}},
        {"COMBOBOX", {"ComboBox", CBS_SIMPLE | WS_TABSTOP, false}},
        {"LISTBOX", {"ListBox", 0x1 | WS_BORDER, false}},
        {"SCROLLBAR", {"ScrollBar", 0, false}},
    };
    return kinds;
}

std::string Upper(std::string s) {
    for (char& c : s) {
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    return s;
}

class Script {
public:
    Script(const std::string& text, std::map<std::string, long long>& defines) : defines_(defines) {
        Tokenize(text);
    }

    void Read(std::vector<ScriptDialog>& dialogs, std::map<long long, std::string>& strings) {
        while (Peek().kind != Token::End) {
            Tok first = Next();
            std::string head = Upper(first.text);
            if (first.kind == Token::Word && head == "STRINGTABLE") {
                SkipOptionsToBlock();
                while (!AtBlockEnd()) {
                    long long id = Value();
                    if (Peek().text == ",") {
                        Next();
                    }
                    strings[id] = Expect(Token::String).text;
                }
                Next();
                continue;
            }
            if (first.kind == Token::Word && head == "LANGUAGE") {
                SkipLine(first.line); // names of <winnt.h> this reader has no use for
                continue;
            }
            Tok type = Next();
            std::string kind = Upper(type.text);
            if (kind == "DIALOG" || kind == "DIALOGEX") {
                dialogs.push_back(ReadDialog(first, kind == "DIALOGEX"));
            } else if (kind == "VERSIONINFO" || kind == "MENU" || kind == "MENUEX" ||
                       kind == "ACCELERATORS" || kind == "DESIGNINFO" || kind == "TEXTINCLUDE") {
                SkipOptionsToBlock();
                SkipBlock();
            } else {
                // A resource from a file, or one with a block of data (RCDATA, AFX_DIALOG_LAYOUT).
                SkipLine(type.line);
                if (AtBlockStart()) {
                    Next();
                    SkipBlock();
                }
            }
        }
    }

private:
    struct Tok : Token {
        int line;
    };

    void Tokenize(const std::string& text) {
        size_t i = 0;
        int line = 1;
        bool lineStart = true;
        while (i < text.size()) {
            char c = text[i];
            if (c == '\n') {
                ++line;
                lineStart = true;
                ++i;
                continue;
            }
            if (std::isspace(static_cast<unsigned char>(c))) {
                ++i;
                continue;
            }
            if (text.compare(i, 2, "//") == 0) {
                i = text.find('\n', i);
                i = i == std::string::npos ? text.size() : i;
                continue;
            }
            if (text.compare(i, 2, "/*") == 0) {
                size_t end = text.find("*/", i + 2);
                for (size_t k = i; k < (end == std::string::npos ? text.size() : end); ++k) {
                    line += text[k] == '\n' ? 1 : 0;
                }
                i = end == std::string::npos ? text.size() : end + 2;
                continue;
            }
            if (c == '#' && lineStart) {
                size_t end = text.find('\n', i);
                std::istringstream directive(
                    text.substr(i + 1, end == std::string::npos ? std::string::npos : end - i - 1));
                std::string word, name, value;
                directive >> word >> name;
                std::getline(directive, value);
                if (word == "define" && !name.empty()) {
                    Script inner(value, defines_);
                    try {
                        defines_[name] = inner.Value();
                    } catch (const std::runtime_error&) {
                        // A define that is no number (a string, a macro) is no style or identifier.
                    }
                }
                i = end == std::string::npos ? text.size() : end;
                continue;
            }
            lineStart = false;
            Tok t{};
            t.line = line;
            if (c == '"') {
                t.kind = Token::String;
                for (++i; i < text.size(); ++i) {
                    if (text[i] == '"') {
                        if (i + 1 < text.size() && text[i + 1] == '"') {
                            t.text += '"';
                            ++i;
                            continue;
                        }
                        break;
                    }
                    if (text[i] == '\\' && i + 1 < text.size()) {
                        char e = text[++i];
                        t.text += e == 'n' ? '\n' : e == 't' ? '\t' : e;
                        continue;
                    }
                    t.text += text[i];
                }
                ++i;
            } else if (std::isdigit(static_cast<unsigned char>(c))) {
                t.kind = Token::Number;
                char* end;
                t.value = std::strtoll(text.c_str() + i, &end, 0);
                i = static_cast<size_t>(end - text.c_str());
                while (i < text.size() &&
                       (text[i] == 'L' || text[i] == 'l' || text[i] == 'U' || text[i] == 'u')) {
                    ++i;
                }
            } else if (std::isalpha(static_cast<unsigned char>(c)) || c == '_') {
                t.kind = Token::Word;
                while (i < text.size() &&
                       (std::isalnum(static_cast<unsigned char>(text[i])) || text[i] == '_')) {
                    t.text += text[i++];
                }
            } else {
                t.kind = Token::Punct;
                t.text = std::string(1, c);
                ++i;
            }
            tokens_.push_back(t);
        }
    }

    const Tok& Peek() {
        static const Tok end{{Token::End, "", 0}, 0};
        return pos_ < tokens_.size() ? tokens_[pos_] : end;
    }
    Tok Next() {
        Tok t = Peek();
        if (pos_ < tokens_.size()) {
            ++pos_;
        }
        return t;
    }
    [[noreturn]] void Fail(const std::string& what) {
        throw std::runtime_error("line " + std::to_string(Peek().line) + ": " + what);
    }
    Tok Expect(Token::Kind kind) {
        if (Peek().kind != kind) {
            Fail("unexpected '" + Peek().text + "'");
        }
        return Next();
    }
    void Expect(const char* punct) {
        if (Peek().text != punct) {
            Fail(std::string("expected '") + punct + "' before '" + Peek().text + "'");
        }
        Next();
    }
    bool AtBlockStart() { return Peek().text == "{" || Upper(Peek().text) == "BEGIN"; }
    bool AtBlockEnd() {
        if (Peek().kind == Token::End) {
            Fail("missing END");
        }
        return Peek().text == "}" || Upper(Peek().text) == "END";
    }
    void SkipOptionsToBlock() {
        while (!AtBlockStart()) {
            if (Peek().kind == Token::End) {
                Fail("missing BEGIN");
            }
            Next();
        }
        Next();
    }
    void SkipBlock() {
        for (int depth = 1; depth > 0;) {
            if (AtBlockStart()) {
                ++depth;
            } else if (AtBlockEnd()) {
                --depth;
            }
            Next();
        }
    }
    void SkipLine(int line) {
        while (Peek().kind != Token::End && Peek().line == line) {
            Next();
        }
    }

    long long Primary() {
        Tok t = Next();
        if (t.text == "(") {
            long long v = Value();
            Expect(")");
            return v;
        }
        if (t.text == "-") {
            return -Primary();
        }
        if (t.kind == Token::Number) {
            return t.value;
        }
        if (t.kind == Token::Word) {
            auto d = defines_.find(t.text);
            if (d != defines_.end()) {
                return d->second;
            }
            auto s = StyleNames().find(t.text);
            if (s != StyleNames().end()) {
                return s->second;
            }
            Fail("unknown name " + t.text);
        }
        Fail("expected a value before '" + t.text + "'");
    }

    // A style expression: terms joined by | or +; NOT term takes its bits away from what is there.
    long long Value(long long start = 0) {
        long long value = start;
        bool first = true;
        for (;;) {
            bool negate = Upper(Peek().text) == "NOT";
            if (negate) {
                Next();
            }
            long long term = Primary();
            if (negate) {
                value &= ~term;
            } else {
                value = first && start == 0 ? term : (value | term);
            }
            first = false;
            if (Peek().text != "|" && Peek().text != "+") {
                return value;
            }
            Next();
        }
    }

    long Number() { return static_cast<long>(Value()); }

    ScriptDialog ReadDialog(const Tok& name, bool extended) {
        ScriptDialog d;
        d.name = name.kind == Token::Number ? "#" + std::to_string(name.value) : Upper(name.text);
        if (name.kind == Token::Word && defines_.count(name.text) != 0) {
            d.name = "#" + std::to_string(defines_[name.text]);
        }
        // Memory options (DISCARDABLE, MOVEABLE, ...) may precede the rectangle.
        while (Peek().kind == Token::Word && defines_.count(Peek().text) == 0) {
            Next();
        }
        d.x = Number();
        Expect(",");
        d.y = Number();
        Expect(",");
        d.cx = Number();
        Expect(",");
        d.cy = Number();
        if (extended && Peek().text == ",") {
            Next();
            Value(); // help id
        }
        bool styled = false;
        DWORD added = 0;
        while (!AtBlockStart()) {
            std::string option = Upper(Expect(Token::Word).text);
            if (option == "STYLE") {
                d.style = static_cast<DWORD>(Value());
                styled = true;
            } else if (option == "EXSTYLE") {
                d.exStyle = static_cast<DWORD>(Value());
            } else if (option == "CAPTION") {
                d.caption = Expect(Token::String).text;
                added |= WS_CAPTION;
            } else if (option == "FONT") {
                d.pointSize = Number();
                Expect(",");
                d.typeface = Expect(Token::String).text;
                while (Peek().text == ",") { // weight, italic, character set
                    Next();
                    Value();
                }
                added |= DS_SETFONT;
            } else if (option == "LANGUAGE") {
                SkipLine(Peek().line);
            } else if (option == "CHARACTERISTICS" || option == "VERSION" || option == "MENU" ||
                       option == "CLASS") {
                Next();
            } else {
                Fail("unknown dialog option " + option);
            }
        }
        if (!styled) {
            d.style = WS_POPUP | WS_BORDER | WS_SYSMENU;
        }
        d.style |= added;
        Next();
        while (!AtBlockEnd()) {
            d.items.push_back(ReadControl(extended));
        }
        Next();
        return d;
    }

    ScriptItem ReadControl(bool extended) {
        ScriptItem item;
        std::string statement = Upper(Expect(Token::Word).text);
        auto ReadText = [&] {
            if (Peek().kind == Token::String) {
                item.text = Next().text;
            } else {
                Value(); // an icon's resource identifier
            }
            Expect(",");
        };
        auto ReadRect = [&] {
            item.x = Number();
            Expect(",");
            item.y = Number();
            Expect(",");
            item.cx = Number();
            Expect(",");
            item.cy = Number();
        };
        if (statement == "CONTROL") {
            ReadText();
            item.id = static_cast<DWORD>(Value());
            Expect(",");
            Tok cls = Next();
            std::string upper = Upper(cls.text);
            for (const auto& known : {"Button", "Static", "Edit", "ComboBox", "ListBox", "ScrollBar"}) {
                if (upper == Upper(known)) {
                    cls.text = known;
                }
            }
            item.className = upper == "WC_LISTVIEW" || upper == "WC_LISTVIEWA" ? WC_LISTVIEWA : cls.text;
            Expect(",");
            item.style = static_cast<DWORD>(Value(WS_CHILD | WS_VISIBLE));
            Expect(",");
            ReadRect();
            if (Peek().text == ",") {
                Next();
                item.exStyle = static_cast<DWORD>(Value());
            }
        } else {
            auto kind = ControlKinds().find(statement);
            if (kind == ControlKinds().end()) {
                Fail("unknown control statement " + statement);
            }
            item.className = kind->second.className;
            if (kind->second.hasText) {
                ReadText();
            }
            item.id = static_cast<DWORD>(Value());
            Expect(",");
            ReadRect();
            item.style = WS_CHILD | WS_VISIBLE | kind->second.defaultStyle;
            if (Peek().text == ",") {
                Next();
                item.style = static_cast<DWORD>(Value(item.style));
                if (Peek().text == ",") {
                    Next();
                    item.exStyle = static_cast<DWORD>(Value());
                }
            }
        }
        if (extended && Peek().text == ",") { // DIALOGEX controls may end with a help id
            Next();
            Value();
        }
        // Identifiers are 16-bit in a template: IDC_STATIC (-1) is 0xFFFF.
        item.id &= 0xFFFF;
        return item;
    }

    std::map<std::string, long long>& defines_;
    std::vector<Tok> tokens_;
    size_t pos_ = 0;
};

template <typename A, typename B>
void Differ(std::ostringstream& out, const std::string& where, const A& script, const B& registered) {
    if (!(script == registered)) {
        out << where << ": script " << script << ", registered " << registered << "\n";
    }
}

} // namespace

std::string ResourceScriptMismatch(HINSTANCE module, const std::string& script, const std::string& defines) {
    std::vector<ScriptDialog> dialogs;
    std::map<long long, std::string> strings;
    std::map<std::string, long long> names;
    try {
        std::vector<ScriptDialog> none;
        std::map<long long, std::string> noStrings;
        Script(defines, names).Read(none, noStrings);
        Script(script, names).Read(dialogs, strings);
    } catch (const std::runtime_error& e) {
        return std::string("resource script: ") + e.what() + "\n";
    }
    std::ostringstream out;
    for (const ScriptDialog& d : dialogs) {
        const QX_DIALOG* r = QxFindDialog(module, d.name.c_str());
        if (r == nullptr) {
            out << "dialog " << d.name << ": not registered\n";
            continue;
        }
        std::string at = "dialog " + d.name;
        Differ(out, at + " style", d.style, r->style);
        Differ(out, at + " exstyle", d.exStyle, r->exStyle);
        Differ(out, at + " rectangle",
               std::to_string(d.x) + "," + std::to_string(d.y) + "," + std::to_string(d.cx) + "," +
                   std::to_string(d.cy),
               std::to_string(r->x) + "," + std::to_string(r->y) + "," + std::to_string(r->cx) + "," +
                   std::to_string(r->cy));
        Differ(out, at + " caption", d.caption, std::string(r->caption));
        if ((d.style & DS_SETFONT) != 0) {
            Differ(out, at + " font size", d.pointSize, static_cast<long>(r->pointSize));
            Differ(out, at + " typeface", d.typeface, std::string(r->typeface));
        }
        Differ(out, at + " controls", d.items.size(), static_cast<size_t>(r->itemCount));
        for (size_t i = 0; i < d.items.size() && i < r->itemCount; ++i) {
            const ScriptItem& s = d.items[i];
            const QX_DIALOG_ITEM& c = r->items[i];
            std::string place = at + " control " + std::to_string(i) + " (" + std::to_string(s.id) + ")";
            Differ(out, place + " id", s.id, static_cast<DWORD>(c.id));
            Differ(out, place + " class", Upper(s.className), Upper(c.className));
            Differ(out, place + " text", s.text, std::string(c.text != nullptr ? c.text : ""));
            Differ(out, place + " rectangle",
                   std::to_string(s.x) + "," + std::to_string(s.y) + "," + std::to_string(s.cx) + "," +
                       std::to_string(s.cy),
                   std::to_string(c.x) + "," + std::to_string(c.y) + "," + std::to_string(c.cx) + "," +
                       std::to_string(c.cy));
            Differ(out, place + " style", s.style, c.style);
            Differ(out, place + " exstyle", s.exStyle, c.exStyle);
        }
    }
    for (const auto& [id, text] : strings) {
        char buffer[4096];
        int n = LoadStringA(module, static_cast<UINT>(id), buffer, sizeof(buffer));
        Differ(out, "string " + std::to_string(id), text, std::string(buffer, static_cast<size_t>(n)));
    }
    return out.str();
}
