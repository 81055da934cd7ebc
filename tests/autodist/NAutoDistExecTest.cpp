// Stage 8 of an automatic item: the program run from the destination folder under the account
// its mode and crv.ini select, with stand-in programs that record how they were run.
#include <gtest/gtest.h>

#include <cstring>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "StagesFixture.h"
#include "gendist/StandInProgram.h"
#include "platform/NMisc.h"

namespace cvdt::test {
namespace {

namespace fs = std::filesystem;

std::string message(const char* key) {
  return NMisc::getMessage(NMisc::thisModule(), key, "").text();
}

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

TEST_F(ExecTest, ProgramOfFewerThanTwoCharactersRunsNothing) {
  for (const char* program : {"", "a"}) {
    ADistItem it = item(program, "S");
    EXPECT_TRUE(m_worker->distFileExecute(it));
  }
  EXPECT_FALSE(logged("NAutoDist::distFileExecute <1>"));
}

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

TEST_F(ExecTest, ConsoleModeRunsShownWhateverCrvIniSays) {
  writeIni("[cvdt_AUTO_DT_21]\nPGM_EXECUTE_ACCOUNT_TYPE=1\n");
  installStandIn(host("C:\\Apps\\X\\tool.exe"), 0);
  ADistItem it = item("tool.exe", "C", "-q");
  int mode = 0;
  int config = -1;
  m_worker->getExecuteAccountType(it, mode, config);
  EXPECT_EQ(mode, 3);
  EXPECT_EQ(config, 0);
  ASSERT_TRUE(m_worker->distFileExecute(it)) << m_worker->errorDetail().text();
  StandInRun run = standInRun(host("C:\\Apps\\X\\tool.exe"));
  ASSERT_TRUE(run.ran);
  EXPECT_EQ(run.show, "-");
  EXPECT_EQ(run.session, "1");
  EXPECT_EQ(run.cwd, host("C:\\Apps\\X"));
  EXPECT_EQ(run.args, (std::vector<std::string>{"-q"}));
  EXPECT_TRUE(logged("[CHECK_POINT][OK] NAutoDist::distFileExecute: Exec. : strPgm: "
                     "C:\\Apps\\X\\tool.exe -q,  strArg: , [3], [0], [0]\n"));
}

TEST_F(ExecTest, AllCaseKeyTwoRunsALogonUserItemHiddenWithTheOwnToken) {
  writeIni("[cvdt]\nAUTO_DT_ALL_CASE_PGM_EXECUTE_ACCOUNT_TYPE=2\n"
           "[cvdt_AUTO_DT_21]\nPGM_EXECUTE_ACCOUNT_TYPE=1\n");
  installStandIn(host("C:\\Apps\\X\\tool.exe"), 0);
  ADistItem it = item("tool.exe", "L");
  int mode = 0;
  int config = 0;
  m_worker->getExecuteAccountType(it, mode, config);
  EXPECT_EQ(mode, 2);
  EXPECT_EQ(config, 2);
  ASSERT_TRUE(m_worker->distFileExecute(it)) << m_worker->errorDetail().text();
  StandInRun run = standInRun(host("C:\\Apps\\X\\tool.exe"));
  ASSERT_TRUE(run.ran);
  EXPECT_EQ(run.show, "0");
  EXPECT_EQ(run.uid, std::to_string(geteuid()));
  EXPECT_EQ(run.session, "1");

  // Without the key the item's own value 1 keeps the logon user; "S" items read it too.
  writeIni("[cvdt_AUTO_DT_21]\nPGM_EXECUTE_ACCOUNT_TYPE=1\n");
  it = item("tool.exe", "S");
  m_worker->getExecuteAccountType(it, mode, config);
  EXPECT_EQ(mode, 1);
  EXPECT_EQ(config, 1);
  writeIni("[cvdt_AUTO_DT_21]\nPGM_EXECUTE_ACCOUNT_TYPE=3\n");  // not 1 or 2: the base mode
  it = item("tool.exe", "L");
  m_worker->getExecuteAccountType(it, mode, config);
  EXPECT_EQ(mode, 1);
  EXPECT_EQ(config, 3);
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
