// PID mapping on the demultiplexer pin: the PAT's PMT PIDs, requested PIDs and the MGT's table PIDs.
#include "pin_fixture.h"

namespace qxtest {
namespace {

using TrackingTest = PinFixture;
using Calls = std::vector<PidMapCall>;

TEST_F(TrackingTest, PatMapsItsPmtPidsOnceAndFilesKnownPrograms) {
    ConnectAndRun();
    // Only the network PID: nothing to map.
    ASSERT_EQ(Send(BuildPat(5, 2, {{0, 0x0010}}), 0), S_OK);
    EXPECT_TRUE(upstream.Calls().empty());
    const Bytes pat = BuildPat(5, 3, {{0, 0x0010}, {1, 0x0100}, {2, 0x0200}});
    ASSERT_EQ(Send(pat, 0), S_OK);
    EXPECT_EQ(upstream.Calls(), (Calls{MapCall({0x0100, 0x0200})}));

    // A repeat changes nothing.
    upstream.ClearCalls();
    ASSERT_EQ(Send(pat, 0), S_OK);
    EXPECT_TRUE(upstream.Calls().empty());

    EXPECT_TRUE(pin()->IsKnownProgram(0x0100, 1));
    EXPECT_TRUE(pin()->IsKnownProgram(0x0200, 2));
    EXPECT_FALSE(pin()->IsKnownProgram(0x0100, 2));
    EXPECT_FALSE(pin()->IsKnownProgram(0x0010, 0));

    // A PMT whose program the PAT does not give on that PID is not filed.
    ASSERT_EQ(Send(BuildPmt(2, 0, 0x101, {}), 0x0100), S_OK);
    EXPECT_EQ(PmtStatus(), 1u);
    ASSERT_EQ(Send(BuildPmt(1, 0, 0x101, {}), 0x0100), S_OK);
    ASSERT_EQ(Send(BuildPmt(2, 0, 0x201, {}), 0x0200), S_OK);
    EXPECT_EQ(PmtCount(), 2u);
    EXPECT_EQ(PmtStatus(), 2u);
}

TEST_F(TrackingTest, NewPatVersionRebuildsTheListsWithoutUnmapping) {
    ConnectAndRun();
    ASSERT_EQ(Send(BuildPat(5, 3, {{1, 0x0100}, {2, 0x0200}}), 0), S_OK);
    upstream.ClearCalls();
    ASSERT_EQ(Send(BuildPat(5, 4, {{1, 0x0100}}), 0), S_OK);
    EXPECT_EQ(upstream.Calls(), (Calls{MapCall({0x0100})}));
    // Program 2's PID stays mapped, but its PMT is no longer filed.
    EXPECT_EQ(upstream.MappedPids().size(), kBasePids.size() + 2);
    ASSERT_EQ(Send(BuildPmt(2, 0, 0x201, {}), 0x0200), S_OK);
    EXPECT_FALSE(HasPmt(0x0200, 2));
}

TEST_F(TrackingTest, SharedPmtPidServesBothPrograms) {
    ConnectAndRun();
    ASSERT_EQ(Send(BuildPat(1, 0, {{1, 0x0100}, {2, 0x0100}}), 0), S_OK);
    EXPECT_EQ(upstream.Calls(), (Calls{MapCall({0x0100, 0x0100})}));
    ASSERT_EQ(Send(BuildPmt(1, 0, 0x101, {}), 0x0100), S_OK);
    ASSERT_EQ(Send(BuildPmt(2, 0, 0x102, {}), 0x0100), S_OK);
    EXPECT_TRUE(HasPmt(0x0100, 1));
    EXPECT_TRUE(HasPmt(0x0100, 2));
    EXPECT_EQ(PmtCount(), 2u);
}

// A stream whose first PAT has transport_stream_id 0, version 0 and section 0 must still be followed.
TEST_F(TrackingTest, FirstPatWithAllZeroIdentityIsFollowed) {
    ConnectAndRun();
    ASSERT_EQ(Send(BuildPat(0, 0, {{1, 0x0100}}), 0), S_OK);
    EXPECT_EQ(upstream.Calls(), (Calls{MapCall({0x0100})}));
    ASSERT_EQ(Send(BuildPmt(1, 0, 0x101, {}), 0x0100), S_OK);
    EXPECT_EQ(PmtStatus(), 2u);

    // And again after a reset, which forgets the PAT acted on.
    itf()->ResetAllTables();
    upstream.ClearCalls();
    ASSERT_EQ(Send(BuildPat(0, 0, {{1, 0x0100}}), 0), S_OK);
    EXPECT_EQ(upstream.Calls(), (Calls{MapCall({0x0100})}));
}

TEST_F(TrackingTest, ResetUnmapsOneAtATimeThenMapsTheBaseSet) {
    ConnectAndRun();
    ASSERT_EQ(Send(BuildPat(1, 0, {{1, 0x0100}}), 0), S_OK);
    upstream.ClearCalls();
    itf()->ResetAllTables();
    Calls expected;
    for (ULONG pid : kBasePids) {
        expected.push_back(UnmapCall({pid}));
    }
    expected.push_back(UnmapCall({0x0100}));
    expected.push_back(MapCall(kBasePids));
    EXPECT_EQ(upstream.Calls(), expected);
}

TEST_F(TrackingTest, UnconnectedPinResetChangesNothing) {
    itf()->ResetAllTables();
    itf()->ResetPat();
    EXPECT_TRUE(upstream.Calls().empty());
    EXPECT_EQ(itf()->SetRequestedPids(1, std::vector<ULONG>{0x0300}.data()), S_OK);
    EXPECT_EQ(Seen(0x0300), 0u);
    EXPECT_EQ(itf()->UnmapRequestedPids(), S_OK);
}

TEST_F(TrackingTest, WithoutPidMapThePatStillBuildsItsLists) {
    upstream.OfferPidMap(false);
    ConnectAndRun();
    ASSERT_EQ(Send(BuildPat(1, 0, {{1, 0x0100}}), 0), S_OK);
    EXPECT_TRUE(upstream.Calls().empty());
    EXPECT_TRUE(pin()->IsKnownProgram(0x0100, 1));
    // PMT sections are filed when they arrive some other way.
    ASSERT_EQ(Send(BuildPmt(1, 0, 0x101, {}), 0x0100), S_OK);
    EXPECT_EQ(PmtStatus(), 2u);
    // Requested PIDs have nowhere to go.
    EXPECT_EQ(itf()->SetRequestedPids(1, std::vector<ULONG>{0x0300}.data()), S_OK);
    ASSERT_EQ(Send(BuildCat(0, 0, 0), 0x0300), S_OK);
    EXPECT_EQ(Seen(0x0300), 0u);
}

TEST_F(TrackingTest, RequestedPidsAreMappedAndFlagged) {
    ConnectAndRun();
    ASSERT_EQ(itf()->SetRequestedPids(3, std::vector<ULONG>{0x0300, 0x0301, 0x0300}.data()), S_OK);
    EXPECT_EQ(upstream.Calls(), (Calls{MapCall({0x0300, 0x0301, 0x0300})}));
    EXPECT_EQ(Seen(0x0300), 0u);

    // Any sample marks its PID, whether or not a store takes it.
    ASSERT_EQ(Send(Bytes{0xFF, 0xFF}, 0x0300), S_OK);
    EXPECT_EQ(Seen(0x0300), 1u);
    EXPECT_EQ(Seen(0x0301), 0u);
    EXPECT_EQ(Seen(0x0999), 0u);

    // Count 0 or no list: nothing changes.
    upstream.ClearCalls();
    EXPECT_EQ(itf()->SetRequestedPids(0, std::vector<ULONG>{0x0400}.data()), S_OK);
    EXPECT_EQ(itf()->SetRequestedPids(2, nullptr), S_OK);
    EXPECT_TRUE(upstream.Calls().empty());
    EXPECT_EQ(Seen(0x0300), 1u);

    // The flags survive a reset of the tables.
    itf()->ResetAllTables();
    EXPECT_EQ(Seen(0x0300), 1u);

    // A new list replaces the old without unmapping it, and clears the flags.
    upstream.ClearCalls();
    ASSERT_EQ(itf()->SetRequestedPids(1, std::vector<ULONG>{0x0300}.data()), S_OK);
    EXPECT_EQ(upstream.Calls(), (Calls{MapCall({0x0300})}));
    EXPECT_EQ(Seen(0x0300), 0u);

    upstream.ClearCalls();
    ASSERT_EQ(itf()->UnmapRequestedPids(), S_OK);
    EXPECT_EQ(upstream.Calls(), (Calls{UnmapCall({0x0300})}));
    ASSERT_EQ(Send(Bytes{0xFF, 0xFF}, 0x0300), S_OK);
    EXPECT_EQ(Seen(0x0300), 0u);
}

TEST_F(TrackingTest, RequestedPidsOutOfMemoryLeavesNoList) {
    ConnectAndRun();
    for (unsigned long n = 1; n <= 2; ++n) {
        MemFailAt(n);
        EXPECT_EQ(itf()->SetRequestedPids(1, std::vector<ULONG>{0x0300}.data()), S_OK);
        MemFailAt(0);
        ASSERT_EQ(Send(Bytes{0xFF}, 0x0300), S_OK);
        EXPECT_EQ(Seen(0x0300), 0u);
    }
    EXPECT_TRUE(upstream.Calls().empty());
}

// MGT entries from (table_type, PID) pairs, the rest of each entry left at its defaults.
std::vector<MgtEntry> Entries(std::initializer_list<std::pair<uint16_t, uint16_t>> tables) {
    std::vector<MgtEntry> out;
    for (auto [type, pid] : tables) {
        out.emplace_back().table_type = type;
        out.back().pid = pid;
    }
    return out;
}

std::vector<MgtEntry> AtscTables() {
    return Entries({{0x0000, 0x1FFB}, {0x0100, 0x1D00}, {0x0101, 0x1D01}, {0x0200, 0x1E00}});
}

TEST_F(TrackingTest, MgtMapsItsTablePidsAndFilesByClass) {
    ConnectAndRun();
    ASSERT_EQ(Send(BuildMgt(1, AtscTables()), 0x1FFB), S_OK);
    EXPECT_EQ(upstream.Calls(), (Calls{MapCall({0x1FFB, 0x1D00, 0x1D01, 0x1E00})}));

    ASSERT_EQ(Send(BuildAtscEit(7, 0, 0, 0, 1), 0x1D00), S_OK);
    ULONG status = 0;
    itf()->GetAtscEitStatus(0x0100, &status);
    EXPECT_EQ(status, 2u);
    itf()->GetAtscEitStatus(0x0101, &status);
    EXPECT_EQ(status, 0u);

    ASSERT_EQ(Send(BuildEtt(0x00070002u, 0, Bytes{'t'}), 0x1E00), S_OK);
    ULONG count = 0;
    itf()->GetEttSectionCount(&count);
    EXPECT_EQ(count, 1u);

    // The same version again: nothing moves.
    upstream.ClearCalls();
    ASSERT_EQ(Send(BuildMgt(1, AtscTables()), 0x1FFB), S_OK);
    EXPECT_TRUE(upstream.Calls().empty());

    // A new version with the same PIDs unmaps and maps them again.
    ASSERT_EQ(Send(BuildMgt(2, AtscTables()), 0x1FFB), S_OK);
    EXPECT_EQ(upstream.Calls(), (Calls{UnmapCall({0x1FFB, 0x1D00, 0x1D01, 0x1E00}),
                                       MapCall({0x1FFB, 0x1D00, 0x1D01, 0x1E00})}));

    // No tables: the old PIDs go, and an empty mapping is asked for.
    upstream.ClearCalls();
    ASSERT_EQ(Send(BuildMgt(3, {}), 0x1FFB), S_OK);
    EXPECT_EQ(upstream.Calls(), (Calls{UnmapCall({0x1FFB, 0x1D00, 0x1D01, 0x1E00}), MapCall({})}));
    itf()->ResetAtscEit();
    ASSERT_EQ(Send(BuildAtscEit(7, 0, 0, 0, 1), 0x1D00), S_OK);
    itf()->GetAtscEitStatus(0x0100, &status);
    EXPECT_EQ(status, 0u);
}

TEST_F(TrackingTest, MgtEntriesSharingAPidAndOtherClasses) {
    ConnectAndRun();
    // EIT-0 and ETT-0 share one PID; a channel ETT and a rating table get mapped but filed nowhere.
    ASSERT_EQ(
        Send(BuildMgt(1, Entries({{0x0100, 0x1D00}, {0x0200, 0x1D00}, {0x0004, 0x1D04}, {0x0301, 0x1D05}})),
             0x1FFB),
        S_OK);
    EXPECT_EQ(upstream.Calls(), (Calls{MapCall({0x1D00, 0x1D00, 0x1D04, 0x1D05})}));

    ASSERT_EQ(Send(BuildAtscEit(7, 0, 0, 0, 1), 0x1D00), S_OK);
    ASSERT_EQ(Send(BuildEtt(0x00070002u, 0, Bytes{'t'}), 0x1D00), S_OK);
    ASSERT_EQ(Send(BuildEtt(0x00070004u, 0, Bytes{'t'}), 0x1D04), S_OK);
    ULONG status = 0, count = 0;
    itf()->GetAtscEitStatus(0x0100, &status);
    itf()->GetEttSectionCount(&count);
    EXPECT_EQ(status, 2u);
    EXPECT_EQ(count, 1u);
}

TEST_F(TrackingTest, MgtClaimingMoreTablesThanItCarriesKeepsWhatItHolds) {
    ConnectAndRun();
    SectionBuilder b = MgtBuilder(1, Entries({{0x0100, 0x1D00}, {0x0200, 0x1E00}}));
    b.body[1] = 0x01; // tables_defined 0x0102, far more than the two entries present
    b.body[2] = 0x02;
    ASSERT_EQ(Send(BuildPsip(b), 0x1FFB), S_OK);
    EXPECT_EQ(upstream.Calls(), (Calls{MapCall({0x1D00, 0x1E00})}));
    ASSERT_EQ(Send(BuildAtscEit(7, 0, 0, 0, 1), 0x1D00), S_OK);
    ULONG status = 0;
    itf()->GetAtscEitStatus(0x0100, &status);
    EXPECT_EQ(status, 2u);
}

TEST_F(TrackingTest, MgtWithoutPidMapKeepsItsLists) {
    upstream.OfferPidMap(false);
    ConnectAndRun();
    ASSERT_EQ(Send(BuildMgt(1, AtscTables()), 0x1FFB), S_OK);
    ASSERT_EQ(Send(BuildAtscEit(7, 0, 0, 0, 1), 0x1D00), S_OK);
    ULONG status = 9;
    itf()->GetAtscEitStatus(0x0100, &status);
    EXPECT_EQ(status, 0u);
}

} // namespace
} // namespace qxtest
