// An application of the module that knows the filter only by its class identifier: the module tests
// start it as a second process after registering quenlix.ax in their own.
//
//   module_client cocreate MODULE    CoCreateInstance, then checks that CoFreeUnusedLibraries
//                                    unloads MODULE once everything is released
//
// It connects a fake demultiplexer pin to the filter, feeds it a PAT, and prints what the filter holds
// through ITableCollector, one "name value..." line per fact. Exit status 0 when the
// filter was created and fed, 3 when creation failed (the code is printed), 4 when feeding failed.
#include <windows.h>
#include <objbase.h>
#include <strmif.h>
#include <quenlix.h>

#include <dlfcn.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "support/fake_graph.h"
#include "support/upstream_pin.h"

namespace {

unsigned long U(ULONG value) {
    return value;
}

int Feed(IBaseFilter* filter) {
    ITableCollector* tables = nullptr;
    if (FAILED(filter->QueryInterface(IID_ITableCollector, reinterpret_cast<void**>(&tables)))) {
        printf("feed no ITableCollector\n");
        return 4;
    }
    int status = 0;
    {
        qxtest::FakeGraph graph;
        graph.AddFilter(filter, L"Korvane Trevasi Filter");
        qxtest::FakeUpstream upstream;
        IPin* input = nullptr;
        HRESULT hr = filter->FindPin(L"Input", &input);
        if (SUCCEEDED(hr)) {
            hr = upstream.Connect(input);
        }
        if (SUCCEEDED(hr)) {
            hr = qxtest::RunFilter(filter);
        }
        if (FAILED(hr)) {
            printf("feed 0x%08lX\n", U(static_cast<ULONG>(hr)));
            status = 4;
        } else {
            upstream.Deliver(qxtest::BuildPat(0x0421, 1, {{0, 0x0010}, {1, 0x0100}}), 0x0000);
            ULONG patStatus = 0, patCount = 0;
            tables->GetPatStatus(&patStatus);
            tables->GetPatSectionCount(&patCount);
            printf("pat %lu %lu\n", U(patStatus), U(patCount));
            qxtest::StopFilter(filter);
        }
        upstream.Disconnect();
        if (input != nullptr) {
            input->Release();
        }
        graph.RemoveFilter(filter);
    }
    tables->Release();
    return status;
}

bool Loaded(const char* path) {
    void* handle = dlopen(path, RTLD_NOW | RTLD_NOLOAD);
    if (handle == nullptr) {
        return false;
    }
    dlclose(handle);
    return true;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 3 || strcmp(argv[1], "cocreate") != 0) {
        fprintf(stderr, "usage: module_client cocreate MODULE\n");
        return 1;
    }
    if (FAILED(CoInitialize(nullptr))) {
        return 2;
    }
    IBaseFilter* filter = nullptr;
    HRESULT hr = CoCreateInstance(CLSID_TableCollectorFilter, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                                  reinterpret_cast<void**>(&filter));
    if (FAILED(hr)) {
        printf("create 0x%08lX\n", U(static_cast<ULONG>(hr)));
        CoUninitialize();
        return 3;
    }
    int status = Feed(filter);
    filter->Release();
    // Everything is released: the module agrees to go, and really leaves the process.
    bool before = Loaded(argv[2]);
    CoFreeUnusedLibraries();
    printf("loaded-before-free %s\n", before ? "yes" : "no");
    printf("loaded-after-free %s\n", Loaded(argv[2]) ? "yes" : "no");
    CoUninitialize();
    return status;
}
