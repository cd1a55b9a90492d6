// Typed records of every table the filter collects, decoded from one section's bytes. A record decodes as
// far as the section is sound; stop then says where it stopped and why.
#pragma once
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <variant>
#include <vector>

#include "si/Cursor.h"
#include "si/Descriptors.h"
#include "si/Text.h"
#include "si/Time.h"

namespace quenlix::si {

struct SectionHeader {
    uint8_t table_id = 0;
    bool section_syntax_indicator = false;
    uint16_t section_length = 0;
    // Long form only.
    uint16_t table_id_extension = 0;
    uint8_t version_number = 0;
    bool current_next_indicator = false;
    uint8_t section_number = 0;
    uint8_t last_section_number = 0;
    std::optional<uint32_t> crc_32;
};

struct Section {
    SectionHeader header;
    std::optional<Stop> stop;
};

struct Pat : Section {
    struct Program {
        uint16_t program_number = 0;
        uint16_t pid = 0; // network_PID for program 0
    };
    uint16_t transport_stream_id = 0;
    std::vector<Program> programs;
};

struct Pmt : Section {
    struct Stream {
        uint8_t stream_type = 0;
        uint16_t elementary_pid = 0;
        std::vector<Descriptor> descriptors;
    };
    uint16_t program_number = 0;
    uint16_t pcr_pid = 0;
    std::vector<Descriptor> program_info;
    std::vector<Stream> streams;
};

struct Cat : Section {
    std::vector<Descriptor> descriptors;
};

// NIT (0x40 actual, 0x41 other) and BAT (0x4A) share their layout.
struct Nit : Section {
    struct TransportStream {
        uint16_t transport_stream_id = 0;
        uint16_t original_network_id = 0;
        std::vector<Descriptor> descriptors;
    };
    uint16_t network_id = 0; // bouquet_id in a BAT
    std::vector<Descriptor> descriptors;
    std::vector<TransportStream> transport_streams;
};
using Bat = Nit;

struct Sdt : Section {
    struct Service {
        uint16_t service_id = 0;
        bool eit_schedule = false;
        bool eit_present_following = false;
        uint8_t running_status = 0;
        bool free_ca_mode = false;
        std::vector<Descriptor> descriptors;
    };
    uint16_t transport_stream_id = 0;
    uint16_t original_network_id = 0;
    std::vector<Service> services;
};

struct DvbEit : Section {
    struct Event {
        uint16_t event_id = 0;
        DvbTime start_time;
        std::string duration; // "HH:MM:SS" or "invalid (...)"
        int64_t duration_seconds = -1;
        uint8_t running_status = 0;
        bool free_ca_mode = false;
        std::vector<Descriptor> descriptors;
    };
    uint16_t service_id = 0;
    uint16_t transport_stream_id = 0;
    uint16_t original_network_id = 0;
    uint8_t segment_last_section_number = 0;
    uint8_t last_table_id = 0;
    std::vector<Event> events;
};

struct Tdt : Section {
    DvbTime utc_time;
};

struct Tot : Section {
    DvbTime utc_time;
    std::vector<Descriptor> descriptors;
};

struct Rst : Section {
    struct Status {
        uint16_t transport_stream_id = 0;
        uint16_t original_network_id = 0;
        uint16_t service_id = 0;
        uint16_t event_id = 0;
        uint8_t running_status = 0;
    };
    std::vector<Status> statuses;
};

struct Mgt : Section {
    struct Table {
        uint16_t table_type = 0;
        uint16_t table_type_pid = 0;
        uint8_t table_type_version_number = 0;
        uint32_t number_bytes = 0;
        std::vector<Descriptor> descriptors;
    };
    uint8_t protocol_version = 0;
    std::vector<Table> tables;
    std::vector<Descriptor> descriptors;
};

// TVCT (0xC8) and CVCT (0xC9).
struct Vct : Section {
    struct Channel {
        std::string short_name;
        uint16_t major_channel_number = 0;
        uint16_t minor_channel_number = 0;
        uint8_t modulation_mode = 0;
        uint32_t carrier_frequency = 0;
        uint16_t channel_tsid = 0;
        uint16_t program_number = 0;
        uint8_t etm_location = 0;
        bool access_controlled = false;
        bool hidden = false;
        bool path_select = false; // CVCT
        bool out_of_band = false; // CVCT
        bool hide_guide = false;
        uint8_t service_type = 0;
        uint16_t source_id = 0;
        std::vector<Descriptor> descriptors;
    };
    bool cable = false;
    uint16_t transport_stream_id = 0;
    uint8_t protocol_version = 0;
    std::vector<Channel> channels;
    std::vector<Descriptor> descriptors;
};

struct Stt : Section {
    uint8_t protocol_version = 0;
    uint32_t system_time = 0;
    uint8_t gps_utc_offset = 0;
    std::string utc_time; // ISO 8601 from system_time and gps_utc_offset
    bool ds_status = false;
    uint8_t ds_day_of_month = 0;
    uint8_t ds_hour = 0;
    std::vector<Descriptor> descriptors;
};

struct AtscEit : Section {
    struct Event {
        uint16_t event_id = 0;
        uint32_t start_time = 0; // GPS seconds
        uint8_t etm_location = 0;
        uint32_t length_in_seconds = 0;
        std::string duration; // "HH:MM:SS"
        std::vector<AtscString> title;
        std::vector<Descriptor> descriptors;
    };
    uint16_t source_id = 0;
    uint8_t protocol_version = 0;
    std::vector<Event> events;
};

struct Ett : Section {
    uint16_t ett_table_id_extension = 0;
    uint8_t protocol_version = 0;
    uint32_t etm_id = 0;
    std::vector<AtscString> extended_text_message;
};

Pat DecodePat(std::span<const uint8_t> s);
Pmt DecodePmt(std::span<const uint8_t> s);
Cat DecodeCat(std::span<const uint8_t> s);
Nit DecodeNit(std::span<const uint8_t> s); // also BATs
Sdt DecodeSdt(std::span<const uint8_t> s);
DvbEit DecodeDvbEit(std::span<const uint8_t> s);
Tdt DecodeTdt(std::span<const uint8_t> s);
Tot DecodeTot(std::span<const uint8_t> s);
Rst DecodeRst(std::span<const uint8_t> s);
Mgt DecodeMgt(std::span<const uint8_t> s);
Vct DecodeVct(std::span<const uint8_t> s);
Stt DecodeStt(std::span<const uint8_t> s);
AtscEit DecodeAtscEit(std::span<const uint8_t> s);
Ett DecodeEtt(std::span<const uint8_t> s);

// Any section, chosen by its table_id; monostate for a table_id none of the above carries.
using AnyTable =
    std::variant<std::monostate, Pat, Pmt, Cat, Nit, Sdt, DvbEit, Tdt, Tot, Rst, Mgt, Vct, Stt, AtscEit, Ett>;
AnyTable DecodeSection(std::span<const uint8_t> s);

// An ATSC ETM_id's parts: source_id, and event_id with the event flag (else the channel's own text).
struct EtmId {
    uint16_t source_id = 0;
    bool is_event = false;
    uint16_t event_id = 0;
};
inline EtmId SplitEtmId(uint32_t id) {
    return {static_cast<uint16_t>(id >> 16), (id & 0x2) != 0, static_cast<uint16_t>((id >> 2) & 0x3FFF)};
}
inline uint32_t EventEtmId(uint16_t source_id, uint16_t event_id) {
    return (static_cast<uint32_t>(source_id) << 16) | (static_cast<uint32_t>(event_id & 0x3FFF) << 2) | 0x2;
}

} // namespace quenlix::si
