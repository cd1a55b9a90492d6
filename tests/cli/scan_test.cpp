// End to end: generated multiplexes go through the quenlix program (reader, demultiplexer, graph,
// filter, ITableCollector) and what it prints must be what the builder wrote, table by table.
#include <gtest/gtest.h>

#include <algorithm>

#include <quenlix_version.h>

#include "cli/program.h"
#include "cli/sample_streams.h"
#include "support/core/ts_packetizer.h"

using namespace qxtest;

namespace {

std::string Section(const std::string& table, unsigned pid, unsigned number, const std::string& length,
                    const std::string& crc) {
    return table + " pid " + std::to_string(pid) + " #" + std::to_string(number) + " length " + length +
           " crc " + crc;
}

// The tables of a scan as lines, one per table ("name status count") and one per section ("name pid
// #index length crc", or #section_number in the keyed groups), sorted, so that a whole scan compares
// with what the builder sent in one go.
std::vector<std::string> Printed(json tables) {
    std::vector<std::string> out;
    for (auto& [name, table] : tables.items()) {
        if (!table.contains("tables")) {
            out.push_back(name + " " + table.value("status", "-") + " " + table["section_count"].dump());
        }
        for (json& group : table.contains("tables") ? table["tables"] : json::array({table})) {
            // Copies of the keyed groups carry the PID they came on; the others are listed by index.
            const bool keyed = name == "pmt" || name == "ett" || table.contains("tables");
            for (unsigned i = 0; i < group["sections"].size(); ++i) {
                json& s = group["sections"][i];
                out.push_back(Section(name, keyed ? s["pid"] : json(0), keyed ? s["section_number"] : json(i),
                                      s["length"].dump(), s.value("crc32", "-")));
            }
        }
    }
    std::sort(out.begin(), out.end());
    return out;
}

// The same lines for the sections the builder wrote; only the tables named, when names are given.
std::vector<std::string> Sent(const ExpectedTables& x, const std::vector<std::string>& names = {}) {
    std::vector<std::string> out;
    auto add = [&](const std::string& name, unsigned pid, const Bytes& s, bool crc = true, unsigned i = 0) {
        char c[16];
        const size_t n = s.size();
        snprintf(c, sizeof c, "0x%02X%02X%02X%02X", s[n - 4], s[n - 3], s[n - 2], s[n - 1]);
        out.push_back(Section(name, pid, pid != 0 ? s[6] : i, std::to_string(n), crc ? c : "-"));
    };
    auto table = [&](const std::string& name, const std::vector<Bytes>& sections, bool crc) {
        out.push_back(name + (sections.empty() ? " incomplete " : " complete ") +
                      std::to_string(sections.size()));
        for (unsigned i = 0; i < sections.size(); ++i) {
            add(name, 0, sections[i], crc, i);
        }
    };
    auto single = [](const Bytes& s) { return s.empty() ? std::vector<Bytes>{} : std::vector<Bytes>{s}; };
    table("pat", x.pat, true);
    table("nit", x.nit, true);
    table("sdt", x.sdt, true);
    table("bat", x.bat, true);
    table("cat", x.cat, true);
    table("vct", x.vct, true);
    table("tdt", single(x.tdt), false);
    table("tot", single(x.tot), true);
    table("rst", single(x.rst), false);
    table("mgt", single(x.mgt), true);
    table("stt", single(x.stt), true);
    out.push_back("pmt " + std::string(x.pmt.empty() ? "incomplete " : "complete ") +
                  std::to_string(x.pmt.size()));
    for (const auto& [program, s] : x.pmt) {
        add("pmt", s.first, s.second);
    }
    for (const auto& [key, s] : x.eit) {
        add("eit", 0x12, s);
    }
    for (const auto& [key, s] : x.atsc_eit) {
        add("atsc_eit", s.first, s.second);
    }
    out.push_back("ett - " + std::to_string(x.ett.size()));
    for (const auto& [id, s] : x.ett) {
        add("ett", s.first, s.second);
    }
    if (!names.empty()) {
        std::erase_if(out, [&](const std::string& line) {
            return std::find(names.begin(), names.end(), line.substr(0, line.find(' '))) == names.end();
        });
    }
    std::sort(out.begin(), out.end());
    return out;
}

} // namespace

TEST(QuenlixScan, DvbAndAtscMultiplexWithNoiseAtEveryPacketSize) {
    for (unsigned size : {188u, 192u, 204u}) {
        SCOPED_TRACE(size);
        MuxOptions o;
        o.packet_size = size;
        o.seed = size;
        BuiltStream built = BuildSampleStream(o);
        json j = ScanJson(built.ts);
        EXPECT_EQ(size, j["input"]["packet_size"]);
        EXPECT_EQ(ProgramPath().substr(0, ProgramPath().rfind('/')) + "/quenlix.ax", j["filter_module"]);
        EXPECT_EQ(1, j["input"]["sync_losses"]);
        EXPECT_EQ(97, j["input"]["skipped_bytes"]);
        EXPECT_EQ(1, j["input"]["error_packets"]);
        EXPECT_EQ(1, j["demux"]["repeated_packets"]);
        EXPECT_EQ(Sent(built.expected), Printed(j["tables"]));
    }
}

TEST(QuenlixScan, DvbOnlyAndAtscOnlyStreams) {
    MuxOptions dvb;
    dvb.atsc = false;
    BuiltStream d = BuildSampleStream(dvb);
    json jd = ScanJson(d.ts);
    EXPECT_EQ(Sent(d.expected), Printed(jd["tables"]));
    // The decoded fields follow the builder too.
    json& sdt = jd["tables"]["sdt"]["sections"][0];
    EXPECT_EQ(0x0421, sdt["transport_stream_id"]);
    ASSERT_EQ(3u, sdt["services"].size());
    EXPECT_EQ("Quenlix Two", sdt["services"][1]["service_name"]);
    EXPECT_EQ("Quenlix Network", jd["tables"]["nit"]["sections"][0]["network_name"]);
    EXPECT_EQ("2024-03-01T12:34:56Z", jd["tables"]["tdt"]["sections"][0]["utc_time"]);
    EXPECT_EQ(3, jd["tables"]["pat"]["sections"][0]["version"]);
    EXPECT_EQ(4u, jd["tables"]["pat"]["sections"][0]["programs"].size());

    MuxOptions atsc;
    atsc.dvb = false;
    atsc.packet_size = 204;
    BuiltStream a = BuildSampleStream(atsc);
    json ja = ScanJson(a.ts);
    EXPECT_EQ(Sent(a.expected), Printed(ja["tables"]));
    json& vct = ja["tables"]["vct"]["sections"][0];
    ASSERT_EQ(2u, vct["channels"].size());
    EXPECT_EQ("QXB", vct["channels"][1]["short_name"]);
    EXPECT_EQ(7, vct["channels"][1]["major_channel_number"]);
    EXPECT_EQ(2, vct["channels"][1]["minor_channel_number"]);
    EXPECT_EQ("2024-03-01T12:34:56Z", ja["tables"]["stt"]["sections"][0]["utc_time"]);
    EXPECT_EQ("About QXA Film", ja["tables"]["ett"]["sections"][1]["text"]);
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
    json j = json::parse(r.out);
    EXPECT_EQ("(standard input)", j["input"]["name"]);
    EXPECT_EQ(Sent(built.expected), Printed(j["tables"]));

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
        {"directory", std::string(QX_SOURCE_DIR), {}, 1, "is a directory"},
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
            EXPECT_NE(
                std::string::npos,
                r.err.find(input == std::string(QX_SOURCE_DIR) ? input : input.substr(input.rfind('/'))))
                << r.err;
            if (c.status != 0) {
                EXPECT_EQ("", r.out);
            } else if (command == "scan --json") {
                EXPECT_NE(std::string::npos,
                          r.err.find("stream ends inside a packet (88 trailing bytes dropped)"))
                    << r.err;
                json j = json::parse(r.out);
                EXPECT_EQ(88, j["input"]["truncated_bytes"]);
                EXPECT_EQ("complete", j["tables"]["pat"]["status"]);
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
    std::string manual = ReadFile(std::string(QX_SOURCE_DIR) + "/docs/quenlix.1");
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
    json j = ScanJson(nulls);
    EXPECT_EQ(50, j["input"]["packets"]);
    EXPECT_EQ(Sent(ExpectedTables{}), Printed(j["tables"]));
}

TEST(QuenlixScan, BundledSampleIsWhatTheGeneratorWrites) {
    // samples/quenlix-sample.ts must stay in step with the generator (see samples/README.md).
    std::string bundled = ReadFile(std::string(QX_SOURCE_DIR) + "/samples/quenlix-sample.ts");
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
    Outcome early = Quenlix("scan --json --until-complete '" + path + "'");
    remove(path.c_str());
    ASSERT_EQ(0, early.status) << early.err;
    EXPECT_EQ("", early.err); // stopping between two reads is no cut capture
    json j = json::parse(early.out);
    EXPECT_LT(j["input"]["bytes"], built.ts.size() / 4);
    EXPECT_EQ(Sent(built.expected), Printed(j["tables"]));
}

TEST(QuenlixScan, TablesOptionKeepsOnlyTheTablesNamed) {
    BuiltStream built = BuildSampleStream(MuxOptions{});
    json j = ScanJson(built.ts, "--tables pat,sdt --tables vct");
    EXPECT_EQ(Sent(built.expected, {"pat", "sdt", "vct"}), Printed(j["tables"]));
    // Report options of the writer are accepted with every other option.
    Outcome r = Scan(built.ts, "--hex --detail --packet-size 188 --tables pmt");
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
        int raw =
            system(("QUENLIX_REGISTRY='" + TempPath("alone.reg") + "' '" + program + "' " + command + " '" +
                    std::string(QX_SOURCE_DIR) + "/samples/quenlix-sample.ts' >/dev/null 2>'" + err + "'")
                       .c_str());
        EXPECT_TRUE(WIFEXITED(raw));
        EXPECT_EQ(3, WEXITSTATUS(raw));
        EXPECT_NE(std::string::npos, ReadFile(err).find("cannot create the Korvane Trevasi Filter"))
            << ReadFile(err);
        remove(err.c_str());
    }
    system(("rm -rf '" + dir + "'").c_str());
}
