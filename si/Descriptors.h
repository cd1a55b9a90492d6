// Typed records of the descriptors that carry what people look for; every other descriptor is kept as bytes.
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "si/Cursor.h"
#include "si/Text.h"
#include "si/Time.h"

namespace quenlix::si {

// Which standard's private tags apply where a table does not say (0x80..0xFE differ between them).
enum class Context { Mpeg, Dvb, Atsc };

struct CaDescriptor { // 0x09
    uint16_t ca_system_id = 0;
    uint16_t ca_pid = 0;
    std::vector<uint8_t> private_data;
};
struct Iso639LanguageDescriptor { // 0x0A
    struct Entry {
        std::string language;
        uint8_t audio_type = 0;
    };
    std::vector<Entry> entries;
};
struct NetworkNameDescriptor { // 0x40
    std::string name;
};
struct ServiceDescriptor { // 0x48
    uint8_t service_type = 0;
    std::string provider_name;
    std::string service_name;
};
struct ShortEventDescriptor { // 0x4D
    std::string language;
    std::string event_name;
    std::string text;
};
struct ExtendedEventDescriptor { // 0x4E
    struct Item {
        std::string description;
        std::string item;
    };
    uint8_t descriptor_number = 0;
    uint8_t last_descriptor_number = 0;
    std::string language;
    std::vector<Item> items;
    std::string text;
    std::vector<uint8_t> text_bytes; // as sent: the text may continue in the next descriptor mid-character
};
struct ComponentDescriptor { // 0x50
    uint8_t stream_content_ext = 0;
    uint8_t stream_content = 0;
    uint8_t component_type = 0;
    uint8_t component_tag = 0;
    std::string language;
    std::string text;
};
struct StreamIdentifierDescriptor { // 0x52
    uint8_t component_tag = 0;
};
struct ContentDescriptor { // 0x54
    struct Entry {
        uint8_t level_1 = 0;
        uint8_t level_2 = 0;
        uint8_t user_byte = 0;
    };
    std::vector<Entry> entries;
};
struct ParentalRatingDescriptor { // 0x55
    struct Entry {
        std::string country;
        uint8_t rating = 0; // minimum age = rating + 3 for 0x01..0x0F
    };
    std::vector<Entry> entries;
};
struct LocalTimeOffsetDescriptor { // 0x58
    struct Entry {
        std::string country;
        uint8_t region_id = 0;
        bool negative = false;
        std::string local_time_offset; // "+01:00"
        DvbTime time_of_change;
        std::string next_time_offset;
    };
    std::vector<Entry> entries;
};
struct DvbAc3Descriptor { // 0x6A
    std::optional<uint8_t> component_type, bsid, mainid, asvc;
    std::vector<uint8_t> additional_info;
};
struct LogicalChannelDescriptor { // 0x83 in DVB NIT/BAT (EACEM/NorDig)
    struct Entry {
        uint16_t service_id = 0;
        bool visible = true;
        uint16_t logical_channel_number = 0;
    };
    std::vector<Entry> entries;
};
struct AtscAc3Descriptor { // 0x81 in ATSC
    uint8_t sample_rate_code = 0;
    uint8_t bsid = 0;
    uint8_t bit_rate_code = 0;
    uint8_t surround_mode = 0;
    uint8_t bsmod = 0;
    uint8_t num_channels = 0;
    bool full_svc = false;
    std::optional<uint8_t> langcod;
    std::vector<uint8_t> rest;
};
struct CaptionServiceDescriptor { // 0x86
    struct Service {
        std::string language;
        bool digital_cc = false;
        uint8_t caption_service_number = 0; // digital_cc
        bool line21_field = false;          // !digital_cc
        bool easy_reader = false;
        bool wide_aspect_ratio = false;
    };
    std::vector<Service> services;
};
struct ContentAdvisoryDescriptor { // 0x87
    struct Region {
        uint8_t rating_region = 0;
        std::vector<std::pair<uint8_t, uint8_t>> dimensions; // (rating_dimension_j, rating_value)
        std::vector<AtscString> description;
    };
    std::vector<Region> regions;
};
struct ExtendedChannelNameDescriptor { // 0xA0
    std::vector<AtscString> long_channel_name;
};
struct ServiceLocationDescriptor { // 0xA1
    struct Element {
        uint8_t stream_type = 0;
        uint16_t elementary_pid = 0;
        std::string language;
    };
    uint16_t pcr_pid = 0;
    std::vector<Element> elements;
};

using DescriptorValue =
    std::variant<std::monostate, CaDescriptor, Iso639LanguageDescriptor, NetworkNameDescriptor,
                 ServiceDescriptor, ShortEventDescriptor, ExtendedEventDescriptor, ComponentDescriptor,
                 StreamIdentifierDescriptor, ContentDescriptor, ParentalRatingDescriptor,
                 LocalTimeOffsetDescriptor, DvbAc3Descriptor, LogicalChannelDescriptor, AtscAc3Descriptor,
                 CaptionServiceDescriptor, ContentAdvisoryDescriptor, ExtendedChannelNameDescriptor,
                 ServiceLocationDescriptor>;

struct Descriptor {
    uint8_t tag = 0;
    std::vector<uint8_t> bytes; // the payload after tag and length, always kept
    DescriptorValue value;      // monostate: not decoded here (unknown tag, or a payload that does not parse)
    const char* Name() const;   // "service", "extended_event", ... or "unknown"
};

// Reads descriptors until c is exhausted. A descriptor whose length runs past the loop stops c.
std::vector<Descriptor> ReadDescriptors(Cursor& c, Context ctx);

// The extended event texts of one event, per language, with consecutive descriptors joined.
struct ExtendedEvent {
    std::string language;
    std::vector<ExtendedEventDescriptor::Item> items;
    std::string text;
};
std::vector<ExtendedEvent> JoinExtendedEvents(const std::vector<Descriptor>& descriptors);

template <class T> const T* Find(const std::vector<Descriptor>& descriptors) {
    for (const Descriptor& d : descriptors) {
        if (const T* v = std::get_if<T>(&d.value)) {
            return v;
        }
    }
    return nullptr;
}

} // namespace quenlix::si
