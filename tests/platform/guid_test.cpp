// GUIDs in registry form, both ways.
#include <objbase.h>

#include "platform/posix/testhooks.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// {083863F1-70DE-11D0-BD40-00A0C911CE86}, the filter category that holds registered filters.
DEFINE_GUID(kCategory, 0x083863F1, 0x70DE, 0x11D0, 0xBD, 0x40, 0x00, 0xA0, 0xC9, 0x11, 0xCE, 0x86);

TEST(GuidStringTest, RegistryFormIsBracedUpperCaseAndReadsBack) {
    WCHAR text[64];
    ASSERT_EQ(StringFromGUID2(kCategory, text, 39), 39);
    EXPECT_STREQ(text, L"{083863F1-70DE-11D0-BD40-00A0C911CE86}");
    text[0] = L'#';
    EXPECT_EQ(StringFromGUID2(kCategory, text, 38), 0);
    EXPECT_EQ(text[0], L'#');

    GUID created;
    ASSERT_EQ(CoCreateGuid(&created), S_OK);
    EXPECT_EQ(created.Data3 >> 12, 4);
    ASSERT_EQ(StringFromGUID2(created, text, 39), 39);
    CLSID parsed;
    ASSERT_EQ(CLSIDFromString(text, &parsed), NOERROR);
    EXPECT_EQ(parsed, created);
    ASSERT_EQ(CLSIDFromString(L"{083863f1-70de-11d0-bd40-00a0c911ce86}", &parsed), NOERROR);
    EXPECT_EQ(parsed, kCategory) << "lower-case digits are read too";
}

TEST(GuidStringTest, MalformedStringsAreRefused) {
    for (const WCHAR* text :
         {L"", L"083863F1-70DE-11D0-BD40-00A0C911CE86", L"{083863F1-70DE-11D0-BD40-00A0C911CE8}",
          L"{083863F1-70DE-11D0-BD40-00A0C911CE86}x", L"{083863F1+70DE-11D0-BD40-00A0C911CE86}",
          L"{083863G1-70DE-11D0-BD40-00A0C911CE86}"}) {
        CLSID clsid = kCategory;
        EXPECT_EQ(CLSIDFromString(text, &clsid), CO_E_CLASSSTRING)
            << testing::PrintToString(std::wstring(text));
    }
}

TEST(GuidStringTest, AllocatingFormsUseTheTaskAllocator) {
    long before = TaskMemOutstanding();
    LPOLESTR text = nullptr;
    ASSERT_EQ(StringFromCLSID(kCategory, &text), S_OK);
    EXPECT_STREQ(text, L"{083863F1-70DE-11D0-BD40-00A0C911CE86}");
    CoTaskMemFree(text);
    EXPECT_EQ(TaskMemOutstanding(), before);

    TaskMemFailAt(1);
    text = reinterpret_cast<LPOLESTR>(1);
    EXPECT_EQ(StringFromIID(IID_IUnknown, &text), E_OUTOFMEMORY);
    EXPECT_EQ(text, nullptr);
    TaskMemFailAt(0);
}

} // namespace
