// Debug output: kept in memory for tests, copied to stderr when QUENLIX_DEBUG_OUTPUT is set.
#include <windows.h>

#include "testhooks.h"

#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>

namespace {
std::mutex g_lock;
std::string g_captured;
// A long run can write a line per bad sample; keep the newest text and drop the oldest beyond this.
constexpr size_t kCaptureLimit = 1 << 20;

bool EchoToStderr() {
    const char* value = std::getenv("QUENLIX_DEBUG_OUTPUT");
    return value != nullptr && value[0] != '\0';
}

void Emit(const char* text) {
    if (text == nullptr) {
        return;
    }
    std::lock_guard<std::mutex> guard(g_lock);
    g_captured.append(text);
    if (g_captured.size() > kCaptureLimit) {
        g_captured.erase(0, g_captured.size() - kCaptureLimit);
    }
    if (EchoToStderr()) {
        std::fputs(text, stderr);
        std::fflush(stderr);
    }
}
} // namespace

extern "C" void OutputDebugStringA(LPCSTR text) {
    Emit(text);
}

extern "C" void OutputDebugStringW(LPCWSTR text) {
    if (text == nullptr) {
        return;
    }
    int size = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (size <= 0) {
        return;
    }
    std::string narrow(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, -1, narrow.data(), size, nullptr, nullptr);
    Emit(narrow.c_str());
}

std::string DebugOutputCapture() {
    std::lock_guard<std::mutex> guard(g_lock);
    std::string text;
    text.swap(g_captured);
    return text;
}

std::string DebugOutputPeek() {
    std::lock_guard<std::mutex> guard(g_lock);
    return g_captured;
}

void DebugOutputClear() {
    std::lock_guard<std::mutex> guard(g_lock);
    g_captured.clear();
}
