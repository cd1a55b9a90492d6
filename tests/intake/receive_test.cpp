// The pin's streaming calls: the receive check, the sample contract and the dispatch by PID and table_id.
#include "pin_fixture.h"

#include <vfwmsgs.h>

#include "platform/posix/testhooks.h"

namespace qxtest {
namespace {

using ReceiveTest = PinFixture;

TEST_F(ReceiveTest, AcceptsOnlyTheSectionMajorTypes) {
    const GUID kAltSections = {0x78C4E641, 0x0ED1, 0x11D3, {0xBC, 0x6B, 0x00, 0xA0, 0xC9, 0x0D, 0x63, 0xB5}};
    CMediaType mt;
    mt.SetType(&MEDIATYPE_MPEG2_SECTIONS);
    mt.SetSubtype(&MEDIATYPE_Video); // the subtype is not looked at
    EXPECT_EQ(pin()->CheckMediaType(&mt), S_OK);
    mt.SetType(&kAltSections);
    EXPECT_EQ(pin()->CheckMediaType(&mt), S_OK);
    mt.SetType(&MEDIATYPE_Video);
    mt.SetSubtype(&MEDIASUBTYPE_MPEG2DATA);
    EXPECT_EQ(pin()->CheckMediaType(&mt), VFW_E_INVALIDMEDIATYPE);

    FakeUpstream video(MEDIATYPE_Video, MEDIASUBTYPE_MPEG2DATA);
    EXPECT_TRUE(FAILED(video.Connect(pin())));
    EXPECT_FALSE(pin()->IsConnected());
}

TEST_F(ReceiveTest, ConnectionUnmapsWhatIsMappedAndMapsTheBaseSet) {
    upstream.Pin()->m_mapped.push_back({0x0777, MEDIA_MPEG2_PSI});
    ASSERT_EQ(upstream.Connect(pin()), S_OK);
    EXPECT_EQ(upstream.Calls(), (std::vector<PidMapCall>{UnmapCall({0x0777}), MapCall(kBasePids)}));
    EXPECT_EQ(upstream.MappedPids(), kBasePids);
}

TEST_F(ReceiveTest, RefusalsOfTheReceiveCheckFileNothing) {
    ASSERT_EQ(upstream.Connect(pin()), S_OK);
    Bytes pat = BuildPat(1, 0, {{1, 0x100}});

    // Stopped.
    EXPECT_EQ(Send(pat, 0), VFW_E_WRONG_STATE);
    EXPECT_EQ(pin()->Receive(nullptr), E_POINTER);
    ASSERT_EQ(RunFilter(filter()), S_OK);
    running = true;

    // Flushing: S_FALSE, and a requested PID is not marked.
    ASSERT_EQ(itf()->SetRequestedPids(1, std::vector<ULONG>{0x0000}.data()), S_OK);
    ASSERT_EQ(upstream.DeliverBeginFlush(), S_OK);
    EXPECT_EQ(Send(pat, 0), S_FALSE);
    EXPECT_EQ(Seen(0), 0u);
    EXPECT_EQ(upstream.DeliverEndFlush(), S_OK);
    EXPECT_EQ(PatStatus(), 1u);

    EXPECT_EQ(Send(pat, 0), S_OK);
    EXPECT_EQ(PatStatus(), 2u);
    EXPECT_EQ(Seen(0), 1u);
}

TEST_F(ReceiveTest, BadSamplesWriteTheirTextToTheDebugger) {
    ConnectAndRun();
    DebugOutputClear();
    SampleOptions failing;
    failing.failGetPointer = true;
    EXPECT_EQ(upstream.Deliver(BuildPat(1, 0, {}), 0, failing), E_FAIL);
    EXPECT_EQ(DebugOutputCapture(), "ERROR : pSample->GetPointer() failed");

    SampleOptions nullData;
    nullData.nullPointer = true;
    EXPECT_EQ(upstream.Deliver(BuildPat(1, 0, {}), 0, nullData), E_FAIL);
    EXPECT_EQ(DebugOutputCapture(), "ERROR : Invalid sample");
    EXPECT_EQ(PatStatus(), 1u);
}

TEST_F(ReceiveTest, PidIsTheLowThirteenBitsAndNeedsSample2) {
    ConnectAndRun();
    ASSERT_EQ(itf()->SetRequestedPids(2, std::vector<ULONG>{0x0000, 0x0010}.data()), S_OK);

    // Bits above bit 12 are not part of the PID.
    EXPECT_EQ(Send(BuildNitLike(0x40, 7, 0, 0, 0), 0xFFFFE010), S_OK);
    ULONG status = 0;
    itf()->GetNitStatus(0, &status);
    EXPECT_EQ(status, 2u);
    EXPECT_EQ(Seen(0x0010), 1u);

    // A sample without IMediaSample2 counts as PID 0: a PAT is filed, a NIT is refused by the PAT
    // store, and no requested PID is marked.
    EXPECT_EQ(upstream.Deliver(BuildSdt(1, 0, 0, 0), 0x0011, false), S_OK);
    itf()->GetSdtStatus(0, &status);
    EXPECT_EQ(status, 1u);
    EXPECT_EQ(Seen(0x0000), 0u);
    EXPECT_EQ(upstream.Deliver(BuildPat(1, 0, {}), 0x0011, false), S_OK);
    EXPECT_EQ(PatStatus(), 2u);
    EXPECT_EQ(Seen(0x0000), 0u);
}

// Which store a section reaches, by the status of each group after one delivery.
struct Statuses {
    ULONG nit, bat, sdt, eit, tdt, tot, rst, cat, mgt, vct, stt;
    bool operator==(const Statuses&) const = default;
};

Statuses Read(ITableCollector* t) {
    Statuses s{};
    t->GetNitStatus(0, &s.nit);
    t->GetBatStatus(&s.bat);
    t->GetSdtStatus(0, &s.sdt);
    t->GetEitStatus(0x4E, &s.eit);
    t->GetTdtStatus(&s.tdt);
    t->GetTotStatus(&s.tot);
    t->GetRstStatus(&s.rst);
    t->GetCatStatus(&s.cat);
    t->GetMgtStatus(&s.mgt);
    t->GetVctStatus(&s.vct);
    t->GetSttStatus(&s.stt);
    return s;
}

// The section with another table_id; a long one keeps a valid CRC_32.
Bytes WithTableId(Bytes section, uint8_t tableId) {
    section[0] = tableId;
    if (section[1] & 0x80) {
        FixCrc(section);
    }
    return section;
}

TEST_F(ReceiveTest, RoutesByPidAndTableId) {
    ConnectAndRun();
    const Statuses none = Read(itf());
    ASSERT_EQ(none, (Statuses{1, 1, 1, 0, 1, 1, 1, 1, 1, 1, 1}));

    struct Case {
        const char* what;
        Bytes section;
        DWORD pid;
        ULONG Statuses::*reached; // null: reaches nothing
    };
    const std::vector<Case> cases = {
        {"NIT on 0x0010", BuildNitLike(0x40, 1, 0, 0, 0), 0x0010, &Statuses::nit},
        {"BAT on 0x0011", BuildNitLike(0x4A, 1, 0, 0, 0), 0x0011, &Statuses::bat},
        {"SDT on 0x0011", BuildSdt(1, 0, 0, 0), 0x0011, &Statuses::sdt},
        {"SDT on the NIT PID", BuildSdt(1, 0, 0, 0), 0x0010, nullptr},
        {"EIT on 0x0012", BuildEit(0x4E, 1, 0, 0, 0, 0), 0x0012, &Statuses::eit},
        {"TDT on 0x0014", BuildTdt(), 0x0014, &Statuses::tdt},
        {"TOT on 0x0014", BuildTot(), 0x0014, &Statuses::tot},
        {"RST on 0x0013", BuildRst(), 0x0013, &Statuses::rst},
        {"CAT on 0x0001", BuildCat(0, 0, 0), 0x0001, &Statuses::cat},
        {"CAT on an unmapped PID", BuildCat(0, 0, 0), 0x0100, nullptr},
        {"MGT on 0x1FFB", BuildMgt(1, std::vector<MgtEntry>{}), 0x1FFB, &Statuses::mgt},
        {"TVCT on 0x1FFB", BuildTvct(1, 0), 0x1FFB, &Statuses::vct},
        {"STT on 0x1FFB", BuildStt(0x12345678u, 18), 0x1FFB, &Statuses::stt},
        {"STT on the TDT PID", BuildStt(0x12345678u, 18), 0x0014, nullptr},
        // Shared PIDs split by table_id: a cable VCT is filed nowhere, an SDT other goes to the SDT store,
        // which does not keep it, and any table_id but 0x70 on 0x0014 to the TOT store.
        {"cable VCT on 0x1FFB", WithTableId(BuildTvct(1, 0), 0xC9), 0x1FFB, nullptr},
        {"SDT other on 0x0011", WithTableId(BuildSdt(1, 0, 0, 0), 0x46), 0x0011, nullptr},
        {"TDT as 0x73 on 0x0014", WithTableId(BuildTdt(), 0x73), 0x0014, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        itf()->ResetAllTables();
        ASSERT_EQ(Read(itf()), none);
        EXPECT_EQ(Send(c.section, c.pid), S_OK);
        Statuses expected = none;
        if (c.reached != nullptr) {
            expected.*c.reached = 2;
        }
        EXPECT_EQ(Read(itf()), expected);
    }
}

TEST_F(ReceiveTest, BeginFlushEmptiesEveryStoreAndResetsTheMapping) {
    ConnectAndRun();
    ASSERT_EQ(Send(BuildPat(1, 0, {{1, 0x100}}), 0), S_OK);
    ASSERT_EQ(Send(BuildPmt(1, 0, 0x101, {{0x02, 0x101}}), 0x100), S_OK);
    ASSERT_EQ(Send(BuildCat(0, 0, 0), 0x0001), S_OK);
    ASSERT_EQ(PmtStatus(), 2u);
    upstream.ClearCalls();

    ASSERT_EQ(upstream.DeliverBeginFlush(), S_OK);
    EXPECT_EQ(PatStatus(), 1u);
    EXPECT_EQ(PmtCount(), 0u);
    ULONG cat = 0;
    itf()->GetCatStatus(&cat);
    EXPECT_EQ(cat, 1u);
    std::vector<PidMapCall> calls = upstream.Calls();
    ASSERT_FALSE(calls.empty());
    EXPECT_EQ(calls.back(), MapCall(kBasePids));
    EXPECT_EQ(upstream.MappedPids(), kBasePids);
    ASSERT_EQ(upstream.DeliverEndFlush(), S_OK);

    // The same PAT, taken anew, maps its PMT PID again.
    upstream.ClearCalls();
    ASSERT_EQ(Send(BuildPat(1, 0, {{1, 0x100}}), 0), S_OK);
    EXPECT_EQ(upstream.Calls(), (std::vector<PidMapCall>{MapCall({0x100})}));
}

} // namespace
} // namespace qxtest
