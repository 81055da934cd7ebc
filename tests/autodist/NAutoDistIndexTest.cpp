// Stages 1 and 2 of an automatic item: the index archive from the local folder or the servers
// in turn, and the index file's header, file and part lines.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "StagesFixture.h"
#include "autodist/AutoDistTestAccess.h"
#include "platform/NHash.h"
#include "platform/NMisc.h"

using ::testing::HasSubstr;

namespace cvdt::test {
namespace {

namespace fs = std::filesystem;

using IndexTest = StagesTest;

const std::string kHeader = "5|@3|@|@Label|@C:\\Apps\\Five|@Y|@N|@setup.bat|@/quiet";

std::string digestOfHost(const std::string& hostPath) {
  NHash hash;
  return hash.getHash(5, 2, plat::toWindowsPath(hostPath).c_str(), 256);
}

TEST_F(IndexTest, EachInvalidFormatFailsWith902AndItsLine) {
  makeMachine();
  struct Row {
    const char* what;
    std::vector<std::string> lines;
    const char* logLine;
  };
  const std::string longLabel(261, 'x');
  const std::vector<Row> rows = {
      {"8 header fields", {"5|@3|@|@L|@C:\\A|@Y|@N|@p"}, "invalid format (2) \n"},
      {"other id", {"6|@3|@|@L|@C:\\A|@Y|@N|@p|@"}, "invalid format (3), dist_id \n"},
      {"label of 261",
       {"5|@3|@|@" + longLabel + "|@C:\\A|@Y|@N|@p|@"},
       "invalid format (4), dist_id \n"},
      {"two-letter flag", {"5|@3|@|@L|@C:\\A|@YY|@N|@p|@"}, "invalid format (4), dist_id \n"},
      {"unknown line", {kHeader, "X|@a"}, "invalid format (6) \n"},
      {"short file line", {kHeader, "M|@a.txt|@1|@F|@D"}, "invalid format (7) \n"},
      {"short part line", {kHeader, "M|@a.txt|@1|@F|@D|@1", "S|@0"}, "invalid format (8) \n"},
      {"part without file", {kHeader, "S|@0|@D"}, "invalid format (9) \n"},
      {"part 1 first", {kHeader, "M|@a.txt|@1|@F|@D|@2", "S|@1|@D"}, "invalid format (9) \n"},
      // Entry paths that would lead out of the destination or package folder.
      {"parent", {kHeader, "M|@..\\evil.txt|@1|@F|@D|@1"}, "invalid format (10) \n"},
      {"inner parent", {kHeader, "M|@a\\..\\..\\evil.txt|@1|@F|@D|@1"}, "invalid format (10) \n"},
      {"slash parent", {kHeader, "M|@a/../../evil.txt|@1|@F|@D|@1"}, "invalid format (10) \n"},
      {"trimmed parent", {kHeader, "M|@a\\.. \\evil.txt|@1|@F|@D|@1"}, "invalid format (10) \n"},
      {"drive", {kHeader, "M|@C:\\Windows\\evil.txt|@1|@F|@D|@1"}, "invalid format (10) \n"},
      {"drive relative", {kHeader, "M|@d:evil.txt|@1|@F|@D|@1"}, "invalid format (10) \n"},
      {"rooted", {kHeader, "M|@\\evil.txt|@1|@F|@D|@1"}, "invalid format (10) \n"},
      {"empty path", {kHeader, "M|@|@1|@F|@D|@1"}, "invalid format (10) \n"},
  };
  const std::string detail = message("1532") + message("1540");
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    m_access->newMaps();
    writeLocalIndex(5, indexText(row.lines));
    ADistItem item = itemFor(5, "");
    size_t before = countOf(traceLog(), row.logLine);
    EXPECT_FALSE(m_worker->idxFileLoad(item));
    EXPECT_STREQ(item.m_szStatus, "902");
    EXPECT_EQ(recordStatus(), "902");
    EXPECT_EQ(m_worker->errorDetail().text(), detail);
    EXPECT_EQ(
        countOf(traceLog(), std::string("NAutoDist::idxFileLoad: index file ==> ") + row.logLine),
        countOf(traceLog(), row.logLine));
    EXPECT_EQ(countOf(traceLog(), row.logLine), before + 1);
  }
}

TEST_F(IndexTest, MissingIndexFailsAsNotOpened) {
  makeMachine();
  const std::string path = std::string(m_worker->localFolder().text()) + "\\5.idx";
  ADistItem item = itemFor(5, "");
  EXPECT_FALSE(m_worker->idxFileLoad(item));
  EXPECT_STREQ(item.m_szStatus, "902");
  EXPECT_EQ(m_worker->errorDetail().text(), message("1532") + message("1541") + path);
}

TEST_F(IndexTest, HeaderFilesPartsAndDuplicates) {
  makeMachine();
  ADistItem item = itemFor(5, "");
  writeLocalIndex(5, indexText({kHeader + "|@L",
                                "M|@a.txt|@10|@F|@FIRST|@2", "S|@0|@P0",
                                "M|@sub|@0|@D|@|@0",
                                "M|@a.txt|@20|@F|@SECOND|@1", "S|@1|@P1"}));
  ASSERT_TRUE(m_worker->idxFileLoad(item)) << m_worker->errorDetail().text();
  EXPECT_EQ(item.m_nUpdateId, 3);
  EXPECT_STREQ(item.m_szLabel, "Label");
  EXPECT_STREQ(item.m_szDstFolder, "C:\\Apps\\Five");
  EXPECT_STREQ(item.m_szSubFolder, "Y");
  EXPECT_STREQ(item.m_szCleanUp, "N");
  EXPECT_STREQ(item.m_szProgram, "setup.bat");
  EXPECT_STREQ(item.m_szProgramArgs, "/quiet");
  EXPECT_STREQ(item.m_szAccount, "L");
  EXPECT_EQ(recordStatus(), "073");
  EXPECT_EQ(recordPercent(), 100);
  // The second "a.txt" line changed nothing, and the part after it went to the first.
  NFileData* a = m_access->indexMap().find("a.txt");
  ASSERT_NE(a, nullptr);
  EXPECT_STREQ(a->digest(), "FIRST");
  EXPECT_EQ(a->size(), 10u);
  ASSERT_EQ(a->parts().getCount(), 2);
  EXPECT_STREQ(a->parts().getAt(1).text(), "P1");
  EXPECT_STREQ(a->state(), "A");
  ASSERT_NE(m_access->indexMap().find("sub"), nullptr);
  EXPECT_EQ(m_access->indexMap().find("sub")->type(), 'D');

  // Nine fields: the account is "S".
  m_access->newMaps();
  writeLocalIndex(5, indexText({kHeader}));
  ASSERT_TRUE(m_worker->idxFileLoad(item));
  EXPECT_STREQ(item.m_szAccount, "S");
}

// The next item goes on from the server the last index came from: item 8, which 127.0.0.3
// serves, is not looked for there once item 7 came from 127.0.0.4, the last server.
TEST_F(IndexTest, ServersAreTriedInOrderUntilOneServesTheRightArchiveAndTheNextItemGoesOn) {
  makeMachine();
  AutoPackage package = pack(7, {{"a.txt", "alpha"}}, "--dest 'C:\\Seven'");
  AutoPackage eight = pack(8, {{"b.txt", "beta"}}, "--dest 'C:\\Eight'");
  LoopbackHttpServer good;
  ASSERT_TRUE(good.start("127.0.0.4", 0));
  serve(good, package.root);
  LoopbackHttpServer wrong;  // the same port on another address, with another archive for 7
  serve(wrong, eight.root);
  wrong.addFile("/Corvane/dist/auto/7.idx.lgz", ServedFile::of("not the archive"));
  ASSERT_TRUE(wrong.start("127.0.0.3", good.port()));
  setPort(good.port());
  configure(2, "127.0.0.2|&127.0.0.3|&127.0.0.4");  // nothing listens on 127.0.0.2

  ADistItem item = itemFor(7, package.digest);
  ASSERT_TRUE(m_worker->idxFileCheck(item)) << m_worker->errorDetail().text();
  EXPECT_STREQ(m_access->currentServer().text(), "127.0.0.4");
  EXPECT_EQ(recordStatus(), "072");
  EXPECT_EQ(recordPercent(), 100);
  // The wrong archive was fetched once per attempt, at once, then the next server was taken.
  EXPECT_EQ(gets(wrong), (std::vector<std::string>{"GET /Corvane/dist/auto/7.idx.lgz",
                                                        "GET /Corvane/dist/auto/7.idx.lgz"}));
  EXPECT_EQ(gets(good), (std::vector<std::string>{"GET /Corvane/dist/auto/7.idx.lgz"}));
  const std::string log = traceLog();
  size_t dead = log.find("127.0.0.2");
  size_t served = log.find("connect success (http, , 127.0.0.4");
  ASSERT_NE(dead, std::string::npos);
  EXPECT_LT(dead, served);
  EXPECT_TRUE(fs::is_regular_file(
      m_machine->host(std::string(m_worker->localFolder().text()) + "\\7.idx")));

  ADistItem item8 = itemFor(8, eight.digest);
  EXPECT_FALSE(m_worker->idxFileCheck(item8));
  EXPECT_STREQ(item8.m_szStatus, "901");
  EXPECT_EQ(gets(wrong).size(), 2u);
  EXPECT_EQ(gets(good).size(), 1u);
}

// A local index archive with the right digest that does not unpack: "901" naming the archive.
TEST_F(IndexTest, DamagedLocalArchiveWithTheRightDigestFails901) {
  makeMachine();
  startServer();
  const std::string local = std::string(m_worker->localFolder().text()) + "\\7.idx.lgz";
  m_machine->writeFile(local, "damaged archive");
  ADistItem item = itemFor(7, digestOfHost(m_machine->host(local)));
  EXPECT_FALSE(m_worker->idxFileCheck(item));
  EXPECT_STREQ(item.m_szStatus, "901");
  EXPECT_EQ(m_worker->errorDetail().text(), message("1531") + local);
  EXPECT_THAT(traceLog(), HasSubstr("NAutoDist::idxFileCheck: index file unzip failed\n"));
}

}  // namespace
}  // namespace cvdt::test
