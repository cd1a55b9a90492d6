#include "si/Tables.h"

namespace quenlix::si {

namespace {

enum class Form { Long, Short };

// Reads the header into rec and answers a cursor over the body (between the header and the CRC_32).
// A section shorter than its section_length is decoded over the bytes there are; Finish then says so.
class Framer {
public:
    Framer(std::span<const uint8_t> s, Section& rec, Form form, bool crc)
        : m_rec(rec), m_size(s.size()), m_root(s.data(), s.size(), &rec.stop) {
        SectionHeader& h = rec.header;
        h.table_id = m_root.U8("table_id");
        const uint16_t w = m_root.U16("section_length");
        h.section_syntax_indicator = (w & 0x8000) != 0;
        h.section_length = w & 0x0FFF;
        const size_t total = 3 + static_cast<size_t>(h.section_length);
        m_truncated = total > s.size();
        const size_t limit = m_truncated ? s.size() : total;
        const size_t header = form == Form::Long ? 8 : 3;
        const size_t trailer = crc && !m_truncated ? 4 : 0;
        if (m_root.ok() && limit < header + trailer) {
            m_root.Fail("section_length " + std::to_string(h.section_length) +
                        " leaves no room for the header" + (trailer != 0 ? " and CRC_32" : ""));
        }
        if (form == Form::Long) {
            h.table_id_extension = m_root.U16("table_id_extension");
            const uint8_t v = m_root.U8("version_number");
            h.version_number = (v >> 1) & 0x1F;
            h.current_next_indicator = (v & 0x01) != 0;
            h.section_number = m_root.U8("section_number");
            h.last_section_number = m_root.U8("last_section_number");
        }
        const size_t bodyEnd = limit >= header + trailer ? limit - trailer : header;
        m_body = m_root.Take(bodyEnd > m_root.offset() ? bodyEnd - m_root.offset() : 0, "section body");
        if (trailer != 0 && m_root.ok()) {
            h.crc_32 = m_root.U32("CRC_32");
        }
    }
    Cursor& body() { return m_body; }
    // Marks a body that was cut short by the end of the bytes, once the decoder has read what was there.
    void Finish() {
        if (m_truncated && !m_rec.stop) {
            m_rec.stop =
                Stop{m_size, "section ends " + std::to_string(3 + m_rec.header.section_length - m_size) +
                                 " bytes before its section_length"};
        }
        if (!m_rec.stop && !m_body.empty()) {
            m_rec.stop =
                Stop{m_body.offset(), std::to_string(m_body.remaining()) + " bytes left over in the body"};
        }
    }

private:
    Section& m_rec;
    size_t m_size;
    bool m_truncated = false;
    Cursor m_root;
    Cursor m_body{nullptr, 0, &m_rec.stop};
};

std::vector<Descriptor> Loop12(Cursor& c, Context ctx, const char* what) {
    Cursor loop = c.Take(c.U16(what) & 0x0FFF, what);
    return ReadDescriptors(loop, ctx);
}

std::vector<Descriptor> Loop10(Cursor& c, Context ctx, const char* what) {
    Cursor loop = c.Take(c.U16(what) & 0x03FF, what);
    return ReadDescriptors(loop, ctx);
}

} // namespace

Pat DecodePat(std::span<const uint8_t> s) {
    Pat r;
    Framer f(s, r, Form::Long, true);
    r.transport_stream_id = r.header.table_id_extension;
    Cursor& c = f.body();
    while (!c.empty()) {
        Pat::Program p;
        p.program_number = c.U16("program_number");
        p.pid = c.U16("PID") & 0x1FFF;
        if (c.ok()) {
            r.programs.push_back(p);
        }
    }
    f.Finish();
    return r;
}

Pmt DecodePmt(std::span<const uint8_t> s) {
    Pmt r;
    Framer f(s, r, Form::Long, true);
    r.program_number = r.header.table_id_extension;
    Cursor& c = f.body();
    r.pcr_pid = c.U16("PCR_PID") & 0x1FFF;
    r.program_info = Loop12(c, Context::Mpeg, "program_info_length");
    while (!c.empty()) {
        Pmt::Stream st;
        st.stream_type = c.U8("stream_type");
        st.elementary_pid = c.U16("elementary_PID") & 0x1FFF;
        st.descriptors = Loop12(c, Context::Mpeg, "ES_info_length");
        if (c.ok()) {
            r.streams.push_back(std::move(st));
        }
    }
    f.Finish();
    return r;
}

Cat DecodeCat(std::span<const uint8_t> s) {
    Cat r;
    Framer f(s, r, Form::Long, true);
    r.descriptors = ReadDescriptors(f.body(), Context::Mpeg);
    f.Finish();
    return r;
}

Nit DecodeNit(std::span<const uint8_t> s) {
    Nit r;
    Framer f(s, r, Form::Long, true);
    r.network_id = r.header.table_id_extension;
    Cursor& c = f.body();
    r.descriptors = Loop12(c, Context::Dvb, "network_descriptors_length");
    Cursor ts = c.Take(c.U16("transport_stream_loop_length") & 0x0FFF, "transport_stream_loop");
    while (!ts.empty()) {
        Nit::TransportStream t;
        t.transport_stream_id = ts.U16("transport_stream_id");
        t.original_network_id = ts.U16("original_network_id");
        t.descriptors = Loop12(ts, Context::Dvb, "transport_descriptors_length");
        if (ts.ok()) {
            r.transport_streams.push_back(std::move(t));
        }
    }
    f.Finish();
    return r;
}

Sdt DecodeSdt(std::span<const uint8_t> s) {
    Sdt r;
    Framer f(s, r, Form::Long, true);
    r.transport_stream_id = r.header.table_id_extension;
    Cursor& c = f.body();
    r.original_network_id = c.U16("original_network_id");
    c.U8("reserved_future_use");
    while (!c.empty()) {
        Sdt::Service sv;
        sv.service_id = c.U16("service_id");
        const uint8_t flags = c.U8("EIT_flags");
        sv.eit_schedule = (flags & 0x02) != 0;
        sv.eit_present_following = (flags & 0x01) != 0;
        const uint16_t w = c.U16("descriptors_loop_length");
        sv.running_status = static_cast<uint8_t>(w >> 13);
        sv.free_ca_mode = (w & 0x1000) != 0;
        Cursor loop = c.Take(w & 0x0FFF, "descriptors_loop");
        sv.descriptors = ReadDescriptors(loop, Context::Dvb);
        if (c.ok()) {
            r.services.push_back(std::move(sv));
        }
    }
    f.Finish();
    return r;
}

DvbEit DecodeDvbEit(std::span<const uint8_t> s) {
    DvbEit r;
    Framer f(s, r, Form::Long, true);
    r.service_id = r.header.table_id_extension;
    Cursor& c = f.body();
    r.transport_stream_id = c.U16("transport_stream_id");
    r.original_network_id = c.U16("original_network_id");
    r.segment_last_section_number = c.U8("segment_last_section_number");
    r.last_table_id = c.U8("last_table_id");
    while (!c.empty()) {
        DvbEit::Event e;
        e.event_id = c.U16("event_id");
        e.start_time = DecodeDvbTime(c.U40("start_time"));
        e.duration = FormatDuration(c.U24("duration"), &e.duration_seconds);
        const uint16_t w = c.U16("descriptors_loop_length");
        e.running_status = static_cast<uint8_t>(w >> 13);
        e.free_ca_mode = (w & 0x1000) != 0;
        Cursor loop = c.Take(w & 0x0FFF, "descriptors_loop");
        e.descriptors = ReadDescriptors(loop, Context::Dvb);
        if (c.ok()) {
            r.events.push_back(std::move(e));
        }
    }
    f.Finish();
    return r;
}

Tdt DecodeTdt(std::span<const uint8_t> s) {
    Tdt r;
    Framer f(s, r, Form::Short, false);
    const uint64_t t = f.body().U40("UTC_time");
    if (!r.stop) {
        r.utc_time = DecodeDvbTime(t);
    }
    f.Finish();
    return r;
}

Tot DecodeTot(std::span<const uint8_t> s) {
    Tot r;
    Framer f(s, r, Form::Short, true);
    Cursor& c = f.body();
    const uint64_t t = c.U40("UTC_time");
    if (!r.stop) {
        r.utc_time = DecodeDvbTime(t);
    }
    r.descriptors = Loop12(c, Context::Dvb, "descriptors_loop_length");
    f.Finish();
    return r;
}

Rst DecodeRst(std::span<const uint8_t> s) {
    Rst r;
    Framer f(s, r, Form::Short, false);
    Cursor& c = f.body();
    while (!c.empty()) {
        Rst::Status st;
        st.transport_stream_id = c.U16("transport_stream_id");
        st.original_network_id = c.U16("original_network_id");
        st.service_id = c.U16("service_id");
        st.event_id = c.U16("event_id");
        st.running_status = c.U8("running_status") & 0x07;
        if (c.ok()) {
            r.statuses.push_back(st);
        }
    }
    f.Finish();
    return r;
}

Mgt DecodeMgt(std::span<const uint8_t> s) {
    Mgt r;
    Framer f(s, r, Form::Long, true);
    Cursor& c = f.body();
    r.protocol_version = c.U8("protocol_version");
    const unsigned n = c.U16("tables_defined");
    for (unsigned i = 0; i < n && c.ok(); ++i) {
        Mgt::Table t;
        t.table_type = c.U16("table_type");
        t.table_type_pid = c.U16("table_type_PID") & 0x1FFF;
        t.table_type_version_number = c.U8("table_type_version_number") & 0x1F;
        t.number_bytes = c.U32("number_bytes");
        t.descriptors = Loop12(c, Context::Atsc, "table_type_descriptors_length");
        if (c.ok()) {
            r.tables.push_back(std::move(t));
        }
    }
    r.descriptors = Loop12(c, Context::Atsc, "descriptors_length");
    f.Finish();
    return r;
}

Vct DecodeVct(std::span<const uint8_t> s) {
    Vct r;
    Framer f(s, r, Form::Long, true);
    r.cable = r.header.table_id == 0xC9;
    r.transport_stream_id = r.header.table_id_extension;
    Cursor& c = f.body();
    r.protocol_version = c.U8("protocol_version");
    const unsigned n = c.U8("num_channels_in_section");
    for (unsigned i = 0; i < n && c.ok(); ++i) {
        Vct::Channel ch;
        ch.short_name = Utf16BeText(c.Bytes(14, "short_name"));
        const uint32_t w = c.U32("major_channel_number");
        ch.major_channel_number = (w >> 18) & 0x3FF;
        ch.minor_channel_number = (w >> 8) & 0x3FF;
        ch.modulation_mode = w & 0xFF;
        ch.carrier_frequency = c.U32("carrier_frequency");
        ch.channel_tsid = c.U16("channel_TSID");
        ch.program_number = c.U16("program_number");
        const uint16_t b = c.U16("ETM_location");
        ch.etm_location = b >> 14;
        ch.access_controlled = (b & 0x2000) != 0;
        ch.hidden = (b & 0x1000) != 0;
        ch.path_select = r.cable && (b & 0x0800) != 0;
        ch.out_of_band = r.cable && (b & 0x0400) != 0;
        ch.hide_guide = (b & 0x0200) != 0;
        ch.service_type = b & 0x3F;
        ch.source_id = c.U16("source_id");
        ch.descriptors = Loop10(c, Context::Atsc, "descriptors_length");
        if (c.ok()) {
            r.channels.push_back(std::move(ch));
        }
    }
    r.descriptors = Loop10(c, Context::Atsc, "additional_descriptors_length");
    f.Finish();
    return r;
}

Stt DecodeStt(std::span<const uint8_t> s) {
    Stt r;
    Framer f(s, r, Form::Long, true);
    Cursor& c = f.body();
    r.protocol_version = c.U8("protocol_version");
    r.system_time = c.U32("system_time");
    r.gps_utc_offset = c.U8("GPS_UTC_offset");
    const uint16_t ds = c.U16("daylight_saving");
    if (c.ok()) {
        r.utc_time = FormatUnix(GpsToUnix(r.system_time, r.gps_utc_offset));
        r.ds_status = (ds & 0x8000) != 0;
        r.ds_day_of_month = (ds >> 8) & 0x1F;
        r.ds_hour = ds & 0xFF;
    }
    r.descriptors = ReadDescriptors(c, Context::Atsc);
    f.Finish();
    return r;
}

AtscEit DecodeAtscEit(std::span<const uint8_t> s) {
    AtscEit r;
    Framer f(s, r, Form::Long, true);
    r.source_id = r.header.table_id_extension;
    Cursor& c = f.body();
    r.protocol_version = c.U8("protocol_version");
    const unsigned n = c.U8("num_events_in_section");
    for (unsigned i = 0; i < n && c.ok(); ++i) {
        AtscEit::Event e;
        e.event_id = c.U16("event_id") & 0x3FFF;
        e.start_time = c.U32("start_time");
        const uint32_t w = c.U24("length_in_seconds");
        e.etm_location = (w >> 20) & 0x03;
        e.length_in_seconds = w & 0xFFFFF;
        e.duration = FormatSeconds(e.length_in_seconds);
        Cursor title = c.Take(c.U8("title_length"), "title_text");
        if (!title.empty()) {
            e.title = ReadMultipleString(title);
        }
        e.descriptors = Loop12(c, Context::Atsc, "descriptors_length");
        if (c.ok()) {
            r.events.push_back(std::move(e));
        }
    }
    f.Finish();
    return r;
}

Ett DecodeEtt(std::span<const uint8_t> s) {
    Ett r;
    Framer f(s, r, Form::Long, true);
    r.ett_table_id_extension = r.header.table_id_extension;
    Cursor& c = f.body();
    r.protocol_version = c.U8("protocol_version");
    r.etm_id = c.U32("ETM_id");
    if (!c.empty()) {
        r.extended_text_message = ReadMultipleString(c);
    }
    f.Finish();
    return r;
}

AnyTable DecodeSection(std::span<const uint8_t> s) {
    if (s.empty()) {
        return std::monostate{};
    }
    const uint8_t id = s[0];
    switch (id) {
    case 0x00:
        return DecodePat(s);
    case 0x01:
        return DecodeCat(s);
    case 0x02:
        return DecodePmt(s);
    case 0x40:
    case 0x41:
    case 0x4A:
        return DecodeNit(s);
    case 0x42:
    case 0x46:
        return DecodeSdt(s);
    case 0x70:
        return DecodeTdt(s);
    case 0x71:
        return DecodeRst(s);
    case 0x73:
        return DecodeTot(s);
    case 0xC7:
        return DecodeMgt(s);
    case 0xC8:
    case 0xC9:
        return DecodeVct(s);
    case 0xCB:
        return DecodeAtscEit(s);
    case 0xCC:
        return DecodeEtt(s);
    case 0xCD:
        return DecodeStt(s);
    default:
        if (id >= 0x4E && id <= 0x6F) {
            return DecodeDvbEit(s);
        }
        return std::monostate{};
    }
}

} // namespace quenlix::si
