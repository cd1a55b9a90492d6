// The dialog and title string registered as data agree with the resource script that the Windows
// build compiles, item for item.
#include <gtest/gtest.h>

#include <commctrl.h>
#include <qxuser.h>
#include <winuser.h>

#include "propertypage/PageResources.h"
#include "propertypage/resource.h"

#include <fstream>
#include <map>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

namespace {

std::string SourceFile(const std::string& relative) {
    std::ifstream in(std::string(QX_SOURCE_DIR) + "/" + relative);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// The symbols a script may use: the page's identifiers from resource.h and the SDK's style names.
std::map<std::string, long> Symbols() {
    std::map<std::string, long> s = {
        {"WS_CHILD", WS_CHILD},
        {"WS_VISIBLE", WS_VISIBLE},
        {"WS_BORDER", WS_BORDER},
        {"WS_GROUP", WS_GROUP},
        {"WS_TABSTOP", WS_TABSTOP},
        {"WS_VSCROLL", WS_VSCROLL},
        {"DS_SETFONT", DS_SETFONT},
        {"SS_LEFT", SS_LEFT},
        {"CBS_DROPDOWNLIST", CBS_DROPDOWNLIST},
        {"LVS_REPORT", LVS_REPORT},
        {"BS_PUSHBUTTON", BS_PUSHBUTTON},
    };
    std::regex define(R"(#define\s+(\w+)\s+(\d+))");
    std::string header = SourceFile("propertypage/resource.h");
    for (std::sregex_iterator it(header.begin(), header.end(), define), end; it != end; ++it) {
        s[(*it)[1]] = std::stol((*it)[2]);
    }
    return s;
}

long Evaluate(const std::string& expression, const std::map<std::string, long>& symbols) {
    long value = 0;
    std::regex term(R"([A-Za-z_]\w*|\d+)");
    for (std::sregex_iterator it(expression.begin(), expression.end(), term), end; it != end; ++it) {
        std::string t = it->str();
        if (std::isdigit(static_cast<unsigned char>(t[0]))) {
            value |= std::stol(t);
        } else {
            auto found = symbols.find(t);
            EXPECT_NE(found, symbols.end()) << "unknown symbol " << t;
            if (found != symbols.end()) {
                value |= found->second;
            }
        }
    }
    return value;
}

TEST(PageResources, RegisteredDialogMatchesTheResourceScript) {
    ASSERT_TRUE(RegisterPageResources(nullptr));
    const QX_DIALOG* dialog = QxFindDialog(nullptr, MAKEINTRESOURCEA(IDD_SERVICE_INFORMATION));
    ASSERT_NE(dialog, nullptr);
    std::map<std::string, long> symbols = Symbols();
    std::string script = SourceFile("propertypage/TableCollectorPropertyPage.rc");
    ASSERT_FALSE(script.empty());

    std::smatch m;
    ASSERT_TRUE(
        std::regex_search(script, m, std::regex(R"((\w+)\s+DIALOG\s+(\d+),\s*(\d+),\s*(\d+),\s*(\d+))")));
    EXPECT_EQ(symbols.at(m[1]), IDD_SERVICE_INFORMATION);
    EXPECT_EQ(dialog->x, std::stol(m[2]));
    EXPECT_EQ(dialog->y, std::stol(m[3]));
    EXPECT_EQ(dialog->cx, std::stol(m[4]));
    EXPECT_EQ(dialog->cy, std::stol(m[5]));
    ASSERT_TRUE(std::regex_search(script, m, std::regex(R"(\nSTYLE\s+([^\n]+))")));
    EXPECT_EQ(static_cast<long>(dialog->style), Evaluate(m[1], symbols));
    ASSERT_TRUE(std::regex_search(script, m, std::regex(R"(\nFONT\s+(\d+),\s*"([^"]*)\")")));
    EXPECT_EQ(dialog->pointSize, std::stol(m[1]));
    EXPECT_STREQ(dialog->typeface, m[2].str().c_str());
    EXPECT_EQ(dialog->pointSize, 8);
    EXPECT_STREQ(dialog->typeface, "MS Sans Serif");

    // CONTROL "text", id, "class", style, x, y, cx, cy; the compiler adds WS_CHILD | WS_VISIBLE.
    std::regex control(
        R"re(CONTROL\s+"([^"]*)",\s*(\w+),\s*"(\w+)",\s*([^,]+),\s*(\d+),\s*(\d+),\s*(\d+),\s*(\d+))re");
    size_t i = 0;
    for (std::sregex_iterator it(script.begin(), script.end(), control), end; it != end; ++it, ++i) {
        const std::smatch& c = *it;
        ASSERT_LT(i, dialog->itemCount);
        const QX_DIALOG_ITEM& item = dialog->items[i];
        SCOPED_TRACE(c[2].str());
        EXPECT_STREQ(item.text, c[1].str().c_str());
        EXPECT_EQ(item.id, symbols.at(c[2]));
        EXPECT_STREQ(item.className, c[3].str().c_str());
        EXPECT_EQ(static_cast<long>(item.style), Evaluate(c[4], symbols) | WS_CHILD | WS_VISIBLE);
        EXPECT_EQ(item.x, std::stol(c[5]));
        EXPECT_EQ(item.y, std::stol(c[6]));
        EXPECT_EQ(item.cx, std::stol(c[7]));
        EXPECT_EQ(item.cy, std::stol(c[8]));
        EXPECT_EQ(item.exStyle, 0u);
    }
    EXPECT_EQ(i, dialog->itemCount);
    EXPECT_EQ(i, 10u);

    // The title string, both ways.
    ASSERT_TRUE(std::regex_search(script, m, std::regex(R"((\w+)\s+"([^"]*)\"\s*\nEND)")));
    EXPECT_EQ(symbols.at(m[1]), IDS_SERVICE_INFORMATION_TITLE);
    char title[64] = {};
    ASSERT_GT(LoadStringA(nullptr, IDS_SERVICE_INFORMATION_TITLE, title, sizeof title), 0);
    EXPECT_EQ(m[2].str(), title);
    EXPECT_STREQ(title, "Service Information");
}

} // namespace
