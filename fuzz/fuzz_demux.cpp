// Raw bytes through the transport-stream reader and the section demultiplexer with every PID mapped,
// at each packet size and with detection, read in small and whole pieces.
#include "host/SectionDemux.h"
#include "host/TsReader.h"

#include <cstdlib>

namespace {

// Whole sections only: 3 + section_length bytes, no longer than the largest table.
void CheckSection(unsigned pid, const uint8_t* section, size_t length) {
    if (pid > 0x1FFF || length < 3 || length > qxhost::kMaxSectionBytes ||
        length != 3 + static_cast<size_t>(((section[1] & 0x0F) << 8) | section[2])) {
        abort();
    }
}

// Mapping all 8192 PIDs costs more than a run: one demultiplexer, forgetting its partial sections
// between inputs.
qxhost::SectionDemux& Demux() {
    static qxhost::SectionDemux* demux = [] {
        auto* d = new qxhost::SectionDemux(CheckSection);
        for (unsigned pid = 0; pid < qxhost::kPidCount; ++pid) {
            d->Map(pid);
        }
        return d;
    }();
    return *demux;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    qxhost::SectionDemux& demux = Demux();
    for (unsigned packetSize : {0u, 188u, 192u, 204u}) {
        for (size_t chunk : {size_t(0), size_t(97)}) {
            demux.ResetAssembly();
            qxhost::MemorySource source(data, size, chunk);
            qxhost::TsReader reader(&source, packetSize, 4096);
            const uint8_t* packet = nullptr;
            while (reader.Next(&packet) == qxhost::TsReader::Result::Packet) {
                if (packet[0] != qxhost::kTsSyncByte) {
                    abort();
                }
                demux.Push(packet);
            }
        }
    }
    return 0;
}
