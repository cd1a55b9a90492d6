// One PMT section's whole way: the PAT teaches the pin its PMT PID, the demultiplexer is asked for it,
// the PMT arrives on it and an application reads a copy back through ITableCollector.
#include "pin_fixture.h"

namespace qxtest {
namespace {

using RoadTest = PinFixture;

TEST_F(RoadTest, PmtSectionFromPatToApplication) {
    ConnectAndRun();
    ASSERT_EQ(Send(BuildPat(0x0421, 0, {{1, 0x0100}}), 0x0000), S_OK);
    EXPECT_EQ(upstream.MappedPids().back(), 0x0100u);

    const Bytes pmt = BuildPmt(1, 0, 0x0101, {{0x02, 0x0101}, {0x04, 0x0102}});
    ASSERT_EQ(Send(pmt, 0x0100), S_OK);

    ULONG status = 0;
    ASSERT_EQ(itf()->GetPmtStatus(&status), S_OK);
    EXPECT_EQ(status, 2u);

    StoredSection* copy = nullptr;
    ASSERT_EQ(itf()->GetPmtSection(0x0100, 1, &copy), S_OK);
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(copy->pid, 0x0100u);
    EXPECT_EQ(copy->section_number, 0u);
    EXPECT_EQ(Bytes(copy->bytes, copy->bytes + copy->length), pmt);

    // The copy is the application's: it outlives a reset of the tables.
    itf()->ResetAllTables();
    EXPECT_EQ(Bytes(copy->bytes, copy->bytes + copy->length), pmt);
    ASSERT_EQ(itf()->FreePmtSection(&copy), S_OK);
    EXPECT_EQ(copy, nullptr);
    EXPECT_EQ(itf()->FreePmtSection(&copy), E_INVALIDARG);
}

} // namespace
} // namespace qxtest
