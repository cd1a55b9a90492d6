// The platform's filter mapper where the module's registration tests do not take it: its refusals.
#include <objbase.h>
#include <strmif.h>
#include <uuids.h>

#include "scratch_registry.h"

#include <gtest/gtest.h>

namespace {

// {13E1554D-A79F-4D21-BAA4-AFD0FF70F357}
DEFINE_GUID(kFilter, 0x13e1554d, 0xa79f, 0x4d21, 0xba, 0xa4, 0xaf, 0xd0, 0xff, 0x70, 0xf3, 0x57);

TEST(FilterMapperTest, RefusesWhatItCannotDo) {
    platformtest::ScratchRegistry registry;
    ASSERT_EQ(CoInitialize(nullptr), S_OK);
    IFilterMapper2* mapper = nullptr;
    ASSERT_EQ(CoCreateInstance(CLSID_FilterMapper2, nullptr, CLSCTX_INPROC_SERVER, IID_IFilterMapper2,
                               reinterpret_cast<void**>(&mapper)),
              S_OK);
    EXPECT_EQ(mapper->UnregisterFilter(nullptr, nullptr, kFilter), HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(mapper->RegisterFilter(kFilter, L"x", nullptr, nullptr, nullptr, nullptr), E_POINTER);
    REGFILTER2 setup{};
    setup.dwVersion = 3;
    EXPECT_EQ(mapper->RegisterFilter(kFilter, L"x", nullptr, nullptr, nullptr, &setup), E_INVALIDARG);
    setup.dwVersion = 1;
    EXPECT_EQ(mapper->RegisterFilter(kFilter, nullptr, nullptr, nullptr, nullptr, &setup),
              HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND))
        << "without a name, the class must be registered to lend its own";
    mapper->Release();

    void* other = nullptr;
    int notAnObject = 0;
    EXPECT_EQ(CoCreateInstance(CLSID_FilterMapper2, reinterpret_cast<IUnknown*>(&notAnObject),
                               CLSCTX_INPROC_SERVER, IID_IUnknown, &other),
              CLASS_E_NOAGGREGATION);
    CoUninitialize();
}

} // namespace
