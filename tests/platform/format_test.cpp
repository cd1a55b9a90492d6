// wsprintf with the Win32 format subset, and code-page conversion.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>

#include <string>

namespace {

std::string Format(const char* format, ...) {
    char buffer[1024];
    std::memset(buffer, 'Z', sizeof buffer);
    va_list args;
    va_start(args, format);
    int n = wvsprintfA(buffer, format, args);
    va_end(args);
    EXPECT_EQ(n, lstrlenA(buffer)) << "the answer counts what was written, terminator excluded";
    return buffer;
}

TEST(WsprintfTest, IntegerConversions) {
    EXPECT_EQ(Format("%d|%i|%u", -42, 17, 42u), "-42|17|42");
    EXPECT_EQ(Format("%x|%X", 0xBEEFu, 0xBEEFu), "beef|BEEF");
    EXPECT_EQ(Format("%u|%x", static_cast<DWORD>(-1), -1), "4294967295|ffffffff");
    EXPECT_EQ(Format("%d", static_cast<int>(0x80000000u)), "-2147483648");
    // l names Windows' 32-bit long: LONG and DWORD arguments, as the system's code passes them.
    EXPECT_EQ(Format("%ld|%lu|%lx|%lX", static_cast<LONG>(-7), static_cast<DWORD>(3000000000u),
                     static_cast<DWORD>(0x1FFB), static_cast<DWORD>(0xABCDEF01)),
              "-7|3000000000|1ffb|ABCDEF01");
    EXPECT_EQ(Format("%hd|%hu", 0x1FFFF, 0x1FFFF), "-1|65535");
}

TEST(WsprintfTest, FlagsWidthAndPrecision) {
    EXPECT_EQ(Format("[%5d][%-5d][%05d]", 42, 42, 42), "[   42][42   ][00042]");
    EXPECT_EQ(Format("[%05d][%-05d]", -42, -42), "[-0042][-42  ]");
    EXPECT_EQ(Format("%#x|%#X|%#x", 255, 255, 0), "0xff|0XFF|0");
    EXPECT_EQ(Format("%#06x", 255), "0x00ff");
    EXPECT_EQ(Format("PID 0x%04lX", static_cast<DWORD>(0x11)), "PID 0x0011");
    EXPECT_EQ(Format("[%.3d][%6.3d]", 7, 7), "[007][   007]");
    EXPECT_EQ(Format("[%6s][%-6s][%.2s][%-4.1s]", "abc", "abc", "abc", "abc"), "[   abc][abc   ][ab][a   ]");
    EXPECT_EQ(Format("[%3c][%-3c]", 'x', 'y'), "[  x][y  ]");
}

TEST(WsprintfTest, LiteralsNullsAndUnknownConversions) {
    EXPECT_EQ(Format("100%%"), "100%");
    EXPECT_EQ(Format("%s", static_cast<const char*>(nullptr)), "(null)");
    EXPECT_EQ(Format("%f|%q", 1), "f|q") << "a percent sign before an unknown character writes the character";
    EXPECT_EQ(Format("ends with %"), "ends with ");
    EXPECT_EQ(Format("ERROR : Invalid sample"), "ERROR : Invalid sample");
}

TEST(WsprintfTest, OutputStopsAt1024CharactersWithTerminator) {
    std::string longText(3000, 'a');
    char buffer[1100];
    std::memset(buffer, 'Z', sizeof buffer);
    EXPECT_EQ(wsprintfA(buffer, "%s%d", longText.c_str(), 5), 1023);
    EXPECT_EQ(buffer[1023], '\0');
    EXPECT_EQ(buffer[1024], 'Z') << "nothing is written past the cap";

    std::memset(buffer, 'Z', sizeof buffer);
    EXPECT_EQ(wsprintfA(buffer, "%1020s%d", "x", 123456), 1023);
    EXPECT_EQ(std::string(buffer + 1019, 4), "x123");
}

TEST(CodePageTest, AnsiIsUtf8BothWays) {
    const char* path = "/opt/m\xc3\xbcnchen/quenlix.ax"; // "münchen"
    int needed = MultiByteToWideChar(CP_ACP, 0, path, -1, nullptr, 0);
    ASSERT_EQ(needed, 24) << "characters, terminator included";
    WCHAR wide[MAX_PATH];
    ASSERT_EQ(MultiByteToWideChar(CP_ACP, MB_PRECOMPOSED, path, -1, wide, MAX_PATH), 24);
    EXPECT_STREQ(wide, L"/opt/m\x00fcnchen/quenlix.ax");

    char back[MAX_PATH];
    ASSERT_EQ(WideCharToMultiByte(CP_ACP, 0, wide, -1, back, sizeof back, nullptr, nullptr), 25);
    EXPECT_STREQ(back, path);
    EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, L"\x20ac", 1, nullptr, 0, nullptr, nullptr), 3);
}

TEST(CodePageTest, CountedInputHasNoTerminator) {
    WCHAR wide[8] = {L'x', L'x', L'x', L'x'};
    EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, "abc", 2, wide, 8), 2);
    EXPECT_EQ(wide[1], L'b');
    EXPECT_EQ(wide[2], L'x');
}

TEST(CodePageTest, RefusalsSetTheWin32Error) {
    WCHAR wide[3];
    SetLastError(0);
    EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, "abcd", -1, wide, 3), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    const char* broken = "a\xff\xc3";
    ASSERT_EQ(MultiByteToWideChar(CP_UTF8, 0, broken, 3, wide, 3), 3);
    EXPECT_EQ(wide[1], static_cast<WCHAR>(0xFFFD));
    EXPECT_EQ(wide[2], static_cast<WCHAR>(0xFFFD)) << "a truncated sequence becomes one replacement";

    char narrow[2];
    EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, L"abc", -1, narrow, 2, nullptr, nullptr), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
}

} // namespace
