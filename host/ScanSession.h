// One scan of a transport stream through the table-collecting filter: the input (file, standard input
// or any other byte source), the reader, the demultiplexer, the filter and the graph that joins them.
// Every command that scans goes through it, so they open inputs, detect the packet size and answer
// failures alike.
#pragma once
#include <windows.h>
#include <strmif.h>
#include <control.h>
#include <quenlix.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "host/ComPtr.h"
#include "host/FilterGraph.h"
#include "host/SectionDemuxFilter.h"
#include "host/TsReader.h"

namespace qxhost {

// Exit statuses of the commands that scan.
enum ScanExit : int {
    kScanOk = 0,
    kScanInputError = 1, // the input cannot be read or holds no transport stream
    kScanUsage = 2,
    kScanSetupError = 3, // the filter or the graph could not be set up
};

class ScanSession {
public:
    // Creates the filter; *from receives the module it came from (or was tried).
    using FilterFactory = std::function<HRESULT(IBaseFilter** filter, std::string* from)>;
    // Called on the streaming thread before each read from the input; true ends the input there.
    using ReadHook = std::function<bool()>;

    ScanSession();
    ~ScanSession();
    ScanSession(const ScanSession&) = delete;
    ScanSession& operator=(const ScanSession&) = delete;

    // A file by name, or standard input for "-"; packetSize 0 detects it. kScanOk or kScanInputError.
    int OpenFile(const std::string& path, unsigned packetSize);
    // Any other source; name is how messages and the report show it. A live source trickles in: a
    // smaller block lets the packet size be found from the first few datagrams.
    int OpenSource(std::unique_ptr<ByteSource> source, const std::string& name, unsigned packetSize,
                   size_t blockSize = 0);

    // The demultiplexer and the filter in a graph, connected. kScanOk or kScanSetupError.
    int Build(const FilterFactory& factory);
    // Runs the graph until the input ends, the hook ends it or RequestStop is called, and leaves it
    // stopped with the tables held. kScanOk, kScanInputError (a read failed part-way; what was read
    // stays collected) or kScanSetupError.
    int Run(const ReadHook& hook = {});
    // Ends the input at the next read. Only stores a flag: safe from a signal handler.
    void RequestStop() { m_stop.store(true); }
    // Seen by live sources so that a blocking read gives up when the scan is ended.
    const std::atomic<bool>& StopFlag() const { return m_stop; }

    // The last failure, as one line without a program name: "FILE: reason" for the input, "cannot
    // build the graph" for the set-up with the failure code in SetupResult().
    const std::string& Error() const { return m_error; }
    HRESULT SetupResult() const { return m_setupResult; }
    // A warning about an input that was scanned (a last packet cut short), or empty.
    std::string Warning() const;

    const std::string& Name() const { return m_name; }
    IBaseFilter* Filter() const { return m_filter.Get(); }
    ITableCollector* Collector() const { return m_collector.Get(); }
    const std::string& Module() const { return m_module; }
    unsigned PacketSize() const { return m_reader ? m_reader->PacketSize() : 0; }
    // Exact once Run has returned.
    TsReaderStats ReaderStats() const;
    ::SectionDemuxStats DemuxStats() const;
    // Safe while running, from any thread.
    uint64_t BytesRead() const { return m_bytes.load(); }
    uint64_t InputSize() const { return m_size; } // 0 when not known (pipes, live input)
    bool Stopped() const { return m_stop.load(); }

private:
    class Source;
    int Open(const std::string& name, unsigned packetSize, size_t blockSize);
    int Fail(int status, const std::string& message);

    std::string m_name;
    std::string m_error;
    std::string m_module;
    HRESULT m_setupResult = S_OK;
    bool m_stoppedEarly = false;
    uint64_t m_size = 0;
    std::atomic<bool> m_stop{false};
    std::atomic<uint64_t> m_bytes{0};
    ReadHook m_hook;
    std::unique_ptr<ByteSource> m_inner;
    std::unique_ptr<Source> m_source;
    std::unique_ptr<TsReader> m_reader;
    ComPtr<FilterGraph> m_graph;
    ComPtr<SectionDemuxFilter> m_demux;
    ComPtr<IBaseFilter> m_filter;
    ComPtr<ITableCollector> m_collector;
    ComPtr<IMediaControl> m_control;
    ComPtr<IMediaEvent> m_events;
};

} // namespace qxhost
