// Throughput of the two hottest store paths: a repeated section (the common case, tables are re-sent
// several times a second) and a new one, for the PAT store and the DVB EIT store.
#include "support/core/section_builder.h"
#include "tables/EitStore.h"
#include "tables/PatStore.h"

#include <benchmark/benchmark.h>

#include <vector>

using qxtest::Bytes;

namespace {

Bytes Pat(uint8_t version, uint8_t section, uint8_t last) {
    std::vector<std::pair<uint16_t, uint16_t>> programs;
    for (uint16_t p = 1; p <= 16; ++p) {
        programs.emplace_back(p, 0x100 + p);
    }
    return qxtest::BuildPat(1, version, programs, section, last);
}

Bytes Eit(uint8_t tableId, uint16_t service, uint8_t version, uint8_t section, uint8_t last) {
    qxtest::SectionBuilder b;
    b.Table(tableId).Extension(service).Version(version).Number(section, last);
    // original_network_id, transport_stream_id, the segment fields and a few events' worth of bytes.
    Bytes body(206, 0x55);
    body[0] = 0, body[1] = 1, body[2] = 0, body[3] = 2, body[4] = last, body[5] = 0x5F;
    return b.Body(body).Build();
}

void SetBytes(benchmark::State& state, size_t bytesPerItem) {
    state.SetItemsProcessed(state.iterations());
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytesPerItem));
}

void PatRepeated(benchmark::State& state) {
    PatStore store;
    Bytes section = Pat(0, 0, 0);
    store.AddSection(static_cast<DWORD>(section.size()), section.data());
    for (auto _ : state) {
        benchmark::DoNotOptimize(store.AddSection(static_cast<DWORD>(section.size()), section.data()));
    }
    SetBytes(state, section.size());
}
BENCHMARK(PatRepeated);

// Alternating versions of one slot: every arrival empties the store and stores the section anew.
void PatNew(benchmark::State& state) {
    PatStore store;
    Bytes sections[2] = {Pat(0, 0, 0), Pat(1, 0, 0)};
    size_t i = 0;
    for (auto _ : state) {
        const Bytes& s = sections[i++ & 1];
        benchmark::DoNotOptimize(store.AddSection(static_cast<DWORD>(s.size()), s.data()));
    }
    SetBytes(state, sections[0].size());
}
BENCHMARK(PatNew);

// A schedule of state.range(0) services x 8 sections held; every section arrives again.
void EitRepeated(benchmark::State& state) {
    const auto services = static_cast<uint16_t>(state.range(0));
    EitStore store;
    std::vector<Bytes> sections;
    for (uint16_t service = 1; service <= services; ++service) {
        for (uint8_t n = 0; n < 8; ++n) {
            sections.push_back(Eit(0x50, service, 0, n, 7));
            store.AddSection(static_cast<DWORD>(sections.back().size()), sections.back().data());
        }
    }
    size_t i = 0;
    for (auto _ : state) {
        const Bytes& s = sections[i++ % sections.size()];
        benchmark::DoNotOptimize(store.AddSection(static_cast<DWORD>(s.size()), s.data()));
    }
    SetBytes(state, sections[0].size());
}
BENCHMARK(EitRepeated)->Arg(10)->Arg(500)->Arg(2000);

// Filling an empty store with a schedule of state.range(0) services x 8 sections, then emptying it.
void EitNew(benchmark::State& state) {
    const auto services = static_cast<uint16_t>(state.range(0));
    std::vector<Bytes> sections;
    for (uint8_t n = 0; n < 8; ++n) {
        for (uint16_t service = 1; service <= services; ++service) {
            sections.push_back(Eit(0x50, service, 0, n, 7));
        }
    }
    EitStore store;
    for (auto _ : state) {
        for (const Bytes& s : sections) {
            benchmark::DoNotOptimize(store.AddSection(static_cast<DWORD>(s.size()), s.data()));
        }
        store.Reset();
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * sections.size()));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * sections.size() * sections[0].size()));
}
BENCHMARK(EitNew)->Arg(10)->Arg(500)->Arg(2000);

} // namespace

BENCHMARK_MAIN();
