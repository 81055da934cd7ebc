// The cvdt module as the host loads it: exactly seven exports, what each does with the host's
// arguments (refusals, the "920" report of an unreadable content, stop and cancel), and the
// automatic exports driving the manager thread until the module unloads.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <set>

#include "autodist/AutoDistTestAccess.h"
#include "entry/HostEnvironment.h"
#include "gendist/DistContent.h"
#include "gendist/NGenDistMgr.h"
#include "platform/PlatformLibrary.h"
#include "support/HostReports.h"
#include "support/TestMachine.h"

namespace {

using cvdt::test::countOf;
using cvdt::test::TestMachine;
using CommonFn = int (*)(int, uint32_t, const void*, const char*, const char*, const char*,
                         const char*, int);
using FuncFn = int (*)(int, uint32_t, const void*, const char*, const char*, const char*,
                       const char*, int, int, const char*);
using BlockFn = int (*)(int, uint32_t, const void*, const char*, const char*, const char*,
                        const void*, int);

std::set<std::string> definedDynamicSymbols(const std::string& file) {
  std::set<std::string> names;
  FILE* pipe = popen(("nm -D --defined-only '" + file + "'").c_str(), "r");
  char line[512];
  while (pipe && std::fgets(line, sizeof line, pipe)) {
    std::string text = line;
    text.erase(text.find_last_not_of("\r\n") + 1);
    names.insert(text.substr(text.rfind(' ') + 1));
  }
  if (pipe) pclose(pipe);
  return names;
}

HostEnvironment hostEnvironment() {
  HostEnvironment env;
  std::memset(&env, 0, sizeof env);
  std::strcpy(env.m_szEquipId, "EQ0000000001");
  std::strcpy(env.m_szDbAddress, "127.0.0.1");
  std::strcpy(env.m_szDbPort, "1");  // nothing listens: gateway calls fail at once
  return env;
}

TEST(ExportsTest, TheModuleExportsExactlyTheSevenFunctions) {
  std::set<std::string> expected = {"cvfADistFunc", "cvfADistCmd", "cvfADistNow", "cvfNDistFunc",
                                    "cvfNDistCmd", "cvfNDistCmdOuterRequest",
                                    "cvfNDistUrgentTopCancelForceCmd"};
  EXPECT_EQ(definedDynamicSymbols(std::string(CVDT_STAGE_DIR) + "/cvdt.dll"), expected);
}

TEST(ExportsTest, ExportsAnswerTheHostAsTheyShould) {
  TestMachine machine;
  cvdt::test::HostReports reports;
  plat::Library module;
  ASSERT_TRUE(module.load(machine.config().moduleFolder + "\\cvdt.dll")) << module.error();
  auto aDistFunc = reinterpret_cast<CommonFn>(module.symbol("cvfADistFunc"));
  auto nDistFunc = reinterpret_cast<FuncFn>(module.symbol("cvfNDistFunc"));
  auto nDistCmd = reinterpret_cast<CommonFn>(module.symbol("cvfNDistCmd"));
  auto outer = reinterpret_cast<BlockFn>(module.symbol("cvfNDistCmdOuterRequest"));
  auto cancel = reinterpret_cast<BlockFn>(module.symbol("cvfNDistUrgentTopCancelForceCmd"));
  HostEnvironment env = hostEnvironment();

  EXPECT_EQ(aDistFunc(0, 1, &env, "20261205120000", "args", "cfg", "contents", 0), 0);
  EXPECT_EQ(nDistCmd(0, 601, &env, "20261205120000", "N|%10", "127.0.0.1", "too|$few", 0), 0);
  EXPECT_TRUE(reports.waitFor(601, "040"));  // "920" is shown to the host as "040"
  EXPECT_EQ(outer(0, 602, &env, "20261205120000", "", "", nullptr, 0), 0);
  EXPECT_EQ(cancel(0, 603, &env, "20261205120000", "", "", nullptr, 0), 0);
  UrgentCancelRecord record{};
  record.m_nDistId = 12;
  EXPECT_EQ(cancel(0, 604, &env, "20261205120000", "", "", &record, 0), 0);  // queued, still 0
  EXPECT_EQ(nDistFunc(0, 0, &env, "20261205120000", "N|%10", "only-one-field", "", 0, 0, "dlg"), 0);
  EXPECT_EQ(nDistFunc(0, 0, &env, "20261205120000", "N|%10", "", "", 1, 0, "dlg"), 1);  // stop
}

// Waits until the trace log holds line count times.
bool waitForCount(const TestMachine& machine, const std::string& line, size_t count) {
  return cvdt::test::waitUntil([&] { return countOf(machine.traceLog(), line) >= count; });
}

TEST(ExportsTest, AutomaticExportsDriveTheManagerThread) {
  TestMachine machine;
  HostEnvironment env = hostEnvironment();
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
  EXPECT_EQ(countOf(log, "cvfADistNow(3)"), 1u);
}

}  // namespace
