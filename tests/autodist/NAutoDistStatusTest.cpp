// The automatic worker's status: the status record, its publication to the registry for the
// dialog and its relaunch, the state file, and reports the real gateway stores while a second
// thread changes the record.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <set>
#include <thread>
#include <vector>

#include "autodist/AutoDistTestAccess.h"
#include "detect/NProcess.h"
#include "gateway/GatewayProcess.h"
#include "platform/PlatformSystem.h"
#include "support/TestMachine.h"

namespace {

using Access = NAutoDistTestAccess;
using cvdt::test::DbProbe;
using cvdt::test::GatewayProcess;
using cvdt::test::makeItem;
using cvdt::test::publishedBlock;
using cvdt::test::TestMachine;

class StatusTest : public testing::Test {
 protected:
  void SetUp() override {
    m_machine = std::make_unique<TestMachine>();
    cvdt::test::setHostEnvironment(m_gateway.port());
    m_worker = std::make_unique<NAutoDist>();
    m_worker->initSetting(&m_manager);
  }
  void TearDown() override {
    m_worker.reset();
    m_machine.reset();
  }
  void settings(const char* callArgs) {
    ASSERT_TRUE(m_manager.initSetting("", callArgs, "EQ|%|%127.0.0.1", "", 3));
  }
  void writeUi(const std::string& text) {
    m_machine->writeFile(m_machine->config().moduleFolder + "\\crvUI.ini", text);
  }
  std::vector<std::string> rows() {
    return DbProbe(m_gateway.dbPath())
        .rows(
            "SELECT equip_id, dist_id, update_id, status, status_detail, dist_server_ip, "
            "COALESCE(err_detail, '<null>') FROM a_equip_history ORDER BY history_id");
  }

  GatewayProcess m_gateway;
  std::unique_ptr<TestMachine> m_machine;
  NDistMgr m_manager;
  std::unique_ptr<NAutoDist> m_worker;
};

TEST_F(StatusTest, RecordTakesEachUpdateWholeAndTheRegistryGetsTheExactBlock) {
  settings("3|%60|%N|%0");
  Access::setItems(*m_worker, {makeItem(4, "070", 2), makeItem(9, "010", 0)});
  m_worker->setStatus(4, -1, "071", "");
  const ADistStatusRecord& record = m_worker->sharedState().m_status;
  EXPECT_EQ(record.m_nDistId, 4);
  EXPECT_STREQ(record.m_szStatus, "071");
  EXPECT_EQ(record.m_nPercent, -1);
  EXPECT_EQ(record.m_nStartTick, record.m_nLastTick);
  uint32_t started = record.m_nStartTick;

  std::string longText(300, 'x');
  m_worker->reportStatus(4, 50, "075", longText.c_str(), true);
  EXPECT_EQ(std::string(record.m_szDetail), std::string(260, 'x'));
  EXPECT_EQ(record.m_nStartTick, started);  // only "071" restarts the clock
  EXPECT_TRUE(publishedBlock().empty());    // show dialog 0: nothing published

  settings("3|%60|%Y|%0");
  m_worker->reportStatus(4, 75, "075", "part.bin", true);
  m_worker->reportStatus(4, 80, "075", "short", true);  // a shorter text leaves no tail behind
  std::string counter;
  std::vector<uint8_t> image = publishedBlock(&counter);
  ASSERT_EQ(image.size(), ADistSharedState::kSize);
  EXPECT_EQ(std::memcmp(image.data(), &m_worker->sharedState(), ADistSharedState::kSize), 0);
  EXPECT_EQ(counter, "1");  // the counter before the second publication
  EXPECT_EQ(Access::publications(*m_worker), 2u);
  int32_t count = 0;
  std::memcpy(&count, image.data(), 4);
  EXPECT_EQ(count, 2);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(image.data()) + 115212), "short");
  EXPECT_EQ(image[115212 + 6], 0);
  int32_t percent = 0;
  std::memcpy(&percent, image.data() + 115476, 4);
  EXPECT_EQ(percent, 80);
}

TEST_F(StatusTest, StateFileFollowsTheSettingAndStaysInTheDestination) {
  settings("3|%60|%N|%0");
  ADistItem item = makeItem(4, "070");
  std::strcpy(item.m_szDstFolder, "C:\\Apps\\State\\Deep");
  m_worker->writeStateFile(1, item);
  EXPECT_EQ(m_machine->readFile("C:\\Apps\\State\\Deep\\ADist_Status.txt"), "<missing>");
  writeUi("[cvdt]\nWRITE_STATE=1\n");
  m_worker->writeStateFile(1, item);
  EXPECT_EQ(m_machine->readFile("C:\\Apps\\State\\Deep\\ADist_Status.txt"), "1");
  ADistItem unloaded = makeItem(5, "070");  // no destination read from an index yet
  m_worker->writeStateFile(1, unloaded);
  EXPECT_EQ(m_machine->readFile("C:\\ADist_Status.txt"), "<missing>");
}

// The manager thread reports while the pass thread changes the record: every report the
// gateway stores is one whole update, never fields of two.
TEST_F(StatusTest, ReportsFromAnotherThreadNeverMixTwoUpdates) {
  settings("3|%60|%Y|%0");
  Access::setItems(*m_worker, {makeItem(4, "070", 7), makeItem(5, "070", 8)});
  Access::setReport(*m_worker, true);
  m_worker->setStatus(4, 10, "072", "first");
  std::atomic<bool> done{false};
  std::thread pass([&] {
    for (int i = 0; !done.load(); ++i) {
      bool odd = (i % 2) != 0;
      m_worker->setCurrentServer(odd ? "10.0.0.2" : "10.0.0.1");
      m_worker->setErrorDetail(odd ? "five" : "four");
      if (odd) m_worker->reportStatus(5, 20, "073", "second", true);
      else m_worker->setStatus(4, 10, "072", "first");
    }
  });
  writeUi("[cvdt]\nERR_DETL_LOG=1\n");
  for (int i = 0; i < 60; ++i) m_worker->updateDBDistStatus();
  done = true;
  pass.join();
  std::vector<std::string> stored = rows();
  ASSERT_EQ(stored.size(), 60u);
  std::set<std::string> kinds;
  for (const std::string& row : stored) {
    // The server and the error detail are taken with the record, but set just before it, so
    // they may belong to the update before; the record's own fields always go together.
    bool four = row.rfind("EQ0000000001,4,7,072,10 %,", 0) == 0;
    bool five = row.rfind("EQ0000000001,5,8,073,20 %,", 0) == 0;
    EXPECT_TRUE(four || five) << row;
    kinds.insert(row.substr(0, 26));
  }
  EXPECT_FALSE(kinds.empty());
}

bool dialogShown() {
  NProcess processes;
  return processes.snapshot() && processes.find("cvdtdlg.exe") != 0;
}

TEST_F(StatusTest, ClosedDialogIsLaunchedAgainOnlyAfterTheRecheckTimeOrOnDisplay) {
  settings("3|%60|%Y|%0");
  Access::setItems(*m_worker, {makeItem(5, "070")});
  auto launches = [&] {  // the first line of each launch, whatever the Windows version
    const std::string log = m_machine->traceLog();
    size_t count = 0;
    for (const char* first : {"execDtDlg() <1>", "execDtDlg() <4>", "execDtDlg() <8>"})
      count += cvdt::test::countOf(log, first);
    return count;
  };
  auto closeDialog = [&] {
    m_manager.killDialog("cvdtdlg.exe");
    return cvdt::test::waitUntil([] { return !dialogShown(); });
  };

  m_worker->reportStatus(5, 10, "075", "a.txt", false);
  EXPECT_EQ(launches(), 1u);
  ASSERT_TRUE(cvdt::test::waitUntil(dialogShown));
  m_worker->reportStatus(5, 20, "075", "b.txt", false);  // running: not launched twice
  EXPECT_EQ(launches(), 1u);

  // Closed by the user: not looked for again until the recheck time has passed.
  ASSERT_TRUE(closeDialog());
  m_worker->reportStatus(5, 30, "075", "c.txt", false);
  m_worker->reportStatus(5, 40, "075", "d.txt", true);  // quiet reports never launch
  EXPECT_EQ(launches(), 1u);
  Access::setDialogCheckTick(*m_worker, plat::tickCount() - 120001);
  m_worker->reportStatus(5, 50, "075", "e.txt", true);
  EXPECT_EQ(launches(), 1u);
  m_worker->reportStatus(5, 60, "075", "f.txt", false);
  EXPECT_EQ(launches(), 2u);
  EXPECT_TRUE(cvdt::test::waitUntil(dialogShown));

  // The manager's dialog-now asks at once, and only when none runs.
  m_worker->setDisplay();
  EXPECT_EQ(launches(), 2u);
  ASSERT_TRUE(closeDialog());
  m_worker->setDisplay();
  EXPECT_EQ(launches(), 3u);
  EXPECT_TRUE(cvdt::test::waitUntil(dialogShown));
  EXPECT_TRUE(closeDialog());
}

}  // namespace
