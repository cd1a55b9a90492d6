// quenlix: scans an MPEG-2 transport stream through the table-collecting filter and prints every
// table it collected. The program is an ordinary application of the filter: a scan session builds
// the graph (reader and section demultiplexer, then the filter), runs it, and the report reads what
// the filter holds through ITableCollector only.
#include <windows.h>
#include <objbase.h>
#include <quenlix.h>
#include <quenlix_version.h>

#include <CLI/CLI.hpp>

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <set>
#include <string>
#include <vector>

#include "host/ScanSession.h"
#include "page_command.h"
#include "register_command.h"
#include "report.h"
#include "scan_setup.h"
#include "table_watch.h"
#include "udp_source.h"

namespace {

using Clock = std::chrono::steady_clock;

struct ScanOptions {
    std::string input;
    unsigned packetSize = 0;
    quenlix::ReportOptions report;
    std::vector<std::string> tables;
    bool untilComplete = false;
    bool follow = false;
    bool progress = true;
};

const char kExitStatus[] = "exit status:\n"
                           "  0  scanned (a stream that ends inside a packet too, with a warning)\n"
                           "  1  the input cannot be read or holds no transport stream\n"
                           "  2  usage error\n"
                           "  3  the filter or the graph could not be set up\n";

const std::vector<std::string> kTableNames = {"pat", "pmt", "cat", "nit", "sdt", "bat",      "eit", "tdt",
                                              "tot", "rst", "mgt", "vct", "stt", "atsc_eit", "ett"};

// "  12.5 MB of 512.0 MB   2%   85.1 MB/s" on one line of stderr, redrawn in place.
class ProgressBar {
public:
    explicit ProgressBar(uint64_t total) : m_total(total), m_start(Clock::now()), m_last(m_start) {}
    void Update(uint64_t bytes) {
        Clock::time_point now = Clock::now();
        if (now - m_last < std::chrono::milliseconds(200)) {
            return;
        }
        m_last = now;
        double seconds = std::chrono::duration<double>(now - m_start).count();
        double mb = static_cast<double>(bytes) / 1e6;
        int percent = m_total != 0 ? static_cast<int>(bytes * 100 / m_total) : 0;
        const int width = 30;
        std::string bar(static_cast<size_t>(width * percent / 100), '#');
        bar.resize(width, '.');
        fprintf(stderr, "\r[%s] %3d%%  %.1f of %.1f MB  %.1f MB/s\x1b[K", bar.c_str(), percent, mb,
                static_cast<double>(m_total) / 1e6, seconds > 0 ? mb / seconds : 0.0);
        fflush(stderr);
        m_shown = true;
    }
    ~ProgressBar() {
        if (m_shown) {
            fputs("\r\x1b[K", stderr);
            fflush(stderr);
        }
    }

private:
    uint64_t m_total;
    Clock::time_point m_start;
    Clock::time_point m_last;
    bool m_shown = false;
};

// Only where someone watches, and only when the wait is worth showing.
constexpr uint64_t kProgressFrom = 8u << 20;

// The events of the tables asked for ("pmt 0x0001" is one of the PMTs).
void PrintEvents(const std::vector<quenlix::TableEvent>& events, const quenlix::ReportOptions& o) {
    for (const quenlix::TableEvent& e : events) {
        if (o.tables.empty() || o.tables.count(e.table.substr(0, e.table.find(' '))) != 0) {
            quenlix::PrintEvent(stdout, e, o.json);
        }
    }
}

int RunScan(const ScanOptions& o) {
    quenlix::ComScope com;
    qxhost::ScanSession session;
    int status = quenlix::OpenInput(session, o.input, o.packetSize);
    if (status != qxhost::kScanOk) {
        return status;
    }
    if ((status = quenlix::BuildGraph(session)) != qxhost::kScanOk) {
        return status;
    }
    ITableCollector* tc = session.Collector();
    quenlix::KeepEveryEitVersion(tc);
    const bool live = quenlix::IsUdpUrl(o.input);
    std::unique_ptr<ProgressBar> progress;
    if (o.progress && !o.follow && session.InputSize() >= kProgressFrom && isatty(STDERR_FILENO)) {
        progress = std::make_unique<ProgressBar>(session.InputSize());
    }
    quenlix::TableWatch watch;
    // A live stream comes in small datagrams: look at the tables now and then, not after each one.
    const auto every = std::chrono::milliseconds(live ? 20 : 0);
    Clock::time_point lastLook;
    auto hook = [&]() {
        if (progress) {
            progress->Update(session.BytesRead());
        }
        Clock::time_point now = Clock::now();
        if (now - lastLook < every) {
            return false;
        }
        lastLook = now;
        if (o.follow) {
            PrintEvents(watch.Look(tc), o.report);
        }
        return o.untilComplete && quenlix::CollectionComplete(tc);
    };
    {
        quenlix::InterruptEndsScan interrupts(&session);
        status = quenlix::RunScanSession(session, hook);
    }
    progress.reset();
    if (status == qxhost::kScanSetupError) {
        return status;
    }
    // What was read before a failure part-way is still reported.
    if (o.follow) {
        PrintEvents(watch.Look(tc), o.report);
    } else {
        quenlix::ScanFacts facts;
        facts.input = o.input == "-" ? "(standard input)" : o.input;
        facts.packet_size = session.PacketSize();
        facts.reader = session.ReaderStats();
        facts.demux = session.DemuxStats();
        facts.module = session.Module();
        quenlix::WriteReport(tc, o.report, facts, stdout);
    }
    fflush(stdout);
    std::string warning = session.Warning();
    if (!warning.empty()) {
        fprintf(stderr, "quenlix: warning: %s\n", warning.c_str());
    }
    return status;
}

// Help and version answer 0; every other parse failure is a usage error.
int ParseFailure(CLI::App& app, const CLI::ParseError& e) {
    int code = app.exit(e);
    return code == 0 ? 0 : qxhost::kScanUsage;
}

} // namespace

int main(int argc, char** argv) {
    CLI::App app("Collects the PSI/SI tables of an MPEG-2 transport stream (DVB and ATSC) with the Korvane "
                 "Trevasi Filter and prints them.",
                 "quenlix");
    app.set_version_flag("--version", std::string("quenlix ") + QUENLIX_VERSION_STRING);
    app.require_subcommand(1);
    app.footer(std::string(kExitStatus) + "\nmodule commands:\n" + quenlix::kRegisterHelp +
               quenlix::kPageHelp);

    ScanOptions scan;
    CLI::App* scanCommand = app.add_subcommand(
        "scan", "Read a transport stream, collect its tables with the filter and print each table it holds: "
                "status, sections and their decoded fields, and what the reader and demultiplexer saw.");
    scanCommand->add_option("input", scan.input, "FILE, - for standard input, or udp://[source@]address:port")
        ->required();
    scanCommand
        ->add_option("--packet-size", scan.packetSize,
                     "188, 192 (4-byte timecode first) or 204 (16 bytes of parity after); found from "
                     "the sync bytes when not given")
        ->check(CLI::IsMember({188u, 192u, 204u}));
    scanCommand->add_flag("--json", scan.report.json, "print JSON instead of text");
    scanCommand->add_flag("--detail", scan.report.detail, "print every field and descriptor of each section");
    scanCommand->add_flag("--hex", scan.report.hex, "print the raw bytes of each section too");
    scanCommand->add_option("--tables", scan.tables, "print only these tables, e.g. pat,pmt,sdt")
        ->delimiter(',')
        ->check(CLI::IsMember(kTableNames));
    scanCommand->add_flag(
        "--until-complete", scan.untilComplete,
        "stop reading once the PAT, every PMT and every other table seen so far are complete");
    scanCommand->add_flag("--follow", scan.follow,
                          "read until interrupted and print one line (with --json one JSON object) each time "
                          "a table appears, changes version or becomes complete");
    scanCommand->add_flag("!--no-progress", scan.progress, "no progress bar on a terminal");
    scanCommand->footer(kExitStatus);

    quenlix::PageOptions page;
    CLI::App* pageCommand = app.add_subcommand(
        "page", "Scan like quenlix scan, then show the filter's \"Service Information\" property page in the "
                "terminal.");
    pageCommand->add_option("input", page.input, "FILE, - for standard input, or udp://[source@]address:port")
        ->required();
    pageCommand->add_option("--packet-size", page.packetSize, "188, 192 or 204; found when not given")
        ->check(CLI::IsMember({188u, 192u, 204u}));
    pageCommand->add_flag("--dump", page.dump, "print the rows of every view (PAT, each PMT, NIT) instead");
    pageCommand->footer(std::string(quenlix::kPageKeys) + "\n" + kExitStatus);

    // The module commands keep their own arguments and regsvr32's exit statuses.
    std::vector<CLI::App*> moduleCommands = {
        app.add_subcommand("register", "call the module's DllRegisterServer, as regsvr32 does"),
        app.add_subcommand("unregister", "call the module's DllUnregisterServer"),
        app.add_subcommand("registry", "what the registry holds for the filter and its property page")};
    for (CLI::App* c : moduleCommands) {
        c->prefix_command();
    }

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        return ParseFailure(app, e);
    }

    for (CLI::App* c : moduleCommands) {
        if (c->parsed()) {
            std::vector<std::string> rest = c->remaining();
            const std::string& name = c->get_name();
            return name == "register"     ? quenlix::RunRegister(rest)
                   : name == "unregister" ? quenlix::RunUnregister(rest)
                                          : quenlix::RunRegistry(rest);
        }
    }
    if (pageCommand->parsed()) {
        return quenlix::RunPage(page);
    }
    scan.report.tables.insert(scan.tables.begin(), scan.tables.end());
    if (scan.follow && scan.untilComplete) {
        fprintf(stderr, "quenlix: --follow and --until-complete exclude each other\n");
        return qxhost::kScanUsage;
    }
    return RunScan(scan);
}
