// The demultiplexer filter and the graph together, with a recording sink standing where the table
// collector stands in a real graph.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "baseclasses/allocation.h"
#include "host/FilterGraph.h"
#include "host/SectionDemuxFilter.h"
#include "recording_sink.h"
#include "support/core/ts_packetizer.h"

using namespace qxtest;

namespace {

Bytes Section(uint8_t tableId, uint16_t ext, size_t total) {
    SectionBuilder b;
    b.Table(tableId).Extension(ext);
    b.body.assign(total - 12, static_cast<uint8_t>(ext));
    return b.Build();
}

// One graph: a reader over stream, the demultiplexer, the sink, connected and ready to run.
struct Rig {
    Bytes stream;
    qxhost::MemorySource source;
    qxhost::TsReader reader;
    FilterGraph* graph = nullptr;
    SectionDemuxFilter* demux = nullptr;
    RecordingSink* sink = nullptr;

    explicit Rig(Bytes ts, unsigned packetSize = 0, qxhost::ByteSource* other = nullptr)
        : stream(std::move(ts)), source(stream.data(), stream.size(), 5000),
          reader(other != nullptr ? other : &source, packetSize, 8192) {
        HRESULT hr = S_OK;
        graph = FilterGraph::Create();
        demux = new SectionDemuxFilter(&reader, nullptr, &hr);
        demux->AddRef();
        sink = new RecordingSink(&hr);
        sink->AddRef();
        EXPECT_EQ(S_OK, hr);
        EXPECT_EQ(S_OK, graph->AddFilter(demux, L"Demux"));
        EXPECT_EQ(S_OK, graph->AddFilter(sink, L"Sink"));
        EXPECT_EQ(S_OK, graph->ConnectDirect(demux->GetPin(0), sink->GetPin(0), nullptr));
    }
    ~Rig() {
        graph->Stop();
        graph->Release();
        demux->Release();
        sink->Release();
    }
    void Map(std::initializer_list<ULONG> pids) {
        IMPEG2PIDMap* map = sink->pin->PidMap();
        ASSERT_NE(nullptr, map);
        std::vector<ULONG> v(pids);
        EXPECT_EQ(S_OK, map->MapPID(static_cast<ULONG>(v.size()), v.data(), MEDIA_MPEG2_PSI));
        map->Release();
    }
    LONG RunToEnd() {
        EXPECT_EQ(S_OK, graph->Run());
        LONG code = 0;
        EXPECT_EQ(S_OK, graph->WaitForCompletion(10000, &code));
        return code;
    }
};

std::vector<ULONG> Enumerate(IMPEG2PIDMap* map) {
    std::vector<ULONG> pids;
    IEnumPIDMap* e = nullptr;
    EXPECT_EQ(S_OK, map->EnumPIDMap(&e));
    PID_MAP entry;
    ULONG got = 0;
    while (e->Next(1, &entry, &got) == S_OK) {
        EXPECT_EQ(MEDIA_MPEG2_PSI, entry.MediaSampleContent);
        pids.push_back(entry.ulPID);
    }
    e->Release();
    return pids;
}

} // namespace

TEST(DemuxGraph, DeliversEachSectionOfMappedPidsAsOneSampleThenCompletes) {
    Bytes pat = Section(0x00, 1, 40), big = Section(0x42, 2, 3000), eit = Section(0x4E, 3, 200);
    Bytes other = Section(0x02, 4, 30);
    for (unsigned size : {188u, 192u, 204u}) {
        SCOPED_TRACE(size);
        TsPacketizer t0(0x0000), t11(0x0011), t12(0x0012), t99(0x0099);
        Bytes ts = t0.Packetize(pat);
        Bytes more = t11.Packetize({big, big});
        ts.insert(ts.end(), more.begin(), more.end());
        more = t99.Packetize(other); // not mapped
        ts.insert(ts.end(), more.begin(), more.end());
        more = t12.Packetize({eit, eit, eit});
        ts.insert(ts.end(), more.begin(), more.end());
        Rig rig(WrapPackets(ts, size));

        AM_MEDIA_TYPE mt{};
        ASSERT_EQ(S_OK, rig.demux->GetPin(0)->ConnectionMediaType(&mt));
        EXPECT_TRUE(mt.majortype == MEDIATYPE_MPEG2_SECTIONS);
        FreeMediaType(mt);

        rig.Map({0x0000, 0x0011, 0x0012});
        EXPECT_EQ(EC_COMPLETE, rig.RunToEnd());
        std::vector<Received> want = {{0, pat},    {0x11, big}, {0x11, big},
                                      {0x12, eit}, {0x12, eit}, {0x12, eit}};
        EXPECT_EQ(want, rig.sink->pin->got);
        EXPECT_EQ(6u, rig.demux->Stats().samples);
        EXPECT_EQ(size, rig.reader.PacketSize());
    }
}

TEST(DemuxGraph, MappingChangedInsideReceiveTakesEffectFromTheNextPacket) {
    // As the table collector does on a PAT: map the PMT PID while the PAT sample is delivered, and
    // reset the mapping (enumerate, unmap one by one) while another is.
    Bytes pat = Section(0x00, 1, 20), pmt = Section(0x02, 0x101, 60), nit = Section(0x40, 7, 30);
    TsPacketizer t0(0x0000), t100(0x0100), t10(0x0010);
    Bytes ts = t100.Packetize(pmt); // before the PAT: not mapped yet
    Bytes more = t0.Packetize({pat, pat});
    ts.insert(ts.end(), more.begin(), more.end());
    more = t100.Packetize(pmt);
    ts.insert(ts.end(), more.begin(), more.end());
    more = t10.Packetize(nit); // the NIT's sample unmaps everything
    ts.insert(ts.end(), more.begin(), more.end());
    more = t100.Packetize(pmt);
    ts.insert(ts.end(), more.begin(), more.end());
    more = t0.Packetize(pat);
    ts.insert(ts.end(), more.begin(), more.end());

    Rig rig(ts);
    rig.Map({0x0000, 0x0010});
    IMPEG2PIDMap* map = rig.sink->pin->PidMap();
    rig.sink->pin->onReceive = [map](const Received& r) {
        if (r.pid == 0) {
            ULONG pid = 0x100;
            map->MapPID(1, &pid, MEDIA_MPEG2_PSI);
        } else if (r.pid == 0x10) {
            for (ULONG pid : Enumerate(map)) {
                map->UnmapPID(1, &pid);
            }
        }
    };
    EXPECT_EQ(EC_COMPLETE, rig.RunToEnd());
    // Both PATs of the one packet arrive although the first mapped a PID; the unmapping during the
    // NIT stops everything after it.
    std::vector<Received> want = {{0, pat}, {0, pat}, {0x100, pmt}, {0x10, nit}};
    EXPECT_EQ(want, rig.sink->pin->got);
    EXPECT_TRUE(Enumerate(map).empty());
    map->Release();
}

TEST(DemuxGraph, PidMapFollowsThePlatformsRules) {
    Rig rig(TsPacketizer(0).Packetize(Section(0, 1, 20)));
    IMPEG2PIDMap* map = rig.sink->pin->PidMap();
    ASSERT_NE(nullptr, map);
    ULONG pids[] = {0x1FFB, 0x0010, 0x0000, 0x0010};
    EXPECT_EQ(S_OK, map->MapPID(4, pids, MEDIA_MPEG2_PSI));
    EXPECT_EQ((std::vector<ULONG>{0x0000, 0x0010, 0x1FFB}), Enumerate(map));

    ULONG bad[] = {0x0020, 0x2000};
    EXPECT_EQ(E_INVALIDARG, map->MapPID(2, bad, MEDIA_MPEG2_PSI)) << "refused whole";
    EXPECT_EQ(E_INVALIDARG, map->MapPID(1, bad, MEDIA_TRANSPORT_PACKET)) << "this pin delivers sections only";
    EXPECT_EQ(E_INVALIDARG, map->MapPID(0, bad, MEDIA_MPEG2_PSI));
    EXPECT_EQ(E_POINTER, map->MapPID(1, nullptr, MEDIA_MPEG2_PSI));
    EXPECT_EQ((std::vector<ULONG>{0x0000, 0x0010, 0x1FFB}), Enumerate(map));

    // The enumerator is a snapshot: unmapping while walking it visits every PID once.
    IEnumPIDMap* e = nullptr;
    ASSERT_EQ(S_OK, map->EnumPIDMap(&e));
    PID_MAP two[2];
    ULONG got = 0;
    EXPECT_EQ(S_OK, e->Next(2, two, &got));
    EXPECT_EQ(2u, got);
    IEnumPIDMap* clone = nullptr;
    ASSERT_EQ(S_OK, e->Clone(&clone));
    EXPECT_EQ(S_OK, map->UnmapPID(1, &two[0].ulPID));
    EXPECT_EQ(S_FALSE, e->Next(2, two, &got));
    EXPECT_EQ(1u, got);
    EXPECT_EQ(0x1FFBu, two[0].ulPID);
    EXPECT_EQ(S_OK, e->Reset());
    EXPECT_EQ(S_OK, e->Skip(3));
    EXPECT_EQ(S_FALSE, e->Skip(1));
    EXPECT_EQ(S_OK, clone->Next(1, two, nullptr));
    EXPECT_EQ(0x1FFBu, two[0].ulPID);
    clone->Release();
    e->Release();

    // Out of memory for an enumerator or its clone: E_OUTOFMEMORY and a null pointer.
    e = reinterpret_cast<IEnumPIDMap*>(1);
    MemFailAt(1);
    EXPECT_EQ(E_OUTOFMEMORY, map->EnumPIDMap(&e));
    MemFailAt(0);
    EXPECT_EQ(nullptr, e);
    ASSERT_EQ(S_OK, map->EnumPIDMap(&e));
    clone = reinterpret_cast<IEnumPIDMap*>(1);
    MemFailAt(1);
    EXPECT_EQ(E_OUTOFMEMORY, e->Clone(&clone));
    MemFailAt(0);
    EXPECT_EQ(nullptr, clone);
    e->Release();

    ULONG notMapped = 0x0123;
    EXPECT_EQ(S_OK, map->UnmapPID(1, &notMapped));
    EXPECT_EQ((std::vector<ULONG>{0x0010, 0x1FFB}), Enumerate(map));
    map->Release();
}

TEST(DemuxGraph, PausedGraphDeliversButCompletesOnlyWhenRun) {
    Rig rig(TsPacketizer(0).Packetize(Section(0, 1, 20)));
    rig.Map({0});
    ASSERT_EQ(S_OK, rig.graph->Pause());
    OAFilterState state = -1;
    EXPECT_EQ(S_OK, rig.graph->GetState(0, &state));
    EXPECT_EQ(State_Paused, state);
    LONG code = 0;
    EXPECT_EQ(VFW_E_WRONG_STATE, rig.graph->WaitForCompletion(0, &code));
    for (int i = 0; i < 500 && !rig.demux->Finished(); ++i) {
        Sleep(2);
    }
    EXPECT_TRUE(rig.demux->Finished());
    EXPECT_EQ(1u, rig.sink->pin->got.size());
    ASSERT_EQ(S_OK, rig.graph->Run());
    EXPECT_EQ(S_OK, rig.graph->WaitForCompletion(10000, &code));
    EXPECT_EQ(EC_COMPLETE, code);
    LONG ev;
    LONG_PTR p1, p2;
    EXPECT_EQ(S_OK, rig.graph->GetEvent(&ev, &p1, &p2, 0));
    EXPECT_EQ(EC_COMPLETE, ev);
    EXPECT_EQ(E_ABORT, rig.graph->GetEvent(&ev, &p1, &p2, 0));
}

TEST(DemuxGraph, InputThatIsNotATransportStreamAbortsTheRun) {
    NoiseSource noise(5);
    Bytes junk = noise.RandomBytes(20000);
    for (auto& b : junk) {
        b = b == 0x47 ? 0 : b;
    }
    Rig rig(junk);
    rig.Map({0});
    EXPECT_EQ(EC_ERRORABORT, rig.RunToEnd());
    LONG ev;
    LONG_PTR p1, p2;
    ASSERT_EQ(S_OK, rig.graph->GetEvent(&ev, &p1, &p2, 0));
    EXPECT_EQ(EC_ERRORABORT, ev);
    EXPECT_EQ(VFW_E_INVALID_FILE_FORMAT, static_cast<HRESULT>(p1));
}

TEST(DemuxGraph, ReadErrorAbortsAfterWhatWasReadIsDelivered) {
    // A source that hands out one good block, then fails.
    struct FailingSource : qxhost::ByteSource {
        Bytes data;
        bool served = false;
        long Read(uint8_t* buffer, size_t size) override {
            if (served) {
                return -1;
            }
            served = true;
            memcpy(buffer, data.data(), std::min(size, data.size()));
            return static_cast<long>(std::min(size, data.size()));
        }
    } source;
    source.data = TsPacketizer(0).Packetize({Section(0, 1, 20), Section(0, 1, 20)});
    Rig rig({}, 0, &source);
    rig.Map({0});
    EXPECT_EQ(EC_ERRORABORT, rig.RunToEnd());
    EXPECT_EQ(2u, rig.sink->pin->got.size());
}

TEST(DemuxGraph, StopWhileStreamingEndsTheThreadWithoutDeadlock) {
    // A long stream and a sink that is slow and maps PIDs from Receive: Stop must still come back.
    Bytes ts;
    TsPacketizer t(0x12);
    Bytes s = Section(0x4E, 9, 300);
    for (int i = 0; i < 2000; ++i) {
        Bytes more = t.Packetize(s);
        ts.insert(ts.end(), more.begin(), more.end());
    }
    Rig rig(ts);
    rig.Map({0x12});
    IMPEG2PIDMap* map = rig.sink->pin->PidMap();
    rig.sink->pin->onReceive = [map](const Received&) {
        ULONG pid = 0x13;
        map->MapPID(1, &pid, MEDIA_MPEG2_PSI);
        Sleep(1);
    };
    ASSERT_EQ(S_OK, rig.graph->Run());
    // Stop once streaming is under way, however slowly the machine starts the thread.
    for (int i = 0; i < 1000 && rig.sink->pin->Count() == 0; ++i) {
        Sleep(5);
    }
    EXPECT_EQ(S_OK, rig.graph->Stop());
    size_t atStop = rig.sink->pin->got.size();
    EXPECT_GT(atStop, 0u);
    EXPECT_LT(atStop, 2000u);
    Sleep(10);
    EXPECT_EQ(atStop, rig.sink->pin->got.size()) << "nothing is delivered after Stop returns";
    map->Release();
}

TEST(DemuxGraph, GraphBookkeeping) {
    qxhost::MemorySource source(nullptr, 0);
    qxhost::TsReader reader(&source);
    HRESULT hr = S_OK;
    FilterGraph* graph = FilterGraph::Create();
    auto* a = new SectionDemuxFilter(&reader, nullptr, &hr);
    auto* b = new SectionDemuxFilter(&reader, nullptr, &hr);
    auto* sink = new RecordingSink(&hr);
    a->AddRef();
    b->AddRef();
    sink->AddRef();

    EXPECT_EQ(S_OK, graph->AddFilter(a, L"Demux"));
    EXPECT_EQ(VFW_S_DUPLICATE_NAME, graph->AddFilter(b, L"Demux"));
    EXPECT_EQ(E_INVALIDARG, graph->AddFilter(a, L"Again"));
    IBaseFilter* found = nullptr;
    EXPECT_EQ(S_OK, graph->FindFilterByName(L"Demux 0001", &found));
    EXPECT_EQ(static_cast<IBaseFilter*>(b), found);
    found->Release();
    FILTER_INFO info{};
    ASSERT_EQ(S_OK, b->QueryFilterInfo(&info));
    EXPECT_EQ(std::wstring(L"Demux 0001"), info.achName);
    EXPECT_EQ(static_cast<IFilterGraph*>(graph), info.pGraph);
    info.pGraph->Release();

    EXPECT_EQ(VFW_E_NOT_IN_GRAPH, graph->ConnectDirect(a->GetPin(0), sink->GetPin(0), nullptr));
    EXPECT_EQ(S_OK, graph->AddFilter(sink, L"Sink"));
    EXPECT_EQ(S_OK, graph->ConnectDirect(a->GetPin(0), sink->GetPin(0), nullptr));
    EXPECT_EQ(VFW_E_ALREADY_CONNECTED, graph->ConnectDirect(b->GetPin(0), sink->GetPin(0), nullptr));
    EXPECT_EQ(S_OK, graph->Reconnect(sink->GetPin(0)));
    EXPECT_TRUE(a->GetPin(0)->IsConnected());

    IEnumFilters* e = nullptr;
    ASSERT_EQ(S_OK, graph->EnumFilters(&e));
    IBaseFilter* all[4] = {};
    ULONG n = 0;
    EXPECT_EQ(S_FALSE, e->Next(4, all, &n));
    EXPECT_EQ(3u, n);
    for (ULONG i = 0; i < n; ++i) {
        all[i]->Release();
    }
    e->Release();

    ASSERT_EQ(S_OK, graph->Run());
    EXPECT_EQ(VFW_E_NOT_STOPPED, graph->RemoveFilter(b));
    LONG code = 0;
    EXPECT_EQ(S_OK, graph->WaitForCompletion(10000, &code)); // empty input: end of stream at once
    EXPECT_EQ(EC_COMPLETE, code);
    EXPECT_EQ(S_OK, graph->Stop());

    // Removing a filter breaks its connections and takes it out of the graph.
    EXPECT_EQ(S_OK, graph->RemoveFilter(sink));
    EXPECT_FALSE(a->GetPin(0)->IsConnected());
    EXPECT_EQ(VFW_E_NOT_IN_GRAPH, graph->RemoveFilter(sink));
    ASSERT_EQ(S_OK, sink->QueryFilterInfo(&info));
    EXPECT_EQ(nullptr, info.pGraph);

    MemFailAt(1);
    EXPECT_EQ(nullptr, FilterGraph::Create());
    MemFailAt(1);
    EXPECT_EQ(E_OUTOFMEMORY, graph->EnumFilters(&e));
    MemFailAt(0);
    EXPECT_EQ(nullptr, e);
    ASSERT_EQ(S_OK, graph->EnumFilters(&e));
    IEnumFilters* copy = nullptr;
    MemFailAt(1);
    EXPECT_EQ(E_OUTOFMEMORY, e->Clone(&copy));
    MemFailAt(0);
    EXPECT_EQ(nullptr, copy);
    e->Release();

    graph->Release(); // removes and releases what is left
    a->Release();
    b->Release();
    sink->Release();
}

TEST(DemuxGraph, OutOfMemoryWhileStartingLeavesTheGraphStopped) {
    Bytes ts = TsPacketizer(0).Packetize(Section(0, 1, 20));
    // Filter creation: each allocation on the way fails in turn; none leaves a half-made filter
    // that claims success.
    for (unsigned long n = 1;; ++n) {
        qxhost::MemorySource source(ts.data(), ts.size());
        qxhost::TsReader reader(&source);
        HRESULT hr = S_OK;
        MemFailAt(n);
        auto* f = new SectionDemuxFilter(&reader, nullptr, &hr);
        MemFailAt(0);
        if (f == nullptr) {
            continue;
        }
        f->AddRef();
        bool done = hr == S_OK;
        if (!done) {
            EXPECT_EQ(E_OUTOFMEMORY, hr);
        } else {
            EXPECT_EQ(1, f->GetPinCount());
        }
        f->Release();
        if (done) {
            break;
        }
        ASSERT_LT(n, 50u);
    }
    // Run: some allocation on the way (the allocator's buffers) fails; the graph stays stopped and a
    // later Run works.
    for (unsigned long n = 1; n < 20; ++n) {
        Rig rig(ts);
        rig.Map({0});
        MemFailAt(n);
        HRESULT hr = rig.graph->Run();
        MemFailAt(0);
        if (SUCCEEDED(hr)) {
            LONG code = 0;
            EXPECT_EQ(S_OK, rig.graph->WaitForCompletion(10000, &code));
            continue;
        }
        OAFilterState state = -1;
        rig.graph->GetState(0, &state);
        EXPECT_EQ(State_Stopped, state);
        EXPECT_EQ(EC_COMPLETE, rig.RunToEnd());
        EXPECT_EQ(1u, rig.sink->pin->got.size());
    }
}
