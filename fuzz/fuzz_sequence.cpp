// A sequence of records, each either a section on a PID or an application's call, so that PID
// tracking, version changes, resets and flushes meet in any order. A record is one byte of operation
// and PID high bits, one of PID low bits, two of length, then the section.
#include "support/live_filter.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    qxtest::LiveFilter filter;
    if (filter.hr() != S_OK) {
        abort();
    }
    ITableCollector* itf = filter.itf();
    size_t at = 0;
    while (at + 4 <= size) {
        const unsigned op = data[at] >> 5;
        const DWORD pid = ((static_cast<DWORD>(data[at] & 0x1F) << 8) | data[at + 1]);
        size_t length = std::min<size_t>((data[at + 2] << 8) | data[at + 3], size - at - 4);
        const uint8_t* section = data + at + 4;
        at += 4;
        switch (op) {
        case 1:
            itf->ResetAllTables();
            break;
        case 2:
            filter.upstream().DeliverBeginFlush();
            filter.upstream().DeliverEndFlush();
            break;
        case 3:
            itf->SetEitResetOnVersionChange(pid & 1);
            itf->SetAtscEitResetOnVersionChange((pid >> 1) & 1);
            itf->EnableEttCollection((pid >> 2) & 1);
            break;
        case 4: {
            ULONG requested = pid;
            ULONG seen = 0;
            itf->SetRequestedPids(1, &requested);
            itf->IsRequestedPidSeen(pid, &seen);
            break;
        }
        case 5:
            itf->UnmapRequestedPids();
            break;
        default:
            filter.Deliver(pid, qxtest::Bytes(section, section + length));
            at += length;
            break;
        }
    }
    if (filter.ReadEverything() != 0) {
        abort();
    }
    return 0;
}
