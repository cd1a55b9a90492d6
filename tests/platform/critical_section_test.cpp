// Critical sections (recursive for their owner, exclusive across threads) and the last error, beyond
// what the filter's own tests reach.
#include <windows.h>

#include <gtest/gtest.h>

#include <thread>

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

TEST(KernelTest, LastErrorIsPerThread) {
    SetLastError(ERROR_ACCESS_DENIED);
    DWORD seen = 1;
    std::thread([&] { seen = GetLastError(); }).join();
    EXPECT_EQ(seen, 0u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
}

} // namespace
