// Debug output capture, the task allocator and its failure hook, and COM initialisation per thread.
#include <objbase.h>

#include "platform/posix/testhooks.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <thread>

namespace {

TEST(DebugOutputTest, CapturesTextUntilRead) {
    DebugOutputClear();
    OutputDebugStringA("ERROR : Invalid sample");
    OutputDebugStringA("\n");
    OutputDebugStringA(nullptr);
    EXPECT_EQ(DebugOutputPeek(), "ERROR : Invalid sample\n");
    EXPECT_EQ(DebugOutputCapture(), "ERROR : Invalid sample\n");
    EXPECT_EQ(DebugOutputCapture(), "") << "reading clears";
}

TEST(DebugOutputTest, EchoesToStderrOnlyWhenAsked) {
    unsetenv("QUENLIX_DEBUG_OUTPUT");
    testing::internal::CaptureStderr();
    OutputDebugStringA("quiet\n");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");

    setenv("QUENLIX_DEBUG_OUTPUT", "1", 1);
    testing::internal::CaptureStderr();
    OutputDebugStringA("loud\n");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "loud\n");
    unsetenv("QUENLIX_DEBUG_OUTPUT");
    EXPECT_EQ(DebugOutputCapture(), "quiet\nloud\n");
}

class TaskMemTest : public ::testing::Test {
protected:
    void TearDown() override { TaskMemFailAt(0); }
};

TEST_F(TaskMemTest, FailAtHitsExactlyTheNthAllocation) {
    long before = TaskMemOutstanding();
    TaskMemFailAt(2);
    void* first = CoTaskMemAlloc(16);
    void* second = CoTaskMemAlloc(16);
    void* third = CoTaskMemAlloc(16);
    EXPECT_NE(first, nullptr);
    EXPECT_EQ(second, nullptr);
    EXPECT_NE(third, nullptr);
    EXPECT_EQ(TaskMemOutstanding(), before + 2);
    CoTaskMemFree(first);
    CoTaskMemFree(third);
    CoTaskMemFree(nullptr);
    EXPECT_EQ(TaskMemOutstanding(), before);
    void* empty = CoTaskMemAlloc(0);
    EXPECT_NE(empty, nullptr) << "zero bytes still give a freeable block";
    CoTaskMemFree(empty);
}

TEST(ComInitTest, CountsPerThreadAndRefusesAModelChange) {
    // A fresh thread, so that no other test's initialisation is in the way.
    std::thread([] {
        EXPECT_EQ(CoInitialize(nullptr), S_OK);
        EXPECT_EQ(CoInitialize(nullptr), S_FALSE);
        EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), RPC_E_CHANGED_MODE);
        CoUninitialize();
        CoUninitialize();
        EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK) << "fully uninitialised again";
        CoUninitialize();
        CoUninitialize(); // one too many is harmless
    }).join();
}

} // namespace
