// Every store against samples cut short, each in a heap block of exactly its size: no store may read
// past the end of what it was given. Random bytes are the fuzz targets' part.
#include "tables/BatStore.h"
#include "tables/CatStore.h"
#include "tables/EitStore.h"
#include "tables/NitStore.h"
#include "tables/PatStore.h"
#include "tables/PmtStore.h"
#include "tables/RstStore.h"
#include "tables/SdtStore.h"
#include "tables/TdtStore.h"
#include "tables/TotStore.h"

#include "store_test_support.h"

#include <gtest/gtest.h>

#include <functional>

using namespace qxtest;

namespace {

struct Stores {
    PatStore pat;
    PmtStore pmt;
    NitStore nit;
    SdtStore sdt;
    BatStore bat;
    CatStore cat;
    EitStore eit;
    TdtStore tdt;
    TotStore tot;
    RstStore rst;

    // Offers one sample to every store; answers the results in the order above.
    std::vector<HRESULT> AddToAll(const Sample& s) {
        return {pat.AddSection(s.length(), s.data()), pmt.AddSection(0x100, 2, s.length(), s.data()),
                nit.AddSection(s.length(), s.data()), sdt.AddSection(s.length(), s.data()),
                bat.AddSection(s.length(), s.data()), cat.AddSection(s.length(), s.data()),
                eit.AddSection(s.length(), s.data()), tdt.AddSection(s.length(), s.data()),
                tot.AddSection(s.length(), s.data()), rst.AddSection(s.length(), s.data())};
    }
};

// The bytes each store's checks must read at least, before its table-specific loop fields.
const size_t kHeaderNeeds[] = {8, 12, 12, 8, 12, 8, 8, 3, 10, 3};

} // namespace

TEST(ShortSamples, EveryPrefixOfEveryTableIsRefusedOrTakenWithoutOverrun) {
    const std::vector<Bytes> sections = {
        BuildPat(1, 0, {{1, 0x100}}),
        BuildPmt(1, 0, 0x101, {{0x02, 0x101}}, {0x09, 0x00}),
        BuildNitLike(0x40, 1, 0, 0, 0, {0x40, 0x01, 'n'}, {0, 1, 0, 2, 0xF0, 0}),
        BuildSdt(0x42, 1, 0, 0, 0, {0, 1, 0xFC, 0x80, 0}),
        BuildNitLike(0x4A, 1, 0, 0, 0, {}, {0, 1, 0, 2, 0xF0, 0}),
        BuildCat(0, 0, 0),
        BuildEit(0x4E, 1, 0, 0, 0, 0),
        BuildTdt(),
        BuildTot({0x58, 0x00}),
        BuildRst(1),
    };
    for (const Bytes& section : sections) {
        for (size_t cut = 1; cut <= section.size(); ++cut) {
            Stores stores;
            Sample sample(section.data(), cut);
            std::vector<HRESULT> results = stores.AddToAll(sample);
            for (size_t i = 0; i < results.size(); ++i) {
                if (cut < kHeaderNeeds[i]) {
                    EXPECT_EQ(E_INVALIDARG, results[i]) << "store " << i << " cut " << cut;
                }
            }
        }
    }
    EXPECT_EQ(E_INVALIDARG, PatStore().AddSection(0, sections[0].data()));
}
