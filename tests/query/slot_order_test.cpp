// Calls every slot of ITableCollector through the C view's call macros and checks that each reaches the
// method of that name in the C++ view, at the slot's position. This translation unit sees only the C view
// (CINTERFACE), as a C application would.
#define CINTERFACE
#define COBJMACROS
#include <quenlix.h>

#include "slot_recorder.h"

#include <gtest/gtest.h>

#include <cstddef>

namespace {

using SlotCall = HRESULT (*)(ITableCollector* p, ULONG& value, StoredSection*& section);

struct Slot {
    size_t slot;
    const char* name;
    size_t offset;
    SlotCall call;
};

// Calls the slot of that name through its call macro, with harmless arguments.
#define SLOT(number, Name, ...)                                                                              \
    Slot {                                                                                                   \
        number, #Name, offsetof(ITableCollectorVtbl, Name),                                                  \
            [](ITableCollector* p, ULONG& value, StoredSection*& section) -> HRESULT {                       \
                (void)value;                                                                                 \
                (void)section;                                                                               \
                return ITableCollector_##Name(p __VA_OPT__(, ) __VA_ARGS__);                                 \
            }                                                                                                \
    }

// The slot order applications and the property page call by.
// clang-format off
const Slot kSlots[] = {
    SLOT(3, ResetAllTables),
    SLOT(4, SetRequestedPids, 0, nullptr),
    SLOT(5, IsRequestedPidSeen, 0, &value),
    SLOT(6, UnmapRequestedPids),
    SLOT(7, GetPatStatus, &value),
    SLOT(8, GetPatSectionCount, &value),
    SLOT(9, GetPatSection, 0, &section),
    SLOT(10, FreePatSection, &section),
    SLOT(11, ResetPat),
    SLOT(12, GetPmtStatus, &value),
    SLOT(13, GetPmtSectionCount, &value),
    SLOT(14, GetPmtSection, 0, 0, &section),
    SLOT(15, FreePmtSection, &section),
    SLOT(16, ResetPmt),
    SLOT(17, GetNitStatus, 0, &value),
    SLOT(18, GetNitSectionCount, 0, &value),
    SLOT(19, GetNitSection, 0, 0, &section),
    SLOT(20, FreeNitSection, &section),
    SLOT(21, ResetNit),
    SLOT(22, GetBatStatus, &value),
    SLOT(23, GetBatSectionCount, &value),
    SLOT(24, GetBatSection, 0, &section),
    SLOT(25, FreeBatSection, &section),
    SLOT(26, ResetBat),
    SLOT(27, GetSdtStatus, 0, &value),
    SLOT(28, GetSdtSectionCount, 0, &value),
    SLOT(29, GetSdtSection, 0, 0, &section),
    SLOT(30, FreeSdtSection, &section),
    SLOT(31, ResetSdt),
    SLOT(32, GetEitStatus, 0, &value),
    SLOT(33, GetEitSectionCount, 0, &value),
    SLOT(34, GetEitSection, 0, 0, 0, &section),
    SLOT(35, FreeEitSection, &section),
    SLOT(36, ResetEit),
    SLOT(37, SetEitResetOnVersionChange, FALSE),
    SLOT(38, GetTdtStatus, &value),
    SLOT(39, GetTdtSection, &section),
    SLOT(40, FreeTdtSection, &section),
    SLOT(41, ResetTdt),
    SLOT(42, GetTotStatus, &value),
    SLOT(43, GetTotSection, &section),
    SLOT(44, FreeTotSection, &section),
    SLOT(45, ResetTot),
    SLOT(46, GetRstStatus, &value),
    SLOT(47, GetRstSection, &section),
    SLOT(48, FreeRstSection, &section),
    SLOT(49, ResetRst),
    SLOT(50, GetCatStatus, &value),
    SLOT(51, GetCatSectionCount, &value),
    SLOT(52, GetCatSection, 0, &section),
    SLOT(53, FreeCatSection, &section),
    SLOT(54, ResetCat),
    SLOT(55, GetMgtStatus, &value),
    SLOT(56, GetMgtSection, &section),
    SLOT(57, FreeMgtSection, &section),
    SLOT(58, ResetMgt),
    SLOT(59, GetVctStatus, &value),
    SLOT(60, GetVctSectionCount, &value),
    SLOT(61, GetVctSection, 0, &section),
    SLOT(62, FreeVctSection, &section),
    SLOT(63, ResetVct),
    SLOT(64, GetSttStatus, &value),
    SLOT(65, GetSttSection, &section),
    SLOT(66, FreeSttSection, &section),
    SLOT(67, ResetStt),
    SLOT(68, GetAtscEitStatus, 0, &value),
    SLOT(69, GetAtscEitSectionCount, 0, &value),
    SLOT(70, GetAtscEitSection, 0, 0, 0, &section),
    SLOT(71, FreeAtscEitSection, &section),
    SLOT(72, ResetAtscEit),
    SLOT(73, SetAtscEitResetOnVersionChange, FALSE),
    SLOT(74, GetEttSectionCount, &value),
    SLOT(75, GetEttSection, 0, &section),
    SLOT(76, FreeEttSection, &section),
    SLOT(77, ResetEtt),
    SLOT(78, EnableEttCollection, FALSE),
};
// clang-format on

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
    for (const Slot& slot : kSlots) {
        SCOPED_TRACE(slot.name);
        EXPECT_EQ(slot.offset, slot.slot * sizeof(void*));
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
