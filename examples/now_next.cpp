// Now and next on every service of a DVB stream, from the EIT present/following, decoded with the
// si library (texts in every DVB character table to UTF-8, MJD/BCD times).
//
//   now_next FILE.ts
//
// The services come from the SDT; for each, section 0 of the EIT p/f (table_id 0x4E) holds the
// event now on air and section 1 the one after it. The filter is created by its class: run
// `quenlix register` once.
#include <windows.h>
#include <objbase.h>
#include <quenlix.h>
#include <quenlix_host.h>

#include <si/Tables.h>

#include <cstdio>
#include <span>
#include <string>
#include <vector>

namespace si = quenlix::si;

namespace {

std::span<const uint8_t> Bytes(const StoredSection* s) {
    return {s->bytes, s->length};
}

// The services of the SDT of the actual stream, with their names.
std::vector<std::pair<uint16_t, std::string>> Services(ITableCollector* tc) {
    std::vector<std::pair<uint16_t, std::string>> out;
    ULONG count = 0;
    tc->GetSdtSectionCount(0, &count);
    for (ULONG i = 0; i < count; ++i) {
        StoredSection* s = nullptr; // an empty slot answers S_OK and leaves it null
        if (FAILED(tc->GetSdtSection(0, i, &s)) || s == nullptr) {
            continue;
        }
        si::Sdt sdt = si::DecodeSdt(Bytes(s));
        tc->FreeSdtSection(&s); // the decoded record holds its own copies
        for (const si::Sdt::Service& service : sdt.services) {
            const auto* d = si::Find<si::ServiceDescriptor>(service.descriptors);
            out.emplace_back(service.service_id, d != nullptr ? d->service_name : std::string("?"));
        }
    }
    return out;
}

// One line for the event in section `number` (0 now, 1 next) of the service's p/f table.
void PrintEvent(ITableCollector* tc, const char* label, ULONG number, uint16_t serviceId) {
    StoredSection* s = nullptr;
    // No section for the key answers E_POINTER in the DVB EIT group.
    if (FAILED(tc->GetEitSection(0x4E, number, serviceId, &s)) || s == nullptr) {
        printf("  %s: (not received)\n", label);
        return;
    }
    si::DvbEit eit = si::DecodeDvbEit(Bytes(s));
    tc->FreeEitSection(&s);
    if (eit.events.empty()) {
        printf("  %s: (no event)\n", label);
        return;
    }
    const si::DvbEit::Event& e = eit.events.front();
    const auto* text = si::Find<si::ShortEventDescriptor>(e.descriptors);
    printf("  %s: %s  %s  %s\n", label, e.start_time.Iso().c_str(), e.duration.c_str(),
           text != nullptr ? text->event_name.c_str() : "");
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        fprintf(stderr, "usage: now_next FILE.ts\n");
        return 1;
    }
    if (FAILED(CoInitialize(nullptr))) {
        fprintf(stderr, "now_next: cannot initialise COM\n");
        return 2;
    }
    int result = 2;
    ITableCollector* tc = nullptr;
    QxStream* stream = nullptr;
    HRESULT hr = CoCreateInstance(CLSID_TableCollectorFilter, nullptr, CLSCTX_INPROC_SERVER,
                                  IID_ITableCollector, reinterpret_cast<void**>(&tc));
    if (FAILED(hr)) {
        fprintf(stderr, "now_next: cannot create the filter (0x%08lX); is quenlix.ax registered?\n",
                static_cast<unsigned long>(hr));
    } else if (FAILED(hr = QxStreamOpen(argv[1], tc, &stream)) || FAILED(hr = QxStreamRun(stream)) ||
               FAILED(hr = QxStreamWait(stream, INFINITE))) {
        fprintf(stderr, "now_next: %s: cannot play it (0x%08lX)\n", argv[1], static_cast<unsigned long>(hr));
    } else {
        for (const auto& [serviceId, name] : Services(tc)) {
            printf("service 0x%04X %s\n", serviceId, name.c_str());
            PrintEvent(tc, "now ", 0, serviceId);
            PrintEvent(tc, "next", 1, serviceId);
        }
        result = 0;
    }
    QxStreamClose(stream);
    if (tc != nullptr) {
        tc->Release();
    }
    CoUninitialize();
    return result;
}
