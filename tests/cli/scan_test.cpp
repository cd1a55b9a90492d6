// End to end: generated multiplexes go through the quenlix program (reader, demultiplexer, graph,
// filter, ITableCollector) and what it prints must be what the builder wrote, table by table.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include <quenlix_version.h>

#include "cli/json.h"
#include "cli/sample_streams.h"
#include "support/core/ts_packetizer.h"

using namespace qxtest;

namespace {

// The program sits beside the test programs' folder in the build tree.
std::string ProgramPath() {
    char self[4096];
    ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    std::string path = n > 0 ? std::string(self, static_cast<size_t>(n)) : std::string();
    path = path.substr(0, path.rfind('/'));
    return path.substr(0, path.rfind('/')) + "/tools/quenlix";
}

std::string TempPath(const std::string& name) {
    const char* dir = getenv("TMPDIR");
    return std::string(dir != nullptr ? dir : "/tmp") + "/quenlix_cli_" + std::to_string(getpid()) + "_" +
           name;
}

std::string ReadFile(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    std::stringstream ss;
    ss << f.rdbuf();
    return ss.str();
}

void WriteFile(const std::string& path, const Bytes& bytes) {
    std::ofstream f(path, std::ios::binary);
    f.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

// The source tree's top folder.
std::string TopDir() {
    return QX_SOURCE_DIR;
}

struct Outcome {
    int status = -1; // exit status; -1 when the program did not exit normally (a crash)
    std::string out, err;
};

// Runs the program with the arguments (already quoted for the shell), optionally feeding stdin.
Outcome Quenlix(const std::string& args, const std::string& stdinPath = "") {
    std::string out = TempPath("stdout"), err = TempPath("stderr");
    // An empty registry of its own: the filter then comes from quenlix.ax beside the program, the
    // module of this build, whatever the machine has registered.
    std::string cmd = "QUENLIX_REGISTRY='" + TempPath("registry.reg") + "' '" + ProgramPath() + "' " + args +
                      " >'" + out + "' 2>'" + err + "'";
    if (!stdinPath.empty()) {
        cmd += " <'" + stdinPath + "'";
    }
    int raw = system(cmd.c_str());
    Outcome r;
    r.status = (raw != -1 && WIFEXITED(raw)) ? WEXITSTATUS(raw) : -1;
    r.out = ReadFile(out);
    r.err = ReadFile(err);
    remove(out.c_str());
    remove(err.c_str());
    return r;
}

std::string Crc(const Bytes& s) {
    char buf[16];
    size_t n = s.size();
    snprintf(buf, sizeof buf, "0x%02X%02X%02X%02X", s[n - 4], s[n - 3], s[n - 2], s[n - 1]);
    return buf;
}

// Same bytes as far as the printout can tell: same length and CRC_32.
void ExpectSection(const Json& got, const Bytes& want, const std::string& what) {
    SCOPED_TRACE(what);
    EXPECT_EQ(static_cast<long long>(want.size()), got["length"].Int());
    EXPECT_EQ(Crc(want), got["crc32"].text);
}

void ExpectIndexed(const Json& table, const std::vector<Bytes>& want, const std::string& what) {
    SCOPED_TRACE(what);
    EXPECT_EQ(want.empty() ? "incomplete" : "complete", table["status"].text);
    ASSERT_EQ(want.size(), table["sections"].size());
    EXPECT_EQ(static_cast<long long>(want.size()), table["section_count"].Int());
    for (size_t i = 0; i < want.size(); ++i) {
        EXPECT_EQ(static_cast<long long>(i), table["sections"][i]["section_number"].Int());
        ExpectSection(table["sections"][i], want[i], what + " " + std::to_string(i));
    }
}

void ExpectSingle(const Json& table, const Bytes& want, bool crc, const std::string& what) {
    SCOPED_TRACE(what);
    if (want.empty()) {
        EXPECT_EQ("incomplete", table["status"].text);
        EXPECT_EQ(0u, table["sections"].size());
        return;
    }
    EXPECT_EQ("complete", table["status"].text);
    ASSERT_EQ(1u, table["sections"].size());
    EXPECT_EQ(static_cast<long long>(want.size()), table["sections"][0]["length"].Int());
    if (crc) {
        EXPECT_EQ(Crc(want), table["sections"][0]["crc32"].text);
    }
}

// Every table of the scan against what the builder wrote, and nothing more.
void ExpectTables(const Json& t, const ExpectedTables& x) {
    ExpectIndexed(t["pat"], x.pat, "PAT");
    ExpectIndexed(t["nit"], x.nit, "NIT");
    ExpectIndexed(t["sdt"], x.sdt, "SDT");
    ExpectIndexed(t["bat"], x.bat, "BAT");
    ExpectIndexed(t["cat"], x.cat, "CAT");
    ExpectIndexed(t["vct"], x.vct, "VCT");
    ExpectSingle(t["tdt"], x.tdt, false, "TDT");
    ExpectSingle(t["tot"], x.tot, true, "TOT");
    ExpectSingle(t["rst"], x.rst, false, "RST");
    ExpectSingle(t["mgt"], x.mgt, true, "MGT");
    ExpectSingle(t["stt"], x.stt, true, "STT");

    const Json& pmt = t["pmt"];
    EXPECT_EQ(x.pmt.empty() ? "incomplete" : "complete", pmt["status"].text);
    ASSERT_EQ(x.pmt.size(), pmt["sections"].size());
    for (const Json& s : pmt["sections"].items) {
        auto it = x.pmt.find(static_cast<uint16_t>(s["program_number"].Int()));
        ASSERT_NE(x.pmt.end(), it);
        EXPECT_EQ(it->second.first, s["pid"].Int());
        ExpectSection(s, it->second.second, "PMT " + std::to_string(it->first));
    }

    size_t eitSections = 0;
    for (const Json& table : t["eit"]["tables"].items) {
        for (const Json& s : table["sections"].items) {
            auto key = std::make_tuple(static_cast<uint8_t>(table["table_id"].Int()),
                                       static_cast<uint16_t>(s["service_id"].Int()),
                                       static_cast<uint8_t>(s["section_number"].Int()));
            auto it = x.eit.find(key);
            ASSERT_NE(x.eit.end(), it) << "unexpected EIT section";
            EXPECT_EQ(0x12, s["pid"].Int());
            ExpectSection(s, it->second, "EIT");
            ++eitSections;
        }
    }
    EXPECT_EQ(x.eit.size(), eitSections);

    size_t atscSections = 0;
    for (const Json& table : t["atsc_eit"]["tables"].items) {
        for (const Json& s : table["sections"].items) {
            auto key = std::make_tuple(static_cast<uint16_t>(table["table_type"].Int()),
                                       static_cast<uint16_t>(s["source_id"].Int()),
                                       static_cast<uint8_t>(s["section_number"].Int()));
            auto it = x.atsc_eit.find(key);
            ASSERT_NE(x.atsc_eit.end(), it) << "unexpected ATSC EIT section";
            EXPECT_EQ(it->second.first, s["pid"].Int());
            ExpectSection(s, it->second.second, "ATSC EIT");
            ++atscSections;
        }
    }
    EXPECT_EQ(x.atsc_eit.size(), atscSections);

    const Json& ett = t["ett"];
    EXPECT_EQ(static_cast<long long>(x.ett.size()), ett["section_count"].Int());
    ASSERT_EQ(x.ett.size(), ett["sections"].size());
    for (const Json& s : ett["sections"].items) {
        auto it = x.ett.find(static_cast<uint32_t>(s["etm_id"].Int()));
        ASSERT_NE(x.ett.end(), it);
        EXPECT_EQ(it->second.first, s["pid"].Int());
        ExpectSection(s, it->second.second, "ETT");
    }
}

Json ScanJson(const Bytes& ts, const std::string& name, const std::string& options = "") {
    std::string path = TempPath(name);
    WriteFile(path, ts);
    Outcome r = Quenlix("scan --json " + options + " '" + path + "'");
    remove(path.c_str());
    EXPECT_EQ(0, r.status) << r.err;
    EXPECT_EQ("", r.err);
    return Json::Parse(r.out);
}

} // namespace

TEST(QuenlixScan, DvbAndAtscMultiplexWithNoiseAtEveryPacketSize) {
    for (unsigned size : {188u, 192u, 204u}) {
        SCOPED_TRACE(size);
        MuxOptions o;
        o.packet_size = size;
        o.seed = size;
        BuiltStream built = BuildSampleStream(o);
        Json j = ScanJson(built.ts, "mux.ts");
        EXPECT_EQ(size, j["input"]["packet_size"].Int());
        std::string module = j["filter_module"].text;
        EXPECT_EQ(ProgramPath().substr(0, ProgramPath().rfind('/')) + "/quenlix.ax", module);
        EXPECT_EQ(1, j["input"]["sync_losses"].Int());
        EXPECT_EQ(97, j["input"]["skipped_bytes"].Int());
        EXPECT_EQ(1, j["input"]["error_packets"].Int());
        EXPECT_EQ(1, j["demux"]["repeated_packets"].Int());
        ExpectTables(j["tables"], built.expected);
    }
}

TEST(QuenlixScan, DvbOnlyAndAtscOnlyStreams) {
    MuxOptions dvb;
    dvb.atsc = false;
    BuiltStream d = BuildSampleStream(dvb);
    Json jd = ScanJson(d.ts, "dvb.ts");
    ExpectTables(jd["tables"], d.expected);
    // The decoded fields follow the builder too.
    const Json& sdt = jd["tables"]["sdt"]["sections"][0];
    EXPECT_EQ(0x0421, sdt["transport_stream_id"].Int());
    ASSERT_EQ(3u, sdt["services"].size());
    EXPECT_EQ("Quenlix Two", sdt["services"][1]["service_name"].text);
    EXPECT_EQ("Quenlix Network", jd["tables"]["nit"]["sections"][0]["network_name"].text);
    EXPECT_EQ("2024-03-01T12:34:56Z", jd["tables"]["tdt"]["sections"][0]["utc_time"].text);
    const Json& pat = jd["tables"]["pat"]["sections"][0];
    EXPECT_EQ(3, pat["version"].Int());
    EXPECT_EQ(4u, pat["programs"].size());

    MuxOptions atsc;
    atsc.dvb = false;
    atsc.packet_size = 204;
    BuiltStream a = BuildSampleStream(atsc);
    Json ja = ScanJson(a.ts, "atsc.ts");
    ExpectTables(ja["tables"], a.expected);
    const Json& vct = ja["tables"]["vct"]["sections"][0];
    ASSERT_EQ(2u, vct["channels"].size());
    EXPECT_EQ("QXB", vct["channels"][1]["short_name"].text);
    EXPECT_EQ(7, vct["channels"][1]["major_channel_number"].Int());
    EXPECT_EQ(2, vct["channels"][1]["minor_channel_number"].Int());
    EXPECT_EQ("2024-03-01T12:34:56Z", ja["tables"]["stt"]["sections"][0]["utc_time"].text);
    EXPECT_EQ("About QXA Film", ja["tables"]["ett"]["sections"][1]["text"].text);
}

TEST(QuenlixScan, StandardInputForcedPacketSizeAndTextOutput) {
    MuxOptions o;
    o.packet_size = 192;
    o.noise = false;
    BuiltStream built = BuildSampleStream(o);
    std::string path = TempPath("stdin.ts");
    WriteFile(path, built.ts);

    Outcome r = Quenlix("scan --packet-size 192 --json -", path);
    ASSERT_EQ(0, r.status) << r.err;
    Json j = Json::Parse(r.out);
    EXPECT_EQ("(standard input)", j["input"]["name"].text);
    ExpectTables(j["tables"], built.expected);

    Outcome wrong = Quenlix("scan --packet-size=188 '" + path + "'");
    EXPECT_EQ(1, wrong.status);
    EXPECT_NE(std::string::npos, wrong.err.find("not an MPEG-2 transport stream of 188-byte packets"))
        << wrong.err;

    Outcome text = Quenlix("scan --detail '" + path + "'");
    EXPECT_EQ(0, text.status);
    EXPECT_NE(std::string::npos, text.out.find("transport_stream_id: 0x0421"));
    EXPECT_NE(std::string::npos, text.out.find("short_name QXA"));
    remove(path.c_str());
}

TEST(QuenlixScan, EveryKindOfInputGetsTheSameAnswerFromScanAndPageDump) {
    BuiltStream built = BuildSampleStream(MuxOptions{});
    std::string text = "This is not a transport stream.\n";
    Bytes words;
    for (int i = 0; i < 400; ++i) {
        words.insert(words.end(), text.begin(), text.end());
    }
    std::string path = TempPath("input.ts");
    struct Case {
        const char* what;
        std::string input; // a path; empty: path, written with bytes
        Bytes bytes;
        int status;
        const char* message; // on stderr
    };
    const Case cases[] = {
        {"missing", TempPath("no-such-file.ts"), {}, 1, "cannot open: No such file or directory"},
        {"unreadable", "/proc/self/mem", {}, 1, "/proc/self/mem: read error"},
        {"directory", TopDir(), {}, 1, "is a directory"},
        {"empty", "", {}, 1, "empty input"},
        {"text", "", words, 1, "not an MPEG-2 transport stream"},
        {"random bytes", "", NoiseSource(11).RandomBytes(50000), 1, "not an MPEG-2 transport stream"},
        // A capture stopped by hand: everything that arrived is scanned, with a warning.
        {"cut inside a packet", "", Bytes(built.ts.begin(), built.ts.end() - 100), 0, "quenlix: warning: "},
    };
    for (const Case& c : cases) {
        for (const std::string command : {"scan --json", "page --dump"}) {
            SCOPED_TRACE(std::string(c.what) + ", " + command);
            std::string input = c.input;
            if (input.empty()) {
                WriteFile(path, c.bytes);
                input = path;
            }
            Outcome r = Quenlix(command + " '" + input + "'");
            EXPECT_EQ(c.status, r.status);
            EXPECT_NE(std::string::npos, r.err.find(c.message)) << r.err;
            // One line naming the input.
            EXPECT_EQ(1, std::count(r.err.begin(), r.err.end(), '\n')) << r.err;
            EXPECT_NE(std::string::npos,
                      r.err.find(input == TopDir() ? input : input.substr(input.rfind('/'))))
                << r.err;
            if (c.status != 0) {
                EXPECT_EQ("", r.out);
            } else if (command == "scan --json") {
                EXPECT_NE(std::string::npos,
                          r.err.find("stream ends inside a packet (88 trailing bytes dropped)"))
                    << r.err;
                Json j = Json::Parse(r.out);
                EXPECT_EQ(88, j["input"]["truncated_bytes"].Int());
                EXPECT_EQ("complete", j["tables"]["pat"]["status"].text);
            } else {
                EXPECT_NE(std::string::npos, r.out.find("== PAT ==")) << r.out;
            }
        }
    }
    remove(path.c_str());
}

TEST(QuenlixScan, UsageErrorsExitTwo) {
    for (const char* args :
         {"", "scan", "scan --packet-size 190 x.ts", "scan --bogus x.ts", "frobnicate x.ts",
          "scan --tables pat,foo x.ts", "scan a.ts b.ts", "scan --follow --until-complete x.ts",
          "scan udp://127.0.0.1", "scan udp://239.1.1.300:1234", "page --dump", "page --bogus x.ts",
          "page --dump --packet-size 100 x.ts", "page x.ts"}) { // without a terminal only --dump can run
        SCOPED_TRACE(args);
        Outcome r = Quenlix(args);
        EXPECT_EQ(2, r.status);
        EXPECT_NE("", r.err);
        EXPECT_EQ("", r.out);
    }
    Outcome help = Quenlix("--help");
    EXPECT_EQ(0, help.status);
    for (const char* text : {"scan", "page", "register", "exit status", "quenlix page --dump FILE"}) {
        EXPECT_NE(std::string::npos, help.out.find(text)) << text;
    }
    help = Quenlix("scan --help");
    EXPECT_EQ(0, help.status);
    // The manual page documents what the help lists.
    std::string manual = ReadFile(TopDir() + "/docs/quenlix.1");
    for (std::string option : {"--json", "--hex", "--detail", "--tables", "--until-complete", "--follow",
                               "--packet-size", "--no-progress", "udp://"}) {
        EXPECT_NE(std::string::npos, help.out.find(option)) << option;
        for (size_t at = 0; (at = option.find('-', at)) != std::string::npos; at += 2) {
            option.replace(at, 1, "\\-");
        }
        EXPECT_NE(std::string::npos, manual.find(option)) << option;
    }
    Outcome version = Quenlix("--version");
    EXPECT_EQ(0, version.status);
    EXPECT_EQ(std::string("quenlix ") + QUENLIX_VERSION_STRING + "\n", version.out);
}

TEST(QuenlixScan, StreamWithoutTablesPrintsEmptyTables) {
    Bytes nulls;
    for (int i = 0; i < 50; ++i) {
        Bytes p = NullPacket();
        nulls.insert(nulls.end(), p.begin(), p.end());
    }
    Json j = ScanJson(nulls, "nulls.ts");
    EXPECT_EQ(50, j["input"]["packets"].Int());
    EXPECT_EQ("incomplete", j["tables"]["pat"]["status"].text);
    EXPECT_EQ(0u, j["tables"]["pat"]["sections"].size());
    EXPECT_EQ(0u, j["tables"]["eit"]["tables"].size());
}

TEST(QuenlixScan, BundledSampleIsWhatTheGeneratorWrites) {
    // samples/quenlix-sample.ts must stay in step with the generator (see samples/README.md).
    std::string bundled = ReadFile(TopDir() + "/samples/quenlix-sample.ts");
    BuiltStream built = BuildSampleStream(MuxOptions{});
    ASSERT_FALSE(bundled.empty());
    EXPECT_TRUE(bundled == std::string(built.ts.begin(), built.ts.end()));
    EXPECT_LT(bundled.size(), 200u * 1024);
}

TEST(QuenlixScan, UntilCompleteStopsEarlyWithTheSameTables) {
    MuxOptions o;
    o.noise = false;
    o.cycles = 400; // a few MB of the same tables over and over
    BuiltStream built = BuildSampleStream(o);
    std::string path = TempPath("long.ts");
    WriteFile(path, built.ts);
    Outcome full = Quenlix("scan '" + path + "'");
    Outcome early = Quenlix("scan --until-complete '" + path + "'");
    Outcome earlyJson = Quenlix("scan --json --until-complete '" + path + "'");
    remove(path.c_str());
    ASSERT_EQ(0, full.status) << full.err;
    ASSERT_EQ(0, early.status) << early.err;
    EXPECT_EQ("", early.err); // stopping between two reads is no cut capture
    Json j = Json::Parse(earlyJson.out);
    EXPECT_LT(j["input"]["bytes"].Int(), static_cast<long long>(built.ts.size() / 4));
    ExpectTables(j["tables"], built.expected);
    size_t tables = full.out.find("\nTables:");
    ASSERT_NE(std::string::npos, tables);
    EXPECT_EQ(full.out.substr(tables), early.out.substr(early.out.find("\nTables:")));
}

TEST(QuenlixScan, TablesOptionKeepsOnlyTheTablesNamed) {
    BuiltStream built = BuildSampleStream(MuxOptions{});
    Json j = ScanJson(built.ts, "some.ts", "--tables pat,sdt --tables vct");
    std::vector<std::string> names;
    for (const auto& [name, table] : j["tables"].fields) {
        names.push_back(name);
    }
    EXPECT_EQ((std::vector<std::string>{"pat", "sdt", "vct"}), names);
    ExpectIndexed(j["tables"]["sdt"], built.expected.sdt, "SDT");
    // Report options of the writer are accepted with every other option.
    std::string path = TempPath("opts.ts");
    WriteFile(path, built.ts);
    Outcome r = Quenlix("scan --hex --detail --packet-size 188 --tables pmt '" + path + "'");
    remove(path.c_str());
    EXPECT_EQ(0, r.status) << r.err;
    EXPECT_NE(std::string::npos, r.out.find("pmt:"));
    EXPECT_EQ(std::string::npos, r.out.find("pat:"));
}

TEST(QuenlixScan, WithoutTheModuleScanAndPageCannotSetUpTheGraph) {
    // A copy of the program in a folder of its own has no quenlix.ax beside it, and the registry
    // of its own knows no filter class.
    std::string dir = TempPath("alone");
    std::string program = dir + "/quenlix";
    ASSERT_EQ(0, system(("mkdir -p '" + dir + "' && cp '" + ProgramPath() + "' '" + program + "'").c_str()));
    for (const std::string command : {"scan", "page --dump"}) {
        SCOPED_TRACE(command);
        std::string err = TempPath("alone.err");
        int raw = system(("QUENLIX_REGISTRY='" + TempPath("alone.reg") + "' '" + program + "' " + command +
                          " '" + TopDir() + "/samples/quenlix-sample.ts' >/dev/null 2>'" + err + "'")
                             .c_str());
        EXPECT_TRUE(WIFEXITED(raw));
        EXPECT_EQ(3, WEXITSTATUS(raw));
        EXPECT_NE(std::string::npos, ReadFile(err).find("cannot create the Korvane Trevasi Filter"))
            << ReadFile(err);
        remove(err.c_str());
    }
    system(("rm -rf '" + dir + "'").c_str());
}
