// The admin commands of cvdt-gateway: target add's refusals, call, and serve's option checks
// (status and the target list have their tests on both stores).
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "GatewayClient.h"
#include "GatewayProcess.h"
#include "support/TestMachine.h"

using ::testing::HasSubstr;

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
       {std::vector<std::string>{"SP_X", "EQUIP_ID:T:1"}, {"SP_X", "EQUIP_ID:S:a|$b"}}) {
    EXPECT_EQ(call(bad).status, 2) << bad[1].substr(0, 20);
  }
  std::string port = std::to_string(m_gateway.port());
  ASSERT_TRUE(m_gateway.stop());
  CommandResult nobody = runGatewayCommand({"call", "--host", "127.0.0.1", "--port", port,
                                            "SP_SV_ADT_PROD_BY_EQUIP_S1", "EQUIP_ID:S:E",
                                            "DT_ID:S:5"});
  EXPECT_EQ(nobody.status, 1);
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
      {"add", "--dist", "12", "--name", "N", "--policy", "", "--policy-file", policyFile},
      {"add", "--dist", "12", "--name", "N", "--policy", "", "--update-id", "0"},
  };
  for (const auto& args : refused) EXPECT_EQ(target(args).status, 2) << args.back().substr(0, 20);
  // A file that cannot be read is work that failed, not a wrong command line.
  CommandResult missing = target({"add", "--dist", "12", "--name", "N", "--policy-file", policyFile + ".missing"});
  EXPECT_EQ(missing.status, 1);
  EXPECT_THAT(missing.err, HasSubstr("cannot read " + policyFile + ".missing"));
  EXPECT_EQ(DbProbe(m_gateway.dbPath()).count("adt_product_target"), 1);
}

TEST(GatewayServeTest, UnusableOptionsStopTheGatewayBeforeItListens) {
  std::string folder = makeTempFolder("cvdt-gateway-serve");
  const std::vector<std::vector<std::string>> usage = {
      {"serve", "--listen", "127.0.0.1"},
      {"serve", "--listen", "127.0.0.1:0", "--max-connections", "0"},
      {"serve", "--listen", "127.0.0.1:0", "--workers", "0"},
      {"serve", "--listen", "127.0.0.1:0", "--workers", "257"},
  };
  for (const auto& args : usage) EXPECT_EQ(runGatewayCommand(args).status, 2) << args.back();
  EXPECT_EQ(runGatewayCommand({"serve", "--listen", "localhost:0", "--db", folder + "/g.db"})
                .status, 1);
  EXPECT_EQ(
      runGatewayCommand({"serve", "--listen", "127.0.0.1:0", "--db", folder + "/missing/g.db"})
          .status,
      1);
  std::filesystem::remove_all(folder);
}

}  // namespace
}  // namespace cvdt::test
