// quenlix and libdvbpsi side by side, in one run, on the same generated streams.
//
// quenlix runs its whole path: the transport-stream reader, the section demultiplexer and the filter
// in a graph, then an application's read-back of every held table through ITableCollector (keys
// learnt from the tables themselves: PAT to PMTs, SDT to services, MGT to EIT-k, TVCT to sources,
// section 0 to last_section_number). libdvbpsi gets the same packets with every table decoder
// attached, and frees each table it decodes. Printed: MB/s of both and their ratio; the per-section
// cost of a repeated EIT section as the number of services grows; the peak memory of an EPG scan.
//
// Nothing is asserted: these are figures to read.

// libdvbpsi's headers expect these already included.
#include <stddef.h>
#include <stdint.h>
#include <sys/types.h>

#include <dvbpsi/dvbpsi.h>
// clang-format off: the table headers need the base ones first
#include <dvbpsi/psi.h>
#include <dvbpsi/descriptor.h>
#include <dvbpsi/demux.h>
#include <dvbpsi/atsc_eit.h>
#include <dvbpsi/atsc_ett.h>
#include <dvbpsi/atsc_mgt.h>
#include <dvbpsi/atsc_stt.h>
#include <dvbpsi/atsc_vct.h>
#include <dvbpsi/bat.h>
#include <dvbpsi/cat.h>
#include <dvbpsi/eit.h>
#include <dvbpsi/nit.h>
#include <dvbpsi/pat.h>
#include <dvbpsi/pmt.h>
#include <dvbpsi/sdt.h>
#include <dvbpsi/tot.h>
// clang-format on

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "filter/TableCollectorFilter.h"
#include "host/FilterGraph.h"
#include "host/SectionDemuxFilter.h"
#include "host/TsReader.h"
#include "cli/sample_streams.h"
#include "support/core/atsc_builder.h"
#include "support/core/section_builder.h"
#include "support/core/ts_packetizer.h"
#include "tables/EitStore.h"

using namespace qxtest;

namespace {

double Now() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// ---------------------------------------------------------------------------------------------------
// Stream generation

// Sections per PID, cut into packets with one packetizer per PID so that continuity holds across
// cycles. Each table packet may be followed by video packets so that tables are a set share.
struct Mux {
    Bytes ts;
    std::map<uint16_t, TsPacketizer> packetizers;
    unsigned video_per_table_packet = 0;
    uint8_t video_cc = 0;
    Bytes video_payload = Bytes(184, 0x5A);

    void Put(uint16_t pid, const std::vector<Bytes>& sections) {
        Bytes packets = packetizers.try_emplace(pid, pid).first->second.Packetize(sections);
        for (size_t at = 0; at < packets.size(); at += kTsPacket) {
            ts.insert(ts.end(), packets.begin() + static_cast<long>(at),
                      packets.begin() + static_cast<long>(at + kTsPacket));
            for (unsigned v = 0; v < video_per_table_packet; ++v) {
                Bytes p = MakePacket(0x0200, v == 0 && at == 0, video_cc++ & 0x0F, video_payload);
                ts.insert(ts.end(), p.begin(), p.end());
            }
        }
    }
};

Bytes Text(const std::string& s) {
    return Bytes(s.begin(), s.end());
}

// A text of about n characters that differs from event to event.
std::string Words(uint32_t seed, size_t n) {
    static const char* words[] = {"news",   "weather", "drama",  "film",    "sport",  "the",
                                  "of",     "evening", "report", "live",    "series", "episode",
                                  "travel", "history", "music",  "science", "and",    "with"};
    std::string s;
    while (s.size() < n) {
        seed = seed * 1103515245u + 12345u;
        s += words[(seed >> 16) % (sizeof words / sizeof *words)];
        s += ' ';
    }
    s.resize(n);
    return s;
}

// One DVB event: event_id, start, duration, a short event descriptor and, when extendedChars is
// not 0, an extended event descriptor.
Bytes DvbEvent(uint16_t eventId, int hour, uint32_t seed, size_t extendedChars) {
    Bytes d;
    Bytes name = Text(Words(seed, 16 + seed % 12));
    Bytes text = Text(Words(seed * 7, 30 + seed % 20));
    Bytes shortEvent = {'e', 'n', 'g', static_cast<uint8_t>(name.size())};
    shortEvent.insert(shortEvent.end(), name.begin(), name.end());
    shortEvent.push_back(static_cast<uint8_t>(text.size()));
    shortEvent.insert(shortEvent.end(), text.begin(), text.end());
    Bytes descriptors = Descriptor(0x4D, shortEvent);
    if (extendedChars != 0) {
        Bytes ext = Text(Words(seed * 13, extendedChars));
        Bytes extended = {0x00, 'e', 'n', 'g', 0x00, static_cast<uint8_t>(ext.size())};
        extended.insert(extended.end(), ext.begin(), ext.end());
        Bytes e = Descriptor(0x4E, extended);
        descriptors.insert(descriptors.end(), e.begin(), e.end());
    }
    Bytes ev = {static_cast<uint8_t>(eventId >> 8), static_cast<uint8_t>(eventId)};
    Bytes start = DvbUtc(2026, 12, 6 + hour / 24, hour % 24, 0, 0);
    ev.insert(ev.end(), start.begin(), start.end());
    ev.insert(ev.end(), {0x01, 0x00, 0x00}); // one hour, BCD
    ev.push_back(static_cast<uint8_t>(0x80 | ((descriptors.size() >> 8) & 0x0F)));
    ev.push_back(static_cast<uint8_t>(descriptors.size()));
    ev.insert(ev.end(), descriptors.begin(), descriptors.end());
    return ev;
}

Bytes DvbEit(uint8_t tableId, uint16_t service, uint8_t section, uint8_t last, uint8_t segmentLast,
             const Bytes& events) {
    SectionBuilder b;
    b.Table(tableId).Extension(service).Number(section, last);
    b.Append16(0x0101).Append16(0x0001).Append({segmentLast, tableId});
    b.body.insert(b.body.end(), events.begin(), events.end());
    return b.Build();
}

// The schedule of one service in table 0x50: events packed into sections of at most 4 KB, numbered
// from 0, each segment of eight ending its segment_last_section_number at its last section.
std::vector<Bytes> DvbSchedule(uint16_t service, unsigned events, size_t extendedChars) {
    std::vector<Bytes> eventBytes;
    for (unsigned e = 0; e < events; ++e) {
        eventBytes.push_back(
            DvbEvent(static_cast<uint16_t>(e + 1), static_cast<int>(e), service * 1000u + e, extendedChars));
    }
    std::vector<Bytes> bodies(1);
    for (const Bytes& ev : eventBytes) {
        if (bodies.back().size() + ev.size() > 4000) {
            bodies.emplace_back();
        }
        bodies.back().insert(bodies.back().end(), ev.begin(), ev.end());
    }
    const uint8_t last = static_cast<uint8_t>(bodies.size() - 1);
    std::vector<Bytes> sections;
    for (size_t s = 0; s < bodies.size(); ++s) {
        const uint8_t segmentLast = static_cast<uint8_t>(std::min<size_t>(s / 8 * 8 + 7, last));
        sections.push_back(DvbEit(0x50, service, static_cast<uint8_t>(s), last, segmentLast, bodies[s]));
    }
    return sections;
}

// PAT, PMTs, SDT and NIT of a multiplex with these services (program_number = service_id).
struct DvbBase {
    std::vector<Bytes> pat, sdt, nit;
    std::vector<std::pair<uint16_t, Bytes>> pmt; // (PID, section)
};

DvbBase BuildDvbBase(unsigned services) {
    DvbBase base;
    const unsigned perPat = 200;
    const unsigned patSections = (services + perPat - 1) / perPat;
    for (unsigned s = 0; s < patSections; ++s) {
        std::vector<std::pair<uint16_t, uint16_t>> programs;
        if (s == 0) {
            programs.push_back({0, 0x0010});
        }
        for (unsigned i = s * perPat; i < std::min(services, (s + 1) * perPat); ++i) {
            programs.push_back({static_cast<uint16_t>(i + 1), static_cast<uint16_t>(0x1000 + i)});
        }
        base.pat.push_back(
            BuildPat(0x0101, 0, programs, static_cast<uint8_t>(s), static_cast<uint8_t>(patSections - 1)));
    }
    for (unsigned i = 0; i < services; ++i) {
        const uint16_t pid = static_cast<uint16_t>(0x1000 + i);
        base.pmt.push_back({pid, BuildPmt(static_cast<uint16_t>(i + 1), 0, static_cast<uint16_t>(0x1100 + i),
                                          {{0x02, static_cast<uint16_t>(0x1100 + i)},
                                           {0x04, static_cast<uint16_t>(0x1200 + i)}})});
    }
    // SDT: service entries with a service descriptor, as many per section as fit in 1 KB.
    std::vector<Bytes> bodies(1);
    for (unsigned i = 0; i < services; ++i) {
        Bytes name = Text("Service " + std::to_string(i + 1));
        Bytes sd = {0x01, 0x04, 'P', 'r', 'o', 'v', static_cast<uint8_t>(name.size())};
        sd.insert(sd.end(), name.begin(), name.end());
        Bytes desc = Descriptor(0x48, sd);
        Bytes entry = {static_cast<uint8_t>((i + 1) >> 8), static_cast<uint8_t>(i + 1), 0xFF,
                       static_cast<uint8_t>(0x80 | (desc.size() >> 8)), static_cast<uint8_t>(desc.size())};
        entry.insert(entry.end(), desc.begin(), desc.end());
        if (bodies.back().size() + entry.size() > 990) {
            bodies.emplace_back();
        }
        bodies.back().insert(bodies.back().end(), entry.begin(), entry.end());
    }
    for (size_t s = 0; s < bodies.size(); ++s) {
        SectionBuilder b;
        b.Table(0x42).Extension(0x0101).Number(static_cast<uint8_t>(s),
                                               static_cast<uint8_t>(bodies.size() - 1));
        b.Append16(0x0001).Append({0xFF});
        b.body.insert(b.body.end(), bodies[s].begin(), bodies[s].end());
        base.sdt.push_back(b.Build());
    }
    base.nit.push_back(BuildNit(0x3001, 0, Descriptor(0x40, Text("Bench network")), {{0x0101, 0x0001, {}}}));
    return base;
}

void PutDvbBase(Mux& mux, const DvbBase& base, int cycle) {
    mux.Put(0x0000, base.pat);
    for (const auto& [pid, section] : base.pmt) {
        mux.Put(pid, {section});
    }
    mux.Put(0x0011, base.sdt);
    mux.Put(0x0010, base.nit);
    mux.Put(0x0014, {Bytes{0x70, 0x70, 0x05, 0xED, 0x6B, 0x12, static_cast<uint8_t>(cycle % 60), 0x00}});
}

// Realistic DVB: 20 services with present/following and an eight-section schedule each, video
// packets making up three quarters of the stream.
Bytes RealisticDvb(size_t targetBytes) {
    const unsigned services = 20;
    DvbBase base = BuildDvbBase(services);
    std::vector<Bytes> pf, schedule;
    for (unsigned i = 1; i <= services; ++i) {
        for (uint8_t s = 0; s < 2; ++s) {
            pf.push_back(DvbEit(0x4E, static_cast<uint16_t>(i), s, 1, 1, DvbEvent(s + 1, s, i * 10 + s, 0)));
        }
        std::vector<Bytes> sched = DvbSchedule(static_cast<uint16_t>(i), 24, 120);
        schedule.insert(schedule.end(), sched.begin(), sched.end());
    }
    Mux mux;
    mux.video_per_table_packet = 3;
    for (int cycle = 0; mux.ts.size() < targetBytes; ++cycle) {
        PutDvbBase(mux, base, cycle);
        mux.Put(0x0012, pf);
        if (cycle % 4 == 0) {
            mux.Put(0x0012, schedule); // the schedule comes round less often than present/following
        }
    }
    return mux.ts;
}

// DVB EPG: services x events of schedule with extended text, and present/following, no video.
Bytes DvbEpg(unsigned services, unsigned events, int cycles) {
    DvbBase base = BuildDvbBase(services);
    std::vector<Bytes> eit;
    for (unsigned i = 1; i <= services; ++i) {
        for (uint8_t s = 0; s < 2; ++s) {
            eit.push_back(DvbEit(0x4E, static_cast<uint16_t>(i), s, 1, 1, DvbEvent(s + 1, s, i * 10 + s, 0)));
        }
        std::vector<Bytes> sched = DvbSchedule(static_cast<uint16_t>(i), events, 160);
        eit.insert(eit.end(), sched.begin(), sched.end());
    }
    Mux mux;
    for (int cycle = 0; cycle < cycles; ++cycle) {
        PutDvbBase(mux, base, cycle);
        mux.Put(0x0012, eit);
    }
    return mux.ts;
}

// A multiple string structure with one uncompressed segment.
Bytes Mss(const std::string& text) {
    const uint8_t head[] = {0x01, 'e', 'n', 'g', 0x01, 0x00, 0x00, static_cast<uint8_t>(text.size())};
    Bytes m(sizeof head + text.size());
    memcpy(m.data(), head, sizeof head);
    memcpy(m.data() + sizeof head, text.data(), text.size());
    return m;
}

// ATSC EPG: MGT, a TVCT of `channels` channels, STT and EIT-0 to EIT-(eits - 1), one section per
// source and EIT-k with six half-hour events.
Bytes AtscEpg(unsigned channels, unsigned eits, int cycles) {
    std::vector<MgtEntry> entries = {{0x0000, 0x1FFB, 0, 0, {}}};
    for (unsigned k = 0; k < eits; ++k) {
        entries.push_back({static_cast<uint16_t>(0x0100 + k), static_cast<uint16_t>(0x1D00 + k), 0, 0, {}});
    }
    Bytes mgt = BuildMgt(0, entries);
    // TVCT: 32-byte channel records, 25 to a section.
    std::vector<Bytes> vct;
    const unsigned perSection = 25;
    const unsigned vctSections = (channels + perSection - 1) / perSection;
    for (unsigned s = 0; s < vctSections; ++s) {
        SectionBuilder b;
        b.Table(0xC8).Extension(0x0101).Number(static_cast<uint8_t>(s),
                                               static_cast<uint8_t>(vctSections - 1));
        const unsigned first = s * perSection, end = std::min(channels, first + perSection);
        b.Append({0x00, static_cast<uint8_t>(end - first)});
        for (unsigned c = first; c < end; ++c) {
            for (int i = 0; i < 7; ++i) {
                b.Append16(static_cast<uint16_t>(i < 3 ? 'C' + i : ' '));
            }
            const unsigned major = 2 + c / 10, minor = c % 10 + 1;
            b.Append({static_cast<uint8_t>(0xF0 | (major >> 6)),
                      static_cast<uint8_t>((major << 2) | (minor >> 8)), static_cast<uint8_t>(minor)});
            b.Append({0x04, 0x00, 0x00, 0x00, 0x00}); // modulation, carrier_frequency
            b.Append16(0x0101).Append16(static_cast<uint16_t>(c + 1));
            b.Append({0x0D, 0xC2});                   // ETM_location 0, hide_guide 1, service_type 2
            b.Append16(static_cast<uint16_t>(c + 1)); // source_id
            b.Append({0xFC, 0x00});
        }
        b.Append({0xFC, 0x00});
        vct.push_back(BuildPsip(b));
    }
    std::vector<std::pair<uint16_t, std::vector<Bytes>>> eitSections;
    for (unsigned k = 0; k < eits; ++k) {
        std::vector<Bytes> sections;
        for (unsigned c = 1; c <= channels; ++c) {
            SectionBuilder b;
            b.Table(0xCB).Extension(static_cast<uint16_t>(c));
            b.Append({0x00, 6});
            for (unsigned e = 0; e < 6; ++e) {
                const uint16_t eventId = static_cast<uint16_t>(k * 6 + e + 1);
                const uint32_t start = 1'400'000'000u + (k * 6 + e) * 1800u;
                b.Append16(static_cast<uint16_t>(0xC000 | eventId));
                b.Append({static_cast<uint8_t>(start >> 24), static_cast<uint8_t>(start >> 16),
                          static_cast<uint8_t>(start >> 8), static_cast<uint8_t>(start)});
                b.Append({0xC0, 0x07, 0x08}); // ETM_location 0, 1800 s
                Bytes title = Mss(Words(c * 1000 + k * 6 + e, 20 + (c + e) % 16));
                b.Append({static_cast<uint8_t>(title.size())});
                b.body.insert(b.body.end(), title.begin(), title.end());
                b.Append({0xF0, 0x00});
            }
            sections.push_back(BuildPsip(b));
        }
        eitSections.push_back({static_cast<uint16_t>(0x1D00 + k), std::move(sections)});
    }
    Mux mux;
    for (int cycle = 0; cycle < cycles; ++cycle) {
        mux.Put(0x1FFB, {mgt});
        mux.Put(0x1FFB, vct);
        mux.Put(0x1FFB, {BuildStt(1'400'000'000u + static_cast<uint32_t>(cycle))});
        for (const auto& [pid, sections] : eitSections) {
            mux.Put(pid, sections);
        }
    }
    return mux.ts;
}

// ---------------------------------------------------------------------------------------------------
// quenlix: reader, demultiplexer, filter, then the read-back an application makes

struct Tally {
    size_t sections = 0;
    size_t bytes = 0;
};

uint16_t Be16(const BYTE* p) {
    return static_cast<uint16_t>((p[0] << 8) | p[1]);
}

// Reads one copy, hands it to look (if any) and frees it with the given release.
template <class Get, class Free>
bool Take(Tally& t, Get get, Free release, const std::function<void(const StoredSection&)>& look = {}) {
    StoredSection* s = nullptr;
    if (get(&s) != S_OK || s == nullptr) {
        return false;
    }
    ++t.sections;
    t.bytes += s->length;
    if (look) {
        look(*s);
    }
    release(&s);
    return true;
}

Tally ReadBack(ITableCollector* tc) {
    Tally t;
    ULONG count = 0;
    std::vector<std::pair<ULONG, ULONG>> programs; // (PMT PID, program_number)
    tc->GetPatSectionCount(&count);
    for (ULONG i = 0; i < count; ++i) {
        Take(
            t, [&](StoredSection** s) { return tc->GetPatSection(i, s); },
            [&](StoredSection** s) { tc->FreePatSection(s); },
            [&](const StoredSection& s) {
                for (DWORD at = 8; at + 4 + 4 <= s.length; at += 4) {
                    const ULONG number = Be16(s.bytes + at), pid = Be16(s.bytes + at + 2) & 0x1FFF;
                    if (number != 0) {
                        programs.push_back({pid, number});
                    }
                }
            });
    }
    for (const auto& [pid, number] : programs) {
        Take(
            t, [&](StoredSection** s) { return tc->GetPmtSection(pid, number, s); },
            [&](StoredSection** s) { tc->FreePmtSection(s); });
    }
    tc->GetNitSectionCount(0, &count);
    for (ULONG i = 0; i < count; ++i) {
        Take(
            t, [&](StoredSection** s) { return tc->GetNitSection(0, i, s); },
            [&](StoredSection** s) { tc->FreeNitSection(s); });
    }
    std::vector<ULONG> services;
    tc->GetSdtSectionCount(0, &count);
    for (ULONG i = 0; i < count; ++i) {
        Take(
            t, [&](StoredSection** s) { return tc->GetSdtSection(0, i, s); },
            [&](StoredSection** s) { tc->FreeSdtSection(s); },
            [&](const StoredSection& s) {
                for (DWORD at = 11; at + 5 + 4 <= s.length;) {
                    services.push_back(Be16(s.bytes + at));
                    at += 5 + (Be16(s.bytes + at + 3) & 0x0FFF);
                }
            });
    }
    tc->GetBatSectionCount(&count);
    for (ULONG i = 0; i < count; ++i) {
        Take(
            t, [&](StoredSection** s) { return tc->GetBatSection(i, s); },
            [&](StoredSection** s) { tc->FreeBatSection(s); });
    }
    tc->GetCatSectionCount(&count);
    for (ULONG i = 0; i < count; ++i) {
        Take(
            t, [&](StoredSection** s) { return tc->GetCatSection(i, s); },
            [&](StoredSection** s) { tc->FreeCatSection(s); });
    }
    Take(
        t, [&](StoredSection** s) { return tc->GetTdtSection(s); },
        [&](StoredSection** s) { tc->FreeTdtSection(s); });
    Take(
        t, [&](StoredSection** s) { return tc->GetTotSection(s); },
        [&](StoredSection** s) { tc->FreeTotSection(s); });
    Take(
        t, [&](StoredSection** s) { return tc->GetRstSection(s); },
        [&](StoredSection** s) { tc->FreeRstSection(s); });
    Take(
        t, [&](StoredSection** s) { return tc->GetSttSection(s); },
        [&](StoredSection** s) { tc->FreeSttSection(s); });
    // DVB EIT: section 0 of each service's sub-table tells how many sections to ask for.
    std::vector<ULONG> eitTables = {0x4E};
    for (ULONG id = 0x50; id <= 0x5F; ++id) {
        eitTables.push_back(id);
    }
    for (ULONG tableId : eitTables) {
        ULONG held = 0;
        if (tc->GetEitSectionCount(tableId, &held) != S_OK || held == 0) {
            continue;
        }
        for (ULONG service : services) {
            ULONG last = 0;
            if (!Take(
                    t, [&](StoredSection** s) { return tc->GetEitSection(tableId, 0, service, s); },
                    [&](StoredSection** s) { tc->FreeEitSection(s); },
                    [&](const StoredSection& s) { last = s.bytes[7]; })) {
                continue;
            }
            for (ULONG n = 1; n <= last; ++n) {
                Take(
                    t, [&](StoredSection** s) { return tc->GetEitSection(tableId, n, service, s); },
                    [&](StoredSection** s) { tc->FreeEitSection(s); });
            }
        }
    }
    // ATSC: the MGT names the EIT-k, the TVCT the sources.
    std::vector<ULONG> eitTypes;
    Take(
        t, [&](StoredSection** s) { return tc->GetMgtSection(s); },
        [&](StoredSection** s) { tc->FreeMgtSection(s); },
        [&](const StoredSection& s) {
            const unsigned tables = s.length > 10 ? Be16(s.bytes + 9) : 0;
            DWORD at = 11;
            for (unsigned i = 0; i < tables && at + 11 <= s.length; ++i) {
                const ULONG type = Be16(s.bytes + at);
                if (type >= 0x0100 && type <= 0x017F) {
                    eitTypes.push_back(type);
                }
                at += 11 + (Be16(s.bytes + at + 9) & 0x0FFF);
            }
        });
    std::vector<ULONG> sources;
    tc->GetVctSectionCount(&count);
    for (ULONG i = 0; i < count; ++i) {
        Take(
            t, [&](StoredSection** s) { return tc->GetVctSection(i, s); },
            [&](StoredSection** s) { tc->FreeVctSection(s); },
            [&](const StoredSection& s) {
                const unsigned n = s.length > 9 ? s.bytes[9] : 0;
                DWORD at = 10;
                for (unsigned c = 0; c < n && at + 32 <= s.length; ++c) {
                    sources.push_back(Be16(s.bytes + at + 28));
                    at += 32 + (Be16(s.bytes + at + 30) & 0x03FF);
                }
            });
    }
    // Events with extended text name their ETT by ETM_id.
    std::vector<ULONG> etmIds;
    auto events = [&](const StoredSection& s) {
        const unsigned n = s.length > 9 ? s.bytes[9] : 0;
        DWORD at = 10;
        for (unsigned e = 0; e < n && at + 10 <= s.length; ++e) {
            const ULONG eventId = Be16(s.bytes + at) & 0x3FFF;
            if (((s.bytes[at + 6] >> 4) & 0x03) != 0) {
                etmIds.push_back((static_cast<ULONG>(Be16(s.bytes + 3)) << 16) | (eventId << 2) | 0x02);
            }
            at += 10 + s.bytes[at + 9];
            if (at + 2 > s.length) {
                break;
            }
            at += 2 + (Be16(s.bytes + at) & 0x0FFF);
        }
    };
    for (ULONG type : eitTypes) {
        for (ULONG source : sources) {
            ULONG last = 0;
            if (!Take(
                    t, [&](StoredSection** s) { return tc->GetAtscEitSection(type, 0, source, s); },
                    [&](StoredSection** s) { tc->FreeAtscEitSection(s); },
                    [&](const StoredSection& s) {
                        last = s.bytes[7];
                        events(s);
                    })) {
                continue;
            }
            for (ULONG n = 1; n <= last; ++n) {
                Take(
                    t, [&](StoredSection** s) { return tc->GetAtscEitSection(type, n, source, s); },
                    [&](StoredSection** s) { tc->FreeAtscEitSection(s); }, events);
            }
        }
    }
    for (ULONG etmId : etmIds) {
        Take(
            t, [&](StoredSection** s) { return tc->GetEttSection(etmId, s); },
            [&](StoredSection** s) { tc->FreeEttSection(s); });
    }
    return t;
}

// The whole quenlix path over a byte source; answers what the read-back found.
Tally ScanWithQuenlix(qxhost::ByteSource* source) {
    Tally t;
    qxhost::TsReader reader(source);
    HRESULT hr = S_OK;
    FilterGraph* graph = FilterGraph::Create();
    auto* demux = new SectionDemuxFilter(&reader, nullptr, &hr);
    auto* filter = static_cast<TableCollectorFilter*>(TableCollectorFilter::CreateInstance(nullptr, &hr));
    if (graph == nullptr || demux == nullptr || filter == nullptr || FAILED(hr)) {
        fprintf(stderr, "bench: cannot build the graph\n");
        exit(1);
    }
    demux->AddRef();
    filter->AddRef();
    IPin* input = nullptr;
    filter->FindPin(L"Input", &input);
    graph->AddFilter(demux, L"Demux");
    graph->AddFilter(filter, L"Collector");
    if (input == nullptr || FAILED(graph->ConnectDirect(demux->GetPin(0), input, nullptr))) {
        fprintf(stderr, "bench: cannot connect the graph\n");
        exit(1);
    }
    graph->Run();
    LONG code = 0;
    graph->WaitForCompletion(INFINITE, &code);
    graph->Stop();
    t = ReadBack(static_cast<ITableCollector*>(filter));
    input->Release();
    graph->Release();
    filter->Release();
    demux->Release();
    return t;
}

// ---------------------------------------------------------------------------------------------------
// libdvbpsi: one handle per PID, every table decoder attached, every decoded table freed

struct Dvbpsi {
    std::vector<dvbpsi_t*> handles = std::vector<dvbpsi_t*>(0x2000, nullptr);
    std::vector<bool> demuxed = std::vector<bool>(0x2000, false);
    size_t tables = 0;

    ~Dvbpsi() {
        for (unsigned pid = 0; pid < handles.size(); ++pid) {
            dvbpsi_t* h = handles[pid];
            if (h == nullptr) {
                continue;
            }
            if (demuxed[pid]) {
                dvbpsi_DetachDemux(h);
            } else if (pid == 0) {
                dvbpsi_pat_detach(h);
            } else if (pid == 1) {
                dvbpsi_cat_detach(h);
            } else {
                dvbpsi_pmt_detach(h);
            }
            dvbpsi_delete(h);
        }
    }

    static Dvbpsi* Of(void* p) { return static_cast<Dvbpsi*>(p); }

    dvbpsi_t* NewHandle() {
        dvbpsi_t* h = dvbpsi_new(nullptr, DVBPSI_MSG_NONE);
        if (h == nullptr) {
            fprintf(stderr, "bench: dvbpsi_new failed\n");
            exit(1);
        }
        return h;
    }

    void Demux(unsigned pid) {
        if (handles[pid] != nullptr) {
            return;
        }
        dvbpsi_t* h = NewHandle();
        dvbpsi_AttachDemux(h, &Dvbpsi::NewSubtable, this);
        handles[pid] = h;
        demuxed[pid] = true;
    }

    void Start() {
        handles[0] = NewHandle();
        dvbpsi_pat_attach(handles[0], &Dvbpsi::OnPat, this);
        handles[1] = NewHandle();
        dvbpsi_cat_attach(handles[1], &Dvbpsi::OnCat, this);
        for (unsigned pid : {0x10u, 0x11u, 0x12u, 0x14u, 0x1FFBu}) {
            Demux(pid);
        }
    }

    void Push(uint8_t* packet) {
        const unsigned pid = ((packet[1] & 0x1F) << 8) | packet[2];
        if (handles[pid] != nullptr) {
            dvbpsi_packet_push(handles[pid], packet);
        }
    }

    static void NewSubtable(dvbpsi_t* h, uint8_t tableId, uint16_t ext, void* data) {
        if (tableId == 0x40 || tableId == 0x41) {
            dvbpsi_nit_attach(h, tableId, ext, &Dvbpsi::OnNit, data);
        } else if (tableId == 0x42 || tableId == 0x46) {
            dvbpsi_sdt_attach(h, tableId, ext, &Dvbpsi::OnSdt, data);
        } else if (tableId == 0x4A) {
            dvbpsi_bat_attach(h, tableId, ext, &Dvbpsi::OnBat, data);
        } else if (tableId >= 0x4E && tableId <= 0x6F) {
            dvbpsi_eit_attach(h, tableId, ext, &Dvbpsi::OnEit, data);
        } else if (tableId == 0x70 || tableId == 0x73) {
            dvbpsi_tot_attach(h, tableId, ext, &Dvbpsi::OnTot, data);
        } else if (tableId == 0xC7) {
            dvbpsi_atsc_AttachMGT(h, tableId, ext, &Dvbpsi::OnMgt, data);
        } else if (tableId == 0xC8 || tableId == 0xC9) {
            dvbpsi_atsc_AttachVCT(h, tableId, ext, &Dvbpsi::OnVct, data);
        } else if (tableId == 0xCD) {
            dvbpsi_atsc_AttachSTT(h, tableId, ext, &Dvbpsi::OnStt, data);
        } else if (tableId == 0xCB) {
            dvbpsi_atsc_AttachEIT(h, tableId, ext, &Dvbpsi::OnAtscEit, data);
        } else if (tableId == 0xCC) {
            dvbpsi_atsc_AttachETT(h, tableId, ext, &Dvbpsi::OnEtt, data);
        }
    }

    static void OnPat(void* data, dvbpsi_pat_t* pat) {
        Dvbpsi* self = Of(data);
        ++self->tables;
        for (dvbpsi_pat_program_t* p = pat->p_first_program; p != nullptr; p = p->p_next) {
            if (p->i_number != 0 && p->i_pid < 0x2000 && self->handles[p->i_pid] == nullptr) {
                dvbpsi_t* h = self->NewHandle();
                dvbpsi_pmt_attach(h, p->i_number, &Dvbpsi::OnPmt, data);
                self->handles[p->i_pid] = h;
            }
        }
        dvbpsi_pat_delete(pat);
    }
    static void OnMgt(void* data, dvbpsi_atsc_mgt_t* mgt) {
        Dvbpsi* self = Of(data);
        ++self->tables;
        for (dvbpsi_atsc_mgt_table_t* t = mgt->p_first_table; t != nullptr; t = t->p_next) {
            const bool eit = t->i_table_type >= 0x0100 && t->i_table_type <= 0x017F;
            const bool ett = t->i_table_type >= 0x0200 && t->i_table_type <= 0x027F;
            if ((eit || ett) && t->i_table_type_pid < 0x2000) {
                self->Demux(t->i_table_type_pid);
            }
        }
        dvbpsi_atsc_DeleteMGT(mgt);
    }
    static void OnPmt(void* data, dvbpsi_pmt_t* t) {
        ++Of(data)->tables;
        dvbpsi_pmt_delete(t);
    }
    static void OnCat(void* data, dvbpsi_cat_t* t) {
        ++Of(data)->tables;
        dvbpsi_cat_delete(t);
    }
    static void OnNit(void* data, dvbpsi_nit_t* t) {
        ++Of(data)->tables;
        dvbpsi_nit_delete(t);
    }
    static void OnSdt(void* data, dvbpsi_sdt_t* t) {
        ++Of(data)->tables;
        dvbpsi_sdt_delete(t);
    }
    static void OnBat(void* data, dvbpsi_bat_t* t) {
        ++Of(data)->tables;
        dvbpsi_bat_delete(t);
    }
    static void OnEit(void* data, dvbpsi_eit_t* t) {
        ++Of(data)->tables;
        dvbpsi_eit_delete(t);
    }
    static void OnTot(void* data, dvbpsi_tot_t* t) {
        ++Of(data)->tables;
        dvbpsi_tot_delete(t);
    }
    static void OnVct(void* data, dvbpsi_atsc_vct_t* t) {
        ++Of(data)->tables;
        dvbpsi_atsc_DeleteVCT(t);
    }
    static void OnStt(void* data, dvbpsi_atsc_stt_t* t) {
        ++Of(data)->tables;
        dvbpsi_atsc_DeleteSTT(t);
    }
    static void OnAtscEit(void* data, dvbpsi_atsc_eit_t* t) {
        ++Of(data)->tables;
        dvbpsi_atsc_DeleteEIT(t);
    }
    static void OnEtt(void* data, dvbpsi_atsc_ett_t* t) {
        ++Of(data)->tables;
        dvbpsi_atsc_DeleteETT(t);
    }
};

size_t ScanWithDvbpsi(Bytes& ts) {
    Dvbpsi d;
    d.Start();
    for (size_t at = 0; at + kTsPacket <= ts.size(); at += kTsPacket) {
        d.Push(ts.data() + at);
    }
    return d.tables;
}

// ---------------------------------------------------------------------------------------------------
// The figures

// The better of a few runs of each, alternating, so that neither side gets the warmer machine.
Tally SideBySide(const char* name, Bytes ts, int runs) {
    double best[2] = {1e30, 1e30};
    Tally tally;
    size_t tables = 0;
    for (int r = 0; r < runs; ++r) {
        double t0 = Now();
        qxhost::MemorySource source(ts.data(), ts.size());
        tally = ScanWithQuenlix(&source);
        double t1 = Now();
        tables = ScanWithDvbpsi(ts);
        double t2 = Now();
        best[0] = std::min(best[0], t1 - t0);
        best[1] = std::min(best[1], t2 - t1);
    }
    const double mb = static_cast<double>(ts.size()) / 1e6;
    printf("%-34s %8.1f MB %10.1f %10.1f %7.2fx   %8zu sections read back, %7zu tables decoded\n", name, mb,
           mb / best[0], mb / best[1], best[1] / best[0], tally.sections, tables);
    fflush(stdout);
    return tally;
}

// The cost of handing the store a section it holds already, with `services` services held.
void RepeatedSectionCost() {
    printf("\nrepeated EIT section (EitStore::AddSection of a held section)\n");
    printf("%10s %16s %22s\n", "services", "ns per section", "ns, all held in turn");
    for (unsigned services : {10u, 100u, 1000u, 10000u}) {
        EitStore store;
        std::vector<Bytes> held;
        for (unsigned i = 1; i <= services; ++i) {
            held.push_back(DvbEit(0x50, static_cast<uint16_t>(i), 0, 0, 0, DvbEvent(1, 0, i, 120)));
            store.AddSection(static_cast<DWORD>(held.back().size()), held.back().data());
        }
        // The second service added sits at the far end of its chain: the one a list walk finds last.
        const Bytes& one = held[1];
        const int reps = 2'000'000;
        double t0 = Now();
        for (int r = 0; r < reps; ++r) {
            store.AddSection(static_cast<DWORD>(one.size()), one.data());
        }
        double single = (Now() - t0) / reps * 1e9;
        const size_t rounds = std::max<size_t>(1, 2'000'000 / services);
        t0 = Now();
        for (size_t r = 0; r < rounds; ++r) {
            for (const Bytes& b : held) {
                store.AddSection(static_cast<DWORD>(b.size()), b.data());
            }
        }
        double all = (Now() - t0) / static_cast<double>(rounds * services) * 1e9;
        printf("%10u %16.1f %22.1f\n", services, single, all);
    }
}

// The high-water mark of this process's resident memory, in KB (-1 when unknown).
long PeakKilobytes() {
    FILE* f = fopen("/proc/self/status", "r");
    long kb = -1;
    char line[256];
    while (f != nullptr && fgets(line, sizeof line, f) != nullptr) {
        if (sscanf(line, "VmHWM: %ld kB", &kb) == 1) {
            break;
        }
    }
    if (f != nullptr) {
        fclose(f);
    }
    return kb;
}

// Runs this program again to scan the file alone, so that the figure is the scan's and not that of
// the streams held here (a fork's high-water mark would start from this process's).
long PeakKilobytesOfScan(const std::string& self, const std::string& path) {
    FILE* child = popen(("'" + self + "' --scan '" + path + "'").c_str(), "r");
    long kb = -1;
    if (child == nullptr) {
        return -1;
    }
    if (fscanf(child, "%ld", &kb) != 1) {
        kb = -1;
    }
    return pclose(child) == 0 ? kb : -1;
}

} // namespace

int main(int argc, char** argv) {
    // The child of the peak-memory figure: one scan of a file, nothing else in the process.
    if (argc == 3 && strcmp(argv[1], "--scan") == 0) {
        qxhost::FileSource source;
        std::string why;
        if (!source.Open(argv[2], &why)) {
            return 1;
        }
        ScanWithQuenlix(&source);
        printf("%ld\n", PeakKilobytes());
        return 0;
    }
    // Arguments: the number of runs to take the best of, and optionally the one stream to run (1 to 4).
    const int runs = argc > 1 ? std::max(1, atoi(argv[1])) : 3;
    const int only = argc > 2 ? atoi(argv[2]) : 0;
    printf("quenlix (reader, demultiplexer, filter, read-back) against libdvbpsi (every decoder), best of "
           "%d\n\n",
           runs);
    printf("%-34s %11s %10s %10s %8s\n", "stream", "size", "quenlix", "libdvbpsi", "ratio");
    printf("%-34s %11s %10s %10s\n", "", "", "MB/s", "MB/s");
    if (only == 0 || only == 1) {
        SideBySide("realistic DVB (75% video)", RealisticDvb(120u << 20), runs);
    }
    if (only == 0 || only == 2) {
        MuxOptions both;
        both.noise = false;
        both.cycles = 6000;
        SideBySide("tables-only DVB+ATSC", BuildSampleStream(both).ts, runs);
    }
    Bytes epg;
    Tally held;
    if (only == 0 || only == 3) {
        epg = DvbEpg(300, 400, 3);
        held = SideBySide("DVB EPG 300 services x 400 events", epg, runs);
    }
    if (only == 0 || only == 4) {
        SideBySide("ATSC 200 channels x 128 EITs", AtscEpg(200, 128, 3), runs);
    }
    if (only != 0) {
        return 0;
    }
    RepeatedSectionCost();

    char self[4096];
    ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    if (n > 0) {
        self[n] = 0;
        std::string path = std::string(getenv("TMPDIR") ? getenv("TMPDIR") : "/tmp") + "/quenlix_bench_epg_" +
                           std::to_string(getpid()) + ".ts";
        FILE* f = fopen(path.c_str(), "wb");
        if (f != nullptr && fwrite(epg.data(), 1, epg.size(), f) == epg.size() && fclose(f) == 0) {
            long kb = PeakKilobytesOfScan(self, path);
            printf(
                "\npeak memory of a scan of the DVB EPG stream (%.1f MB, from a file): %.1f MB for %.1f MB "
                "of sections held\n",
                static_cast<double>(epg.size()) / 1e6, static_cast<double>(kb) / 1024.0,
                static_cast<double>(held.bytes) / 1e6);
        }
        remove(path.c_str());
    }
    return 0;
}
