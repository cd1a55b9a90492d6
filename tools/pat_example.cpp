// Example: builds the filter, connects it to an upstream section pin, feeds it a PAT and prints what
// the filter holds, read back through ITableCollector.
#include <cstdio>

#include "filter/TableCollectorFilter.h"
#include "support/fake_graph.h"
#include "support/upstream_pin.h"

int main() {
    HRESULT hr = S_OK;
    auto* filter = static_cast<TableCollectorFilter*>(TableCollectorFilter::CreateInstance(nullptr, &hr));
    if (filter == nullptr || FAILED(hr)) {
        std::fprintf(stderr, "cannot create the filter: 0x%08X\n", static_cast<unsigned>(hr));
        return 1;
    }
    ITableCollector* collector = nullptr;
    filter->NonDelegatingQueryInterface(IID_ITableCollector, reinterpret_cast<void**>(&collector));

    int status = 0;
    {
        qxtest::FakeGraph graph;
        graph.AddFilter(filter, L"collector");
        qxtest::FakeUpstream upstream;
        if (FAILED(upstream.Connect(filter->GetPin(0))) || FAILED(qxtest::RunFilter(filter))) {
            std::fprintf(stderr, "cannot connect and run the filter\n");
            status = 1;
        } else {
            upstream.Deliver(qxtest::BuildPat(0x0421, 3, {{0, 0x0010}, {1, 0x0100}, {2, 0x0200}}), 0x0000);

            ULONG patStatus = 0, count = 0;
            collector->GetPatStatus(&patStatus);
            collector->GetPatSectionCount(&count);
            std::printf("PAT status %lu, %lu section(s)\n", static_cast<unsigned long>(patStatus),
                        static_cast<unsigned long>(count));
            for (ULONG i = 0; i < count; ++i) {
                StoredSection* section = nullptr;
                if (collector->GetPatSection(i, &section) != S_OK || section == nullptr) {
                    continue;
                }
                const BYTE* b = section->bytes;
                std::printf("section %lu: %lu bytes, transport_stream_id 0x%04X, version %u\n",
                            static_cast<unsigned long>(section->section_number),
                            static_cast<unsigned long>(section->length), (b[3] << 8) | b[4],
                            (b[5] >> 1) & 0x1F);
                for (DWORD at = 8; at + 4 + 4 <= section->length; at += 4) {
                    unsigned program = (b[at] << 8) | b[at + 1];
                    unsigned pid = ((b[at + 2] << 8) | b[at + 3]) & 0x1FFF;
                    std::printf("  program %5u -> %s PID 0x%04X\n", program, program == 0 ? "network" : "PMT",
                                pid);
                }
                collector->FreePatSection(&section);
            }
            std::printf("PIDs the demultiplexer was asked for:");
            for (ULONG pid : upstream.MappedPids()) {
                std::printf(" 0x%04X", static_cast<unsigned>(pid));
            }
            std::printf("\n");
            qxtest::StopFilter(filter);
        }
        upstream.Disconnect();
        graph.RemoveFilter(filter);
    }
    collector->Release();
    return status;
}
