// What every command that scans shares: opening its input (a file, standard input or udp://), the
// graph with the filter from the module, COM for the scan's life, and interrupts that end the scan.
// Each prints its own one-line failure and answers a qxhost::ScanExit status.
#pragma once
#include <windows.h>
#include <objbase.h>

#include <string>

#include "host/ScanSession.h"

namespace quenlix {

int OpenInput(qxhost::ScanSession& session, const std::string& input, unsigned packetSize);
int BuildGraph(qxhost::ScanSession& session);
// Runs the scan; prints a failure part-way through.
int RunScanSession(qxhost::ScanSession& session, const qxhost::ScanSession::ReadHook& hook = {});

// COM on this thread while the scan's objects live, so that a registered class is found by
// CoCreateInstance.
class ComScope {
public:
    ComScope() : m_hr(CoInitialize(nullptr)) {}
    ~ComScope() {
        if (SUCCEEDED(m_hr)) {
            CoUninitialize();
        }
    }
    ComScope(const ComScope&) = delete;
    ComScope& operator=(const ComScope&) = delete;

private:
    HRESULT m_hr;
};

// While it lives, SIGINT and SIGTERM end the session's input: what was read is still reported. A
// second interrupt ends the program as usual.
class InterruptEndsScan {
public:
    explicit InterruptEndsScan(qxhost::ScanSession* session);
    ~InterruptEndsScan();
    InterruptEndsScan(const InterruptEndsScan&) = delete;
    InterruptEndsScan& operator=(const InterruptEndsScan&) = delete;

private:
    void (*m_previousInt)(int);
    void (*m_previousTerm)(int);
};

} // namespace quenlix
