#include "si/Descriptors.h"

namespace quenlix::si {

namespace {

std::string Lang(Cursor& c) {
    return LanguageCode(c.Bytes(3, "ISO_639_language_code"));
}

std::string Text(Cursor& c, const char* what) {
    const unsigned n = c.U8(what);
    return DvbText(c.Bytes(n, what));
}

DescriptorValue Decode(uint8_t tag, Cursor& c, Context ctx) {
    switch (tag) {
    case 0x09: {
        CaDescriptor d;
        d.ca_system_id = c.U16("CA_system_ID");
        d.ca_pid = c.U16("CA_PID") & 0x1FFF;
        auto rest = c.Rest();
        d.private_data.assign(rest.begin(), rest.end());
        return d;
    }
    case 0x0A: {
        Iso639LanguageDescriptor d;
        while (!c.empty()) {
            Iso639LanguageDescriptor::Entry e;
            e.language = Lang(c);
            e.audio_type = c.U8("audio_type");
            d.entries.push_back(std::move(e));
        }
        return d;
    }
    default:
        break;
    }
    if (ctx != Context::Atsc && tag >= 0x40 && tag <= 0x7F) {
        switch (tag) {
        case 0x40:
            return NetworkNameDescriptor{DvbText(c.Rest())};
        case 0x48: {
            ServiceDescriptor d;
            d.service_type = c.U8("service_type");
            d.provider_name = Text(c, "service_provider_name");
            d.service_name = Text(c, "service_name");
            return d;
        }
        case 0x4D: {
            ShortEventDescriptor d;
            d.language = Lang(c);
            d.event_name = Text(c, "event_name");
            d.text = Text(c, "text");
            return d;
        }
        case 0x4E: {
            ExtendedEventDescriptor d;
            const uint8_t numbers = c.U8("descriptor_number");
            d.descriptor_number = numbers >> 4;
            d.last_descriptor_number = numbers & 0x0F;
            d.language = Lang(c);
            Cursor items = c.Take(c.U8("length_of_items"), "items");
            while (!items.empty()) {
                ExtendedEventDescriptor::Item item;
                item.description = Text(items, "item_description");
                item.item = Text(items, "item");
                d.items.push_back(std::move(item));
            }
            const unsigned n = c.U8("text_length");
            auto text = c.Bytes(n, "text");
            d.text_bytes.assign(text.begin(), text.end());
            d.text = DvbText(text);
            return d;
        }
        case 0x50: {
            ComponentDescriptor d;
            const uint8_t b = c.U8("stream_content");
            d.stream_content_ext = b >> 4;
            d.stream_content = b & 0x0F;
            d.component_type = c.U8("component_type");
            d.component_tag = c.U8("component_tag");
            d.language = Lang(c);
            d.text = DvbText(c.Rest());
            return d;
        }
        case 0x52:
            return StreamIdentifierDescriptor{c.U8("component_tag")};
        case 0x54: {
            ContentDescriptor d;
            while (!c.empty()) {
                const uint8_t nibbles = c.U8("content_nibbles");
                d.entries.push_back({static_cast<uint8_t>(nibbles >> 4), static_cast<uint8_t>(nibbles & 0x0F),
                                     c.U8("user_byte")});
            }
            return d;
        }
        case 0x55: {
            ParentalRatingDescriptor d;
            while (!c.empty()) {
                ParentalRatingDescriptor::Entry e;
                e.country = Lang(c);
                e.rating = c.U8("rating");
                d.entries.push_back(std::move(e));
            }
            return d;
        }
        case 0x58: {
            LocalTimeOffsetDescriptor d;
            while (!c.empty()) {
                LocalTimeOffsetDescriptor::Entry e;
                e.country = Lang(c);
                const uint8_t b = c.U8("country_region_id");
                e.region_id = b >> 2;
                e.negative = (b & 0x01) != 0;
                e.local_time_offset = FormatOffset(c.U16("local_time_offset"), e.negative);
                e.time_of_change = DecodeDvbTime(c.U40("time_of_change"));
                e.next_time_offset = FormatOffset(c.U16("next_time_offset"), e.negative);
                d.entries.push_back(std::move(e));
            }
            return d;
        }
        case 0x6A: {
            DvbAc3Descriptor d;
            const uint8_t flags = c.U8("flags");
            if (flags & 0x80) {
                d.component_type = c.U8("component_type");
            }
            if (flags & 0x40) {
                d.bsid = c.U8("bsid");
            }
            if (flags & 0x20) {
                d.mainid = c.U8("mainid");
            }
            if (flags & 0x10) {
                d.asvc = c.U8("asvc");
            }
            auto rest = c.Rest();
            d.additional_info.assign(rest.begin(), rest.end());
            return d;
        }
        default:
            return std::monostate{};
        }
    }
    if (ctx == Context::Dvb && tag == 0x83) {
        LogicalChannelDescriptor d;
        while (!c.empty()) {
            LogicalChannelDescriptor::Entry e;
            e.service_id = c.U16("service_id");
            const uint16_t v = c.U16("logical_channel_number");
            e.visible = (v & 0x8000) != 0;
            e.logical_channel_number = v & 0x03FF;
            d.entries.push_back(e);
        }
        return d;
    }
    if (ctx == Context::Dvb) {
        return std::monostate{};
    }
    // ATSC tags; in a PMT (Mpeg context) they are tried too and kept as bytes when they do not parse.
    switch (tag) {
    case 0x81: {
        AtscAc3Descriptor d;
        const uint8_t a = c.U8("sample_rate_code");
        d.sample_rate_code = a >> 5;
        d.bsid = a & 0x1F;
        const uint8_t b = c.U8("bit_rate_code");
        d.bit_rate_code = b >> 2;
        d.surround_mode = b & 0x03;
        const uint8_t m = c.U8("bsmod");
        d.bsmod = m >> 5;
        d.num_channels = (m >> 1) & 0x0F;
        d.full_svc = (m & 0x01) != 0;
        if (!c.empty()) {
            d.langcod = c.U8("langcod");
        }
        auto rest = c.Rest();
        d.rest.assign(rest.begin(), rest.end());
        return d;
    }
    case 0x86: {
        CaptionServiceDescriptor d;
        const unsigned n = c.U8("number_of_services") & 0x1F;
        for (unsigned i = 0; i < n && c.ok(); ++i) {
            CaptionServiceDescriptor::Service s;
            s.language = Lang(c);
            const uint8_t b = c.U8("digital_cc");
            s.digital_cc = (b & 0x80) != 0;
            if (s.digital_cc) {
                s.caption_service_number = b & 0x3F;
            } else {
                s.line21_field = (b & 0x01) != 0;
            }
            const uint16_t f = c.U16("easy_reader");
            s.easy_reader = (f & 0x8000) != 0;
            s.wide_aspect_ratio = (f & 0x4000) != 0;
            d.services.push_back(std::move(s));
        }
        return d;
    }
    case 0x87: {
        ContentAdvisoryDescriptor d;
        const unsigned n = c.U8("rating_region_count") & 0x3F;
        for (unsigned i = 0; i < n && c.ok(); ++i) {
            ContentAdvisoryDescriptor::Region r;
            r.rating_region = c.U8("rating_region");
            const unsigned dims = c.U8("rated_dimensions");
            for (unsigned j = 0; j < dims && c.ok(); ++j) {
                const uint8_t dim = c.U8("rating_dimension_j");
                const uint8_t value = c.U8("rating_value") & 0x0F;
                r.dimensions.emplace_back(dim, value);
            }
            Cursor text = c.Take(c.U8("rating_description_length"), "rating_description_text");
            if (!text.empty()) {
                r.description = ReadMultipleString(text);
            }
            d.regions.push_back(std::move(r));
        }
        return d;
    }
    case 0xA0:
        return ExtendedChannelNameDescriptor{ReadMultipleString(c)};
    case 0xA1: {
        ServiceLocationDescriptor d;
        d.pcr_pid = c.U16("PCR_PID") & 0x1FFF;
        const unsigned n = c.U8("number_elements");
        for (unsigned i = 0; i < n && c.ok(); ++i) {
            ServiceLocationDescriptor::Element e;
            e.stream_type = c.U8("stream_type");
            e.elementary_pid = c.U16("elementary_PID") & 0x1FFF;
            e.language = Lang(c);
            d.elements.push_back(std::move(e));
        }
        return d;
    }
    default:
        return std::monostate{};
    }
}

} // namespace

const char* Descriptor::Name() const {
    static const char* const kNames[] = {"unknown",
                                         "CA",
                                         "ISO_639_language",
                                         "network_name",
                                         "service",
                                         "short_event",
                                         "extended_event",
                                         "component",
                                         "stream_identifier",
                                         "content",
                                         "parental_rating",
                                         "local_time_offset",
                                         "AC-3",
                                         "logical_channel",
                                         "ATSC_AC-3",
                                         "caption_service",
                                         "content_advisory",
                                         "extended_channel_name",
                                         "service_location"};
    static_assert(std::size(kNames) == std::variant_size_v<DescriptorValue>);
    return kNames[value.index()];
}

std::vector<Descriptor> ReadDescriptors(Cursor& c, Context ctx) {
    std::vector<Descriptor> out;
    while (!c.empty()) {
        Descriptor d;
        d.tag = c.U8("descriptor_tag");
        const unsigned n = c.U8("descriptor_length");
        auto payload = c.Bytes(n, "descriptor");
        if (!c.ok()) {
            break;
        }
        d.bytes.assign(payload.begin(), payload.end());
        // A payload that does not parse costs only its own record: the bytes stay, the loop goes on.
        std::optional<Stop> local;
        Cursor p(d.bytes.data(), d.bytes.size(), &local);
        d.value = Decode(d.tag, p, ctx);
        if (local) {
            d.value = std::monostate{};
        }
        out.push_back(std::move(d));
    }
    return out;
}

std::vector<ExtendedEvent> JoinExtendedEvents(const std::vector<Descriptor>& descriptors) {
    std::vector<ExtendedEvent> out;
    std::vector<std::vector<uint8_t>> raw; // per language: the text bytes joined, converted once at the end
    for (const Descriptor& d : descriptors) {
        const auto* e = std::get_if<ExtendedEventDescriptor>(&d.value);
        if (e == nullptr) {
            continue;
        }
        size_t i = 0;
        while (i < out.size() && out[i].language != e->language) {
            ++i;
        }
        if (i == out.size()) {
            out.push_back({e->language, {}, {}});
            raw.emplace_back();
        }
        out[i].items.insert(out[i].items.end(), e->items.begin(), e->items.end());
        std::span<const uint8_t> text(e->text_bytes);
        if (!raw[i].empty()) {
            // A continuation repeats the selector of the first part; the characters run on.
            const DvbCharset first = SelectDvbCharset(raw[i]);
            const DvbCharset next = SelectDvbCharset(text);
            if (next.prefix > 0 && next.table == first.table && next.part == first.part) {
                text = text.subspan(next.prefix);
            }
        }
        raw[i].insert(raw[i].end(), text.begin(), text.end());
    }
    for (size_t i = 0; i < out.size(); ++i) {
        out[i].text = DvbText(raw[i]);
    }
    return out;
}

} // namespace quenlix::si
