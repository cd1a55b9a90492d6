// The platform's filter mapper: created by class identifier, writing where Windows keeps filters.
#include <objbase.h>
#include <strmif.h>
#include <uuids.h>

#include "scratch_registry.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

using namespace platformtest;

// {13E1554D-A79F-4D21-BAA4-AFD0FF70F357}
DEFINE_GUID(kFilter, 0x13e1554d, 0xa79f, 0x4d21, 0xba, 0xa4, 0xaf, 0xd0, 0xff, 0x70, 0xf3, 0x57);
DEFINE_GUID(kPinCategory, 0x11111111, 0x2222, 0x3333, 0x44, 0x44, 0x55, 0x55, 0x55, 0x55, 0x55, 0x55);
DEFINE_GUID(kMedium, 0x66666666, 0x7777, 0x8888, 0x99, 0x99, 0xaa, 0xaa, 0xaa, 0xaa, 0xaa, 0xaa);

// A value of the given type, as FilterData and the older layout's values are read.
std::vector<BYTE> ReadValue(const std::wstring& path, const wchar_t* name, DWORD expectedType) {
    DWORD type = REG_NONE;
    std::vector<BYTE> data = Value(path, name, &type);
    EXPECT_EQ(type, expectedType) << testing::PrintToString(std::wstring(name != nullptr ? name : L"@"));
    return data;
}

GUID GuidAt(const std::vector<BYTE>& data, size_t offset) {
    GUID guid = GUID_NULL;
    if (offset + sizeof guid <= data.size()) {
        std::memcpy(&guid, data.data() + offset, sizeof guid);
    }
    return guid;
}

class FilterMapperTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(CoInitialize(nullptr), S_OK); }
    void TearDown() override { CoUninitialize(); }
    template <class T> static T* Create(REFCLSID clsid, REFIID iid) {
        T* mapper = nullptr;
        EXPECT_EQ(
            CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, iid, reinterpret_cast<void**>(&mapper)),
            S_OK);
        return mapper;
    }
    ScratchRegistry m_registry;
};

TEST_F(FilterMapperTest, FilterDataDescribesPinsAndTypes) {
    IFilterMapper2* mapper = Create<IFilterMapper2>(CLSID_FilterMapper2, IID_IFilterMapper2);
    ASSERT_NE(mapper, nullptr);
    REGPINTYPES types[] = {{&MEDIATYPE_MPEG2_SECTIONS, &MEDIASUBTYPE_None},
                           {&MEDIATYPE_MPEG2_SECTIONS, nullptr}};
    REGPINMEDIUM medium{kMedium, 1, 2};
    REGFILTERPINS2 pins[2]{};
    pins[0].dwFlags = REG_PINFLAG_B_RENDERER;
    pins[0].nMediaTypes = 2;
    pins[0].lpMediaType = types;
    pins[0].nMediums = 1;
    pins[0].lpMedium = &medium;
    pins[0].clsPinCategory = &kPinCategory;
    pins[1].dwFlags = REG_PINFLAG_B_OUTPUT | REG_PINFLAG_B_MANY;
    pins[1].cInstances = 3;
    REGFILTER2 setup{};
    setup.dwVersion = 2;
    setup.dwMerit = MERIT_NORMAL;
    setup.cPins2 = 2;
    setup.rgPins2 = pins;
    ASSERT_EQ(mapper->RegisterFilter(kFilter, L"Sections", nullptr, &kPinCategory, L"one", &setup), S_OK);
    mapper->Release();

    std::wstring key = L"CLSID\\{11111111-2222-3333-4444-555555555555}\\Instance\\one";
    std::vector<BYTE> data = ReadValue(key, L"FilterData", REG_BINARY);
    ASSERT_GE(data.size(), 16u);
    EXPECT_EQ(At(data, 4), static_cast<DWORD>(MERIT_NORMAL));
    EXPECT_EQ(At(data, 8), 2u);

    size_t at = 16;
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&data[at]), 4), "0pi3");
    EXPECT_EQ(At(data, at + 4), static_cast<DWORD>(REG_PINFLAG_B_RENDERER));
    EXPECT_EQ(At(data, at + 12), 2u) << "media types";
    EXPECT_EQ(At(data, at + 16), 1u) << "mediums";
    EXPECT_EQ(At(data, at + 20), 1u) << "has a category";
    EXPECT_EQ(GuidAt(data, At(data, at + 24)), kPinCategory);
    at += 28;
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&data[at]), 4), "0ty3");
    EXPECT_EQ(GuidAt(data, At(data, at + 8)), MEDIATYPE_MPEG2_SECTIONS);
    EXPECT_EQ(GuidAt(data, At(data, at + 12)), MEDIASUBTYPE_None);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&data[at + 16]), 4), "1ty3");
    EXPECT_EQ(At(data, at + 24), At(data, at + 8)) << "a GUID is stored once";
    EXPECT_EQ(GuidAt(data, At(data, at + 28)), GUID_NULL) << "a null subtype is the wildcard";
    at += 32;
    REGPINMEDIUM stored;
    std::memcpy(&stored, &data[At(data, at)], sizeof stored);
    EXPECT_EQ(stored.clsMedium, kMedium);
    EXPECT_EQ(stored.dw2, 2u);
    at += 4;
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&data[at]), 4), "1pi3");
    EXPECT_EQ(At(data, at + 4), static_cast<DWORD>(REG_PINFLAG_B_OUTPUT | REG_PINFLAG_B_MANY));
    EXPECT_EQ(At(data, at + 8), 3u);
    EXPECT_EQ(At(data, at + 20), 0u);
}

TEST_F(FilterMapperTest, OlderInterfaceKeepsItsOwnLayout) {
    IFilterMapper* mapper = Create<IFilterMapper>(CLSID_FilterMapper, IID_IFilterMapper);
    ASSERT_NE(mapper, nullptr);
    EXPECT_EQ(mapper->UnregisterFilter(kFilter), HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND));
    ASSERT_EQ(mapper->RegisterFilter(kFilter, L"Korvane Trevasi Filter", MERIT_DO_NOT_USE), S_OK);
    ASSERT_EQ(mapper->RegisterPin(kFilter, L"Input", TRUE, FALSE, FALSE, FALSE, GUID_NULL, nullptr), S_OK);
    ASSERT_EQ(mapper->RegisterPinType(kFilter, L"Input", MEDIATYPE_MPEG2_SECTIONS, MEDIASUBTYPE_None), S_OK);

    const std::wstring clsidKey = L"CLSID\\{13E1554D-A79F-4D21-BAA4-AFD0FF70F357}";
    EXPECT_EQ(StringValue(L"Filter\\{13E1554D-A79F-4D21-BAA4-AFD0FF70F357}"), L"Korvane Trevasi Filter");
    EXPECT_EQ(At(ReadValue(clsidKey, L"Merit", REG_DWORD), 0), 0x00200000u);
    EXPECT_EQ(At(ReadValue(clsidKey + L"\\Pins\\Input", L"IsRendered", REG_DWORD), 0), 1u);
    EXPECT_TRUE(KeyExists(clsidKey + L"\\Pins\\Input\\Types\\{455F176C-4B06-47CE-9AEF-8CAEF73DF7B5}\\"
                                     L"{E436EB8E-524F-11CE-9F53-0020AF0BA770}"));

    ASSERT_EQ(mapper->UnregisterFilter(kFilter), S_OK);
    EXPECT_FALSE(KeyExists(L"Filter\\{13E1554D-A79F-4D21-BAA4-AFD0FF70F357}"));
    EXPECT_FALSE(KeyExists(clsidKey + L"\\Pins"));
    EXPECT_TRUE(KeyExists(clsidKey)) << "the COM server keys are not the mapper's";
    EXPECT_EQ(mapper->Release(), 0u);
}

TEST_F(FilterMapperTest, RefusesWhatItCannotDo) {
    IFilterMapper2* mapper = Create<IFilterMapper2>(CLSID_FilterMapper2, IID_IFilterMapper2);
    ASSERT_NE(mapper, nullptr);
    EXPECT_EQ(mapper->UnregisterFilter(nullptr, nullptr, kFilter), HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(mapper->RegisterFilter(kFilter, L"x", nullptr, nullptr, nullptr, nullptr), E_POINTER);
    REGFILTER2 setup{};
    setup.dwVersion = 3;
    EXPECT_EQ(mapper->RegisterFilter(kFilter, L"x", nullptr, nullptr, nullptr, &setup), E_INVALIDARG);
    setup.dwVersion = 1;
    EXPECT_EQ(mapper->RegisterFilter(kFilter, nullptr, nullptr, nullptr, nullptr, &setup),
              HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND))
        << "without a name, the class must be registered to lend its own";
    IEnumMoniker* matches = reinterpret_cast<IEnumMoniker*>(1);
    EXPECT_EQ(mapper->EnumMatchingFilters(&matches, 0, FALSE, 0, FALSE, 0, nullptr, nullptr, nullptr, FALSE,
                                          FALSE, 0, nullptr, nullptr, nullptr),
              E_NOTIMPL);
    EXPECT_EQ(matches, nullptr);
    void* other = nullptr;
    EXPECT_EQ(mapper->QueryInterface(IID_IClassFactory, &other), E_NOINTERFACE);
    mapper->Release();

    int notAnObject = 0;
    EXPECT_EQ(CoCreateInstance(CLSID_FilterMapper2, reinterpret_cast<IUnknown*>(&notAnObject),
                               CLSCTX_INPROC_SERVER, IID_IUnknown, &other),
              CLASS_E_NOAGGREGATION);
}

} // namespace
