// A job's settings from the host's texts: the contents text by its field count, flags, kinds and
// field widths; the call arguments; the job's address list; and where a package is unpacked,
// from its base folder.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "NGenDistTestAccess.h"
#include "gendist/DistContent.h"
#include "gendist/NGenDist.h"
#include "support/HostReports.h"
#include "support/TestMachine.h"

namespace {

using cvdt::test::TestMachine;

// The first count fields of a contents text; fields past 14 are the kind's (15 software id,
// 16 kind, 17 platform) and the sizes' (18, 19).
std::string contents(int count, const std::vector<std::string>& overrides = {}) {
  std::vector<std::string> fields = {"31", "Name", "1.0", "C:\\Base", "descr", "N", "N", "setup.exe",
                                     "/q", "S", "a.reg", "2", "640", "N",
                                     "0123456789ABCDEF0123456789ABCDEF", "17", "SWDT", "platform",
                                     "900", "5"};
  for (size_t i = 0; i + 1 < overrides.size(); i += 2) fields[std::stoul(overrides[i])] = overrides[i + 1];
  std::string text;
  for (int i = 0; i < count; ++i) text += (i ? "|$" : "") + fields[static_cast<size_t>(i)];
  return text;
}

TEST(NGenDistSettingsTest, ContentsFieldCountDecidesWhatIsRead) {
  struct Row {
    int fields;
    int result;
    int32_t kind;
    int32_t swId;
    const char* platform;
    uint32_t compressed;
    uint32_t field19;
  } rows[] = {
      {14, 0, 0, 0, "", 0, 0},
      {15, 1, 0, 0, "", 0, 0},  // no kind, no software id, no platform, no sizes
      {17, 1, 0, 0, "", 0, 0},
      {18, 1, kProcTypeSwdt, 17, "platform", 0, 0},
      {19, 1, kProcTypeSwdt, 17, "platform", 0, 0},
      {20, 1, kProcTypeSwdt, 17, "platform", 900, 5},
      {21, 1, kProcTypeSwdt, 17, "platform", 900, 5},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(std::to_string(row.fields) + " fields");
    std::string text = contents(row.fields < 21 ? row.fields : 20) + (row.fields == 21 ? "|$extra" : "");
    DistContent content;
    std::memset(&content, 0xAB, sizeof content);  // whatever was there before is gone
    ASSERT_EQ(parseDistContent(text.c_str(), content), row.result);
    if (row.result == 0) continue;
    EXPECT_EQ(content.m_nWord0, 0u);
    EXPECT_EQ(content.m_nActorKind, 0u);
    EXPECT_EQ(content.m_nActorProcessId, 0u);
    EXPECT_EQ(content.m_nActorSessionId, 0u);
    EXPECT_EQ(content.m_nDistId, 31);
    EXPECT_EQ(content.m_nSplitCount, 2u);
    EXPECT_EQ(content.m_nTotalSize, 640u);
    EXPECT_EQ(content.m_nProcType, row.kind);
    EXPECT_EQ(content.m_nSwId, row.swId);
    EXPECT_STREQ(content.m_szPlatform, row.platform);
    EXPECT_EQ(content.m_nCompressedSizeSum, row.compressed);
    EXPECT_EQ(content.m_nField19, row.field19);
    const auto* bytes = reinterpret_cast<const unsigned char*>(&content);
    for (size_t i = offsetof(DistContent, m_szPlatform) + std::strlen(content.m_szPlatform);
         i < sizeof content; ++i)
      ASSERT_EQ(bytes[i], 0) << "byte " << i;
  }
}

TEST(NGenDistSettingsTest, KindsFlagsAndWidths) {
  struct Kind {
    const char* text;
    int32_t kind;
  } kinds[] = {{"NDT", 1}, {"SWDT", 2}, {"swdt", 2}, {"DELDT", 3}, {"deldt", 3}, {"DelDt", 3},
               {"", 1},    {"XYZ", 1},  {"NDTX", 1}};
  for (const Kind& k : kinds) {
    DistContent content{};
    ASSERT_EQ(parseDistContent(contents(18, {"16", k.text}).c_str(), content), 1);
    EXPECT_EQ(content.m_nProcType, k.kind) << k.text;
  }
  struct Flag {
    const char* text;
    int32_t value;
  } flags[] = {{"Y", 1}, {"y", 1}, {"N", 0}, {"Yes", 0}, {"", 0}, {" Y", 0}};
  for (const Flag& f : flags) {
    DistContent content{};
    ASSERT_EQ(parseDistContent(contents(15, {"5", f.text, "6", f.text, "13", f.text}).c_str(), content), 1);
    EXPECT_EQ(content.m_bAgree, f.value) << f.text;
    EXPECT_EQ(content.m_bPublic, f.value) << f.text;
    EXPECT_EQ(content.m_nField13, static_cast<uint32_t>(f.value)) << f.text;
  }
  // Each text is cut to its width less one; the empty fields between separators are fields.
  DistContent content{};
  ASSERT_EQ(parseDistContent(contents(18, {"1", std::string(100, 'n'), "3", std::string(300, 'b'),
                                           "9", "SU", "14", std::string(40, 'D'), "17",
                                           std::string(3000, 'p'), "4", ""})
                                 .c_str(),
                             content),
            1);
  EXPECT_EQ(std::string(content.m_szDistName), std::string(64, 'n'));
  EXPECT_EQ(std::string(content.m_szBaseFolder), std::string(256, 'b'));
  EXPECT_STREQ(content.m_szExecUser, "S");
  EXPECT_EQ(std::string(content.m_szIdxFileDigest), std::string(32, 'D'));
  EXPECT_EQ(std::string(content.m_szPlatform), std::string(2095, 'p'));
  EXPECT_STREQ(content.m_szDescr, "");
  EXPECT_STREQ(content.m_szExecFile, "setup.exe");  // the fields after the empty one keep their place
}

TEST(NGenDistSettingsTest, CallArgumentsAndTheAddressList) {
  TestMachine machine;
  struct CallArgs {
    const char* text;
    int result;
    bool show;
    int interval;
  } callArgs[] = {
      {"Y|%5", 1, true, 5},       {"y|%x", 1, false, 0}, {"N|%10|%more", 1, false, 10},
      {"Y", 0, false, 10},        {"", 0, false, 10},    {"YES|%3", 1, false, 3},
  };
  for (const CallArgs& row : callArgs) {
    NGenDist job;
    EXPECT_EQ(job.parseCallArgs(row.text), row.result) << row.text;
    NGenDistTestAccess access(job);
    EXPECT_EQ(access.showProgress(), row.show) << row.text;
    EXPECT_EQ(access.reportInterval(), row.interval) << row.text;
  }

  struct EquipCfg {
    std::string text;
    std::vector<std::string> addresses;
  } equipCfgs[] = {
      {"010.000.000.001|&10.0.0.1|&10.0.0.2", {"10.0.0.1", "10.0.0.2"}},  // one address, twice
      {"dist.example|&dist.example|&1.2.3.|&1.2.3.4|%7|&60", {"dist.example", "1.2.3.", "1.2.3.4"}},
      {"10.0.0.1|&|&10.0.0.1", {"10.0.0.1", ""}},
      {std::string(120, 'h') + "|&" + std::string(99, 'h') + "x", {std::string(99, 'h')}},  // 99 kept
  };
  for (const EquipCfg& row : equipCfgs) {
    NGenDist job;
    ASSERT_EQ(job.parseEquipCfg(row.text.c_str()), 1) << row.text;
    NGenDistTestAccess access(job);
    std::vector<std::string> got;
    for (int i = 0; i < access.addresses().getCount(); ++i) got.push_back(access.addresses().getAt(i).text());
    EXPECT_EQ(got, row.addresses) << row.text;
  }
}

// Settings that do not parse end the job with "920" after "071", before anything else.
TEST(NGenDistSettingsTest, CallArgumentsThatDoNotParseEndTheJobWith920) {
  TestMachine machine;
  cvdt::test::HostReports reports;
  DistCommandRecord record{};
  record.m_nCmdId = 951;
  std::strcpy(record.m_szCurTime, "20261205120000");
  std::strcpy(record.m_szCallArgs, "Y");
  std::strcpy(record.m_szEquipCfg, "127.0.0.1");
  ASSERT_EQ(parseDistContent(contents(18).c_str(), record.m_content), 1);
  NGenDist job;
  int distId = -5;
  EXPECT_EQ(job.initSetting(record, distId), 0);
  EXPECT_EQ(distId, -5);
  EXPECT_STREQ(job.status().text(), "920");
  EXPECT_TRUE(reports.waitFor(951, "040"));
  EXPECT_EQ(reports.codesOf(951), "070 040");
}

#ifndef _WIN32  // removable, fixed and remote drives added to the machine
// The base folder itself when it is a usable path on a fixed drive; "." a folder of the
// distribution's own below the module folder; anything else the module folder's Temp.
TEST(NGenDistSettingsTest, TargetFolderFollowsTheBaseFolder) {
  TestMachine machine([](auto& config, auto&) {
    config.drives['D'] = {config.root + "/drives/d", plat::DriveType::Removable};
    config.drives['E'] = {config.root + "/drives/e", plat::DriveType::Fixed};
    config.drives['F'] = {config.root + "/drives/f", plat::DriveType::Remote};
  });
  const std::string temp = machine.config().moduleFolder + "\\Temp";
  const std::string own = machine.config().moduleFolder + "\\ndist_temp\\31";
  struct Row {
    const char* base;
    std::string target;
  } rows[] = {
      {"C:\\Apps\\Tool", "C:\\Apps\\Tool"},
      {"E:\\Data", "E:\\Data"},
      {"C:\\Apps\\.cfg", "C:\\Apps\\.cfg"},
      {"C:\\", "C:\\"},
      {"D:\\Setup", temp},
      {"F:\\Share", temp},
      {"Q:\\Nowhere", temp},
      {"C:", temp},
      {"C:Apps", temp},
      {"C:\\\\Apps", temp},
      {"C:\\.hidden", temp},
      {"C:\\a<b", temp},
      {"C:\\a|b", temp},
      {".", own},
      {"x", temp},
      {"..", temp},
      {"\\\\server\\share", temp},
  };
  for (const Row& row : rows) {
    NGenDist job;
    NGenDistTestAccess access(job);
    access.distId() = "31";
    access.baseFolder() = row.base;
    EXPECT_STREQ(job.targetFolder().text(), row.target.c_str()) << row.base;
  }
}
#endif

}  // namespace
