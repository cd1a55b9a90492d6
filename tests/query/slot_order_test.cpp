// Calls every slot of ITableCollector through the C view's call macros and checks that each reaches the
// method of that name in the C++ view, at the slot's position. This translation unit sees only the C view
// (CINTERFACE), as a C application would.
#define CINTERFACE
#define COBJMACROS
#include <quenlix.h>

#include "slot_recorder.h"
#include "slots.h"

#include <gtest/gtest.h>

#include <cstddef>

namespace {

using SlotCall = HRESULT (*)(ITableCollector* p, ULONG& value, StoredSection*& section);

struct Slot {
    const char* name;
    size_t offset;
    SlotCall call;
};

// Calls the slot of that name through its call macro, with harmless arguments.
#define QX_ARGS(...) __VA_OPT__(, ) __VA_ARGS__
#define QX_CALL(macro, ...) macro(__VA_ARGS__)
#define QX_SLOT(Name, params, args)                                                                          \
    Slot{#Name, offsetof(ITableCollectorVtbl, Name),                                                         \
         [](ITableCollector* p, ULONG& value, StoredSection*& section) -> HRESULT {                          \
             (void)value;                                                                                    \
             (void)section;                                                                                  \
             return QX_CALL(ITableCollector_##Name, p QX_ARGS args);                                         \
         }},
const Slot kSlots[] = {QX_COLLECTOR_SLOTS(QX_SLOT)};
#undef QX_SLOT

struct Recorder {
    void* raw = NewSlotRecorder();
    ~Recorder() { DeleteSlotRecorder(raw); }
    ITableCollector* itf() const { return static_cast<ITableCollector*>(raw); }
    const char* last() const { return LastReachedMethod(raw); }
};

TEST(SlotOrder, EverySlotReachesTheMethodOfItsName) {
    ASSERT_EQ(std::size(kSlots), 76u);
    EXPECT_EQ(sizeof(ITableCollectorVtbl), (3 + 76) * sizeof(void*));
    Recorder recorder;
    for (size_t i = 0; i < std::size(kSlots); ++i) {
        const Slot& slot = kSlots[i];
        SCOPED_TRACE(slot.name);
        EXPECT_EQ(slot.offset, (3 + i) * sizeof(void*));
        ULONG value = 0;
        StoredSection* section = nullptr;
        EXPECT_EQ(slot.call(recorder.itf(), value, section), S_OK);
        EXPECT_STREQ(recorder.last(), slot.name);
    }
}

TEST(SlotOrder, IUnknownComesFirst) {
    EXPECT_EQ(offsetof(ITableCollectorVtbl, QueryInterface), 0 * sizeof(void*));
    EXPECT_EQ(offsetof(ITableCollectorVtbl, AddRef), 1 * sizeof(void*));
    EXPECT_EQ(offsetof(ITableCollectorVtbl, Release), 2 * sizeof(void*));
    Recorder recorder;
    void* out = &recorder;
    EXPECT_EQ(ITableCollector_QueryInterface(recorder.itf(), IID_ITableCollector, &out), S_OK);
    EXPECT_STREQ(recorder.last(), "QueryInterface");
    ITableCollector_AddRef(recorder.itf());
    EXPECT_STREQ(recorder.last(), "AddRef");
    ITableCollector_Release(recorder.itf());
    EXPECT_STREQ(recorder.last(), "Release");
}

} // namespace

size_t SlotCount() {
    return std::size(kSlots);
}

const char* SlotName(size_t slot) {
    return kSlots[slot].name;
}

HRESULT CallSlot(size_t slot, void* itf, ULONG& value, StoredSection*& section) {
    return kSlots[slot].call(static_cast<ITableCollector*>(itf), value, section);
}
