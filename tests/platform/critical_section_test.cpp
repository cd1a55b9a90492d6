// Critical sections: recursive for their owner, exclusive across threads.
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

namespace {

class CriticalSectionTest : public ::testing::Test {
protected:
    void SetUp() override { InitializeCriticalSection(&m_cs); }
    void TearDown() override { DeleteCriticalSection(&m_cs); }

    BOOL TryFromOtherThread() {
        BOOL got = FALSE;
        std::thread other([&] {
            got = TryEnterCriticalSection(&m_cs);
            if (got) {
                LeaveCriticalSection(&m_cs);
            }
        });
        other.join();
        return got;
    }

    CRITICAL_SECTION m_cs;
};

TEST_F(CriticalSectionTest, OwnerReentersAndKeepsItUntilTheLastLeave) {
    EnterCriticalSection(&m_cs);
    EnterCriticalSection(&m_cs);
    EXPECT_TRUE(TryEnterCriticalSection(&m_cs));
    EXPECT_EQ(m_cs.RecursionCount, 3);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(m_cs.OwningThread), GetCurrentThreadId());

    LeaveCriticalSection(&m_cs);
    LeaveCriticalSection(&m_cs);
    EXPECT_FALSE(TryFromOtherThread()) << "one Enter is still unbalanced";

    LeaveCriticalSection(&m_cs);
    EXPECT_EQ(m_cs.OwningThread, nullptr);
    EXPECT_TRUE(TryFromOtherThread());
}

TEST_F(CriticalSectionTest, ThreadsTakeTurns) {
    constexpr int kThreads = 8;
    constexpr int kRounds = 20000;
    long counter = 0; // deliberately not atomic: only the lock keeps it right
    std::atomic<int> inside{0};
    std::atomic<int> overlaps{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&] {
            for (int i = 0; i < kRounds; ++i) {
                EnterCriticalSection(&m_cs);
                EnterCriticalSection(&m_cs); // nested, as the filter's calls nest
                if (inside.fetch_add(1) != 0) {
                    overlaps++;
                }
                counter = counter + 1;
                inside.fetch_sub(1);
                LeaveCriticalSection(&m_cs);
                LeaveCriticalSection(&m_cs);
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(counter, static_cast<long>(kThreads) * kRounds);
    EXPECT_EQ(overlaps.load(), 0);
}

TEST(InterlockedTest, AnswersTheValueTheSdkPromises) {
    volatile LONG value = 5;
    EXPECT_EQ(InterlockedIncrement(&value), 6);
    EXPECT_EQ(InterlockedDecrement(&value), 5);
    EXPECT_EQ(InterlockedExchange(&value, 9), 5);
    EXPECT_EQ(InterlockedExchangeAdd(&value, 3), 9);
    EXPECT_EQ(InterlockedCompareExchange(&value, 1, 7), 12) << "no exchange when the comparand differs";
    EXPECT_EQ(value, 12);
    EXPECT_EQ(InterlockedCompareExchange(&value, 1, 12), 12);
    EXPECT_EQ(value, 1);
}

TEST(KernelTest, VersionRecordNeedsItsSizeSet) {
    OSVERSIONINFOA info{};
    SetLastError(0);
    EXPECT_FALSE(GetVersionExA(&info));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));

    info.dwOSVersionInfoSize = sizeof info;
    ASSERT_TRUE(GetVersionEx(&info));
    EXPECT_EQ(info.dwPlatformId, static_cast<DWORD>(VER_PLATFORM_WIN32_NT));
    EXPECT_GE(info.dwMajorVersion, 5u);
    EXPECT_EQ(info.dwOSVersionInfoSize, sizeof info);
}

TEST(KernelTest, LastErrorIsPerThread) {
    SetLastError(ERROR_ACCESS_DENIED);
    DWORD seen = 1;
    std::thread([&] { seen = GetLastError(); }).join();
    EXPECT_EQ(seen, 0u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
}

} // namespace
