// Decoders that turn one whole PAT, PMT, NIT or ATSC MGT section into a flat heap record, and the
// classification of ATSC MGT table_types. The records are read by the pin's program and table-PID
// tracking and by the property page.
#pragma once
#include <windows.h>

// One descriptor of a descriptor loop. The payload is an owned copy, null when descriptor_length is 0.
struct DescriptorRecord {
    BYTE descriptor_tag;
    BYTE descriptor_length;
    BYTE* descriptor_data;
};

// A decoded descriptor loop: count 0 and a null pointer when the loop is empty or could not be copied.
struct DescriptorList {
    LONG descriptor_count;
    DescriptorRecord* descriptors;
};

// Fixed capacities. They hold every entry a section within its size limit can carry: a PMT or NIT
// section is at most 1024 bytes (5 bytes per elementary stream, 6 per transport stream), an MGT section
// 3 + 4095 bytes (11 bytes per table entry).
constexpr DWORD kMaxPmtStreams = 202;
constexpr DWORD kMaxNitTransportStreams = 168;
constexpr DWORD kMaxMgtTables = 371;

struct PatProgram {
    DWORD program_number;
    DWORD PID; // network_PID when program_number is 0, program_map_PID otherwise
};

struct PatRecord {
    DWORD table_id;
    DWORD section_syntax_indicator;
    DWORD section_length;
    DWORD version_number;
    DWORD current_next_indicator;
    DWORD section_number;
    DWORD last_section_number;
    ULONGLONG CRC_32;
    DWORD transport_stream_id;
    DWORD program_count;
    PatProgram* programs;
};

struct PmtStream {
    DWORD stream_type;
    DWORD elementary_PID;
    DWORD ES_info_length;
    DescriptorList descriptors;
};

struct PmtRecord {
    DWORD table_id;
    DWORD section_syntax_indicator;
    DWORD section_length;
    DWORD version_number;
    DWORD current_next_indicator;
    DWORD section_number;
    DWORD last_section_number;
    ULONGLONG CRC_32;
    DWORD program_number;
    DWORD PCR_PID;
    DWORD program_info_length;
    DescriptorList program_info;
    DWORD elementary_stream_count;
    PmtStream streams[kMaxPmtStreams];
};

struct NitTransportStream {
    DWORD transport_stream_id;
    DWORD original_network_id;
    DWORD transport_descriptors_length;
    DescriptorList descriptors;
};

struct NitRecord {
    DWORD table_id;
    DWORD section_syntax_indicator;
    DWORD section_length;
    DWORD version_number;
    DWORD current_next_indicator;
    DWORD section_number;
    DWORD last_section_number;
    ULONGLONG CRC_32;
    DWORD network_id;
    DWORD network_descriptors_length;
    DescriptorList network_descriptors;
    DWORD transport_stream_loop_length;
    DWORD transport_stream_count;
    NitTransportStream transport_streams[kMaxNitTransportStreams];
};

struct MgtTableEntry {
    DWORD table_type;
    DWORD table_type_PID;
    DWORD table_type_version_number;
    DWORD number_bytes;
    DWORD table_type_descriptors_length;
    DescriptorList descriptors;
};

struct MgtRecord {
    DWORD table_id;
    DWORD section_syntax_indicator;
    DWORD section_length;
    DWORD version_number;
    DWORD current_next_indicator;
    DWORD section_number;
    DWORD last_section_number;
    ULONGLONG CRC_32;
    DWORD table_id_extension;
    DWORD protocol_version;
    // As read from the section. Only the first min(tables_defined, kMaxMgtTables) entries of tables are
    // ever filled; when the section ends before them, tables_defined is cut to the entries decoded.
    DWORD tables_defined;
    MgtTableEntry tables[kMaxMgtTables];
    DWORD descriptors_length;
    DescriptorList descriptors;
};

// Class numbers of ClassifyTableType (ATSC A/65 table_type assignments).
enum AtscTableClass : DWORD {
    kTableClassTvctCurrent = 0,
    kTableClassTvctNext = 1,
    kTableClassCvctCurrent = 2,
    kTableClassCvctNext = 3,
    kTableClassChannelEtt = 4,
    kTableClassDccsct = 5,
    kTableClassEit = 6,
    kTableClassEventEtt = 7,
    kTableClassRrt = 8,
    kTableClassUserPrivate = 9,
    kTableClassDcct = 10,
    kTableClassReserved = 11,
};

// Stateless: callers make one as a local where they need it. A section is handed over as its first
// byte (table_id) and its total length, CRC_32 included. Records come zero-filled from Create* and are
// released, with everything they own, by the matching Free*, which nulls the caller's pointer.
class SectionParser {
public:
    PatRecord* CreatePatRecord();
    PmtRecord* CreatePmtRecord();
    NitRecord* CreateNitRecord();
    MgtRecord* CreateMgtRecord();

    // False on a null argument, a length below 12 or a CRC_32 mismatch (record untouched), or when the
    // program array cannot be allocated (head filled, program_count 0, programs null).
    bool ParsePat(const BYTE* bytes, DWORD length, PatRecord* record);
    // No CRC check is made. False on a null argument or a section too short for its fixed fields and
    // CRC_32 (PMT 16, NIT 14, MGT 15 bytes), with the record untouched; otherwise true, also when a
    // descriptor loop could not be copied (that list is left empty) or a loop was cut at the end.
    bool ParsePmt(const BYTE* bytes, DWORD length, PmtRecord* record);
    bool ParseNit(const BYTE* bytes, DWORD length, NitRecord* record);
    bool ParseMgt(const BYTE* bytes, DWORD length, MgtRecord* record);

    // Builds the list of the descriptors in loopLength bytes from loop. False when *list or *count is
    // already set, or on memory exhaustion (the list is then left empty).
    bool ParseDescriptors(const BYTE* loop, DWORD loopLength, DescriptorRecord** list, LONG* count);
    void FreeDescriptors(LONG count, DescriptorRecord** list);

    void FreePatRecord(PatRecord** record);
    void FreePmtRecord(PmtRecord** record);
    void FreeNitRecord(NitRecord** record);
    void FreeMgtRecord(MgtRecord** record);

    // ATSC table_type to class number 0 to 11 (6 EIT-k, 7 event ETT-k).
    DWORD ClassifyTableType(DWORD table_type);
};
