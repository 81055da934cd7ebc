// The five stored procedures against the real gateway: replies, and the rows they leave.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "GatewayClient.h"
#include "GatewayProcess.h"
#include "GatewayStores.h"

using ::testing::AllOf;
using ::testing::HasSubstr;
using ::testing::Not;

namespace cvdt::test {
namespace {

constexpr const char* kCommanded = "SP_SV_DT_N_EQUIP_IU";
constexpr const char* kDeletion = "SP_SV_DT_N_EQUIP_DELETE_DATETIME_U";
constexpr const char* kAutomatic = "SP_SV_DT_TDT_A_EQUIP_U";
constexpr const char* kAutomatic3 = "SP_SV_DT_TDT_A_EQUIP_U3";
constexpr const char* kTargets = "SP_SV_ADT_PROD_BY_EQUIP_S1";

std::vector<std::string> commanded(const std::string& dist, const std::string& cmd,
                                   const std::string& status) {
  return {"EQUIP_ID|#S|#EQ1", "DIST_ID|#I|#" + dist, "PROC_TYPE|#S|#NDT",
          "STATUS|#S|#" + status, "STATUS_DETAIL|#S|#step [12 sec]", "CMD_ID|#I|#" + cmd,
          "ACTOR|#I|#1"};
}

std::vector<std::string> automatic(const std::string& dist, const std::string& update,
                                   const std::string& status) {
  return {"EQUIP_ID|#S|#EQ1",   "DIST_ID|#I|#" + dist, "UPDATE_ID|#I|#" + update,
          "STATUS|#S|#" + status, "STATUS_DETAIL|#S|#50 %", "PROC_TIME|#I|#42",
          "DIST_SERVER_IP|#S|#010.001.002.030"};
}

// Every case runs on SQLite and on PostgreSQL, with the same requests and the same results.
class GatewayProceduresTest : public GatewayStoreTest {
 protected:
  void SetUp() override {
    GatewayStoreTest::SetUp();
    if (!IsSkipped()) m_pGateway = std::make_unique<GatewayProcess>(m_storeArgs);
  }
  std::string call(const std::string& procedure, const std::vector<std::string>& params) {
    return GatewayClient::call(m_pGateway->port(), requestText(procedure, params));
  }
  CommandResult addTarget(int dist, const std::string& equip, const std::string& name,
                          const std::string& policy, int updateId = 1) {
    std::vector<std::string> args = {"target", "add", "--db", dbPath(), "--dist",
                                     std::to_string(dist), "--name", name, "--policy", policy,
                                     "--update-id", std::to_string(updateId)};
    if (!equip.empty()) args.insert(args.end(), {"--equip", equip});
    CommandResult run = runGatewayCommand(args);
    EXPECT_EQ(run.status, 0) << run.err;
    return run;
  }
  CommandResult target(std::vector<std::string> args) {
    args.insert(args.begin() + 1, {"--db", dbPath()});
    args.insert(args.begin(), "target");
    return runGatewayCommand(args);
  }
  const std::string& dbPath() const { return m_pGateway->dbPath(); }

  std::unique_ptr<GatewayProcess> m_pGateway;
};

CVDT_STORES_OF(GatewayProceduresTest);

TEST_P(GatewayProceduresTest, CommandedResultKeepsTheLatestPerCommandAndEveryReport) {
  EXPECT_EQ(call(kCommanded, commanded("5", "77", "071")), "C00440AOK|@1");
  EXPECT_EQ(call(kCommanded, commanded("5", "77", "060")), "C00440AOK|@1");
  // Parameters are matched by name, in any order.
  std::vector<std::string> shuffled = commanded("5", "-78", "920");
  std::reverse(shuffled.begin(), shuffled.end());
  EXPECT_EQ(call(kCommanded, shuffled), "C00440AOK|@1");

  DbProbe db(dbPath());
  EXPECT_EQ(db.rows("SELECT equip_id, dist_id, cmd_id, proc_type, status, status_detail, actor"
                    " FROM n_equip_result ORDER BY cmd_id"),
            (std::vector<std::string>{"EQ1,5,-78,NDT,920,step [12 sec],1",
                                      "EQ1,5,77,NDT,060,step [12 sec],1"}));
  EXPECT_EQ(db.rows("SELECT status FROM n_equip_history ORDER BY history_id"),
            (std::vector<std::string>{"071", "060", "920"}));
  EXPECT_EQ(db.rows("SELECT length(reported_at) FROM n_equip_history GROUP BY 1"),
            (std::vector<std::string>{"14"}));
}

TEST_P(GatewayProceduresTest, DeletionMarksEachListedDistributionUntilItIsReportedAgain) {
  ASSERT_EQ(call(kCommanded, commanded("5", "1", "060")), "C00440AOK|@1");
  EXPECT_EQ(call(kDeletion, {"EQUIP_ID|#S|#EQ1", "DIST_ID_DATA|#S|#5|&7|&9"}), "C00440AOK|@3");
  // The agent repeats earlier ids at every start; a single id has no "|&".
  EXPECT_EQ(call(kDeletion, {"EQUIP_ID|#S|#EQ1", "DIST_ID_DATA|#S|#7"}), "C00440AOK|@1");
  EXPECT_EQ(call(kDeletion, {"EQUIP_ID|#S|#EQ2", "DIST_ID_DATA|#S|#5"}), "C00440AOK|@1");
  DbProbe db(dbPath());
  EXPECT_EQ(db.rows("SELECT equip_id, dist_id FROM n_equip_deleted ORDER BY 1, 2"),
            (std::vector<std::string>{"EQ1,5", "EQ1,7", "EQ1,9", "EQ2,5"}));

  // A new report of distribution 5 means its files are back on EQ1.
  ASSERT_EQ(call(kCommanded, commanded("5", "2", "060")), "C00440AOK|@1");
  EXPECT_EQ(db.rows("SELECT equip_id, dist_id FROM n_equip_deleted ORDER BY 1, 2"),
            (std::vector<std::string>{"EQ1,7", "EQ1,9", "EQ2,5"}));
}

// The module cuts its deletion list at 999 characters: whatever the cut leaves is kept.
TEST_P(GatewayProceduresTest, DeletionListsCutByTheModuleAreKept) {
  std::string ids;
  for (int id = 100001; ids.size() < 992; ++id) ids += std::to_string(id) + "|&";  // 124 ids
  ASSERT_EQ(ids.size(), 992u);
  const std::string cutId = ids + "1234567";    // 999 characters, the last id maybe cut
  const std::string cutSeparator = ids + "200001|";  // 999 characters, half a separator at the end
  ASSERT_EQ(cutId.size(), 999u);
  ASSERT_EQ(cutSeparator.size(), 999u);
  EXPECT_EQ(call(kDeletion, {"EQUIP_ID|#S|#EQ1", "DIST_ID_DATA|#S|#" + cutId}), "C00440AOK|@124");
  EXPECT_EQ(call(kDeletion, {"EQUIP_ID|#S|#EQ2", "DIST_ID_DATA|#S|#" + cutSeparator}),
            "C00440AOK|@124");
  EXPECT_EQ(call(kDeletion, {"EQUIP_ID|#S|#EQ3", "DIST_ID_DATA|#S|#5|&|&7"}), "C00440AOK|@2");
  DbProbe db(dbPath());
  EXPECT_EQ(db.rows("SELECT count(*) FROM n_equip_deleted WHERE dist_id IN (1234567, 200001)"),
            (std::vector<std::string>{"0"}));
  EXPECT_EQ(db.rows("SELECT dist_id FROM n_equip_deleted WHERE equip_id = 'EQ3' ORDER BY 1"),
            (std::vector<std::string>{"5", "7"}));
}

TEST_P(GatewayProceduresTest, AutomaticStatusKeepsTheErrorDetailOnlyFromTheEightParameterForm) {
  EXPECT_EQ(call(kAutomatic, automatic("12", "3", "072")), "C00440AOK|@1");
  std::vector<std::string> withDetail = automatic("12", "3", "904");
  withDetail.push_back("ERR_DETAIL|#S|#part 2 not fetched");
  EXPECT_EQ(call(kAutomatic3, withDetail), "C00440AOK|@1");
  std::vector<std::string> emptyDetail = automatic("12", "4", "060");
  emptyDetail[4] = "STATUS_DETAIL|#S|#";
  emptyDetail.push_back("ERR_DETAIL|#S|#");
  EXPECT_EQ(call(kAutomatic3, emptyDetail), "C00440AOK|@1");

  DbProbe db(dbPath());
  EXPECT_EQ(db.rows("SELECT update_id, status, status_detail, proc_time, dist_server_ip,"
                    " err_detail FROM a_equip_status ORDER BY update_id"),
            (std::vector<std::string>{"3,904,50 %,42,010.001.002.030,part 2 not fetched",
                                      "4,060,,42,010.001.002.030,"}));
  EXPECT_EQ(db.rows("SELECT status, err_detail FROM a_equip_history ORDER BY history_id"),
            (std::vector<std::string>{"072,<null>", "904,part 2 not fetched", "060,"}));
}

TEST_P(GatewayProceduresTest, ProductTargetsAreScopedByDistributionAndEquipment) {
  const std::string policy = "<polProduct name=\"A\"><platform>5.1.*</platform></polProduct>";
  addTarget(12, "", "Viewer", policy, 3);
  addTarget(12, "", "Viewer Lang", "");
  addTarget(12, "EQ2", "Viewer EQ2", "<polProduct/>", 5);
  addTarget(13, "", "Editor", "<p>x|y</p>");
  ASSERT_EQ(call(kAutomatic, automatic("12", "3", "060")), "C00440AOK|@1");
  ASSERT_EQ(call(kAutomatic, automatic("13", "1", "904")), "C00440AOK|@1");

  struct Case {
    const char* equip;
    const char* dist;
    std::string result;
  } cases[] = {
      // Installed status comes from the equipment's latest report for the target's update id.
      {"EQ1", "12", "12|#Viewer|#" + policy + "|#3|#060|$12|#Viewer Lang|#|#1|#010"},
      // Targets named for an equipment replace the ones for every equipment.
      {"EQ2", "12", "12|#Viewer EQ2|#<polProduct/>|#5|#010"},
      {"EQ1", "13", "13|#Editor|#<p>x|y</p>|#1|#904"},
      {"EQ1", "0013", "13|#Editor|#<p>x|y</p>|#1|#904"},
      {"EQ1", "14", ""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(call(kTargets, {std::string("EQUIP_ID|#S|#") + c.equip,
                              std::string("DT_ID|#S|#") + c.dist}),
              "C00440AOK|@" + c.result)
        << c.equip << " " << c.dist;
  }
}

TEST_P(GatewayProceduresTest, ATargetListBeyondTheReplyLimitIsRefusedRatherThanCut) {
  std::string policy(5119, 'p');
  DbProbe(dbPath()).exec(
      "INSERT INTO adt_product_target(dist_id, name, policy, update_id, created_at)"
      " SELECT 12, 'T', '" + policy + "', 1, '' FROM"
      " (WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n"
      " WHERE i < 210) SELECT i FROM n) AS numbers");
  std::string reply = call(kTargets, {"EQUIP_ID|#S|#EQ1", "DT_ID|#S|#12"});
  EXPECT_EQ(reply.rfind("C00440AERR|@result of", 0), 0u) << reply.substr(0, 80);
  ASSERT_EQ(m_pGateway->logLines().size(), 1u);
  EXPECT_THAT(m_pGateway->logLines()[0], HasSubstr("exceeds the reply limit"));
}

// The administrator's target commands work on either store.
TEST_P(GatewayProceduresTest, TargetsAreAddedListedAndRemovedById) {
  EXPECT_EQ(addTarget(12, "", "Viewer", "<polProduct/>", 3).out, "added target 1\n");
  addTarget(12, "EQ2", "Viewer EQ2", "", 4);
  addTarget(13, "", "Editor", "");
  CommandResult list = target({"list", "--json"});
  ASSERT_EQ(list.status, 0) << list.err;
  EXPECT_THAT(list.out, HasSubstr("{\"target_id\":1,\"dist_id\":12,\"equip_id\":null,"
                                  "\"update_id\":3,\"name\":\"Viewer\","
                                  "\"policy\":\"<polProduct/>\","));
  EXPECT_THAT(list.out, HasSubstr("\"equip_id\":\"EQ2\",\"update_id\":4,\"name\":\"Viewer EQ2\""));
  CommandResult only13 = target({"list", "--dist", "13"});
  EXPECT_THAT(only13.out, AllOf(HasSubstr("Editor"), Not(HasSubstr("Viewer"))));

  EXPECT_EQ(target({"remove", "3"}).status, 0);
  CommandResult removed = target({"remove", "1", "999"});
  EXPECT_EQ(removed.status, 1);
  EXPECT_THAT(removed.err, HasSubstr("no target 999"));
  EXPECT_EQ(DbProbe(dbPath()).count("adt_product_target"), 1);
  EXPECT_EQ(target({"remove", "first"}).status, 2);
  EXPECT_EQ(call(kTargets, {"EQUIP_ID|#S|#EQ1", "DT_ID|#S|#12"}), "C00440AOK|@");
}

}  // namespace
}  // namespace cvdt::test
