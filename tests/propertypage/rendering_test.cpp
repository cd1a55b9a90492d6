// The page's display format: rows of the three tables and of descriptor loops, value formats, the
// descriptor_data cell and the selector entries of each view.
#include <gtest/gtest.h>

#include "render_support.h"

namespace qxtest {
namespace {

// Hexadecimal in lower case; CRC_32 always with eight digits, so one with leading zeros is put in.
TEST(RenderPat, NetworkAndProgramEntriesWithExactTexts) {
    PatHolder pat(BuildPat(0xABCD, 0x1E, {{0, 0x0010}, {0x0FED, 0x1FFF}}));
    pat.record->CRC_32 = 0x000ABCDEull;
    Rows expected = {
        {"section_syntax_indicator", "TRUE"},        {"section_length", "17"},
        {"transport_stream_id", "0xabcd (= 43981)"}, {"version_number", "0x1e (= 30)"},
        {"current_next_indicator", "TRUE"},          {"last_section_number", "0"},
        {"  program descriptor count", "2"},         {"  #0 program_number", "0"},
        {"    network_PID", "0x0010 (= 16)"},        {"  #1 program_number", "4077"},
        {"    program_map_PID", "0x1fff (= 8191)"},  {"CRC_32", "0x000abcde"},
    };
    EXPECT_EQ(RowsOf(pat.record), expected);
}

// A fetch whose record could not be made renders nothing: the rows on show stay.
TEST(Render, NullRecordLeavesTheListAlone) {
    RowCollector rows;
    rows.rows = {{"kept", "row"}};
    TableRenderer renderer(&rows);
    renderer.RenderPat(nullptr);
    renderer.RenderPmt(nullptr);
    renderer.RenderNit(nullptr);
    EXPECT_EQ(rows.rows.size(), 1u);
    EXPECT_EQ(rows.clears, 0);
}

TEST(RenderPmt, ProgramInfoAndStreamDescriptorLoops) {
    // Program info: two descriptors (seven rows); stream 1 has one descriptor, stream 2 none.
    Bytes info = {0x09, 0x04, 0x0B, 0x00, 0xE1, 0x00, 0x05, 0x00};
    Bytes es = {0x0A, 0x04, 'e', 'n', 'g', 0x00};
    Bytes section = BuildPmtWithDescriptors(0x1234, 0x0101, info, {{0x1B, 0x0101, es}, {0x03, 0x0102, {}}});
    Rows expected = {
        {"section_syntax_indicator", "TRUE"},
        {"section_length", std::to_string(section.size() - 3)},
        {"program_number", "4660"},
        {"version_number", "0x0 (= 0)"},
        {"current_next_indicator", "TRUE"},
        {"last_section_number", "0"},
        {"PCR_PID", "0x0101 (= 257)"},
        {"program_info_length", "8"},
        {"  program info descriptor count", "2"},
        {"  descriptor_tag", "0x9 (= 9)"},
        {"  descriptor_length", "4"},
        {"  descriptor_data", "0b 00 e1 00  |....|"},
        {"  descriptor_tag", "0x5 (= 5)"},
        {"  descriptor_length", "0"},
        {"  descriptor_data", "(none)"},
        {"  elementary stream info count", "2"},
        {"  stream_type", "0x1b (= 27)"},
        {"  elementary_PID", "0x0101 (= 257)"},
        {"  ES_info_length", "6"},
        {"    descriptor count", "1"},
        {"    descriptor_tag", "0xa (= 10)"},
        {"    descriptor_length", "4"},
        {"    descriptor_data", "65 6e 67 00  |eng.|"},
        {"  stream_type", "0x03 (= 3)"},
        {"  elementary_PID", "0x0102 (= 258)"},
        {"  ES_info_length", "0"},
        {"CRC_32", Crc32Text(section)},
    };
    EXPECT_EQ(PmtRows(section), expected);
}

// Empty loops show their length but no count; the rows end with the CRC_32.
TEST(Render, EmptyLoops) {
    Bytes pmt = BuildPmt(7, 2, 0x1FFF, {});
    Rows pmtRows = PmtRows(pmt);
    EXPECT_EQ(
        Rows(pmtRows.begin() + 6, pmtRows.end()),
        Rows({{"PCR_PID", "0x1fff (= 8191)"}, {"program_info_length", "0"}, {"CRC_32", Crc32Text(pmt)}}));
    Bytes nit = BuildNit(0x3001, 5, {}, {});
    Rows nitRows = NitRows(nit);
    EXPECT_EQ(Rows(nitRows.begin() + 6, nitRows.end()), Rows({{"network_descriptors_length", "0"},
                                                              {"transport_stream_loop_length", "0"},
                                                              {"CRC_32", Crc32Text(nit)}}));
}

TEST(RenderNit, NetworkDescriptorsAndTransportStreams) {
    Bytes name = {0x40, 0x03, 'N', 'e', 't'};
    Bytes list = {0x41, 0x03, 0x00, 0x01, 0x01};
    Bytes section = BuildNit(0x0020, 1, name, {{0x0001, 0x0020, list}, {0x0002, 0x0020, {}}});
    Rows expected = {
        {"section_syntax_indicator", "TRUE"},
        {"section_length", std::to_string(section.size() - 3)},
        {"network_id", "0x20 (= 32)"},
        {"version_number", "0x1 (= 1)"},
        {"current_next_indicator", "TRUE"},
        {"last_section_number", "0"},
        {"network_descriptors_length", "5"},
        {"  network_descriptors_count", "1"},
        {"  descriptor_tag", "0x40 (= 64)"},
        {"  descriptor_length", "3"},
        {"  descriptor_data", "4e 65 74  |Net|"},
        {"transport_stream_loop_length", "17"},
        {"  transport_stream_loop_count", "2"},
        {"  transport_stream_id", "0x1 (= 1)"},
        {"  original_network_id", "0x20 (= 32)"},
        {"  transport_descriptors_length", "5"},
        {"    descriptor count", "1"},
        {"    descriptor_tag", "0x41 (= 65)"},
        {"    descriptor_length", "3"},
        {"    descriptor_data", "00 01 01  |...|"},
        {"  transport_stream_id", "0x2 (= 2)"},
        {"  original_network_id", "0x20 (= 32)"},
        {"  transport_descriptors_length", "0"},
        {"CRC_32", Crc32Text(section)},
    };
    EXPECT_EQ(NitRows(section), expected);
}

TEST(DescriptorData, LongPayloadIsCutToTheCellWithItsByteCount) {
    BYTE payload[255];
    for (int i = 0; i < 255; ++i) {
        payload[i] = static_cast<BYTE>('A' + i % 26);
    }
    DescriptorRecord d = {0x4D, 255, payload};
    char text[kCellTextSize];
    FormatDescriptorData(d, text);
    std::string s = text;
    EXPECT_LT(s.size(), static_cast<size_t>(kCellTextSize));
    EXPECT_EQ(s.rfind("41 42 43 ", 0), 0u);
    EXPECT_NE(s.find(" 58 ...  |ABCDEFGHIJKLMNOPQRSTUVWX...| (255 bytes)"), std::string::npos) << s;

    // Exactly the shown number of bytes is not cut.
    d.descriptor_length = kDescriptorBytesShown;
    FormatDescriptorData(d, text);
    EXPECT_EQ(std::string(text).find("..."), std::string::npos);
    EXPECT_NE(std::string(text).find("|ABCDEFGHIJKLMNOPQRSTUVWX|"), std::string::npos);
}

// PAT: one section entry per section_number. PMT: the program PIDs, and the section number in decimal
// digits after 0x. NIT: its PID, table id and sections.
TEST(SelectorEntries, EachView) {
    using Strings = std::vector<std::string>;
    PatHolder pat(BuildPat(1, 0, {{1, 0x100}}, 0, 2));
    SelectorCollector s;
    AddPatViewEntries(pat.record, &s);
    EXPECT_EQ(s.entries[kPidSelector], Strings({"0x0000"}));
    EXPECT_EQ(s.entries[kTableIdSelector], Strings({"0x00"}));
    EXPECT_EQ(s.entries[kSectionSelector], Strings({"00", "01", "02"}));

    PmtHolder pmt(BuildPmt(1, 0, 0x100, {}));
    pmt.record->section_number = 12; // shows 0x12, not 0x0c
    DWORD pids[] = {0x0100, 0x1abc, 0x0020};
    SelectorCollector p;
    AddPmtViewEntries(pmt.record, pids, 3, &p);
    EXPECT_EQ(p.entries[kPidSelector], Strings({"0x0100", "0x1abc", "0x0020"}));
    EXPECT_EQ(p.entries[kTableIdSelector], Strings({"0x02"}));
    EXPECT_EQ(p.entries[kSectionSelector], Strings({"0x12"}));

    SectionBuilder b;
    b.Table(0x40).Extension(1).Number(0, 11);
    b.Append16(0xF000).Append16(0xF000);
    NitHolder nit(b.Build());
    SelectorCollector n;
    AddNitViewPidEntry(&n);
    AddNitViewTableIdEntry(&n);
    AddNitViewSectionEntries(nit.record, &n);
    EXPECT_EQ(n.entries[kPidSelector], Strings({"0x0010"}));
    EXPECT_EQ(n.entries[kTableIdSelector], Strings({"0x40"}));
    ASSERT_EQ(n.entries[kSectionSelector].size(), 12u);
    EXPECT_EQ(n.entries[kSectionSelector][0], "00");
    EXPECT_EQ(n.entries[kSectionSelector][11], "11");
}

} // namespace
} // namespace qxtest
