// The commanded manager: settings from the equipment configuration, ban periods, the post's
// duplicate / busy / front-of-queue rules, the drain reports, and the deletion of completed
// distributions.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <thread>

#include "entry/NModuleState.h"
#include "gendist/CurrentDist.h"
#include "gendist/NGenDistDelete.h"
#include "gendist/NGenDistMgr.h"
#include "platform/NMisc.h"
#include "platform/PlatformFs.h"
#include "gendist/StandInProgram.h"
#include "gateway/GatewayProcess.h"
#include "support/HostReports.h"
#include "support/TestMachine.h"
#include "gendist/NGenDistMgrTestAccess.h"

namespace {

using cvdt::test::TestMachine;

using Access = NGenDistMgrTestAccess;

// A posted command's record, allocated as the exports allocate it.
DistCommandRecord* record(uint32_t cmdId, int32_t distId) {
  auto* r = static_cast<DistCommandRecord*>(std::calloc(1, sizeof(DistCommandRecord)));
  r->m_nCmdId = cmdId;
  std::strcpy(r->m_hostEnv.m_szEquipId, "EQ0000000001");
  std::strcpy(r->m_hostEnv.m_szDbAddress, "127.0.0.1");
  std::strcpy(r->m_hostEnv.m_szDbPort, "1");  // nothing listens: database writes fail quietly
  std::strcpy(r->m_szCurTime, "20261205120000");
  std::strcpy(r->m_szCallArgs, "N|%10");
  std::strcpy(r->m_szEquipCfg, "127.0.0.1");
  r->m_content.m_nDistId = distId;
  std::strcpy(r->m_content.m_szDistName, "Demo");
  return r;
}

ThreadCommand commandOf(int32_t code, DistCommandRecord* r) {
  return ThreadCommand{code, r, sizeof(DistCommandRecord), 0};
}

TEST(NGenDistMgrTest, EquipmentConfigurationGivesBansAndDeletions) {
  TestMachine machine;
  NGenDistMgr manager;
  EXPECT_EQ(manager.parseEquipCfg("1.2.3.4"), 0);         // no field 1
  EXPECT_EQ(manager.parseEquipCfg("1.2.3.4|%7"), 0);      // field 1 with one element
  ASSERT_EQ(manager.parseEquipCfg(
                "010.000.000.001|%7|&60|&y|%09:00:00|*10:30:00|&bad|&22:00:00|*23:59:59"
                "|%5|*C:\\App|&0|*.|&9|*."),
            1);
  EXPECT_EQ(manager.firstConfigNumber(), 7);
  EXPECT_TRUE(Access::banCheck(manager));
  ASSERT_EQ(Access::banStart(manager).getCount(), 2);  // the element without "|*" is skipped
  EXPECT_STREQ(Access::banEnd(manager).getAt(1).text(), "23:59:59");
  ASSERT_EQ(Access::deletions(manager).size(), 2u);    // id 0 is skipped
  EXPECT_STREQ(Access::deletions(manager)[0].m_szFolder, "C:\\App");

  // Two elements only: the ban settings stay; the deletion list is appended to.
  ASSERT_EQ(manager.parseEquipCfg("x|%8|&60|%|%11|*."), 1);
  EXPECT_TRUE(Access::banCheck(manager));
  EXPECT_EQ(Access::banStart(manager).getCount(), 2);
  EXPECT_EQ(Access::deletions(manager).size(), 3u);

  struct Row {
    const char* now;
    bool banned;
  } rows[] = {{"20261205085959", false}, {"20261205090000", true}, {"20261205103000", true},
              {"20261205103001", false}, {"20261205235959", true}};
  for (const Row& row : rows) {
    Access::setTime(manager, row.now);
    EXPECT_EQ(manager.BanDT_PeriodTime(), row.banned) << row.now;
  }
  ASSERT_EQ(manager.parseEquipCfg("x|%8|&60|&N|%09:00:00|*10:30:00"), 1);
  Access::setTime(manager, "20261205093000");
  EXPECT_FALSE(manager.BanDT_PeriodTime());  // checking switched off
}

TEST(NGenDistMgrTest, PostRulesAndDrainReports) {
  TestMachine machine;
  cvdt::test::HostReports reports;
  const std::string messageProgram = machine.host(machine.config().moduleFolder + "\\crvmsg.exe");
  cvdt::test::installStandIn(messageProgram, 1);
  NGenDistMgr manager;
  int length = -1;
  EXPECT_NE(manager.post(12, 0, 1, commandOf(kRunGenDistFromCommandProc, record(101, 12)), &length, 0), 0);
  EXPECT_EQ(length, 1);
  EXPECT_NE(manager.post(13, 0, 1, commandOf(kRunGenDistFromCommandProc, record(102, 13)), &length, 0), 0);
  // The same distribution again: refused and reported "100".
  EXPECT_EQ(manager.post(12, 0, 1, commandOf(kRunGenDistFromCommandProc, record(103, 12)), &length, 0), 0);
  EXPECT_EQ(length, 2);
  // An outer request while jobs wait: refused as busy.
  EXPECT_EQ(manager.post(14, 1, 1, commandOf(kRunGenDistOuterRequest, record(104, 14)), &length, 0), 0);
  // The requester is told in its session, with the refusal text and the caption, as a stop box.
  cvdt::test::StandInRun shown = cvdt::test::standInRun(messageProgram, std::chrono::seconds(10));
  ASSERT_TRUE(shown.ran);
  ASSERT_EQ(shown.args.size(), 3u);
  std::string refusal = NMisc::getMessage(machine.moduleHandle(), "1995", "").text();
  EXPECT_EQ(shown.args[0], refusal.substr(0, refusal.find('\n')));  // the record keeps one line
  EXPECT_EQ(shown.args[1], NMisc::getMessage(machine.moduleHandle(), "1478", "").text());
  EXPECT_EQ(shown.args[2], "266256");
  EXPECT_EQ(shown.session, "1");
  // An urgent cancel goes to the front.
  auto* cancel = static_cast<UrgentCancelRecord*>(std::calloc(1, sizeof(UrgentCancelRecord)));
  EXPECT_NE(manager.post(12, 0, 1, ThreadCommand{kUrgentTopCancelForce, cancel, 36, 0}, &length, 1), 0);
  EXPECT_EQ(length, 3);
  EXPECT_EQ(Access::frontCode(manager), kUrgentTopCancelForce);

  // A running distribution is a duplicate too.
  DistContent running{};
  running.m_nDistId = 77;
  CurrentDist::set(running);
  EXPECT_EQ(manager.post(77, 0, 1, commandOf(kRunGenDistFromCommandProc, record(105, 77)), &length, 0), 0);
  CurrentDist::clear();

  manager.ReportAllCommandQueuedDistStop(2);  // stop: the two queued jobs are dropped as "940"
  EXPECT_EQ(Access::queued(manager), 0);
  ASSERT_TRUE(reports.waitFor(102, "040"));
  EXPECT_EQ(reports.codesOf(103), "070 100");  // the temporary job reports its record first ("071" shows as "070")
  EXPECT_EQ(reports.codesOf(105), "070 100");
  EXPECT_EQ(reports.codesOf(101), "070 040");
  EXPECT_EQ(reports.codesOf(102), "070 040");
  EXPECT_EQ(reports.codesOf(104), "");  // a refused outer request is told to its requester only
}

TEST(NGenDistMgrTest, DeletionRemovesJobFilesButNeverInstallations) {
  TestMachine machine;
  const std::string module = machine.config().moduleFolder;
  machine.writeFile(module + "\\ndist\\5\\5.lgz", "part");
  machine.writeFile(module + "\\ndist\\5.idx", "index");
  machine.writeFile(module + "\\ndist\\5.idx.lgz", "archive");
  machine.writeFile(module + "\\ndist_temp\\5\\setup.exe", "x");
  machine.writeFile(module + "\\ndist\\7\\7.lgz", "part");
  plat::setReadOnly(module + "\\ndist\\7\\7.lgz", true);
  machine.writeFile("C:\\App\\installed.exe", "keep");
  machine.writeFile(module + "\\ndist\\7\\sub\\x", "x");

  NGenDistDelete deleter;
  uint32_t reason = 0;
  EXPECT_EQ(deleter.DeleteAll(5, ".", reason), 1);
  EXPECT_EQ(reason, 0u);
  EXPECT_EQ(plat::pathKind(module + "\\ndist\\5"), plat::PathKind::None);
  EXPECT_EQ(plat::pathKind(module + "\\ndist\\5.idx.lgz"), plat::PathKind::None);
  EXPECT_EQ(plat::pathKind(module + "\\ndist_temp\\5"), plat::PathKind::None);
  EXPECT_EQ(deleter.DeleteAll(7, "C:\\App", reason), 1);  // the read-only part goes too
  EXPECT_EQ(reason, NGenDistDelete::kReasonInstalledFolder);
  EXPECT_EQ(machine.readFile("C:\\App\\installed.exe"), "keep");
  EXPECT_EQ(deleter.DeleteAll(9, ".", reason), 1);  // nothing there counts as removed

  EXPECT_EQ(NGenDistDelete::isSafeToDelete("C:\\"), 0);
  EXPECT_EQ(NGenDistDelete::isSafeToDelete("C:"), 0);
  EXPECT_EQ(NGenDistDelete::isSafeToDelete("C:\\Temp"), 1);
  EXPECT_EQ(NGenDistDelete::isSafeToDelete("relative\\path"), 0);
  EXPECT_EQ(NGenDistDelete::isSafeToDelete("\\\\server\\share"), 0);
}

TEST(NGenDistMgrTest, PassCounterWrapsToOneNeverZero) {
  EXPECT_EQ(NGenDistMgr::nextPass(0), 1u);
  EXPECT_EQ(NGenDistMgr::nextPass(4), 5u);
  EXPECT_EQ(NGenDistMgr::nextPass(9999999), 10000000u);
  EXPECT_EQ(NGenDistMgr::nextPass(10000000), 1u);
}

TEST(NGenDistMgrTest, DeletionBatchReportsTheRemovedIdsAsOneValue) {
  TestMachine machine;
  cvdt::test::GatewayProcess gateway;
  HostEnvironment env;
  std::memset(&env, 0, sizeof env);
  std::strcpy(env.m_szEquipId, "EQ0000000001");
  std::strcpy(env.m_szDbAddress, "127.0.0.1");
  std::snprintf(env.m_szDbPort, sizeof env.m_szDbPort, "%d", gateway.port());
  NModuleState::setHostEnvironment(env);
  machine.writeFile(machine.config().moduleFolder + "\\ndist\\7\\7.lgz", "part");
  NGenDistMgr manager;
  ASSERT_EQ(manager.parseEquipCfg("x|%0|&60|%|%5|*.|&7|*C:\\App|&9|*."), 1);
  manager.DoBatch_COMPLETED_DT_DELETE();
  EXPECT_EQ(plat::pathKind(machine.config().moduleFolder + "\\ndist\\7"), plat::PathKind::None);
  cvdt::test::DbProbe database(gateway.dbPath());
  EXPECT_EQ(database.rows("SELECT dist_id FROM n_equip_deleted ORDER BY dist_id"),
            (std::vector<std::string>{"5", "7", "9"}));
  std::string trace = machine.traceLog();
  // One request carried all three ids: the gateway answers with the number of ids it was given.
  EXPECT_NE(trace.find("(C00440AOK|@3)"), std::string::npos) << trace;
}

}  // namespace
