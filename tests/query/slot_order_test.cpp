// Calls every slot of ITableCollector through the C view, by position, and checks that it reaches the
// method of that name in the C++ view. This translation unit sees only the C view (CINTERFACE), as a
// C application would.
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

// The slot order applications and the property page call by.
const Slot kSlots[] = {
    {3, "ResetAllTables", offsetof(ITableCollectorVtbl, ResetAllTables),
     [](ITableCollector* p, ULONG& value, StoredSection*& section) { return p->lpVtbl->ResetAllTables(p); }},
    {4, "SetRequestedPids", offsetof(ITableCollectorVtbl, SetRequestedPids),
     [](ITableCollector* p, ULONG& value, StoredSection*& section) {
         return p->lpVtbl->SetRequestedPids(p, 0, nullptr);
     }},
    {5, "IsRequestedPidSeen", offsetof(ITableCollectorVtbl, IsRequestedPidSeen),
     [](ITableCollector* p, ULONG& value, StoredSection*& section) {
         return p->lpVtbl->IsRequestedPidSeen(p, 0, &value);
     }},
    {6, "UnmapRequestedPids", offsetof(ITableCollectorVtbl, UnmapRequestedPids),
     [](ITableCollector* p, ULONG& value, StoredSection*& section) {
         return p->lpVtbl->UnmapRequestedPids(p);
     }},
    {7, "GetPatStatus", offsetof(ITableCollectorVtbl, GetPatStatus),
     [](ITableCollector* p, ULONG& value, StoredSection*& section) {
         return p->lpVtbl->GetPatStatus(p, &value);
     }},
    {8, "GetPatSectionCount", offsetof(ITableCollectorVtbl, GetPatSectionCount),
     [](ITableCollector* p, ULONG& value, StoredSection*& section) {
         return p->lpVtbl->GetPatSectionCount(p, &value);
     }},
    {9, "GetPatSection", offsetof(ITableCollectorVtbl, GetPatSection),
     [](ITableCollector* p, ULONG& value, StoredSection*& section) {
         return p->lpVtbl->GetPatSection(p, 0, &section);
     }},
    {10, "FreePatSection", offsetof(ITableCollectorVtbl, FreePatSection),
     [](ITableCollector* p, ULONG& value, StoredSection*& section) {
         return p->lpVtbl->FreePatSection(p, &section);
     }},
    {11, "ResetPat", offsetof(ITableCollectorVtbl, ResetPat),
     [](ITableCollector* p, ULONG& value, StoredSection*& section) { return p->lpVtbl->ResetPat(p); }},
    {12, "GetPmtStatus", offsetof(ITableCollectorVtbl, GetPmtStatus),
     [](ITableCollector* p, ULONG& value, StoredSection*& section) {
         return p->lpVtbl->GetPmtStatus(p, &value);
     }},
    {13, "GetPmtSectionCount", offsetof(ITableCollectorVtbl, GetPmtSectionCount),
     [](ITableCollector* p, ULONG& value, StoredSection*& section) {
         return p->lpVtbl->GetPmtSectionCount(p, &value);
     }},
    {14, "GetPmtSection", offsetof(ITableCollectorVtbl, GetPmtSection),
     [](ITableCollector* p, ULONG& value, StoredSection*& section) {
         return p->lpVtbl->GetPmtSection(p, 0, 0, &section);
     }},
    {15, "FreePmtSection", offsetof(ITableCollectorVtbl, FreePmtSection),
     [](ITableCollector* p, ULONG& value, StoredSection*& section) {
         return p->lpVtbl->FreePmtSection(p, &section);
     }},
    {16, "ResetPmt", offsetof(ITableCollectorVtbl, ResetPmt),
     [](ITableCollector* p, ULONG& value, StoredSection*& section) { return p->lpVtbl->ResetPmt(p); }},
    {17, "GetNitStatus", offsetof(ITableCollectorVtbl, GetNitStatus),
     [](ITableCollector* p, ULONG& value, StoredSection*& section) {
         return p->lpVtbl->GetNitStatus(p, 0, &value);
     }},
    {18, "GetNitSectionCount", offsetof(ITableCollectorVtbl, GetNitSectionCount),
     [](ITableCollector* p, ULONG& value, StoredSection*& section) {
         return p->lpVtbl->GetNitSectionCount(p, 0, &value);
     }},
    {19, "GetNitSection", offsetof(ITableCollectorVtbl, GetNitSection),
     [](ITableCollector* p, ULONG& value, StoredSection*& section) {
         return p->lpVtbl->GetNitSection(p, 0, 0, &section);
     }},
    {20, "FreeNitSection", offsetof(ITableCollectorVtbl, FreeNitSection),
     [](ITableCollector* p, ULONG& value, StoredSection*& section) {
         return p->lpVtbl->FreeNitSection(p, &section);
     }},
    {21, "ResetNit", offsetof(ITableCollectorVtbl, ResetNit),
     [](ITableCollector* p, ULONG& value, StoredSection*& section) { return p->lpVtbl->ResetNit(p); }},
    {22, "GetBatStatus", offsetof(ITableCollectorVtbl, GetBatStatus),
     [](ITableCollector* p, ULONG& value, StoredSection*& section) {
         return p->lpVtbl->GetBatStatus(p, &value);
     }},
    {23, "GetBatSectionCount", offsetof(ITableCollectorVtbl, GetBatSectionCount),
     [](ITableCollector* p, ULONG& value, StoredSection*& section) {
         return p->lpVtbl->GetBatSectionCount(p, &value);
     }},
    {24, "GetBatSection", offsetof(ITableCollectorVtbl, GetBatSection),
     [](ITableCollector* p, ULONG& value, StoredSection*& section) {
         return p->lpVtbl->GetBatSection(p, 0, &section);
     }},
    {25, "FreeBatSection", offsetof(ITableCollectorVtbl, FreeBatSection),
     [](ITableCollector* p, ULONG& value, StoredSection*& section) {
         return p->lpVtbl->FreeBatSection(p, &section);
     }},
    {26, "ResetBat", offsetof(ITableCollectorVtbl, ResetBat),
     [](ITableCollector* p, ULONG& value, StoredSection*& section) { return p->lpVtbl->ResetBat(p); }},
    {27, "GetSdtStatus", offsetof(ITableCollectorVtbl, GetSdtStatus),
     [](ITableCollector* p, ULONG& value, StoredSection*& section) {
         return p->lpVtbl->GetSdtStatus(p, 0, &value);
     }},
    {28, "GetSdtSectionCount", offsetof(ITableCollectorVtbl, GetSdtSectionCount),
     [](ITableCollector* p, ULONG& value, StoredSection*& section) {
         return p->lpVtbl->GetSdtSectionCount(p, 0, &value);
     }},
    {29, "GetSdtSection", offsetof(ITableCollectorVtbl, GetSdtSection),
     [](ITableCollector* p, ULONG& value, StoredSection*& section) {
         return p->lpVtbl->GetSdtSection(p, 0, 0, &section);
     }},
    {30, "FreeSdtSection", offsetof(ITableCollectorVtbl, FreeSdtSection),
     [](ITableCollector* p, ULONG& value, StoredSection*& section) {
         return p->lpVtbl->FreeSdtSection(p, &section);
     }},
    {31, "ResetSdt", offsetof(ITableCollectorVtbl, ResetSdt),
     [](ITableCollector* p, ULONG& value, StoredSection*& section) { return p->lpVtbl->ResetSdt(p); }},
    {32, "GetEitStatus", offsetof(ITableCollectorVtbl, GetEitStatus),
     [](ITableCollector* p, ULONG& value, StoredSection*& section) {
         return p->lpVtbl->GetEitStatus(p, 0, &value);
     }},
    {33, "GetEitSectionCount", offsetof(ITableCollectorVtbl, GetEitSectionCount),
     [](ITableCollector* p, ULONG& value, StoredSection*& section) {
         return p->lpVtbl->GetEitSectionCount(p, 0, &value);
     }},
    {34, "GetEitSection", offsetof(ITableCollectorVtbl, GetEitSection),
     [](ITableCollector* p, ULONG& value, StoredSection*& section) {
         return p->lpVtbl->GetEitSection(p, 0, 0, 0, &section);
     }},
    {35, "FreeEitSection", offsetof(ITableCollectorVtbl, FreeEitSection),
     [](ITableCollector* p, ULONG& value, StoredSection*& section) {
         return p->lpVtbl->FreeEitSection(p, &section);
     }},
    {36, "ResetEit", offsetof(ITableCollectorVtbl, ResetEit),
     [](ITableCollector* p, ULONG& value, StoredSection*& section) { return p->lpVtbl->ResetEit(p); }},
    {37, "SetEitResetOnVersionChange", offsetof(ITableCollectorVtbl, SetEitResetOnVersionChange),
     [](ITableCollector* p, ULONG& value, StoredSection*& section) {
         return p->lpVtbl->SetEitResetOnVersionChange(p, 0);
     }},
    {38, "GetTdtStatus", offsetof(ITableCollectorVtbl, GetTdtStatus),
     [](ITableCollector* p, ULONG& value, StoredSection*& section) {
         return p->lpVtbl->GetTdtStatus(p, &value);
     }},
    {39, "GetTdtSection", offsetof(ITableCollectorVtbl, GetTdtSection),
     [](ITableCollector* p, ULONG& value, StoredSection*& section) {
         return p->lpVtbl->GetTdtSection(p, &section);
     }},
    {40, "FreeTdtSection", offsetof(ITableCollectorVtbl, FreeTdtSection),
     [](ITableCollector* p, ULONG& value, StoredSection*& section) {
         return p->lpVtbl->FreeTdtSection(p, &section);
     }},
    {41, "ResetTdt", offsetof(ITableCollectorVtbl, ResetTdt),
     [](ITableCollector* p, ULONG& value, StoredSection*& section) { return p->lpVtbl->ResetTdt(p); }},
    {42, "GetTotStatus", offsetof(ITableCollectorVtbl, GetTotStatus),
     [](ITableCollector* p, ULONG& value, StoredSection*& section) {
         return p->lpVtbl->GetTotStatus(p, &value);
     }},
    {43, "GetTotSection", offsetof(ITableCollectorVtbl, GetTotSection),
     [](ITableCollector* p, ULONG& value, StoredSection*& section) {
         return p->lpVtbl->GetTotSection(p, &section);
     }},
    {44, "FreeTotSection", offsetof(ITableCollectorVtbl, FreeTotSection),
     [](ITableCollector* p, ULONG& value, StoredSection*& section) {
         return p->lpVtbl->FreeTotSection(p, &section);
     }},
    {45, "ResetTot", offsetof(ITableCollectorVtbl, ResetTot),
     [](ITableCollector* p, ULONG& value, StoredSection*& section) { return p->lpVtbl->ResetTot(p); }},
    {46, "GetRstStatus", offsetof(ITableCollectorVtbl, GetRstStatus),
     [](ITableCollector* p, ULONG& value, StoredSection*& section) {
         return p->lpVtbl->GetRstStatus(p, &value);
     }},
    {47, "GetRstSection", offsetof(ITableCollectorVtbl, GetRstSection),
     [](ITableCollector* p, ULONG& value, StoredSection*& section) {
         return p->lpVtbl->GetRstSection(p, &section);
     }},
    {48, "FreeRstSection", offsetof(ITableCollectorVtbl, FreeRstSection),
     [](ITableCollector* p, ULONG& value, StoredSection*& section) {
         return p->lpVtbl->FreeRstSection(p, &section);
     }},
    {49, "ResetRst", offsetof(ITableCollectorVtbl, ResetRst),
     [](ITableCollector* p, ULONG& value, StoredSection*& section) { return p->lpVtbl->ResetRst(p); }},
    {50, "GetCatStatus", offsetof(ITableCollectorVtbl, GetCatStatus),
     [](ITableCollector* p, ULONG& value, StoredSection*& section) {
         return p->lpVtbl->GetCatStatus(p, &value);
     }},
    {51, "GetCatSectionCount", offsetof(ITableCollectorVtbl, GetCatSectionCount),
     [](ITableCollector* p, ULONG& value, StoredSection*& section) {
         return p->lpVtbl->GetCatSectionCount(p, &value);
     }},
    {52, "GetCatSection", offsetof(ITableCollectorVtbl, GetCatSection),
     [](ITableCollector* p, ULONG& value, StoredSection*& section) {
         return p->lpVtbl->GetCatSection(p, 0, &section);
     }},
    {53, "FreeCatSection", offsetof(ITableCollectorVtbl, FreeCatSection),
     [](ITableCollector* p, ULONG& value, StoredSection*& section) {
         return p->lpVtbl->FreeCatSection(p, &section);
     }},
    {54, "ResetCat", offsetof(ITableCollectorVtbl, ResetCat),
     [](ITableCollector* p, ULONG& value, StoredSection*& section) { return p->lpVtbl->ResetCat(p); }},
    {55, "GetMgtStatus", offsetof(ITableCollectorVtbl, GetMgtStatus),
     [](ITableCollector* p, ULONG& value, StoredSection*& section) {
         return p->lpVtbl->GetMgtStatus(p, &value);
     }},
    {56, "GetMgtSection", offsetof(ITableCollectorVtbl, GetMgtSection),
     [](ITableCollector* p, ULONG& value, StoredSection*& section) {
         return p->lpVtbl->GetMgtSection(p, &section);
     }},
    {57, "FreeMgtSection", offsetof(ITableCollectorVtbl, FreeMgtSection),
     [](ITableCollector* p, ULONG& value, StoredSection*& section) {
         return p->lpVtbl->FreeMgtSection(p, &section);
     }},
    {58, "ResetMgt", offsetof(ITableCollectorVtbl, ResetMgt),
     [](ITableCollector* p, ULONG& value, StoredSection*& section) { return p->lpVtbl->ResetMgt(p); }},
    {59, "GetVctStatus", offsetof(ITableCollectorVtbl, GetVctStatus),
     [](ITableCollector* p, ULONG& value, StoredSection*& section) {
         return p->lpVtbl->GetVctStatus(p, &value);
     }},
    {60, "GetVctSectionCount", offsetof(ITableCollectorVtbl, GetVctSectionCount),
     [](ITableCollector* p, ULONG& value, StoredSection*& section) {
         return p->lpVtbl->GetVctSectionCount(p, &value);
     }},
    {61, "GetVctSection", offsetof(ITableCollectorVtbl, GetVctSection),
     [](ITableCollector* p, ULONG& value, StoredSection*& section) {
         return p->lpVtbl->GetVctSection(p, 0, &section);
     }},
    {62, "FreeVctSection", offsetof(ITableCollectorVtbl, FreeVctSection),
     [](ITableCollector* p, ULONG& value, StoredSection*& section) {
         return p->lpVtbl->FreeVctSection(p, &section);
     }},
    {63, "ResetVct", offsetof(ITableCollectorVtbl, ResetVct),
     [](ITableCollector* p, ULONG& value, StoredSection*& section) { return p->lpVtbl->ResetVct(p); }},
    {64, "GetSttStatus", offsetof(ITableCollectorVtbl, GetSttStatus),
     [](ITableCollector* p, ULONG& value, StoredSection*& section) {
         return p->lpVtbl->GetSttStatus(p, &value);
     }},
    {65, "GetSttSection", offsetof(ITableCollectorVtbl, GetSttSection),
     [](ITableCollector* p, ULONG& value, StoredSection*& section) {
         return p->lpVtbl->GetSttSection(p, &section);
     }},
    {66, "FreeSttSection", offsetof(ITableCollectorVtbl, FreeSttSection),
     [](ITableCollector* p, ULONG& value, StoredSection*& section) {
         return p->lpVtbl->FreeSttSection(p, &section);
     }},
    {67, "ResetStt", offsetof(ITableCollectorVtbl, ResetStt),
     [](ITableCollector* p, ULONG& value, StoredSection*& section) { return p->lpVtbl->ResetStt(p); }},
    {68, "GetAtscEitStatus", offsetof(ITableCollectorVtbl, GetAtscEitStatus),
     [](ITableCollector* p, ULONG& value, StoredSection*& section) {
         return p->lpVtbl->GetAtscEitStatus(p, 0, &value);
     }},
    {69, "GetAtscEitSectionCount", offsetof(ITableCollectorVtbl, GetAtscEitSectionCount),
     [](ITableCollector* p, ULONG& value, StoredSection*& section) {
         return p->lpVtbl->GetAtscEitSectionCount(p, 0, &value);
     }},
    {70, "GetAtscEitSection", offsetof(ITableCollectorVtbl, GetAtscEitSection),
     [](ITableCollector* p, ULONG& value, StoredSection*& section) {
         return p->lpVtbl->GetAtscEitSection(p, 0, 0, 0, &section);
     }},
    {71, "FreeAtscEitSection", offsetof(ITableCollectorVtbl, FreeAtscEitSection),
     [](ITableCollector* p, ULONG& value, StoredSection*& section) {
         return p->lpVtbl->FreeAtscEitSection(p, &section);
     }},
    {72, "ResetAtscEit", offsetof(ITableCollectorVtbl, ResetAtscEit),
     [](ITableCollector* p, ULONG& value, StoredSection*& section) { return p->lpVtbl->ResetAtscEit(p); }},
    {73, "SetAtscEitResetOnVersionChange", offsetof(ITableCollectorVtbl, SetAtscEitResetOnVersionChange),
     [](ITableCollector* p, ULONG& value, StoredSection*& section) {
         return p->lpVtbl->SetAtscEitResetOnVersionChange(p, 0);
     }},
    {74, "GetEttSectionCount", offsetof(ITableCollectorVtbl, GetEttSectionCount),
     [](ITableCollector* p, ULONG& value, StoredSection*& section) {
         return p->lpVtbl->GetEttSectionCount(p, &value);
     }},
    {75, "GetEttSection", offsetof(ITableCollectorVtbl, GetEttSection),
     [](ITableCollector* p, ULONG& value, StoredSection*& section) {
         return p->lpVtbl->GetEttSection(p, 0, &section);
     }},
    {76, "FreeEttSection", offsetof(ITableCollectorVtbl, FreeEttSection),
     [](ITableCollector* p, ULONG& value, StoredSection*& section) {
         return p->lpVtbl->FreeEttSection(p, &section);
     }},
    {77, "ResetEtt", offsetof(ITableCollectorVtbl, ResetEtt),
     [](ITableCollector* p, ULONG& value, StoredSection*& section) { return p->lpVtbl->ResetEtt(p); }},
    {78, "EnableEttCollection", offsetof(ITableCollectorVtbl, EnableEttCollection),
     [](ITableCollector* p, ULONG& value, StoredSection*& section) {
         return p->lpVtbl->EnableEttCollection(p, 0);
     }},
};

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

TEST(SlotOrder, CallMacrosNameTheirSlot) {
    Recorder recorder;
    ITableCollector* p = recorder.itf();
    ULONG value = 0;
    StoredSection* section = nullptr;
    ITableCollector_GetPmtSection(p, 0x100, 1, &section);
    EXPECT_STREQ(recorder.last(), "GetPmtSection");
    ITableCollector_GetEitSection(p, 0x4E, 0, 1, &section);
    EXPECT_STREQ(recorder.last(), "GetEitSection");
    ITableCollector_GetAtscEitStatus(p, 0x100, &value);
    EXPECT_STREQ(recorder.last(), "GetAtscEitStatus");
    ITableCollector_EnableEttCollection(p, FALSE);
    EXPECT_STREQ(recorder.last(), "EnableEttCollection");
}

} // namespace
