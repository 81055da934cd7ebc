// Windows paths on the posix backend: drives, Z:, case-insensitive names, WOW64 redirection
// (with its exceptions by Windows version).
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <thread>

#include "platform/PlatformFs.h"
#include "platform/PlatformSystem.h"
#include "support/TestMachine.h"

namespace {

using cvdt::test::TestMachine;
namespace fs = std::filesystem;

TEST(PathMapTest, DrivesZAndRoundTrips) {
  TestMachine machine([](auto& config, auto&) {
    config.drives['D'] = {config.root + "/drives/d", plat::DriveType::CdRom};
  });
  const std::string c = machine.root() + "/drives/c";
  struct Row {
    const char* windows;
    std::string host;
  } rows[] = {
      {"c:/Temp/./b/../a.txt", c + "/Temp/a.txt"},
      {"C:\\..\\..\\etc\\passwd", c + "/etc/passwd"},  // never above the drive's root
      {"C:\\", c},
      {"D:\\setup.exe", machine.root() + "/drives/d/setup.exe"},
      {"Z:\\tmp\\x", "/tmp/x"},
      {"\\\\?\\C:\\Temp", c + "/Temp"},
  };
  for (const Row& row : rows) EXPECT_EQ(plat::toHostPath(row.windows), row.host) << row.windows;

  EXPECT_EQ(plat::toHostPath("Q:\\nothing"), "");   // no such drive
  EXPECT_EQ(plat::toHostPath("\\\\server\\share\\x"), "");  // UNC shares are not mapped

  EXPECT_EQ(plat::toWindowsPath(c), "C:\\");
  EXPECT_EQ(plat::toWindowsPath("/usr/bin/env"), "Z:\\usr\\bin\\env");
  // A sibling folder whose name starts like a drive's is not that drive.
  std::string sibling = plat::toWindowsPath(machine.root() + "/drives/cc");
  EXPECT_EQ(sibling.substr(0, 3), "Z:\\");
  EXPECT_EQ(sibling.substr(sibling.size() - 10), "\\drives\\cc");
  EXPECT_EQ(plat::driveType('d'), plat::DriveType::CdRom);
  EXPECT_EQ(plat::driveType('Q'), plat::DriveType::NoRootDir);
}

TEST(PathMapTest, NamesMatchIgnoringCaseWhenTheExactNameIsAbsent) {
  TestMachine machine;
  machine.writeFile("C:\\Program Files\\Vendor App\\Config.INI", "x");
  const std::string expected =
      machine.root() + "/drives/c/Program Files/Vendor App/Config.INI";
  EXPECT_EQ(plat::toHostPath("c:\\PROGRAM FILES\\vendor app\\config.ini"), expected);
  // A missing tail keeps its spelling after the last component that matched.
  EXPECT_EQ(plat::toHostPath("C:\\program files\\VENDOR APP\\New\\File.txt"),
            machine.root() + "/drives/c/Program Files/Vendor App/New/File.txt");
  // Where both spellings exist, the exact one wins.
  fs::create_directories(machine.root() + "/drives/c/program files");
  EXPECT_EQ(plat::toHostPath("C:\\program files"), machine.root() + "/drives/c/program files");
}

TEST(PathMapTest, TheRedirectionSwitchIsPerThreadAndSpares64BitPrograms) {
  TestMachine machine;
  const std::string windows = machine.root() + "/drives/c/Windows";
  void* old = nullptr;
  ASSERT_TRUE(plat::disableRedirection(&old));
  EXPECT_EQ(plat::toHostPath("C:\\Windows\\System32\\probe.exe"), windows + "/System32/probe.exe");
  std::string otherThread;
  std::thread([&] { otherThread = plat::toHostPath("C:\\Windows\\System32\\probe.exe"); }).join();
  EXPECT_EQ(otherThread, windows + "/SysWOW64/probe.exe");
  ASSERT_TRUE(plat::revertRedirection(old));
  EXPECT_EQ(plat::toHostPath("C:\\Windows\\System32\\probe.exe"), windows + "/SysWOW64/probe.exe");

  plat::setProcess64Bit(true);  // a native 64-bit program is never redirected
  EXPECT_EQ(plat::toHostPath("C:\\Windows\\System32\\probe.exe"), windows + "/System32/probe.exe");
  plat::setProcess64Bit(false);
}

// What a 32-bit program finds below the Windows folder of 64-bit Windows XP/2003 (5.2), Vista
// (6.0), Windows 7 (6.1) and Windows 10, with its thread's redirection on and off. DriverStore
// is redirected before Windows 7; Sysnative exists from Vista on.
TEST(PathMapTest, RedirectionAndItsExceptionsFollowTheWindowsVersion) {
  struct Version {
    uint32_t major, minor;
  } versions[] = {{5, 2}, {6, 0}, {6, 1}, {10, 0}};
  struct Row {
    const char* path;  // below C:\Windows
    const char* redirected;    // from Windows 7 on
    const char* beforeSeven;   // on XP and Vista where it differs
    const char* onXp;          // on XP where it differs
    const char* unredirected;  // with the thread's redirection off (every version)
  } rows[] = {
      {"System32\\probe.exe", "SysWOW64/probe.exe", nullptr, nullptr, "System32/probe.exe"},
      {"system32\\drivers\\etc\\hosts", "System32/drivers/etc/hosts", nullptr, nullptr,
       "System32/drivers/etc/hosts"},  // exempt, as on Windows
      {"regedit.exe", "SysWOW64/regedit.exe", nullptr, nullptr, "regedit.exe"},
      {"regedit.exe\\x", "regedit.exe/x", nullptr, nullptr, "regedit.exe/x"},
      {"lastgood\\System32\\a.dll", "lastgood/SysWOW64/a.dll", nullptr, nullptr,
       "lastgood/System32/a.dll"},
      {"lastgood\\a.dll", "lastgood/a.dll", nullptr, nullptr, "lastgood/a.dll"},
      {"System32\\catroot2\\x", "System32/catroot2/x", nullptr, nullptr, "System32/catroot2/x"},
      {"System32\\DriverStore\\x.inf", "System32/DriverStore/x.inf", "SysWOW64/DriverStore/x.inf",
       nullptr, "System32/DriverStore/x.inf"},
      {"Sysnative\\probe.exe", "System32/probe.exe", nullptr, "Sysnative/probe.exe", nullptr},
  };
  for (size_t v = 0; v < std::size(versions); ++v) {
    TestMachine machine([&](auto& config, auto&) {
      config.version.major = versions[v].major;
      config.version.minor = versions[v].minor;
    });
    SCOPED_TRACE(std::to_string(versions[v].major) + "." + std::to_string(versions[v].minor));
    const std::string windows = machine.root() + "/drives/c/Windows/";
    for (const char* copy : {"regedit.exe", "SysWOW64/regedit.exe"}) std::ofstream(windows + copy) << "x";
    for (const Row& row : rows) {
      const char* expected = row.redirected;
      if (v < 2 && row.beforeSeven) expected = row.beforeSeven;
      if (v == 0 && row.onXp) expected = row.onXp;
      const std::string path = std::string("C:\\Windows\\") + row.path;
      EXPECT_EQ(plat::toHostPath(path), windows + expected) << path;
      if (row.unredirected == nullptr) continue;
      void* old = nullptr;
      ASSERT_TRUE(plat::disableRedirection(&old));
      EXPECT_EQ(plat::toHostPath(path), windows + row.unredirected) << path << " unredirected";
      ASSERT_TRUE(plat::revertRedirection(old));
    }
  }
}

TEST(PathMapTest, ThirtyTwoBitMachinesHaveNoRedirection) {
  TestMachine machine([](auto& config, auto&) { config.is64Bit = false; });
  EXPECT_EQ(plat::toHostPath("C:\\Windows\\System32\\x.dll"),
            machine.root() + "/drives/c/Windows/System32/x.dll");
  EXPECT_FALSE(fs::exists(machine.root() + "/drives/c/Windows/SysWOW64"));
  EXPECT_EQ(plat::systemWow64Folder(), "");
}

}  // namespace
