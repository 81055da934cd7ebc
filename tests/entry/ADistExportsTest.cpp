// The three automatic exports of the module as the host loads it: settings refused or taken,
// the manager thread started once, the stop flag, and the thread's end when the module unloads.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <thread>

#include "entry/HostEnvironment.h"
#include "platform/PlatformLibrary.h"
#include "support/TestMachine.h"

using ::testing::HasSubstr;

namespace {

using cvdt::test::TestMachine;
using CommonFn = int (*)(int, uint32_t, const void*, const char*, const char*, const char*,
                         const char*, int);

size_t countOf(const std::string& text, const std::string& part) {
  size_t count = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
  return count;
}

bool waitForCount(const TestMachine& machine, const std::string& line, size_t count) {
  auto end = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (countOf(machine.traceLog(), line) < count) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return true;
}

TEST(ADistExportsTest, AutomaticExportsDriveTheManagerThread) {
  TestMachine machine;
  HostEnvironment env;
  std::memset(&env, 0, sizeof env);
  std::strcpy(env.m_szEquipId, "EQ0000000001");
  std::strcpy(env.m_szDbAddress, "127.0.0.1");
  std::strcpy(env.m_szDbPort, "1");  // nothing listens: gateway calls fail at once
  const char* args = "3|%60|%N|%0";
  const char* cfg = "EQ|%5|*Five|*D5|%";  // no server: each pass fails the item at once
  {
    plat::Library module;
    ASSERT_TRUE(module.load(machine.config().moduleFolder + "\\cvdt.dll")) << module.error();
    auto func = reinterpret_cast<CommonFn>(module.symbol("cvfADistFunc"));
    auto cmd = reinterpret_cast<CommonFn>(module.symbol("cvfADistCmd"));
    auto now = reinterpret_cast<CommonFn>(module.symbol("cvfADistNow"));
    ASSERT_TRUE(func && cmd && now);

    // A command with the stop flag set starts the thread all the same.
    EXPECT_EQ(cmd(0, 1, &env, "20261206060000", args, cfg, "c", 1), 1);
    ASSERT_TRUE(waitForCount(machine, "NAutoDist::doAutoDist: (5, Five) stage 1 start\n", 1));
    EXPECT_EQ(func(0, 2, &env, "20261206060000", args, cfg, "", 0), 1);  // settings only
    EXPECT_EQ(now(0, 3, &env, "20261206060000", "bad", cfg, "", 0), 0);
    EXPECT_EQ(func(0, 4, &env, "20261206060000", args, "EQ-only", "", 0), 0);
    EXPECT_EQ(countOf(machine.traceLog(), "NDistMgr::createThread:\n"), 1u);

    EXPECT_EQ(func(0, 5, &env, "20261206060000", "", "", "", 1), 1);  // stop
    EXPECT_EQ(countOf(machine.traceLog(), "NDistMgr::run: thread stop\n"), 1u);
    EXPECT_EQ(now(0, 6, &env, "20261206060000", args, cfg, "", 0), 1);
    EXPECT_EQ(countOf(machine.traceLog(), "NDistMgr::createThread:\n"), 2u);
    ASSERT_TRUE(waitForCount(machine, "NAutoDist::doAutoDist: (5, Five) stage 1 start\n", 2));
  }  // unloading stops the thread before the module goes

  std::string log = machine.traceLog();
  EXPECT_EQ(countOf(log, "NDistMgr::run: thread stop\n"), 2u);
  EXPECT_THAT(log,
              HasSubstr("cvfADistCmd(1): pcCallArgs:3|%60|%N|%0, pcEquipCfg:EQ|%5|*Five|*D5|%, "
                        "pcContents:c, bStop: 1\n"));
  EXPECT_THAT(log,
              HasSubstr("cvfADistCmd(2): pcCallArgs:3|%60|%N|%0, pcEquipCfg:EQ|%5|*Five|*D5|%, "
                        "pcContents:c, bStop: 1\n"));
  EXPECT_THAT(log, HasSubstr("cvfADistFunc: pcCallArgs:3|%60|%N|%0, pcEquipCfg:EQ|%5|*Five|*D5|%, "
                             "pcContents:, bStop: 0\n"));
  EXPECT_THAT(log,
              HasSubstr("cvfADistNow(2): initSetting failed, pcCallArgs:bad, pcEquipCfg:EQ|%5|*Five"
                        "|*D5|%, pcContents:, bStop: 0\n"));
  EXPECT_THAT(log, HasSubstr("cvfADistFunc: initSetting failed, pcCallArgs:3|%60|%N|%0, "
                             "pcEquipCfg:EQ-only, pcContents:, bStop: 0\n"));
  EXPECT_THAT(log, HasSubstr("cvfADistFunc: pcCallArgs:, pcEquipCfg:, pcContents:, bStop: 1\n"));
  EXPECT_THAT(log, HasSubstr("cvfADistNow(3): pcCallArgs:3|%60|%N|%0"));
  EXPECT_EQ(countOf(log, "cvfADistNow(3)"), 1u);
}

}  // namespace
