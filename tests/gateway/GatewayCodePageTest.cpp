// The site code page of the gateway: agents' texts decoded to UTF-8 before they are stored,
// product names sent back in the agents' code page, bytes kept as they came without one, and
// the admin commands reading and writing UTF-8.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "GatewayClient.h"
#include "GatewayProcess.h"

using ::testing::HasSubstr;

namespace cvdt::test {
namespace {

// "설치 완료" (installation complete) in 949 and in UTF-8.
const std::string kDone949 = "\xBC\xB3\xC4\xA1 \xBF\xCF\xB7\xE1";
const std::string kDoneUtf8 = "\xEC\x84\xA4\xEC\xB9\x98 \xEC\x99\x84\xEB\xA3\x8C";

std::string commandedRequest(const std::string& detail) {
  return "C00440ASP_SV_DT_N_EQUIP_IU|@7|@EQUIP_ID|#S|#EQ1|$DIST_ID|#I|#5|$PROC_TYPE|#S|#NDT"
         "|$STATUS|#S|#060|$STATUS_DETAIL|#S|#" + detail + "|$CMD_ID|#I|#9|$ACTOR|#I|#0";
}

TEST(GatewayCodePageTest, AgentsTextsAreDecodedAndProductNamesGoBackInTheirCodePage) {
  GatewayProcess gateway({"--codepage", "949"});
  ASSERT_NE(gateway.port(), 0);
  // A detail the agent cut after the first byte of a character: that half shows as U+FFFD.
  EXPECT_EQ(GatewayClient::call(gateway.port(), commandedRequest(kDone949 + "\xC7")),
            "C00440AOK|@1");
  DbProbe db(gateway.dbPath());
  EXPECT_EQ(db.rows("SELECT status_detail FROM n_equip_result"),
            std::vector<std::string>{kDoneUtf8 + "\xEF\xBF\xBD"});

  CommandResult table = runGatewayCommand({"status", "--db", gateway.dbPath()});
  EXPECT_THAT(table.out, HasSubstr(kDoneUtf8));
  CommandResult json = runGatewayCommand({"status", "--db", gateway.dbPath(), "--json"});
  EXPECT_THAT(json.out, HasSubstr("\"status_detail\":\"" + kDoneUtf8 + "\xEF\xBF\xBD\""));

  // A name given at the terminal in UTF-8 reaches the agent in 949.
  ASSERT_EQ(runGatewayCommand({"target", "add", "--db", gateway.dbPath(), "--dist", "12", "--name",
                               kDoneUtf8, "--policy", "<p/>"}).status, 0);
  EXPECT_EQ(GatewayClient::call(gateway.port(), "C00440ASP_SV_ADT_PROD_BY_EQUIP_S1|@2|@EQUIP_ID|#S|#EQ1"
                                                "|$DT_ID|#S|#12"),
            "C00440AOK|@12|#" + kDone949 + "|#<p/>|#1|#010");

  // call speaks for an agent of the site: it sends 949 and prints the reply in UTF-8.
  std::string port = std::to_string(gateway.port());
  CommandResult call = runGatewayCommand(
      {"call", "--host", "127.0.0.1", "--port", port, "--codepage", "949", "SP_SV_ADT_PROD_BY_EQUIP_S1",
       "EQUIP_ID:S:EQ1", "DT_ID:S:12"});
  EXPECT_EQ(call.status, 0) << call.err;
  EXPECT_EQ(call.out, "12|#" + kDoneUtf8 + "|#<p/>|#1|#010\n");
  CommandResult report = runGatewayCommand(
      {"call", "--host", "127.0.0.1", "--port", port, "--codepage", "949", "SP_SV_DT_N_EQUIP_IU",
       "EQUIP_ID:S:EQ2", "DIST_ID:I:5", "PROC_TYPE:S:NDT", "STATUS:S:060",
       "STATUS_DETAIL:S:" + kDoneUtf8, "CMD_ID:I:10", "ACTOR:I:0"});
  EXPECT_EQ(report.status, 0) << report.err;
  EXPECT_EQ(db.rows("SELECT status_detail FROM n_equip_result WHERE equip_id = 'EQ2'"),
            std::vector<std::string>{kDoneUtf8});
}

TEST(GatewayCodePageTest, WithoutACodePageBytesAreKeptAsTheyCame) {
  GatewayProcess gateway;
  ASSERT_NE(gateway.port(), 0);
  EXPECT_EQ(GatewayClient::call(gateway.port(), commandedRequest(kDone949)), "C00440AOK|@1");
  DbProbe db(gateway.dbPath());
  EXPECT_EQ(db.rows("SELECT hex(status_detail) FROM n_equip_result"),
            std::vector<std::string>{"BCB3C4A120BFCFB7E1"});
  // The operator names the site's code page to read them.
  CommandResult table = runGatewayCommand({"status", "--db", gateway.dbPath(), "--codepage", "949"});
  EXPECT_THAT(table.out, HasSubstr(kDoneUtf8));
  CommandResult raw = runGatewayCommand({"status", "--db", gateway.dbPath(), "--json"});
  // Without one, JSON shows each byte that is not UTF-8 as the character of the same value;
  // pairs that happen to be UTF-8 (C4 A1, CF B7) stay what they read as.
  EXPECT_EQ(nlohmann::json::parse(raw.out)["commanded"][0]["status_detail"].get<std::string>(),
            "\u00bc\u00b3\u0121 \u00bf\u03f7\u00e1")
      << raw.out;

  for (const char* bad : {"abc", "0", "99999", "949x", ""}) {
    EXPECT_EQ(runGatewayCommand({"serve", "--listen", "127.0.0.1:0", "--db",
                                 gateway.folder() + "/other.db", "--codepage", bad}).status, 2)
        << bad;
    EXPECT_EQ(runGatewayCommand({"status", "--db", gateway.dbPath(), "--codepage", bad}).status, 2)
        << bad;
  }
}

}  // namespace
}  // namespace cvdt::test
