// NMisc over a real machine: version codes, folders, files and trees, disk space, texts.
#include <gtest/gtest.h>
#include <sys/statvfs.h>

#include <filesystem>
#include <regex>

#include "platform/NMisc.h"
#include "platform/PlatformFs.h"
#include "platform/PlatformSystem.h"
#include "support/TestMachine.h"

namespace {

using cvdt::test::TestMachine;
namespace fs = std::filesystem;

TEST(NMiscTest, VersionCodesAndPredicatesFollowTheMachine) {
  struct Row {
    uint32_t platformId, major, minor;
    int code, codeNo10;
    bool vista, xp, is64;
  } rows[] = {
      {1, 4, 10, 3, 3, false, false, false}, {2, 5, 0, 6, 6, false, false, false},
      {2, 5, 1, 7, 7, false, true, true},    {2, 6, 3, 9, 9, true, true, true},
      {2, 10, 0, 11, 99, true, true, true},  {2, 7, 0, 99, 99, false, false, false},
  };
  for (const Row& row : rows) {
    TestMachine machine([&](auto& config, auto&) {
      config.version.platformId = row.platformId;
      config.version.major = row.major;
      config.version.minor = row.minor;
    });
    SCOPED_TRACE(std::to_string(row.platformId) + ":" + std::to_string(row.major) + "." +
                 std::to_string(row.minor));
    EXPECT_EQ(NMisc::getOsVersionCode(), row.code);
    EXPECT_EQ(NMisc::getOsVersionCodeNo10(), row.codeNo10);
    EXPECT_EQ(NMisc::getOsVersionCodeEx(0), row.codeNo10);
    EXPECT_EQ(NMisc::isVistaOrLater(), row.vista);
    EXPECT_EQ(NMisc::isXpOrLater(), row.xp);
    EXPECT_EQ(NMisc::is64BitWindows(), row.is64);  // every row's machine is 64-bit
    EXPECT_EQ(NMisc::isNtPlatform(), row.platformId == 2);
  }
}

TEST(NMiscTest, FoldersOfModuleHostWindowsAndSystem) {
  TestMachine machine;
  EXPECT_STREQ(NMisc::getModuleFolder(machine.moduleHandle()).text(),
               "C:\\Program Files (x86)\\Plumbex\\Corvane\\Modules");
  EXPECT_STREQ(NMisc::getModuleFolder(nullptr).text(), "C:\\Program Files (x86)\\Plumbex\\Corvane");
  EXPECT_STREQ(NMisc::getModuleFolder(plat::moduleHandleForFile("nofolder")).text(), "nofolder");
  EXPECT_STREQ(NMisc::getSystemFolder(1).text(), "C:\\Windows\\SysWOW64");
  // The executable's own folder when the machine names no agent folder.
  TestMachine bare([](auto& config, auto&) { config.agentFolder.clear(); config.moduleFolder = "C:\\M"; });
  std::string exe = fs::read_symlink("/proc/self/exe").parent_path().string();
  EXPECT_EQ(NMisc::getModuleFolder(nullptr).text(), plat::toWindowsPath(exe));
}

TEST(NMiscTest, MakePathMoveFileAndDeleteTree) {
  TestMachine machine;
  EXPECT_EQ(NMisc::makePath("C:\\Temp\\no\\parent"), 0);
  EXPECT_EQ(NMisc::makePath("C:\\Temp\\job"), 1);
  machine.writeFile("C:\\Temp\\blocker", "file in the way");
  plat::setReadOnly("C:\\Temp\\blocker", true);
  EXPECT_EQ(NMisc::makePath("C:\\Temp\\blocker"), 1);
  EXPECT_EQ(NMisc::getPathKind("C:\\Temp\\blocker", 0), 2);

  machine.writeFile("C:\\Temp\\job\\new.bin", "new");
  machine.writeFile("C:\\Temp\\job\\old.bin", "old");
  plat::setReadOnly("C:\\Temp\\job\\old.bin", true);
  EXPECT_NE(NMisc::moveFile("C:\\Temp\\job\\new.bin", "C:\\Temp\\job\\old.bin"), 0);
  EXPECT_EQ(machine.readFile("C:\\Temp\\job\\old.bin"), "new");
  EXPECT_EQ(NMisc::getPathKind("C:\\Temp\\job\\new.bin", 0), 0);
  EXPECT_EQ(NMisc::moveFile("C:\\Temp\\job\\absent", "C:\\Temp\\job\\x"), 0);

  // A link inside the tree is removed as a link; what it points at stays.
  machine.writeFile("C:\\Keep\\precious.txt", "keep");
  machine.writeFile("C:\\Temp\\job\\sub\\deep\\f.txt", "x");
  plat::setReadOnly("C:\\Temp\\job\\sub\\deep\\f.txt", true);
  fs::create_directory_symlink(machine.host("C:\\Keep"), machine.host("C:\\Temp\\job\\link"));
  NMisc::deleteTree("C:\\Temp\\job");
  EXPECT_EQ(NMisc::getPathKind("C:\\Temp\\job", 0), 0);
  EXPECT_EQ(machine.readFile("C:\\Keep\\precious.txt"), "keep");
  NMisc::deleteTree("C:\\Temp\\does-not-exist");  // left alone, no crash
}

TEST(NMiscTest, PathKindFollowsFindFirstFileRules) {
  TestMachine machine;
  machine.writeFile("C:\\Data\\Report.TXT", "r");
  machine.writeFile("C:\\Data\\b-sub\\x.bin", "x");
  machine.writeFile("C:\\Data\\noext", "n");
  struct Row {
    const char* path;
    int kind;
  } rows[] = {
      {"C:\\Data\\report.txt", 1},  // names ignore case
      {"C:\\Data", 2},
      {"C:\\Data\\", 0},           // a trailing backslash finds nothing
      {"C:\\Data\\rep?rt.*", 1},   // wildcards match, ignoring case
      {"C:\\Data\\b-*", 2},        // the first match is a folder
      {"C:\\Data\\noext.*", 1},    // a trailing ".*" matches a name without extension
      {"C:\\Da*\\Report.TXT", 0},  // no wildcards in folder components
  };
  for (const Row& row : rows) EXPECT_EQ(NMisc::getPathKind(row.path, 0), row.kind) << row.path;

  // The second argument looks past the 32-bit view of the system folder.
  void* old = nullptr;
  plat::disableRedirection(&old);
  machine.writeFile("C:\\Windows\\System32\\only64.dll", "x");
  plat::revertRedirection(old);
  EXPECT_EQ(NMisc::getPathKind("C:\\Windows\\System32\\only64.dll", 0), 0);
  EXPECT_EQ(NMisc::getPathKind("C:\\Windows\\System32\\only64.dll", 1), 1);
  EXPECT_TRUE(plat::redirectionEnabled());  // restored after the look
}

TEST(NMiscTest, DiskSpaceOfKnownAndUnknownDrives) {
  TestMachine machine;
  double freeBytes = -1, totalBytes = -1;
  EXPECT_EQ(NMisc::getDiskSpace('C', &freeBytes, &totalBytes), 1);
  EXPECT_GT(totalBytes, 0);
  EXPECT_LE(freeBytes, totalBytes);
  // The total free bytes, the blocks kept for the superuser included.
  struct statvfs info {};
  ASSERT_EQ(statvfs(machine.host("C:\\").c_str(), &info), 0);
  double allFree = static_cast<double>(info.f_bfree) * info.f_frsize;
  EXPECT_NEAR(freeBytes, allFree, 64.0 * 1024 * 1024);  // the disk may change a little between
  EXPECT_EQ(NMisc::getDiskSpace('Q', &freeBytes, &totalBytes), 0);
  EXPECT_EQ(freeBytes, 0);
  EXPECT_EQ(totalBytes, 0);
}

TEST(NMiscTest, IpAddressTexts) {
  struct Row {
    const char* in;
    int result;
    const char* normalized;
    const char* padded;
  } rows[] = {
      {"010.001.002.030", 1, "10.1.2.30", "010.001.002.030"},
      {"10.1.2.30", 1, "10.1.2.30", "010.001.002.030"},
      {"1.2.3.", 0, "1.2.3.", "1.2.3."},
      {"1000.2000.3000.4", 0, "1000.2000.3000.4", "1000.2000.3000.4"},  // 16 characters
  };
  for (const Row& row : rows) {
    NString normalized(row.in), padded(row.in);
    EXPECT_EQ(NMisc::normalizeIpAddress(normalized), row.result) << row.in;
    EXPECT_STREQ(normalized.text(), row.normalized);
    EXPECT_EQ(NMisc::padIpAddress(padded), row.result) << row.in;
    EXPECT_STREQ(padded.text(), row.padded);
  }
}

TEST(NMiscTest, TimeTextsAndUniqueNames) {
  EXPECT_STREQ(NMisc::addSecondsToTimeText("20151231235930", 45).text(), "20160101000015");
  EXPECT_STREQ(NMisc::addSecondsToTimeText("20160228120000", 86400).text(), "20160229120000");
  NMisc::addSecondsToTimeText("2016", 1);  // short and malformed texts: no crash
  NMisc::addSecondsToTimeText(nullptr, 1);

  NString name;
  int step = 0, error = 0;
  ASSERT_EQ(NMisc::makeUniqueName(name, &step, &error), 1);
  EXPECT_TRUE(std::regex_match(
      name.text(), std::regex("[0-9a-f]{8}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{12}"
                              "__[0-9a-f]{8}__[0-9a-f]{8}__-?[0-9]+")))
      << name.text();
}

}  // namespace
