// Many idle clients against the real gateway process: they cannot keep a request waiting, not
// through the descriptor limit, not through the connection cap, and one address cannot hold
// more than its share of connections.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <chrono>
#include <memory>
#include <vector>

#include "GatewayClient.h"
#include "GatewayProcess.h"
#include "GatewayStores.h"

namespace cvdt::test {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using Clients = std::vector<std::unique_ptr<GatewayClient>>;

std::string goodRequest(int dist) { return commandedRequest("EQ1", dist, "ok"); }

// Connections that send the first two bytes of a frame and then nothing: the gateway takes each
// at once and then waits for the rest until the frame deadline.
Clients openIdle(int port, int count) {
  Clients clients;
  std::string header = GatewayClient::header(100);
  for (int i = 0; i < count; ++i) {
    clients.push_back(std::make_unique<GatewayClient>(port));
    EXPECT_TRUE(clients.back()->connected() && clients.back()->sendBytes(header.substr(0, 2)));
  }
  return clients;
}

size_t linesWith(const std::vector<std::string>& lines, const std::string& text) {
  size_t count = 0;
  for (const std::string& line : lines) count += line.find(text) != std::string::npos;
  return count;
}

// Starts the gateway with a soft descriptor limit of `soft` (the hard limit unchanged).
std::unique_ptr<GatewayProcess> gatewayWithSoftLimit(rlim_t soft,
                                                     const std::vector<std::string>& args) {
  rlimit saved{};
  getrlimit(RLIMIT_NOFILE, &saved);
  rlimit lowered = saved;
  lowered.rlim_cur = std::min(soft, saved.rlim_max);
  setrlimit(RLIMIT_NOFILE, &lowered);
  auto gateway = std::make_unique<GatewayProcess>(args);
  setrlimit(RLIMIT_NOFILE, &saved);
  return gateway;
}

// Each case runs on SQLite and on PostgreSQL.
class GatewayFloodTest : public GatewayStoreTest {};

CVDT_STORES_OF(GatewayFloodTest);

TEST(GatewayDescriptorLimitTest, IdleClientsBeyondTheSoftDescriptorLimitDoNotDelayARequest) {
  rlimit limit{};
  ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &limit), 0);
  if (limit.rlim_max != RLIM_INFINITY && limit.rlim_max < 700) GTEST_SKIP() << "hard limit too low";
  // With a soft limit of 256 the gateway once ran out of descriptors and the request waited
  // until idle clients met their deadline (30 s here).
  auto gateway = gatewayWithSoftLimit(256, {"--frame-timeout-ms", "30000", "--max-per-address",
                                            "100000"});
  ASSERT_GT(gateway->port(), 0);
  Clients idle = openIdle(gateway->port(), 300);
  auto start = Clock::now();
  EXPECT_EQ(GatewayClient::call(gateway->port(), goodRequest(5)), "C00440AOK|@1");
  EXPECT_LT(Clock::now() - start, 3s);
  for (const auto& client : idle) EXPECT_FALSE(client->closedNow());
  EXPECT_EQ(DbProbe(gateway->dbPath()).count("n_equip_history"), 1);
}

TEST_P(GatewayFloodTest, AtTheConnectionCapTheOldestIdleConnectionsMakeRoom) {
  GatewayProcess gateway(storeArgs(
      {"--max-connections", "50", "--frame-timeout-ms", "30000", "--max-per-address", "1000"}));
  Clients idle = openIdle(gateway.port(), 80);
  auto start = Clock::now();
  EXPECT_EQ(GatewayClient::call(gateway.port(), goodRequest(6)), "C00440AOK|@1");
  EXPECT_LT(Clock::now() - start, 3s);
  // 30 made room for the later idle ones and one for the request: the oldest 31.
  for (size_t i = 0; i < 31; ++i) EXPECT_TRUE(idle[i]->waitClosed(2s)) << i;
  for (size_t i = 31; i < idle.size(); ++i) EXPECT_FALSE(idle[i]->closedNow()) << i;
  EXPECT_EQ(linesWith(gateway.logLines(), "connection cap of 50 reached, the oldest idle "
                                          "connection closed"), 31u);
}

TEST_P(GatewayFloodTest, OneAddressHoldsAtMostItsShareOfConnections) {
  GatewayProcess gateway(storeArgs({"--max-per-address", "3", "--frame-timeout-ms", "30000"}));
  Clients idle = openIdle(gateway.port(), 3);
  GatewayClient refused(gateway.port());
  ASSERT_TRUE(refused.sendBytes(GatewayClient::frame(goodRequest(7))));
  EXPECT_FALSE(refused.readReply(5s).has_value());
  EXPECT_EQ(linesWith(gateway.logLines(), "refused: 3 connections from this address are open "
                                          "already"), 1u);
  EXPECT_FALSE(idle[1]->closedNow());

  // Once one of them has gone, the address may connect again.
  idle[0].reset();
  std::string reply;
  for (auto deadline = Clock::now() + 5s; Clock::now() < deadline && reply != "C00440AOK|@1";) {
    reply = GatewayClient::call(gateway.port(), goodRequest(8));
  }
  EXPECT_EQ(reply, "C00440AOK|@1");
  EXPECT_EQ(DbProbe(gateway.dbPath()).rows("SELECT dist_id FROM n_equip_history"),
            std::vector<std::string>{"8"});
}

}  // namespace
}  // namespace cvdt::test
