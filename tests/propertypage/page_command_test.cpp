// quenlix page: the views printed by --dump for a generated stream, its failures, and the dialog in
// a terminal (under tmux) reacting to keys.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

#include "cli/program.h"
#include "render_support.h"
#include "support/core/ts_packetizer.h"

namespace qxtest {
namespace {

// An empty registry of its own: the filter and the page come from quenlix.ax beside the program.
std::string Environment() {
    return "QUENLIX_REGISTRY='" + TempPath("registry.reg") + "' ";
}

std::string WriteStream(const std::string& name, const std::vector<std::pair<uint16_t, Bytes>>& sections) {
    Bytes ts;
    std::map<uint16_t, TsPacketizer> packetizers;
    for (const auto& [pid, section] : sections) {
        auto it = packetizers.try_emplace(pid, pid).first;
        Bytes packets = it->second.Packetize(section);
        ts.insert(ts.end(), packets.begin(), packets.end());
    }
    const std::string path = TempPath(name);
    WriteFile(path, ts);
    return path;
}

std::string Block(const std::string& selectors, const Rows& rows) {
    std::string out = selectors + "\n";
    char line[512];
    for (const Row& r : rows) {
        snprintf(line, sizeof line, "%-36s  %s\n", r.first.c_str(), r.second.c_str());
        out += line;
    }
    return out;
}

struct PageCommand : ::testing::Test {
    void SetUp() override {
        if (access(ProgramPath().c_str(), X_OK) != 0) {
            GTEST_SKIP() << "quenlix is not built: " << ProgramPath();
        }
    }
    void TearDown() override { remove(TempPath("registry.reg").c_str()); }
};

const Bytes kPat = BuildPat(0x0007, 1, {{0, 0x0010}, {1, 0x0100}, {2, 0x0200}});
const Bytes kPmt1 = BuildPmt(1, 0, 0x0101, {{0x1B, 0x0101}}, {0x09, 0x04, 0x0B, 0x00, 0xE1, 0x50});
const Bytes kPmt2 = BuildPmt(2, 0, 0x0201, {{0x03, 0x0201}});
const Bytes kNit = BuildNit(0x0031, 0, {0x40, 0x04, 'T', 'e', 's', 't'}, {{0x0007, 0x0031, {}}});

TEST_F(PageCommand, DumpPrintsEveryViewOfAGeneratedStream) {
    std::string file = WriteStream(
        "full.ts", {{0x0000, kPat}, {0x0100, kPmt1}, {0x0200, kPmt2}, {0x0010, kNit}, {0x0000, kPat}});
    Outcome r = Quenlix("page --dump '" + file + "'", "/dev/null");
    remove(file.c_str());
    ASSERT_EQ(r.status, 0) << r.err;
    std::string expected =
        "== Update table ==\n\n== PAT ==\n" +
        Block("SI Tables: PAT  PID: 0x0000  Table Id: 0x00  Section Num: 00", PatRows(kPat)) +
        "\n== PMT ==\n" +
        Block("SI Tables: PMT  PID: 0x0100  Table Id: 0x02  Section Num: 0x00", PmtRows(kPmt1)) + "\n" +
        Block("SI Tables: PMT  PID: 0x0200  Table Id: 0x02  Section Num: 0x00", PmtRows(kPmt2)) +
        "\n== NIT ==\n" +
        Block("SI Tables: NIT  PID: 0x0010  Table Id: 0x40  Section Num: 00", NitRows(kNit));
    EXPECT_EQ(r.out, expected);
    // The descriptor payloads read as a hex dump.
    EXPECT_NE(r.out.find("  descriptor_data                     0b 00 e1 50  |...P|"), std::string::npos);
    EXPECT_NE(r.out.find("54 65 73 74  |Test|"), std::string::npos);
}

TEST_F(PageCommand, DumpShowsTheMessageOfATableNotComplete) {
    std::string noPat = WriteStream("nopat.ts", {{0x0010, kNit}});
    Outcome r = Quenlix("page --dump '" + noPat + "'", "/dev/null");
    remove(noPat.c_str());
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "== Update table ==\nError: The PAT Table is not collecting completed yet.\n");
}

// The interactive page in a real terminal: tmux runs it, the test types and reads the screen.
struct Tmux {
    std::string session = "quenlix_page_" + std::to_string(getpid());
    ~Tmux() { system(("tmux kill-session -t " + session + " 2>/dev/null").c_str()); }
    std::string Screen() {
        std::string file = TempPath("screen");
        system(("tmux capture-pane -p -t " + session + " >'" + file + "' 2>/dev/null").c_str());
        std::string s = ReadFile(file);
        remove(file.c_str());
        return s;
    }
    bool WaitFor(const std::string& text) {
        for (int i = 0; i < 100; ++i) {
            if (Screen().find(text) != std::string::npos) {
                return true;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        return false;
    }
    void Keys(const std::string& keys) { system(("tmux send-keys -t " + session + " " + keys).c_str()); }
    // Runs quenlix page on file in a window of that size until its dialog shows.
    void Start(const std::string& file, const std::string& size) {
        std::string command =
            Environment() + "'" + ProgramPath() + "' page '" + file + "'; echo EXITED $?; sleep 30";
        ASSERT_EQ(system(("tmux new-session -d -s " + session + " " + size + " \"" + command + "\"").c_str()),
                  0);
        ASSERT_TRUE(WaitFor("Service Information")) << Screen();
    }
};

TEST_F(PageCommand, TheDialogInATerminalReactsToKeys) {
    if (system("command -v tmux >/dev/null 2>&1") != 0) {
        GTEST_SKIP() << "tmux is not installed";
    }
    std::string file =
        WriteStream("keys.ts", {{0x0000, kPat}, {0x0100, kPmt1}, {0x0200, kPmt2}, {0x0010, kNit}});
    Tmux tmux;
    ASSERT_NO_FATAL_FAILURE(tmux.Start(file, "-x 120 -y 40"));
    EXPECT_NE(tmux.Screen().find("[ Update table ]"), std::string::npos);
    EXPECT_EQ(tmux.Screen().find("section_syntax_indicator"), std::string::npos);

    tmux.Keys("u"); // Update table: the PAT view
    ASSERT_TRUE(tmux.WaitFor("program_map_PID")) << tmux.Screen();
    EXPECT_NE(tmux.Screen().find("[PAT"), std::string::npos);

    tmux.Keys("t Down"); // SI Tables: PMT
    ASSERT_TRUE(tmux.WaitFor("PCR_PID")) << tmux.Screen();
    tmux.Keys("p Down"); // PID: the second program
    ASSERT_TRUE(tmux.WaitFor("0x0201 (= 513)")) << tmux.Screen();

    tmux.Keys("t Down"); // NIT
    ASSERT_TRUE(tmux.WaitFor("transport_stream_loop_length")) << tmux.Screen();

    // The list follows the window's width: its frame ends two columns short of the edge.
    auto listFrameWidth = [&tmux]() {
        std::string screen = tmux.Screen();
        size_t at = screen.find("\n  +---");
        return at == std::string::npos ? std::string::npos : screen.find('\n', at + 1) - at - 1;
    };
    EXPECT_EQ(listFrameWidth(), 118u) << tmux.Screen();
    system(("tmux resize-window -t " + tmux.session + " -x 90 -y 30").c_str());
    for (int i = 0; i < 100 && listFrameWidth() != 88u; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    EXPECT_EQ(listFrameWidth(), 88u) << tmux.Screen();
    EXPECT_NE(tmux.Screen().find("transport_stream_loop_length"), std::string::npos) << tmux.Screen();

    tmux.Keys("q");
    ASSERT_TRUE(tmux.WaitFor("EXITED 0")) << tmux.Screen();
    remove(file.c_str());
}

TEST_F(PageCommand, AMessageWaitsForItsKey) {
    if (system("command -v tmux >/dev/null 2>&1") != 0) {
        GTEST_SKIP() << "tmux is not installed";
    }
    std::string file = WriteStream("message.ts", {{0x0010, kNit}});
    Tmux tmux;
    ASSERT_NO_FATAL_FAILURE(tmux.Start(file, "-x 100 -y 30"));
    tmux.Keys("u");
    ASSERT_TRUE(tmux.WaitFor("The PAT Table is not collecting completed yet.")) << tmux.Screen();
    tmux.Keys("Enter");
    ASSERT_TRUE(tmux.WaitFor("Tab move")) << tmux.Screen();
    tmux.Keys("Escape");
    ASSERT_TRUE(tmux.WaitFor("EXITED 0")) << tmux.Screen();
    remove(file.c_str());
}

} // namespace
} // namespace qxtest
