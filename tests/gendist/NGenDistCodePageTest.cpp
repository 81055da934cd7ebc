// A commanded job on a Korean machine: its narrow texts leave in code page 949, so the fixed
// byte cuts of the gateway detail and the dialog record fall inside Hangul
// characters where a Korean Windows host cuts them, and the real gateway, told the site's code
// page, stores readable UTF-8.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "detect/NRegistry.h"
#include "gateway/GatewayProcess.h"
#include "gendist/DistContent.h"
#include "gendist/NDtDlgRecord.h"
#include "gendist/NGenDist.h"
#include "NGenDistTestAccess.h"
#include "platform/PlatformRegistry.h"
#include "support/HostReports.h"
#include "support/TestMachine.h"

namespace {

using cvdt::test::TestMachine;

constexpr const char* kHan949 = "\xC7\xD1";          // "한" in 949
constexpr const char* kHanUtf8 = "\xED\x95\x9C";     // the same in UTF-8
constexpr const char* kReplacementUtf8 = "\xEF\xBF\xBD";

std::string repeat(const char* text, int count) {
  std::string out;
  for (int i = 0; i < count; ++i) out += text;
  return out;
}

std::unique_ptr<DistCommandRecord> recordFor(int dbPort) {
  auto record = std::make_unique<DistCommandRecord>();
  std::memset(record.get(), 0, sizeof(DistCommandRecord));
  record->m_nCmdId = 77;
  std::strcpy(record->m_hostEnv.m_szEquipId, "EQ0000000001");
  std::strcpy(record->m_hostEnv.m_szDbAddress, "127.0.0.1");
  std::snprintf(record->m_hostEnv.m_szDbPort, sizeof record->m_hostEnv.m_szDbPort, "%d", dbPort);
  std::strcpy(record->m_szCurTime, "20261205120000");
  std::strcpy(record->m_szCallArgs, "N|%10");
  std::string contents = std::string("12|$") + kHan949 +
                         "|$1.0|$C:\\Base|$descr|$N|$N|$setup.exe|$|$S|$|$1|$10"
                         "|$N|$0123456789ABCDEF0123456789ABCDEF|$5|$NDT|$platform";
  EXPECT_EQ(parseDistContent(contents.c_str(), record->m_content), 1);
  return record;
}

class NGenDistCodePageTest : public testing::Test {
 protected:
  TestMachine m_machine{[](auto& config, auto&) { config.language = 1042; }};
};

TEST_F(NGenDistCodePageTest, HangulDetailsAreCutInTheirBytesAndStoredReadable) {
  cvdt::test::GatewayProcess gateway({"--codepage", "949"});
  ASSERT_NE(gateway.port(), 0);
  cvdt::test::HostReports reports;  // a reader for the job's reports
  auto record = recordFor(gateway.port());
  NGenDist job;
  int distId = 0;
  ASSERT_EQ(job.initSetting(*record, distId), 1);

  // "A" and 40 Hangul characters: the gateway's 64-byte cut leaves "A", 31 characters and the
  // first byte of the 32nd.
  std::string detail = "A" + repeat(kHan949, 40);
  job.report(1, 0, "060", detail.c_str(), 0);
  ASSERT_EQ(job.updateDBDistResult(), 1);
  cvdt::test::DbProbe db(gateway.dbPath());
  EXPECT_EQ(db.rows("SELECT status_detail FROM n_equip_history WHERE cmd_id = 77"),
            std::vector<std::string>{"A" + repeat(kHanUtf8, 31) + kReplacementUtf8});

  // The dialog record's 255-byte text ends in half a character, as on Windows.
  NGenDistTestAccess(job).showProgress() = true;
  std::string long949 = repeat(kHan949, 200);
  job.dialogUpdate(0, "060", long949.c_str(), 1);
  NRegistry key;
  ASSERT_TRUE(key.open(plat::RegRoot::LocalMachine, "SOFTWARE\\Plumbex\\Corvane", true, true, false));
  uint32_t type = 0;
  std::vector<uint8_t> data;
  ASSERT_EQ(key.handle()->queryValue(std::string(kNDtDlgRecordPrefix) + "12", type, data), 0u);
  ASSERT_EQ(data.size(), sizeof(NDtDlgRecord));
  NDtDlgRecord dialog;
  std::memcpy(&dialog, data.data(), sizeof dialog);
  EXPECT_EQ(std::string(dialog.m_szMessage), long949.substr(0, 255));
}

}  // namespace
