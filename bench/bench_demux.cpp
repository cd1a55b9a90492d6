// Demultiplexer throughput: the section reassembly alone, the reader in front of it, and the whole
// filter graph path with samples from the negotiated allocator. Each reports MB/s of transport stream.
#include <benchmark/benchmark.h>

#include <uuids.h>
#include <vfwmsgs.h>

#include "baseclasses/streams.h"
#include "host/FilterGraph.h"
#include "host/SectionDemuxFilter.h"
#include "host/TsReader.h"
#include "support/core/section_builder.h"
#include "support/core/ts_packetizer.h"

using namespace qxtest;

namespace {

// About 4 MB: EIT-like sections of varied sizes on a mapped PID, interleaved with as many packets
// of an unmapped video PID, as in a broadcast where tables are a small share of the bytes.
const Bytes& Stream() {
    static const Bytes stream = [] {
        NoiseSource rng(42);
        TsPacketizer eit(0x12);
        Bytes out;
        while (out.size() < 4u << 20) {
            std::vector<Bytes> sections;
            for (int i = 0; i < 8; ++i) {
                SectionBuilder b;
                b.Table(0x50).Extension(static_cast<uint16_t>(i)).Number(static_cast<uint8_t>(i), 7);
                b.body = rng.RandomBytes(20 + rng.Next() % 900);
                sections.push_back(b.Build());
            }
            Bytes packets = eit.Packetize(sections);
            for (size_t at = 0; at < packets.size(); at += kTsPacket) {
                out.insert(out.end(), packets.begin() + at, packets.begin() + at + kTsPacket);
                Bytes video = rng.RandomPacket(0x100, static_cast<uint8_t>(at / kTsPacket));
                out.insert(out.end(), video.begin(), video.end());
            }
        }
        return out;
    }();
    return stream;
}

void Report(benchmark::State& state, size_t bytesPerIteration) {
    double bytes = static_cast<double>(bytesPerIteration) * static_cast<double>(state.iterations());
    state.SetBytesProcessed(static_cast<int64_t>(bytes));
    state.counters["MB/s"] = benchmark::Counter(bytes / 1e6, benchmark::Counter::kIsRate);
}

void BM_SectionReassembly(benchmark::State& state) {
    const Bytes& ts = Stream();
    size_t sections = 0;
    for (auto _ : state) {
        qxhost::SectionDemux demux([&](unsigned, const uint8_t*, size_t) { ++sections; });
        demux.Map(0x12);
        for (size_t at = 0; at < ts.size(); at += kTsPacket) {
            demux.Push(ts.data() + at);
        }
    }
    benchmark::DoNotOptimize(sections);
    state.counters["sections"] = static_cast<double>(sections) / static_cast<double>(state.iterations());
    Report(state, ts.size());
}
BENCHMARK(BM_SectionReassembly)->Unit(benchmark::kMillisecond);

void BM_ReaderAndReassembly(benchmark::State& state) {
    const Bytes base = Stream();
    const Bytes ts = WrapPackets(base, static_cast<unsigned>(state.range(0)));
    size_t sections = 0;
    for (auto _ : state) {
        qxhost::MemorySource source(ts.data(), ts.size());
        qxhost::TsReader reader(&source);
        qxhost::SectionDemux demux([&](unsigned, const uint8_t*, size_t) { ++sections; });
        demux.Map(0x12);
        const uint8_t* p;
        while (reader.Next(&p) == qxhost::TsReader::Result::Packet) {
            demux.Push(p);
        }
    }
    benchmark::DoNotOptimize(sections);
    Report(state, ts.size());
}
BENCHMARK(BM_ReaderAndReassembly)->Arg(188)->Arg(192)->Arg(204)->Unit(benchmark::kMillisecond);

// {8E4C9A51-6D2B-4F0A-B3C7-1E5D9A2F4C68}
DEFINE_GUID(CLSID_BenchNullSink, 0x8e4c9a51, 0x6d2b, 0x4f0a, 0xb3, 0xc7, 0x1e, 0x5d, 0x9a, 0x2f, 0x4c, 0x68);

// A sink that takes every section sample and looks at nothing but its length.
class NullPin : public CRenderedInputPin {
public:
    NullPin(CBaseFilter* f, CCritSec* lock, HRESULT* phr)
        : CRenderedInputPin(TEXT("null"), f, lock, phr, L"In") {}
    HRESULT CheckMediaType(const CMediaType* pmt) override {
        return *pmt->Type() == MEDIATYPE_MPEG2_SECTIONS ? S_OK : VFW_E_INVALIDMEDIATYPE;
    }
    STDMETHODIMP Receive(IMediaSample* pSample) override {
        HRESULT hr = CBaseInputPin::Receive(pSample);
        if (hr == S_OK) {
            bytes += static_cast<size_t>(pSample->GetActualDataLength());
        }
        return hr;
    }
    size_t bytes = 0;
};

class NullSink : public CBaseFilter {
public:
    explicit NullSink(HRESULT* phr)
        : CBaseFilter(TEXT("null sink"), nullptr, &m_lock, CLSID_BenchNullSink, phr) {
        pin = new NullPin(this, &m_lock, phr);
    }
    ~NullSink() override { delete pin; }
    int GetPinCount() override { return 1; }
    CBasePin* GetPin(int n) override { return n == 0 ? pin : nullptr; }
    CCritSec m_lock;
    NullPin* pin = nullptr;
};

void BM_FilterGraph(benchmark::State& state) {
    const Bytes& ts = Stream();
    for (auto _ : state) {
        qxhost::MemorySource source(ts.data(), ts.size());
        qxhost::TsReader reader(&source);
        HRESULT hr = S_OK;
        FilterGraph* graph = FilterGraph::Create();
        auto* demux = new SectionDemuxFilter(&reader, nullptr, &hr);
        auto* sink = new NullSink(&hr);
        demux->AddRef();
        sink->AddRef();
        graph->AddFilter(demux, L"Demux");
        graph->AddFilter(sink, L"Sink");
        graph->ConnectDirect(demux->GetPin(0), sink->GetPin(0), nullptr);
        ULONG pid = 0x12;
        IMPEG2PIDMap* map = nullptr;
        demux->GetPin(0)->QueryInterface(IID_IMPEG2PIDMap, reinterpret_cast<void**>(&map));
        map->MapPID(1, &pid, MEDIA_MPEG2_PSI);
        map->Release();
        graph->Run();
        LONG code = 0;
        graph->WaitForCompletion(INFINITE, &code);
        benchmark::DoNotOptimize(sink->pin->bytes);
        graph->Release();
        demux->Release();
        sink->Release();
    }
    Report(state, ts.size());
}
BENCHMARK(BM_FilterGraph)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

BENCHMARK_MAIN();
