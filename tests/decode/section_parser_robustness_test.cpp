// Sections whose lengths lie about their size, and memory exhaustion. Every section is handed over in
// an exactly sized heap block, so a read past its end fails the sanitizer build.
#include "decode_support.h"

#include <gtest/gtest.h>

using namespace qxtest;

namespace {

// A PMT with two program-info descriptors and two streams carrying two descriptors each.
Bytes RichPmt() {
    Bytes info = Concat({Descriptor(0x09, {1, 2, 3, 4}), Descriptor(0x0E, {5, 6, 7})});
    Bytes es = Concat({Descriptor(0x0A, {'e', 'n', 'g', 0}), Descriptor(0x52, {1})});
    return BuildPmtWithDescriptors(1, 0x0100, info, {{0x1B, 0x101, es}, {0x1B, 0x102, es}});
}

// Lengths in a PMT that claim more than there is: program_info_length, the first ES_info_length, and a
// descriptor_length.
TEST(DecoderOverrun, PmtLengthsBeyondTheirLoops) {
    Bytes pmt0 = RichPmt();
    SetLength12(pmt0, 10, 0x0FFF);
    PmtHolder r0(pmt0);
    ASSERT_TRUE(r0.ok);
    EXPECT_EQ(r0->program_info_length, 0x0FFFu);
    // The loop runs to the payload's end: every whole descriptor that fits is kept, the rest dropped.
    EXPECT_GE(r0->program_info.descriptor_count, 2);
    EXPECT_EQ(r0->elementary_stream_count, 0u); // the stream loop would start past the end

    Bytes pmt1 = RichPmt();
    // First stream's ES_info_length (at 12 + 11 + 3) claims more than there is.
    SetLength12(pmt1, 12 + 11 + 3, 0x0400);
    PmtHolder r1(pmt1);
    ASSERT_TRUE(r1.ok);
    ASSERT_EQ(r1->elementary_stream_count, 1u);
    EXPECT_EQ(r1->streams[0].ES_info_length, 0x400u);
    // Its loop covers the rest of the payload, which holds the whole descriptors it had plus the
    // next stream's bytes read as descriptors as far as they go.
    EXPECT_GE(r1->streams[0].descriptors.descriptor_count, 2);

    Bytes pmt2 = RichPmt();
    pmt2[12 + 1] = 200; // the first program-info descriptor claims 200 bytes of an 11-byte loop
    PmtHolder r2(pmt2);
    ASSERT_TRUE(r2.ok);
    EXPECT_EQ(r2->program_info.descriptor_count, 0);
    EXPECT_EQ(r2->program_info.descriptors, nullptr);
    EXPECT_EQ(r2->elementary_stream_count, 2u); // the stream loop is found by program_info_length
    EXPECT_EQ(r2->streams[1].descriptors.descriptor_count, 2);
}

TEST(DecoderOverrun, NitEveryLoopLength) {
    Bytes base = BuildNit(1, 0, Descriptor(0x40, {'a', 'b'}),
                          {{1, 1, Descriptor(0x41, {1, 2, 3})}, {2, 1, Descriptor(0x41, {4, 5, 6})}});
    struct Case {
        size_t at;
        uint16_t value;
        DWORD streams;
        size_t grow = 0; // zero bytes added before the CRC_32, counted by section_length
        size_t pad = 0;  // zero bytes after the CRC_32
    };
    // network_descriptors_length at 8, transport_stream_loop_length at 14, the entries'
    // transport_descriptors_length at 20 and 29. Five bytes left at the payload's end are no entry head,
    // bytes after the CRC_32 are no payload, and a loop length of 0 means no streams whatever follows.
    const Case cases[] = {{8, 0x0FFF, 0},        {14, 0x0FFF, 2},       {20, 0x0FFF, 1}, {29, 0x0FFF, 2},
                          {14, 0x0FFF, 2, 5, 0}, {14, 0x0FFF, 2, 0, 8}, {14, 0, 0}};
    for (const Case& c : cases) {
        Bytes nit = base;
        SetLength12(nit, c.at, c.value);
        nit.insert(nit.end() - 4, c.grow, 0);
        SetLength12(nit, 1, static_cast<uint16_t>(nit.size() - 3));
        nit.insert(nit.end(), c.pad, 0);
        NitHolder r(nit);
        ASSERT_TRUE(r.ok) << c.at << " " << c.grow << " " << c.pad;
        EXPECT_EQ(r->transport_stream_count, c.streams) << c.at << " " << c.grow << " " << c.pad;
    }
}

TEST(DecoderOverrun, MgtTablesDefinedBeyondTheSection) {
    Bytes mgt =
        BuildMgt(0, {{0x0100, 0x1D00, 0, 10, {}}, {0x0200, 0x1E00, 0, 10, {}}}, Descriptor(0x80, {1}));
    mgt[9] = 0xFF; // tables_defined 0xFFFF
    mgt[10] = 0xFF;
    MgtHolder r(mgt);
    ASSERT_TRUE(r.ok);
    // The two whole entries, then the outer descriptors read as an entry head do not fit.
    EXPECT_EQ(r->tables_defined, 2u);
    EXPECT_EQ(r->tables[1].table_type_PID, 0x1E00u);
    EXPECT_EQ(r->descriptors_length, 0u); // not read after a cut loop
    EXPECT_EQ(r->descriptors.descriptors, nullptr);
}

TEST(DecoderOverrun, MgtEntryAndOuterDescriptorLengths) {
    Bytes entryDesc = Descriptor(0x81, {1, 2});
    Bytes base =
        BuildMgt(0, {{0x0100, 0x1D00, 0, 10, entryDesc}, {0x0200, 0x1E00, 0, 10, {}}}, Descriptor(0x80, {3}));
    {
        // The first entry's descriptors run past the end: it is the last entry decoded.
        Bytes mgt = base;
        SetLength12(mgt, 11 + 9, 0x0FFF);
        MgtHolder r(mgt);
        ASSERT_TRUE(r.ok);
        EXPECT_EQ(r->tables_defined, 1u);
        EXPECT_GE(r->tables[0].descriptors.descriptor_count, 1);
        EXPECT_EQ(r->descriptors.descriptors, nullptr);
    }
    {
        // The outer descriptors_length runs past the end: the whole descriptor there is kept.
        Bytes mgt = base;
        SetLength12(mgt, mgt.size() - 4 - 3 - 2, 0x0FFF);
        MgtHolder r(mgt);
        ASSERT_TRUE(r.ok);
        EXPECT_EQ(r->tables_defined, 2u);
        EXPECT_EQ(r->descriptors_length, 0x0FFFu);
        ASSERT_EQ(r->descriptors.descriptor_count, 1);
        EXPECT_EQ(r->descriptors.descriptors[0].descriptor_data[0], 3);
    }
}

TEST(DecoderOverrun, EveryTruncationOfEveryTable) {
    Bytes nit = BuildNit(1, 0, Descriptor(0x40, {'a'}), {{1, 1, Descriptor(0x41, {1})}});
    Bytes mgt = BuildMgt(0, {{0x0100, 0x1D00, 0, 10, Descriptor(0x81, {1})}}, Descriptor(0x80, {1}));
    Bytes pat = BuildPat(1, 0, {{1, 0x100}, {2, 0x200}});
    Bytes pmt = RichPmt();
    SectionParser parser;
    for (size_t keep = 0; keep <= pmt.size(); ++keep) {
        PmtHolder r(Head(pmt, keep));
        EXPECT_EQ(r.ok, keep >= 16) << keep;
        EXPECT_LE(r->elementary_stream_count, 2u);
    }
    for (size_t keep = 0; keep <= mgt.size(); ++keep) {
        EXPECT_EQ(MgtHolder(Head(mgt, keep)).ok, keep >= 15) << keep;
    }
    for (size_t keep = 0; keep <= nit.size(); ++keep) {
        EXPECT_EQ(NitHolder(Head(nit, keep)).ok, keep >= 14) << keep;
    }
    for (size_t keep = 0; keep <= pat.size(); ++keep) {
        PatHolder r(Head(pat, keep));
        EXPECT_EQ(r.ok, keep == pat.size()) << keep;
        EXPECT_TRUE(keep == pat.size() || AllZero(r.record)) << keep;
    }
    // No bytes or no record at all; freeing nothing is harmless.
    EXPECT_FALSE(parser.ParsePmt(nullptr, 16, nullptr));
    EXPECT_FALSE(parser.ParsePmt(pmt.data(), 16, nullptr));
    EXPECT_FALSE(parser.ParseNit(nullptr, 16, nullptr));
    EXPECT_FALSE(parser.ParseMgt(nullptr, 17, nullptr));
    PmtRecord* none = nullptr;
    parser.FreePmtRecord(&none);
    parser.FreePmtRecord(nullptr);
}

TEST(DecoderOverrun, DescriptorLoopCutAtTheLastWholeDescriptor) {
    SectionParser parser;
    Bytes loop = Concat({Descriptor(0x01, {1, 2}), Descriptor(0x02, {3, 4, 5})});
    for (size_t keep = 0; keep <= loop.size(); ++keep) {
        ExactBuffer buf(Head(loop, keep));
        DescriptorRecord* list = nullptr;
        LONG count = 0;
        ASSERT_TRUE(parser.ParseDescriptors(buf.data(), buf.size(), &list, &count));
        LONG whole = keep >= 9 ? 2 : keep >= 4 ? 1 : 0;
        EXPECT_EQ(count, whole) << keep;
        parser.FreeDescriptors(count, &list);
    }
}

TEST(DecoderMemory, PatProgramArrayFailure) {
    MemFailGuard guard;
    Bytes pat = BuildPat(0x77, 2, {{1, 0x100}});
    ExactBuffer buf(pat);
    SectionParser parser;
    MemFailAt(1);
    EXPECT_EQ(parser.CreatePatRecord(), nullptr);
    PatRecord* r = parser.CreatePatRecord();
    MemFailAt(1);
    EXPECT_FALSE(parser.ParsePat(buf.data(), buf.size(), r));
    EXPECT_EQ(r->transport_stream_id, 0x77u); // the head was filled
    EXPECT_EQ(r->programs, nullptr);
    EXPECT_EQ(r->program_count, 0u); // never a count without its array
    parser.FreePatRecord(&r);
}

TEST(DecoderMemory, DescriptorArrayAndPayloadFailures) {
    MemFailGuard guard;
    Bytes loop = Concat({Descriptor(0x01, {1}), Descriptor(0x02, {}), Descriptor(0x03, {2, 3})});
    ExactBuffer buf(loop);
    SectionParser parser;
    // Allocations: the array, then the payloads of descriptors 1 and 3.
    for (unsigned long n = 1; n <= 3; ++n) {
        DescriptorRecord* list = nullptr;
        LONG count = 0;
        MemFailAt(n);
        EXPECT_FALSE(parser.ParseDescriptors(buf.data(), buf.size(), &list, &count)) << n;
        EXPECT_EQ(list, nullptr);
        EXPECT_EQ(count, 0);
    }
    MemFailAt(0);
    DescriptorRecord* list = nullptr;
    LONG count = 0;
    MemFailAt(4);
    EXPECT_TRUE(parser.ParseDescriptors(buf.data(), buf.size(), &list, &count));
    EXPECT_EQ(count, 3);
    parser.FreeDescriptors(count, &list);
}

// Each allocation of a parse made to fail in turn: the parse still succeeds, exactly the loop whose
// copy failed is left empty, and the record is released without a leak.
template <class Record, class Create, class Parse, class Free, class Lists>
void FailEachAllocation(const Bytes& section, unsigned long expected, Create create, Parse parse,
                        Free release, Lists loops) {
    MemFailGuard guard;
    ExactBuffer buf(section);
    SectionParser parser;
    MemFailAt(1);
    EXPECT_EQ((parser.*create)(), nullptr);
    MemFailAt(0);
    auto emptyLoops = [&](Record* r) {
        std::vector<const void*> lists = loops(r);
        return std::count(lists.begin(), lists.end(), nullptr);
    };
    Record* clean = (parser.*create)();
    unsigned long before = MemAllocationCount();
    ASSERT_TRUE((parser.*parse)(buf.data(), buf.size(), clean));
    ASSERT_EQ(MemAllocationCount() - before, expected);
    EXPECT_EQ(emptyLoops(clean), 0);
    (parser.*release)(&clean);
    for (unsigned long n = 1; n <= expected; ++n) {
        Record* r = (parser.*create)();
        ASSERT_NE(r, nullptr);
        MemFailAt(n);
        EXPECT_TRUE((parser.*parse)(buf.data(), buf.size(), r)) << n;
        MemFailAt(0);
        EXPECT_EQ(emptyLoops(r), 1) << n;
        (parser.*release)(&r);
    }
}

TEST(DecoderMemory, PmtNitMgtGoOnAfterAFailedLoop) {
    FailEachAllocation<PmtRecord>(RichPmt(), 9, &SectionParser::CreatePmtRecord, &SectionParser::ParsePmt,
                                  &SectionParser::FreePmtRecord, [](PmtRecord* r) {
                                      return std::vector<const void*>{r->program_info.descriptors,
                                                                      r->streams[0].descriptors.descriptors,
                                                                      r->streams[1].descriptors.descriptors};
                                  });
    FailEachAllocation<NitRecord>(BuildNit(1, 0, Descriptor(0x40, {'a'}),
                                           {{1, 1, Descriptor(0x41, {1})}, {2, 1, Descriptor(0x41, {})}}),
                                  5, &SectionParser::CreateNitRecord, &SectionParser::ParseNit,
                                  &SectionParser::FreeNitRecord, [](NitRecord* r) {
                                      return std::vector<const void*>{
                                          r->network_descriptors.descriptors,
                                          r->transport_streams[0].descriptors.descriptors,
                                          r->transport_streams[1].descriptors.descriptors};
                                  });
    FailEachAllocation<MgtRecord>(
        BuildMgt(
            0, {{0x0100, 0x1D00, 0, 1, Descriptor(0x81, {1})}, {0x0200, 0x1E00, 0, 1, Descriptor(0x82, {})}},
            Descriptor(0x80, {2})),
        5, &SectionParser::CreateMgtRecord, &SectionParser::ParseMgt, &SectionParser::FreeMgtRecord,
        [](MgtRecord* r) {
            return std::vector<const void*>{r->descriptors.descriptors, r->tables[0].descriptors.descriptors,
                                            r->tables[1].descriptors.descriptors};
        });
}

} // namespace
