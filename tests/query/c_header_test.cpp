// The published header must serve C applications too: c_view_check.c, which calls methods of every
// argument shape through the C view's call macros, is handed to the host's C compiler.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

namespace {

TEST(CHeader, CompilesAsCWithEveryCallMacro) {
    if (std::system("cc --version >/dev/null 2>&1") != 0) {
        GTEST_SKIP() << "no C compiler on this host";
    }
    const std::string root = std::string(QX_SOURCE_DIR) + "/";
    const std::string command = "cc -std=c11 -Wall -Wextra -Werror -fsyntax-only -I'" + root +
                                "include' -I'" + root + "platform/sdk' '" + root +
                                "tests/query/c_view_check.c'";
    EXPECT_EQ(std::system(command.c_str()), 0) << "the compiler's diagnostics are above";
}

} // namespace
