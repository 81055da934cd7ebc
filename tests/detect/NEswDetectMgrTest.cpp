// The detection manager: platform sections, the target's flags across calls and the
// module-wide changed flag.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "DetectTestSupport.h"
#include "detect/NEswDetectMgr.h"

namespace {

using CRV::CVDT::AUTO_DIST::g_bChangedProductInstall;
using CRV::CVDT::AUTO_DIST::NEswDetectMgr;
using cvdt::test::TestMachine;

const std::string kThisMachine = "ver_platform_win32_nt.10.0.x64......";
const std::string kOther = "ver_platform_win32_nt.5.1.x86......";

std::string section(int number, const std::string& text) {
  char tag[16];
  std::snprintf(tag, sizeof tag, "flatform%2.2d>", number);
  return "<" + std::string(tag) + text + "</" + tag;
}

std::string policy(const std::string& sections, const std::string& installed) {
  return "<polProduct><name>App</name>" + sections + installed + "</polProduct>";
}

std::string installedAs(const char* value) {
  return std::string("<installed><expression><boolean><value>") + value +
         "</value></boolean></expression></installed>";
}

ProductTarget target(const std::string& text, int installed = 0, int matched = 7) {
  ProductTarget t{};
  std::strncpy(t.pcPolicy, text.c_str(), sizeof t.pcPolicy - 1);
  t.bDetectDone = 5;
  t.bReal_Installed = installed;
  t.bPlatformMatched = matched;
  return t;
}

class NEswDetectMgrTest : public ::testing::Test {
 protected:
  void SetUp() override {
    g_bChangedProductInstall = 0;
    m_mgr.init("", nullptr);
  }
  TestMachine m_machine;
  NEswDetectMgr m_mgr;
};

TEST_F(NEswDetectMgrTest, PlatformSectionsAreSearchedForwardOnly) {
  ASSERT_GT(m_mgr.platformStrings().getCount(), 0);
  struct Row {
    const char* name;
    std::string sections;
    bool matched;
  } rows[] = {
      {"1 other, 2 this", section(1, kOther) + section(2, kThisMachine), true},
      {"2 this before 1 other", section(2, kThisMachine) + section(1, kOther), false},
      {"numbers skipped", section(3, kOther) + section(57, kThisMachine), true},
      {"trailing blank", section(1, kThisMachine + " "), false},
      {"one digit tag", "<flatform1>" + kThisMachine + "</flatform1>", false},
      {"same number twice, second matches", section(1, kOther) + section(1, kThisMachine), false},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(m_mgr.matchPlatform(policy(row.sections, "").c_str()), row.matched) << row.name;
    ProductTarget t = target(policy(row.sections, installedAs("1")));
    EXPECT_EQ(m_mgr.detect(&t, 1, 0), 1) << row.name;
    EXPECT_EQ(t.bPlatformMatched, row.matched ? 1u : 0u) << row.name;
    EXPECT_EQ(t.bDetectDone, row.matched ? 1u : 0u) << row.name;
    EXPECT_EQ(t.bReal_Installed, row.matched ? 1u : 0u) << row.name;
  }
}

TEST_F(NEswDetectMgrTest, FlagsAcrossCallsAndTheModuleWideChangedFlag) {
  std::string platforms = section(1, kThisMachine);
  ProductTarget targets[3] = {target(policy(platforms, installedAs("0")), 1),
                              target("no policy element here", 1, 7),
                              target(policy(platforms, ""), 0)};
  // Installed before, not installed now: the flag goes to 0 and the changed flag rises.
  EXPECT_EQ(m_mgr.detect(targets, 3, 0), 1);
  EXPECT_EQ(targets[0].bReal_Installed, 0u);
  EXPECT_EQ(targets[0].bDetectDone, 1u);
  EXPECT_EQ(g_bChangedProductInstall, 1);
  // No "<polProduct>": examined, detection-done 0, the other flags as they were.
  EXPECT_EQ(m_mgr.detect(targets, 3, 1), 1);
  EXPECT_EQ(targets[1].bDetectDone, 0u);
  EXPECT_EQ(targets[1].bPlatformMatched, 7u);
  EXPECT_EQ(targets[1].bReal_Installed, 1u);
  // No installed-section: 0, platform matched, nothing else changes.
  EXPECT_EQ(m_mgr.detect(targets, 3, 2), 0);
  EXPECT_EQ(targets[2].bPlatformMatched, 1u);
  EXPECT_EQ(targets[2].bDetectDone, 0u);
  EXPECT_EQ(targets[2].bReal_Installed, 0u);
  // Index not below count: 0 and nothing touched.
  ProductTarget before = targets[0];
  EXPECT_EQ(m_mgr.detect(targets, 3, 3), 0);
  EXPECT_EQ(m_mgr.detect(targets, 3, -1), 0);
  EXPECT_EQ(std::memcmp(&before, &targets[0], sizeof before), 0);

  // The same answer again never clears the changed flag; a changed one is needed to raise it.
  g_bChangedProductInstall = 0;
  EXPECT_EQ(m_mgr.detect(targets, 3, 0), 1);
  EXPECT_EQ(g_bChangedProductInstall, 0);
  std::strcpy(targets[0].pcPolicy, policy(platforms, installedAs("1")).c_str());
  EXPECT_EQ(m_mgr.detect(targets, 3, 0), 1);
  EXPECT_EQ(targets[0].bReal_Installed, 1u);
  EXPECT_EQ(g_bChangedProductInstall, 1);

  // A failing evaluation leaves the detected flag and reports 0 with detection-done 0.
  std::strcpy(targets[0].pcPolicy, policy(platforms, installedAs("10")).c_str());
  EXPECT_EQ(m_mgr.detect(targets, 3, 0), 0);
  EXPECT_EQ(targets[0].bReal_Installed, 1u);
  EXPECT_EQ(targets[0].bDetectDone, 0u);
  EXPECT_EQ(targets[0].bPlatformMatched, 1u);
  // A platform that no longer matches: examined, platform flag 0.
  std::strcpy(targets[0].pcPolicy, policy(section(1, kOther), installedAs("0")).c_str());
  EXPECT_EQ(m_mgr.detect(targets, 3, 0), 1);
  EXPECT_EQ(targets[0].bPlatformMatched, 0u);
  EXPECT_EQ(targets[0].bReal_Installed, 1u);
  EXPECT_EQ(m_mgr.detect(nullptr, 3, 0), 0);
}

TEST_F(NEswDetectMgrTest, APolicyFillingTheWholeFieldIsReadUpToItsEnd) {
  ProductTarget t = target("");
  std::memset(t.pcPolicy, 'x', sizeof t.pcPolicy);  // no terminating zero at all
  EXPECT_EQ(m_mgr.detect(&t, 1, 0), 1);
  EXPECT_EQ(t.bPlatformMatched, 7u);
}

}  // namespace
