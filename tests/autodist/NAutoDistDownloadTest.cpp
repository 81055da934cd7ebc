// Stage 4 of an automatic item: parts fetched whole and checked by digest, unpacked beside
// themselves, and the failures of a bad part, a damaged archive, an inconsistent index and a
// missing server.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "StagesFixture.h"
#include "platform/NHash.h"
#include "platform/NMisc.h"

using ::testing::HasSubstr;

namespace cvdt::test {
namespace {

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
  EXPECT_THAT(traceLog(),
              HasSubstr("NAutoDist::distFileDownload: CVD_ADIST_STATUS_FAIL_FILE_DOWN (1) "
                        "(127.0.0.1), (" +
                        part + ", "));
}

TEST_F(DownloadTest, DamagedArchiveWithRightDigestsFails905) {
  makeMachine();
  const std::string garbage = "not a gzip stream at all";
  ADistItem item = loadIndex({"M|@a.txt|@5|@F|@" + md5("alpha") + "|@1", "S|@0|@" + md5(garbage)});
  m_server.addFile("/Corvane/dist/auto/12/zip/a.txt.lgz", ServedFile::of(garbage));
  startServer();
  m_access->setCurrentServer("127.0.0.1");
  int fetched = 0;
  EXPECT_FALSE(m_worker->distFileDownload(item, fetched));
  EXPECT_STREQ(item.m_szStatus, "905");
  const std::string archive = packageFolder() + "\\a.txt.lgz";
  EXPECT_EQ(m_worker->errorDetail().text(), message("1537") + archive);
  EXPECT_THAT(traceLog(),
              HasSubstr("NAutoDist::distFileDownload: CVD_ADIST_STATUS_FAIL_FILE_UNZIP (" +
                        archive + ") \n"));
}

TEST_F(DownloadTest, PartCountDifferentFromThePartLinesFails910) {
  makeMachine();
  ADistItem item = loadIndex({"M|@a.txt|@5|@F|@" + md5("alpha") + "|@2", "S|@0|@" + md5("x")});
  startServer();
  m_access->setCurrentServer("127.0.0.1");
  int fetched = 0;
  EXPECT_FALSE(m_worker->distFileDownload(item, fetched));
  EXPECT_STREQ(item.m_szStatus, "910");
  EXPECT_EQ(m_worker->errorDetail().text(), message("1535"));
  EXPECT_TRUE(gets(m_server).empty());
}

TEST_F(DownloadTest, FileAlreadyUnpackedInThePackageFolderIsMovedWithoutATransfer) {
  makeMachine();
  ADistItem item = loadIndex({"M|@a.txt|@5|@F|@" + md5("alpha") + "|@1", "S|@0|@" + md5("x")});
  m_machine->writeFile(packageFolder() + "\\a.txt", "alpha");
  startServer();
  m_access->setCurrentServer("127.0.0.1");
  int fetched = 0;
  ASSERT_TRUE(m_worker->distFileDownload(item, fetched)) << m_worker->errorDetail().text();
  EXPECT_EQ(fetched, 1);
  ASSERT_TRUE(m_worker->distFileCopy(item));
  EXPECT_EQ(m_machine->readFile("C:\\Twelve\\a.txt"), "alpha");
  EXPECT_TRUE(gets(m_server).empty());
}

// Stage 1 took the index from the local folder and no server serves it any more: nothing can be
// fetched, so the stage fails as a failed download.
TEST_F(DownloadTest, NoServerForThePackageFails904) {
  makeMachine();
  ADistItem item = loadIndex({"M|@a.txt|@5|@F|@" + md5("alpha") + "|@1", "S|@0|@" + md5("x")});
  startServer("", 1);  // serves no index archive
  int fetched = 0;
  EXPECT_FALSE(m_worker->distFileDownload(item, fetched));
  EXPECT_STREQ(item.m_szStatus, "904");
  EXPECT_EQ(m_worker->errorDetail().text(), message("1536") + "/Corvane/dist/auto/12.idx.lgz");
  EXPECT_THAT(traceLog(), HasSubstr("NAutoDist::distFileDownload: idx file get error "
                                    "(/Corvane/dist/auto/12.idx.lgz, "));
  EXPECT_EQ(requestsFor(m_server, "/Corvane/dist/auto/12/zip/a.txt.lgz"), 0u);
}

}  // namespace
}  // namespace cvdt::test
