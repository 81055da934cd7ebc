// Stages 3 to 6 of an automatic item against packages made by cvdt-pack: the destination
// compared with the index, the disk check, the download (parts fetched whole, checked by
// digest and unpacked beside themselves), the copy, the clean-up guard, and a stop request at
// every stage.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "StagesFixture.h"
#include "platform/NHash.h"
#include "platform/NMisc.h"
#include "platform/PlatformFs.h"

using ::testing::HasSubstr;

namespace cvdt::test {
namespace {

namespace fs = std::filesystem;

class FilesTest : public StagesTest {
 protected:
  std::string read(const std::string& windowsPath) { return m_machine->readFile(windowsPath); }
  bool exists(const std::string& windowsPath) {
    return plat::pathKind(windowsPath) != plat::PathKind::None;
  }
};

TEST_F(FilesTest, PackagePlacedThenIdenticalDestinationNeedsNoServer) {
  makeMachine();
  std::string big(150000, '\0');  // incompressible, so it takes several parts
  uint32_t seed = 12345;
  for (char& c : big) c = static_cast<char>((seed = seed * 1103515245u + 12345u) >> 24);
  AutoPackage package = pack(9, {{"a.txt", "alpha"}, {"sub/b.bin", big}, {"empty.txt", ""}},
                             "--dest 'C:\\Nine' --subfolders --part-size 65536");
  startServer(package.root);

  ADistItem item = itemFor(9, package.digest);
  int fetched = 0;
  ASSERT_TRUE(runStages(item, fetched)) << item.m_szStatus << " " << m_worker->errorDetail().text();
  EXPECT_EQ(fetched, 1);
  EXPECT_EQ(read("C:\\Nine\\a.txt"), "alpha");
  EXPECT_EQ(read("C:\\Nine\\sub\\b.bin"), big);
  EXPECT_EQ(read("C:\\Nine\\empty.txt"), "");
  const std::string packageFolder = std::string(m_worker->localFolder().text()) + "\\9";
  EXPECT_FALSE(exists(packageFolder + "\\sub\\b.bin.lgz"));  // part 0 goes once unpacked
  EXPECT_TRUE(exists(packageFolder + "\\sub\\b.bin.l00001"));  // later parts stay

  // Again: every entry is in place, the local index archive matches, nothing reaches a server,
  // and stages 4 and 5 report 100 at once.
  const int connections = m_server.connectionsAccepted();
  m_access->newMaps();
  ASSERT_TRUE(m_worker->idxFileCheck(item));
  ASSERT_TRUE(m_worker->idxFileLoad(item));
  ASSERT_TRUE(m_worker->distFileCheck(item));
  for (const auto& [name, entry] : m_access->indexMap()) EXPECT_STREQ(entry->state(), "N") << name;
  fetched = 0;
  ASSERT_TRUE(m_worker->distFileDownload(item, fetched));
  EXPECT_EQ(fetched, 0);
  EXPECT_EQ(recordStatus(), "075");
  EXPECT_EQ(recordPercent(), 100);
  ASSERT_TRUE(m_worker->distFileCopy(item));
  EXPECT_EQ(recordStatus(), "076");
  EXPECT_EQ(recordPercent(), 100);
  EXPECT_EQ(m_server.connectionsAccepted(), connections);

  // A changed file is fetched again and nothing else: the local index archive is current, so
  // a new pass chooses its server by fetching that once more.
  m_machine->writeFile("C:\\Nine\\a.txt", "changed");
  const size_t before = gets(m_server).size();
  m_access->newMaps();
  m_access->setCurrentServer("");
  ASSERT_TRUE(runStages(item, fetched));
  EXPECT_EQ(fetched, 1);
  EXPECT_EQ(read("C:\\Nine\\a.txt"), "alpha");
  EXPECT_STREQ(m_access->indexMap().find("a.txt")->state(), "C");
  EXPECT_STREQ(m_access->indexMap().find("sub\\b.bin")->state(), "N");
  std::vector<std::string> fetches = gets(m_server);
  fetches.erase(fetches.begin(), fetches.begin() + static_cast<long>(before));
  EXPECT_EQ(fetches, (std::vector<std::string>{"GET /Corvane/dist/auto/9.idx.lgz",
                                               "GET /Corvane/dist/auto/9/zip/a.txt.lgz"}));
}

TEST_F(FilesTest, WholeItemRunsEveryStageAndItsProgramOnlyWhenSomethingChanged) {
  makeMachine();
  AutoPackage package = pack(13,
                             {{"run.bat", "echo ran \"$@\" >> \"$(dirname \"$0\")/ran.txt\"\nexit 0\n"},
                              {"sub/with space.txt", "spaced"},
                              {"a.txt", "alpha"}},
                             "--dest 'C:\\Thirteen' --subfolders --cleanup --program run.bat "
                             "--args hello");
  startServer(package.root);
  m_machine->writeFile("C:\\Thirteen\\old\\stale.txt", "stale");
  ADistItem item = itemFor(13, package.digest);
  std::strcpy(item.m_szStatus, "010");
  m_worker->doAutoDist(item);
  ASSERT_STREQ(item.m_szStatus, "060") << m_worker->errorDetail().text();
  EXPECT_EQ(read("C:\\Thirteen\\sub\\with space.txt"), "spaced");
  EXPECT_EQ(read("C:\\Thirteen\\ran.txt"), "ran hello\n");
  EXPECT_FALSE(exists("C:\\Thirteen\\old"));

  // Re-commanded with nothing changed: no file is fetched or removed, so the program stays.
  m_access->newMaps();
  std::strcpy(item.m_szStatus, "010");
  m_worker->doAutoDist(item);
  EXPECT_STREQ(item.m_szStatus, "060");
  EXPECT_EQ(read("C:\\Thirteen\\ran.txt"), "ran hello\n");
}

// A link someone placed in the destination would make the system account write wherever it
// points: the copy refuses to pass through it.
TEST_F(FilesTest, CopyRefusesToWriteThroughALinkInTheDestination) {
  makeMachine();
  AutoPackage package = pack(14, {{"sub/x.txt", "x"}, {"y.txt", "y"}},
                             "--dest 'C:\\Fourteen' --subfolders");
  startServer(package.root);
  const std::string outside = m_base + "/outside";
  fs::create_directories(outside);
  fs::create_directories(m_machine->host("C:\\Fourteen"));
  fs::create_directory_symlink(outside, m_machine->host("C:\\Fourteen") + "/SUB");
  ADistItem item = itemFor(14, package.digest);
  int fetched = 0;
  EXPECT_FALSE(runStages(item, fetched));
  EXPECT_STREQ(item.m_szStatus, "906");
  EXPECT_EQ(m_worker->errorDetail().text(), message("1538") + "C:\\Fourteen\\sub");
  EXPECT_TRUE(fs::is_empty(outside));
}

TEST_F(FilesTest, CleanUpGuardRefusesRootsSystemFoldersUncAndTheModuleFolder) {
  makeMachine([](plat::posix::MachineConfig& config, plat::posix::LayoutOptions&) {
    config.drives['D'] = {config.root + "/drives/d", plat::DriveType::Fixed};
  });
  fs::create_directories(m_machine->config().root + "/drives/d");
  std::string module = moduleFolder();
  std::string lowerModule = module;
  for (char& c : lowerModule) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  struct Row {
    std::string destination;
    bool safe;
    const char* line;
  };
  const std::vector<Row> rows = {
      {"C:\\", false, "(3) - FALSE : Root Drive"},
      {"d:", false, "(3) - FALSE : Root Drive"},
      {"C:\\\\", false, "(3) - FALSE : Root Drive"},
      {"\\\\server\\share\\apps", false, "(5) bRet = FALSE"},
      {"Q:\\Apps", false, "(5) bRet = FALSE"},
      {"C:\\Windows", false, "(7) - FALSE : windir"},
      {"c:\\WINDOWS\\system", false, "(8) - FALSE : windir\\system"},
      {"C:\\windows\\SYSTEM32", false, "(9) - FALSE : windir\\system32"},
      {"C:\\Program Files (x86)", false, "(11) - FALSE : ProgramFiles."},
      {lowerModule, false, "(12) - FALSE : getModulePath."},
      {"C:\\Windows\\System32\\Apps", true, "(13)"},
      {"d:\\data", true, "(13)"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.destination);
    ADistItem item = itemFor(3, "");
    std::snprintf(item.m_szDstFolder, sizeof item.m_szDstFolder, "%s", row.destination.c_str());
    const size_t before = traceLog().size();
    EXPECT_EQ(m_worker->isSafeToDelete(item), row.safe);
    const std::string added = traceLog().substr(before);
    EXPECT_THAT(added, HasSubstr(std::string("NAutoDist::isSafeToDelete: ") + row.line));
  }
}

// Free space of two folders on one file system is the same number F, so a need of 1.5 F tells
// the sum of two drives (2 F, passes) from one drive (F, fails) without controlling the space.
TEST_F(FilesTest, DiskCheckAddsTheFreeSpaceOfTwoDrives) {
  makeMachine([](plat::posix::MachineConfig& config, plat::posix::LayoutOptions&) {
    config.drives['D'] = {config.root + "/drives/d", plat::DriveType::Fixed};
  });
  fs::create_directories(m_machine->config().root + "/drives/d");
  const uint64_t free = m_worker->getDiskFreeSpace('C');
  ASSERT_GT(free, 0u);
  EXPECT_GT(m_worker->getDiskFreeSpace('d'), 0u);
  EXPECT_EQ(m_worker->getDiskFreeSpace('Q'), 0u);
  const uint64_t need = free + free / 2;
  const uint64_t chunk = 0xF0000000u;
  uint64_t added = 0;
  for (int i = 0; added < need; ++i) {
    uint64_t size = std::min<uint64_t>(chunk, need - added);
    m_access->indexMap().add(("f" + std::to_string(i)).c_str(), static_cast<uint32_t>(size), 'F',
                             "X", 0);
    added += size;
  }
  m_access->indexMap().add("present", 0xF0000000u, 'F', "X", 0, "N");  // not counted
  ADistItem item = itemFor(3, "");
  std::strcpy(item.m_szDstFolder, "D:\\Big");
  EXPECT_TRUE(m_worker->checkDiskSpace(item));
  std::strcpy(item.m_szDstFolder, "c:\\Big");
  EXPECT_FALSE(m_worker->checkDiskSpace(item));
  // The whole stage on the same drive: "907".
  EXPECT_FALSE(m_worker->distFileCheck(item));
  EXPECT_STREQ(item.m_szStatus, "907");
  EXPECT_EQ(m_worker->errorDetail().text(), message("1534"));
}

// With a small file system of a known size as the only drive in play, a need equal to the free
// space fails and one byte less passes.
TEST_F(FilesTest, DiskCheckFailsWhenTheNeedEqualsTheFreeSpace) {
  const std::string small = m_base + "/small";
  fs::create_directories(small);
  if (std::system(("mount -t tmpfs -o size=1m cvdt-test " + small + " 2>/dev/null").c_str()) != 0)
    GTEST_SKIP() << "cannot mount a small tmpfs here (needs root): equal need not checked";
  makeMachine([&](plat::posix::MachineConfig& config, plat::posix::LayoutOptions&) {
    config.drives['T'] = {small, plat::DriveType::Fixed};
  });
  const uint64_t free = m_worker->getDiskFreeSpace('T');
  ASSERT_GT(free, 0u);
  m_access->setLocalFolder("T:\\adist");
  m_access->indexMap().add("f", static_cast<uint32_t>(free), 'F', "X", 0);
  ADistItem item = itemFor(3, "");
  std::strcpy(item.m_szDstFolder, "t:\\Apps");
  const bool equalPasses = m_worker->checkDiskSpace(item);
  m_access->newMaps();
  m_access->indexMap().add("f", static_cast<uint32_t>(free - 1), 'F', "X", 0);
  const bool lessPasses = m_worker->checkDiskSpace(item);
  std::system(("umount " + small).c_str());
  EXPECT_FALSE(equalPasses);
  EXPECT_TRUE(lessPasses);
}

TEST_F(FilesTest, StopRequestEndsEachStageWith909) {
  makeMachine();
  AutoPackage package = pack(11, {{"a.txt", "alpha"}}, "--dest 'C:\\Eleven'");
  startServer(package.root);
  ADistItem item = itemFor(11, package.digest);
  ASSERT_TRUE(m_worker->idxFileCheck(item));
  ASSERT_TRUE(m_worker->idxFileLoad(item));
  m_access->requestStop(true);  // the index archive and the index are in the local folder now
  struct Stage {
    const char* line;
    std::function<bool()> run;
  };
  int fetched = 0;
  const std::vector<Stage> stages = {
      {"NAutoDist::idxFileCheck: stopped\n", [&] { return m_worker->idxFileCheck(item); }},
      {"NAutoDist::idxFileLoad: stopped\n", [&] { return m_worker->idxFileLoad(item); }},
      {"NAutoDist::distFileCheck: stopped(1)\n", [&] { return m_worker->distFileCheck(item); }},
      {"NAutoDist::distFileDownload: stopped (1)\n",
       [&] { return m_worker->distFileDownload(item, fetched); }},
      {"NAutoDist::distFileCopy: stopped (1)\n", [&] { return m_worker->distFileCopy(item); }},
  };
  for (const Stage& stage : stages) {
    SCOPED_TRACE(stage.line);
    std::strcpy(item.m_szStatus, "070");
    EXPECT_FALSE(stage.run());
    EXPECT_STREQ(item.m_szStatus, "909");
    EXPECT_EQ(recordStatus(), "909");
    EXPECT_EQ(m_worker->errorDetail().text(), message("1530"));
    EXPECT_THAT(traceLog(), HasSubstr(stage.line));
  }
}

// Stage 4 against hand-written indexes: a bad part, a damaged archive, an inconsistent index and
// a file already unpacked.
std::string md5(const std::string& text) {
  NHash hash;
  return hash.getHash(5, 1, text.c_str(), 256);
}

size_t requestsFor(const LoopbackHttpServer& server, const std::string& path) {
  size_t n = 0;
  for (const std::string& request : server.requests()) n += request == "GET " + path ? 1 : 0;
  return n;
}

class DownloadTest : public StagesTest {
 protected:
  // Loads a hand-written index for item 12 (destination C:\Twelve) and runs stage 3.
  ADistItem loadIndex(const std::vector<std::string>& fileLines) {
    std::vector<std::string> lines = {"12|@1|@|@|@C:\\Twelve|@N|@N|@|@"};
    lines.insert(lines.end(), fileLines.begin(), fileLines.end());
    writeLocalIndex(12, indexText(lines));
    ADistItem item = itemFor(12, "");
    EXPECT_TRUE(m_worker->idxFileLoad(item));
    EXPECT_TRUE(m_worker->distFileCheck(item));
    return item;
  }
  std::string packageFolder() const { return std::string(m_worker->localFolder().text()) + "\\12"; }
};

TEST_F(DownloadTest, PartWithAWrongDigestOnEveryAttemptFails904) {
  makeMachine();
  AutoPackage package = pack(11, {{"a.txt", "alpha"}}, "--dest 'C:\\Eleven'");
  const std::string part = "/Corvane/dist/auto/11/zip/a.txt.lgz";
  serve(m_server, package.root);
  m_server.addFile(part, ServedFile::of("arrives whole but is not the part"));
  startServer("", 2);
  ADistItem item = itemFor(11, package.digest);
  int fetched = 0;
  EXPECT_FALSE(runStages(item, fetched));
  EXPECT_EQ(fetched, 1);
  EXPECT_STREQ(item.m_szStatus, "904");
  EXPECT_EQ(m_worker->errorDetail().text(), message("1536") + part);
  EXPECT_EQ(requestsFor(m_server, part), 2u);
}

// An inconsistent index fetches nothing, a file already unpacked is moved without a transfer,
// and a damaged archive whose digest is right ends the item.
TEST_F(DownloadTest, HandWrittenIndexesFail910AndMoveUnpackedFilesAndFail905) {
  makeMachine();
  const std::string garbage = "not a gzip stream at all";
  m_server.addFile("/Corvane/dist/auto/12/zip/a.txt.lgz", ServedFile::of(garbage));
  startServer();
  m_access->setCurrentServer("127.0.0.1");
  int fetched = 0;
  ADistItem item = loadIndex({"M|@a.txt|@5|@F|@" + md5("alpha") + "|@2", "S|@0|@" + md5("x")});
  EXPECT_FALSE(m_worker->distFileDownload(item, fetched));
  EXPECT_STREQ(item.m_szStatus, "910");
  EXPECT_EQ(m_worker->errorDetail().text(), message("1535"));

  m_access->newMaps();
  item = loadIndex({"M|@a.txt|@5|@F|@" + md5("alpha") + "|@1", "S|@0|@" + md5("x")});
  m_machine->writeFile(packageFolder() + "\\a.txt", "alpha");
  fetched = 0;
  ASSERT_TRUE(m_worker->distFileDownload(item, fetched)) << m_worker->errorDetail().text();
  EXPECT_EQ(fetched, 1);
  ASSERT_TRUE(m_worker->distFileCopy(item));
  EXPECT_EQ(m_machine->readFile("C:\\Twelve\\a.txt"), "alpha");
  EXPECT_TRUE(gets(m_server).empty());

  m_access->newMaps();
  m_machine->writeFile("C:\\Twelve\\a.txt", "changed");
  item = loadIndex({"M|@a.txt|@5|@F|@" + md5("alpha") + "|@1", "S|@0|@" + md5(garbage)});
  EXPECT_FALSE(m_worker->distFileDownload(item, fetched));
  EXPECT_STREQ(item.m_szStatus, "905");
  EXPECT_EQ(m_worker->errorDetail().text(), message("1537") + packageFolder() + "\\a.txt.lgz");
}

// Stage 1 took the index from the local folder and no server serves it any more: "904".
TEST_F(DownloadTest, NoServerForThePackageFails904) {
  makeMachine();
  ADistItem item = loadIndex({"M|@a.txt|@5|@F|@" + md5("alpha") + "|@1", "S|@0|@" + md5("x")});
  startServer("", 1);  // serves no index archive
  int fetched = 0;
  EXPECT_FALSE(m_worker->distFileDownload(item, fetched));
  EXPECT_STREQ(item.m_szStatus, "904");
  EXPECT_EQ(m_worker->errorDetail().text(), message("1536") + "/Corvane/dist/auto/12.idx.lgz");
}

}  // namespace
}  // namespace cvdt::test
