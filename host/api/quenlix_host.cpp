// The C face of the host: a reader, the demultiplexer and the graph behind one opaque handle, so that
// applications need neither the base layer's classes nor C++.
#include "host/api/quenlix_host.h"

#include <strmif.h>
#include <control.h>
#include <evcode.h>
#include <vfwmsgs.h>

#include <cerrno>
#include <new>
#include <string>

#include "baseclasses/allocation.h"
#include "host/FilterGraph.h"
#include "host/SectionDemuxFilter.h"
#include "host/TsReader.h"

struct QxStream {
    qxhost::FileSource source;
    qxhost::TsReader reader{&source};
    FilterGraph* graph = nullptr;
    SectionDemuxFilter* demux = nullptr;
    IBaseFilter* filter = nullptr;
    IMediaControl* control = nullptr;
    IMediaEvent* events = nullptr;
    bool started = false;

    ~QxStream() {
        if (control != nullptr) {
            control->Stop();
            control->Release();
        }
        if (events != nullptr) {
            events->Release();
        }
        if (graph != nullptr) {
            graph->Release(); // removes and releases its filters
        }
        if (demux != nullptr) {
            demux->Release();
        }
        if (filter != nullptr) {
            filter->Release();
        }
    }
};

namespace {

HRESULT OpenFailure(int error) {
    switch (error) {
    case ENOENT:
    case ENOTDIR:
        return HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
    case EACCES:
    case EPERM:
        return HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED);
    case ENOMEM:
        return E_OUTOFMEMORY;
    default:
        return HRESULT_FROM_WIN32(ERROR_READ_FAULT);
    }
}

// The first input pin of the filter; the collector has one, and a filter with several takes the
// sections on its first.
HRESULT FirstInputPin(IBaseFilter* filter, IPin** ppPin) {
    IEnumPins* pins = nullptr;
    HRESULT hr = filter->EnumPins(&pins);
    if (FAILED(hr)) {
        return hr;
    }
    hr = VFW_E_NO_ACCEPTABLE_TYPES;
    IPin* pin = nullptr;
    while (pins->Next(1, &pin, nullptr) == S_OK) {
        PIN_DIRECTION direction = PINDIR_OUTPUT;
        if (SUCCEEDED(pin->QueryDirection(&direction)) && direction == PINDIR_INPUT) {
            *ppPin = pin;
            hr = S_OK;
            break;
        }
        pin->Release();
    }
    pins->Release();
    return hr;
}

HRESULT Build(QxStream* s, const char* path, IUnknown* filter) {
    if (!s->source.Open(path, nullptr)) {
        return OpenFailure(errno);
    }
    switch (s->reader.Detect()) {
    case qxhost::TsReader::Result::Packet:
        break;
    case qxhost::TsReader::Result::End:
        return HRESULT_FROM_WIN32(ERROR_HANDLE_EOF);
    case qxhost::TsReader::Result::NotTransportStream:
        return HRESULT_FROM_WIN32(ERROR_BAD_FORMAT);
    case qxhost::TsReader::Result::ReadError:
        return HRESULT_FROM_WIN32(ERROR_READ_FAULT);
    }
    HRESULT hr = filter->QueryInterface(IID_IBaseFilter, reinterpret_cast<void**>(&s->filter));
    if (FAILED(hr)) {
        return hr;
    }
    s->graph = FilterGraph::Create();
    if (s->graph == nullptr) {
        return E_OUTOFMEMORY;
    }
    hr = S_OK;
    s->demux =
        new SectionDemuxFilter(&s->reader, nullptr, &hr); // from the allocation module, null on failure
    if (s->demux == nullptr) {
        return E_OUTOFMEMORY;
    }
    s->demux->AddRef();
    if (FAILED(hr)) {
        return hr;
    }
    IPin* input = nullptr;
    if (FAILED(hr = s->graph->AddFilter(s->demux, L"Section demultiplexer")) ||
        FAILED(hr = s->graph->AddFilter(s->filter, L"Sink")) ||
        FAILED(hr = FirstInputPin(s->filter, &input))) {
        return hr;
    }
    hr = s->graph->ConnectDirect(s->demux->GetPin(0), input, nullptr);
    input->Release();
    if (FAILED(hr) ||
        FAILED(hr = s->graph->QueryInterface(IID_IMediaControl, reinterpret_cast<void**>(&s->control))) ||
        FAILED(hr = s->graph->QueryInterface(IID_IMediaEvent, reinterpret_cast<void**>(&s->events)))) {
        return hr;
    }
    return S_OK;
}

} // namespace

extern "C" HRESULT QxStreamOpen(const char* path, IUnknown* filter, QxStream** ppStream) {
    if (ppStream == nullptr) {
        return E_POINTER;
    }
    *ppStream = nullptr;
    if (path == nullptr || filter == nullptr) {
        return E_POINTER;
    }
    QxStream* s = nullptr;
    HRESULT hr = E_OUTOFMEMORY;
    try {
        s = MemNew<QxStream>(); // the reader's buffer is a std::vector: its failure is caught below
        if (s != nullptr) {
            hr = Build(s, path, filter);
        }
    } catch (const std::bad_alloc&) {
        hr = E_OUTOFMEMORY;
    }
    if (FAILED(hr)) {
        MemDelete(s);
        return hr;
    }
    *ppStream = s;
    return S_OK;
}

extern "C" HRESULT QxStreamRun(QxStream* stream) {
    if (stream == nullptr) {
        return E_POINTER;
    }
    // The reader cannot rewind, so a second run would find the end of the file at once.
    if (stream->started) {
        return VFW_E_WRONG_STATE;
    }
    HRESULT hr = stream->control->Run();
    if (SUCCEEDED(hr)) {
        stream->started = true;
    }
    return hr;
}

extern "C" HRESULT QxStreamWait(QxStream* stream, DWORD timeoutMs) {
    if (stream == nullptr) {
        return E_POINTER;
    }
    LONG code = 0;
    LONG wait = timeoutMs == INFINITE || timeoutMs > 0x7FFFFFFF ? static_cast<LONG>(INFINITE)
                                                                : static_cast<LONG>(timeoutMs);
    HRESULT hr = stream->events->WaitForCompletion(wait, &code);
    if (hr == E_ABORT) {
        return S_FALSE;
    }
    if (FAILED(hr)) {
        return hr;
    }
    if (code == EC_COMPLETE) {
        return S_OK;
    }
    // The first error a filter reported is the answer.
    HRESULT reported = code == EC_USERABORT ? E_ABORT : E_FAIL;
    LONG ev = 0;
    LONG_PTR p1 = 0, p2 = 0;
    while (stream->events->GetEvent(&ev, &p1, &p2, 0) == S_OK) {
        if (ev == EC_ERRORABORT && FAILED(static_cast<HRESULT>(p1))) {
            reported = static_cast<HRESULT>(p1);
            break;
        }
    }
    return reported;
}

extern "C" HRESULT QxStreamStop(QxStream* stream) {
    if (stream == nullptr) {
        return E_POINTER;
    }
    return stream->control->Stop();
}

extern "C" void QxStreamClose(QxStream* stream) {
    MemDelete(stream);
}
