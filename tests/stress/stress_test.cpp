// The filter's threads against each other: the streaming thread delivers a multiplex whose tables
// change version while four application threads read every group and a fifth resets tables, asks for
// PIDs and flushes. Every copy read must be a section that was delivered, every call must keep its
// own promise, and every store call must run under the section lock. Run under ThreadSanitizer in CI.
#include "intake/pin_fixture.h"
#include "support/collector_reads.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <set>
#include <thread>

namespace qxtest {
namespace {

struct Delivery {
    DWORD pid;
    Bytes section;
};

// Every table in versions 0 to 31 in turn, with ids that use both bytes and sections that grow with
// the version, so that a new version never has the old one's length.
std::vector<Delivery> Multiplex() {
    std::vector<Delivery> out;
    for (uint8_t v = 0; v < 32; ++v) {
        const uint16_t id = 0xA500 | v;
        std::vector<std::pair<uint16_t, uint16_t>> programs = {{0, 0x0010}};
        for (uint16_t p = 1; p <= 1 + v % 3; ++p) {
            programs.emplace_back(p, 0x0100 + p);
        }
        out.push_back({0x0000, BuildPat(id, v, programs)});
        for (size_t i = 1; i < programs.size(); ++i) {
            out.push_back({programs[i].second,
                           BuildPmt(programs[i].first, v, 0x1FFE, {{0x02, 0x0200}}, Bytes(v, 0xAB))});
        }
        out.push_back({0x0010, BuildNitLike(0x40, id, v, 0, 1)});
        out.push_back({0x0010, BuildNitLike(0x40, id, v, 1, 1)});
        out.push_back({0x0011, BuildSdt(id, v, 0, 0)});
        out.push_back({0x0011, BuildNitLike(0x4A, id, v, 0, 0)});
        out.push_back({0x0012, BuildEit(0x4E, id, v, 0, 1, 1)});
        out.push_back({0x0012, BuildEit(0x50, id, v, 8, 8, 8)});
        out.push_back({0x0014, BuildTdt(v)});
        out.push_back({0x0014, BuildTot()});
        out.push_back({0x0013, BuildRst()});
        out.push_back({0x0001, BuildCat(v, 0, 0)});
        out.push_back({0x1FFB, BuildMgt(v, {{0x0100, 0x1D00, v, 300, {}},
                                            {0x0200, uint16_t(0x1D01 + v % 2), v, 9, {}}})});
        out.push_back({0x1FFB, BuildTvct(id, v)});
        out.push_back({0x1FFB, BuildStt(0x40000000u + v)});
        out.push_back({0x1D00, BuildAtscEit(id, v, 0, 0, id)});
        out.push_back({uint16_t(0x1D01 + v % 2), BuildEtt((uint32_t(id) << 16) | v, v, Bytes(v + 1, 't'))});
    }
    return out;
}

using Stress = PinFixture;

TEST_F(Stress, ReadersAndControlAgainstStreaming) {
    const std::vector<Delivery> mux = Multiplex();
    std::set<Bytes> delivered;
    ReadKeys keys;
    for (const Delivery& d : mux) {
        delivered.insert(d.section);
        LearnKeys(keys, d.pid, d.section.data(), d.section.size());
    }
    ConnectAndRun();
    SetLockChecks(TRUE);

    // Ends the process when the run does not finish in time: a deadlock must fail the test, not hang
    // CI. A thread of its own: a signal handler might never run while every thread waits on a lock.
    std::atomic<bool> finished{false};
    std::thread watchdog([&] {
        for (int tenths = 0; tenths < 2400 && !finished; ++tenths) {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        if (!finished) {
            fprintf(stderr, "stress: no progress within 240 s, taken as a deadlock\n");
            std::_Exit(3);
        }
    });
    std::atomic<bool> streaming{true};
    std::atomic<int> faults{0};
    std::atomic<int> foreign{0};
    std::atomic<long> copies{0};
    std::vector<std::thread> threads;
    for (int r = 0; r < 4; ++r) {
        threads.emplace_back([&] {
            do {
                faults += ReadAllGroups(itf(), keys, [&](const char*, const StoredSection& c) {
                    ++copies;
                    if (delivered.count(Bytes(c.bytes, c.bytes + c.length)) == 0) {
                        ++foreign;
                    }
                });
            } while (streaming);
        });
    }
    threads.emplace_back([&] {
        ULONG requested[3] = {0x0012, 0x1D00, 0x0777};
        for (unsigned i = 0; streaming; ++i) {
            ULONG seen = 0;
            switch (i % 4) {
            case 0:
                faults += itf()->ResetAllTables() != S_OK;
                break;
            case 1:
                faults += itf()->SetRequestedPids(1 + i % 3, requested) != S_OK;
                faults += itf()->IsRequestedPidSeen(requested[0], &seen) != S_OK;
                break;
            case 2:
                faults += itf()->UnmapRequestedPids() != S_OK;
                break;
            default:
                faults += FAILED(upstream.DeliverBeginFlush());
                faults += FAILED(upstream.DeliverEndFlush());
                break;
            }
            std::this_thread::yield();
        }
    });

    int refused = 0;
    for (int round = 0; round < 40; ++round) {
        for (const Delivery& d : mux) {
            HRESULT hr = Send(d.section, d.pid);
            refused += hr != S_OK && hr != S_FALSE; // S_FALSE: a flush was under way
        }
    }
    streaming = false;
    for (std::thread& t : threads) {
        t.join();
    }

    finished = true;
    watchdog.join();
    EXPECT_EQ(refused, 0);
    EXPECT_EQ(faults, 0);
    EXPECT_EQ(foreign, 0);
    EXPECT_GT(copies, 0);
    EXPECT_EQ(LockCheckFailures(), 0);
    SetLockChecks(FALSE);
}

// The check itself: pin operations reached without the section lock are counted.
TEST_F(Stress, LockCheckCountsCallsWithoutTheLock) {
    SetLockChecks(TRUE);
    Bytes pat = BuildPat(1, 0, {{1, 0x0100}});
    pin()->OnPatSection(pat.data(), static_cast<DWORD>(pat.size()));
    EXPECT_GT(LockCheckFailures(), 0);
    SetLockChecks(FALSE);
}

} // namespace
} // namespace qxtest
