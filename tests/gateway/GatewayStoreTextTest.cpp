// Agents' texts and the site code page, on each store: with the code page they are stored as
// UTF-8, product names go back in the code page and the admin commands read and write UTF-8;
// without one, SQLite keeps the bytes as they came while PostgreSQL (UTF-8 only) refuses them,
// and the agent gets the usual error reply with nothing written.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "GatewayClient.h"
#include "GatewayProcess.h"
#include "GatewayStores.h"

using ::testing::HasSubstr;

namespace cvdt::test {
namespace {

// "설치 완료" (installation complete) in 949 and in UTF-8.
const std::string kDone949 = "\xBC\xB3\xC4\xA1 \xBF\xCF\xB7\xE1";
const std::string kDoneUtf8 = "\xEC\x84\xA4\xEC\xB9\x98 \xEC\x99\x84\xEB\xA3\x8C";

class GatewayStoreTextTest : public GatewayStoreTest {};

CVDT_STORES_OF(GatewayStoreTextTest);

TEST_P(GatewayStoreTextTest, SiteCodePageTextsAreStoredAsUtf8AndSentBackInTheCodePage) {
  GatewayProcess gateway(storeArgs({"--codepage", "949"}));
  // A detail the agent cut after the first byte of a character: that half becomes U+FFFD.
  EXPECT_EQ(GatewayClient::call(gateway.port(), commandedRequest("EQ1", 5, kDone949 + "\xC7")),
            "C00440AOK|@1");
  DbProbe db(gateway.dbPath());
  EXPECT_EQ(db.rows("SELECT status_detail FROM n_equip_result"),
            std::vector<std::string>{kDoneUtf8 + "\xEF\xBF\xBD"});
  CommandResult json = runGatewayCommand({"status", "--db", gateway.dbPath(), "--json"});
  EXPECT_THAT(json.out, HasSubstr("\"status_detail\":\"" + kDoneUtf8 + "\xEF\xBF\xBD\""));

  // A name given at the terminal in UTF-8 reaches the agent in 949.
  ASSERT_EQ(runGatewayCommand({"target", "add", "--db", gateway.dbPath(), "--dist", "12", "--name",
                               kDoneUtf8, "--policy", "<p/>"})
                .status,
            0);
  EXPECT_EQ(GatewayClient::call(gateway.port(), requestText("SP_SV_ADT_PROD_BY_EQUIP_S1",
                                                            {"EQUIP_ID|#S|#EQ1", "DT_ID|#S|#12"})),
            "C00440AOK|@12|#" + kDone949 + "|#<p/>|#1|#010");

  // call speaks for an agent of the site: it sends 949 and prints the reply in UTF-8.
  std::string port = std::to_string(gateway.port());
  CommandResult call =
      runGatewayCommand({"call", "--host", "127.0.0.1", "--port", port, "--codepage", "949",
                         "SP_SV_ADT_PROD_BY_EQUIP_S1", "EQUIP_ID:S:EQ1", "DT_ID:S:12"});
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

TEST_P(GatewayStoreTextTest, WithoutACodePageSqliteKeepsTheBytesAndPostgresqlRefusesThem) {
  GatewayProcess gateway(m_storeArgs);
  std::string reply = GatewayClient::call(gateway.port(), commandedRequest("EQ1", 5, kDone949));
  DbProbe db(gateway.dbPath());
  if (GetParam() == StoreKind::Sqlite) {
    EXPECT_EQ(reply, "C00440AOK|@1");
    EXPECT_EQ(db.rows("SELECT hex(status_detail) FROM n_equip_result"),
              std::vector<std::string>{"BCB3C4A120BFCFB7E1"});
    // The operator names the site's code page to read them.
    CommandResult table =
        runGatewayCommand({"status", "--db", gateway.dbPath(), "--codepage", "949"});
    EXPECT_THAT(table.out, HasSubstr(kDoneUtf8));
    // Without one, JSON shows each byte that is not UTF-8 as the character of the same value;
    // pairs that happen to be UTF-8 (C4 A1, CF B7) stay what they read as.
    CommandResult raw = runGatewayCommand({"status", "--db", gateway.dbPath(), "--json"});
    EXPECT_EQ(nlohmann::json::parse(raw.out)["commanded"][0]["status_detail"].get<std::string>(),
              "\u00bc\u00b3\u0121 \u00bf\u03f7\u00e1")
        << raw.out;
    EXPECT_EQ(runGatewayCommand({"status", "--db", gateway.dbPath(), "--codepage", "99999"}).status,
              2);
  } else {
    EXPECT_EQ(reply.rfind("C00440AERR|@database error", 0), 0u) << reply;
    EXPECT_EQ(db.totalRows(), 0);
    ASSERT_EQ(gateway.logLines().size(), 1u);
    EXPECT_THAT(gateway.logLines()[0], HasSubstr("UTF8"));
  }
  // ASCII texts need no code page on either store.
  EXPECT_EQ(GatewayClient::call(gateway.port(), commandedRequest("EQ1", 5, "done")),
            "C00440AOK|@1");
}

}  // namespace
}  // namespace cvdt::test
