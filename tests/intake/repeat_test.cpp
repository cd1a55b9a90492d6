// A broadcast repeats every table every few seconds. Once a multiplex is held, its repeats must cost
// the filter no allocation at all: not per section, not per table, whatever the table.
#include "pin_fixture.h"

#include "baseclasses/allocation.h"

#include <functional>

namespace qxtest {
namespace {

using RepeatTest = PinFixture;

Bytes Eit(uint8_t tableId, uint16_t service, uint8_t section, uint8_t last, size_t eventBytes) {
    SectionBuilder b;
    b.Table(tableId).Extension(service).Number(section, last);
    b.Append16(0x0421).Append16(0x0001).Append({last, tableId});
    b.body.resize(b.body.size() + eventBytes, 0x20);
    return b.Build();
}

TEST_F(RepeatTest, RepeatsOfAHeldMultiplexAllocateNothing) {
    ConnectAndRun();
    const std::vector<std::pair<Bytes, DWORD>> mux = {
        {BuildPat(0x0421, 0, {{0, 0x0010}, {1, 0x0100}, {2, 0x0110}}), 0x0000},
        {BuildPmt(1, 0, 0x0101, {{0x02, 0x0101}}), 0x0100},
        {BuildPmt(2, 0, 0x0111, {{0x02, 0x0111}}), 0x0110},
        {BuildNit(0x3001, 0, {}, {{0x0421, 0x0001, {}}}), 0x0010},
        {SectionBuilder().Table(0x42).Extension(0x0421).Body({0x00, 0x01, 0xFF}).Build(), 0x0011},
        {Eit(0x4E, 1, 0, 1, 0), 0x0012},
        {Eit(0x4E, 1, 1, 1, 0), 0x0012},
        {Eit(0x50, 2, 0, 0, 3000), 0x0012},
        {BuildMgt(0, {{0x0100, 0x1D00, 0, 0, {}}, {0x0200, 0x1E00, 0, 0, {}}}), 0x1FFB},
        {BuildTvct(0x0421, 0), 0x1FFB},
        {BuildAtscEit(7, 0), 0x1D00},
        {BuildEtt(0x00070006, 0), 0x1E00},
    };
    for (const auto& [section, pid] : mux) {
        ASSERT_EQ(Send(section, pid), S_OK);
    }
    const unsigned long before = MemAllocationCount();
    for (int round = 0; round < 50; ++round) {
        for (const auto& [section, pid] : mux) {
            ASSERT_EQ(Send(section, pid), S_OK);
        }
    }
    EXPECT_EQ(MemAllocationCount(), before);
    // Every table is held, so the repeats above went the whole way to their stores.
    ULONG status = 0;
    ASSERT_EQ(itf()->GetPmtStatus(&status), S_OK);
    EXPECT_EQ(status, 2u);
    for (auto get : std::vector<std::function<HRESULT(StoredSection**)>>{
             [&](StoredSection** s) { return itf()->GetNitSection(0, 0, s); },
             [&](StoredSection** s) { return itf()->GetSdtSection(0, 0, s); },
             [&](StoredSection** s) { return itf()->GetEitSection(0x4E, 1, 1, s); },
             [&](StoredSection** s) { return itf()->GetEitSection(0x50, 0, 2, s); },
             [&](StoredSection** s) { return itf()->GetVctSection(0, s); },
             [&](StoredSection** s) { return itf()->GetAtscEitSection(0x0100, 0, 7, s); },
             [&](StoredSection** s) { return itf()->GetEttSection(0x00070006, s); }}) {
        Copy copy;
        EXPECT_EQ(get(copy.out()), S_OK);
        EXPECT_NE(copy.p, nullptr);
    }
}

} // namespace
} // namespace qxtest
