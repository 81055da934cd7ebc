// Requests the gateway must refuse: each gets an error reply and one log line, and none writes.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "GatewayClient.h"
#include "GatewayProcess.h"
#include "GatewayStores.h"

using ::testing::HasSubstr;

namespace cvdt::test {
namespace {

const std::vector<std::string> kDeletionParams = {"EQUIP_ID|#S|#EQ1", "DIST_ID_DATA|#S|#5"};

// The seven good parameters of SP_SV_DT_N_EQUIP_IU with the one at index replaced.
std::string commandedWith(size_t index, const std::string& param) {
  std::vector<std::string> params = {"EQUIP_ID|#S|#EQ1", "DIST_ID|#I|#5", "PROC_TYPE|#S|#NDT",
                                     "STATUS|#S|#060",   "STATUS_DETAIL|#S|#", "CMD_ID|#I|#7",
                                     "ACTOR|#I|#1"};
  params[index] = param;
  return requestText("SP_SV_DT_N_EQUIP_IU", params);
}

std::string deletionOf(const std::string& list) {
  return requestText("SP_SV_DT_N_EQUIP_DELETE_DATETIME_U",
                     {"EQUIP_ID|#S|#EQ1", "DIST_ID_DATA|#S|#" + list});
}

struct Case {
  const char* what;
  std::string request;
};

// Both stores give the same replies.
class GatewayRefusalTest : public GatewayStoreTest {};

CVDT_STORES_OF(GatewayRefusalTest);

// A trigger that makes the database refuse a statement partway through a request's work.
std::string failingTrigger(bool postgres, const std::string& when, const std::string& table,
                           const std::string& condition) {
  if (!postgres)
    return "DROP TRIGGER IF EXISTS fail_write; CREATE TRIGGER fail_write " + when + " ON " +
           table + (condition.empty() ? "" : " WHEN " + condition) +
           " BEGIN SELECT RAISE(ABORT, 'disk says no'); END;";
  return "CREATE OR REPLACE FUNCTION fail_write() RETURNS trigger LANGUAGE plpgsql AS"
         " $$BEGIN RAISE EXCEPTION 'disk says no'; END$$;"
         " DROP TRIGGER IF EXISTS fail_write ON n_equip_deleted;"
         " DROP TRIGGER IF EXISTS fail_write ON a_equip_status;"
         " CREATE TRIGGER fail_write " + when + " ON " + table + " FOR EACH ROW" +
         (condition.empty() ? "" : " WHEN (" + condition + ")") +
         " EXECUTE FUNCTION fail_write();";
}

TEST_P(GatewayRefusalTest, MalformedOrMismatchedRequestsAreRefusedAndWriteNothing) {
  const std::string deletion = requestText("SP_SV_DT_N_EQUIP_DELETE_DATETIME_U", kDeletionParams);
  const std::string deletionBody = deletion.substr(std::string("C00440A").size());
  const Case cases[] = {
      {"unknown procedure", requestText("SP_SV_DT_N_EQUIP_X", kDeletionParams)},
      {"too few parameters", requestText("SP_SV_DT_N_EQUIP_IU", kDeletionParams)},
      {"count not decimal", "C00440ASP_SV_DT_N_EQUIP_DELETE_DATETIME_U|@two|@EQUIP_ID|#S|#E"},
      {"wrong prefix", "C00441A" + deletionBody},
      {"zero byte", deletion.substr(0, 20) + std::string(1, '\0') + deletion.substr(20)},
      {"integer sent as text", commandedWith(1, "DIST_ID|#S|#5")},
      {"duplicate parameter", commandedWith(6, "CMD_ID|#I|#7")},
      {"count above the parameters", "C00440ASP_SV_DT_N_EQUIP_DELETE_DATETIME_U|@3|@" +
                                         kDeletionParams[0] + "|$" + kDeletionParams[1]},
      {"|@ inside a value", deletion + "|@x"},
      {"parameter with four fields", commandedWith(2, "PROC_TYPE|#S|#NDT|#x")},
      {"unknown parameter", commandedWith(6, "ACTOR_KIND|#I|#1")},
      {"integer with letters", commandedWith(5, "CMD_ID|#I|#7a")},
      {"empty equipment id", commandedWith(0, "EQUIP_ID|#S|#")},
      {"good ids then a bad one", deletionOf("5|&7|&9x")},
      {"id zero", deletionOf("0")},
      {"target query for a non-decimal distribution",
       requestText("SP_SV_ADT_PROD_BY_EQUIP_S1", {"EQUIP_ID|#S|#EQ1", "DT_ID|#S|#12a"})},
  };
  GatewayProcess gateway(m_storeArgs);
  size_t logged = 0;
  for (const Case& c : cases) {
    std::string reply = GatewayClient::call(gateway.port(), c.request);
    EXPECT_EQ(reply.rfind("C00440AERR|@", 0), 0u) << c.what << ": " << reply;
    EXPECT_GT(reply.size(), std::string("C00440AERR|@").size()) << c.what;
    std::vector<std::string> lines = gateway.logLines();
    ASSERT_EQ(lines.size(), logged + 1) << c.what;
    EXPECT_THAT(lines.back(), HasSubstr("refused: "));
    logged = lines.size();
  }
  EXPECT_EQ(DbProbe(gateway.dbPath()).totalRows(), 0);
  // The same gateway still does good work.
  EXPECT_EQ(GatewayClient::call(gateway.port(), deletion), "C00440AOK|@1");
}

// A statement that fails after others of the same request succeeded rolls all of them back.
TEST_P(GatewayRefusalTest, AFailurePartWayThroughAWriteLeavesNothingBehind) {
  struct Failing {
    const char* when;
    const char* table;
    const char* condition;
    std::string request;
  } cases[] = {
      // The report is recorded first, then the distribution's deletion mark is cleared.
      {"BEFORE DELETE", "n_equip_deleted", "", commandedWith(1, "DIST_ID|#I|#5")},
      {"BEFORE INSERT", "n_equip_deleted", "NEW.dist_id = 9", deletionOf("6|&7|&9")},
  };
  GatewayProcess gateway(m_storeArgs);
  ASSERT_EQ(GatewayClient::call(gateway.port(), deletionOf("5")), "C00440AOK|@1");
  for (const Failing& c : cases) {
    DbProbe db(gateway.dbPath());
    db.exec(failingTrigger(db.isPostgres(), c.when, c.table, c.condition));
    std::string reply = GatewayClient::call(gateway.port(), c.request);
    EXPECT_EQ(reply.rfind("C00440AERR|@database error", 0), 0u) << c.table << ": " << reply;
    EXPECT_EQ(db.totalRows(), 1) << c.table;
  }
  EXPECT_EQ(gateway.logLines().size(), std::size(cases));
}

}  // namespace
}  // namespace cvdt::test
