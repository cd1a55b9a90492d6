// Helpers of the ITableCollector tests: a filter held through the interface, copies that free
// themselves, and sections for every table the filter collects.
#pragma once
#include "baseclasses/allocation.h"
#include "filter/TableCollectorFilter.h"
#include "support/core/atsc_builder.h"
#include "support/core/section_builder.h"
#include "tables/section.h"

#include <windows.h>
#include <quenlix.h>

#include <memory>
#include <vector>

namespace qxtest {

// A filter made through its creation function and held through ITableCollector. Without a result
// slot the object has neither pin nor stores.
class Collector {
public:
    explicit Collector(bool withResult = true) {
        CUnknown* object = TableCollectorFilter::CreateInstance(nullptr, withResult ? &hr : nullptr);
        filter = static_cast<TableCollectorFilter*>(object);
        if (filter != nullptr) {
            filter->NonDelegatingQueryInterface(IID_ITableCollector, reinterpret_cast<void**>(&itf));
        }
    }
    ~Collector() {
        if (itf != nullptr) {
            itf->Release();
        }
    }
    Collector(const Collector&) = delete;
    Collector& operator=(const Collector&) = delete;

    ITableCollector* operator->() const { return itf; }

    HRESULT hr = E_UNEXPECTED;
    TableCollectorFilter* filter = nullptr;
    ITableCollector* itf = nullptr;
};

// A filter whose construction ran out of memory where pred first holds (pred sees the filter);
// tries each allocation of the construction in turn. Null itf when no such point exists.
template <class Pred> void MakeStoppedCollector(std::unique_ptr<Collector>& out, Pred pred) {
    for (unsigned long n = 1; n < 1000; ++n) {
        MemFailAt(n);
        auto candidate = std::make_unique<Collector>();
        MemFailAt(0);
        if (candidate->filter != nullptr && pred(*candidate->filter)) {
            out = std::move(candidate);
            return;
        }
        if (candidate->hr == S_OK) {
            return;
        }
    }
}

// A copy handed out through the interface, released with the shared release when still held.
struct Copy {
    StoredSection* p = nullptr;
    ~Copy() {
        if (p != nullptr) {
            FreeSection(&p);
        }
    }
    StoredSection** out() { return &p; }
    Bytes bytes() const { return p == nullptr ? Bytes() : Bytes(p->bytes, p->bytes + p->length); }
};

template <class Store> HRESULT Add(Store* store, const Bytes& bytes) {
    return store->AddSection(static_cast<DWORD>(bytes.size()), bytes.data());
}

inline Bytes Length12(size_t v) {
    return {static_cast<uint8_t>(0xF0 | ((v >> 8) & 0x0F)), static_cast<uint8_t>(v & 0xFF)};
}

// NIT (0x40) or BAT (0x4A) without descriptors or transport streams.
inline Bytes BuildNitLike(uint8_t tableId, uint16_t id, uint8_t version, uint8_t section, uint8_t last) {
    SectionBuilder b;
    b.Table(tableId).Extension(id).Version(version).Number(section, last);
    Bytes body = Length12(0);
    Bytes loop = Length12(0);
    body.insert(body.end(), loop.begin(), loop.end());
    return b.Body(body).Build();
}

inline Bytes BuildSdt(uint16_t tsid, uint8_t version, uint8_t section, uint8_t last) {
    SectionBuilder b;
    b.Table(0x42).Extension(tsid).Version(version).Number(section, last).Append16(0x1234).Append({0xFF});
    return b.Build();
}

inline Bytes BuildCat(uint8_t version, uint8_t section, uint8_t last) {
    return SectionBuilder().Table(0x01).Extension(0xFFFF).Version(version).Number(section, last).Build();
}

inline Bytes BuildEit(uint8_t tableId, uint16_t serviceId, uint8_t version, uint8_t section, uint8_t last,
                      uint8_t segmentLast) {
    SectionBuilder b;
    b.Table(tableId).Extension(serviceId).Version(version).Number(section, last);
    b.Append16(0x0001).Append16(0x0002).Append({segmentLast, tableId});
    return b.Build();
}

inline Bytes BuildTdt(uint8_t second = 0x56) {
    return {0x70, 0x70, 0x05, 0xE8, 0x3C, 0x12, 0x34, second};
}

inline Bytes BuildTot() {
    Bytes s = {0x73, 0x70, 0x0B, 0xE8, 0x3C, 0x12, 0x34, 0x56, 0xF0, 0x00, 0, 0, 0, 0};
    FixCrc(s);
    return s;
}

inline Bytes BuildRst() {
    return {0x71, 0x70, 0x09, 0x00, 0x01, 0x00, 0x02, 0x00, 0x03, 0x00, 0x10, 0xF4};
}


} // namespace qxtest
