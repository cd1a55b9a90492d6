#include "baseclasses/wxutil.h"

#include <wchar.h>

#include <atomic>

#include "baseclasses/allocation.h"

BOOL CCritSec::IsHeldByCurrentThread() const {
    // OwningThread is only written by the holder, so a thread reading its own id there holds the lock.
    return m_CritSec.RecursionCount > 0 &&
           m_CritSec.OwningThread == reinterpret_cast<HANDLE>(static_cast<uintptr_t>(GetCurrentThreadId()));
}

BOOL WINAPI CritCheckIn(const CCritSec* pcCrit) {
    return pcCrit != nullptr && pcCrit->IsHeldByCurrentThread();
}

BOOL WINAPI CritCheckOut(const CCritSec* pcCrit) {
    return pcCrit == nullptr || !pcCrit->IsHeldByCurrentThread();
}

namespace {
std::atomic<bool> g_lockChecks{false};
std::atomic<LONG> g_lockCheckFailures{0};
} // namespace

void WINAPI CheckLockHeld(const CCritSec* pcCrit) {
    if (g_lockChecks.load(std::memory_order_relaxed) && !CritCheckIn(pcCrit)) {
        g_lockCheckFailures.fetch_add(1);
    }
}

void WINAPI SetLockChecks(BOOL on) {
    g_lockCheckFailures.store(0);
    g_lockChecks.store(on != FALSE);
}

LONG WINAPI LockCheckFailures() {
    return g_lockCheckFailures.load();
}

STDAPI AMGetWideString(LPCWSTR pszString, LPWSTR* ppszReturn) {
    CheckPointer(ppszReturn, E_POINTER);
    *ppszReturn = nullptr;
    CheckPointer(pszString, E_POINTER);
    size_t bytes = (wcslen(pszString) + 1) * sizeof(WCHAR);
    *ppszReturn = static_cast<LPWSTR>(CoTaskMemAlloc(bytes));
    if (*ppszReturn == nullptr) {
        return E_OUTOFMEMORY;
    }
    memcpy(*ppszReturn, pszString, bytes);
    return S_OK;
}

void WINAPI CopyWideName(WCHAR* pDest, size_t cchDest, LPCWSTR pSource) {
    if (pDest == nullptr || cchDest == 0) {
        return;
    }
    size_t i = 0;
    if (pSource != nullptr) {
        for (; i + 1 < cchDest && pSource[i] != L'\0'; ++i) {
            pDest[i] = pSource[i];
        }
    }
    pDest[i] = L'\0';
}

WCHAR* WINAPI DuplicateWideString(LPCWSTR pSource) {
    if (pSource == nullptr) {
        return nullptr;
    }
    size_t bytes = (wcslen(pSource) + 1) * sizeof(WCHAR);
    auto* copy = static_cast<WCHAR*>(MemAlloc(bytes));
    if (copy != nullptr) {
        memcpy(copy, pSource, bytes);
    }
    return copy;
}
