// The module DLL of this build loaded into the test program: its seven exports resolve by their
// undecorated names, its version resource reads through the version library, and FreeLibrary
// runs its detach without waiting for ever.
#include <gtest/gtest.h>

#include "entry/Exports.h"
#include "platform/PlatformLibrary.h"
#include "platform/PlatformVersionInfo.h"

namespace {

using namespace plat;

const char* const kExports[] = {"cvfADistFunc", "cvfADistCmd", "cvfADistNow", "cvfNDistFunc",
                                "cvfNDistCmd", "cvfNDistCmdOuterRequest",
                                "cvfNDistUrgentTopCancelForceCmd"};

TEST(Win32ModuleLoadTest, LoadsResolvesAndUnloads) {
  for (int round = 0; round < 2; ++round) {
    Library module;
    ASSERT_TRUE(module.load(CVDT_WIN_MODULE)) << module.error();
    for (const char* name : kExports) EXPECT_NE(module.symbol(name), nullptr) << name;
    EXPECT_EQ(module.symbol("_cvfNDistFunc"), nullptr);
    // Nothing to cancel and no content: refused without a post.
    auto cancel = reinterpret_cast<decltype(&cvfNDistUrgentTopCancelForceCmd)>(
        module.symbol("cvfNDistUrgentTopCancelForceCmd"));
    ASSERT_NE(cancel, nullptr);
    EXPECT_EQ(cancel(0, 1, nullptr, "", "", "", nullptr, 0), 0);
    module.unload();
  }
}

TEST(Win32ModuleLoadTest, VersionResourceThroughTheVersionLibrary) {
  uint32_t size = fileVersionInfoSize(CVDT_WIN_MODULE);
  ASSERT_GT(size, 0u);
  std::vector<char> block(size);
  ASSERT_TRUE(fileVersionInfo(CVDT_WIN_MODULE, block.data(), size));
  const void* value = nullptr;
  uint32_t length = 0;
  ASSERT_TRUE(queryVersionValue(block.data(), "\\StringFileInfo\\040904b0\\OriginalFilename",
                                &value, &length));
  EXPECT_EQ(std::string(static_cast<const char*>(value), length), "cvdt.dll");
  ASSERT_TRUE(queryVersionValue(block.data(), "\\", &value, &length));
  EXPECT_EQ(length, 52u);
  const void* untouched = &length;
  EXPECT_FALSE(queryVersionValue(block.data(), "\\StringFileInfo\\040904b0\\Absent", &untouched,
                                 &length));
  EXPECT_EQ(untouched, &length);
}

}  // namespace
