// The admin commands of cvdt-gateway: status, target add/list/remove, call, and serve's option
// checks.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>

#include "GatewayClient.h"
#include "GatewayProcess.h"
#include "support/RunningProgram.h"
#include "support/TestMachine.h"

using ::testing::AllOf;
using ::testing::HasSubstr;
using ::testing::Not;

namespace cvdt::test {
namespace {

class GatewayCommandsTest : public testing::Test {
 protected:
  CommandResult target(const std::vector<std::string>& args) {
    std::vector<std::string> all = {"target", args[0], "--db", m_gateway.dbPath()};
    all.insert(all.end(), args.begin() + 1, args.end());
    return runGatewayCommand(all);
  }
  CommandResult call(const std::vector<std::string>& params) {
    std::vector<std::string> args = {"call", "--host", "127.0.0.1", "--port",
                                     std::to_string(m_gateway.port())};
    args.insert(args.end(), params.begin(), params.end());
    return runGatewayCommand(args);
  }

  GatewayProcess m_gateway;
};

TEST_F(GatewayCommandsTest, CallPacksParametersAndSendsThemThroughTheModuleClient) {
  CommandResult good = call({"SP_SV_DT_N_EQUIP_IU", "EQUIP_ID:S:EQ1", "DIST_ID:I:5",
                             "PROC_TYPE:S:NDT", "STATUS:S:060", "STATUS_DETAIL:S:a:b [3 sec]",
                             "CMD_ID:I:9", "ACTOR:I:1"});
  EXPECT_EQ(good.status, 0) << good.err;
  EXPECT_EQ(good.out, "1\n");
  EXPECT_EQ(DbProbe(m_gateway.dbPath()).rows("SELECT status_detail FROM n_equip_result"),
            std::vector<std::string>{"a:b [3 sec]"});

  CommandResult empty = call({"SP_SV_ADT_PROD_BY_EQUIP_S1", "EQUIP_ID:S:EQ1", "DT_ID:S:5"});
  EXPECT_EQ(empty.status, 0) << empty.err;
  EXPECT_EQ(empty.out, "\n");

  CommandResult refused = call({"SP_SV_DT_N_EQUIP_DELETE_DATETIME_U", "EQUIP_ID:S:EQ1"});
  EXPECT_EQ(refused.status, 1);
  EXPECT_THAT(refused.err, HasSubstr("failed"));
  EXPECT_EQ(m_gateway.logLines().size(), 1u);

  for (const std::vector<std::string>& bad :
       {std::vector<std::string>{"SP_X", "EQUIP_ID=S=EQ1"}, {"SP_X", "EQUIP_ID:T:1"},
        {"SP_X", "EQUIP_ID:S:a|$b"}, {"SP_X", "DATA:S:" + std::string(0x10000, 'x')}}) {
    EXPECT_EQ(call(bad).status, 2) << bad[1].substr(0, 20);
  }
  std::string port = std::to_string(m_gateway.port());
  ASSERT_TRUE(m_gateway.stop());
  CommandResult nobody = runGatewayCommand({"call", "--host", "127.0.0.1", "--port", port,
                                            "SP_SV_ADT_PROD_BY_EQUIP_S1", "EQUIP_ID:S:E",
                                            "DT_ID:S:5"});
  EXPECT_EQ(nobody.status, 1);
}

TEST_F(GatewayCommandsTest, StatusShowsTheLatestCommandedAndAutomaticReports) {
  auto send = [&](const std::vector<std::string>& params) {
    ASSERT_EQ(call(params).status, 0) << params[0];
  };
  send({"SP_SV_DT_N_EQUIP_IU", "EQUIP_ID:S:EQ1", "DIST_ID:I:5", "PROC_TYPE:S:NDT",
        "STATUS:S:071", "STATUS_DETAIL:S:", "CMD_ID:I:1", "ACTOR:I:1"});
  send({"SP_SV_DT_N_EQUIP_IU", "EQUIP_ID:S:EQ1", "DIST_ID:I:5", "PROC_TYPE:S:NDT",
        "STATUS:S:060", "STATUS_DETAIL:S:\"done\"", "CMD_ID:I:2", "ACTOR:I:1"});
  send({"SP_SV_DT_N_EQUIP_DELETE_DATETIME_U", "EQUIP_ID:S:EQ2", "DIST_ID_DATA:S:8"});
  send({"SP_SV_DT_TDT_A_EQUIP_U3", "EQUIP_ID:S:EQ1", "DIST_ID:I:12", "UPDATE_ID:I:3",
        "STATUS:S:904", "STATUS_DETAIL:S:", "PROC_TIME:I:7", "DIST_SERVER_IP:S:",
        "ERR_DETAIL:S:part\tmissing"});

  CommandResult json = runGatewayCommand({"status", "--db", m_gateway.dbPath(), "--json"});
  ASSERT_EQ(json.status, 0) << json.err;
  EXPECT_THAT(json.out, HasSubstr("{\"equip_id\":\"EQ1\",\"dist_id\":5,\"cmd_id\":2,"
                                  "\"proc_type\":\"NDT\",\"status\":\"060\","
                                  "\"status_detail\":\"\\\"done\\\"\",\"actor\":1,"));
  EXPECT_THAT(json.out, Not(HasSubstr("\"status\":\"071\"")));
  EXPECT_THAT(json.out, HasSubstr("{\"equip_id\":\"EQ2\",\"dist_id\":8,\"cmd_id\":null,"));
  // Read back as JSON: the columns in order, numbers as numbers, text byte for byte.
  nlohmann::json parsed = nlohmann::json::parse(json.out);
  ASSERT_EQ(parsed["automatic"].size(), 1u) << json.out;
  const nlohmann::json& automatic = parsed["automatic"][0];
  EXPECT_EQ(automatic["err_detail"], "part\tmissing");
  EXPECT_EQ(automatic["proc_time"], 7);
  EXPECT_EQ(automatic["status"], "904");
  EXPECT_TRUE(automatic["dist_server_ip"].is_string());
  ASSERT_EQ(parsed["commanded"].size(), 2u);
  EXPECT_TRUE(parsed["commanded"][1]["status"].is_null());
  EXPECT_TRUE(parsed["commanded"][1]["deleted_at"].is_string()) << json.out;

  CommandResult table = runGatewayCommand({"status", "--db", m_gateway.dbPath(), "--equip", "EQ2"});
  ASSERT_EQ(table.status, 0) << table.err;
  EXPECT_THAT(table.out, HasSubstr("Commanded distribution (1)"));
  EXPECT_THAT(table.out, HasSubstr("Automatic distribution (0)"));

  EXPECT_EQ(runGatewayCommand({"status", "--db", m_gateway.folder() + "/none.db"}).status, 1);
  EXPECT_EQ(runGatewayCommand({"status"}).status, 2);
}

// `status --watch` into a pipe prints the status again only when it changed, with no terminal
// control sequences, and ends with 0 on SIGTERM.
TEST_F(GatewayCommandsTest, StatusWatchPrintsEachChangeOnceWhenNotOnATerminal) {
  auto report = [&](const std::string& status) {
    ASSERT_EQ(call({"SP_SV_DT_N_EQUIP_IU", "EQUIP_ID:S:EQ1", "DIST_ID:I:5", "PROC_TYPE:S:NDT",
                    "STATUS:S:" + status, "STATUS_DETAIL:S:", "CMD_ID:I:1", "ACTOR:I:1"})
                  .status, 0);
  };
  report("071");
  RunningProgram watch({CVDT_GATEWAY_PATH, "status", "--db", m_gateway.dbPath(), "--watch",
                        "--json", "--interval", "1"});
  std::string first = watch.nextLine(std::chrono::seconds(30));
  ASSERT_FALSE(first.empty()) << "no reading";
  EXPECT_EQ(nlohmann::json::parse(first)["commanded"][0]["status"], "071") << first;
  report("060");
  std::string second = watch.nextLine(std::chrono::seconds(30));
  ASSERT_FALSE(second.empty()) << "the change was not printed";
  EXPECT_EQ(nlohmann::json::parse(second)["commanded"][0]["status"], "060") << second;
  EXPECT_EQ(watch.stop(), 0);
  EXPECT_EQ(watch.all().find('\033'), std::string::npos) << watch.all();
}

TEST_F(GatewayCommandsTest, TargetAddRefusesWhatTheAgentCouldNotReadBack) {
  std::string policyFile = m_gateway.folder() + "/policy.xml";
  std::ofstream(policyFile) << std::string(5119, 'p');
  EXPECT_EQ(target({"add", "--dist", "12", "--name", "N", "--policy-file", policyFile}).status, 0);
  const std::vector<std::vector<std::string>> refused = {
      {"add", "--dist", "12", "--name", "N", "--policy", std::string(5120, 'p')},
      {"add", "--dist", "12", "--name", std::string(128, 'n'), "--policy", ""},
      {"add", "--dist", "12", "--name", "a|#b", "--policy", ""},
      {"add", "--dist", "12", "--name", "N", "--policy", "<p>|$</p>"},
      {"add", "--dist", "12", "--name", "N", "--policy", "<p>|@</p>"},
      {"add", "--dist", "12", "--name", "N"},
      {"add", "--dist", "12", "--name", "N", "--policy", "", "--policy-file", policyFile},
      {"add", "--dist", "0", "--name", "N", "--policy", ""},
      {"add", "--dist", "x", "--name", "N", "--policy", ""},
      {"add", "--name", "N", "--policy", ""},
      {"add", "--dist", "12", "--name", "N", "--policy", "", "--update-id", "0"},
      {"add", "--dist", "12", "--name", "N", "--policy", "", "--colour", "red"},
      {"rename", "--dist", "12"},
  };
  for (const auto& args : refused) EXPECT_EQ(target(args).status, 2) << args.back().substr(0, 20);
  // A file that cannot be read is work that failed, not a wrong command line.
  CommandResult missing = target({"add", "--dist", "12", "--name", "N", "--policy-file", policyFile + ".missing"});
  EXPECT_EQ(missing.status, 1);
  EXPECT_THAT(missing.err, HasSubstr("cannot read " + policyFile + ".missing"));
  EXPECT_EQ(DbProbe(m_gateway.dbPath()).count("adt_product_target"), 1);
}

TEST_F(GatewayCommandsTest, TargetsAreListedAndRemovedById) {
  ASSERT_EQ(target({"add", "--dist", "12", "--name", "Viewer", "--policy", "<polProduct/>"}).out,
            "added target 1\n");
  ASSERT_EQ(target({"add", "--dist", "13", "--equip", "EQ2", "--name", "Editor", "--policy", "",
                    "--update-id", "4"}).status, 0);
  CommandResult json = target({"list", "--json"});
  ASSERT_EQ(json.status, 0) << json.err;
  nlohmann::json parsed = nlohmann::json::parse(json.out);
  ASSERT_EQ(parsed.size(), 2u);
  EXPECT_EQ(parsed[1]["update_id"], 4);
  EXPECT_EQ(parsed[1]["name"], "Editor");
  EXPECT_THAT(json.out, HasSubstr("{\"target_id\":1,\"dist_id\":12,\"equip_id\":null,"
                                  "\"update_id\":1,\"name\":\"Viewer\","
                                  "\"policy\":\"<polProduct/>\","));
  EXPECT_THAT(json.out, HasSubstr("\"equip_id\":\"EQ2\",\"update_id\":4"));
  CommandResult only13 = target({"list", "--dist", "13"});
  EXPECT_THAT(only13.out, AllOf(HasSubstr("Editor"), Not(HasSubstr("Viewer"))));

  EXPECT_EQ(target({"remove", "1"}).status, 0);
  CommandResult missing = target({"remove", "1", "2"});
  EXPECT_EQ(missing.status, 1);
  EXPECT_THAT(missing.err, HasSubstr("no target 1"));
  EXPECT_EQ(DbProbe(m_gateway.dbPath()).count("adt_product_target"), 0);
  EXPECT_EQ(target({"remove", "first"}).status, 2);
}

TEST(GatewayServeTest, UnusableOptionsStopTheGatewayBeforeItListens) {
  std::string folder = makeTempFolder("cvdt-gateway-serve");
  const std::vector<std::vector<std::string>> usage = {
      {"serve", "--listen", "127.0.0.1"},
      {"serve", "--listen", "127.0.0.1:65536"},
      {"serve", "--listen", "127.0.0.1:0", "--max-connections", "0"},
      {"serve", "--listen", "127.0.0.1:0", "--frame-timeout-ms", "soon"},
      {"serve", "--port", "7221"},
  };
  for (const auto& args : usage) EXPECT_EQ(runGatewayCommand(args).status, 2) << args.back();
  EXPECT_EQ(runGatewayCommand({"serve", "--listen", "localhost:0", "--db", folder + "/g.db"})
                .status, 1);
  EXPECT_EQ(runGatewayCommand({"serve", "--listen", "127.0.0.1:0", "--db",
                               folder + "/missing/g.db"}).status, 1);
  EXPECT_EQ(runGatewayCommand({"launch"}).status, 2);
  std::filesystem::remove_all(folder);
}

}  // namespace
}  // namespace cvdt::test
