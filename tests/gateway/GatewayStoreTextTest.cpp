// Agents' texts on each store: with the site's code page they are stored as UTF-8 and product
// names go back in the code page, on SQLite and PostgreSQL alike; without one, SQLite keeps the
// bytes as they came while PostgreSQL (UTF-8 only) refuses them, and the agent gets the usual
// error reply with nothing written.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "GatewayClient.h"
#include "GatewayProcess.h"
#include "GatewayStores.h"

using ::testing::HasSubstr;

namespace cvdt::test {
namespace {

// "설치 완료" (installation complete) in 949 and in UTF-8.
const std::string kDone949 = "\xBC\xB3\xC4\xA1 \xBF\xCF\xB7\xE1";
const std::string kDoneUtf8 = "\xEC\x84\xA4\xEC\xB9\x98 \xEC\x99\x84\xEB\xA3\x8C";

std::string commandedRequest(const std::string& detail) {
  return requestText("SP_SV_DT_N_EQUIP_IU",
                     {"EQUIP_ID|#S|#EQ1", "DIST_ID|#I|#5", "PROC_TYPE|#S|#NDT", "STATUS|#S|#060",
                      "STATUS_DETAIL|#S|#" + detail, "CMD_ID|#I|#9", "ACTOR|#I|#0"});
}

class GatewayStoreTextTest : public testing::TestWithParam<StoreKind> {
 protected:
  void SetUp() override {
    std::optional<std::vector<std::string>> args = freshStoreArgs(GetParam());
    if (!args) GTEST_SKIP() << postgresSkipReason();
    m_storeArgs = *args;
  }
  std::vector<std::string> m_storeArgs;
};

CVDT_STORES_OF(GatewayStoreTextTest);

TEST_P(GatewayStoreTextTest, SiteCodePageTextsAreStoredAsUtf8AndSentBackInTheCodePage) {
  std::vector<std::string> args = m_storeArgs;
  args.insert(args.end(), {"--codepage", "949"});
  GatewayProcess gateway(args);
  // Cut after the first byte of a character: that half becomes U+FFFD.
  EXPECT_EQ(GatewayClient::call(gateway.port(), commandedRequest(kDone949 + "\xC7")),
            "C00440AOK|@1");
  DbProbe db(gateway.dbPath());
  EXPECT_EQ(db.rows("SELECT status_detail FROM n_equip_result"),
            std::vector<std::string>{kDoneUtf8 + "\xEF\xBF\xBD"});
  db.exec("INSERT INTO adt_product_target(dist_id, equip_id, name, policy, update_id, created_at)"
          " VALUES(12, '', '" + kDoneUtf8 + "', '<p/>', 1, '')");
  EXPECT_EQ(GatewayClient::call(gateway.port(), requestText("SP_SV_ADT_PROD_BY_EQUIP_S1",
                                                            {"EQUIP_ID|#S|#EQ1", "DT_ID|#S|#12"})),
            "C00440AOK|@12|#" + kDone949 + "|#<p/>|#1|#010");
}

TEST_P(GatewayStoreTextTest, WithoutACodePageSqliteKeepsTheBytesAndPostgresqlRefusesThem) {
  GatewayProcess gateway(m_storeArgs);
  std::string reply = GatewayClient::call(gateway.port(), commandedRequest(kDone949));
  DbProbe db(gateway.dbPath());
  if (GetParam() == StoreKind::Sqlite) {
    EXPECT_EQ(reply, "C00440AOK|@1");
    EXPECT_EQ(db.rows("SELECT hex(status_detail) FROM n_equip_result"),
              std::vector<std::string>{"BCB3C4A120BFCFB7E1"});
  } else {
    EXPECT_EQ(reply.rfind("C00440AERR|@database error", 0), 0u) << reply;
    EXPECT_EQ(db.totalRows(), 0);
    ASSERT_EQ(gateway.logLines().size(), 1u);
    EXPECT_THAT(gateway.logLines()[0], HasSubstr("UTF8"));
  }
  // ASCII texts need no code page on either store.
  EXPECT_EQ(GatewayClient::call(gateway.port(), commandedRequest("done")), "C00440AOK|@1");
}

}  // namespace
}  // namespace cvdt::test
