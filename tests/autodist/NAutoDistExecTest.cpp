// Stage 8 of an automatic item: the program run from the destination folder under the account
// its mode and crv.ini select, with stand-in programs that record how they were run.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>

#include "StagesFixture.h"
#include "gendist/StandInProgram.h"
#include "platform/NMisc.h"

namespace cvdt::test {
namespace {

namespace fs = std::filesystem;

class ExecTest : public StagesTest {
 protected:
  void SetUp() override {
    StagesTest::SetUp();
    makeMachine();
    fs::create_directories(m_machine->host("C:\\Apps\\X"));
  }
  ADistItem item(const char* program, const char* account, const char* args = "") {
    ADistItem item = itemFor(21, "");
    std::strcpy(item.m_szDstFolder, "C:\\Apps\\X");
    std::strcpy(item.m_szProgram, program);
    std::strcpy(item.m_szProgramArgs, args);
    std::strcpy(item.m_szAccount, account);
    return item;
  }
  void writeIni(const std::string& text) { m_machine->writeFile(moduleFolder() + "\\crv.ini", text); }
  std::string host(const std::string& windowsPath) { return m_machine->host(windowsPath); }
  bool logged(const std::string& line) { return traceLog().find(line) != std::string::npos; }
};

TEST_F(ExecTest, BatchExtensionInCapitalsRunsThroughTheInterpreter) {
  m_machine->writeFile("C:\\Apps\\X\\SETUP.BAT",
                       "echo ran \"$@\" > \"$(dirname \"$0\")/ran.txt\"\nexit 0\n");
  ADistItem it = item("SETUP.BAT", "S", "one");
  ASSERT_TRUE(m_worker->distFileExecute(it)) << m_worker->errorDetail().text();
  EXPECT_EQ(m_machine->readFile("C:\\Apps\\X\\ran.txt"), "ran one\n");
  EXPECT_TRUE(logged("NAutoDist::distFileExecute <1>: (C:\\Apps\\X, C:\\Apps\\X\\SETUP.BAT one) \n"));
  EXPECT_TRUE(logged("[CHECK_POINT][OK] NAutoDist::distFileExecute: Exec. Batch File: strPgm: "));
  EXPECT_TRUE(logged("  /c \"C:\\Apps\\X\\SETUP.BAT one\",  strArg: , [2], [0], [0]\n"));
}

TEST_F(ExecTest, AccountModeComesFromTheItemAndCrvIni) {
  const std::string own = "[cvdt_AUTO_DT_21]\nPGM_EXECUTE_ACCOUNT_TYPE=";
  const std::string allCase = "[cvdt]\nAUTO_DT_ALL_CASE_PGM_EXECUTE_ACCOUNT_TYPE=2\n";
  struct Row {
    std::string ini;
    const char* account;
    int mode, config;
  };
  const Row rows[] = {
      {own + "1\n", "C", 3, 0},            // console: shown, whatever crv.ini says
      {allCase + own + "1\n", "L", 2, 2},  // the all-case key wins: the own token, hidden
      {own + "1\n", "S", 1, 1},            // the item's own value 1: the logon user
      {own + "3\n", "L", 1, 3},            // not 1 or 2: the base mode
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.ini + row.account);
    writeIni(row.ini);
    ADistItem it = item("tool.exe", row.account);
    int mode = 0;
    int config = -1;
    m_worker->getExecuteAccountType(it, mode, config);
    EXPECT_EQ(mode, row.mode);
    EXPECT_EQ(config, row.config);
  }
}

TEST_F(ExecTest, ConsoleModeRunsShownInTheDestinationFolder) {
  installStandIn(host("C:\\Apps\\X\\tool.exe"), 0);
  writeIni("[cvdt_AUTO_DT_21]\nPGM_EXECUTE_ACCOUNT_TYPE=1\n");
  ADistItem it = item("tool.exe", "C", "-q");
  ASSERT_TRUE(m_worker->distFileExecute(it)) << m_worker->errorDetail().text();
  StandInRun run = standInRun(host("C:\\Apps\\X\\tool.exe"));
  ASSERT_TRUE(run.ran);
  EXPECT_EQ(run.show, "-");
  EXPECT_EQ(run.session, "1");
  EXPECT_EQ(run.cwd, host("C:\\Apps\\X"));
  EXPECT_EQ(run.args, (std::vector<std::string>{"-q"}));
  EXPECT_TRUE(
      logged("[CHECK_POINT][OK] NAutoDist::distFileExecute: Exec. : strPgm: "
             "C:\\Apps\\X\\tool.exe -q,  strArg: , [3], [0], [0]\n"));
}

TEST_F(ExecTest, ExitCodeOneFails908) {
  installStandIn(host("C:\\Apps\\X\\tool.exe"), 1);
  ADistItem it = item("tool.exe", "S", "-x");
  EXPECT_FALSE(m_worker->distFileExecute(it));
  EXPECT_STREQ(it.m_szStatus, "908");
  EXPECT_EQ(recordStatus(), "908");
  const std::string detail = m_worker->errorDetail().text();
  EXPECT_EQ(detail.rfind(message("1539") + "C:\\Apps\\X\\tool.exe -x ErrCode:", 0), 0u) << detail;
  EXPECT_TRUE(logged("[CHECK_POINT][FAILED] NAutoDist::distFileExecute: Exec. : strPgm: "
                     "C:\\Apps\\X\\tool.exe -x,  strArg: , [2], [0], [1], [0], [0]\n"));
}

}  // namespace
}  // namespace cvdt::test
