// The published header must serve C applications too: c_view_check.c, which calls methods of every
// argument shape through the C view's call macros, is handed to the host's C compiler.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

std::string RunAndCapture(const std::string& command, int* status) {
    std::string output;
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) {
        *status = -1;
        return output;
    }
    char buffer[512];
    while (fgets(buffer, sizeof buffer, pipe) != nullptr) {
        output += buffer;
    }
    *status = pclose(pipe);
    return output;
}

TEST(CHeader, CompilesAsCWithEveryCallMacro) {
    if (std::system("cc --version >/dev/null 2>&1") != 0) {
        GTEST_SKIP() << "no C compiler on this host";
    }
    const std::string root = std::string(QX_SOURCE_DIR) + "/";
    const std::string command = "cc -std=c11 -Wall -Wextra -Werror -fsyntax-only -I'" + root +
                                "include' -I'" + root + "platform/sdk' '" + root +
                                "tests/query/c_view_check.c' 2>&1";
    int status = 0;
    const std::string diagnostics = RunAndCapture(command, &status);
    EXPECT_EQ(status, 0) << diagnostics;
}

} // namespace
