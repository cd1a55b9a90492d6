#include "cli/sample_streams.h"

#include "support/core/atsc_builder.h"
#include "support/core/ts_packetizer.h"

#include <deque>

namespace qxtest {

uint16_t Mjd(int year, int month, int day) {
    // EN 300 468 Annex C, the inverse of its MJD to date formula.
    int l = (month == 1 || month == 2) ? 1 : 0;
    int y = year - 1900 - l;
    int m = month + 1 + l * 12;
    return static_cast<uint16_t>(14956 + day + static_cast<int>(y * 365.25) + static_cast<int>(m * 30.6001));
}

namespace {

uint8_t Bcd(int v) {
    return static_cast<uint8_t>(((v / 10) << 4) | (v % 10));
}

Bytes Text(const std::string& s) {
    return Bytes(s.begin(), s.end());
}

void Put(Bytes& out, const Bytes& more) {
    out.insert(out.end(), more.begin(), more.end());
}

void Put16(Bytes& out, uint16_t v) {
    out.push_back(v >> 8);
    out.push_back(v & 0xFF);
}

void Put32(Bytes& out, uint32_t v) {
    Put16(out, v >> 16);
    Put16(out, v & 0xFFFF);
}

// A descriptor loop preceded by its 12-bit length (upper four bits reserved, set).
Bytes Loop(const Bytes& descriptors) {
    Bytes out;
    Put16(out, 0xF000 | (descriptors.size() & 0x0FFF));
    Put(out, descriptors);
    return out;
}

// An ATSC multiple_string_structure with one uncompressed English string.
Bytes Mss(const std::string& s) {
    Bytes out = {0x01, 'e', 'n', 'g', 0x01, 0x00, 0x00, static_cast<uint8_t>(s.size())};
    Put(out, Text(s));
    return out;
}

struct Service {
    uint16_t id;
    uint16_t pmt_pid;
    uint8_t type;
    const char* name;
    std::vector<std::pair<uint8_t, uint16_t>> streams;
};

struct Channel {
    uint16_t program;
    uint16_t pmt_pid;
    uint16_t source_id;
    uint16_t major, minor;
    const char* short_name;
};

const uint16_t kDvbTsid = 0x0421;
const uint16_t kOnid = 0x233A;
const uint16_t kNetworkId = 0x3001;

const std::vector<Service> kServices = {
    {0x0101, 0x0100, 0x01, "Quenlix One", {{0x02, 0x0111}, {0x03, 0x0112}}},
    {0x0102, 0x0200, 0x01, "Quenlix Two", {{0x1B, 0x0211}, {0x04, 0x0212}, {0x06, 0x0213}}},
    {0x0103, 0x0300, 0x02, "Quenlix Radio", {{0x03, 0x0312}}},
};

const std::vector<Channel> kChannels = {
    {0x0201, 0x0400, 0x0011, 7, 1, "QXA"},
    {0x0202, 0x0500, 0x0012, 7, 2, "QXB"},
};

constexpr uint16_t kEit0Pid = 0x1D00, kEit1Pid = 0x1D01, kEtt0Pid = 0x1E00;
constexpr uint32_t kGpsStart = 1393331714; // 2024-03-01 12:34:56 UTC with an 18 s offset

Bytes ShortEvent(const std::string& name, const std::string& text) {
    Bytes p = Text("eng");
    p.push_back(static_cast<uint8_t>(name.size()));
    Put(p, Text(name));
    p.push_back(static_cast<uint8_t>(text.size()));
    Put(p, Text(text));
    return Descriptor(0x4D, p);
}

Bytes DvbEit(uint8_t tableId, uint16_t serviceId, uint8_t section, uint8_t last, uint16_t eventId, int hour,
             const std::string& name) {
    SectionBuilder b;
    b.Table(tableId).Extension(serviceId).Version(1).Number(section, last);
    b.Append16(kDvbTsid);
    b.Append16(kOnid);
    b.Append({last, tableId}); // segment_last_section_number, last_table_id
    b.Append16(eventId);
    Put(b.body, DvbUtc(2024, 3, 1, hour, 0, 0));
    b.Append({0x00, 0x30, 0x00}); // duration 00:30:00
    Bytes desc = ShortEvent(name, "A programme on " + std::string(name));
    b.Append16(static_cast<uint16_t>((section == 0 ? 0x8000 : 0x2000) | desc.size())); // running_status
    Put(b.body, desc);
    return b.Build();
}

Bytes AtscEit(uint16_t sourceId, uint8_t version, const std::vector<std::pair<uint16_t, std::string>>& events,
              uint32_t start) {
    SectionBuilder b;
    b.Table(0xCB).Extension(sourceId).Version(version).Number(0, 0);
    b.Append({0x00, static_cast<uint8_t>(events.size())});
    for (const auto& [id, title] : events) {
        b.Append16(0xC000 | (id & 0x3FFF));
        Put32(b.body, start);
        start += 1800;
        uint32_t length = 1800;
        // ETM_location 1: the event's extended text travels in an ETT on the ETT PID.
        b.Append({static_cast<uint8_t>(0xC0 | 0x10 | ((length >> 16) & 0x0F))});
        b.Append16(length & 0xFFFF);
        Bytes t = Mss(title);
        b.Append({static_cast<uint8_t>(t.size())});
        Put(b.body, t);
        b.Append16(0xF000);
    }
    return BuildPsip(b);
}

Bytes Tvct(uint8_t version) {
    SectionBuilder b;
    b.Table(0xC8).Extension(0x0BB8).Version(version).Number(0, 0);
    b.Append({0x00, static_cast<uint8_t>(kChannels.size())});
    for (const Channel& c : kChannels) {
        std::string n = c.short_name;
        for (int i = 0; i < 7; ++i) {
            Put16(b.body, i < static_cast<int>(n.size()) ? static_cast<uint16_t>(n[i]) : 0);
        }
        // reserved(4) major(10) minor(10) modulation(8)
        uint32_t v = 0xF0000000u | (static_cast<uint32_t>(c.major) << 18) |
                     (static_cast<uint32_t>(c.minor) << 8) | 0x04;
        Put32(b.body, v);
        Put32(b.body, 0);      // carrier_frequency
        b.Append16(0x0BB8);    // channel_TSID
        b.Append16(c.program); // program_number
        // ETM_location 0, access_controlled 0, hidden 0, reserved, hide_guide 0, reserved, service_type 2
        b.Append16(0x0DC2);
        b.Append16(c.source_id);
        b.Append16(0xFC00); // descriptors_length 0
    }
    b.Append16(0xFC00); // additional_descriptors_length 0
    return BuildPsip(b);
}

// Builds one PID's share of a cycle as packets; keeps the PID's continuity counter.
struct PidQueue {
    TsPacketizer tx;
    std::deque<Bytes> packets;
    explicit PidQueue(uint16_t pid) : tx(pid) {}
    void Add(const std::vector<Bytes>& sections) {
        Bytes all = tx.Packetize(sections);
        for (size_t at = 0; at < all.size(); at += kTsPacket) {
            packets.emplace_back(all.begin() + at, all.begin() + at + kTsPacket);
        }
    }
};

} // namespace

Bytes DvbUtc(int year, int month, int day, int hour, int minute, int second) {
    Bytes out;
    Put16(out, Mjd(year, month, day));
    out.push_back(Bcd(hour));
    out.push_back(Bcd(minute));
    out.push_back(Bcd(second));
    return out;
}

BuiltStream BuildSampleStream(const MuxOptions& o) {
    BuiltStream built;
    ExpectedTables& x = built.expected;
    NoiseSource noise(o.seed);

    // ---- the tables
    std::vector<std::pair<uint16_t, uint16_t>> programs;
    if (o.dvb) {
        programs.push_back({0x0000, 0x0010});
        for (const Service& s : kServices) {
            programs.push_back({s.id, s.pmt_pid});
        }
    }
    if (o.atsc) {
        for (const Channel& c : kChannels) {
            programs.push_back({c.program, c.pmt_pid});
        }
    }
    x.pat = {BuildPat(o.dvb ? kDvbTsid : 0x0BB8, 3, programs)};
    std::map<uint16_t, std::vector<Bytes>> pmtByPid;
    if (o.dvb) {
        for (const Service& s : kServices) {
            Bytes pmt = BuildPmt(s.id, 1, s.streams.front().second, s.streams);
            x.pmt[s.id] = {s.pmt_pid, pmt};
            pmtByPid[s.pmt_pid].push_back(pmt);
        }
    }
    if (o.atsc) {
        for (const Channel& c : kChannels) {
            Bytes pmt = BuildPmt(
                c.program, 0, static_cast<uint16_t>(c.pmt_pid + 1),
                {{0x02, static_cast<uint16_t>(c.pmt_pid + 1)}, {0x81, static_cast<uint16_t>(c.pmt_pid + 2)}});
            x.pmt[c.program] = {c.pmt_pid, pmt};
            pmtByPid[c.pmt_pid].push_back(pmt);
        }
    }

    std::vector<Bytes> nitOther, sdtOther, eitOther;
    if (o.dvb) {
        for (uint8_t sn = 0; sn < 2; ++sn) {
            SectionBuilder b;
            b.Table(0x40).Extension(kNetworkId).Version(5).Number(sn, 1);
            Put(b.body, Loop(sn == 0 ? Descriptor(0x40, Text("Quenlix Network")) : Bytes{}));
            Bytes ts;
            uint16_t tsid = sn == 0 ? kDvbTsid : 0x0422;
            Put16(ts, tsid);
            Put16(ts, kOnid);
            Put(ts, Loop(Descriptor(0x41, {0x01, 0x01, 0x01, 0x01, 0x02, 0x01}))); // service_list
            Put16(b.body, static_cast<uint16_t>(0xF000 | ts.size()));
            Put(b.body, ts);
            x.nit.push_back(b.Build());
        }
        SectionBuilder nb;
        nb.Table(0x41).Extension(0x3002).Version(0);
        Put(nb.body, Loop({}));
        Put16(nb.body, 0xF000);
        nitOther.push_back(nb.Build());

        auto sdt = [&](uint8_t tableId, uint16_t tsid) {
            SectionBuilder b;
            b.Table(tableId).Extension(tsid).Version(2);
            b.Append16(kOnid);
            b.Append({0xFF});
            for (const Service& s : kServices) {
                b.Append16(s.id);
                b.Append({0xFC | 0x01}); // EIT_schedule 0, EIT_present_following 1
                Bytes d = {s.type, 7};
                Put(d, Text("Quenlix"));
                d.push_back(static_cast<uint8_t>(std::string(s.name).size()));
                Put(d, Text(s.name));
                Bytes desc = Descriptor(0x48, d);
                b.Append16(static_cast<uint16_t>(0x8000 | desc.size())); // running
                Put(b.body, desc);
            }
            return b.Build();
        };
        x.sdt = {sdt(0x42, kDvbTsid)};
        sdtOther.push_back(sdt(0x46, 0x0422));

        SectionBuilder bat;
        bat.Table(0x4A).Extension(0x1001).Version(0);
        Put(bat.body, Loop(Descriptor(0x47, Text("Quenlix Bouquet"))));
        Bytes bts;
        Put16(bts, kDvbTsid);
        Put16(bts, kOnid);
        Put(bts, Loop({}));
        Put16(bat.body, static_cast<uint16_t>(0xF000 | bts.size()));
        Put(bat.body, bts);
        x.bat = {bat.Build()};

        SectionBuilder cat;
        cat.Table(0x01).Extension(0xFFFF).Version(0);
        Put(cat.body, Descriptor(0x09, {0x0B, 0x00, 0xE5, 0x00})); // CA_system 0x0B00 on PID 0x0500
        x.cat = {cat.Build()};

        int hour = 12;
        for (const Service& s : kServices) {
            for (uint8_t sn = 0; sn < 2; ++sn) {
                std::string name = std::string(s.name) + (sn == 0 ? " Now" : " Next");
                x.eit[{0x4E, s.id, sn}] =
                    DvbEit(0x4E, s.id, sn, 1, static_cast<uint16_t>(s.id * 16 + sn), hour + sn, name);
            }
        }
        for (uint8_t sn = 0; sn < 2; ++sn) {
            x.eit[{0x50, 0x0101, sn}] = DvbEit(0x50, 0x0101, sn, 1, static_cast<uint16_t>(0x2000 + sn),
                                               14 + sn, sn == 0 ? "Schedule One" : "Schedule Two");
        }
        eitOther.push_back(DvbEit(0x4F, 0x0901, 0, 0, 0x0901, 12, "Elsewhere"));

        x.tdt = {0x70, 0x70, 0x05};
        Put(x.tdt, DvbUtc(2024, 3, 1, 12, 34, 56));

        Bytes tot = {0x73, 0x70, 0x00};
        Put(tot, DvbUtc(2024, 3, 1, 12, 34, 56));
        Bytes lto = Text("GBR");
        lto.push_back(0x02);                    // region 0, polarity +
        Put16(lto, 0x0000);                     // local_time_offset
        Put(lto, DvbUtc(2024, 3, 31, 1, 0, 0)); // time_of_change
        Put16(lto, 0x0100);                     // next_time_offset
        Put(tot, Loop(Descriptor(0x58, lto)));
        tot.insert(tot.end(), 4, 0);
        tot[2] = static_cast<uint8_t>(tot.size() - 3);
        FixCrc(tot);
        x.tot = tot;

        // transport_stream_id, original_network_id, service 0x0101, event 0x1010, running
        x.rst = {0x71, 0x70, 0x09, 0x04, 0x21, 0x23, 0x3A, 0x01, 0x01, 0x10, 0x10, 0xFC};
    }

    if (o.atsc) {
        std::vector<MgtEntry> entries = {
            {0x0000, 0x1FFB, 1, 0, {}},
            {0x0100, kEit0Pid, 4, 0, {}},
            {0x0101, kEit1Pid, 4, 0, {}},
            {0x0200, kEtt0Pid, 4, 0, {}},
        };
        x.vct = {Tvct(1)};
        entries[0].number_bytes = static_cast<uint32_t>(x.vct[0].size());
        x.mgt = BuildMgt(2, entries);
        x.stt = BuildStt(kGpsStart, 18);

        uint16_t eventBase = 0x0100;
        for (const Channel& c : kChannels) {
            std::vector<std::pair<uint16_t, std::string>> ev0 = {
                {eventBase, std::string(c.short_name) + " News"},
                {static_cast<uint16_t>(eventBase + 1), std::string(c.short_name) + " Film"}};
            x.atsc_eit[{0x0100, c.source_id, 0}] = {kEit0Pid, AtscEit(c.source_id, 4, ev0, kGpsStart)};
            for (const auto& [id, title] : ev0) {
                uint32_t etm =
                    (static_cast<uint32_t>(c.source_id) << 16) | (static_cast<uint32_t>(id) << 2) | 0x2;
                SectionBuilder e;
                e.Table(0xCC).Extension(static_cast<uint16_t>(id)).Version(4);
                e.Append({0x00});
                Put32(e.body, etm);
                Put(e.body, Mss("About " + title));
                x.ett[etm] = {kEtt0Pid, BuildPsip(e)};
            }
            std::vector<std::pair<uint16_t, std::string>> ev1 = {
                {static_cast<uint16_t>(eventBase + 2), std::string(c.short_name) + " Late"}};
            x.atsc_eit[{0x0101, c.source_id, 0}] = {kEit1Pid,
                                                    AtscEit(c.source_id, 4, ev1, kGpsStart + 3 * 3600)};
            eventBase += 0x10;
        }
    }

    // ---- the multiplex, cycle by cycle
    std::map<uint16_t, PidQueue> queues;
    auto queue = [&](uint16_t pid) -> PidQueue& { return queues.try_emplace(pid, pid).first->second; };
    std::vector<Bytes> units; // packets, and garbage that is not 188 bytes long

    for (int cycle = 0; cycle < o.cycles; ++cycle) {
        queue(0x0000).Add(x.pat);
        for (auto& [pid, sections] : pmtByPid) {
            queue(pid).Add(sections);
        }
        if (o.dvb) {
            queue(0x0001).Add(x.cat);
            std::vector<Bytes> nit = x.nit;
            if (o.noise) {
                nit.insert(nit.end(), nitOther.begin(), nitOther.end());
            }
            queue(0x0010).Add(nit);
            std::vector<Bytes> sdt = x.sdt;
            sdt.insert(sdt.end(), x.bat.begin(), x.bat.end());
            if (o.noise) {
                sdt.insert(sdt.end(), sdtOther.begin(), sdtOther.end());
            }
            queue(0x0011).Add(sdt);
            std::vector<Bytes> eit;
            for (auto& [key, s] : x.eit) {
                eit.push_back(s);
            }
            if (o.noise) {
                eit.insert(eit.end(), eitOther.begin(), eitOther.end());
            }
            queue(0x0012).Add(eit);
            queue(0x0013).Add({x.rst});
            queue(0x0014).Add({x.tdt, x.tot});
        }
        if (o.atsc) {
            queue(0x1FFB).Add({x.mgt, x.vct[0], x.stt});
            std::vector<Bytes> eit0, eit1, ett;
            for (auto& [key, v] : x.atsc_eit) {
                (std::get<0>(key) == 0x0100 ? eit0 : eit1).push_back(v.second);
            }
            for (auto& [id, v] : x.ett) {
                ett.push_back(v.second);
            }
            queue(kEit0Pid).Add(eit0);
            queue(kEit1Pid).Add(eit1);
            queue(kEtt0Pid).Add(ett);
        }

        // PAT first so that the PMT PIDs get mapped early; then round robin over the PIDs, with noise.
        std::vector<Bytes> cyclePackets;
        bool any = true;
        while (any) {
            any = false;
            for (auto& [pid, q] : queues) {
                if (!q.packets.empty()) {
                    cyclePackets.push_back(q.packets.front());
                    q.packets.pop_front();
                    any = true;
                }
            }
            if (o.noise) {
                uint8_t cc = static_cast<uint8_t>(cyclePackets.size());
                uint16_t videoPid = o.dvb ? 0x0111 : 0x0401;
                cyclePackets.push_back(noise.RandomPacket(videoPid, cc)); // unmapped payload
                Bytes scrambled = noise.RandomPacket(videoPid, cc);
                scrambled[3] |= 0x80;
                cyclePackets.push_back(scrambled);
                cyclePackets.push_back(MakePacket(videoPid, false, cc, {}, -1, true)); // adaptation only
                cyclePackets.push_back(NullPacket());
            }
        }
        if (o.noise && cycle == 0) {
            // Damage in the first cycle only, so that every table still arrives whole later: a repeated
            // packet, a lost one (continuity gap), one with transport_error_indicator set.
            auto onPid = [&](uint16_t pid, int nth) -> long {
                int seen = 0;
                for (size_t i = 0; i < cyclePackets.size(); ++i) {
                    const Bytes& p = cyclePackets[i];
                    if ((((p[1] & 0x1F) << 8) | p[2]) == pid && seen++ == nth) {
                        return static_cast<long>(i);
                    }
                }
                return -1;
            };
            uint16_t busy = o.dvb ? 0x0012 : kEit0Pid;
            long lost = onPid(busy, 1);
            if (lost >= 0) {
                cyclePackets.erase(cyclePackets.begin() + lost);
            }
            long errored = onPid(busy, 2);
            if (errored >= 0) {
                cyclePackets[errored][1] |= 0x80;
            }
            long repeated = onPid(0x0000, 0);
            if (repeated >= 0) {
                cyclePackets.insert(cyclePackets.begin() + repeated + 1, cyclePackets[repeated]);
            }
        }
        for (size_t i = 0; i < cyclePackets.size(); ++i) {
            units.push_back(cyclePackets[i]);
            if (o.noise && cycle == 0 && i == cyclePackets.size() / 2) {
                // A burst of garbage: the reader loses sync and finds it again after it.
                units.push_back(noise.RandomBytes(97));
            }
        }
    }

    for (const Bytes& u : units) {
        Put(built.ts, u.size() == kTsPacket ? WrapPackets(u, o.packet_size) : u);
    }
    return built;
}

} // namespace qxtest
