// Lists the services of a transport stream's SDT and the programs of its PAT with the streams of
// each PMT, through ITableCollector.
//
//   list_services FILE.ts
//
// The filter is created by its class, as on any host of the media framework: run `quenlix register`
// once so that CoCreateInstance finds the installed quenlix.ax. quenlix_host plays the file through a
// section demultiplexer into the filter; the tables are read once the whole file has gone through.
#include <windows.h>
#include <objbase.h>
#include <quenlix.h>
#include <quenlix_host.h>

#include <cstdint>
#include <cstdio>
#include <string>

namespace {

unsigned U16(const BYTE* p) {
    return (p[0] << 8) | p[1];
}

// Every copy the filter hands out is the caller's until given back through the Free method of its
// group; this holder gives it back on leaving scope.
class Section {
public:
    using FreeFn = HRESULT (STDMETHODCALLTYPE ITableCollector::*)(StoredSection**);
    Section(ITableCollector* tc, FreeFn free) : m_tc(tc), m_free(free) {}
    ~Section() {
        if (m_section != nullptr) {
            (m_tc->*m_free)(&m_section);
        }
    }
    Section(const Section&) = delete;
    Section& operator=(const Section&) = delete;

    // Where a GetXxxSection method writes the copy. Null before the call: a slot that has not been
    // filled yet answers S_OK and writes nothing.
    StoredSection** Out() { return &m_section; }
    const StoredSection* operator->() const { return m_section; }
    explicit operator bool() const { return m_section != nullptr; }

private:
    ITableCollector* m_tc;
    FreeFn m_free;
    StoredSection* m_section = nullptr;
};

// A DVB text without its leading character-table byte; enough for the usual Latin names.
std::string Text(const BYTE* p, size_t n) {
    if (n > 0 && p[0] < 0x20) {
        size_t skip = p[0] == 0x10 ? 3 : 1;
        p += skip < n ? skip : n;
        n -= skip < n ? skip : n;
    }
    std::string out;
    for (size_t i = 0; i < n; ++i) {
        out += p[i] >= 0x20 && p[i] < 0x7F ? static_cast<char>(p[i]) : '.';
    }
    return out;
}

// SDT: after the 11-byte header, one entry per service up to the CRC_32; its service_descriptor
// (tag 0x48) holds provider and service names.
void PrintServices(ITableCollector* tc) {
    ULONG status = 0, count = 0;
    // The key of the SDT group selects nothing: the filter keeps the SDT of the actual stream only.
    tc->GetSdtStatus(0, &status);
    tc->GetSdtSectionCount(0, &count);
    printf("SDT (%s), %u section(s)\n", status == TABLE_STATUS_COMPLETE ? "complete" : "incomplete",
           static_cast<unsigned>(count));
    for (ULONG i = 0; i < count; ++i) {
        Section s(tc, &ITableCollector::FreeSdtSection);
        if (FAILED(tc->GetSdtSection(0, i, s.Out())) || !s || s->length < 15) {
            continue;
        }
        const BYTE* b = s->bytes;
        size_t end = s->length - 4;
        printf("  transport_stream_id 0x%04X, original_network_id 0x%04X\n", U16(b + 3), U16(b + 8));
        for (size_t at = 11; at + 5 <= end;) {
            unsigned serviceId = U16(b + at);
            size_t loop = U16(b + at + 3) & 0x0FFF;
            size_t d = at + 5;
            at = d + loop;
            std::string provider, name;
            for (; d + 2 <= at && at <= end; d += 2 + b[d + 1]) {
                size_t len = b[d + 1];
                if (d + 2 + len > at) {
                    break;
                }
                if (b[d] == 0x48 && len >= 3) {
                    const BYTE* p = b + d + 2;
                    size_t pl = p[1];
                    if (2 + pl + 1 <= len && 3 + pl + p[2 + pl] <= len) {
                        provider = Text(p + 2, pl);
                        name = Text(p + 3 + pl, p[2 + pl]);
                    }
                }
            }
            printf("  service 0x%04X  %-20s %s\n", serviceId, name.c_str(), provider.c_str());
        }
    }
}

// PMT: PCR_PID, the program_info descriptors, then stream_type and elementary_PID of every stream.
void PrintStreams(ITableCollector* tc, unsigned pid, unsigned program) {
    Section s(tc, &ITableCollector::FreePmtSection);
    if (FAILED(tc->GetPmtSection(pid, program, s.Out())) || !s || s->length < 16) {
        printf("    (no PMT yet)\n");
        return;
    }
    const BYTE* b = s->bytes;
    size_t end = s->length - 4;
    printf("    PCR_PID 0x%04X\n", U16(b + 8) & 0x1FFF);
    for (size_t at = 12 + (U16(b + 10) & 0x0FFF); at + 5 <= end; at += 5 + (U16(b + at + 3) & 0x0FFF)) {
        printf("    stream_type 0x%02X on PID 0x%04X\n", b[at], U16(b + at + 1) & 0x1FFF);
    }
}

// PAT: program_number and PID pairs; program 0 names the NIT's PID.
void PrintPrograms(ITableCollector* tc) {
    ULONG status = 0, count = 0;
    tc->GetPatStatus(&status);
    tc->GetPatSectionCount(&count);
    printf("PAT (%s), %u section(s)\n", status == TABLE_STATUS_COMPLETE ? "complete" : "incomplete",
           static_cast<unsigned>(count));
    for (ULONG i = 0; i < count; ++i) {
        Section s(tc, &ITableCollector::FreePatSection);
        if (FAILED(tc->GetPatSection(i, s.Out())) || !s || s->length < 12) {
            continue;
        }
        const BYTE* b = s->bytes;
        for (size_t at = 8; at + 4 <= s->length - 4; at += 4) {
            unsigned program = U16(b + at), pid = U16(b + at + 2) & 0x1FFF;
            if (program == 0) {
                printf("  network PID 0x%04X\n", pid);
                continue;
            }
            printf("  program %u on PID 0x%04X\n", program, pid);
            PrintStreams(tc, pid, program);
        }
    }
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        fprintf(stderr, "usage: list_services FILE.ts\n");
        return 1;
    }
    if (FAILED(CoInitialize(nullptr))) {
        fprintf(stderr, "list_services: cannot initialise COM\n");
        return 2;
    }
    int result = 2;
    ITableCollector* tc = nullptr;
    QxStream* stream = nullptr;
    HRESULT hr = CoCreateInstance(CLSID_TableCollectorFilter, nullptr, CLSCTX_INPROC_SERVER,
                                  IID_ITableCollector, reinterpret_cast<void**>(&tc));
    if (FAILED(hr)) {
        fprintf(stderr, "list_services: cannot create the filter (0x%08lX); is quenlix.ax registered?\n",
                static_cast<unsigned long>(hr));
    } else if (FAILED(hr = QxStreamOpen(argv[1], tc, &stream))) {
        fprintf(stderr, "list_services: %s: cannot play it (0x%08lX)\n", argv[1],
                static_cast<unsigned long>(hr));
    } else if (FAILED(hr = QxStreamRun(stream)) || FAILED(hr = QxStreamWait(stream, INFINITE))) {
        fprintf(stderr, "list_services: %s: the stream failed (0x%08lX)\n", argv[1],
                static_cast<unsigned long>(hr));
    } else {
        PrintServices(tc);
        PrintPrograms(tc);
        result = 0;
    }
    QxStreamClose(stream); // releases the stream's reference on the filter
    if (tc != nullptr) {
        tc->Release();
    }
    CoUninitialize();
    return result;
}
