#include "report.h"

#include <ctime>
#include <map>

namespace quenlix {

// ---------------------------------------------------------------------------------------------------
// Node

Node Node::Int(int64_t v, bool hex) {
    Node n;
    n.m_kind = Kind::Int;
    n.m_int = v;
    n.m_hex = hex;
    return n;
}

Node Node::Bool(bool v) {
    Node n;
    n.m_kind = Kind::Bool;
    n.m_int = v ? 1 : 0;
    return n;
}

Node Node::Text(std::string v) {
    Node n;
    n.m_kind = Kind::Text;
    n.m_text = std::move(v);
    return n;
}

Node Node::Array() {
    Node n;
    n.m_kind = Kind::Array;
    return n;
}

Node Node::Object() {
    Node n;
    n.m_kind = Kind::Object;
    return n;
}

Node& Node::Set(const std::string& key, Node value) {
    for (auto& f : m_fields) {
        if (f.first == key) {
            f.second = std::move(value);
            return f.second;
        }
    }
    m_fields.emplace_back(key, std::move(value));
    return m_fields.back().second;
}

Node& Node::Push(Node value) {
    m_items.push_back(std::move(value));
    return m_items.back();
}

const Node* Node::Find(const std::string& key) const {
    for (const auto& f : m_fields) {
        if (f.first == key) {
            return &f.second;
        }
    }
    return nullptr;
}

namespace {

void JsonString(FILE* out, const std::string& s) {
    fputc('"', out);
    for (unsigned char c : s) {
        switch (c) {
        case '"':
            fputs("\\\"", out);
            break;
        case '\\':
            fputs("\\\\", out);
            break;
        case '\n':
            fputs("\\n", out);
            break;
        case '\t':
            fputs("\\t", out);
            break;
        default:
            if (c < 0x20 || c >= 0x7F) {
                fprintf(out, "\\u%04x", c); // texts are decoded to Latin-1 code points
            } else {
                fputc(c, out);
            }
        }
    }
    fputc('"', out);
}

bool Scalar(const Node& n) {
    return n.kind() != Node::Kind::Array && n.kind() != Node::Kind::Object;
}

void ScalarText(FILE* out, const Node& n, bool hex) {
    switch (n.kind()) {
    case Node::Kind::Null:
        fputs("-", out);
        break;
    case Node::Kind::Bool:
        fputs(n.AsInt() ? "yes" : "no", out);
        break;
    case Node::Kind::Int:
        if (hex) {
            unsigned long long v = static_cast<unsigned long long>(n.AsInt());
            fprintf(out, "0x%0*llX", v > 0xFFFF ? 8 : v > 0xFF ? 4 : 2, v);
        } else {
            fprintf(out, "%lld", static_cast<long long>(n.AsInt()));
        }
        break;
    case Node::Kind::Text:
        fputs(n.AsText().c_str(), out);
        break;
    default:
        break;
    }
}

} // namespace

void Node::PrintJson(FILE* out, int indent) const {
    std::string pad(indent + 2, ' ');
    switch (m_kind) {
    case Kind::Null:
        fputs("null", out);
        break;
    case Kind::Bool:
        fputs(m_int ? "true" : "false", out);
        break;
    case Kind::Int:
        fprintf(out, "%lld", static_cast<long long>(m_int));
        break;
    case Kind::Text:
        JsonString(out, m_text);
        break;
    case Kind::Array:
        if (m_items.empty()) {
            fputs("[]", out);
            break;
        }
        fputs("[\n", out);
        for (size_t i = 0; i < m_items.size(); ++i) {
            fputs(pad.c_str(), out);
            m_items[i].PrintJson(out, indent + 2);
            fputs(i + 1 < m_items.size() ? ",\n" : "\n", out);
        }
        fprintf(out, "%*s]", indent, "");
        break;
    case Kind::Object:
        if (m_fields.empty()) {
            fputs("{}", out);
            break;
        }
        fputs("{\n", out);
        for (size_t i = 0; i < m_fields.size(); ++i) {
            fputs(pad.c_str(), out);
            JsonString(out, m_fields[i].first);
            fputs(": ", out);
            m_fields[i].second.PrintJson(out, indent + 2);
            fputs(i + 1 < m_fields.size() ? ",\n" : "\n", out);
        }
        fprintf(out, "%*s}", indent, "");
        break;
    }
}

void Node::PrintText(FILE* out, int indent) const {
    if (m_kind == Kind::Object) {
        for (const auto& [key, value] : m_fields) {
            fprintf(out, "%*s%s:", indent, "", key.c_str());
            if (Scalar(value)) {
                fputc(' ', out);
                ScalarText(out, value, value.m_hex);
                fputc('\n', out);
            } else if (value.m_items.empty() && value.m_fields.empty()) {
                fputs(" none\n", out);
            } else {
                fputc('\n', out);
                value.PrintText(out, indent + 2);
            }
        }
    } else if (m_kind == Kind::Array) {
        for (const Node& item : m_items) {
            bool flat = item.m_kind == Kind::Object;
            for (const auto& f : item.m_fields) {
                flat = flat && Scalar(f.second);
            }
            if (Scalar(item)) {
                fprintf(out, "%*s- ", indent, "");
                ScalarText(out, item, item.m_hex);
                fputc('\n', out);
            } else if (flat) {
                // A record of plain values reads best on one line.
                fprintf(out, "%*s-", indent, "");
                const char* sep = " ";
                for (const auto& [key, value] : item.m_fields) {
                    fprintf(out, "%s%s ", sep, key.c_str());
                    ScalarText(out, value, value.m_hex);
                    sep = ", ";
                }
                fputc('\n', out);
            } else {
                fprintf(out, "%*s-\n", indent, "");
                item.PrintText(out, indent + 2);
            }
        }
    } else {
        fprintf(out, "%*s", indent, "");
        ScalarText(out, *this, m_hex);
        fputc('\n', out);
    }
}

// ---------------------------------------------------------------------------------------------------
// Field readers

namespace {

// Reads big-endian fields from a bounded range; any read past the end sets bad and answers 0.
struct Cursor {
    const uint8_t* p;
    size_t n;
    size_t at = 0;
    bool bad = false;

    Cursor(const uint8_t* data, size_t size, size_t start = 0) : p(data), n(size), at(start) {}
    bool Has(size_t k) const { return !bad && at + k <= n; }
    uint32_t Get(int bytes) {
        if (!Has(static_cast<size_t>(bytes))) {
            bad = true;
            at = n;
            return 0;
        }
        uint32_t v = 0;
        for (int i = 0; i < bytes; ++i) {
            v = (v << 8) | p[at++];
        }
        return v;
    }
    // A sub-range of k bytes, consumed.
    Cursor Take(size_t k) {
        if (!Has(k)) {
            bad = true;
            at = n;
            return Cursor(p, 0);
        }
        Cursor c(p + at, k);
        at += k;
        return c;
    }
    const uint8_t* Here() const { return p + at; }
    size_t Left() const { return at < n ? n - at : 0; }
};

// DVB text (EN 300 468 annex A): a leading character-table byte is skipped; bytes outside printable
// ASCII and Latin-1 are shown as '?'.
std::string DvbText(const uint8_t* p, size_t n) {
    size_t i = 0;
    if (n > 0 && p[0] < 0x20) {
        i = p[0] == 0x10 ? 3 : 1;
    }
    std::string s;
    for (; i < n; ++i) {
        uint8_t c = p[i];
        s.push_back((c >= 0x20 && c < 0x7F) || c >= 0xA0 ? static_cast<char>(c) : '?');
    }
    return s;
}

std::string Latin1(const uint8_t* p, size_t n) {
    std::string s;
    for (size_t i = 0; i < n; ++i) {
        s.push_back((p[i] >= 0x20 && p[i] < 0x7F) || p[i] >= 0xA0 ? static_cast<char>(p[i]) : '?');
    }
    return s;
}

// The first string of an ATSC multiple_string_structure, uncompressed segments only.
std::string MssText(Cursor c) {
    unsigned strings = c.Get(1);
    std::string text;
    for (unsigned s = 0; s < strings && !c.bad; ++s) {
        c.Get(3); // ISO_639_language_code
        unsigned segments = c.Get(1);
        for (unsigned g = 0; g < segments && !c.bad; ++g) {
            unsigned compression = c.Get(1);
            unsigned mode = c.Get(1);
            unsigned bytes = c.Get(1);
            Cursor seg = c.Take(bytes);
            if (s == 0 && compression == 0 && mode == 0) {
                text += Latin1(seg.p, seg.n);
            } else if (s == 0) {
                text += "[compressed]";
            }
        }
    }
    return text;
}

unsigned Bcd(uint8_t b) {
    return (b >> 4) * 10 + (b & 0x0F);
}

std::string Duration(const uint8_t* p3) {
    char buf[16];
    snprintf(buf, sizeof buf, "%02u:%02u:%02u", Bcd(p3[0]), Bcd(p3[1]), Bcd(p3[2]));
    return buf;
}

// Common long-header fields; the body's decoder adds its own.
Node LongHeader(const uint8_t* p, size_t n, const char* extensionName) {
    Node o = Node::Object();
    if (n < 12) {
        o.Set("malformed", Node::Bool(true));
        return o;
    }
    o.Set("table_id", Node::Int(p[0], true));
    o.Set(extensionName, Node::Int((p[3] << 8) | p[4], true));
    o.Set("version", Node::Int((p[5] >> 1) & 0x1F));
    o.Set("last_section_number", Node::Int(p[7]));
    return o;
}

// Descriptors of one loop, as tag -> decoded value for the ones that carry names; others by tag only.
void Descriptors(Cursor loop, Node& into) {
    while (loop.Left() >= 2 && !loop.bad) {
        unsigned tag = loop.Get(1);
        unsigned len = loop.Get(1);
        Cursor d = loop.Take(len);
        if (loop.bad) {
            into.Set("malformed", Node::Bool(true));
            return;
        }
        switch (tag) {
        case 0x40:
            into.Set("network_name", Node::Text(DvbText(d.p, d.n)));
            break;
        case 0x47:
            into.Set("bouquet_name", Node::Text(DvbText(d.p, d.n)));
            break;
        case 0x48: {
            into.Set("service_type", Node::Int(d.Get(1), true));
            unsigned pl = d.Get(1);
            Cursor prov = d.Take(pl);
            unsigned nl = d.Get(1);
            Cursor name = d.Take(nl);
            if (!d.bad) {
                into.Set("provider", Node::Text(DvbText(prov.p, prov.n)));
                into.Set("name", Node::Text(DvbText(name.p, name.n)));
            }
            break;
        }
        case 0x4D: {
            Cursor lang = d.Take(3);
            unsigned nl = d.Get(1);
            Cursor name = d.Take(nl);
            unsigned tl = d.Get(1);
            Cursor text = d.Take(tl);
            if (!d.bad) {
                into.Set("language", Node::Text(Latin1(lang.p, lang.n)));
                into.Set("name", Node::Text(DvbText(name.p, name.n)));
                into.Set("text", Node::Text(DvbText(text.p, text.n)));
            }
            break;
        }
        case 0x09: {
            Node ca = Node::Object();
            ca.Set("ca_system_id", Node::Int(d.Get(2), true));
            ca.Set("ca_pid", Node::Int(d.Get(2) & 0x1FFF, true));
            Node* list = into.Find("ca");
            if (list == nullptr) {
                list = &into.Set("ca", Node::Array());
            }
            list->Push(ca);
            break;
        }
        case 0x58: {
            Node* list = &into.Set("local_time_offsets", Node::Array());
            while (d.Left() >= 13) {
                Node lto = Node::Object();
                Cursor country = d.Take(3);
                unsigned region = d.Get(1);
                unsigned offset = d.Get(2);
                Cursor change = d.Take(5);
                unsigned next = d.Get(2);
                char buf[8];
                snprintf(buf, sizeof buf, "%c%02u:%02u", (region & 1) ? '-' : '+', Bcd(offset >> 8),
                         Bcd(offset & 0xFF));
                lto.Set("country", Node::Text(Latin1(country.p, country.n)));
                lto.Set("region", Node::Int(region >> 2));
                lto.Set("offset", Node::Text(buf));
                lto.Set("time_of_change", Node::Text(DvbTime(change.p)));
                snprintf(buf, sizeof buf, "%c%02u:%02u", (region & 1) ? '-' : '+', Bcd(next >> 8),
                         Bcd(next & 0xFF));
                lto.Set("next_offset", Node::Text(buf));
                list->Push(lto);
            }
            break;
        }
        default:
            break;
        }
    }
}

// The part of a long section between the header and the CRC_32.
Cursor Body(const uint8_t* p, size_t n, size_t header = 8) {
    return Cursor(p, n >= header + 4 ? n - 4 : header, header);
}

} // namespace

std::string DvbTime(const uint8_t* p) {
    unsigned mjd = (p[0] << 8) | p[1];
    if (mjd == 0xFFFF) {
        return "undefined";
    }
    int yp = static_cast<int>((mjd - 15078.2) / 365.25);
    int mp = static_cast<int>((mjd - 14956.1 - static_cast<int>(yp * 365.25)) / 30.6001);
    int day = static_cast<int>(mjd) - 14956 - static_cast<int>(yp * 365.25) - static_cast<int>(mp * 30.6001);
    int k = (mp == 14 || mp == 15) ? 1 : 0;
    char buf[32];
    snprintf(buf, sizeof buf, "%04d-%02d-%02d %02u:%02u:%02u", yp + k + 1900, mp - 1 - k * 12, day, Bcd(p[2]),
             Bcd(p[3]), Bcd(p[4]));
    return buf;
}

std::string GpsTime(uint32_t gps, unsigned offset) {
    time_t t = static_cast<time_t>(315964800LL + gps - offset); // the GPS epoch, 1980-01-06
    struct tm tmv {};
    struct tm* r = gmtime(&t);
    if (r == nullptr) {
        return "invalid";
    }
    tmv = *r;
    char buf[32];
    strftime(buf, sizeof buf, "%Y-%m-%d %H:%M:%S", &tmv);
    return buf;
}

Node DecodePat(const uint8_t* p, size_t n) {
    Node o = LongHeader(p, n, "transport_stream_id");
    Node& programs = o.Set("programs", Node::Array());
    Cursor c = Body(p, n);
    while (c.Left() >= 4) {
        Node e = Node::Object();
        e.Set("program_number", Node::Int(c.Get(2), true));
        e.Set("pid", Node::Int(c.Get(2) & 0x1FFF, true));
        programs.Push(e);
    }
    return o;
}

Node DecodePmt(const uint8_t* p, size_t n) {
    Node o = LongHeader(p, n, "program_number");
    Cursor c = Body(p, n);
    o.Set("pcr_pid", Node::Int(c.Get(2) & 0x1FFF, true));
    Cursor info = c.Take(c.Get(2) & 0x0FFF);
    Descriptors(info, o);
    Node& streams = o.Set("streams", Node::Array());
    while (c.Left() >= 5) {
        Node s = Node::Object();
        s.Set("stream_type", Node::Int(c.Get(1), true));
        s.Set("pid", Node::Int(c.Get(2) & 0x1FFF, true));
        c.Take(c.Get(2) & 0x0FFF);
        streams.Push(s);
    }
    if (c.bad || c.Left() != 0) {
        o.Set("malformed", Node::Bool(true));
    }
    return o;
}

Node DecodeNit(const uint8_t* p, size_t n) {
    Node o = LongHeader(p, n, p[0] == 0x4A ? "bouquet_id" : "network_id");
    Cursor c = Body(p, n);
    Descriptors(c.Take(c.Get(2) & 0x0FFF), o);
    Cursor loop = c.Take(c.Get(2) & 0x0FFF);
    Node& streams = o.Set("transport_streams", Node::Array());
    while (loop.Left() >= 6) {
        Node s = Node::Object();
        s.Set("transport_stream_id", Node::Int(loop.Get(2), true));
        s.Set("original_network_id", Node::Int(loop.Get(2), true));
        loop.Take(loop.Get(2) & 0x0FFF);
        streams.Push(s);
    }
    if (c.bad || loop.bad) {
        o.Set("malformed", Node::Bool(true));
    }
    return o;
}

Node DecodeSdt(const uint8_t* p, size_t n) {
    Node o = LongHeader(p, n, "transport_stream_id");
    Cursor c = Body(p, n);
    o.Set("original_network_id", Node::Int(c.Get(2), true));
    c.Get(1);
    Node& services = o.Set("services", Node::Array());
    while (c.Left() >= 5) {
        Node s = Node::Object();
        s.Set("service_id", Node::Int(c.Get(2), true));
        unsigned flags = c.Get(1);
        unsigned word = c.Get(2);
        s.Set("eit_schedule", Node::Bool(flags & 0x02));
        s.Set("eit_present_following", Node::Bool(flags & 0x01));
        s.Set("running_status", Node::Int(word >> 13));
        s.Set("free_ca_mode", Node::Bool(word & 0x1000));
        Descriptors(c.Take(word & 0x0FFF), s);
        services.Push(s);
    }
    if (c.bad) {
        o.Set("malformed", Node::Bool(true));
    }
    return o;
}

Node DecodeCat(const uint8_t* p, size_t n) {
    Node o = LongHeader(p, n, "table_id_extension");
    Descriptors(Body(p, n), o);
    return o;
}

Node DecodeDvbEit(const uint8_t* p, size_t n) {
    Node o = LongHeader(p, n, "service_id");
    Cursor c = Body(p, n);
    o.Set("transport_stream_id", Node::Int(c.Get(2), true));
    o.Set("original_network_id", Node::Int(c.Get(2), true));
    o.Set("segment_last_section_number", Node::Int(c.Get(1)));
    o.Set("last_table_id", Node::Int(c.Get(1), true));
    Node& events = o.Set("events", Node::Array());
    while (c.Left() >= 12) {
        Node e = Node::Object();
        e.Set("event_id", Node::Int(c.Get(2), true));
        Cursor start = c.Take(5);
        Cursor duration = c.Take(3);
        unsigned word = c.Get(2);
        e.Set("start", Node::Text(DvbTime(start.p)));
        e.Set("duration", Node::Text(Duration(duration.p)));
        e.Set("running_status", Node::Int(word >> 13));
        Descriptors(c.Take(word & 0x0FFF), e);
        events.Push(e);
    }
    if (c.bad) {
        o.Set("malformed", Node::Bool(true));
    }
    return o;
}

Node DecodeTdt(const uint8_t* p, size_t n) {
    Node o = Node::Object();
    if (n < 8) {
        o.Set("malformed", Node::Bool(true));
        return o;
    }
    o.Set("utc_time", Node::Text(DvbTime(p + 3)));
    return o;
}

Node DecodeTot(const uint8_t* p, size_t n) {
    Node o = DecodeTdt(p, n);
    if (n >= 14) {
        Cursor c(p, n - 4, 8);
        Descriptors(c.Take(c.Get(2) & 0x0FFF), o);
    }
    return o;
}

Node DecodeRst(const uint8_t* p, size_t n) {
    Node o = Node::Object();
    Node& entries = o.Set("events", Node::Array());
    Cursor c(p, n, 3);
    while (c.Left() >= 9) {
        Node e = Node::Object();
        e.Set("transport_stream_id", Node::Int(c.Get(2), true));
        e.Set("original_network_id", Node::Int(c.Get(2), true));
        e.Set("service_id", Node::Int(c.Get(2), true));
        e.Set("event_id", Node::Int(c.Get(2), true));
        e.Set("running_status", Node::Int(c.Get(1) & 0x07));
        entries.Push(e);
    }
    return o;
}

Node DecodeMgt(const uint8_t* p, size_t n) {
    Node o = LongHeader(p, n, "table_id_extension");
    Cursor c = Body(p, n);
    c.Get(1); // protocol_version
    unsigned count = c.Get(2);
    Node& tables = o.Set("tables", Node::Array());
    for (unsigned i = 0; i < count && !c.bad; ++i) {
        Node t = Node::Object();
        t.Set("table_type", Node::Int(c.Get(2), true));
        t.Set("pid", Node::Int(c.Get(2) & 0x1FFF, true));
        t.Set("version", Node::Int(c.Get(1) & 0x1F));
        t.Set("number_bytes", Node::Int(c.Get(4)));
        c.Take(c.Get(2) & 0x0FFF);
        if (!c.bad) {
            tables.Push(t);
        }
    }
    if (c.bad) {
        o.Set("malformed", Node::Bool(true));
    }
    return o;
}

Node DecodeVct(const uint8_t* p, size_t n) {
    Node o = LongHeader(p, n, "transport_stream_id");
    Cursor c = Body(p, n);
    c.Get(1); // protocol_version
    unsigned count = c.Get(1);
    Node& channels = o.Set("channels", Node::Array());
    for (unsigned i = 0; i < count && !c.bad; ++i) {
        Node ch = Node::Object();
        std::string name;
        for (int k = 0; k < 7; ++k) {
            unsigned u = c.Get(2);
            if (u != 0) {
                name.push_back(u < 0x80 && u >= 0x20 ? static_cast<char>(u) : '?');
            }
        }
        uint32_t v = c.Get(4);
        ch.Set("short_name", Node::Text(name));
        ch.Set("major", Node::Int((v >> 18) & 0x3FF));
        ch.Set("minor", Node::Int((v >> 8) & 0x3FF));
        ch.Set("modulation_mode", Node::Int(v & 0xFF, true));
        c.Get(4); // carrier_frequency
        ch.Set("channel_tsid", Node::Int(c.Get(2), true));
        ch.Set("program_number", Node::Int(c.Get(2), true));
        unsigned flags = c.Get(2);
        ch.Set("etm_location", Node::Int(flags >> 14));
        ch.Set("access_controlled", Node::Bool(flags & 0x2000));
        ch.Set("hidden", Node::Bool(flags & 0x1000));
        ch.Set("service_type", Node::Int(flags & 0x3F, true));
        ch.Set("source_id", Node::Int(c.Get(2), true));
        c.Take(c.Get(2) & 0x03FF);
        if (!c.bad) {
            channels.Push(ch);
        }
    }
    if (c.bad) {
        o.Set("malformed", Node::Bool(true));
    }
    return o;
}

Node DecodeStt(const uint8_t* p, size_t n) {
    Node o = LongHeader(p, n, "table_id_extension");
    Cursor c = Body(p, n);
    c.Get(1);
    uint32_t t = c.Get(4);
    unsigned offset = c.Get(1);
    if (c.bad) {
        o.Set("malformed", Node::Bool(true));
        return o;
    }
    o.Set("system_time", Node::Int(t));
    o.Set("gps_utc_offset", Node::Int(offset));
    o.Set("utc_time", Node::Text(GpsTime(t, offset)));
    return o;
}

Node DecodeAtscEit(const uint8_t* p, size_t n) {
    Node o = LongHeader(p, n, "source_id");
    Cursor c = Body(p, n);
    c.Get(1);
    unsigned count = c.Get(1);
    Node& events = o.Set("events", Node::Array());
    for (unsigned i = 0; i < count && !c.bad; ++i) {
        Node e = Node::Object();
        e.Set("event_id", Node::Int(c.Get(2) & 0x3FFF, true));
        uint32_t start = c.Get(4);
        uint32_t word = c.Get(3);
        e.Set("start_time", Node::Int(start));
        e.Set("etm_location", Node::Int((word >> 20) & 0x03));
        e.Set("length_seconds", Node::Int(word & 0xFFFFF));
        e.Set("title", Node::Text(MssText(c.Take(c.Get(1)))));
        c.Take(c.Get(2) & 0x0FFF);
        if (!c.bad) {
            events.Push(e);
        }
    }
    if (c.bad) {
        o.Set("malformed", Node::Bool(true));
    }
    return o;
}

Node DecodeEtt(const uint8_t* p, size_t n) {
    Node o = LongHeader(p, n, "table_id_extension");
    Cursor c = Body(p, n);
    c.Get(1);
    o.Set("etm_id", Node::Int(c.Get(4), true));
    o.Set("text", Node::Text(MssText(c.Take(c.Left()))));
    return o;
}

// ---------------------------------------------------------------------------------------------------
// The report

namespace {

const char* StatusName(ULONG s) {
    return s == 2 ? "complete" : s == 1 ? "incomplete" : "none";
}

// The common fields of one section copy handed out by the filter, then its decoded fields.
Node SectionNode(const StoredSection* s, Node (*decode)(const uint8_t*, size_t), bool hasCrc = true) {
    Node o = Node::Object();
    o.Set("pid", Node::Int(s->pid, true));
    o.Set("section_number", Node::Int(s->section_number));
    o.Set("length", Node::Int(s->length));
    if (hasCrc && s->length >= 4) {
        const BYTE* c = s->bytes + s->length - 4;
        char buf[16];
        snprintf(buf, sizeof buf, "0x%08X",
                 (static_cast<unsigned>(c[0]) << 24) | (c[1] << 16) | (c[2] << 8) |
                     static_cast<unsigned>(c[3]));
        o.Set("crc32", Node::Text(buf));
    }
    Node d = decode(s->bytes, s->length);
    for (const auto& [key, value] : d.Fields()) {
        o.Set(key, value);
    }
    return o;
}

// Collects what the filter holds. Keys the interface cannot list (services, sources, ETM_ids) are
// taken from the tables that name them: the PAT and SDT for DVB EIT, the VCT for ATSC EIT and the
// ATSC EIT events for ETT.
class Collector {
public:
    explicit Collector(ITableCollector* tc) : m_tc(tc) {}

    Node Tables() {
        Node t = Node::Object();
        t.Set("pat", Pat());
        t.Set("pmt", Pmt());
        t.Set("cat", Indexed(&ITableCollector::GetCatStatus, &ITableCollector::GetCatSectionCount,
                             &ITableCollector::GetCatSection, &ITableCollector::FreeCatSection, DecodeCat));
        t.Set("nit", Keyed(&ITableCollector::GetNitStatus, &ITableCollector::GetNitSectionCount,
                           &ITableCollector::GetNitSection, &ITableCollector::FreeNitSection, DecodeNit));
        t.Set("sdt", Keyed(&ITableCollector::GetSdtStatus, &ITableCollector::GetSdtSectionCount,
                           &ITableCollector::GetSdtSection, &ITableCollector::FreeSdtSection, DecodeSdt));
        t.Set("bat", Indexed(&ITableCollector::GetBatStatus, &ITableCollector::GetBatSectionCount,
                             &ITableCollector::GetBatSection, &ITableCollector::FreeBatSection, DecodeNit));
        t.Set("eit", DvbEit());
        t.Set("tdt", Single(&ITableCollector::GetTdtStatus, &ITableCollector::GetTdtSection,
                            &ITableCollector::FreeTdtSection, DecodeTdt, false));
        t.Set("tot", Single(&ITableCollector::GetTotStatus, &ITableCollector::GetTotSection,
                            &ITableCollector::FreeTotSection, DecodeTot, true));
        t.Set("rst", Single(&ITableCollector::GetRstStatus, &ITableCollector::GetRstSection,
                            &ITableCollector::FreeRstSection, DecodeRst, false));
        t.Set("mgt", Single(&ITableCollector::GetMgtStatus, &ITableCollector::GetMgtSection,
                            &ITableCollector::FreeMgtSection, DecodeMgt, true));
        t.Set("vct", Indexed(&ITableCollector::GetVctStatus, &ITableCollector::GetVctSectionCount,
                             &ITableCollector::GetVctSection, &ITableCollector::FreeVctSection, DecodeVct));
        t.Set("stt", Single(&ITableCollector::GetSttStatus, &ITableCollector::GetSttSection,
                            &ITableCollector::FreeSttSection, DecodeStt, true));
        const Node& sttSections = *t.Find("stt")->Find("sections");
        if (!sttSections.Items().empty()) {
            if (const Node* offset = sttSections.Items().front().Find("gps_utc_offset")) {
                m_gpsUtcOffset = static_cast<unsigned>(offset->AsInt());
            }
        }
        t.Set("atsc_eit", AtscEit());
        t.Set("ett", Ett());
        return t;
    }

private:
    using StatusFn = HRESULT (STDMETHODCALLTYPE ITableCollector::*)(ULONG*);
    using CountFn = HRESULT (STDMETHODCALLTYPE ITableCollector::*)(ULONG*);
    using IndexFn = HRESULT (STDMETHODCALLTYPE ITableCollector::*)(ULONG, StoredSection**);
    using FreeFn = HRESULT (STDMETHODCALLTYPE ITableCollector::*)(StoredSection**);
    using KeyStatusFn = HRESULT (STDMETHODCALLTYPE ITableCollector::*)(ULONG, ULONG*);
    using KeyIndexFn = HRESULT (STDMETHODCALLTYPE ITableCollector::*)(ULONG, ULONG, StoredSection**);
    using SingleFn = HRESULT (STDMETHODCALLTYPE ITableCollector::*)(StoredSection**);
    using Decoder = Node (*)(const uint8_t*, size_t);

    static Node Table(ULONG status, ULONG count, const char* keyName = nullptr, ULONG key = 0) {
        Node t = Node::Object();
        if (keyName != nullptr) {
            t.Set(keyName, Node::Int(key, true));
        }
        t.Set("status", Node::Text(StatusName(status)));
        t.Set("section_count", Node::Int(count));
        t.Set("sections", Node::Array());
        return t;
    }

    // Takes one copy: decodes it, hands it back, and records it in t (or the gap, for an empty slot).
    void Add(Node& t, StoredSection* s, FreeFn freeFn, Decoder decode, bool hasCrc, ULONG index) {
        Node& list = *t.Find("sections");
        if (s == nullptr) {
            Node gap = Node::Object();
            gap.Set("section_number", Node::Int(index));
            gap.Set("missing", Node::Bool(true));
            list.Push(gap);
            return;
        }
        list.Push(SectionNode(s, decode, hasCrc));
        (m_tc->*freeFn)(&s);
    }

    Node Indexed(StatusFn statusFn, CountFn countFn, IndexFn getFn, FreeFn freeFn, Decoder decode) {
        ULONG status = 0, count = 0;
        (m_tc->*statusFn)(&status);
        (m_tc->*countFn)(&count);
        Node t = Table(status, count);
        for (ULONG i = 0; i < count; ++i) {
            StoredSection* s = nullptr;
            if (SUCCEEDED((m_tc->*getFn)(i, &s))) {
                Add(t, s, freeFn, decode, true, i);
            }
        }
        return t;
    }

    Node Keyed(KeyStatusFn statusFn, KeyStatusFn countFn, KeyIndexFn getFn, FreeFn freeFn, Decoder decode) {
        ULONG status = 0, count = 0;
        (m_tc->*statusFn)(0, &status);
        (m_tc->*countFn)(0, &count);
        Node t = Table(status, count);
        for (ULONG i = 0; i < count; ++i) {
            StoredSection* s = nullptr;
            if (SUCCEEDED((m_tc->*getFn)(0, i, &s))) {
                Add(t, s, freeFn, decode, true, i);
            }
        }
        return t;
    }

    Node Single(StatusFn statusFn, SingleFn getFn, FreeFn freeFn, Decoder decode, bool hasCrc) {
        ULONG status = 0;
        (m_tc->*statusFn)(&status);
        StoredSection* s = nullptr;
        bool held = status == 2 && SUCCEEDED((m_tc->*getFn)(&s)) && s != nullptr;
        Node t = Table(status, held ? 1 : 0);
        if (held) {
            Add(t, s, freeFn, decode, hasCrc, 0);
        }
        return t;
    }

    Node Pat() {
        Node t = Indexed(&ITableCollector::GetPatStatus, &ITableCollector::GetPatSectionCount,
                         &ITableCollector::GetPatSection, &ITableCollector::FreePatSection, DecodePat);
        for (const Node& s : t.Find("sections")->Items()) {
            if (const Node* programs = s.Find("programs")) {
                for (const Node& p : programs->Items()) {
                    ULONG number = static_cast<ULONG>(p.Find("program_number")->AsInt());
                    if (number != 0) {
                        m_programs.push_back({static_cast<ULONG>(p.Find("pid")->AsInt()), number});
                        m_services.insert(number);
                    }
                }
            }
        }
        return t;
    }

    Node Pmt() {
        ULONG status = 0, count = 0;
        m_tc->GetPmtStatus(&status);
        m_tc->GetPmtSectionCount(&count);
        Node t = Table(status, count);
        Node& list = *t.Find("sections");
        for (const auto& [pid, program] : m_programs) {
            StoredSection* s = nullptr;
            if (m_tc->GetPmtSection(pid, program, &s) == S_OK && s != nullptr) {
                list.Push(SectionNode(s, DecodePmt));
                m_tc->FreePmtSection(&s);
            }
        }
        return t;
    }

    Node DvbEit() {
        // Service ids from the SDT of the actual stream besides those from the PAT.
        StoredSection* s = nullptr;
        ULONG count = 0;
        m_tc->GetSdtSectionCount(0, &count);
        for (ULONG i = 0; i < count; ++i) {
            s = nullptr;
            if (m_tc->GetSdtSection(0, i, &s) == S_OK && s != nullptr) {
                Node sdt = DecodeSdt(s->bytes, s->length);
                for (const Node& svc : sdt.Find("services")->Items()) {
                    m_services.insert(static_cast<ULONG>(svc.Find("service_id")->AsInt()));
                }
                m_tc->FreeSdtSection(&s);
            }
        }
        Node tables = Node::Array();
        std::vector<ULONG> tableIds = {0x4E};
        for (ULONG id = 0x50; id <= 0x5F; ++id) {
            tableIds.push_back(id);
        }
        for (ULONG tableId : tableIds) {
            ULONG status = 0, n = 0;
            m_tc->GetEitStatus(tableId, &status);
            m_tc->GetEitSectionCount(tableId, &n);
            if (status == 0 && n == 0) {
                continue;
            }
            Node t = Table(status, n, "table_id", tableId);
            Node& list = *t.Find("sections");
            for (ULONG service : m_services) {
                for (ULONG sn = 0; sn < 256; ++sn) {
                    s = nullptr;
                    if (m_tc->GetEitSection(tableId, sn, service, &s) == S_OK && s != nullptr) {
                        list.Push(SectionNode(s, DecodeDvbEit));
                        m_tc->FreeEitSection(&s);
                    }
                }
            }
            tables.Push(t);
        }
        Node eit = Node::Object();
        eit.Set("tables", tables);
        return eit;
    }

    Node AtscEit() {
        std::vector<ULONG> types;
        StoredSection* s = nullptr;
        if (m_tc->GetMgtSection(&s) == S_OK && s != nullptr) {
            Node mgt = DecodeMgt(s->bytes, s->length);
            for (const Node& e : mgt.Find("tables")->Items()) {
                ULONG type = static_cast<ULONG>(e.Find("table_type")->AsInt());
                if (type >= 0x0100 && type <= 0x017F) {
                    types.push_back(type);
                }
            }
            m_tc->FreeMgtSection(&s);
        }
        std::set<ULONG> sources;
        ULONG count = 0;
        m_tc->GetVctSectionCount(&count);
        for (ULONG i = 0; i < count; ++i) {
            s = nullptr;
            if (m_tc->GetVctSection(i, &s) == S_OK && s != nullptr) {
                Node vct = DecodeVct(s->bytes, s->length);
                for (const Node& ch : vct.Find("channels")->Items()) {
                    ULONG source = static_cast<ULONG>(ch.Find("source_id")->AsInt());
                    sources.insert(source);
                    if (ch.Find("etm_location")->AsInt() != 0) {
                        m_etmIds.insert(source << 16); // the channel's own ETM
                    }
                }
                m_tc->FreeVctSection(&s);
            }
        }
        Node tables = Node::Array();
        for (ULONG type : types) {
            ULONG status = 0, n = 0;
            m_tc->GetAtscEitStatus(type, &status);
            m_tc->GetAtscEitSectionCount(type, &n);
            Node t = Table(status, n, "table_type", type);
            Node& list = *t.Find("sections");
            for (ULONG source : sources) {
                for (ULONG sn = 0; sn < 256; ++sn) {
                    s = nullptr;
                    if (m_tc->GetAtscEitSection(type, sn, source, &s) == S_OK && s != nullptr) {
                        Node node = SectionNode(s, DecodeAtscEit);
                        for (Node& e : node.Find("events")->Items()) {
                            // Start times are GPS seconds; UTC needs the STT's offset (0 without one).
                            e.Set("start",
                                  Node::Text(GpsTime(static_cast<uint32_t>(e.Find("start_time")->AsInt()),
                                                     m_gpsUtcOffset)));
                            if (e.Find("etm_location")->AsInt() != 0) {
                                m_etmIds.insert((source << 16) |
                                                (static_cast<ULONG>(e.Find("event_id")->AsInt()) << 2) | 0x2);
                            }
                        }
                        list.Push(node);
                        m_tc->FreeAtscEitSection(&s);
                    }
                }
            }
            tables.Push(t);
        }
        Node eit = Node::Object();
        eit.Set("tables", tables);
        return eit;
    }

    Node Ett() {
        ULONG count = 0;
        HRESULT hr = m_tc->GetEttSectionCount(&count);
        Node t = Node::Object();
        t.Set("section_count", Node::Int(SUCCEEDED(hr) ? count : 0));
        Node& list = t.Set("sections", Node::Array());
        for (ULONG etm : m_etmIds) {
            StoredSection* s = nullptr;
            if (m_tc->GetEttSection(etm, &s) == S_OK && s != nullptr) {
                list.Push(SectionNode(s, DecodeEtt));
                m_tc->FreeEttSection(&s);
            }
        }
        return t;
    }

    ITableCollector* m_tc;
    std::vector<std::pair<ULONG, ULONG>> m_programs; // (PMT PID, program_number)
    std::set<ULONG> m_services;
    std::set<ULONG> m_etmIds;
    unsigned m_gpsUtcOffset = 0;
};

Node InputNode(const ScanFacts& f) {
    const qxhost::TsReaderStats& s = f.reader;
    Node n = Node::Object();
    n.Set("name", Node::Text(f.input));
    n.Set("packet_size", Node::Int(f.packet_size));
    n.Set("bytes", Node::Int(static_cast<int64_t>(s.bytes)));
    n.Set("packets", Node::Int(static_cast<int64_t>(s.packets)));
    n.Set("sync_losses", Node::Int(static_cast<int64_t>(s.sync_losses)));
    n.Set("skipped_bytes", Node::Int(static_cast<int64_t>(s.skipped_bytes)));
    n.Set("error_packets", Node::Int(static_cast<int64_t>(s.error_packets)));
    n.Set("scrambled_packets", Node::Int(static_cast<int64_t>(s.scrambled_packets)));
    n.Set("no_payload_packets", Node::Int(static_cast<int64_t>(s.no_payload_packets)));
    n.Set("truncated_bytes", Node::Int(static_cast<int64_t>(s.truncated_bytes)));
    return n;
}

Node DemuxNode(const SectionDemuxStats& s) {
    Node n = Node::Object();
    n.Set("sections_delivered", Node::Int(static_cast<int64_t>(s.samples)));
    n.Set("mapped_packets", Node::Int(static_cast<int64_t>(s.demux.mapped_packets)));
    n.Set("continuity_errors", Node::Int(static_cast<int64_t>(s.demux.sections.cc_errors)));
    n.Set("repeated_packets", Node::Int(static_cast<int64_t>(s.demux.sections.duplicates)));
    n.Set("dropped_partial_sections", Node::Int(static_cast<int64_t>(s.demux.sections.dropped_partial)));
    n.Set("oversized_sections", Node::Int(static_cast<int64_t>(s.demux.sections.oversized)));
    return n;
}

} // namespace

void WriteReport(ITableCollector* tc, const ReportOptions& o, const ScanFacts& f, FILE* out) {
    Node tables = Collector(tc).Tables();
    if (!o.tables.empty()) {
        Node chosen = Node::Object();
        for (const auto& [name, table] : tables.Fields()) {
            if (o.tables.count(name) != 0) {
                chosen.Set(name, table);
            }
        }
        tables = chosen;
    }
    Node report = Node::Object();
    report.Set("input", InputNode(f));
    report.Set("filter_module", Node::Text(f.module));
    report.Set("demux", DemuxNode(f.demux));
    report.Set("tables", tables);
    if (o.json) {
        report.PrintJson(out);
        fputc('\n', out);
    } else {
        report.PrintText(out);
    }
    fflush(out);
}

} // namespace quenlix
