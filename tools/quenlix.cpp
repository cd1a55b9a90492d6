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

struct Options {
    std::string input;
    unsigned packetSize = 0;
    bool json = false;
};

int Usage(const char* message) {
    fprintf(stderr, "quenlix: %s\nTry 'quenlix --help'.\n", message);
    return kUsage;
}

// Builds and runs the graph, then prints the report. kOk or kFailed (with a message already printed).
// *abortCode receives the failure a filter reported while the graph ran (S_OK when none).
int Scan(qxhost::TsReader& reader, const Options& o, HRESULT* abortCode) {
    std::string module;
    std::string* moduleUsed = &module;
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
    {
        quenlix::ScanFacts facts;
        facts.input = o.input == "-" ? "(standard input)" : o.input;
        facts.packet_size = reader.PacketSize();
        facts.reader = reader.Stats();
        facts.demux = demux->Stats();
        facts.module = module;
        quenlix::ReportOptions ro;
        ro.json = o.json;
        quenlix::WriteReport(tc, ro, facts, stdout);
    }
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

    HRESULT aborted = S_OK;
    // COM is initialised for the scan so that a registered filter class is found by CoCreateInstance;
    // every object is released before it is uninitialised.
    HRESULT hrInit = CoInitialize(nullptr);
    int result = Scan(reader, o, &aborted);
    if (SUCCEEDED(hrInit)) {
        CoUninitialize();
    }
    if (result != kOk) {
        return result;
    }
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
