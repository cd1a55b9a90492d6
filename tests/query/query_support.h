// Helpers of the ITableCollector tests: a filter held through the interface; the sections come from
// the store tests' builders.
#pragma once
#include "baseclasses/allocation.h"
#include "filter/TableCollectorFilter.h"
#include "support/core/atsc_builder.h"
#include "support/core/section_builder.h"
#include "tables/store_test_support.h"
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

// Files a section in one of the filter's stores, named by its member.
template <auto Store> HRESULT AddTo(TableCollectorFilter& f, const Bytes& bytes) {
    return Add(*(f.*Store), bytes);
}

// SDT actual (0x42) without services.
inline Bytes BuildSdt(uint16_t tsid, uint8_t version, uint8_t section, uint8_t last) {
    return BuildSdt(0x42, tsid, version, section, last);
}

} // namespace qxtest
