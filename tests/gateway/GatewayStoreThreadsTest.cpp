// The event loop never waits for the database: a report held up by a lock leaves the gateway
// answering others, a stop answers the reports still in the store before the gateway exits, and
// a report whose deadline passes in the store is closed unanswered and stored at most once.
// On PostgreSQL, whose row and table locks let one report wait while others go on.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <thread>

#include "GatewayClient.h"
#include "GatewayProcess.h"
#include "GatewayStores.h"

namespace cvdt::test {
namespace {

std::string automaticReport(const std::string& equip) {
  return requestText(
      "SP_SV_DT_TDT_A_EQUIP_U",
      {"EQUIP_ID|#S|#" + equip, "DIST_ID|#I|#12", "UPDATE_ID|#I|#1", "STATUS|#S|#060",
       "STATUS_DETAIL|#S|#", "PROC_TIME|#I|#3", "DIST_SERVER_IP|#S|#"});
}

// A transaction of the test's own that keeps every commanded report waiting (it locks the
// history table against writes) until release().
class HistoryLock {
 public:
  explicit HistoryLock(const std::string& location) : m_db(location), m_probe(location) {
    m_bHeld = m_db.exec("BEGIN; LOCK TABLE n_equip_history IN EXCLUSIVE MODE");
  }
  bool held() const { return m_bHeld; }
  void release() {
    if (m_bHeld) m_db.exec("COMMIT");
    m_bHeld = false;
  }
  // Waits until a commanded report waits for this lock; false after 30 s. (The server's
  // activity view is read as of the start of a transaction, so each look is a transaction of
  // its own, on a connection outside the lock's.)
  bool reportWaiting() const {
    for (int i = 0; i < 300; ++i) {
      if (i > 0) std::this_thread::sleep_for(std::chrono::milliseconds(100));
      if (m_probe.rows("SELECT count(*) FROM pg_stat_activity WHERE wait_event_type = 'Lock'"
                       " AND query LIKE 'INSERT INTO n_equip_history%'") !=
          std::vector<std::string>{"0"})
        return true;
    }
    return false;
  }

 private:
  DbProbe m_db;
  DbProbe m_probe;
  bool m_bHeld = false;
};

class GatewayStoreThreadsTest : public testing::Test {
 protected:
  void SetUp() override {
    std::optional<std::vector<std::string>> args = freshStoreArgs(StoreKind::Postgres);
    if (!args) GTEST_SKIP() << postgresSkipReason();
    m_storeArgs = *args;
  }
  // Starts the gateway on PostgreSQL, takes the history lock and sends a commanded report of
  // equip that waits for it; false when that failed.
  bool holdReport(const std::string& equip, std::vector<std::string> extra = {}) {
    extra.insert(extra.begin(), m_storeArgs.begin(), m_storeArgs.end());
    m_pGateway = std::make_unique<GatewayProcess>(extra);
    m_pLock = std::make_unique<HistoryLock>(m_pGateway->dbPath());
    EXPECT_TRUE(m_pLock->held());
    m_pWaiting = std::make_unique<GatewayClient>(m_pGateway->port());
    EXPECT_TRUE(m_pWaiting->sendBytes(GatewayClient::frame(commandedRequest(equip, 5))));
    bool waiting = m_pLock->held() && m_pLock->reportWaiting();
    EXPECT_TRUE(waiting) << "the report never waited for the lock";
    return waiting;
  }
  int64_t stored(const std::string& equip) {
    return static_cast<int64_t>(DbProbe(m_pGateway->dbPath())
                                    .rows("SELECT history_id FROM n_equip_history WHERE equip_id"
                                          " = '" +
                                          equip + "'")
                                    .size());
  }

  std::vector<std::string> m_storeArgs;
  std::unique_ptr<GatewayProcess> m_pGateway;
  std::unique_ptr<HistoryLock> m_pLock;
  std::unique_ptr<GatewayClient> m_pWaiting;
};

TEST_F(GatewayStoreThreadsTest, AReportWaitingForALockDoesNotHoldUpOtherReports) {
  if (!holdReport("EQ-WAIT")) return;
  // Other requests are answered meanwhile: automatic reports, and refusals.
  for (int i = 0; i < 5; ++i) {
    EXPECT_EQ(GatewayClient::call(m_pGateway->port(), automaticReport("EQ" + std::to_string(i))),
              "C00440AOK|@1");
  }
  EXPECT_EQ(GatewayClient::call(m_pGateway->port(), requestText("SP_NONE", {"A|#S|#x"})),
            "C00440AERR|@unknown procedure SP_NONE");
  EXPECT_FALSE(m_pWaiting->closedNow());
  m_pLock->release();
  EXPECT_EQ(m_pWaiting->readReply(std::chrono::seconds(30)), "C00440AOK|@1");
  EXPECT_EQ(stored("EQ-WAIT"), 1);
  EXPECT_EQ(DbProbe(m_pGateway->dbPath()).count("a_equip_history"), 5);
}

TEST_F(GatewayStoreThreadsTest, AStopAnswersTheReportsInTheStoreBeforeTheGatewayExits) {
  if (!holdReport("EQ-STOP")) return;
  GatewayClient sending(m_pGateway->port());  // half a length field, the rest never comes
  ASSERT_TRUE(sending.sendBytes(GatewayClient::header(100).substr(0, 2)));
  std::future<bool> stopped = std::async(std::launch::async, [&] { return m_pGateway->stop(); });
  // Whether or not the gateway has seen SIGTERM by now, the report must be answered.
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  m_pLock->release();
  EXPECT_EQ(m_pWaiting->readReply(std::chrono::seconds(30)), "C00440AOK|@1");
  EXPECT_TRUE(stopped.get()) << "the gateway did not exit with 0 within its stop wait";
  EXPECT_TRUE(sending.waitClosed());
  EXPECT_EQ(stored("EQ-STOP"), 1);
}

TEST_F(GatewayStoreThreadsTest, AReportPastItsDeadlineInTheStoreIsClosedAndStoredAtMostOnce) {
  if (!holdReport("EQ-LATE", {"--frame-timeout-ms", "1500"})) return;
  EXPECT_TRUE(m_pWaiting->waitClosed(std::chrono::seconds(30)));
  std::vector<std::string> log = m_pGateway->logLines();
  ASSERT_EQ(log.size(), 1u);
  EXPECT_THAT(log[0], ::testing::HasSubstr("no answer from the database within 1500 ms, closed"));
  m_pLock->release();
  // The transaction was under way: it ends as it would have, unanswered, and the next report
  // of the gateway is served as usual.
  EXPECT_EQ(GatewayClient::call(m_pGateway->port(), commandedRequest("EQ-NEXT", 5)),
            "C00440AOK|@1");
  EXPECT_LE(stored("EQ-LATE"), 1);
  EXPECT_EQ(stored("EQ-NEXT"), 1);
}

}  // namespace
}  // namespace cvdt::test
