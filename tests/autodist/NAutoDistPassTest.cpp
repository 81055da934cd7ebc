// Whole passes of the automatic worker against a loopback HTTP server and the real gateway: the
// retry rule, completed items and their reports, the installed-product check with real
// detection policies, and a stop during a pass.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <thread>

#include "StagesFixture.h"
#include "autodist/AutoDistTestAccess.h"
#include "detect/NEswDetectMgr.h"
#include "gateway/GatewayProcess.h"
#include "platform/NMisc.h"

using ::testing::HasSubstr;
using ::testing::Not;

namespace cvdt::test {
namespace {

namespace fs = std::filesystem;
using Access = NAutoDistTestAccess;

class PassTest : public StagesTest {
 protected:
  void SetUp() override {
    StagesTest::SetUp();
    makeMachine();
    ASSERT_TRUE(m_server.start());
    setHostEnvironment(m_gateway.port(), m_server.port());
  }
  // Sets an item's status and attempts in the manager as an earlier pass would have left them.
  void leave(int32_t id, const char* status, int attempts) {
    std::vector<ADistItem> items(ADistSharedState::kMaxItems);
    int count = m_manager->copyItems(items.data());
    for (int i = 0; i < count; ++i) {
      if (items[i].m_nDistId != id) continue;
      std::snprintf(items[i].m_szStatus, sizeof items[i].m_szStatus, "%s", status);
      items[i].m_nAttempts = attempts;
    }
    m_manager->mergeItems(count, items.data());
  }
  void addTarget(int dist, const std::string& policy, int updateId) {
    CommandResult added = runGatewayCommand({"target", "add", "--db", m_gateway.dbPath(), "--dist",
                                             std::to_string(dist), "--name", "Product",
                                             "--policy", policy, "--update-id",
                                             std::to_string(updateId)});
    ASSERT_EQ(added.status, 0) << added.err;
  }
  void removeTargets() {
    DbProbe probe(m_gateway.dbPath());
    for (const std::string& id : probe.rows("SELECT target_id FROM adt_product_target")) {
      CommandResult removed = runGatewayCommand({"target", "remove", "--db", m_gateway.dbPath(), id});
      ASSERT_EQ(removed.status, 0) << removed.err;
    }
  }
  std::vector<std::string> reports(int dist) {
    return DbProbe(m_gateway.dbPath())
        .rows("SELECT update_id, status, status_detail, dist_server_ip, COALESCE(err_detail, "
              "'<null>') FROM a_equip_history WHERE dist_id = " + std::to_string(dist) +
              " ORDER BY history_id");
  }
  size_t logged(const std::string& line) { return countOf(traceLog(), line); }
  AutoPackage packCounting(int id, const std::string& dest) {
    AutoPackage package = pack(id, {{"install.bat", kCountingBatch}, {"data.txt", "data"}},
                               "--dest '" + dest + "' --program install.bat --update-id 4");
    serve(m_server, package.root);
    return package;
  }

  GatewayProcess m_gateway;
};

// A policy naming this machine's first platform string, with an installed-section (or none).
std::string policy(const char* installed) {
  CRV::CVDT::AUTO_DIST::NEswDetectMgr detection;
  detection.init("", "");
  std::string text = "<polProduct><flatform01>" +
                     std::string(detection.platformStrings().getAt(0).text()) + "</flatform01>";
  if (installed != nullptr)
    text += std::string("<installed><expression><boolean><value>") + installed +
            "</value></boolean></expression></installed>";
  return text + "</polProduct>";
}

TEST_F(PassTest, FailedItemsAreRetriedUpToTheRetryCountAndCompletedOnesLeftAlone) {
  // No server serves these items: each distribution fails at its first stage.
  m_server.stop();
  command("3|%60|%N|%0", "41|*Retry|*D41|&42|*Done|*D42");
  leave(41, "904", 3);
  leave(42, "060", 0);
  Access::run(*m_worker);
  EXPECT_TRUE(Access::passFinished(*m_worker));
  EXPECT_STREQ(item(41).m_szStatus, "901");
  EXPECT_EQ(item(41).m_nAttempts, 4);
  EXPECT_STREQ(item(42).m_szStatus, "060");
  EXPECT_EQ(logged("NAutoDist::doAutoDist: (41, Retry) stage 1 start\n"), 1u);
  EXPECT_EQ(logged("NAutoDist::doAutoDist: (42, Done) stage 1 start\n"), 0u);
  EXPECT_EQ(logged("NAutoDist::run(2): DIST: 41, 071\n") +
                logged("NAutoDist::run(2): DIST: 41, 904\n"),
            1u);

  // The next pass: attempt 4 is past the retry count; 42 is commanded again and goes.
  command("3|%60|%N|%0", "42|*Done|*D42", 2);
  Access::run(*m_worker);
  EXPECT_EQ(item(41).m_nAttempts, 4);
  EXPECT_EQ(logged("NAutoDist::doAutoDist: (41, Retry) stage 1 start\n"), 1u);
  EXPECT_EQ(logged("NAutoDist::doAutoDist: (42, Done) stage 1 start\n"), 1u);
  EXPECT_STREQ(item(42).m_szStatus, "901");
  EXPECT_EQ(item(42).m_nAttempts, 0);  // a commanded item does not count an attempt
  EXPECT_TRUE(reports(41).empty());     // no update id: nothing reported
}

TEST_F(PassTest, PassDistributesAndReports) {
  AutoPackage package = packCounting(51, "C:\\Apps\\51");
  m_machine->writeFile(moduleFolder() + "\\crvUI.ini", "[cvdt]\nERR_DETL_LOG=1\nWRITE_STATE=1\n");
  addTarget(52, "<polProduct />", 6);  // an empty policy: distributed without detection
  // 52 (older, wrong digest) after 51 (newest first).
  command("1|%60|%Y|%0", "52|*Broken|*00000000000000000000000000000000|&51|*Good|*" +
                             package.digest);
  Access::run(*m_worker);
  EXPECT_STREQ(item(51).m_szStatus, "060");
  EXPECT_STREQ(item(52).m_szStatus, "901");
  EXPECT_EQ(m_machine->readFile("C:\\Apps\\51\\runs.txt"), "ran\n");
  EXPECT_EQ(m_machine->readFile("C:\\Apps\\51\\data.txt"), "data");
  EXPECT_EQ(m_machine->readFile("C:\\Apps\\51\\ADist_Status.txt"), "2");

  std::string unpackFailed = NMisc::getMessage(NMisc::thisModule(), "1531", "").text();
  EXPECT_EQ(reports(51), (std::vector<std::string>{"4,073,100 %,127.000.000.001,",
                                                   "4,060,,127.000.000.001,"}));
  EXPECT_EQ(reports(52), (std::vector<std::string>{"6,901,0 %,," + unpackFailed}));
}

TEST_F(PassTest, DetectionDecidesBetweenInstalledReinstallAndPolicyError) {
  AutoPackage installed = packCounting(61, "C:\\Apps\\61");
  AutoPackage missing = packCounting(62, "C:\\Apps\\62");
  addTarget(61, policy("1"), 3);
  addTarget(63, policy(nullptr), 5);  // no installed-section: cannot be evaluated
  command("3|%60|%N|%0", "61|*Installed|*" + installed.digest + "|&62|*Missing|*" +
                             missing.digest + "|&63|*Broken|*D63");
  Access::run(*m_worker);

  // Installed: complete without any transfer.
  EXPECT_STREQ(item(61).m_szStatus, "060");
  for (const std::string& request : m_server.requests())
    EXPECT_THAT(request, Not(HasSubstr("/61")));
  // Items go newest first: 62 was fetched from the server before, which stays current.
  EXPECT_EQ(reports(61), (std::vector<std::string>{"3,060,,127.000.000.001,<null>"}));
  EXPECT_EQ(logged("NAutoDist::run(4) [FALSE] m_esw_equip_cfg.pProd[nRowCount].bReal_Installed is "
                   "TRUE.\n"),
            1u);
  // The gateway had no "060" for it: detection and the gateway disagree.
  EXPECT_GE(logged("NAutoDist::run(5) m_esw_equip_cfg.pProd[prod_index].bReal_Installed != "
                   "m_esw_equip_cfg.pProd[prod_index].bInstalled.\n"), 1u);
  // Detection flipped the target to installed: one line in the day's record.
  std::string day = Access::timeText(*m_worker).left(8).text();
  std::string record = m_machine->readFile(moduleFolder() + "\\log\\" + day);
  EXPECT_EQ(record.rfind("61|@3|@|@" + day, 0), 0u) << record;
  EXPECT_EQ(countOf(record, "\r\n"), 1u);

  // No target for 62: distributed as usual. The broken policy fails 63 with "920".
  EXPECT_STREQ(item(62).m_szStatus, "060");
  EXPECT_EQ(m_machine->readFile("C:\\Apps\\62\\runs.txt"), "ran\n");
  EXPECT_STREQ(item(63).m_szStatus, "920");
  EXPECT_EQ(reports(63), (std::vector<std::string>{"5,920,,,<null>"}));
  EXPECT_EQ(logged("NAutoDist::doAutoDist: (63, Broken) stage 1 start\n"), 0u);

  // 62 again, now with a policy that finds the product missing: the destination already
  // matches, nothing is fetched, and the program runs all the same.
  removeTargets();
  addTarget(62, policy("0"), 8);
  command("3|%60|%N|%0", "62|*Missing|*" + missing.digest, 2);
  size_t before = m_server.requests().size();
  Access::run(*m_worker);
  EXPECT_STREQ(item(62).m_szStatus, "060");
  EXPECT_EQ(m_machine->readFile("C:\\Apps\\62\\runs.txt"), "ran\nran\n");
  std::vector<std::string> requests = m_server.requests();
  for (size_t i = before; i < requests.size(); ++i)
    EXPECT_THAT(requests[i], Not(HasSubstr("/62/zip/")));
  EXPECT_EQ(logged("NAutoDist::doAutoDist: (62, Missing) stage 8 (exec file)\n"), 2u);
}

// Item 71's program says it started and then waits for the file "go" beside it; item 72 comes
// after it and is never started.
TEST_F(PassTest, StopDuringAPassEndsItAfterTheRunningStepAndWritesTheItemsBack) {
  AutoPackage package = pack(71,
                             {{"wait.bat",
                               "d=\"$(dirname \"$0\")\"\ntouch \"$d/started\"\n"
                               "while [ ! -f \"$d/go\" ]; do sleep 0.05; done\n"
                               "exit 0\n"}},
                             "--dest 'C:\\Apps\\71' --program wait.bat --update-id 2");
  serve(m_server, package.root);
  command("3|%60|%N|%0", "72|*Later|*D72|&71|*Waits|*" + package.digest);
  ASSERT_TRUE(m_worker->createThread());
  ASSERT_TRUE(waitUntil([&] { return fs::exists(m_machine->host("C:\\Apps\\71\\started")); }));
  std::atomic<bool> stopped{false};
  std::thread thread([&] {
    m_worker->stop();
    stopped = true;
  });
  EXPECT_TRUE(waitUntil([&] { return logged("NAutoDist::stop (1):\n") == 1; }));
  EXPECT_FALSE(stopped.load());  // the program still runs: the pass is not over
  std::ofstream(m_machine->host("C:\\Apps\\71\\go")) << "";
  thread.join();
  EXPECT_FALSE(m_worker->stopRequested());
  EXPECT_EQ(logged("NAutoDist::stop (2):\n"), 1u);
  EXPECT_TRUE(waitUntil([&] { return !m_worker->isRunning(); }));
  // 71 was written back as the stop left it; 72 was never started.
  EXPECT_STRNE(item(71).m_szStatus, "010");
  EXPECT_STREQ(item(71).m_szDstFolder, "C:\\Apps\\71");
  EXPECT_STREQ(item(72).m_szStatus, "010");
  EXPECT_EQ(logged("NAutoDist::doAutoDist: (72, Later) stage 1 start\n"), 0u);
}

}  // namespace
}  // namespace cvdt::test
