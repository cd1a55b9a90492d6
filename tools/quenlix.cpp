// quenlix: scans an MPEG-2 transport stream through the table-collecting filter and prints every
// table it collected. The program is an ordinary application of the filter: it builds a graph
// (reader and section demultiplexer, then the filter), runs it to the end of the stream, and reads
// what the filter holds through ITableCollector only.
#include <windows.h>
#include <objbase.h>
#include <strmif.h>
#include <control.h>
#include <quenlix.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "host/FilterGraph.h"
#include "host/SectionDemuxFilter.h"
#include "host/TsReader.h"
#include "page_command.h"
#include "register_command.h"
#include "report.h"

using quenlix::Node;

namespace {

// Exit statuses, as --help lists them.
enum Exit {
    kOk = 0,
    kUsage = 1,
    kCannotRead = 2,
    kEmpty = 3,
    kNotTs = 4,
    kTruncated = 5,
    kFailed = 6,
};

const char kHelp[] =
    "usage: quenlix scan [--packet-size 188|192|204] [--json] FILE|-\n"
    "       quenlix --help\n"
    "\n"
    "Reads an MPEG-2 transport stream (FILE, or standard input for -), collects its PSI/SI tables\n"
    "(PAT, PMT, CAT, NIT, SDT, BAT, EIT, TDT, TOT, RST and ATSC MGT, VCT, STT, EIT, ETT) with the\n"
    "table-collecting filter, and prints each table it holds: status, section count and the decoded\n"
    "main fields of every section, and what the reader and demultiplexer saw on the way. The filter\n"
    "is created by its class through COM when registered, else from quenlix.ax beside the program.\n"
    "\n"
    "options:\n"
    "  --packet-size N  packet size in bytes: 188, 192 (4-byte timecode first) or 204 (16 bytes of\n"
    "                   Reed-Solomon parity after); found from the sync bytes when not given\n"
    "  --json           print one JSON object instead of text\n"
    "  --help           print this help\n"
    "\n"
    "exit status:\n"
    "  0  the stream was scanned to its end\n"
    "  1  usage error\n"
    "  2  the input cannot be opened or read\n"
    "  3  the input is empty\n"
    "  4  the input is not an MPEG-2 transport stream\n"
    "  5  the stream ends inside a packet (what was collected is still printed)\n"
    "  6  the filter or the graph could not be set up or run\n";

const char* StatusName(ULONG s) {
    return s == 2 ? "complete" : s == 1 ? "incomplete" : "none";
}

struct Options {
    std::string input;
    unsigned packetSize = 0;
    bool json = false;
};

int Usage(const char* message) {
    fprintf(stderr, "quenlix: %s\nTry 'quenlix --help'.\n", message);
    return kUsage;
}

// The common fields of one section copy handed out by the filter, then its decoded fields.
Node SectionNode(const StoredSection* s, Node (*decode)(const uint8_t*, size_t), bool hasCrc = true) {
    Node o = Node::Object();
    o.Set("pid", Node::Int(s->pid, true));
    o.Set("section_number", Node::Int(s->section_number));
    o.Set("length", Node::Int(s->length));
    if (hasCrc && s->length >= 4) {
        const BYTE* c = s->bytes + s->length - 4;
        char buf[16];
        snprintf(buf, sizeof buf, "0x%08X",
                 (static_cast<unsigned>(c[0]) << 24) | (c[1] << 16) | (c[2] << 8) |
                     static_cast<unsigned>(c[3]));
        o.Set("crc32", Node::Text(buf));
    }
    Node d = decode(s->bytes, s->length);
    for (const auto& [key, value] : d.Fields()) {
        o.Set(key, value);
    }
    return o;
}

// Collects what the filter holds. Keys the interface cannot list (services, sources, ETM_ids) are
// taken from the tables that name them: the PAT and SDT for DVB EIT, the VCT for ATSC EIT and the
// ATSC EIT events for ETT.
class Collector {
public:
    explicit Collector(ITableCollector* tc) : m_tc(tc) {}

    Node Tables() {
        Node t = Node::Object();
        t.Set("pat", Pat());
        t.Set("pmt", Pmt());
        t.Set("cat",
              Indexed(&ITableCollector::GetCatStatus, &ITableCollector::GetCatSectionCount,
                      &ITableCollector::GetCatSection, &ITableCollector::FreeCatSection, quenlix::DecodeCat));
        t.Set("nit",
              Keyed(&ITableCollector::GetNitStatus, &ITableCollector::GetNitSectionCount,
                    &ITableCollector::GetNitSection, &ITableCollector::FreeNitSection, quenlix::DecodeNit));
        t.Set("sdt",
              Keyed(&ITableCollector::GetSdtStatus, &ITableCollector::GetSdtSectionCount,
                    &ITableCollector::GetSdtSection, &ITableCollector::FreeSdtSection, quenlix::DecodeSdt));
        t.Set("bat",
              Indexed(&ITableCollector::GetBatStatus, &ITableCollector::GetBatSectionCount,
                      &ITableCollector::GetBatSection, &ITableCollector::FreeBatSection, quenlix::DecodeNit));
        t.Set("eit", DvbEit());
        t.Set("tdt", Single(&ITableCollector::GetTdtStatus, &ITableCollector::GetTdtSection,
                            &ITableCollector::FreeTdtSection, quenlix::DecodeTdt, false));
        t.Set("tot", Single(&ITableCollector::GetTotStatus, &ITableCollector::GetTotSection,
                            &ITableCollector::FreeTotSection, quenlix::DecodeTot, true));
        t.Set("rst", Single(&ITableCollector::GetRstStatus, &ITableCollector::GetRstSection,
                            &ITableCollector::FreeRstSection, quenlix::DecodeRst, false));
        t.Set("mgt", Single(&ITableCollector::GetMgtStatus, &ITableCollector::GetMgtSection,
                            &ITableCollector::FreeMgtSection, quenlix::DecodeMgt, true));
        t.Set("vct",
              Indexed(&ITableCollector::GetVctStatus, &ITableCollector::GetVctSectionCount,
                      &ITableCollector::GetVctSection, &ITableCollector::FreeVctSection, quenlix::DecodeVct));
        t.Set("stt", Single(&ITableCollector::GetSttStatus, &ITableCollector::GetSttSection,
                            &ITableCollector::FreeSttSection, quenlix::DecodeStt, true));
        const Node& sttSections = *t.Find("stt")->Find("sections");
        if (!sttSections.Items().empty()) {
            if (const Node* offset = sttSections.Items().front().Find("gps_utc_offset")) {
                m_gpsUtcOffset = static_cast<unsigned>(offset->AsInt());
            }
        }
        t.Set("atsc_eit", AtscEit());
        t.Set("ett", Ett());
        return t;
    }

private:
    using StatusFn = HRESULT (STDMETHODCALLTYPE ITableCollector::*)(ULONG*);
    using CountFn = HRESULT (STDMETHODCALLTYPE ITableCollector::*)(ULONG*);
    using IndexFn = HRESULT (STDMETHODCALLTYPE ITableCollector::*)(ULONG, StoredSection**);
    using FreeFn = HRESULT (STDMETHODCALLTYPE ITableCollector::*)(StoredSection**);
    using KeyStatusFn = HRESULT (STDMETHODCALLTYPE ITableCollector::*)(ULONG, ULONG*);
    using KeyIndexFn = HRESULT (STDMETHODCALLTYPE ITableCollector::*)(ULONG, ULONG, StoredSection**);
    using SingleFn = HRESULT (STDMETHODCALLTYPE ITableCollector::*)(StoredSection**);
    using Decoder = Node (*)(const uint8_t*, size_t);

    static Node Table(ULONG status, ULONG count, const char* keyName = nullptr, ULONG key = 0) {
        Node t = Node::Object();
        if (keyName != nullptr) {
            t.Set(keyName, Node::Int(key, true));
        }
        t.Set("status", Node::Text(StatusName(status)));
        t.Set("section_count", Node::Int(count));
        t.Set("sections", Node::Array());
        return t;
    }

    // Takes one copy: decodes it, hands it back, and records it in t (or the gap, for an empty slot).
    void Add(Node& t, StoredSection* s, FreeFn freeFn, Decoder decode, bool hasCrc, ULONG index) {
        Node& list = *t.Find("sections");
        if (s == nullptr) {
            Node gap = Node::Object();
            gap.Set("section_number", Node::Int(index));
            gap.Set("missing", Node::Bool(true));
            list.Push(gap);
            return;
        }
        list.Push(SectionNode(s, decode, hasCrc));
        (m_tc->*freeFn)(&s);
    }

    Node Indexed(StatusFn statusFn, CountFn countFn, IndexFn getFn, FreeFn freeFn, Decoder decode) {
        ULONG status = 0, count = 0;
        (m_tc->*statusFn)(&status);
        (m_tc->*countFn)(&count);
        Node t = Table(status, count);
        for (ULONG i = 0; i < count; ++i) {
            StoredSection* s = nullptr;
            if (SUCCEEDED((m_tc->*getFn)(i, &s))) {
                Add(t, s, freeFn, decode, true, i);
            }
        }
        return t;
    }

    Node Keyed(KeyStatusFn statusFn, KeyStatusFn countFn, KeyIndexFn getFn, FreeFn freeFn, Decoder decode) {
        ULONG status = 0, count = 0;
        (m_tc->*statusFn)(0, &status);
        (m_tc->*countFn)(0, &count);
        Node t = Table(status, count);
        for (ULONG i = 0; i < count; ++i) {
            StoredSection* s = nullptr;
            if (SUCCEEDED((m_tc->*getFn)(0, i, &s))) {
                Add(t, s, freeFn, decode, true, i);
            }
        }
        return t;
    }

    Node Single(StatusFn statusFn, SingleFn getFn, FreeFn freeFn, Decoder decode, bool hasCrc) {
        ULONG status = 0;
        (m_tc->*statusFn)(&status);
        StoredSection* s = nullptr;
        bool held = status == 2 && SUCCEEDED((m_tc->*getFn)(&s)) && s != nullptr;
        Node t = Table(status, held ? 1 : 0);
        if (held) {
            Add(t, s, freeFn, decode, hasCrc, 0);
        }
        return t;
    }

    Node Pat() {
        Node t =
            Indexed(&ITableCollector::GetPatStatus, &ITableCollector::GetPatSectionCount,
                    &ITableCollector::GetPatSection, &ITableCollector::FreePatSection, quenlix::DecodePat);
        for (const Node& s : t.Find("sections")->Items()) {
            if (const Node* programs = s.Find("programs")) {
                for (const Node& p : programs->Items()) {
                    ULONG number = static_cast<ULONG>(p.Find("program_number")->AsInt());
                    if (number != 0) {
                        m_programs.push_back({static_cast<ULONG>(p.Find("pid")->AsInt()), number});
                        m_services.insert(number);
                    }
                }
            }
        }
        return t;
    }

    Node Pmt() {
        ULONG status = 0, count = 0;
        m_tc->GetPmtStatus(&status);
        m_tc->GetPmtSectionCount(&count);
        Node t = Table(status, count);
        Node& list = *t.Find("sections");
        for (const auto& [pid, program] : m_programs) {
            StoredSection* s = nullptr;
            if (m_tc->GetPmtSection(pid, program, &s) == S_OK && s != nullptr) {
                list.Push(SectionNode(s, quenlix::DecodePmt));
                m_tc->FreePmtSection(&s);
            }
        }
        return t;
    }

    Node DvbEit() {
        // Service ids from the SDT of the actual stream besides those from the PAT.
        StoredSection* s = nullptr;
        ULONG count = 0;
        m_tc->GetSdtSectionCount(0, &count);
        for (ULONG i = 0; i < count; ++i) {
            s = nullptr;
            if (m_tc->GetSdtSection(0, i, &s) == S_OK && s != nullptr) {
                Node sdt = quenlix::DecodeSdt(s->bytes, s->length);
                for (const Node& svc : sdt.Find("services")->Items()) {
                    m_services.insert(static_cast<ULONG>(svc.Find("service_id")->AsInt()));
                }
                m_tc->FreeSdtSection(&s);
            }
        }
        Node tables = Node::Array();
        std::vector<ULONG> tableIds = {0x4E};
        for (ULONG id = 0x50; id <= 0x5F; ++id) {
            tableIds.push_back(id);
        }
        for (ULONG tableId : tableIds) {
            ULONG status = 0, n = 0;
            m_tc->GetEitStatus(tableId, &status);
            m_tc->GetEitSectionCount(tableId, &n);
            if (status == 0 && n == 0) {
                continue;
            }
            Node t = Table(status, n, "table_id", tableId);
            Node& list = *t.Find("sections");
            for (ULONG service : m_services) {
                for (ULONG sn = 0; sn < 256; ++sn) {
                    s = nullptr;
                    if (m_tc->GetEitSection(tableId, sn, service, &s) == S_OK && s != nullptr) {
                        list.Push(SectionNode(s, quenlix::DecodeDvbEit));
                        m_tc->FreeEitSection(&s);
                    }
                }
            }
            tables.Push(t);
        }
        Node eit = Node::Object();
        eit.Set("tables", tables);
        return eit;
    }

    Node AtscEit() {
        std::vector<ULONG> types;
        StoredSection* s = nullptr;
        if (m_tc->GetMgtSection(&s) == S_OK && s != nullptr) {
            Node mgt = quenlix::DecodeMgt(s->bytes, s->length);
            for (const Node& e : mgt.Find("tables")->Items()) {
                ULONG type = static_cast<ULONG>(e.Find("table_type")->AsInt());
                if (type >= 0x0100 && type <= 0x017F) {
                    types.push_back(type);
                }
            }
            m_tc->FreeMgtSection(&s);
        }
        std::set<ULONG> sources;
        ULONG count = 0;
        m_tc->GetVctSectionCount(&count);
        for (ULONG i = 0; i < count; ++i) {
            s = nullptr;
            if (m_tc->GetVctSection(i, &s) == S_OK && s != nullptr) {
                Node vct = quenlix::DecodeVct(s->bytes, s->length);
                for (const Node& ch : vct.Find("channels")->Items()) {
                    ULONG source = static_cast<ULONG>(ch.Find("source_id")->AsInt());
                    sources.insert(source);
                    if (ch.Find("etm_location")->AsInt() != 0) {
                        m_etmIds.insert(source << 16); // the channel's own ETM
                    }
                }
                m_tc->FreeVctSection(&s);
            }
        }
        Node tables = Node::Array();
        for (ULONG type : types) {
            ULONG status = 0, n = 0;
            m_tc->GetAtscEitStatus(type, &status);
            m_tc->GetAtscEitSectionCount(type, &n);
            Node t = Table(status, n, "table_type", type);
            Node& list = *t.Find("sections");
            for (ULONG source : sources) {
                for (ULONG sn = 0; sn < 256; ++sn) {
                    s = nullptr;
                    if (m_tc->GetAtscEitSection(type, sn, source, &s) == S_OK && s != nullptr) {
                        Node node = SectionNode(s, quenlix::DecodeAtscEit);
                        for (Node& e : node.Find("events")->Items()) {
                            // Start times are GPS seconds; UTC needs the STT's offset (0 without one).
                            e.Set("start",
                                  Node::Text(quenlix::GpsTime(
                                      static_cast<uint32_t>(e.Find("start_time")->AsInt()), m_gpsUtcOffset)));
                            if (e.Find("etm_location")->AsInt() != 0) {
                                m_etmIds.insert((source << 16) |
                                                (static_cast<ULONG>(e.Find("event_id")->AsInt()) << 2) | 0x2);
                            }
                        }
                        list.Push(node);
                        m_tc->FreeAtscEitSection(&s);
                    }
                }
            }
            tables.Push(t);
        }
        Node eit = Node::Object();
        eit.Set("tables", tables);
        return eit;
    }

    Node Ett() {
        ULONG count = 0;
        HRESULT hr = m_tc->GetEttSectionCount(&count);
        Node t = Node::Object();
        t.Set("section_count", Node::Int(SUCCEEDED(hr) ? count : 0));
        Node& list = t.Set("sections", Node::Array());
        for (ULONG etm : m_etmIds) {
            StoredSection* s = nullptr;
            if (m_tc->GetEttSection(etm, &s) == S_OK && s != nullptr) {
                list.Push(SectionNode(s, quenlix::DecodeEtt));
                m_tc->FreeEttSection(&s);
            }
        }
        return t;
    }

    ITableCollector* m_tc;
    std::vector<std::pair<ULONG, ULONG>> m_programs; // (PMT PID, program_number)
    std::set<ULONG> m_services;
    std::set<ULONG> m_etmIds;
    unsigned m_gpsUtcOffset = 0;
};

Node InputNode(const Options& o, const qxhost::TsReader& reader) {
    const qxhost::TsReaderStats& s = reader.Stats();
    Node n = Node::Object();
    n.Set("name", Node::Text(o.input == "-" ? "(standard input)" : o.input));
    n.Set("packet_size", Node::Int(reader.PacketSize()));
    n.Set("bytes", Node::Int(static_cast<int64_t>(s.bytes)));
    n.Set("packets", Node::Int(static_cast<int64_t>(s.packets)));
    n.Set("sync_losses", Node::Int(static_cast<int64_t>(s.sync_losses)));
    n.Set("skipped_bytes", Node::Int(static_cast<int64_t>(s.skipped_bytes)));
    n.Set("error_packets", Node::Int(static_cast<int64_t>(s.error_packets)));
    n.Set("scrambled_packets", Node::Int(static_cast<int64_t>(s.scrambled_packets)));
    n.Set("no_payload_packets", Node::Int(static_cast<int64_t>(s.no_payload_packets)));
    n.Set("truncated_bytes", Node::Int(static_cast<int64_t>(s.truncated_bytes)));
    return n;
}

Node DemuxNode(const SectionDemuxStats& s) {
    Node n = Node::Object();
    n.Set("sections_delivered", Node::Int(static_cast<int64_t>(s.samples)));
    n.Set("mapped_packets", Node::Int(static_cast<int64_t>(s.demux.mapped_packets)));
    n.Set("continuity_errors", Node::Int(static_cast<int64_t>(s.demux.sections.cc_errors)));
    n.Set("repeated_packets", Node::Int(static_cast<int64_t>(s.demux.sections.duplicates)));
    n.Set("dropped_partial_sections", Node::Int(static_cast<int64_t>(s.demux.sections.dropped_partial)));
    n.Set("oversized_sections", Node::Int(static_cast<int64_t>(s.demux.sections.oversized)));
    return n;
}

// Builds and runs the graph; fills tables. kOk or kFailed (with a message already printed).
// *abortCode receives the failure a filter reported while the graph ran (S_OK when none).
// *moduleUsed receives the module the filter came from.
int Scan(qxhost::TsReader& reader, Node* tables, SectionDemuxStats* demuxStats, HRESULT* abortCode,
         std::string* moduleUsed) {
    HRESULT hr = S_OK;
    int result = kFailed;
    FilterGraph* graph = FilterGraph::Create();
    SectionDemuxFilter* demux = new SectionDemuxFilter(&reader, nullptr, &hr);
    IBaseFilter* collector = nullptr;
    ITableCollector* tc = nullptr;
    IPin* input = nullptr;
    IMediaControl* control = nullptr;
    IMediaEvent* events = nullptr;
    LONG code = 0;
    const char* step = "create the demultiplexer";
    if (demux != nullptr) {
        demux->AddRef();
    }
    if (graph == nullptr || demux == nullptr || FAILED(hr)) {
        hr = FAILED(hr) ? hr : E_OUTOFMEMORY;
        goto done;
    }
    // The filter comes from the module as any application gets it: by class through COM, or from
    // quenlix.ax beside the program when the class is not registered.
    step = "create the Korvane Trevasi Filter";
    hr = quenlix::CreateCollector(CLSID_TableCollectorFilter, IID_IBaseFilter,
                                  reinterpret_cast<void**>(&collector), moduleUsed);
    if (FAILED(hr)) {
        goto done;
    }
    step = "build the graph";
    if (FAILED(hr = collector->QueryInterface(IID_ITableCollector, reinterpret_cast<void**>(&tc))) ||
        FAILED(hr = graph->AddFilter(demux, L"Section demultiplexer")) ||
        FAILED(hr = graph->AddFilter(collector, L"Korvane Trevasi Filter")) ||
        FAILED(hr = collector->FindPin(L"Input", &input)) ||
        FAILED(hr = graph->ConnectDirect(demux->GetPin(0), input, nullptr)) ||
        FAILED(hr = graph->QueryInterface(IID_IMediaControl, reinterpret_cast<void**>(&control))) ||
        FAILED(hr = graph->QueryInterface(IID_IMediaEvent, reinterpret_cast<void**>(&events)))) {
        goto done;
    }
    step = "run the graph";
    if (FAILED(hr = control->Run()) || FAILED(hr = events->WaitForCompletion(INFINITE, &code))) {
        goto done;
    }
    control->Stop();
    *abortCode = S_OK;
    if (code == EC_ERRORABORT) {
        LONG ev = 0;
        LONG_PTR p1 = 0, p2 = 0;
        while (events->GetEvent(&ev, &p1, &p2, 0) == S_OK) {
            if (ev == EC_ERRORABORT && SUCCEEDED(*abortCode)) {
                *abortCode = FAILED(static_cast<HRESULT>(p1)) ? static_cast<HRESULT>(p1) : E_FAIL;
            }
        }
    }
    *tables = Collector(tc).Tables();
    *demuxStats = demux->Stats();
    result = kOk;
done:
    if (result != kOk) {
        fprintf(stderr, "quenlix: cannot %s: %s\n", step, quenlix::DescribeHresult(hr).c_str());
        if (!moduleUsed->empty()) {
            fprintf(stderr, "quenlix: module tried: %s\n", moduleUsed->c_str());
        }
    }
    if (control != nullptr) {
        control->Stop();
        control->Release();
    }
    if (events != nullptr) {
        events->Release();
    }
    if (input != nullptr) {
        input->Release();
    }
    if (tc != nullptr) {
        tc->Release();
    }
    if (graph != nullptr) {
        graph->Release(); // removes and releases the filters
    }
    if (collector != nullptr) {
        collector->Release();
    }
    if (demux != nullptr) {
        demux->Release();
    }
    return result;
}

int RunScan(const Options& o) {
    qxhost::FileSource source;
    std::string why;
    const char* name = o.input == "-" ? "standard input" : o.input.c_str();
    if (!source.Open(o.input, &why)) {
        fprintf(stderr, "quenlix: %s: cannot open: %s\n", name, why.c_str());
        return kCannotRead;
    }
    qxhost::TsReader reader(&source, o.packetSize);
    // The packet size is found before the graph is built, so that input which is no transport
    // stream at all gets a plain answer instead of an empty scan.
    switch (reader.Detect()) {
    case qxhost::TsReader::Result::End:
        fprintf(stderr, "quenlix: %s: empty input\n", name);
        return kEmpty;
    case qxhost::TsReader::Result::ReadError:
        fprintf(stderr, "quenlix: %s: read error\n", name);
        return kCannotRead;
    case qxhost::TsReader::Result::NotTransportStream:
        if (o.packetSize != 0) {
            fprintf(stderr, "quenlix: %s: not an MPEG-2 transport stream of %u-byte packets\n", name,
                    o.packetSize);
        } else {
            fprintf(stderr,
                    "quenlix: %s: not an MPEG-2 transport stream (no sync bytes 188, 192 or 204 bytes "
                    "apart)\n",
                    name);
        }
        return kNotTs;
    case qxhost::TsReader::Result::Packet:
        break;
    }

    Node tables;
    SectionDemuxStats demuxStats;
    HRESULT aborted = S_OK;
    std::string module;
    // COM is initialised for the scan so that a registered filter class is found by CoCreateInstance;
    // every object is released before it is uninitialised.
    HRESULT hrInit = CoInitialize(nullptr);
    int result = Scan(reader, &tables, &demuxStats, &aborted, &module);
    if (SUCCEEDED(hrInit)) {
        CoUninitialize();
    }
    if (result != kOk) {
        return result;
    }
    Node report = Node::Object();
    report.Set("input", InputNode(o, reader));
    report.Set("filter_module", Node::Text(module));
    report.Set("demux", DemuxNode(demuxStats));
    report.Set("tables", tables);
    if (o.json) {
        report.PrintJson(stdout);
        fputc('\n', stdout);
    } else {
        report.PrintText(stdout);
    }
    fflush(stdout);

    // A failure after the start leaves what was read so far collected and printed.
    if (FAILED(aborted)) {
        fprintf(stderr,
                "quenlix: %s: the scan stopped early (error 0x%08X); the tables above hold what was "
                "read before it\n",
                name, static_cast<unsigned>(aborted));
        return kCannotRead;
    }
    if (reader.Stats().truncated_bytes != 0) {
        fprintf(stderr, "quenlix: %s: stream ends inside a packet (%llu trailing bytes dropped)\n", name,
                static_cast<unsigned long long>(reader.Stats().truncated_bytes));
        return kTruncated;
    }
    return kOk;
}

} // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.empty()) {
        return Usage("missing command");
    }
    if (args[0] == "--help" || args[0] == "-h" || args[0] == "help") {
        fputs(kHelp, stdout);
        fputs("\nmodule commands:\n", stdout);
        fputs(quenlix::kRegisterHelp, stdout);
        fputs(quenlix::kPageHelp, stdout);
        return kOk;
    }
    if (args[0] == "register" || args[0] == "unregister" || args[0] == "registry") {
        std::vector<std::string> rest(args.begin() + 1, args.end());
        return args[0] == "register"     ? quenlix::RunRegister(rest)
               : args[0] == "unregister" ? quenlix::RunUnregister(rest)
                                         : quenlix::RunRegistry(rest);
    }
    if (args[0] == "page") {
        return quenlix::RunPage(std::vector<std::string>(args.begin() + 1, args.end()));
    }
    if (args[0] != "scan") {
        return Usage(("unknown command '" + args[0] + "'").c_str());
    }
    Options o;
    bool haveInput = false;
    for (size_t i = 1; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--help" || a == "-h") {
            fputs(kHelp, stdout);
            return kOk;
        } else if (a == "--json") {
            o.json = true;
        } else if (a == "--packet-size" || a.rfind("--packet-size=", 0) == 0) {
            std::string v;
            if (a == "--packet-size") {
                if (i + 1 >= args.size()) {
                    return Usage("--packet-size needs a value");
                }
                v = args[++i];
            } else {
                v = a.substr(strlen("--packet-size="));
            }
            if (v != "188" && v != "192" && v != "204") {
                return Usage(("packet size must be 188, 192 or 204, not '" + v + "'").c_str());
            }
            o.packetSize = static_cast<unsigned>(atoi(v.c_str()));
        } else if (a.size() > 1 && a[0] == '-' && a != "-") {
            return Usage(("unknown option '" + a + "'").c_str());
        } else if (haveInput) {
            return Usage("only one input can be scanned at a time");
        } else {
            o.input = a;
            haveInput = true;
        }
    }
    if (!haveInput) {
        return Usage("missing FILE (or - for standard input)");
    }
    return RunScan(o);
}
