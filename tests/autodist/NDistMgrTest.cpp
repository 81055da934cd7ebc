// The automatic manager: settings and their clamps, items added, re-commanded and refreshed,
// the server list, the copies a pass takes and gives back, the tick that starts passes, and a
// stop of the running thread.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <thread>
#include <vector>

#include "autodist/AutoDistTestAccess.h"
#include "gateway/GatewayProcess.h"
#include "support/TestMachine.h"

using ::testing::HasSubstr;

namespace {

using Access = NDistMgrTestAccess;
using cvdt::test::countOf;
using cvdt::test::TestMachine;
using cvdt::test::waitUntil;
using Clock = std::chrono::steady_clock;

std::vector<int32_t> copiedIds(NDistMgr& manager) {
  std::vector<ADistItem> items(ADistSharedState::kMaxItems);
  int count = manager.copyItems(items.data());
  std::vector<int32_t> ids;
  for (int i = 0; i < count; ++i) ids.push_back(items[i].m_nDistId);
  return ids;
}

TEST(NDistMgrTest, CallArgumentsGiveTheSettingsWithTheirClamps) {
  TestMachine machine;
  struct Row {
    const char* callArgs;
    const char* equipCfg;
    bool ok;
    int retry, run, dialog, status;
  };
  const Row rows[] = {
      {"2|%30|%Y|%5", "EQ|%", true, 2, 30, 1, 5},
      {"0|%0|%N|%-5", "EQ|%", true, 3, 10, 0, 2880},   // 0 retries, 0 minutes, negative
      {"-4|%abc|%y|%0", "EQ|%", true, 3, 10, 0, 0},    // "y" is not "Y"; 0 stays 0
      {"5|%20|%Y|%1", "EQ-only", false, 5, 20, 1, 1},  // settings parsed before the failure stay
      {"1|%1|%Y", "EQ|%", false, 5, 20, 1, 1},         // three fields: nothing changes
  };
  NDistMgr manager;
  for (const Row& row : rows) {
    SCOPED_TRACE(row.callArgs);
    EXPECT_EQ(manager.initSetting("20261206050000", row.callArgs, row.equipCfg, "", 3), row.ok);
    EXPECT_EQ(manager.getRetryCount(), row.retry);
    EXPECT_EQ(manager.getRunInterval(), row.run);
    EXPECT_EQ(manager.isShowDialog(), row.dialog != 0);
    EXPECT_EQ(manager.getStatusInterval(), row.status);
  }
  EXPECT_EQ(manager.initSetting("", "1|%1|%N|%0", nullptr, nullptr, 3), false);
  EXPECT_EQ(manager.initSetting(nullptr, nullptr, nullptr, nullptr, 3), false);
  EXPECT_TRUE(manager.initSetting("", "1|%1|%N|%0", "EQ7|%", "", 3));
  EXPECT_STREQ(Access::equipText(manager).text(), "EQ7");
  EXPECT_FALSE(Access::runNow(manager));  // a periodic call asks for no pass at once
}

TEST(NDistMgrTest, ItemsAreAddedOnceReCommandedOrRefreshed) {
  TestMachine machine;
  NDistMgr manager;
  ASSERT_TRUE(manager.initSetting("", "3|%60|%N|%0",
                                  "EQ|%7|*Seven|*D7|&9|*Nine|*D9|&bad|*x|&7|*Again|*DD", "", 3));
  // Newest first; the two-part entry is skipped; the second 7 only refreshes the first.
  EXPECT_EQ(copiedIds(manager), (std::vector<int32_t>{9, 7}));
  ADistItem seven = Access::item(manager, 7);
  EXPECT_STREQ(seven.m_szName, "Again");
  EXPECT_STREQ(seven.m_szIdxDigest, "DD");
  EXPECT_STREQ(seven.m_szStatus, "010");
  EXPECT_EQ(seven.iCmd, 3u);
  EXPECT_EQ(seven.m_nAttempts, 0);

  // A pass completed 7: a periodic call refreshes name and digest only.
  copiedIds(manager);
  seven = Access::item(manager, 7);
  std::snprintf(seven.m_szStatus, sizeof seven.m_szStatus, "060");
  manager.mergeItems(1, &seven);
  ASSERT_TRUE(manager.initSetting("", "3|%60|%N|%0", "EQ|%7|*Renamed|*D77", "", 3));
  seven = Access::item(manager, 7);
  EXPECT_STREQ(seven.m_szStatus, "060");
  EXPECT_STREQ(seven.m_szName, "Renamed");
  EXPECT_STREQ(seven.m_szIdxDigest, "D77");
  EXPECT_EQ(seven.m_bFreshCmd, 0u);
  EXPECT_EQ(Access::itemCount(manager), 2);  // 9 is no longer named and stays

  // A command sets it back to "010" and marks it fresh.
  ASSERT_TRUE(manager.initSetting("", "3|%60|%N|%0", "EQ|%7|*Renamed|*D77", "", 2));
  seven = Access::item(manager, 7);
  EXPECT_STREQ(seven.m_szStatus, "010");
  EXPECT_EQ(seven.iCmd, 2u);
  EXPECT_EQ(seven.m_bFreshCmd, 1u);
  EXPECT_TRUE(Access::runNow(manager));
  EXPECT_FALSE(manager.isShowDialog());

  // "Now" shows the dialog; a later periodic call keeps it while a "now" item is open.
  ASSERT_TRUE(manager.initSetting("", "3|%60|%N|%0", "EQ|%9|*Nine|*D9", "", 1));
  EXPECT_TRUE(manager.isShowDialog());
  EXPECT_TRUE(Access::dialogNow(manager));
  ASSERT_TRUE(manager.initSetting("", "3|%60|%N|%0", "EQ|%", "", 3));
  EXPECT_TRUE(manager.isShowDialog());
  copiedIds(manager);  // a pass takes the items (clearing their marks) and completes 9
  ADistItem nine = Access::item(manager, 9);
  std::snprintf(nine.m_szStatus, sizeof nine.m_szStatus, "060");
  manager.mergeItems(1, &nine);
  ASSERT_TRUE(manager.initSetting("", "3|%60|%N|%0", "EQ|%", "", 3));
  EXPECT_FALSE(manager.isShowDialog());
}

TEST(NDistMgrTest, ServersAreNormalisedKeptInOrderAndWalkedOnce) {
  TestMachine machine;
  NDistMgr manager;
  std::string longName(150, 'h');
  std::string cfg = "EQ|%|%010.000.000.001|&10.0.0.1|&dist.example|&10.0.0.2|&dist.example|&" +
                    longName + "|&1.2.3|&";
  ASSERT_TRUE(manager.initSetting("", "3|%60|%N|%0", cfg.c_str(), "", 3));
  const NStringArray& servers = manager.servers();
  ASSERT_EQ(servers.getCount(), 6);
  EXPECT_STREQ(servers.getAt(0).text(), "10.0.0.1");
  EXPECT_STREQ(servers.getAt(1).text(), "dist.example");
  EXPECT_STREQ(servers.getAt(2).text(), "10.0.0.2");
  EXPECT_EQ(servers.getAt(3).length(), 99);  // cut to 99 characters
  EXPECT_STREQ(servers.getAt(4).text(), "1.2.3");  // not an address: as written
  EXPECT_STREQ(servers.getAt(5).text(), "");      // the empty entry after the last separator

  EXPECT_STREQ(manager.getNextServer("").text(), "10.0.0.1");
  EXPECT_STREQ(manager.getNextServer(nullptr).text(), "10.0.0.1");
  EXPECT_STREQ(manager.getNextServer("10.0.0.1").text(), "dist.example");
  EXPECT_STREQ(manager.getNextServer("not.listed").text(), "");
  EXPECT_STREQ(manager.getNextServer("1.2.3").text(), "");  // the next one is empty: the end

  // A new call replaces the list; an empty list ends every walk at once.
  ASSERT_TRUE(manager.initSetting("", "3|%60|%N|%0", "EQ|%|%192.168.001.010", "", 3));
  EXPECT_STREQ(manager.getNextServer("").text(), "192.168.1.10");
  EXPECT_STREQ(manager.getNextServer("192.168.1.10").text(), "");
  ASSERT_TRUE(manager.initSetting("", "3|%60|%N|%0", "EQ|%|%", "", 3));
  EXPECT_STREQ(manager.getNextServer("").text(), "");
}

TEST(NDistMgrTest, CopiesTakeAHundredNewestAndMergingSparesReCommandedItems) {
  TestMachine machine;
  NDistMgr manager;
  std::string entries;
  for (int id = 1; id <= 105; ++id)
    entries += (id > 1 ? "|&" : "") + std::to_string(id) + "|*N" + std::to_string(id) + "|*D";
  ASSERT_TRUE(manager.initSetting("", "3|%60|%N|%0", ("EQ|%" + entries).c_str(), "", 3));
  std::vector<ADistItem> items(ADistSharedState::kMaxItems);
  ASSERT_EQ(manager.copyItems(items.data()), 100);
  EXPECT_EQ(items[0].m_nDistId, 105);
  EXPECT_EQ(items[99].m_nDistId, 6);
  EXPECT_EQ(items[0].m_bFreshCmd, 0u);  // copied after the mark was cleared
  EXPECT_EQ(Access::item(manager, 105).m_bFreshCmd, 0u);
  EXPECT_EQ(Access::item(manager, 1).m_bFreshCmd, 1u);  // beyond the hundred: untouched

  // The pass failed 105 and 104; meanwhile 104 was commanded again.
  ASSERT_TRUE(manager.initSetting("", "3|%60|%N|%0", "EQ|%104|*Again|*D2", "", 2));
  for (int i = 0; i < 2; ++i) {
    std::snprintf(items[i].m_szStatus, sizeof items[i].m_szStatus, "904");
    items[i].m_nAttempts = 2;
  }
  manager.mergeItems(2, items.data());
  EXPECT_STREQ(Access::item(manager, 105).m_szStatus, "904");
  EXPECT_EQ(Access::item(manager, 105).m_nAttempts, 2);
  EXPECT_STREQ(Access::item(manager, 104).m_szStatus, "010");
  EXPECT_STREQ(Access::item(manager, 104).m_szName, "Again");
  EXPECT_EQ(Access::item(manager, 104).m_nAttempts, 0);
  EXPECT_EQ(Access::itemCount(manager), 105);  // the links stayed intact
}

TEST(NDistMgrTest, NowCallRestartsTheTickAndStopEndsTheThread) {
  TestMachine machine;
  cvdt::test::GatewayProcess gateway;
  cvdt::test::setHostEnvironment(gateway.port());
  NDistMgr manager;
  // One item and no server: each pass fails the item at its first stage and ends.
  ASSERT_TRUE(manager.initSetting("", "1|%60|%N|%0", "EQ|%5|*Five|*D|%", "", 3));
  ASSERT_TRUE(manager.createThread());
  EXPECT_TRUE(manager.isRunning());
  auto passes = [&] { return countOf(machine.traceLog(), "NAutoDist::createThread:\n"); };
  auto failed = [&] { return std::string(Access::item(manager, 5).m_szStatus) == "901"; };
  ASSERT_TRUE(waitUntil([&] { return passes() == 1 && failed() && !Access::passRunning(manager); }));

  // Without a call the next pass is an hour away; "now" starts one at the next tick.
  auto before = Clock::now();
  ASSERT_TRUE(manager.initSetting("", "1|%60|%N|%0", "EQ|%5|*Five|*D|%", "", 1));
  ASSERT_TRUE(waitUntil([&] { return passes() == 2; }, std::chrono::seconds(20)));
  EXPECT_LT(Clock::now() - before, std::chrono::seconds(20));
  ASSERT_TRUE(waitUntil([&] { return failed() && !Access::passRunning(manager); }));

  manager.setEvent();
  EXPECT_FALSE(manager.isRunning());
  EXPECT_TRUE(Access::threadEnded(manager));
  EXPECT_EQ(Access::itemCount(manager), 0);
  EXPECT_THAT(machine.traceLog(), HasSubstr("NAutoDist::setDisplay: set\n"));  // the "now" call

  // After a stop the manager takes new work and starts a new thread.
  ASSERT_TRUE(manager.initSetting("", "1|%60|%N|%0", "EQ|%6|*Six|*D|%", "", 3));
  ASSERT_TRUE(manager.createThread());
  ASSERT_TRUE(waitUntil([&] { return passes() == 3; }));
}

}  // namespace
