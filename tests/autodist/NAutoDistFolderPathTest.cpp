// Folder paths the automatic stages make before they write a file, and the transfer of a pass
// that finds one changed file among many in place: that file's parts and nothing else.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>

#include "StagesFixture.h"
#include "platform/PlatformFs.h"

namespace cvdt::test {
namespace {

plat::PathKind kindOf(const std::string& windowsPath) { return plat::pathKind(windowsPath); }

TEST_F(StagesTest, FolderPathsAreMadePartByPartOrFoundInPlace) {
  makeMachine();
  m_machine->writeFile("C:\\Blocked", "a file where a folder is wanted");
  m_machine->writeFile("C:\\Kept\\Deep\\Er\\inside.txt", "stays");
  struct Row {
    const char* path;
    bool withoutLast;
    bool result;
    const char* folder;     // a folder that must exist afterwards
    const char* notFolder;  // a path that must not be a folder afterwards, or null
  };
  const Row rows[] = {
      {"C:\\New\\One\\Two", false, true, "C:\\New\\One\\Two", nullptr},
      {"C:\\Made\\Parent\\file.bin", true, true, "C:\\Made\\Parent", "C:\\Made\\Parent\\file.bin"},
      // Already there: nothing changes, the files inside stay.
      {"C:\\Kept\\Deep\\Er", false, true, "C:\\Kept\\Deep\\Er", nullptr},
      {"C:\\KEPT\\deep\\er\\inside.txt", true, true, "C:\\Kept\\Deep\\Er", nullptr},
      // A file standing where a leading folder belongs is replaced by the folder.
      {"C:\\Blocked\\Below", false, true, "C:\\Blocked\\Below", nullptr},
      // Leading parts shorter than four characters are never made; no drive Q: exists.
      {"Q:\\Nowhere\\At\\All", false, false, nullptr, "Q:\\Nowhere"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.path);
    EXPECT_EQ(m_worker->makeFolderPath(row.path, row.withoutLast), row.result);
    if (row.folder != nullptr) {
      EXPECT_EQ(kindOf(row.folder), plat::PathKind::Directory);
    }
    if (row.notFolder != nullptr) {
      EXPECT_NE(kindOf(row.notFolder), plat::PathKind::Directory);
    }
  }
  EXPECT_EQ(m_machine->readFile("C:\\Kept\\Deep\\Er\\inside.txt"), "stays");
}

TEST_F(StagesTest, OneChangedFileAmongManyIsTheOnlyTransfer) {
  makeMachine();
  std::map<std::string, std::string> files;
  for (int i = 0; i < 60; ++i)
    files["d" + std::to_string(i % 3) + "/f" + std::to_string(i) + ".txt"] =
        std::string(100 + i, static_cast<char>('a' + i % 26));
  AutoPackage package = pack(12, files, "--dest 'C:\\Many' --subfolders");
  LoopbackHttpServer server;
  ASSERT_TRUE(server.start());
  serve(server, package.root);
  setPort(server.port());
  configure(3, "127.0.0.1");
  ADistItem item = itemFor(12, package.digest);
  int fetched = 0;
  ASSERT_TRUE(runStages(item, fetched)) << item.m_szStatus;
  ASSERT_EQ(fetched, 1);

  m_machine->writeFile("C:\\Many\\d1\\f31.txt", "changed here");
  const size_t before = server.requests().size();
  m_access->newMaps();
  m_access->setCurrentServer("");  // as a new pass starts
  ASSERT_TRUE(runStages(item, fetched)) << item.m_szStatus;
  EXPECT_EQ(fetched, 1);
  EXPECT_EQ(m_machine->readFile("C:\\Many\\d1\\f31.txt"), files["d1/f31.txt"]);
  std::vector<std::string> gets;
  const std::vector<std::string> requests = server.requests();
  std::copy_if(requests.begin() + static_cast<long>(before), requests.end(),
               std::back_inserter(gets), [](const std::string& r) { return r.rfind("GET", 0) == 0; });
  // The local index archive is current, so the server is chosen by fetching it once more.
  const std::vector<std::string> expected = {"GET /Corvane/dist/auto/12.idx.lgz",
                                             "GET /Corvane/dist/auto/12/zip/d1/f31.txt.lgz"};
  EXPECT_EQ(gets, expected);
}

}  // namespace
}  // namespace cvdt::test
