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

TEST(WsprintfTest, ConversionsFlagsWidthsAndLiterals) {
    EXPECT_EQ(Format("%d|%i|%u|%x|%X", -42, 17, 42u, 0xBEEFu, 0xBEEFu), "-42|17|42|beef|BEEF");
    EXPECT_EQ(Format("%u|%x|%d", static_cast<DWORD>(-1), -1, static_cast<int>(0x80000000u)),
              "4294967295|ffffffff|-2147483648");
    // l names Windows' 32-bit long: LONG and DWORD arguments, as the system's code passes them.
    EXPECT_EQ(Format("%ld|%lu|%lX|%hd|%hu", static_cast<LONG>(-7), static_cast<DWORD>(3000000000u),
                     static_cast<DWORD>(0xABCDEF01), 0x1FFFF, 0x1FFFF),
              "-7|3000000000|ABCDEF01|-1|65535");
    EXPECT_EQ(Format("[%5d][%-5d][%05d][%-05d]", 42, 42, -42, -42), "[   42][42   ][-0042][-42  ]");
    EXPECT_EQ(Format("%#x|%#X|%#x|%#06x", 255, 255, 0, 255), "0xff|0XFF|0|0x00ff");
    EXPECT_EQ(Format("[%6.3d][%6s][%-4.1s][%3c]", 7, "abc", "abc", 'x'), "[   007][   abc][a   ][  x]");
    EXPECT_EQ(Format("100%%|%s|%f|%q", static_cast<const char*>(nullptr), 1), "100%|(null)|f|q")
        << "a percent sign before an unknown character writes the character";
    EXPECT_EQ(Format("ends with %"), "ends with ");
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
    // Counted input has no terminator.
    EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, "abc", 2, wide, MAX_PATH), 2);
    EXPECT_EQ(std::wstring(wide, 3), L"abp");
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
