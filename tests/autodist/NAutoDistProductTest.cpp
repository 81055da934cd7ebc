// The product targets of an item from the gateway, with replies the real gateway gives and
// those it never gives (empty, short rows, refusals) from a scripted peer on loopback. The
// real gateway's targets reach a pass in the pass tests; their scoping is the gateway's own.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/socket.h>

#include <deque>
#include <mutex>

#include "autodist/AutoDistTestAccess.h"
#include "net/NDBQuery.h"
#include "platform/NMisc.h"
#include "support/LoopbackServer.h"
#include "support/TestMachine.h"

namespace {

using Access = NAutoDistTestAccess;
using cvdt::test::TestMachine;

// Answers each connection with the next reply body of its list ("C00440AOK|@..." and the like)
// and keeps the requests it got.
class ScriptedGateway : public cvdt::test::LoopbackServer {
 public:
  explicit ScriptedGateway(std::deque<std::string> replies) : m_replies(std::move(replies)) {}
  ~ScriptedGateway() override { stop(); }
  std::vector<std::string> requests() {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_requests;
  }

 protected:
  static std::string frame(std::string body) {
    std::string bytes(4, '\0');
    for (int i = 0; i < 4; ++i) bytes[i] = static_cast<char>(body.size() >> (8 * i));
    bytes += body;
    NMisc::scramble(NDBQuery::kProtocolKey, reinterpret_cast<unsigned char*>(bytes.data()),
                    static_cast<int>(bytes.size()));
    return bytes;
  }
  static std::string receive(int fd) {
    unsigned char header[4];
    if (recv(fd, header, 4, MSG_WAITALL) != 4) return {};
    NMisc::unscramble(NDBQuery::kProtocolKey, header, 4);
    uint32_t length = header[0] | (header[1] << 8) | (header[2] << 16) | (header[3] << 24);
    std::string body(length, '\0');
    if (length == 0 || recv(fd, body.data(), length, MSG_WAITALL) != static_cast<ssize_t>(length))
      return {};
    NMisc::unscramble(NDBQuery::kProtocolKey, reinterpret_cast<unsigned char*>(body.data()),
                      static_cast<int>(length));
    return body;
  }
  void serve(int fd) override {
    std::string request = receive(fd);
    std::string reply;
    {
      std::lock_guard<std::mutex> lock(m_mutex);
      m_requests.push_back(request);
      if (!m_replies.empty()) {
        reply = m_replies.front();
        m_replies.pop_front();
      }
    }
    sendAll(fd, frame(reply));
  }

  std::deque<std::string> m_replies;
  std::mutex m_mutex;
  std::vector<std::string> m_requests;
};

TEST(NAutoDistProductTest, RowsFillTargetsAndOddRepliesKeepOrEmptyThem) {
  TestMachine machine;
  std::string longPolicy = "<polProduct>" + std::string(6000, 'p') + "</polProduct>";
  ScriptedGateway gateway({
      "C00440AOK|@12|#Viewer|#<polProduct/>|#3|#060|$13|#Other|#" + longPolicy + "|#0|#010|#x",
      "C00440AOK|@",                // no target: the array stays
      "C00440AERR|@refused",        // a refusal: false, the array stays
      "C00440AOK|@12|#Short|#|#3",  // four fields: false and no target left
  });
  ASSERT_TRUE(gateway.start());
  cvdt::test::setHostEnvironment(gateway.port());
  NAutoDist worker;
  ProductTargetList& targets = Access::targets(worker);

  ASSERT_TRUE(worker.initProduct(12));
  ASSERT_EQ(targets.iProd, 2);
  EXPECT_EQ(targets.pProd[0].iDist_id, 12);
  EXPECT_STREQ(targets.pProd[0].pcName, "Viewer");
  EXPECT_STREQ(targets.pProd[0].pcPolicy, "<polProduct/>");
  EXPECT_EQ(targets.pProd[0].iUpdate_id, 3);
  EXPECT_EQ(targets.pProd[0].bInstalled, 1u);
  EXPECT_EQ(targets.pProd[1].bInstalled, 0u);
  EXPECT_EQ(std::string(targets.pProd[1].pcPolicy), longPolicy.substr(0, 5119));
  EXPECT_EQ(gateway.requests().front(),
            "C00440ASP_SV_ADT_PROD_BY_EQUIP_S1|@2|@EQUIP_ID|#S|#EQ0000000001|$DT_ID|#S|#12");

  EXPECT_TRUE(worker.initProduct(12));
  EXPECT_EQ(targets.iProd, 2);
  EXPECT_FALSE(worker.initProduct(12));
  EXPECT_EQ(targets.iProd, 2);
  EXPECT_FALSE(worker.initProduct(12));
  EXPECT_EQ(targets.iProd, 0);

  int failed = 0;
  EXPECT_FALSE(worker.Check_ChangedProductInstall(failed, 0));  // nothing to examine
  EXPECT_EQ(failed, 0);
}

}  // namespace
