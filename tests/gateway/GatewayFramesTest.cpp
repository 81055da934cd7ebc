// Frame-level faults, deadlines and concurrent clients, against the real
// gateway process.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "GatewayClient.h"
#include "GatewayProcess.h"
#include "GatewayStores.h"

using ::testing::HasSubstr;

namespace cvdt::test {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

std::string goodRequest(int dist) { return commandedRequest("EQ1", dist, "ok"); }

// No reply at all, or an error reply.
bool notSuccess(const std::optional<std::string>& reply) {
  return !reply || reply->rfind("C00440AERR|@", 0) == 0;
}

// Each case runs on SQLite and on PostgreSQL.
class GatewayFramesTest : public GatewayStoreTest {};

CVDT_STORES_OF(GatewayFramesTest);

// Length fields outside the request limits, garbage and frames the client cuts short: each is
// refused or dropped with one log line, none writes, and the gateway still serves.
TEST_P(GatewayFramesTest, BadFramesAreRefusedOrDroppedAndWriteNothing) {
  GatewayProcess gateway(storeArgs());
  const uint32_t lengths[] = {0, 0x10001, 0xFFFFFFFF};
  for (uint32_t length : lengths) {
    GatewayClient client(gateway.port());
    ASSERT_TRUE(client.sendBytes(GatewayClient::header(length)));
    // Either an error reply or a plain close; never a success.
    std::optional<std::string> reply = client.readReply();
    EXPECT_TRUE(notSuccess(reply)) << length << ": " << reply.value_or("");
    EXPECT_TRUE(client.waitClosed()) << length;
  }
  // A body of exactly 64 KiB is still a frame (refused here only for its content: the last
  // parameter's value is no longer a number).
  std::string longest = goodRequest(5);
  longest.resize(0x10000, 'x');
  EXPECT_EQ(GatewayClient::call(gateway.port(), longest).rfind("C00440AERR|@", 0), 0u);
  EXPECT_EQ(gateway.logLines().size(), std::size(lengths) + 1);
  // The refusal names the real limit.
  EXPECT_THAT(gateway.logLines()[1],
              HasSubstr("frame of 65537 bytes exceeds the limit of 65536 bytes"));

  const std::vector<std::string> blobs = {"GET / HTTP/1.0\r\n\r\n",
                                          GatewayClient::frame("garbage that is no request")};
  for (const std::string& blob : blobs) {
    GatewayClient client(gateway.port());
    ASSERT_TRUE(client.sendBytes(blob));
    client.finishSending();
    std::optional<std::string> reply = client.readReply();
    EXPECT_TRUE(notSuccess(reply)) << reply.value_or("");
  }
  const size_t beforeCuts = std::size(lengths) + 1 + blobs.size();
  EXPECT_EQ(gateway.logLines().size(), beforeCuts);

  std::string frame = GatewayClient::frame(goodRequest(5));
  const size_t cuts[] = {0, 2, 4, 40, frame.size() - 1};
  for (size_t cut : cuts) {
    GatewayClient client(gateway.port());
    ASSERT_TRUE(client.sendBytes(frame.substr(0, cut)));
    client.finishSending();
    EXPECT_TRUE(client.waitClosed()) << cut;
  }
  std::vector<std::string> lines = gateway.logLines();
  ASSERT_EQ(lines.size(), beforeCuts + std::size(cuts));
  EXPECT_THAT(lines[beforeCuts], HasSubstr("before a frame"));
  EXPECT_THAT(lines[beforeCuts + 1], HasSubstr("after 2 of 4 length bytes"));
  EXPECT_THAT(lines[beforeCuts + 3], HasSubstr("after 36 of"));
  EXPECT_EQ(DbProbe(gateway.dbPath()).totalRows(), 0);
  EXPECT_EQ(GatewayClient::call(gateway.port(), goodRequest(5)), "C00440AOK|@1");
}

TEST_P(GatewayFramesTest, AStalledClientIsClosedAtItsDeadlineWhileOthersAreServed) {
  GatewayProcess gateway(storeArgs({"--frame-timeout-ms", "400"}));
  std::string frame = GatewayClient::frame(goodRequest(5));
  auto start = Clock::now();
  GatewayClient stalled(gateway.port());
  ASSERT_TRUE(stalled.sendBytes(frame.substr(0, frame.size() / 2)));
  EXPECT_EQ(GatewayClient::call(gateway.port(), goodRequest(6)), "C00440AOK|@1");
  EXPECT_FALSE(stalled.closedNow());

  EXPECT_TRUE(stalled.waitClosed(5s));
  EXPECT_GE(Clock::now() - start, 400ms);
  ASSERT_EQ(gateway.logLines().size(), 1u);
  EXPECT_THAT(gateway.logLines()[0], HasSubstr("no complete frame within 400 ms"));
  EXPECT_EQ(DbProbe(gateway.dbPath()).rows("SELECT dist_id FROM n_equip_history"),
            std::vector<std::string>{"6"});
}

}  // namespace
}  // namespace cvdt::test
