// ITableCollector on a filter whose construction ran out of memory, driven through its connected
// input pin: the control methods still steer the PID mapping.
#include "query_support.h"

#include "intake/TableCollectorInputPin.h"
#include "support/upstream_pin.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace qxtest;

namespace {

TEST(QueryPin, ResetPatResetsTheMappingEvenWithoutAPatStore) {
    std::unique_ptr<Collector> c;
    MakeStoppedCollector(
        c, [](TableCollectorFilter& f) { return f.m_pInputPin != nullptr && f.m_pPatStore == nullptr; });
    ASSERT_NE(c, nullptr);
    FakeUpstream up;
    ASSERT_EQ(up.Connect(c->filter->m_pInputPin), S_OK);
    ASSERT_EQ(c->filter->Pause(), S_OK); // so that the pin takes samples
    const ULONG pids[] = {0x0200};
    EXPECT_EQ((*c)->SetRequestedPids(1, pids), S_OK);
    std::vector<ULONG> mapped = up.MappedPids();
    EXPECT_NE(std::find(mapped.begin(), mapped.end(), 0x0200), mapped.end());
    EXPECT_EQ((*c)->ResetPat(), E_POINTER);
    mapped = up.MappedPids();
    std::sort(mapped.begin(), mapped.end());
    EXPECT_EQ(mapped, std::vector<ULONG>({0x0000, 0x0001, 0x0010, 0x0011, 0x0012, 0x0013, 0x0014, 0x1FFB}));
    c->filter->Stop();
    up.Disconnect();
}

} // namespace
