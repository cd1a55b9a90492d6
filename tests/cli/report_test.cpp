// The report over si/, end to end through the program: EPGs in the character tables broadcasters use, an
// EPG whose present/following versions churn, streams that announce far more than they carry, and the
// JSON against its published schema.
#include <gtest/gtest.h>

#include <sys/resource.h>

#include "cli/program.h"
#include "cli/sample_streams.h"
#include "support/core/atsc_builder.h"
#include "support/core/ts_packetizer.h"

using namespace qxtest;

namespace {

Bytes Str(const std::string& s) {
    return Bytes(s.begin(), s.end());
}
Bytes Len8(const Bytes& b) {
    Bytes out = {static_cast<uint8_t>(b.size())};
    out.insert(out.end(), b.begin(), b.end());
    return out;
}

Bytes Sdt(const std::vector<std::pair<uint16_t, Bytes>>& services, uint8_t number = 0, uint8_t last = 0) {
    SectionBuilder b; // (service_id, name as sent)
    b.Table(0x42).Extension(1).Number(number, last).Append({0x00, 0x01, 0xFF});
    for (const auto& [id, name] : services) {
        Bytes d = Descriptor(0x48, Bytes{0x01, 0x00});
        Bytes n = Len8(name);
        d.insert(d.end(), n.begin(), n.end());
        d[1] = static_cast<uint8_t>(d.size() - 2);
        b.Append16(id);
        b.Append({0xFD});
        b.Append16(static_cast<uint16_t>(0x8000 | d.size()));
        b.body.insert(b.body.end(), d.begin(), d.end());
    }
    return b.Build();
}

// An EIT section with one event named in the bytes given (selector included).
Bytes Eit(uint8_t table, uint16_t service, uint8_t version, const Bytes& name, uint8_t number = 0,
          uint8_t last = 0) {
    SectionBuilder b;
    b.Table(table).Extension(service).Version(version).Number(number, last);
    b.Append({0x00, 0x01, 0x00, 0x01, last, table});
    Bytes shortEvent = Str("deu");
    Bytes n = Len8(name);
    shortEvent.insert(shortEvent.end(), n.begin(), n.end());
    shortEvent.push_back(0);
    const Bytes d = Descriptor(0x4D, shortEvent);
    b.Append16(static_cast<uint16_t>(number + 1));
    const Bytes start = DvbUtc(2024, 3, 1, 12 + number, 0, 0);
    b.body.insert(b.body.end(), start.begin(), start.end());
    b.Append({0x00, 0x30, 0x00});
    b.Append16(static_cast<uint16_t>(0x8000 | d.size()));
    b.body.insert(b.body.end(), d.begin(), d.end());
    return b.Build();
}

// As many SDT sections as the services need.
std::vector<Bytes> Sdts(const std::vector<std::pair<uint16_t, Bytes>>& services) {
    constexpr size_t kPerSection = 50;
    std::vector<Bytes> out;
    const size_t sections = (services.size() + kPerSection - 1) / kPerSection;
    for (size_t i = 0; i < sections; ++i) {
        const auto from = services.begin() + static_cast<long>(i * kPerSection);
        const auto to =
            services.begin() + static_cast<long>(std::min(services.size(), (i + 1) * kPerSection));
        out.push_back(Sdt({from, to}, static_cast<uint8_t>(i), static_cast<uint8_t>(sections - 1)));
    }
    return out;
}

Bytes Packets(uint16_t pid, const std::vector<Bytes>& sections) {
    return TsPacketizer(pid).Packetize(sections);
}

void Append(Bytes& ts, const Bytes& more) {
    ts.insert(ts.end(), more.begin(), more.end());
}

} // namespace

TEST(QuenlixReport, EpgsInTheirCharacterTablesReadCorrectlyInTextAndJson) {
    const struct {
        Bytes name;
        const char* utf8;
    } epg[] = {
        {{'N', 'a',  'c', 'h', 'r', 'i', 'c', 'h', 't', 'e',  'n', ' ',
          'f', 0xC8, 'u', 'r', ' ', 'S', 't', 'r', 'a', 0xFB, 'e'},
         "Nachrichten für Straße"},                                                         // ISO 6937
        {{0x12, 0xBE, 0xC8, 0xB3, 0xE7, 0xC7, 0xCF, 0xBC, 0xBC, 0xBF, 0xE4}, "안녕하세요"}, // KS X 1001
        {{0x15, 'G', 'r', 0xC3, 0xBC, 0xC3, 0x9F, 0xC3, 0xA9}, "Grüßé"},
    };
    std::vector<std::pair<uint16_t, Bytes>> services;
    std::vector<Bytes> eits;
    uint16_t id = 1;
    for (const auto& e : epg) {
        services.emplace_back(id, Str("S"));
        eits.push_back(Eit(0x4E, id, 0, e.name));
        ++id;
    }
    Bytes ts = Packets(0x11, {Sdt(services)});
    Append(ts, Packets(0x12, eits));

    const Outcome text = Scan(ts, "");
    ASSERT_EQ(text.status, 0);
    const json j = ScanJson(ts);
    const json& sections = j["tables"]["eit"]["tables"][0]["sections"];
    ASSERT_EQ(sections.size(), std::size(epg));
    for (size_t i = 0; i < std::size(epg); ++i) {
        EXPECT_NE(text.out.find(epg[i].utf8), std::string::npos) << epg[i].utf8 << "\n" << text.out;
        EXPECT_EQ(sections[i]["events"][0]["event_name"], epg[i].utf8);
        EXPECT_EQ(j["summary"]["services"][i]["now"]["event_name"], epg[i].utf8);
    }
}

TEST(QuenlixReport, PresentFollowingChurnKeepsEveryServicesSchedule) {
    // Every service's schedule first, then its present/following section in three versions: with the
    // filter's default each new version would empty the whole EIT store.
    constexpr uint16_t kServices = 60;
    std::vector<std::pair<uint16_t, Bytes>> services;
    std::vector<Bytes> eits;
    for (uint16_t s = 1; s <= kServices; ++s) {
        services.emplace_back(s, Str("S"));
        eits.push_back(Eit(0x50, s, 0, Str("Later"), 0, 1));
        eits.push_back(Eit(0x50, s, 0, Str("Much later"), 1, 1));
    }
    for (uint8_t v = 0; v < 3; ++v) {
        for (uint16_t s = 1; s <= kServices; ++s) {
            eits.push_back(Eit(0x4E, s, v, Str("Now v" + std::to_string(v))));
        }
    }
    Bytes ts = Packets(0x11, Sdts(services));
    Append(ts, Packets(0x12, eits));
    const json j = ScanJson(ts);
    size_t schedule = 0, now = 0;
    for (const json& t : j["tables"]["eit"]["tables"]) {
        for (const json& s : t["sections"]) {
            if (t["table_id"] == 0x50) {
                ++schedule;
            } else {
                ++now;
                EXPECT_EQ(s["version"], 2);
            }
        }
    }
    EXPECT_EQ(schedule, 2u * kServices);
    EXPECT_EQ(now, kServices);
}

TEST(QuenlixReport, AnnouncedKeysDoNotMultiplyRequests) {
    // A PAT of 256 sections announcing 64,768 programs, plus one EIT section in each EIT table.
    std::vector<Bytes> pat;
    for (int sec = 0; sec < 256; ++sec) {
        std::vector<std::pair<uint16_t, uint16_t>> programs;
        for (int i = 0; i < 253; ++i) {
            const int program = sec * 253 + i + 1;
            programs.emplace_back(static_cast<uint16_t>(program),
                                  static_cast<uint16_t>(0x100 + program % 0x1000));
        }
        pat.push_back(BuildPat(1, 0, programs, static_cast<uint8_t>(sec), 255));
    }
    Bytes ts = Packets(0x00, pat);
    std::vector<Bytes> eits = {Eit(0x4E, 1, 0, Str("pf"))};
    for (uint8_t t = 0x50; t <= 0x5F; ++t) {
        eits.push_back(Eit(t, 1, 0, Str("schedule")));
        eits.back()[13] = 0x5F; // last_table_id
        FixCrc(eits.back());
    }
    Append(ts, Packets(0x12, eits));
    const json dvb = ScanJson(ts, "--tables pat,eit");
    EXPECT_EQ(dvb["tables"]["pat"]["sections"].size(), 256u);
    ASSERT_EQ(dvb["tables"]["eit"]["tables"].size(), 17u);
    for (const json& t : dvb["tables"]["eit"]["tables"]) {
        EXPECT_EQ(t["sections"].size(), 1u) << t["table_id"];
    }
}

TEST(QuenlixReport, JsonFollowsItsSchema) {
    // Real output of DVB, ATSC and noisy streams, of sections that do not decode to their end, and one
    // document broken on purpose, all checked in one run of the validator.
    MuxOptions dvb, atsc, noisy;
    dvb.atsc = false;
    dvb.noise = false;
    atsc.dvb = false;
    atsc.noise = false;
    noisy.seed = 7;
    std::vector<std::string> documents;
    for (const MuxOptions& o : {dvb, atsc, noisy}) {
        const Outcome r = Scan(BuildSampleStream(o).ts, "--json --hex");
        ASSERT_EQ(r.status, 0);
        documents.push_back(r.out);
    }
    Bytes bad = Eit(0x4E, 1, 0, Str("x"));
    bad[24] = 0x8F; // the event's descriptor loop runs past the section
    bad[25] = 0xFF;
    FixCrc(bad);
    Bytes ts = Packets(0x11, {Sdt({{1, Str("S")}})});
    Append(ts, Packets(0x12, {bad}));
    const Outcome malformed = Scan(ts, "--json");
    ASSERT_EQ(malformed.status, 0);
    EXPECT_NE(malformed.out.find("\"malformed\""), std::string::npos) << malformed.out;
    documents.push_back(malformed.out);
    json broken = json::parse(documents[0]);
    broken["tables"]["pat"]["status"] = "finished";
    documents.push_back(broken.dump());

    std::string cmd =
        "python3 -c 'import json, sys, jsonschema\n"
        "v = jsonschema.Draft202012Validator(json.load(open(sys.argv[1])))\n"
        "for p in sys.argv[2:]: print(\"ok\" if v.is_valid(json.load(open(p))) else \"bad\")' '" +
        std::string(QX_SOURCE_DIR) + "/docs/scan-output.schema.json'";
    for (size_t i = 0; i < documents.size(); ++i) {
        const std::string path = TempPath("doc" + std::to_string(i) + ".json");
        std::ofstream(path) << documents[i];
        cmd += " '" + path + "'";
    }
    FILE* p = popen(cmd.c_str(), "r");
    ASSERT_NE(p, nullptr);
    std::string verdicts;
    char buf[256];
    while (fgets(buf, sizeof buf, p) != nullptr) {
        verdicts += buf;
    }
    EXPECT_EQ(pclose(p), 0);
    for (size_t i = 0; i < documents.size(); ++i) {
        remove(TempPath("doc" + std::to_string(i) + ".json").c_str());
    }
    EXPECT_EQ(verdicts, "ok\nok\nok\nok\nbad\n");
}

TEST(QuenlixReport, LargeOutputIsStreamedWithinTheMemoryBound) {
    // 200 services x 8 schedule sections of about 4 KB: the report (JSON with every section's bytes) is
    // several times the sections the filter holds, and none of it may pile up in memory.
    constexpr uint16_t kServices = 200;
    std::vector<std::pair<uint16_t, Bytes>> services;
    std::vector<Bytes> eits;
    size_t held = 0;
    for (uint16_t s = 1; s <= kServices; ++s) {
        services.emplace_back(s, Str("S"));
        for (uint8_t n = 0; n < 8; ++n) {
            SectionBuilder b;
            b.Table(0x50).Extension(s).Number(n, 7);
            b.Append({0x00, 0x01, 0x00, 0x01, 7, 0x50});
            Bytes loop;
            for (uint8_t d = 0; d < 15; ++d) {
                Bytes ext = {static_cast<uint8_t>(d << 4 | 14), 'd', 'e', 'u', 0, 250};
                ext.insert(ext.end(), 250, static_cast<uint8_t>('a' + d));
                const Bytes desc = Descriptor(0x4E, ext);
                loop.insert(loop.end(), desc.begin(), desc.end());
            }
            b.Append16(static_cast<uint16_t>(n + 1));
            const Bytes start = DvbUtc(2024, 3, 1, n, 0, 0);
            b.body.insert(b.body.end(), start.begin(), start.end());
            b.Append({0x01, 0x00, 0x00});
            b.Append16(static_cast<uint16_t>(0x8000 | loop.size()));
            b.body.insert(b.body.end(), loop.begin(), loop.end());
            eits.push_back(b.Build());
            held += eits.back().size();
        }
    }
    Bytes ts = Packets(0x11, Sdts(services));
    Append(ts, Packets(0x12, eits));
    const Outcome r = Scan(ts, "--json --hex");
    ASSERT_EQ(r.status, 0);
    struct rusage usage {};
    getrusage(RUSAGE_CHILDREN, &usage); // the largest program this test ran
    EXPECT_GT(r.out.size(), 2 * held);  // the output is larger than what is held...
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "under the sanitizers' shadow memory and quarantine, peak memory says nothing";
#endif
    const size_t peak = static_cast<size_t>(usage.ru_maxrss) * 1024;
    EXPECT_LE(peak, held * 3 / 2 + (32u << 20))
        << "held " << held << " bytes, output " << r.out.size(); // ...not memory
}
