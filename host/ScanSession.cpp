#include "host/ScanSession.h"

#include <sys/stat.h>

#include <cstdio>

namespace qxhost {

// Counts what passes for the progress shown while running, and ends the input when asked to.
class ScanSession::Source : public ByteSource {
public:
    Source(ScanSession* session, ByteSource* inner) : m_session(session), m_inner(inner) {}
    long Read(uint8_t* buffer, size_t size) override {
        if (!m_session->m_stop.load() && m_session->m_hook && m_session->m_hook()) {
            m_session->m_stop.store(true);
        }
        if (m_session->m_stop.load()) {
            m_session->m_stoppedEarly = true;
            return 0;
        }
        long n = m_inner->Read(buffer, size);
        if (n > 0) {
            m_session->m_bytes.fetch_add(static_cast<uint64_t>(n));
        }
        return n;
    }

private:
    ScanSession* m_session;
    ByteSource* m_inner;
};

namespace {

// Small enough that a scan asked to stop (tables complete, an interrupt) ends soon after.
constexpr size_t kReadBlock = 256 * 1024;

} // namespace

ScanSession::ScanSession() = default;

ScanSession::~ScanSession() {
    if (m_control) {
        m_control->Stop(); // joins the streaming thread before the reader goes
    }
    m_events.Reset();
    m_control.Reset();
    m_collector.Reset();
    m_graph.Reset(); // removes and releases the filters
    m_filter.Reset();
    m_demux.Reset();
}

int ScanSession::Fail(int status, const std::string& message) {
    m_error = message;
    return status;
}

int ScanSession::OpenFile(const std::string& path, unsigned packetSize) {
    std::string name = path == "-" ? "standard input" : path;
    if (path != "-") {
        struct stat st {};
        if (stat(path.c_str(), &st) == 0) {
            if (S_ISDIR(st.st_mode)) {
                return Fail(kScanInputError, name + ": is a directory");
            }
            if (S_ISREG(st.st_mode)) {
                m_size = static_cast<uint64_t>(st.st_size);
            }
        }
    }
    auto file = std::make_unique<FileSource>();
    std::string why;
    if (!file->Open(path, &why)) {
        return Fail(kScanInputError, name + ": cannot open: " + why);
    }
    m_inner = std::move(file);
    return Open(name, packetSize, kReadBlock);
}

int ScanSession::OpenSource(std::unique_ptr<ByteSource> source, const std::string& name, unsigned packetSize,
                            size_t blockSize) {
    m_inner = std::move(source);
    return Open(name, packetSize, blockSize != 0 ? blockSize : kReadBlock);
}

int ScanSession::Open(const std::string& name, unsigned packetSize, size_t blockSize) {
    m_name = name;
    m_source = std::make_unique<Source>(this, m_inner.get());
    m_reader = std::make_unique<TsReader>(m_source.get(), packetSize, blockSize);
    // Found before the graph is built, so that input which is no transport stream at all gets a
    // plain answer instead of an empty scan.
    switch (m_reader->Detect()) {
    case TsReader::Result::End:
        return Fail(kScanInputError, name + ": empty input");
    case TsReader::Result::ReadError:
        return Fail(kScanInputError, name + ": read error");
    case TsReader::Result::NotTransportStream:
        if (packetSize != 0) {
            return Fail(kScanInputError, name + ": not an MPEG-2 transport stream of " +
                                             std::to_string(packetSize) + "-byte packets");
        }
        return Fail(kScanInputError,
                    name + ": not an MPEG-2 transport stream (no sync bytes 188, 192 or 204 bytes apart)");
    case TsReader::Result::Packet:
        break;
    }
    return kScanOk;
}

int ScanSession::Build(const FilterFactory& factory) {
    const char* step = "create the demultiplexer";
    HRESULT hr = S_OK;
    m_graph = ComPtr<FilterGraph>::Adopt(FilterGraph::Create());
    SectionDemuxFilter* demux = new SectionDemuxFilter(m_reader.get(), nullptr, &hr);
    if (demux != nullptr) {
        demux->AddRef();
        m_demux = ComPtr<SectionDemuxFilter>::Adopt(demux);
    }
    if (!m_graph || !m_demux || FAILED(hr)) {
        hr = FAILED(hr) ? hr : E_OUTOFMEMORY;
    } else {
        step = "create the Korvane Trevasi Filter";
        hr = factory(m_filter.Out(), &m_module);
        if (SUCCEEDED(hr)) {
            step = "build the graph";
            ComPtr<IPin> input;
            if (SUCCEEDED(hr = m_filter->QueryInterface(IID_ITableCollector, m_collector.OutVoid())) &&
                SUCCEEDED(hr = m_graph->AddFilter(m_demux.Get(), L"Section demultiplexer")) &&
                SUCCEEDED(hr = m_graph->AddFilter(m_filter.Get(), L"Korvane Trevasi Filter")) &&
                SUCCEEDED(hr = m_filter->FindPin(L"Input", input.Out())) &&
                SUCCEEDED(hr = m_graph->ConnectDirect(m_demux->GetPin(0), input.Get(), nullptr)) &&
                SUCCEEDED(hr = m_graph->QueryInterface(IID_IMediaControl, m_control.OutVoid()))) {
                hr = m_graph->QueryInterface(IID_IMediaEvent, m_events.OutVoid());
            }
        }
    }
    if (FAILED(hr)) {
        m_setupResult = hr;
        return Fail(kScanSetupError, std::string("cannot ") + step);
    }
    return kScanOk;
}

int ScanSession::Run(const ReadHook& hook) {
    m_hook = hook;
    HRESULT hr = m_control->Run();
    LONG code = 0;
    if (SUCCEEDED(hr)) {
        hr = m_events->WaitForCompletion(INFINITE, &code);
    }
    m_control->Stop();
    m_hook = nullptr;
    if (FAILED(hr)) {
        m_setupResult = hr;
        return Fail(kScanSetupError, "cannot run the graph");
    }
    if (code == EC_ERRORABORT) {
        HRESULT aborted = E_FAIL;
        LONG ev = 0;
        LONG_PTR p1 = 0, p2 = 0;
        while (m_events->GetEvent(&ev, &p1, &p2, 0) == S_OK) {
            if (ev == EC_ERRORABORT && FAILED(static_cast<HRESULT>(p1))) {
                aborted = static_cast<HRESULT>(p1);
                break;
            }
        }
        char buf[160];
        snprintf(buf, sizeof buf, ": the scan stopped early (error 0x%08X); what was read before it is kept",
                 static_cast<unsigned>(aborted));
        return Fail(kScanInputError, m_name + buf);
    }
    return kScanOk;
}

std::string ScanSession::Warning() const {
    TsReaderStats s = ReaderStats();
    // A scan ended on purpose stops wherever the last read did, not where the capture does.
    if (s.truncated_bytes == 0 || m_stoppedEarly) {
        return std::string();
    }
    return m_name + ": stream ends inside a packet (" + std::to_string(s.truncated_bytes) +
           " trailing bytes dropped)";
}

TsReaderStats ScanSession::ReaderStats() const {
    return m_reader ? m_reader->Stats() : TsReaderStats{};
}

::SectionDemuxStats ScanSession::DemuxStats() const {
    return m_demux ? m_demux->Stats() : ::SectionDemuxStats{};
}

} // namespace qxhost
