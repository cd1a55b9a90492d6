// Every table decoder on sections carrying the descriptors people look for, then the same sections cut at
// every length and with lengths that lie: the decoders read only the bytes they are given and say where
// they stopped.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "si/Tables.h"
#include "support/core/atsc_builder.h"
#include "support/core/section_builder.h"

using namespace quenlix::si;
namespace si = quenlix::si;
using qxtest::Bytes;
using qxtest::SectionBuilder;

namespace {

void Put(Bytes& b, std::initializer_list<uint8_t> v) {
    b.insert(b.end(), v);
}
void Put(Bytes& b, const Bytes& v) {
    b.insert(b.end(), v.begin(), v.end());
}
void Put16(Bytes& b, unsigned v) {
    Put(b, {static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v)});
}
Bytes Str(const std::string& s) {
    return Bytes(s.begin(), s.end());
}
Bytes Len8(const Bytes& v) {
    Bytes b = {static_cast<uint8_t>(v.size())};
    Put(b, v);
    return b;
}
// A loop with its 12-bit length in front.
Bytes Loop12(const Bytes& v, unsigned top = 0xF000) {
    Bytes b;
    Put16(b, top | v.size());
    Put(b, v);
    return b;
}
Bytes Join(std::initializer_list<Bytes> parts) {
    Bytes b;
    for (const Bytes& p : parts) {
        Put(b, p);
    }
    return b;
}
Bytes D(uint8_t tag, const Bytes& payload) {
    return qxtest::Descriptor(tag, payload);
}
// A short-form section (TDT, TOT, RST), with a CRC_32 when the table has one.
Bytes Short(uint8_t table_id, const Bytes& body, bool crc) {
    const size_t len = body.size() + (crc ? 4 : 0);
    Bytes s = {table_id, static_cast<uint8_t>(0x70 | (len >> 8)), static_cast<uint8_t>(len)};
    Put(s, body);
    if (crc) {
        s.insert(s.end(), 4, 0);
        qxtest::FixCrc(s);
    }
    return s;
}
Bytes Long(uint8_t table_id, uint16_t ext, const Bytes& body, bool psip = false) {
    SectionBuilder b;
    b.Table(table_id).Extension(ext).Version(5).Body(body);
    return psip ? qxtest::BuildPsip(b) : b.Build();
}
Bytes Mss(const std::string& lang, const std::string& text) {
    return Join({{1}, Str(lang), {1, 0, 0}, Len8(Str(text))});
}

const Bytes kGermanTitle = {'T', 'a',  'g', 'e', 's', 's', 'c', 'h', 'a', 'u',  ' ',
                            'f', 0xC8, 'u', 'r', ' ', 'S', 't', 'r', 'a', 0xFB, 'e'};

// One section of every table, each with the descriptors its table carries.
std::vector<std::pair<const char*, Bytes>> Sections() {
    std::vector<std::pair<const char*, Bytes>> s;
    s.emplace_back("PAT", qxtest::BuildPat(0x1234, 3, {{0, 0x10}, {1, 0x100}, {2, 0x200}}));
    const Bytes es = Join({D(0x0A, Join({Str("deu"), {0x01}})), D(0x52, {0x07}), D(0x6A, {0xC0, 0x01, 0x08}),
                           D(0x81, {0x48, 0x10, 0x0F, 0x00})});
    s.emplace_back("PMT", Long(0x02, 1,
                               Join({{0xE1, 0x01},
                                     Loop12(D(0x09, {0x0B, 0x00, 0xE1, 0x50, 0xAA})),
                                     {0x02, 0xE1, 0x01},
                                     Loop12({}),
                                     {0x04, 0xE1, 0x02},
                                     Loop12(es)})));
    s.emplace_back("CAT", Long(0x01, 0xFFFF, D(0x09, {0x18, 0x10, 0xE0, 0x20})));
    const Bytes lcn = D(0x83, {0x00, 0x01, 0xFC, 0x05, 0x00, 0x02, 0x7C, 0x06});
    s.emplace_back("NIT", qxtest::BuildNit(0x3001, 1, D(0x40, Str("Testnetz")),
                                           {{0x1234, 0x0001, lcn}, {0x1235, 0x0001, {}}}));
    const Bytes service = D(0x48, Join({{0x01}, Len8(Str("ARD")), Len8(Join({{0x05}, Str("Das Erste")}))}));
    s.emplace_back("SDT", Long(0x42, 0x1234,
                               Join({{0x00, 0x01, 0xFF},
                                     {0x00, 0x01, 0xFD, 0x80, 0x00},
                                     {0x00, 0x02, 0xFC},
                                     Loop12(service, 0x0000)})));
    const Bytes shortEvent = D(0x4D, Join({Str("deu"), Len8(kGermanTitle), Len8(Str("Nachrichten"))}));
    const Bytes ext1 = D(0x4E, Join({{0x01},
                                     Str("fra"),
                                     Len8(Join({Len8(Str("Acteur")), Len8(Str("Jean"))})),
                                     Len8({0x0B, 'L', 0x27, 0xE9, 't'})}));
    const Bytes ext2 =
        D(0x4E, Join({{0x11}, Str("fra"), {0x00}, Len8({0x0B, 0xE9, ' ', 0xBD, 'u', 'v', 'r', 'e'})}));
    const Bytes content = D(0x54, {0x21, 0x00});
    const Bytes rating = D(0x55, Join({Str("DEU"), {0x09}}));
    const Bytes component = D(0x50, Join({{0x01, 0x03, 0x01}, Str("deu"), Str("HD")}));
    const Bytes events = Join({{0x00, 0x2A, 0xC0, 0x79, 0x12, 0x45, 0x00, 0x01, 0x45, 0x30},
                               Loop12(Join({shortEvent, ext1, ext2, content, rating, component}), 0x8000)});
    s.emplace_back("EIT", Long(0x4E, 0x0001, Join({{0x12, 0x34, 0x00, 0x01, 0x00, 0x4E}, events})));
    s.emplace_back("TDT", Bytes{0x70, 0x70, 0x05, 0xC0, 0x79, 0x12, 0x45, 0x00}); // EN 300 468's own example
    const Bytes lto =
        D(0x58, Join({Str("DEU"), {0x02, 0x01, 0x00, 0xC0, 0x79, 0x01, 0x00, 0x00, 0x02, 0x00}}));
    s.emplace_back("TOT", Short(0x73, Join({{0xC0, 0x79, 0x12, 0x45, 0x00}, Loop12(lto)}), true));
    s.emplace_back("RST", Short(0x71, {0x12, 0x34, 0x00, 0x01, 0x00, 0x02, 0x00, 0x2A, 0xFC}, false));
    s.emplace_back(
        "MGT", qxtest::BuildMgt(2, {{0x0000, 0x1FFB, 1, 100, {}}, {0x0100, 0x1D00, 3, 200, D(0x80, {})}}));
    const Bytes shortName = {0, 'K', 0, 'Q', 0, 'E', 0, 'D', 0, 0, 0, 0, 0, 0};
    const Bytes sld =
        D(0xA1, Join({{0xE0, 0x31, 0x02}, {0x02, 0xE0, 0x31}, Str("   "), {0x81, 0xE0, 0x34}, Str("eng")}));
    const Bytes ecn = D(0xA0, Mss("eng", "KQED San Francisco"));
    Bytes ch = shortName;
    Put(ch, {0xF0, 0x24, 0x01, 0x04}); // major 9, minor 1, modulation 4
    Put(ch, {0x00, 0x00, 0x00, 0x00, 0x12, 0x34, 0x00, 0x03});
    Put(ch, {0x03, 0xC2}); // ETM_location 0, hidden 0, hide_guide 1, service_type 2
    Put(ch, {0x00, 0x07});
    Put16(ch, 0xFC00 | (sld.size() + ecn.size()));
    Put(ch, sld);
    Put(ch, ecn);
    s.emplace_back("TVCT", Long(0xC8, 0x1234, Join({{0x00, 0x01}, ch, {0xFC, 0x00}}), true));
    s.emplace_back("STT", qxtest::BuildStt(1167264018u, 18));
    const Bytes advisory =
        D(0x87, Join({{0xC1, 0x01, 0x02, 0x00, 0xF3, 0x01, 0xF1}, Len8(Mss("eng", "TV-14"))}));
    const Bytes caption = D(0x86, Join({{0xC1}, Str("eng"), {0xC1, 0x3F, 0xFF}}));
    const Bytes title =
        Join({{2}, Str("eng"), {1, 0, 0}, Len8(Str("News")), Str("spa"), {1, 0, 0}, Len8(Str("Noticias"))});
    Bytes ev = {0xC0, 0x2A, 0x43, 0x8E, 0x61, 0x12, 0xD0, 0x0E, 0x10};
    Put(ev, Len8(title));
    Put(ev, Loop12(Join({advisory, caption, D(0x81, {0x48, 0x10, 0x0F, 0x65})})));
    s.emplace_back("ATSC EIT", Long(0xCB, 0x0007, Join({{0x00, 0x01}, ev}), true));
    s.emplace_back("ETT", qxtest::BuildEtt(EventEtmId(7, 42), 1, Mss("eng", "A long description")));
    return s;
}

const Bytes& SectionOf(const char* name) {
    static const auto all = Sections();
    for (const auto& [n, b] : all) {
        if (std::string(n) == name) {
            return b;
        }
    }
    throw std::runtime_error(name);
}

} // namespace

TEST(SiTables, PsiTables) {
    const Pat pat = DecodePat(SectionOf("PAT"));
    ASSERT_FALSE(pat.stop) << pat.stop->reason;
    EXPECT_EQ(pat.transport_stream_id, 0x1234);
    EXPECT_EQ(pat.header.version_number, 3);
    ASSERT_EQ(pat.programs.size(), 3u);
    EXPECT_EQ(pat.programs[2].program_number, 2);
    EXPECT_EQ(pat.programs[2].pid, 0x200);

    const Pmt pmt = DecodePmt(SectionOf("PMT"));
    ASSERT_FALSE(pmt.stop) << pmt.stop->reason;
    EXPECT_EQ(pmt.pcr_pid, 0x101);
    ASSERT_EQ(pmt.program_info.size(), 1u);
    EXPECT_EQ(std::get<CaDescriptor>(pmt.program_info[0].value).ca_pid, 0x150);
    ASSERT_EQ(pmt.streams.size(), 2u);
    const auto& d = pmt.streams[1].descriptors;
    ASSERT_EQ(d.size(), 4u);
    EXPECT_EQ(Find<Iso639LanguageDescriptor>(d)->entries.at(0).language, "deu");
    EXPECT_EQ(Find<StreamIdentifierDescriptor>(d)->component_tag, 7);
    EXPECT_EQ(Find<DvbAc3Descriptor>(d)->bsid, 0x08);
    EXPECT_EQ(Find<AtscAc3Descriptor>(d)->num_channels, 7);

    const si::Cat cat = DecodeCat(SectionOf("CAT"));
    ASSERT_EQ(cat.descriptors.size(), 1u);
    EXPECT_EQ(std::get<CaDescriptor>(cat.descriptors[0].value).ca_system_id, 0x1810);
}

TEST(SiTables, DvbTables) {
    const Nit nit = DecodeNit(SectionOf("NIT"));
    ASSERT_FALSE(nit.stop) << nit.stop->reason;
    EXPECT_EQ(Find<NetworkNameDescriptor>(nit.descriptors)->name, "Testnetz");
    ASSERT_EQ(nit.transport_streams.size(), 2u);
    const auto* lcn = Find<LogicalChannelDescriptor>(nit.transport_streams[0].descriptors);
    ASSERT_NE(lcn, nullptr);
    ASSERT_EQ(lcn->entries.size(), 2u);
    EXPECT_EQ(lcn->entries[0].logical_channel_number, 5);
    EXPECT_TRUE(lcn->entries[0].visible);
    EXPECT_FALSE(lcn->entries[1].visible);

    const Sdt sdt = DecodeSdt(SectionOf("SDT"));
    ASSERT_FALSE(sdt.stop) << sdt.stop->reason;
    ASSERT_EQ(sdt.services.size(), 2u);
    EXPECT_EQ(sdt.services[0].running_status, 4);
    EXPECT_TRUE(sdt.services[0].eit_present_following);
    const auto* sv = Find<ServiceDescriptor>(sdt.services[1].descriptors);
    ASSERT_NE(sv, nullptr);
    EXPECT_EQ(sv->provider_name, "ARD");
    EXPECT_EQ(sv->service_name, "Das Erste");

    const DvbEit eit = DecodeDvbEit(SectionOf("EIT"));
    ASSERT_FALSE(eit.stop) << eit.stop->reason;
    EXPECT_EQ(eit.service_id, 1);
    EXPECT_EQ(eit.last_table_id, 0x4E);
    ASSERT_EQ(eit.events.size(), 1u);
    const auto& e = eit.events[0];
    EXPECT_EQ(e.start_time.Iso(), "1993-10-13T12:45:00Z");
    EXPECT_EQ(e.duration, "01:45:30");
    EXPECT_EQ(e.running_status, 4);
    EXPECT_EQ(Find<ShortEventDescriptor>(e.descriptors)->event_name, "Tagesschau für Straße");
    const auto joined = JoinExtendedEvents(e.descriptors);
    ASSERT_EQ(joined.size(), 1u);
    EXPECT_EQ(joined[0].language, "fra");
    EXPECT_EQ(joined[0].text, "L'été œuvre"); // the second part's selector is not shown twice
    ASSERT_EQ(joined[0].items.size(), 1u);
    EXPECT_EQ(joined[0].items[0].item, "Jean");
    EXPECT_EQ(Find<ContentDescriptor>(e.descriptors)->entries.at(0).level_1, 2);
    EXPECT_EQ(Find<ParentalRatingDescriptor>(e.descriptors)->entries.at(0).rating, 9);
    EXPECT_EQ(Find<ComponentDescriptor>(e.descriptors)->text, "HD");

    const Tdt tdt = DecodeTdt(SectionOf("TDT"));
    ASSERT_FALSE(tdt.stop) << tdt.stop->reason;
    EXPECT_EQ(tdt.utc_time.Iso(), "1993-10-13T12:45:00Z");
    const Tot tot = DecodeTot(SectionOf("TOT"));
    ASSERT_FALSE(tot.stop) << tot.stop->reason;
    const auto& lto = Find<LocalTimeOffsetDescriptor>(tot.descriptors)->entries.at(0);
    EXPECT_EQ(lto.country, "DEU");
    EXPECT_EQ(lto.local_time_offset, "+01:00");
    EXPECT_EQ(lto.time_of_change.Iso(), "1993-10-13T01:00:00Z");
    EXPECT_EQ(lto.next_time_offset, "+02:00");
    const Rst rst = DecodeRst(SectionOf("RST"));
    ASSERT_EQ(rst.statuses.size(), 1u);
    EXPECT_EQ(rst.statuses[0].event_id, 0x2A);
    EXPECT_EQ(rst.statuses[0].running_status, 4);
}

TEST(SiTables, AtscTables) {
    const Mgt mgt = DecodeMgt(SectionOf("MGT"));
    ASSERT_FALSE(mgt.stop) << mgt.stop->reason;
    ASSERT_EQ(mgt.tables.size(), 2u);
    EXPECT_EQ(mgt.tables[1].table_type, 0x100);
    EXPECT_EQ(mgt.tables[1].table_type_pid, 0x1D00);
    EXPECT_EQ(mgt.tables[1].number_bytes, 200u);

    const Vct vct = DecodeVct(SectionOf("TVCT"));
    ASSERT_FALSE(vct.stop) << vct.stop->reason;
    EXPECT_FALSE(vct.cable);
    ASSERT_EQ(vct.channels.size(), 1u);
    const auto& ch = vct.channels[0];
    EXPECT_EQ(ch.short_name, "KQED");
    EXPECT_EQ(ch.major_channel_number, 9);
    EXPECT_EQ(ch.minor_channel_number, 1);
    EXPECT_EQ(ch.program_number, 3);
    EXPECT_TRUE(ch.hide_guide);
    EXPECT_EQ(ch.service_type, 2);
    EXPECT_EQ(ch.source_id, 7);
    const auto* sld = Find<ServiceLocationDescriptor>(ch.descriptors);
    ASSERT_NE(sld, nullptr);
    EXPECT_EQ(sld->pcr_pid, 0x31);
    ASSERT_EQ(sld->elements.size(), 2u);
    EXPECT_EQ(sld->elements[1].language, "eng");
    EXPECT_EQ(FirstText(Find<ExtendedChannelNameDescriptor>(ch.descriptors)->long_channel_name),
              "KQED San Francisco");

    const Stt stt = DecodeStt(SectionOf("STT"));
    ASSERT_FALSE(stt.stop) << stt.stop->reason;
    EXPECT_EQ(stt.utc_time, "2017-01-01T00:00:00Z");

    const AtscEit eit = DecodeAtscEit(SectionOf("ATSC EIT"));
    ASSERT_FALSE(eit.stop) << eit.stop->reason;
    ASSERT_EQ(eit.events.size(), 1u);
    const auto& e = eit.events[0];
    EXPECT_EQ(e.event_id, 42);
    EXPECT_EQ(e.start_time, 0x438E6112u);
    EXPECT_EQ(e.length_in_seconds, 3600u);
    EXPECT_EQ(e.duration, "01:00:00");
    EXPECT_EQ(e.etm_location, 1);
    ASSERT_EQ(e.title.size(), 2u);
    EXPECT_EQ(e.title[1].text, "Noticias");
    const auto* adv = Find<ContentAdvisoryDescriptor>(e.descriptors);
    ASSERT_NE(adv, nullptr);
    ASSERT_EQ(adv->regions.size(), 1u);
    EXPECT_EQ(adv->regions[0].dimensions.size(), 2u);
    EXPECT_EQ(FirstText(adv->regions[0].description), "TV-14");
    const auto* cc = Find<CaptionServiceDescriptor>(e.descriptors);
    ASSERT_NE(cc, nullptr);
    ASSERT_EQ(cc->services.size(), 1u);
    EXPECT_TRUE(cc->services[0].digital_cc);
    EXPECT_EQ(cc->services[0].caption_service_number, 1);
    EXPECT_EQ(Find<AtscAc3Descriptor>(e.descriptors)->langcod, 0x65);

    const Ett ett = DecodeEtt(SectionOf("ETT"));
    ASSERT_FALSE(ett.stop) << ett.stop->reason;
    const EtmId id = SplitEtmId(ett.etm_id);
    EXPECT_EQ(id.source_id, 7);
    EXPECT_TRUE(id.is_event);
    EXPECT_EQ(id.event_id, 42);
    EXPECT_EQ(FirstText(ett.extended_text_message), "A long description");
}

TEST(SiTables, EveryDecoderUnderEveryTruncation) {
    for (const auto& [name, whole] : Sections()) {
        const AnyTable full = DecodeSection(whole);
        ASSERT_NE(full.index(), 0u) << name;
        std::visit(
            [&](const auto& t) {
                if constexpr (!std::is_same_v<std::decay_t<decltype(t)>, std::monostate>) {
                    EXPECT_FALSE(t.stop) << name << ": " << t.stop->reason;
                }
            },
            full);
        for (size_t n = 1; n < whole.size(); ++n) {
            // A copy of exactly n bytes, so that a read past them is a fault the sanitizers see.
            const std::vector<uint8_t> cut(whole.begin(), whole.begin() + static_cast<long>(n));
            const AnyTable t = DecodeSection(cut);
            ASSERT_EQ(t.index(), full.index()) << name << " cut to " << n;
            std::visit(
                [&](const auto& r) {
                    if constexpr (!std::is_same_v<std::decay_t<decltype(r)>, std::monostate>) {
                        ASSERT_TRUE(r.stop) << name << " cut to " << n;
                        EXPECT_LE(r.stop->offset, n) << name << ": " << r.stop->reason;
                        EXPECT_FALSE(r.stop->reason.empty());
                    }
                },
                t);
        }
    }
}

TEST(SiTables, LengthsThatLie) {
    struct Case {
        const char* section;
        size_t at; // byte to overwrite
        uint8_t value;
        long stop; // where decoding must stop (from the end when negative)
        const char* reason;
    } cases[] = {
        {"PAT", 2, 0x02, 3, "section_length 2 leaves no room for the header and CRC_32"},
        {"PMT", 11, 0xFF, 12, "program_info_length"}, // program_info_length past the body
        {"NIT", 11, 0x0F, 12, "descriptor"},          // a descriptor longer than its loop
        {"ATSC EIT", 9, 0x09, -4, "event_id"},        // nine events announced, one sent
        {"TVCT", 9, 0x02, -6, "short_name"},          // two channels announced
    };
    for (const Case& c : cases) {
        Bytes s = SectionOf(c.section);
        s[c.at] = c.value;
        qxtest::FixCrc(s);
        std::visit(
            [&](const auto& r) {
                if constexpr (!std::is_same_v<std::decay_t<decltype(r)>, std::monostate>) {
                    ASSERT_TRUE(r.stop) << c.section;
                    const long stop = c.stop < 0 ? static_cast<long>(s.size()) + c.stop : c.stop;
                    EXPECT_EQ(static_cast<long>(r.stop->offset), stop) << c.section << ": " << r.stop->reason;
                    EXPECT_NE(r.stop->reason.find(c.reason), std::string::npos)
                        << c.section << ": " << r.stop->reason;
                }
            },
            DecodeSection(s));
    }
    // A descriptor whose payload does not parse is kept as bytes; the rest of its loop is still read.
    Bytes sdt = SectionOf("SDT");
    const size_t service = sdt.size() - 4 - 18; // the service descriptor, last in the section
    sdt[service + 3] = 0x40;                    // its provider_name runs past its payload
    qxtest::FixCrc(sdt);
    const Sdt broken = DecodeSdt(sdt);
    ASSERT_FALSE(broken.stop) << broken.stop->reason;
    ASSERT_EQ(broken.services.at(1).descriptors.size(), 1u);
    const auto& d = broken.services[1].descriptors[0];
    EXPECT_EQ(d.tag, 0x48);
    EXPECT_EQ(d.value.index(), 0u);
    EXPECT_EQ(d.bytes.size(), 16u);
}
