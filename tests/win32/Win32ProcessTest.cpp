// The win32 backend's processes, process list and system facts: this test program re-run as
// its own child, with its whole 32-bit exit code, found in the tool-help snapshot.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <regex>

#include "platform/PlatformProcess.h"
#include "platform/PlatformProcessList.h"
#include "platform/PlatformSystem.h"
#include "platform/PlatformText.h"
#include "platform/WinError.h"
#include "win32/Win32Scratch.h"

namespace {

using namespace plat;
using cvdt::win32test::ScratchFolder;
using cvdt::win32test::thisProgram;

std::string fileName(const std::string& path) { return path.substr(path.find_last_of('\\') + 1); }

TEST(Win32ProcessTest, ChildExitCodesAndDetachedStarts) {
  ScratchFolder scratch;
  for (uint32_t code : {0u, 7u, 259u, 0xC0000005u}) {
    Process child;
    LaunchRequest request{"\"" + thisProgram() + "\" --child-exit " + std::to_string(code),
                          scratch.path(), true, nullptr, nullptr};
    ASSERT_TRUE(child.start(request, true)) << lastError();
    EXPECT_NE(child.id(), 0u);
    EXPECT_EQ(static_cast<uint32_t>(child.wait()), code);
    EXPECT_EQ(child.wait(), -1);  // waited for already
  }
  Process detached;
  LaunchRequest quiet{"\"" + thisProgram() + "\" --child-exit 3", "", false, nullptr, nullptr};
  EXPECT_TRUE(detached.start(quiet, false));
  EXPECT_EQ(detached.wait(), -1);  // nothing to wait for
  Process missing;
  LaunchRequest absent{"\"" + scratch.file("absent.exe") + "\"", "", false, nullptr, nullptr};
  EXPECT_FALSE(missing.start(absent, true));
  EXPECT_NE(lastError(), 0u);
}

TEST(Win32ProcessTest, SnapshotListsThisProgramWithItsImagePath) {
  std::vector<ProcessEntry> processes;
  ASSERT_TRUE(listProcesses(processes));
  EXPECT_TRUE(std::is_sorted(processes.begin(), processes.end(),
                             [](const ProcessEntry& a, const ProcessEntry& b) { return a.id < b.id; }));
  auto self = std::find_if(processes.begin(), processes.end(),
                           [](const ProcessEntry& entry) { return entry.id == processId(); });
  ASSERT_NE(self, processes.end());
  EXPECT_EQ(compareNoCase(self->exeName.c_str(), fileName(thisProgram()).c_str()), 0);
  std::string image;
  ASSERT_TRUE(processImagePath(processId(), image));
  EXPECT_EQ(compareNoCase(fileName(image).c_str(), fileName(thisProgram()).c_str()), 0);
  EXPECT_EQ(image.substr(1, 2), ":\\");  // a drive-letter path, not a device path
  EXPECT_FALSE(processImagePath(0xFFFFFFF0u, image));
}

TEST(Win32ProcessTest, MachineFacts) {
  OsVersion version;
  ASSERT_TRUE(osVersion(version));
  EXPECT_EQ(version.platformId, kPlatformNt);
  EXPECT_GE(version.major, 5u);
  EXPECT_FALSE(windowsFolder().empty());
  EXPECT_EQ(systemFolder().rfind(windowsFolder(), 0), 0u);
  EXPECT_EQ(isNative64Bit(), !systemWow64Folder().empty());
  std::string uuid;
  ASSERT_TRUE(createUuidText(uuid));
  EXPECT_TRUE(std::regex_match(uuid, std::regex("[0-9a-f]{8}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{12}")))
      << uuid;
  std::string value;
  EXPECT_TRUE(environmentVariable("windir", value));
  EXPECT_FALSE(environmentVariable("CVDT_SURELY_NOT_SET_ANYWHERE", value));
  ModuleHandle fake = moduleHandleForFile("C:\\Agent\\Modules\\cvdt.dll");
  EXPECT_EQ(moduleFileName(fake), "C:\\Agent\\Modules\\cvdt.dll");
  EXPECT_EQ(moduleFileName(thisModule()), thisProgram());
  EXPECT_EQ(wideToAnsi(u"Setup 1.0"), "Setup 1.0");
  EXPECT_EQ(ansiToWide("Setup 1.0"), u"Setup 1.0");
  EXPECT_EQ(compareNoCase("CVDTNDLG.EXE", "cvdtndlg.exe"), 0);
  EXPECT_LT(compareNoCase("a", "B"), 0);
}

}  // namespace
