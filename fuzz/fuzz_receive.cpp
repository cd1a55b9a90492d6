// One section through a connected filter's Receive: the PID is the low 13 bits of the first two input
// bytes, the section the rest. The opening PAT and MGT make the PMT, ATSC EIT and ETT PIDs reachable.
#include "support/live_filter.h"

#include <algorithm>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) {
        return 0;
    }
    // The top bit of the first byte asks for the opening PAT and MGT, which need 64 bytes of sample;
    // otherwise the sample is exactly the section, so a read past it leaves the heap block.
    const bool opening = (data[0] & 0x80) != 0;
    qxtest::LiveFilter filter(static_cast<LONG>(std::max<size_t>(size - 2, opening ? 64 : 1)));
    if (filter.hr() != S_OK) {
        abort();
    }
    if (opening) {
        filter.DeliverOpening();
    }
    DWORD pid = ((static_cast<DWORD>(data[0]) << 8) | data[1]) & 0x1FFF;
    filter.Deliver(pid, qxtest::Bytes(data + 2, data + size));
    if (filter.ReadEverything() != 0) {
        abort();
    }
    return 0;
}
