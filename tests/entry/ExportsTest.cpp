// The cvdt module as the host loads it: exactly seven exports, and what each does with the
// host's arguments (refusals, the "920" report of an unreadable content, stop and cancel).
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <set>

#include "entry/HostEnvironment.h"
#include "gendist/DistContent.h"
#include "gendist/NGenDistMgr.h"
#include "platform/PlatformLibrary.h"
#include "support/HostReports.h"
#include "support/TestMachine.h"

using ::testing::HasSubstr;

namespace {

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
  std::strcpy(env.m_szDbPort, "1");
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

  std::string log = machine.traceLog();
  EXPECT_THAT(
      log,
      HasSubstr("cvfADistFunc: pcCallArgs:args, pcEquipCfg:cfg, pcContents:contents, bStop: 0\n"));
  EXPECT_THAT(log, HasSubstr("cvdt::cvfNDistCmdOuterRequest START \r\n"));
  EXPECT_THAT(
      log,
      HasSubstr("cvfNDistFunc: initSetting failed, pcCallArgs:N|%10, pcEquipCfg:only-one-field"));
  EXPECT_THAT(log, HasSubstr("NGenDistMgr::setEvent: m_hEvent is null\n"));
}

}  // namespace
