// quenlix scan --follow on live UDP input: a generated stream sent to 127.0.0.1, first as plain TS,
// then wrapped in RTP with a new PAT version; the program must report the table's appearance and its
// version change, one JSON object per line, and end cleanly on SIGINT.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>

#include "cli/program.h"
#include "support/core/ts_packetizer.h"

using namespace qxtest;

namespace {

// A port nobody listens on now (the kernel's choice for a socket bound to port 0).
uint16_t FreePort() {
    int fd = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    socklen_t len = sizeof a;
    getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
    close(fd);
    return ntohs(a.sin_port);
}

// The program with stdout on a pipe.
struct Child {
    pid_t pid = -1;
    int out = -1;
    std::string lines;

    explicit Child(const std::string& url) {
        int p[2];
        EXPECT_EQ(0, pipe(p));
        pid = fork();
        if (pid == 0) {
            dup2(p[1], STDOUT_FILENO);
            close(p[0]);
            close(p[1]);
            std::string registry =
                "QUENLIX_REGISTRY=/tmp/quenlix_follow_" + std::to_string(getpid()) + ".reg";
            putenv(registry.data());
            execl(ProgramPath().c_str(), "quenlix", "scan", "--follow", "--json", url.c_str(),
                  static_cast<char*>(nullptr));
            _exit(127);
        }
        close(p[1]);
        out = p[0];
    }
    ~Child() {
        if (pid > 0) {
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
        }
        close(out);
    }
    // Reads what is there within ms; false at end of output.
    bool Read(int ms) {
        pollfd p = {out, POLLIN, 0};
        if (poll(&p, 1, ms) <= 0) {
            return true;
        }
        char buf[4096];
        ssize_t n = read(out, buf, sizeof buf);
        if (n <= 0) {
            return false;
        }
        lines.append(buf, static_cast<size_t>(n));
        return true;
    }
    // Exit status (128 + signal when killed by one), or -1 when it does not end within the time.
    int Wait(int ms) {
        auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        bool open = true;
        while (std::chrono::steady_clock::now() < end) {
            int raw = 0;
            if (waitpid(pid, &raw, WNOHANG) == pid) {
                pid = -1;
                while (Read(100) && std::chrono::steady_clock::now() < end) {
                }
                return WIFEXITED(raw) ? WEXITSTATUS(raw) : WIFSIGNALED(raw) ? 128 + WTERMSIG(raw) : -1;
            }
            if (open) {
                open = Read(10);
            } else {
                std::this_thread::sleep_for(
                    std::chrono::milliseconds(10)); // output closed: wait for the exit
            }
        }
        return -1;
    }
};

// Seven packets a datagram, as streamers send them; with rtp, behind a 12-byte RTP header.
void Send(int fd, const sockaddr_in& to, const Bytes& packets, bool rtp, uint16_t* sequence) {
    for (size_t at = 0; at < packets.size(); at += 7 * kTsPacket) {
        size_t n = std::min(packets.size() - at, 7 * kTsPacket);
        Bytes d;
        if (rtp) {
            const uint8_t hi = static_cast<uint8_t>(*sequence >> 8), lo = static_cast<uint8_t>(*sequence);
            d = {0x80, 33, hi, lo, 0, 0, 0, 0, 0x12, 0x34, 0x56, 0x78};
            ++*sequence;
        }
        d.insert(d.end(), packets.begin() + static_cast<long>(at),
                 packets.begin() + static_cast<long>(at + n));
        sendto(fd, d.data(), d.size(), 0, reinterpret_cast<const sockaddr*>(&to), sizeof to);
    }
}

TEST(QuenlixFollow, LoopbackUdpReportsAppearanceAndVersionChange) {
    uint16_t port = FreePort();
    Child child("udp://127.0.0.1:" + std::to_string(port));
    ASSERT_GT(child.pid, 0);

    int fd = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(port);
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    TsPacketizer patPid(0), pmtPid(0x100);
    uint16_t sequence = 0;
    // Sends version 0 as plain TS, then version 1 over RTP, each until the program has said so.
    auto sendUntil = [&](uint8_t version, bool rtp, const std::string& seen) {
        auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (child.lines.find(seen) == std::string::npos && std::chrono::steady_clock::now() < end) {
            Bytes ts = patPid.Packetize(BuildPat(0x0421, version, {{1, 0x100}}));
            Bytes pmt = pmtPid.Packetize(BuildPmt(1, version, 0x101, {{0x02, 0x101}}));
            ts.insert(ts.end(), pmt.begin(), pmt.end());
            Send(fd, to, ts, rtp, &sequence);
            child.Read(5);
        }
    };
    sendUntil(0, false, R"({"table":"pat","event":"complete","version":0)");
    sendUntil(1, true, R"({"table":"pat","event":"version","version":1)");
    close(fd);
    kill(child.pid, SIGINT);
    EXPECT_EQ(0, child.Wait(10000)) << child.lines;

    // Every line is one JSON object; the PAT's tell its story in order.
    std::vector<std::string> pat;
    size_t at = 0;
    for (size_t nl; (nl = child.lines.find('\n', at)) != std::string::npos; at = nl + 1) {
        json j = json::parse(child.lines.substr(at, nl - at));
        if (j["table"] == "pat") {
            pat.push_back(j["event"].get<std::string>() + " " + j["version"].dump());
        }
    }
    EXPECT_EQ(at, child.lines.size()) << "a line cut short";
    ASSERT_GE(pat.size(), 3u) << child.lines;
    EXPECT_EQ("appeared 0", pat[0]);
    EXPECT_EQ("complete 0", pat[1]);
    EXPECT_EQ("version 1", pat[2]);
    EXPECT_NE(std::string::npos, child.lines.find(R"({"table":"pmt 0x0001","event":"appeared","version":0)"))
        << child.lines;
}

} // namespace
