#include "report.h"

#include <nlohmann/json.hpp>

#include <cinttypes>
#include <map>
#include <span>
#include <vector>

#include "held_sections.h"
#include "si/Tables.h"

namespace quenlix {

namespace {

using J = nlohmann::ordered_json;
// Texts reach here as UTF-8 from si/; should a broadcast's bytes still slip through, the report shows a
// replacement character rather than stopping.
constexpr auto kBadUtf8 = J::error_handler_t::replace;

const char* StatusName(ULONG s) {
    return s == 2 ? "complete" : s == 1 ? "incomplete" : "none";
}

std::string Hex(std::span<const uint8_t> b) {
    static const char digits[] = "0123456789abcdef";
    std::string s;
    s.reserve(b.size() * 2);
    for (uint8_t v : b) {
        s += digits[v >> 4];
        s += digits[v & 0xF];
    }
    return s;
}

J Strings(const std::vector<si::AtscString>& strings) {
    J a = J::array();
    for (const auto& s : strings) {
        J segments = J::array();
        for (const auto& seg : s.segments) {
            segments.push_back({{"compression_type", seg.compression_type},
                                {"mode", seg.mode},
                                {"decoded", seg.decoded},
                                {"text", seg.text}});
        }
        a.push_back({{"language", s.language}, {"text", s.text}, {"segments", segments}});
    }
    return a;
}

J DescriptorJson(const si::Descriptor& d) {
    J o = {{"tag", d.tag}, {"name", d.Name()}};
    std::visit(
        [&](const auto& v) {
            using T = std::decay_t<decltype(v)>;
            if constexpr (std::is_same_v<T, std::monostate>) {
                o["bytes"] = Hex(d.bytes);
            } else if constexpr (std::is_same_v<T, si::CaDescriptor>) {
                o["ca_system_id"] = v.ca_system_id;
                o["ca_pid"] = v.ca_pid;
                o["private_data"] = Hex(v.private_data);
            } else if constexpr (std::is_same_v<T, si::Iso639LanguageDescriptor>) {
                J a = J::array();
                for (const auto& e : v.entries) {
                    a.push_back({{"language", e.language}, {"audio_type", e.audio_type}});
                }
                o["languages"] = a;
            } else if constexpr (std::is_same_v<T, si::NetworkNameDescriptor>) {
                o["network_name"] = v.name;
            } else if constexpr (std::is_same_v<T, si::ServiceDescriptor>) {
                o["service_type"] = v.service_type;
                o["provider_name"] = v.provider_name;
                o["service_name"] = v.service_name;
            } else if constexpr (std::is_same_v<T, si::ShortEventDescriptor>) {
                o["language"] = v.language;
                o["event_name"] = v.event_name;
                o["text"] = v.text;
            } else if constexpr (std::is_same_v<T, si::ExtendedEventDescriptor>) {
                o["descriptor_number"] = v.descriptor_number;
                o["last_descriptor_number"] = v.last_descriptor_number;
                o["language"] = v.language;
                J items = J::array();
                for (const auto& i : v.items) {
                    items.push_back({{"description", i.description}, {"item", i.item}});
                }
                o["items"] = items;
                o["text"] = v.text;
            } else if constexpr (std::is_same_v<T, si::ComponentDescriptor>) {
                o["stream_content_ext"] = v.stream_content_ext;
                o["stream_content"] = v.stream_content;
                o["component_type"] = v.component_type;
                o["component_tag"] = v.component_tag;
                o["language"] = v.language;
                o["text"] = v.text;
            } else if constexpr (std::is_same_v<T, si::StreamIdentifierDescriptor>) {
                o["component_tag"] = v.component_tag;
            } else if constexpr (std::is_same_v<T, si::ContentDescriptor>) {
                J a = J::array();
                for (const auto& e : v.entries) {
                    a.push_back({{"level_1", e.level_1}, {"level_2", e.level_2}, {"user_byte", e.user_byte}});
                }
                o["content"] = a;
            } else if constexpr (std::is_same_v<T, si::ParentalRatingDescriptor>) {
                J a = J::array();
                for (const auto& e : v.entries) {
                    a.push_back({{"country", e.country}, {"rating", e.rating}});
                }
                o["ratings"] = a;
            } else if constexpr (std::is_same_v<T, si::LocalTimeOffsetDescriptor>) {
                J a = J::array();
                for (const auto& e : v.entries) {
                    a.push_back({{"country", e.country},
                                 {"region_id", e.region_id},
                                 {"local_time_offset", e.local_time_offset},
                                 {"time_of_change", e.time_of_change.Iso()},
                                 {"next_time_offset", e.next_time_offset}});
                }
                o["offsets"] = a;
            } else if constexpr (std::is_same_v<T, si::DvbAc3Descriptor>) {
                if (v.component_type) {
                    o["component_type"] = *v.component_type;
                }
                if (v.bsid) {
                    o["bsid"] = *v.bsid;
                }
                if (v.mainid) {
                    o["mainid"] = *v.mainid;
                }
                if (v.asvc) {
                    o["asvc"] = *v.asvc;
                }
            } else if constexpr (std::is_same_v<T, si::LogicalChannelDescriptor>) {
                J a = J::array();
                for (const auto& e : v.entries) {
                    a.push_back({{"service_id", e.service_id},
                                 {"visible", e.visible},
                                 {"logical_channel_number", e.logical_channel_number}});
                }
                o["channels"] = a;
            } else if constexpr (std::is_same_v<T, si::AtscAc3Descriptor>) {
                o["sample_rate_code"] = v.sample_rate_code;
                o["bsid"] = v.bsid;
                o["bit_rate_code"] = v.bit_rate_code;
                o["surround_mode"] = v.surround_mode;
                o["bsmod"] = v.bsmod;
                o["num_channels"] = v.num_channels;
                o["full_svc"] = v.full_svc;
                if (v.langcod) {
                    o["langcod"] = *v.langcod;
                }
            } else if constexpr (std::is_same_v<T, si::CaptionServiceDescriptor>) {
                J a = J::array();
                for (const auto& s : v.services) {
                    a.push_back({{"language", s.language},
                                 {"digital_cc", s.digital_cc},
                                 {"caption_service_number", s.caption_service_number},
                                 {"line21_field", s.line21_field},
                                 {"easy_reader", s.easy_reader},
                                 {"wide_aspect_ratio", s.wide_aspect_ratio}});
                }
                o["services"] = a;
            } else if constexpr (std::is_same_v<T, si::ContentAdvisoryDescriptor>) {
                J a = J::array();
                for (const auto& r : v.regions) {
                    J dims = J::array();
                    for (const auto& [dim, value] : r.dimensions) {
                        dims.push_back({{"rating_dimension", dim}, {"rating_value", value}});
                    }
                    a.push_back({{"rating_region", r.rating_region},
                                 {"dimensions", dims},
                                 {"description", Strings(r.description)}});
                }
                o["regions"] = a;
            } else if constexpr (std::is_same_v<T, si::ExtendedChannelNameDescriptor>) {
                o["long_channel_name"] = si::FirstText(v.long_channel_name);
                o["strings"] = Strings(v.long_channel_name);
            } else if constexpr (std::is_same_v<T, si::ServiceLocationDescriptor>) {
                o["pcr_pid"] = v.pcr_pid;
                J a = J::array();
                for (const auto& e : v.elements) {
                    a.push_back({{"stream_type", e.stream_type},
                                 {"elementary_pid", e.elementary_pid},
                                 {"language", e.language}});
                }
                o["elements"] = a;
            }
        },
        d.value);
    return o;
}

J Descriptors(const std::vector<si::Descriptor>& list) {
    J a = J::array();
    for (const auto& d : list) {
        a.push_back(DescriptorJson(d));
    }
    return a;
}

// The header fields and where decoding stopped, common to every table.
void Common(J& o, const si::Section& r) {
    const si::SectionHeader& h = r.header;
    o["table_id"] = h.table_id;
    if (h.section_syntax_indicator) {
        o["version"] = h.version_number;
        o["current_next"] = h.current_next_indicator;
        o["last_section_number"] = h.last_section_number;
    }
    if (r.stop) {
        o["malformed"] = {{"offset", r.stop->offset}, {"reason", r.stop->reason}};
    }
}

// Every decoded field of one section. Time fields of ATSC tables need the STT's GPS_UTC_offset.
J SectionJson(const StoredSection* s, const si::AnyTable& table, uint8_t gpsUtcOffset, bool hex) {
    J o;
    o["pid"] = s->pid;
    o["section_number"] = s->section_number;
    o["length"] = s->length;
    std::visit(
        [&](const auto& r) {
            using T = std::decay_t<decltype(r)>;
            if constexpr (!std::is_same_v<T, std::monostate>) {
                if (r.header.crc_32) {
                    char buf[16];
                    snprintf(buf, sizeof buf, "0x%08X", *r.header.crc_32);
                    o["crc32"] = buf;
                }
                Common(o, r);
            }
            if constexpr (std::is_same_v<T, si::Pat>) {
                o["transport_stream_id"] = r.transport_stream_id;
                J a = J::array();
                for (const auto& p : r.programs) {
                    a.push_back({{"program_number", p.program_number}, {"pid", p.pid}});
                }
                o["programs"] = a;
            } else if constexpr (std::is_same_v<T, si::Pmt>) {
                o["program_number"] = r.program_number;
                o["pcr_pid"] = r.pcr_pid;
                o["program_info"] = Descriptors(r.program_info);
                J a = J::array();
                for (const auto& st : r.streams) {
                    a.push_back({{"stream_type", st.stream_type},
                                 {"elementary_pid", st.elementary_pid},
                                 {"descriptors", Descriptors(st.descriptors)}});
                }
                o["streams"] = a;
            } else if constexpr (std::is_same_v<T, si::Cat>) {
                o["descriptors"] = Descriptors(r.descriptors);
            } else if constexpr (std::is_same_v<T, si::Nit>) {
                o[r.header.table_id == 0x4A ? "bouquet_id" : "network_id"] = r.network_id;
                if (const auto* n = si::Find<si::NetworkNameDescriptor>(r.descriptors)) {
                    o["network_name"] = n->name;
                }
                o["descriptors"] = Descriptors(r.descriptors);
                J a = J::array();
                for (const auto& t : r.transport_streams) {
                    a.push_back({{"transport_stream_id", t.transport_stream_id},
                                 {"original_network_id", t.original_network_id},
                                 {"descriptors", Descriptors(t.descriptors)}});
                }
                o["transport_streams"] = a;
            } else if constexpr (std::is_same_v<T, si::Sdt>) {
                o["transport_stream_id"] = r.transport_stream_id;
                o["original_network_id"] = r.original_network_id;
                J a = J::array();
                for (const auto& sv : r.services) {
                    J e = {{"service_id", sv.service_id},
                           {"eit_schedule", sv.eit_schedule},
                           {"eit_present_following", sv.eit_present_following},
                           {"running_status", sv.running_status},
                           {"free_ca_mode", sv.free_ca_mode}};
                    if (const auto* d = si::Find<si::ServiceDescriptor>(sv.descriptors)) {
                        e["service_type"] = d->service_type;
                        e["provider_name"] = d->provider_name;
                        e["service_name"] = d->service_name;
                    }
                    e["descriptors"] = Descriptors(sv.descriptors);
                    a.push_back(std::move(e));
                }
                o["services"] = a;
            } else if constexpr (std::is_same_v<T, si::DvbEit>) {
                o["service_id"] = r.service_id;
                o["transport_stream_id"] = r.transport_stream_id;
                o["original_network_id"] = r.original_network_id;
                o["segment_last_section_number"] = r.segment_last_section_number;
                o["last_table_id"] = r.last_table_id;
                J a = J::array();
                for (const auto& ev : r.events) {
                    J e = {{"event_id", ev.event_id},
                           {"start_time", ev.start_time.Iso()},
                           {"duration", ev.duration},
                           {"running_status", ev.running_status},
                           {"free_ca_mode", ev.free_ca_mode}};
                    if (const auto* d = si::Find<si::ShortEventDescriptor>(ev.descriptors)) {
                        e["language"] = d->language;
                        e["event_name"] = d->event_name;
                        e["text"] = d->text;
                    }
                    const auto extended = si::JoinExtendedEvents(ev.descriptors);
                    if (!extended.empty()) {
                        e["extended_text"] = extended.front().text;
                    }
                    e["descriptors"] = Descriptors(ev.descriptors);
                    a.push_back(std::move(e));
                }
                o["events"] = a;
            } else if constexpr (std::is_same_v<T, si::Tdt>) {
                o["utc_time"] = r.utc_time.Iso();
            } else if constexpr (std::is_same_v<T, si::Tot>) {
                o["utc_time"] = r.utc_time.Iso();
                o["descriptors"] = Descriptors(r.descriptors);
            } else if constexpr (std::is_same_v<T, si::Rst>) {
                J a = J::array();
                for (const auto& st : r.statuses) {
                    a.push_back({{"transport_stream_id", st.transport_stream_id},
                                 {"original_network_id", st.original_network_id},
                                 {"service_id", st.service_id},
                                 {"event_id", st.event_id},
                                 {"running_status", st.running_status}});
                }
                o["statuses"] = a;
            } else if constexpr (std::is_same_v<T, si::Mgt>) {
                o["protocol_version"] = r.protocol_version;
                J a = J::array();
                for (const auto& t : r.tables) {
                    a.push_back({{"table_type", t.table_type},
                                 {"table_type_pid", t.table_type_pid},
                                 {"table_type_version_number", t.table_type_version_number},
                                 {"number_bytes", t.number_bytes},
                                 {"descriptors", Descriptors(t.descriptors)}});
                }
                o["tables"] = a;
                o["descriptors"] = Descriptors(r.descriptors);
            } else if constexpr (std::is_same_v<T, si::Vct>) {
                o["cable"] = r.cable;
                o["transport_stream_id"] = r.transport_stream_id;
                o["protocol_version"] = r.protocol_version;
                J a = J::array();
                for (const auto& ch : r.channels) {
                    J e = {{"short_name", ch.short_name},
                           {"major_channel_number", ch.major_channel_number},
                           {"minor_channel_number", ch.minor_channel_number},
                           {"modulation_mode", ch.modulation_mode},
                           {"carrier_frequency", ch.carrier_frequency},
                           {"channel_tsid", ch.channel_tsid},
                           {"program_number", ch.program_number},
                           {"etm_location", ch.etm_location},
                           {"access_controlled", ch.access_controlled},
                           {"hidden", ch.hidden},
                           {"hide_guide", ch.hide_guide},
                           {"service_type", ch.service_type},
                           {"source_id", ch.source_id}};
                    if (r.cable) {
                        e["path_select"] = ch.path_select;
                        e["out_of_band"] = ch.out_of_band;
                    }
                    if (const auto* d = si::Find<si::ExtendedChannelNameDescriptor>(ch.descriptors)) {
                        e["long_channel_name"] = si::FirstText(d->long_channel_name);
                    }
                    e["descriptors"] = Descriptors(ch.descriptors);
                    a.push_back(std::move(e));
                }
                o["channels"] = a;
                o["descriptors"] = Descriptors(r.descriptors);
            } else if constexpr (std::is_same_v<T, si::Stt>) {
                o["protocol_version"] = r.protocol_version;
                o["system_time"] = r.system_time;
                o["gps_utc_offset"] = r.gps_utc_offset;
                o["utc_time"] = r.utc_time;
                o["ds_status"] = r.ds_status;
                o["ds_day_of_month"] = r.ds_day_of_month;
                o["ds_hour"] = r.ds_hour;
                o["descriptors"] = Descriptors(r.descriptors);
            } else if constexpr (std::is_same_v<T, si::AtscEit>) {
                o["source_id"] = r.source_id;
                o["protocol_version"] = r.protocol_version;
                J a = J::array();
                for (const auto& ev : r.events) {
                    a.push_back({{"event_id", ev.event_id},
                                 {"start_time", si::FormatUnix(si::GpsToUnix(ev.start_time, gpsUtcOffset))},
                                 {"start_time_gps", ev.start_time},
                                 {"etm_location", ev.etm_location},
                                 {"length_in_seconds", ev.length_in_seconds},
                                 {"duration", ev.duration},
                                 {"title", si::FirstText(ev.title)},
                                 {"titles", Strings(ev.title)},
                                 {"descriptors", Descriptors(ev.descriptors)}});
                }
                o["events"] = a;
            } else if constexpr (std::is_same_v<T, si::Ett>) {
                o["ett_table_id_extension"] = r.ett_table_id_extension;
                o["protocol_version"] = r.protocol_version;
                o["etm_id"] = r.etm_id;
                o["text"] = si::FirstText(r.extended_text_message);
                o["strings"] = Strings(r.extended_text_message);
            }
        },
        table);
    if (hex) {
        o["hex"] = Hex({s->bytes, s->length});
    }
    return o;
}

// Output in large blocks rather than a call per character.
class Writer {
public:
    explicit Writer(FILE* out) : m_out(out) { m_buf.reserve(kBlock * 2); }
    ~Writer() { Flush(); }
    Writer& operator<<(const std::string& s) {
        m_buf += s;
        if (m_buf.size() >= kBlock) {
            Flush();
        }
        return *this;
    }
    Writer& operator<<(const char* s) { return *this << std::string(s); }
    void Flush() {
        fwrite(m_buf.data(), 1, m_buf.size(), m_out);
        m_buf.clear();
    }

private:
    static constexpr size_t kBlock = 64 * 1024;
    FILE* m_out;
    std::string m_buf;
};

bool HexKey(const std::string& key) {
    return key.find("pid") != std::string::npos || key == "table_id" ||
           (key.size() > 3 && key.compare(key.size() - 3, 3, "_id") == 0) || key == "crc32";
}

// A JSON value as indented "key: value" lines; identifiers and PIDs in hexadecimal.
void PrintText(Writer& w, const J& v, const std::string& key, int indent) {
    const std::string pad(static_cast<size_t>(indent) * 2, ' ');
    if (v.is_object()) {
        if (!key.empty()) {
            w << pad << key << ":\n";
        }
        for (const auto& [k, item] : v.items()) {
            PrintText(w, item, k, key.empty() ? indent : indent + 1);
        }
    } else if (v.is_array()) {
        if (v.empty()) {
            return;
        }
        w << pad << key << ":\n";
        for (const auto& item : v) {
            if (item.is_object()) {
                w << pad << "  -\n";
                PrintText(w, item, "", indent + 2);
            } else {
                PrintText(w, item, "-", indent + 1);
            }
        }
    } else if (v.is_string()) {
        w << pad << key << ": " << v.get<std::string>() << "\n";
    } else if (v.is_number_unsigned() && HexKey(key)) {
        char buf[32];
        snprintf(buf, sizeof buf, "0x%04" PRIX64, v.get<uint64_t>());
        w << pad << key << ": " << buf << "\n";
    } else {
        w << pad << key << ": " << v.dump(-1, ' ', false, kBadUtf8) << "\n";
    }
}

J InputJson(const ScanFacts& f) {
    const qxhost::TsReaderStats& s = f.reader;
    return {{"name", f.input},
            {"packet_size", f.packet_size},
            {"bytes", s.bytes},
            {"packets", s.packets},
            {"sync_losses", s.sync_losses},
            {"skipped_bytes", s.skipped_bytes},
            {"error_packets", s.error_packets},
            {"scrambled_packets", s.scrambled_packets},
            {"no_payload_packets", s.no_payload_packets},
            {"truncated_bytes", s.truncated_bytes}};
}

J DemuxJson(const SectionDemuxStats& s) {
    return {{"sections_delivered", s.samples},
            {"mapped_packets", s.demux.mapped_packets},
            {"continuity_errors", s.demux.sections.cc_errors},
            {"repeated_packets", s.demux.sections.duplicates},
            {"dropped_partial_sections", s.demux.sections.dropped_partial},
            {"oversized_sections", s.demux.sections.oversized}};
}

// What a person wants first: the network, the transport stream, and per service or virtual channel its
// number, name, provider, type, PMT and streams, and what is on now and next.
class Summary {
public:
    explicit Summary(ITableCollector* tc) {
        HeldSections held(tc);
        uint8_t gps = 0;
        held.Walk(
            {"pat", "pmt", "nit", "sdt", "eit", "vct", "stt", "atsc_eit"},
            [&](const HeldTable& t) {
                // Only the present/following EIT and the first ATSC EIT (EIT-0) say what is on now.
                return (std::string(t.name) != "eit" || t.key == 0x4E) &&
                       (std::string(t.name) != "atsc_eit" || t.key == 0x100);
            },
            [&](const HeldSection& h) {
                const auto table = si::DecodeSection({h.section->bytes, h.section->length});
                std::visit([&](const auto& r) { Take(r, gps); }, table);
            });
    }

    J Json() const {
        J o;
        if (m_network) {
            o["network"] = *m_network;
        }
        if (m_tsid) {
            o["transport_stream_id"] = *m_tsid;
        }
        std::set<unsigned> channelPrograms;
        for (const auto& ch : m_channels) {
            channelPrograms.insert(ch["program_number"].get<unsigned>());
        }
        J services = J::array();
        for (const auto& [id, s] : m_services) {
            if (s.empty() && channelPrograms.count(id) != 0) {
                continue; // a virtual channel's program, shown with its channel
            }
            J e = {{"service_id", id}};
            for (const auto& [k, v] : s.items()) {
                e[k] = v;
            }
            const auto pid = m_pmtPid.find(id);
            if (pid != m_pmtPid.end()) {
                e["pmt_pid"] = pid->second;
            }
            const auto streams = m_streams.find(id);
            if (streams != m_streams.end()) {
                e["streams"] = streams->second;
            }
            services.push_back(std::move(e));
        }
        o["services"] = services;
        J channels = J::array();
        for (const auto& ch : m_channels) {
            J e = ch;
            const auto streams = m_streams.find(ch["program_number"].get<unsigned>());
            if (streams != m_streams.end()) {
                e["streams"] = streams->second;
            }
            const auto now = m_atscNow.find(ch["source_id"].get<unsigned>());
            if (now != m_atscNow.end()) {
                e["now_next"] = now->second;
            }
            channels.push_back(std::move(e));
        }
        o["channels"] = channels;
        return o;
    }

private:
    void Take(const std::monostate&, uint8_t&) {}
    void Take(const si::Pat& r, uint8_t&) {
        m_tsid = r.transport_stream_id;
        for (const auto& p : r.programs) {
            if (p.program_number != 0) {
                m_pmtPid[p.program_number] = p.pid;
                Service(p.program_number);
            }
        }
    }
    void Take(const si::Pmt& r, uint8_t&) {
        J a = J::array();
        for (const auto& st : r.streams) {
            J e = {{"stream_type", st.stream_type}, {"elementary_pid", st.elementary_pid}};
            if (const auto* l = si::Find<si::Iso639LanguageDescriptor>(st.descriptors);
                l && !l->entries.empty()) {
                e["language"] = l->entries.front().language;
            }
            a.push_back(std::move(e));
        }
        m_streams[r.program_number] = a;
    }
    void Take(const si::Nit& r, uint8_t&) {
        if (r.header.table_id != 0x40) {
            return;
        }
        if (!m_network) {
            m_network = J{{"network_id", r.network_id}};
        }
        if (const auto* d = si::Find<si::NetworkNameDescriptor>(r.descriptors)) {
            (*m_network)["name"] = d->name; // in any section of the NIT
        }
        for (const auto& t : r.transport_streams) {
            if (const auto* lcn = si::Find<si::LogicalChannelDescriptor>(t.descriptors)) {
                for (const auto& e : lcn->entries) {
                    Service(e.service_id)["logical_channel_number"] = e.logical_channel_number;
                }
            }
        }
    }
    void Take(const si::Sdt& r, uint8_t&) {
        for (const auto& sv : r.services) {
            J& s = Service(sv.service_id);
            if (const auto* d = si::Find<si::ServiceDescriptor>(sv.descriptors)) {
                s["service_name"] = d->service_name;
                s["provider_name"] = d->provider_name;
                s["service_type"] = d->service_type;
            }
        }
    }
    void Take(const si::DvbEit& r, uint8_t&) {
        if (r.header.section_number > 1 || r.events.empty()) {
            return;
        }
        const auto& ev = r.events.front();
        J e = {{"start_time", ev.start_time.Iso()}, {"duration", ev.duration}};
        if (const auto* d = si::Find<si::ShortEventDescriptor>(ev.descriptors)) {
            e["event_name"] = d->event_name;
        }
        Service(r.service_id)[r.header.section_number == 0 ? "now" : "next"] = e;
    }
    void Take(const si::Vct& r, uint8_t&) {
        for (const auto& ch : r.channels) {
            J e = {{"major_channel_number", ch.major_channel_number},
                   {"minor_channel_number", ch.minor_channel_number},
                   {"short_name", ch.short_name},
                   {"service_type", ch.service_type},
                   {"program_number", ch.program_number},
                   {"source_id", ch.source_id}};
            if (const auto* d = si::Find<si::ExtendedChannelNameDescriptor>(ch.descriptors)) {
                e["long_channel_name"] = si::FirstText(d->long_channel_name);
            }
            m_channels.push_back(std::move(e));
        }
    }
    void Take(const si::Stt& r, uint8_t& gps) { gps = r.gps_utc_offset; }
    void Take(const si::AtscEit& r, uint8_t& gps) {
        J& list = m_atscNow[r.source_id];
        for (const auto& ev : r.events) {
            if (list.size() >= 2) {
                break;
            }
            list.push_back({{"start_time", si::FormatUnix(si::GpsToUnix(ev.start_time, gps))},
                            {"duration", ev.duration},
                            {"title", si::FirstText(ev.title)}});
        }
    }
    template <class T> void Take(const T&, uint8_t&) {}

    J& Service(unsigned id) {
        J& s = m_services[id];
        if (s.is_null()) {
            s = J::object();
        }
        return s;
    }

    std::optional<J> m_network;
    std::optional<unsigned> m_tsid;
    std::map<unsigned, J> m_services;
    std::map<unsigned, unsigned> m_pmtPid;
    std::map<unsigned, J> m_streams; // by program_number
    std::vector<J> m_channels;
    std::map<unsigned, J> m_atscNow;
};

std::string Field(const J& o, const char* key) {
    const auto it = o.find(key);
    if (it == o.end()) {
        return "";
    }
    return it->is_string() ? it->get<std::string>() : it->dump(-1, ' ', false, kBadUtf8);
}

void PrintSummary(Writer& w, const J& s) {
    char buf[64];
    if (s.contains("network")) {
        snprintf(buf, sizeof buf, "0x%04X", s["network"]["network_id"].get<unsigned>());
        w << "Network: " << Field(s["network"], "name") << " (network_id " << buf << ")\n";
    }
    if (s.contains("transport_stream_id")) {
        snprintf(buf, sizeof buf, "0x%04X", s["transport_stream_id"].get<unsigned>());
        w << "Transport stream: " << buf << "\n";
    }
    auto streams = [&](const J& e) {
        if (!e.contains("streams")) {
            return;
        }
        for (const auto& st : e["streams"]) {
            snprintf(buf, sizeof buf, "      stream type 0x%02X on PID 0x%04X",
                     st["stream_type"].get<unsigned>(), st["elementary_pid"].get<unsigned>());
            w << buf;
            if (st.contains("language")) {
                w << " [" << st["language"].get<std::string>() << "]";
            }
            w << "\n";
        }
    };
    if (!s["services"].empty()) {
        w << "Services:\n";
    }
    for (const auto& e : s["services"]) {
        snprintf(buf, sizeof buf, "  0x%04X", e["service_id"].get<unsigned>());
        w << buf;
        if (e.contains("logical_channel_number")) {
            w << " #" << Field(e, "logical_channel_number");
        }
        w << " " << (e.contains("service_name") ? Field(e, "service_name") : "(no name)");
        if (e.contains("provider_name")) {
            w << " from " << Field(e, "provider_name");
        }
        if (e.contains("service_type")) {
            snprintf(buf, sizeof buf, ", type 0x%02X", e["service_type"].get<unsigned>());
            w << buf;
        }
        if (e.contains("pmt_pid")) {
            snprintf(buf, sizeof buf, ", PMT PID 0x%04X", e["pmt_pid"].get<unsigned>());
            w << buf;
        }
        w << "\n";
        streams(e);
        for (const char* when : {"now", "next"}) {
            if (e.contains(when)) {
                const J& ev = e[when];
                w << "      " << when << ": " << Field(ev, "start_time") << " (" << Field(ev, "duration")
                  << ") " << Field(ev, "event_name") << "\n";
            }
        }
    }
    if (!s["channels"].empty()) {
        w << "Virtual channels:\n";
    }
    for (const auto& e : s["channels"]) {
        w << "  " << Field(e, "major_channel_number") << "." << Field(e, "minor_channel_number")
          << " short_name " << Field(e, "short_name");
        if (e.contains("long_channel_name")) {
            w << " (" << Field(e, "long_channel_name") << ")";
        }
        snprintf(buf, sizeof buf, ", type 0x%02X, program %u, source 0x%04X",
                 e["service_type"].get<unsigned>(), e["program_number"].get<unsigned>(),
                 e["source_id"].get<unsigned>());
        w << buf << "\n";
        streams(e);
        if (e.contains("now_next")) {
            const char* when[] = {"now", "next"};
            size_t i = 0;
            for (const auto& ev : e["now_next"]) {
                w << "      " << when[i++] << ": " << Field(ev, "start_time") << " (" << Field(ev, "duration")
                  << ") " << Field(ev, "title") << "\n";
            }
        }
    }
}

uint8_t GpsUtcOffset(ITableCollector* tc) {
    StoredSection* s = nullptr;
    uint8_t offset = 0;
    if (tc->GetSttSection(&s) == S_OK && s != nullptr) {
        offset = si::DecodeStt({s->bytes, s->length}).gps_utc_offset;
        tc->FreeSttSection(&s);
    }
    return offset;
}

} // namespace

void KeepEveryEitVersion(ITableCollector* tc) {
    tc->SetEitResetOnVersionChange(FALSE);
    tc->SetAtscEitResetOnVersionChange(FALSE);
}

void WriteSection(const uint8_t* bytes, size_t length, uint32_t pid, bool json, FILE* out) {
    StoredSection copy = {};
    copy.pid = pid;
    copy.section_number = length > 6 ? bytes[6] : 0;
    copy.length = static_cast<ULONG>(length);
    copy.bytes = const_cast<BYTE*>(bytes);
    const J s = SectionJson(&copy, si::DecodeSection({bytes, length}), 0, true);
    Writer w(out);
    if (json) {
        w << s.dump(-1, ' ', false, kBadUtf8) << "\n";
    } else {
        PrintText(w, s, "", 0);
    }
}

void WriteReport(ITableCollector* tc, const ReportOptions& o, const ScanFacts& f, FILE* out) {
    Writer w(out);
    const uint8_t gps = GpsUtcOffset(tc);
    const bool summary = o.tables.empty();
    if (o.json) {
        w << "{\"input\":" << InputJson(f).dump(-1, ' ', false, kBadUtf8)
          << ",\"filter_module\":" << J(f.module).dump(-1, ' ', false, kBadUtf8)
          << ",\"demux\":" << DemuxJson(f.demux).dump(-1, ' ', false, kBadUtf8);
        if (summary) {
            w << ",\"summary\":" << Summary(tc).Json().dump(-1, ' ', false, kBadUtf8);
        }
        w << ",\"tables\":{";
    } else {
        w << "Input: " << f.input << " (" << std::to_string(f.packet_size) << "-byte packets, "
          << std::to_string(f.reader.packets) << " packets)\n";
        if (summary) {
            PrintSummary(w, Summary(tc).Json());
        }
        w << "Tables:\n";
    }
    // JSON: each top-level table is an object; the two EITs hold one object per table_id or table_type.
    std::string open;    // the top-level table being written
    bool nested = false; // inside "eit"/"atsc_eit" {"tables":[
    bool firstTop = true, firstSub = true, firstSection = true;
    auto close = [&]() {
        if (open.empty() || !o.json) {
            return;
        }
        w << "]}";
        if (nested) {
            w << "]}";
        }
    };
    std::set<std::string> written;
    HeldSections held(tc);
    held.Walk(
        o.tables,
        [&](const HeldTable& t) {
            const bool grouped = std::string(t.name) == "eit" || std::string(t.name) == "atsc_eit";
            const bool ett = std::string(t.name) == "ett";
            if (o.json) {
                if (open != t.name) {
                    close();
                    w << (firstTop ? "" : ",") << J(t.name).dump(-1, ' ', false, kBadUtf8) << ":{";
                    firstTop = false;
                    open = t.name;
                    nested = grouped;
                    written.insert(t.name);
                    if (grouped) {
                        w << "\"tables\":[";
                        firstSub = true;
                    }
                } else if (grouped) {
                    w << "]}";
                }
                J head = J::object();
                if (grouped) {
                    head[std::string(t.name) == "eit" ? "table_id" : "table_type"] = t.key;
                }
                if (!ett) {
                    head["status"] = StatusName(t.status);
                }
                head["section_count"] = t.count;
                std::string fields =
                    head.dump(-1, ' ', false, kBadUtf8); // the object's fields, left open for its sections
                fields = fields.substr(1, fields.size() - 2);
                if (grouped) {
                    w << (firstSub ? "{" : ",{");
                }
                w << fields << ",\"sections\":[";
                firstSub = false;
                firstSection = true;
            } else {
                char buf[96];
                if (std::string(t.name) == "eit") {
                    snprintf(buf, sizeof buf, "  eit table_id 0x%02X", static_cast<unsigned>(t.key));
                } else if (std::string(t.name) == "atsc_eit") {
                    snprintf(buf, sizeof buf, "  atsc_eit table_type 0x%04X", static_cast<unsigned>(t.key));
                } else {
                    snprintf(buf, sizeof buf, "  %s", t.name);
                }
                w << buf << ": " << (ett ? "" : std::string(StatusName(t.status)) + ", ")
                  << std::to_string(t.count) << " section(s)\n";
            }
            return o.json || o.detail || o.hex;
        },
        [&](const HeldSection& h) {
            const J s =
                SectionJson(h.section, si::DecodeSection({h.section->bytes, h.section->length}), gps, o.hex);
            if (o.json) {
                w << (firstSection ? "" : ",") << s.dump(-1, ' ', false, kBadUtf8);
                firstSection = false;
            } else {
                w << "    -\n";
                PrintText(w, s, "", 3);
            }
        });
    if (o.json) {
        close();
        // Tables asked for but with nothing to show still appear, empty.
        for (const char* name : {"eit", "atsc_eit", "ett"}) {
            if (written.count(name) == 0 && (o.tables.empty() || o.tables.count(name) != 0)) {
                w << (firstTop ? "" : ",") << J(name).dump(-1, ' ', false, kBadUtf8)
                  << (std::string(name) == "ett" ? ":{\"section_count\":0,\"sections\":[]}"
                                                 : ":{\"tables\":[]}");
                firstTop = false;
            }
        }
        w << "}}\n";
    }
    w.Flush();
    fflush(out);
}

} // namespace quenlix
