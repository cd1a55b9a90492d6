// quenlix register, unregister and registry: the program registers the module in its own process
// and this one, or a later quenlix scan, then finds the classes; failures end with regsvr32's exit
// statuses.
#include <windows.h>
#include <objbase.h>
#include <strmif.h>
#include <quenlix.h>

#include <gtest/gtest.h>

#include <fstream>

#include "module_support.h"

using namespace moduletest;

namespace {

class CommandTest : public ::testing::Test {
protected:
    static ProcessResult Quenlix(std::vector<std::string> args) {
        args.insert(args.begin(), QX_QUENLIX_PATH);
        return RunProgram(args);
    }
    ScratchRegistry m_registry;
};

bool Has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

} // namespace

TEST_F(CommandTest, RegisterUnregisterAndRegistryTheModuleBesideTheProgram) {
    ProcessResult r = Quenlix({"registry"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "Korvane Trevasi Filter {13E1554D-A79F-4D21-BAA4-AFD0FF70F357}\n"
                     "  not registered\n"
                     "Korvane Trevasi Filter Property Page {33B3C363-A8EC-49DF-94E1-775EC9F71F6E}\n"
                     "  not registered\n");

    r = Quenlix({"register"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "DllRegisterServer in " + ModulePath() + " succeeded.\n");
    // Registering again replaces the mapper's entry instead of adding one.
    EXPECT_EQ(Quenlix({"register"}).status, 0);
    EXPECT_EQ(SubKeys(kInstanceKey), std::vector<std::wstring>{L"{13E1554D-A79F-4D21-BAA4-AFD0FF70F357}"});
    // Registered by another process, created here.
    ASSERT_EQ(CoInitialize(nullptr), S_OK);
    IBaseFilter* filter = nullptr;
    EXPECT_EQ(CoCreateInstance(CLSID_TableCollectorFilter, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                               reinterpret_cast<void**>(&filter)),
              S_OK);
    if (filter != nullptr) {
        filter->Release();
    }
    CoFreeUnusedLibraries();
    CoUninitialize();

    r = Quenlix({"registry"});
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(
        Has(r.out, "    name:            \"Korvane Trevasi Filter\"\n"
                   "    InprocServer32:  " +
                       ModulePath() +
                       "\n"
                       "    ThreadingModel:  Both\n"
                       "    filter mapper:   \"Korvane Trevasi Filter\", merit 0x00200000, 0 pin(s)\n"))
        << r.out;
    EXPECT_TRUE(Has(r.out, "    name:            \"Korvane Trevasi Filter Property Page\"\n")) << r.out;
    EXPECT_TRUE(Has(r.out, "    filter mapper:   not listed\n")) << r.out;

    r = Quenlix({"unregister", ModulePath()});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "DllUnregisterServer in " + ModulePath() + " succeeded.\n");
    EXPECT_FALSE(KeyExists(kFilterKey));
    EXPECT_FALSE(KeyExists(kPageKey));
    EXPECT_FALSE(KeyExists(kFilterInstanceKey));
    EXPECT_EQ(Quenlix({"unregister", ModulePath()}).status, 0) << "nothing left to remove is no failure";
}

TEST_F(CommandTest, ModuleNamedWithoutAFolderIsTheOneInTheCurrentFolder) {
    std::string dir = ModulePath().substr(0, ModulePath().rfind('/'));
    ProcessResult r =
        RunProgram({"sh", "-c", "cd '" + dir + "' && '" + QX_QUENLIX_PATH + "' register quenlix.ax"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(StringValue(std::wstring(kFilterKey) + L"\\InprocServer32"), ModulePathW());
}

TEST_F(CommandTest, FailuresEndWithRegsvr32sStatuses) {
    EXPECT_EQ(Quenlix({"register", "a.ax", "b.ax"}).status, 1);
    EXPECT_EQ(Quenlix({"unregister", "--force"}).status, 1);
    EXPECT_EQ(Quenlix({"registry", "extra"}).status, 1);
    EXPECT_EQ(Quenlix({"register", m_registry.Dir() + "/none.ax"}).status, 3);
    // Not a module: the program itself.
    EXPECT_EQ(Quenlix({"register", QX_QUENLIX_PATH}).status, 3);
    // A shared object without the entry point.
    EXPECT_EQ(Quenlix({"unregister", QX_PLATFORM_PATH}).status, 4);
    EXPECT_FALSE(KeyExists(kFilterKey));

    // A registry that cannot be written: the entry point answers the failure.
    std::string blocker = m_registry.Dir() + "/plain";
    std::ofstream(blocker) << "x";
    setenv("QUENLIX_REGISTRY", (blocker + "/registry.reg").c_str(), 1);
    ProcessResult r = Quenlix({"register"});
    EXPECT_EQ(r.status, 5);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(Quenlix({"registry"}).status, 2);
}

TEST_F(CommandTest, ScanUsesTheRegisteredModuleElseTheOneBesideTheProgram) {
    // Another copy of the module, registered by one process and used by the next.
    ProcessResult r = Quenlix({"register", ClientModulePath()});
    ASSERT_EQ(r.status, 0);
    r = Quenlix({"scan", "--json", QX_SAMPLE_STREAM});
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(Has(r.out, "\"filter_module\":\"" + ClientModulePath() + "\"")) << r.out.substr(0, 600);
    EXPECT_TRUE(Has(r.out, "\"pat\":{\"status\":\"complete\"")) << r.out.substr(0, 900);

    ASSERT_EQ(Quenlix({"unregister", ClientModulePath()}).status, 0);
    // A registration whose module has gone is passed over too.
    m_registry.Write("Windows Registry Editor Version 5.00\n\n"
                     "[HKEY_CLASSES_ROOT\\CLSID\\{13E1554D-A79F-4D21-BAA4-AFD0FF70F357}\\InprocServer32]\n"
                     "@=\"/nonexistent/quenlix.ax\"\n\n");
    r = Quenlix({"scan", "--json", QX_SAMPLE_STREAM});
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(Has(r.out, "\"filter_module\":\"" + ModulePath() + "\"")) << r.out.substr(0, 600);
    EXPECT_TRUE(Has(r.out, "\"pat\":{\"status\":\"complete\"")) << r.out.substr(0, 900);
}
