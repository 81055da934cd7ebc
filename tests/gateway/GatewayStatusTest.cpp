// `cvdt-gateway status` on both stores: the same reports give the same tables and JSON on SQLite
// and on PostgreSQL, once and with --watch.
#include <gtest/gtest.h>

#include <chrono>
#include <nlohmann/json.hpp>

#include "GatewayProcess.h"
#include "GatewayStores.h"
#include "support/RunningProgram.h"

namespace cvdt::test {
namespace {

bool contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

class GatewayStatusTest : public GatewayStoreTest {
 protected:
  void SetUp() override {
    GatewayStoreTest::SetUp();
    if (!IsSkipped()) m_pGateway = std::make_unique<GatewayProcess>(m_storeArgs);
  }
  // Sends one report through the module's client (`cvdt-gateway call`).
  void send(const std::vector<std::string>& params) {
    std::vector<std::string> args = {"call", "--host", "127.0.0.1", "--port",
                                     std::to_string(m_pGateway->port())};
    args.insert(args.end(), params.begin(), params.end());
    CommandResult sent = runGatewayCommand(args);
    ASSERT_EQ(sent.status, 0) << params[0] << ": " << sent.err;
  }
  void commanded(const std::string& equip, int dist, int cmd, const std::string& status,
                 const std::string& detail = "") {
    send({"SP_SV_DT_N_EQUIP_IU", "EQUIP_ID:S:" + equip, "DIST_ID:I:" + std::to_string(dist),
          "PROC_TYPE:S:NDT", "STATUS:S:" + status, "STATUS_DETAIL:S:" + detail,
          "CMD_ID:I:" + std::to_string(cmd), "ACTOR:I:1"});
  }
  void automatic(const std::string& equip, int dist, int update, const std::string& status,
                 const std::string& errDetail) {
    send({"SP_SV_DT_TDT_A_EQUIP_U3", "EQUIP_ID:S:" + equip, "DIST_ID:I:" + std::to_string(dist),
          "UPDATE_ID:I:" + std::to_string(update), "STATUS:S:" + status,
          "STATUS_DETAIL:S:", "PROC_TIME:I:7", "DIST_SERVER_IP:S:", "ERR_DETAIL:S:" + errDetail});
  }
  void deleted(const std::string& equip, const std::string& dists) {
    send({"SP_SV_DT_N_EQUIP_DELETE_DATETIME_U", "EQUIP_ID:S:" + equip, "DIST_ID_DATA:S:" + dists});
  }
  CommandResult status(std::vector<std::string> extra) {
    std::vector<std::string> args = {"status", "--db", m_pGateway->dbPath()};
    args.insert(args.end(), extra.begin(), extra.end());
    return runGatewayCommand(args);
  }

  std::unique_ptr<GatewayProcess> m_pGateway;
};

CVDT_STORES_OF(GatewayStatusTest);

TEST_P(GatewayStatusTest, ShowsTheLatestReportOfEachDistributionAndFailsOnAMissingDatabase) {
  commanded("EQ1", 5, 1, "071");
  commanded("EQ1", 5, 2, "060", "\"done\"");
  commanded("EQ10", 5, 1, "100", "no disk");
  commanded("EQ2", 6, 1, "060");
  deleted("EQ2", "8|&6");  // 6 marks the reported distribution, 8 has no report at all
  deleted("EQ1", "5");
  commanded("EQ1", 5, 3, "060");  // a new report clears EQ1's mark
  automatic("EQ1", 12, 3, "904", "part\tmissing");
  automatic("EQ1", 12, 4, "060", "");  // a newer update id: the latest, whatever its id
  automatic("EQ2", 12, 4, "031", "");

  CommandResult json = status({"--json"});
  ASSERT_EQ(json.status, 0) << json.err;
  nlohmann::json parsed = nlohmann::json::parse(json.out);
  const nlohmann::json& rows = parsed["commanded"];
  ASSERT_EQ(rows.size(), 4u) << json.out;
  // Ordered by equipment id (as text), then distribution.
  EXPECT_EQ(rows[0],
            nlohmann::json::parse(R"({"equip_id":"EQ1","dist_id":5,"cmd_id":3,"proc_type":"NDT",)"
                                  R"("status":"060","status_detail":"","actor":1,)"
                                  R"("reported_at":)" +
                                  rows[0]["reported_at"].dump() + R"(,"deleted_at":null})"))
      << json.out;
  EXPECT_EQ(rows[1]["equip_id"], "EQ10");
  EXPECT_TRUE(rows[2]["deleted_at"].is_string());
  EXPECT_EQ(rows[3]["dist_id"], 8);  // a deletion mark alone
  EXPECT_TRUE(rows[3]["cmd_id"].is_null() && rows[3]["status"].is_null()) << json.out;
  EXPECT_TRUE(rows[3]["deleted_at"].is_string());

  const nlohmann::json& items = parsed["automatic"];
  ASSERT_EQ(items.size(), 2u) << json.out;
  EXPECT_EQ(items[0]["update_id"], 4);
  EXPECT_EQ(items[0]["err_detail"], "");

  // --equip is a bound value, never SQL, and keeps one equipment exactly (not EQ10).
  CommandResult one = status({"--equip", "EQ1", "--json"});
  ASSERT_EQ(one.status, 0) << one.err;
  nlohmann::json eq1 = nlohmann::json::parse(one.out);
  EXPECT_EQ(eq1["commanded"].size(), 1u) << one.out;
  EXPECT_EQ(eq1["automatic"].size(), 1u) << one.out;
  CommandResult quoted = status({"--equip", "EQ1' OR '1'='1", "--json"});
  EXPECT_EQ(quoted.out, "{\"commanded\":[],\"automatic\":[]}\n") << quoted.err;

  CommandResult table = status({"--equip", "EQ2"});
  ASSERT_EQ(table.status, 0) << table.err;
  EXPECT_TRUE(contains(table.out, "Commanded distribution (2)")) << table.out;
  EXPECT_TRUE(contains(table.out, "\nEQ2       8        -       -          -")) << table.out;

  // A database that is not there is work that failed (1), on either store; no file is created.
  std::string missing = m_pGateway->dbPath();
  if (GetParam() == StoreKind::Sqlite) missing = m_pGateway->folder() + "/none.db";
  else missing.replace(missing.find("gateway_"), 8, "missing_");
  CommandResult run = runGatewayCommand({"status", "--db", missing});
  EXPECT_EQ(run.status, 1);
  EXPECT_TRUE(contains(run.err, "cvdt-gateway status: cannot ")) << run.err;
  EXPECT_TRUE(run.out.empty()) << run.out;
  EXPECT_FALSE(std::filesystem::exists(m_pGateway->folder() + "/none.db"));
}

// Into a pipe, --watch prints the status again only when it changed, without terminal control
// sequences, and ends with 0 on SIGTERM.
TEST_P(GatewayStatusTest, WatchPrintsEachChangeOnceWhenNotOnATerminal) {
  commanded("EQ1", 5, 1, "071");
  RunningProgram watch({CVDT_GATEWAY_PATH, "status", "--db", m_pGateway->dbPath(), "--watch",
                        "--json", "--interval", "1"});
  std::string first = watch.nextLine(std::chrono::seconds(30));
  ASSERT_FALSE(first.empty()) << "no reading";
  EXPECT_EQ(nlohmann::json::parse(first)["commanded"][0]["status"], "071") << first;
  commanded("EQ1", 5, 1, "060");
  std::string second = watch.nextLine(std::chrono::seconds(30));
  ASSERT_FALSE(second.empty()) << "the change was not printed";
  EXPECT_EQ(nlohmann::json::parse(second)["commanded"][0]["status"], "060") << second;
  EXPECT_EQ(watch.stop(), 0);
  EXPECT_EQ(watch.all().find('\033'), std::string::npos) << watch.all();
  EXPECT_EQ(std::count(watch.all().begin(), watch.all().end(), '\n'), 2) << watch.all();
}

}  // namespace
}  // namespace cvdt::test
