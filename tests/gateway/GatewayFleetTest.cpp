// Fleets of simulated workstations (cvdt-fleet, on the module's own client) against the
// gateway: on each store, across gateways and event loops sharing one database, through a
// balancer, and with a gateway killed partway through; every acknowledged report is stored
// exactly once.
#include <arpa/inet.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <thread>

#include "GatewayClient.h"
#include "GatewayProcess.h"
#include "GatewayStores.h"
#include "support/RunningProgram.h"
#include "support/TestMachine.h"

using ::testing::HasSubstr;
using ::testing::Not;

namespace cvdt::test {
namespace {

constexpr const char* kHaproxy = "/usr/sbin/haproxy";

// A port nobody listens on right now: bound to 0, read and released.
int freePort() {
  int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  bind(fd, reinterpret_cast<sockaddr*>(&address), length);
  getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
  close(fd);
  return ntohs(address.sin_port);
}

struct FleetReport {
  int status = -1;
  nlohmann::json summary;
};

// Runs cvdt-fleet against the gateways' ports and checks the database afterwards.
FleetReport runFleet(const std::vector<int>& ports, const std::string& db,
                     std::vector<std::string> options) {
  std::vector<std::string> args = {CVDT_FLEET_PATH, "--json", "--db", db, "--duration", "60"};
  for (int port : ports) {
    args.push_back("--gateway");
    args.push_back("127.0.0.1:" + std::to_string(port));
  }
  args.insert(args.end(), options.begin(), options.end());
  CommandResult run = runProgram(args, 90000);
  FleetReport report{run.status, nlohmann::json::parse(run.out, nullptr, false)};
  EXPECT_FALSE(report.summary.is_discarded()) << run.out << run.err;
  return report;
}

void expectStoredExactlyOnce(const FleetReport& report, int64_t planned) {
  ASSERT_TRUE(report.summary.contains("check")) << report.summary.dump();
  const nlohmann::json& check = report.summary["check"];
  EXPECT_TRUE(check["read"].get<bool>()) << check.dump();
  EXPECT_EQ(check["lost"], 0) << check.dump();
  EXPECT_EQ(check["duplicated"], 0) << check.dump();
  EXPECT_EQ(check["unexpected"], 0) << check.dump();
  EXPECT_EQ(report.summary["sent"], planned);
}

class GatewayFleetTest : public GatewayStoreTest {
 protected:
  void SetUp() override {
    GatewayStoreTest::SetUp();
    if (IsSkipped()) return;
    m_strFolder = makeTempFolder("cvdt-fleet");
    m_strDb = storeLocation(m_strFolder + "/gateway.db");
  }
  void TearDown() override {
    if (!m_strFolder.empty()) std::filesystem::remove_all(m_strFolder);
  }
  std::unique_ptr<GatewayProcess> gateway(std::vector<std::string> extra = {}) {
    extra.insert(extra.end(), {"--db", m_strDb});
    return std::make_unique<GatewayProcess>(extra);
  }

  std::string m_strFolder;
  std::string m_strDb;
};

CVDT_STORES_OF(GatewayFleetTest);

// Two gateway processes, one of them with three event loops, on one database: every kind of
// report (commanded, automatic, deletions) is stored exactly once.
TEST_P(GatewayFleetTest, GatewaysAndEventLoopsSharingOneDatabaseStoreEachReportOnce) {
  auto first = gateway({"--workers", "3"});
  auto second = gateway();
  FleetReport report =
      runFleet({first->port(), second->port()}, m_strDb,
               {"--workstations", "400", "--reports", "2", "--concurrency", "12"});
  EXPECT_EQ(report.status, 0) << report.summary.dump();
  EXPECT_EQ(report.summary["errors"], 0);
  expectStoredExactlyOnce(report, 800);
  DbProbe db(m_strDb);
  EXPECT_EQ(db.count("n_equip_history") + db.count("a_equip_history") + db.count("n_equip_deleted"),
            800);
  EXPECT_GT(db.count("n_equip_deleted"), 0);
  EXPECT_TRUE(first->stop());
  EXPECT_TRUE(second->stop());
}

// A gateway dies by SIGKILL in the middle of a burst: its clients see errors, but no report it
// acknowledged is lost, and the other gateway goes on.
TEST_P(GatewayFleetTest, AGatewayKilledDuringABurstLosesNoAcknowledgedReport) {
  auto victim = gateway();
  auto survivor = gateway();
  std::thread killer([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    victim->killHard();
  });
  FleetReport report = runFleet({victim->port(), survivor->port()}, m_strDb,
                                {"--workstations", "4000", "--rate", "4000", "--concurrency",
                                 "16", "--reply-wait-ms", "5000", "--max-errors", "1000000"});
  killer.join();
  expectStoredExactlyOnce(report, 4000);
  EXPECT_GT(report.summary["errors"].get<int64_t>(), 0) << "the kill came after the burst";
  EXPECT_GT(report.summary["acknowledged"].get<int64_t>(), 1000);
}

// haproxy with the deploy folder's configuration in front of two gateways.
TEST_P(GatewayFleetTest, ABalancerSpreadsAFleetOverTwoGateways) {
  if (access(kHaproxy, X_OK) != 0) GTEST_SKIP() << "haproxy is not installed";
  auto first = gateway({"--max-per-address", "1024"});
  auto second = gateway({"--max-per-address", "1024"});
  int balancerPort = freePort();
  // The configuration reads its addresses from the environment, which the balancer inherits.
  setenv("CVDT_LB_BIND", ("127.0.0.1:" + std::to_string(balancerPort)).c_str(), 1);
  setenv("CVDT_GATEWAY1", ("127.0.0.1:" + std::to_string(first->port())).c_str(), 1);
  setenv("CVDT_GATEWAY2", ("127.0.0.1:" + std::to_string(second->port())).c_str(), 1);
  RunningProgram haproxy(
      {kHaproxy, "-db", "-f", CVDT_SOURCE_DIR "/deploy/haproxy-cvdt-gateway.cfg"});
  for (const char* name : {"CVDT_LB_BIND", "CVDT_GATEWAY1", "CVDT_GATEWAY2"}) unsetenv(name);
  ASSERT_TRUE(haproxy.started());
  // Ready once it answers a request.
  std::string reply;
  for (int i = 0; i < 100 && reply.rfind("C00440AOK", 0) != 0; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    reply = GatewayClient::call(balancerPort, requestText("SP_SV_ADT_PROD_BY_EQUIP_S1",
                                                          {"EQUIP_ID|#S|#E", "DT_ID|#S|#1"}));
  }
  EXPECT_EQ(reply, "C00440AOK|@");
  FleetReport report = runFleet({balancerPort}, m_strDb,
                                {"--workstations", "300", "--reports", "2", "--concurrency", "8"});
  EXPECT_EQ(report.status, 0) << report.summary.dump();
  expectStoredExactlyOnce(report, 600);
  haproxy.stop();
}

// The simulator refuses what it must never do: load a server that is not on this machine.
TEST(GatewayFleetOptionsTest, NonLoopbackGatewaysAreRefused) {
  for (const char* address : {"10.0.0.1:7221", "example.com:7221", "127.0.0.1:0"}) {
    CommandResult run = runProgram({CVDT_FLEET_PATH, "--gateway", address, "--duration", "1"});
    EXPECT_EQ(run.status, 2) << address << ": " << run.out << run.err;
    EXPECT_THAT(run.out, Not(HasSubstr("sent"))) << address;
  }
}

}  // namespace
}  // namespace cvdt::test
