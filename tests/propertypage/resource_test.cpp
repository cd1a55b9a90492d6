// The dialog and title string registered as data agree with the resource script that the Windows
// build compiles, item for item.
#include <gtest/gtest.h>

#include <windows.h>

#include "platform/posix/testhooks.h"
#include "propertypage/PageResources.h"
#include "propertypage/resource.h"

#include <fstream>
#include <iterator>
#include <string>

namespace {

std::string SourceFile(const std::string& relative) {
    std::ifstream in(std::string(QX_SOURCE_DIR) + "/" + relative);
    return {std::istreambuf_iterator<char>(in), {}};
}

TEST(PageResources, RegisteredDialogMatchesTheResourceScript) {
    ASSERT_TRUE(RegisterPageResources(nullptr));
    const std::string script = SourceFile("propertypage/TableCollectorPropertyPage.rc");
    ASSERT_NE(script.find("DIALOG"), std::string::npos);
    EXPECT_EQ(ResourceScriptMismatch(nullptr, script, SourceFile("propertypage/resource.h")), "");
    char title[64] = {};
    ASSERT_GT(LoadStringA(nullptr, IDS_SERVICE_INFORMATION_TITLE, title, sizeof title), 0);
    EXPECT_STREQ(title, "Service Information");
}

} // namespace
