// Field-by-field decoding of well-formed PAT, PMT, NIT and MGT sections, descriptor loops and the
// table_type classes.
#include "decode_support.h"

#include <gtest/gtest.h>

using namespace qxtest;

namespace {

uint32_t TrailingCrc(const Bytes& s) {
    size_t n = s.size();
    return (uint32_t(s[n - 4]) << 24) | (uint32_t(s[n - 3]) << 16) | (uint32_t(s[n - 2]) << 8) | s[n - 1];
}

TEST(ParsePat, FillsHeadProgramsAndCrc) {
    Bytes pat = BuildPat(0x1234, 7, {{0, 0x0010}, {1, 0x0100}, {0x2345, 0x1FFF}}, 1, 2);
    PatHolder h(pat);
    ASSERT_TRUE(h.ok);
    PatRecord* r = h.record;
    EXPECT_EQ(r->table_id, 0x00u);
    EXPECT_EQ(r->section_syntax_indicator, 1u);
    EXPECT_EQ(r->section_length, pat.size() - 3);
    EXPECT_EQ(r->transport_stream_id, 0x1234u);
    EXPECT_EQ(r->version_number, 7u);
    EXPECT_EQ(r->current_next_indicator, 1u);
    EXPECT_EQ(r->section_number, 1u);
    EXPECT_EQ(r->last_section_number, 2u);
    ASSERT_EQ(r->program_count, 3u);
    EXPECT_EQ(r->programs[0].program_number, 0u); // network_PID entry stays in the list
    EXPECT_EQ(r->programs[0].PID, 0x0010u);
    EXPECT_EQ(r->programs[1].program_number, 1u);
    EXPECT_EQ(r->programs[1].PID, 0x0100u);
    EXPECT_EQ(r->programs[2].program_number, 0x2345u);
    EXPECT_EQ(r->programs[2].PID, 0x1FFFu); // reserved bits masked off
    EXPECT_EQ(r->CRC_32, TrailingCrc(pat));
    h.parser.FreePatRecord(&h.record);
    EXPECT_EQ(h.record, nullptr); // the holder frees it a second time, harmlessly
}

TEST(ParsePat, CountComesFromTheLengthHandedIn) {
    // Two zero bytes after the CRC_32 keep the register at zero; the remainder is dropped and CRC_32
    // is read from the last four bytes handed in.
    Bytes padded = BuildPat(1, 0, {{5, 0x0200}});
    padded.insert(padded.end(), {0, 0});
    PatHolder one(padded);
    ASSERT_TRUE(one.ok);
    EXPECT_EQ(one->program_count, 1u);
    EXPECT_EQ(one->CRC_32, TrailingCrc(padded));
    // No program at all: 12 bytes, no array.
    PatHolder none(BuildPat(1, 0, {}));
    ASSERT_TRUE(none.ok);
    EXPECT_EQ(none->program_count, 0u);
    EXPECT_EQ(none->programs, nullptr);
}

// A refused section leaves the record untouched; cut samples are the truncation test's.
TEST(ParsePat, RefusesBadCrcAndNullWithoutTouchingTheRecord) {
    Bytes pat = BuildPat(1, 0, {{1, 0x100}});
    pat.back() ^= 0x80;
    PatHolder h(pat);
    EXPECT_FALSE(h.ok);
    EXPECT_FALSE(h.parser.ParsePat(nullptr, 16, h.record));
    EXPECT_FALSE(h.parser.ParsePat(pat.data(), 16, nullptr));
    EXPECT_TRUE(AllZero(h.record));
}

TEST(ParsePmt, FillsStreamsAndDescriptors) {
    // program_info: one CA descriptor; stream 1 without ES descriptors, stream 2 with two.
    Bytes info = Descriptor(0x09, {0x01, 0x00, 0xE1, 0x23});
    Bytes es = Concat({Descriptor(0x0A, {'e', 'n', 'g', 0}), Descriptor(0x52, {0x07})});
    Bytes pmt = BuildPmtWithDescriptors(0x0042, 0x1FFF, info, {{0x02, 0x0101, {}}, {0x04, 0x0102, es}}, 3);

    PmtHolder h(pmt);
    ASSERT_TRUE(h.ok);
    PmtRecord* r = h.record;
    EXPECT_EQ(r->table_id, 0x02u);
    EXPECT_EQ(r->program_number, 0x42u);
    EXPECT_EQ(r->version_number, 3u);
    EXPECT_EQ(r->PCR_PID, 0x1FFFu);
    EXPECT_EQ(r->program_info_length, 6u);
    ASSERT_EQ(r->program_info.descriptor_count, 1);
    EXPECT_EQ(r->program_info.descriptors[0].descriptor_tag, 0x09);
    EXPECT_EQ(r->program_info.descriptors[0].descriptor_length, 4);
    EXPECT_EQ(r->program_info.descriptors[0].descriptor_data[2], 0xE1);
    ASSERT_EQ(r->elementary_stream_count, 2u);
    EXPECT_EQ(r->streams[0].stream_type, 0x02u);
    EXPECT_EQ(r->streams[0].elementary_PID, 0x0101u);
    EXPECT_EQ(r->streams[0].ES_info_length, 0u);
    EXPECT_EQ(r->streams[0].descriptors.descriptor_count, 0);
    EXPECT_EQ(r->streams[0].descriptors.descriptors, nullptr);
    EXPECT_EQ(r->streams[1].stream_type, 0x04u); // read 5 bytes after the first stream
    EXPECT_EQ(r->streams[1].elementary_PID, 0x0102u);
    EXPECT_EQ(r->streams[1].ES_info_length, 9u);
    ASSERT_EQ(r->streams[1].descriptors.descriptor_count, 2);
    EXPECT_EQ(r->streams[1].descriptors.descriptors[1].descriptor_tag, 0x52);
    EXPECT_EQ(r->streams[1].descriptors.descriptors[1].descriptor_data[0], 0x07);
    EXPECT_EQ(r->CRC_32, TrailingCrc(pmt));
}

TEST(ParseNit, FillsNetworkAndTransportStreams) {
    Bytes name = Descriptor(0x40, {'N', 'e', 't'});
    Bytes delivery = Descriptor(0x5A, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11});
    Bytes nit = BuildNit(0x3001, 9, name, {{0x0001, 0x2000, {}}, {0x0002, 0x2001, delivery}});
    NitHolder h(nit);
    ASSERT_TRUE(h.ok);
    NitRecord* r = h.record;
    EXPECT_EQ(r->table_id, 0x40u);
    EXPECT_EQ(r->network_id, 0x3001u);
    EXPECT_EQ(r->version_number, 9u);
    EXPECT_EQ(r->network_descriptors_length, 5u);
    ASSERT_EQ(r->network_descriptors.descriptor_count, 1);
    EXPECT_EQ(r->network_descriptors.descriptors[0].descriptor_data[0], 'N');
    EXPECT_EQ(r->transport_stream_loop_length, 6u + 6u + 13u);
    ASSERT_EQ(r->transport_stream_count, 2u);
    EXPECT_EQ(r->transport_streams[0].transport_stream_id, 1u);
    EXPECT_EQ(r->transport_streams[0].original_network_id, 0x2000u);
    EXPECT_EQ(r->transport_streams[0].descriptors.descriptor_count, 0);
    EXPECT_EQ(r->transport_streams[1].transport_stream_id, 2u);
    EXPECT_EQ(r->transport_streams[1].transport_descriptors_length, 13u);
    ASSERT_EQ(r->transport_streams[1].descriptors.descriptor_count, 1);
    EXPECT_EQ(r->transport_streams[1].descriptors.descriptors[0].descriptor_data[10], 11);
    EXPECT_EQ(r->CRC_32, TrailingCrc(nit));
}

TEST(ParseMgt, FillsTableEntriesAndOuterDescriptors) {
    Bytes outer = Descriptor(0x80, {0xAA, 0xBB});
    Bytes entryDesc = Descriptor(0x81, {0x01});
    Bytes mgt = BuildMgt(5,
                         {{0x0000, 0x1FFB, 2, 0x00000123, {}},
                          {0x0100, 0x1D00, 31, 0x89ABCDEF, entryDesc},
                          {0x0200, 0x1E00, 0, 77, {}}},
                         outer);
    MgtHolder h(mgt);
    ASSERT_TRUE(h.ok);
    MgtRecord* r = h.record;
    EXPECT_EQ(r->table_id, 0xC7u);
    EXPECT_EQ(r->table_id_extension, 0u);
    EXPECT_EQ(r->version_number, 5u);
    EXPECT_EQ(r->protocol_version, 0u);
    ASSERT_EQ(r->tables_defined, 3u);
    EXPECT_EQ(r->tables[0].table_type, 0x0000u);
    EXPECT_EQ(r->tables[0].table_type_PID, 0x1FFBu);
    EXPECT_EQ(r->tables[0].table_type_version_number, 2u);
    EXPECT_EQ(r->tables[0].number_bytes, 0x123u);
    EXPECT_EQ(r->tables[1].table_type, 0x0100u);
    EXPECT_EQ(r->tables[1].table_type_version_number, 31u);
    EXPECT_EQ(r->tables[1].number_bytes, 0x89ABCDEFu);
    EXPECT_EQ(r->tables[1].table_type_descriptors_length, 3u);
    ASSERT_EQ(r->tables[1].descriptors.descriptor_count, 1);
    EXPECT_EQ(r->tables[1].descriptors.descriptors[0].descriptor_tag, 0x81);
    EXPECT_EQ(r->tables[2].table_type, 0x0200u); // read after the entry's descriptors
    EXPECT_EQ(r->tables[2].table_type_PID, 0x1E00u);
    EXPECT_EQ(r->descriptors_length, 4u);
    ASSERT_EQ(r->descriptors.descriptor_count, 1);
    EXPECT_EQ(r->descriptors.descriptors[0].descriptor_data[1], 0xBB);
    EXPECT_EQ(r->CRC_32, TrailingCrc(mgt));
}

TEST(ParseMgt, NoTablesReadsDescriptorsLengthFromBytes11And12) {
    Bytes mgt = BuildMgt(0, {}, Descriptor(0x80, {}));
    ASSERT_EQ(mgt[11] & 0x0F, 0);
    ASSERT_EQ(mgt[12], 2);
    MgtHolder h(mgt);
    ASSERT_TRUE(h.ok);
    MgtRecord* r = h.record;
    EXPECT_EQ(r->tables_defined, 0u);
    EXPECT_EQ(r->descriptors_length, 2u);
    ASSERT_EQ(r->descriptors.descriptor_count, 1);
    EXPECT_EQ(r->descriptors.descriptors[0].descriptor_data, nullptr);
}

// The lists stop at their capacity: 202 streams, 168 transport streams; a full MGT holds 371 entries.
TEST(SectionParser, ListsUpToTheirCapacity) {
    std::vector<std::pair<uint8_t, uint16_t>> streams;
    for (int i = 0; i < 210; ++i) {
        streams.push_back({0x1B, static_cast<uint16_t>(0x200 + i)});
    }
    Bytes pmt = BuildPmt(1, 0, 0x100, streams);
    PmtHolder r(pmt);
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r->elementary_stream_count, 202u);
    EXPECT_EQ(r->streams[201].elementary_PID, 0x200u + 201);
    EXPECT_EQ(r->CRC_32, TrailingCrc(pmt)); // the field after the array is intact

    std::vector<NitStream> transportStreams;
    for (int i = 0; i < 170; ++i) {
        transportStreams.push_back({static_cast<uint16_t>(i), 1, {}});
    }
    Bytes nit = BuildNit(1, 0, {}, transportStreams);
    NitHolder n(nit);
    ASSERT_TRUE(n.ok);
    EXPECT_EQ(n->transport_stream_count, 168u);
    EXPECT_EQ(n->transport_streams[167].transport_stream_id, 167u);

    std::vector<MgtEntry> entries(371);
    for (size_t i = 0; i < entries.size(); ++i) {
        entries[i].table_type = static_cast<uint16_t>(0x0100 + (i % 128));
        entries[i].pid = static_cast<uint16_t>(0x1000 + i);
    }
    Bytes mgt = BuildMgt(1, entries);
    ASSERT_EQ(mgt.size(), 3u + 4095u); // the largest section_length there is
    MgtHolder m(mgt);
    ASSERT_TRUE(m.ok);
    EXPECT_EQ(m->tables_defined, 371u);
    EXPECT_EQ(m->tables[370].table_type_PID, 0x1000u + 370);
    EXPECT_EQ(m->descriptors_length, 0u);
}

TEST(ParseDescriptors, ZeroLengthDescriptorsHaveNoPayload) {
    Bytes loop = Concat({Descriptor(0x01, {}), Descriptor(0x02, {0x55}), Descriptor(0x03, {})});
    ExactBuffer buf(loop);
    SectionParser parser;
    DescriptorRecord* list = nullptr;
    LONG count = 0;
    ASSERT_TRUE(parser.ParseDescriptors(buf.data(), buf.size(), &list, &count));
    ASSERT_EQ(count, 3);
    EXPECT_EQ(list[0].descriptor_tag, 0x01);
    EXPECT_EQ(list[0].descriptor_length, 0);
    EXPECT_EQ(list[0].descriptor_data, nullptr);
    EXPECT_EQ(list[1].descriptor_tag, 0x02); // two bytes after the empty one
    EXPECT_EQ(list[1].descriptor_data[0], 0x55);
    EXPECT_EQ(list[2].descriptor_tag, 0x03);
    EXPECT_EQ(list[2].descriptor_data, nullptr);

    // A filled list is not overwritten.
    EXPECT_FALSE(parser.ParseDescriptors(buf.data(), buf.size(), &list, &count));
    EXPECT_EQ(count, 3);
    DescriptorRecord* other = nullptr;
    EXPECT_FALSE(parser.ParseDescriptors(buf.data(), buf.size(), &other, &count));
    EXPECT_EQ(other, nullptr);

    parser.FreeDescriptors(count, &list);
    EXPECT_EQ(list, nullptr);
}

TEST(ClassifyTableType, Boundaries) {
    SectionParser parser;
    const std::pair<DWORD, DWORD> cases[] = {
        {0x0000, 0},  {0x0001, 1},  {0x0002, 2},  {0x0003, 3},  {0x0004, 4},  {0x0005, 5},  {0x0006, 11},
        {0x00FF, 11}, {0x0100, 6},  {0x017F, 6},  {0x0180, 11}, {0x01FF, 11}, {0x0200, 7},  {0x027F, 7},
        {0x0280, 11}, {0x02FF, 11}, {0x0300, 11}, {0x0301, 8},  {0x03FF, 8},  {0x0400, 9},  {0x0FFF, 9},
        {0x1000, 11}, {0x13FF, 11}, {0x1400, 10}, {0x14FF, 10}, {0x1500, 11}, {0xFFFF, 11}, {0x10100, 11},
    };
    for (auto [type, cls] : cases) {
        EXPECT_EQ(parser.ClassifyTableType(type), cls) << std::hex << type;
    }
}

} // namespace
