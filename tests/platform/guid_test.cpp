// GUIDs in registry form, both ways.
#include <objbase.h>

#include "platform/posix/testhooks.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace {

// {083863F1-70DE-11D0-BD40-00A0C911CE86}, the filter category that holds registered filters.
DEFINE_GUID(kCategory, 0x083863F1, 0x70DE, 0x11D0, 0xBD, 0x40, 0x00, 0xA0, 0xC9, 0x11, 0xCE, 0x86);

TEST(GuidStringTest, RegistryFormIsBracedUpperCase) {
    WCHAR text[64];
    ASSERT_EQ(StringFromGUID2(kCategory, text, 39), 39);
    EXPECT_STREQ(text, L"{083863F1-70DE-11D0-BD40-00A0C911CE86}");
    ASSERT_EQ(StringFromGUID2(IID_IClassFactory, text, ARRAYSIZE(text)), 39);
    EXPECT_STREQ(text, L"{00000001-0000-0000-C000-000000000046}");
    text[0] = L'#';
    EXPECT_EQ(StringFromGUID2(kCategory, text, 38), 0);
    EXPECT_EQ(text[0], L'#');
}

TEST(GuidStringTest, CreatedGuidsAreVersion4DistinctAndRoundTrip) {
    std::set<std::wstring> seen;
    for (int i = 0; i < 200; ++i) {
        GUID original;
        ASSERT_EQ(CoCreateGuid(&original), S_OK);
        EXPECT_EQ(original.Data3 >> 12, 4);
        EXPECT_EQ(original.Data4[0] & 0xC0, 0x80);
        WCHAR text[39];
        ASSERT_EQ(StringFromGUID2(original, text, 39), 39);
        seen.insert(text);
        CLSID parsed;
        ASSERT_EQ(CLSIDFromString(text, &parsed), NOERROR);
        EXPECT_TRUE(IsEqualGUID(parsed, original));
    }
    EXPECT_EQ(seen.size(), 200u);
    CLSID parsed;
    ASSERT_EQ(CLSIDFromString(L"{083863f1-70de-11d0-bd40-00a0c911ce86}", &parsed), NOERROR);
    EXPECT_EQ(parsed, kCategory) << "lower-case digits are read too";
}

TEST(GuidStringTest, MalformedStringsAreRefused) {
    const WCHAR* bad[] = {
        L"",
        L"083863F1-70DE-11D0-BD40-00A0C911CE86",
        L"{083863F1-70DE-11D0-BD40-00A0C911CE8}",
        L"{083863F1-70DE-11D0-BD40-00A0C911CE86",
        L"{083863F1-70DE-11D0-BD40-00A0C911CE86}x",
        L"{083863F1+70DE-11D0-BD40-00A0C911CE86}",
        L"{083863G1-70DE-11D0-BD40-00A0C911CE86}",
        L"Quenlix.Filter",
    };
    for (const WCHAR* text : bad) {
        CLSID clsid = kCategory;
        EXPECT_EQ(CLSIDFromString(text, &clsid), CO_E_CLASSSTRING)
            << testing::PrintToString(std::wstring(text));
    }
    CLSID clsid = kCategory;
    EXPECT_EQ(CLSIDFromString(nullptr, &clsid), NOERROR);
    EXPECT_EQ(clsid, GUID_NULL);
}

TEST(GuidStringTest, AllocatingFormsUseTheTaskAllocator) {
    long before = TaskMemOutstanding();
    LPOLESTR text = nullptr;
    ASSERT_EQ(StringFromCLSID(kCategory, &text), S_OK);
    EXPECT_STREQ(text, L"{083863F1-70DE-11D0-BD40-00A0C911CE86}");
    EXPECT_EQ(TaskMemOutstanding(), before + 1);
    CoTaskMemFree(text);
    EXPECT_EQ(TaskMemOutstanding(), before);

    TaskMemFailAt(1);
    text = reinterpret_cast<LPOLESTR>(1);
    EXPECT_EQ(StringFromIID(IID_IUnknown, &text), E_OUTOFMEMORY);
    EXPECT_EQ(text, nullptr);
    TaskMemFailAt(0);
}

} // namespace
