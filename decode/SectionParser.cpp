#include "decode/SectionParser.h"

#include "baseclasses/allocation.h"
#include "tables/section.h"

#include <string.h>

// How sections whose lengths disagree with their size are decoded: every loop is walked only inside
// the section's payload, which ends 4 bytes (the CRC_32) before the smaller of the length handed in
// and 3 + section_length. An element whose head or payload would cross an end is cut: a descriptor that
// does not fit whole in its loop is dropped with those after it, an entry whose head does not fit ends
// its loop, and an entry whose descriptor loop crosses the payload's end keeps the whole descriptors that
// fit and is the loop's last. Fields that would lie beyond the end are not read and stay 0; after a cut
// MGT table loop the outer descriptors are left out, and tables_defined is lowered to the entries
// decoded, since the pin maps one PID per entry. A section too short for its fixed fields and CRC_32
// fails the parse with the record untouched. The records thus show as much of a damaged section as can
// be read from it, which is what a user looking at a stream wants to see.

namespace {

DWORD Read16(const BYTE* p) {
    return (static_cast<DWORD>(p[0]) << 8) | p[1];
}

DWORD Read32(const BYTE* p) {
    return (static_cast<DWORD>(p[0]) << 24) | (static_cast<DWORD>(p[1]) << 16) |
           (static_cast<DWORD>(p[2]) << 8) | p[3];
}

// End of the payload (offset of the first byte not to be read as loop data). length >= 4 is assured by
// each decoder's minimum size.
DWORD PayloadEnd(const BYTE* bytes, DWORD length) {
    DWORD total = 3 + SectionLength(bytes);
    DWORD limit = total < length ? total : length;
    return limit >= 4 ? limit - 4 : 0;
}

// The bytes of a loop of loopLength starting at start that lie before end.
DWORD ClipLoop(DWORD start, DWORD loopLength, DWORD end) {
    if (start >= end) {
        return 0;
    }
    return loopLength <= end - start ? loopLength : end - start;
}

template <class Record> void FillHead(const BYTE* bytes, Record* record) {
    record->table_id = SectionTableId(bytes);
    record->section_syntax_indicator = SectionSyntaxIndicator(bytes);
    record->section_length = SectionLength(bytes);
    record->version_number = SectionVersion(bytes);
    record->current_next_indicator = SectionCurrentNext(bytes);
    record->section_number = SectionNumber(bytes);
    record->last_section_number = SectionLastNumber(bytes);
}

void FillCrc(const BYTE* bytes, DWORD length, ULONGLONG* crc) {
    *crc = Read32(bytes + length - 4);
}

template <class Record> Record* CreateRecord() {
    return static_cast<Record*>(MemAllocZero(sizeof(Record)));
}

} // namespace

PatRecord* SectionParser::CreatePatRecord() {
    return CreateRecord<PatRecord>();
}

PmtRecord* SectionParser::CreatePmtRecord() {
    return CreateRecord<PmtRecord>();
}

NitRecord* SectionParser::CreateNitRecord() {
    return CreateRecord<NitRecord>();
}

MgtRecord* SectionParser::CreateMgtRecord() {
    return CreateRecord<MgtRecord>();
}

bool SectionParser::ParsePat(const BYTE* bytes, DWORD length, PatRecord* record) {
    if (bytes == nullptr || record == nullptr || length < 12) {
        return false;
    }
    if (!CheckSectionCrc(bytes, length)) {
        return false;
    }
    FillHead(bytes, record);
    record->transport_stream_id = SectionTableIdExtension(bytes);
    // Sized from the length handed in: the store has checked that the loop holds whole entries.
    DWORD count = (length - 12) / 4;
    record->program_count = count;
    if (count != 0) {
        record->programs = static_cast<PatProgram*>(MemAllocZero(count * sizeof(PatProgram)));
        if (record->programs == nullptr) {
            // A caller that reads the record anyway must not walk a count without its array.
            record->program_count = 0;
            return false;
        }
        for (DWORD i = 0; i < count; ++i) {
            const BYTE* entry = bytes + kSectionHeaderBytes + static_cast<SIZE_T>(4) * i;
            record->programs[i].program_number = Read16(entry);
            record->programs[i].PID = Read16(entry + 2) & 0x1FFF;
        }
    }
    FillCrc(bytes, length, &record->CRC_32);
    return true;
}

bool SectionParser::ParsePmt(const BYTE* bytes, DWORD length, PmtRecord* record) {
    // The fixed part (header, PCR_PID, program_info_length) and the CRC_32 must be there.
    if (bytes == nullptr || record == nullptr || length < 16) {
        return false;
    }
    const DWORD end = PayloadEnd(bytes, length);
    FillHead(bytes, record);
    record->program_number = SectionTableIdExtension(bytes);
    record->PCR_PID = Read16(bytes + 8) & 0x1FFF;
    record->program_info_length = Read16(bytes + 10) & 0x0FFF;
    if (record->program_info_length != 0) {
        ParseDescriptors(bytes + 12, ClipLoop(12, record->program_info_length, end),
                         &record->program_info.descriptors, &record->program_info.descriptor_count);
    }
    if (record->section_length > record->program_info_length + 13) {
        DWORD pos = 12 + record->program_info_length;
        LONG remaining = static_cast<LONG>(record->section_length - 13 - record->program_info_length);
        for (DWORD i = 0; i < kMaxPmtStreams; ++i) {
            if (pos >= end || end - pos < 5) {
                break;
            }
            PmtStream& stream = record->streams[i];
            stream.stream_type = bytes[pos];
            stream.elementary_PID = Read16(bytes + pos + 1) & 0x1FFF;
            stream.ES_info_length = Read16(bytes + pos + 3) & 0x0FFF;
            if (stream.ES_info_length != 0) {
                ParseDescriptors(bytes + pos + 5, ClipLoop(pos + 5, stream.ES_info_length, end),
                                 &stream.descriptors.descriptors, &stream.descriptors.descriptor_count);
            }
            record->elementary_stream_count += 1;
            remaining -= static_cast<LONG>(stream.ES_info_length + 5);
            if (remaining <= 0) {
                break;
            }
            pos += 5 + stream.ES_info_length;
        }
    }
    FillCrc(bytes, length, &record->CRC_32);
    return true;
}

bool SectionParser::ParseNit(const BYTE* bytes, DWORD length, NitRecord* record) {
    // Header, network_descriptors_length and the CRC_32.
    if (bytes == nullptr || record == nullptr || length < 14) {
        return false;
    }
    const DWORD end = PayloadEnd(bytes, length);
    FillHead(bytes, record);
    record->network_id = SectionTableIdExtension(bytes);
    record->network_descriptors_length = Read16(bytes + 8) & 0x0FFF;
    const DWORD loopLengthAt = 10 + record->network_descriptors_length;
    // Beyond the payload the transport stream loop cannot be found: it stays empty.
    if (loopLengthAt + 2 <= end) {
        record->transport_stream_loop_length = Read16(bytes + loopLengthAt) & 0x0FFF;
    }
    if (record->network_descriptors_length != 0) {
        ParseDescriptors(bytes + 10, ClipLoop(10, record->network_descriptors_length, end),
                         &record->network_descriptors.descriptors,
                         &record->network_descriptors.descriptor_count);
    }
    if (record->transport_stream_loop_length != 0) {
        DWORD pos = loopLengthAt + 2;
        LONG remaining = static_cast<LONG>(record->transport_stream_loop_length);
        for (DWORD i = 0; i < kMaxNitTransportStreams; ++i) {
            if (pos >= end || end - pos < 6) {
                break;
            }
            NitTransportStream& ts = record->transport_streams[i];
            ts.transport_stream_id = Read16(bytes + pos);
            ts.original_network_id = Read16(bytes + pos + 2);
            ts.transport_descriptors_length = Read16(bytes + pos + 4) & 0x0FFF;
            if (ts.transport_descriptors_length != 0) {
                ParseDescriptors(bytes + pos + 6, ClipLoop(pos + 6, ts.transport_descriptors_length, end),
                                 &ts.descriptors.descriptors, &ts.descriptors.descriptor_count);
            }
            pos += 6 + ts.transport_descriptors_length;
            record->transport_stream_count += 1;
            remaining -= static_cast<LONG>(ts.transport_descriptors_length + 6);
            if (remaining <= 0) {
                break;
            }
        }
    }
    FillCrc(bytes, length, &record->CRC_32);
    return true;
}

bool SectionParser::ParseMgt(const BYTE* bytes, DWORD length, MgtRecord* record) {
    // Header, protocol_version, tables_defined and the CRC_32.
    if (bytes == nullptr || record == nullptr || length < 15) {
        return false;
    }
    const DWORD end = PayloadEnd(bytes, length);
    FillHead(bytes, record);
    record->table_id_extension = SectionTableIdExtension(bytes);
    record->protocol_version = bytes[8];
    const DWORD defined = Read16(bytes + 9);
    const DWORD wanted = defined < kMaxMgtTables ? defined : kMaxMgtTables;

    DWORD pos = 11;
    DWORD decoded = 0;
    bool cut = defined > wanted;
    while (decoded < wanted) {
        if (pos >= end || end - pos < 11) {
            cut = true;
            break;
        }
        MgtTableEntry& entry = record->tables[decoded];
        entry.table_type = Read16(bytes + pos);
        entry.table_type_PID = Read16(bytes + pos + 2) & 0x1FFF;
        entry.table_type_version_number = bytes[pos + 4] & 0x1F;
        entry.number_bytes = Read32(bytes + pos + 5);
        entry.table_type_descriptors_length = Read16(bytes + pos + 9) & 0x0FFF;
        ++decoded;
        if (entry.table_type_descriptors_length != 0) {
            DWORD clipped = ClipLoop(pos + 11, entry.table_type_descriptors_length, end);
            ParseDescriptors(bytes + pos + 11, clipped, &entry.descriptors.descriptors,
                             &entry.descriptors.descriptor_count);
            if (clipped < entry.table_type_descriptors_length) {
                cut = true;
                break;
            }
        }
        pos += 11 + entry.table_type_descriptors_length;
    }
    // The pin maps one PID per listed table: it must never see more entries than were decoded.
    record->tables_defined = decoded;

    // After a cut table loop the outer descriptors are not where the section says; leave them out.
    if (!cut && pos < end && end - pos >= 2) {
        record->descriptors_length = Read16(bytes + pos) & 0x0FFF;
        if (record->descriptors_length != 0) {
            ParseDescriptors(bytes + pos + 2, ClipLoop(pos + 2, record->descriptors_length, end),
                             &record->descriptors.descriptors, &record->descriptors.descriptor_count);
        }
    }
    FillCrc(bytes, length, &record->CRC_32);
    return true;
}

bool SectionParser::ParseDescriptors(const BYTE* loop, DWORD loopLength, DescriptorRecord** list,
                                     LONG* count) {
    if (list == nullptr || count == nullptr || *list != nullptr || *count != 0) {
        return false;
    }
    if (loop == nullptr && loopLength != 0) {
        return false;
    }
    // Counting pass. A descriptor whose tag, length or payload would cross the loop's end is dropped
    // with everything after it.
    LONG found = 0;
    DWORD pos = 0;
    while (loopLength - pos >= 2 && loopLength - pos - 2 >= loop[pos + 1]) {
        pos += 2 + loop[pos + 1];
        ++found;
    }
    if (found == 0) {
        return true;
    }
    auto* records = static_cast<DescriptorRecord*>(MemAllocZero(found * sizeof(DescriptorRecord)));
    if (records == nullptr) {
        return false;
    }
    pos = 0;
    for (LONG i = 0; i < found; ++i) {
        DescriptorRecord& d = records[i];
        d.descriptor_tag = loop[pos];
        d.descriptor_length = loop[pos + 1];
        if (d.descriptor_length != 0) {
            d.descriptor_data = static_cast<BYTE*>(MemAlloc(d.descriptor_length));
            if (d.descriptor_data == nullptr) {
                for (LONG j = 0; j < i; ++j) {
                    MemFree(records[j].descriptor_data);
                }
                MemFree(records);
                return false;
            }
            memcpy(d.descriptor_data, loop + pos + 2, d.descriptor_length);
        }
        pos += 2 + d.descriptor_length;
    }
    *list = records;
    *count = found;
    return true;
}

void SectionParser::FreeDescriptors(LONG count, DescriptorRecord** list) {
    if (list == nullptr || *list == nullptr || count < 1) {
        return;
    }
    for (LONG i = 0; i < count; ++i) {
        MemFree((*list)[i].descriptor_data);
    }
    MemFree(*list);
    *list = nullptr;
}

void SectionParser::FreePatRecord(PatRecord** record) {
    if (record == nullptr || *record == nullptr) {
        return;
    }
    MemFree((*record)->programs);
    MemFree(*record);
    *record = nullptr;
}

void SectionParser::FreePmtRecord(PmtRecord** record) {
    if (record == nullptr || *record == nullptr) {
        return;
    }
    PmtRecord* r = *record;
    FreeDescriptors(r->program_info.descriptor_count, &r->program_info.descriptors);
    for (PmtStream& stream : r->streams) {
        FreeDescriptors(stream.descriptors.descriptor_count, &stream.descriptors.descriptors);
    }
    MemFree(r);
    *record = nullptr;
}

void SectionParser::FreeNitRecord(NitRecord** record) {
    if (record == nullptr || *record == nullptr) {
        return;
    }
    NitRecord* r = *record;
    FreeDescriptors(r->network_descriptors.descriptor_count, &r->network_descriptors.descriptors);
    for (NitTransportStream& ts : r->transport_streams) {
        FreeDescriptors(ts.descriptors.descriptor_count, &ts.descriptors.descriptors);
    }
    MemFree(r);
    *record = nullptr;
}

void SectionParser::FreeMgtRecord(MgtRecord** record) {
    if (record == nullptr || *record == nullptr) {
        return;
    }
    MgtRecord* r = *record;
    FreeDescriptors(r->descriptors.descriptor_count, &r->descriptors.descriptors);
    // Every slot, not only the first tables_defined: unfilled ones are zero and cost nothing.
    for (MgtTableEntry& entry : r->tables) {
        FreeDescriptors(entry.descriptors.descriptor_count, &entry.descriptors.descriptors);
    }
    MemFree(r);
    *record = nullptr;
}

DWORD SectionParser::ClassifyTableType(DWORD table_type) {
    switch (table_type) {
    case 0x0000:
        return kTableClassTvctCurrent;
    case 0x0001:
        return kTableClassTvctNext;
    case 0x0002:
        return kTableClassCvctCurrent;
    case 0x0003:
        return kTableClassCvctNext;
    case 0x0004:
        return kTableClassChannelEtt;
    case 0x0005:
        return kTableClassDccsct;
    default:
        break;
    }
    if (table_type >= 0x0100 && table_type <= 0x017F) {
        return kTableClassEit;
    }
    if (table_type >= 0x0200 && table_type <= 0x027F) {
        return kTableClassEventEtt;
    }
    if (table_type >= 0x0301 && table_type <= 0x03FF) {
        return kTableClassRrt;
    }
    if (table_type >= 0x0400 && table_type <= 0x0FFF) {
        return kTableClassUserPrivate;
    }
    if (table_type >= 0x1400 && table_type <= 0x14FF) {
        return kTableClassDcct;
    }
    return kTableClassReserved;
}
