// SoakFixture: what the soak tests share. A machine, the real gateway, a loopback HTTP server
// and `cvdt-host agent` driven line by line; the commanded workload (ten small distributions
// posted in bursts, with duplicates, urgent cancels and manager stops) with its checks; and the
// accounting of the agent's threads and descriptors between loading the module and the end.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <random>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "AgentLedger.h"
#include "AgentProcess.h"
#include "gateway/GatewayProcess.h"
#include "support/LoopbackHttpServer.h"
#include "support/TestMachine.h"

namespace cvdt::test {

// The value of a positive numeric environment variable, else fallback.
int envNumber(const char* name, int fallback);
// size bytes of seeded noise, which does not compress.
std::string noise(size_t size, unsigned seed);
// Packs the folder src as commanded distribution id (cvdt-pack normal) below root with the
// extra options; the contents text it printed, "" when none.
std::string packNormal(int id, const std::string& name, const std::string& src,
                       const std::string& root, const std::string& options);
// Each line followed by a line break, for failure messages.
std::string joined(const std::vector<std::string>& lines);

class SoakFixture : public testing::Test {
 protected:
  struct Job {
    uint32_t cmdId;
    int distId;
  };
  // One row of the gateway's automatic history.
  struct AutoReport {
    int64_t historyId;
    int distId;
    std::string status;
  };

  // The deadline of each awaited step: generous, so sanitizer builds on a busy machine pass
  // too; a healthy run never waits for it.
  static constexpr std::chrono::milliseconds kStepDeadline = std::chrono::seconds(120);
  static constexpr int kFirstDist = 61;  // commanded distributions 61..70
  static constexpr int kDists = 10;

  // Packs the commanded distributions and whatever addPackages adds below the same server
  // root, then starts the machine, the gateway, the HTTP server and the agent.
  void SetUp() override;
  // The agent ends first, so that nothing it uses goes away under it.
  void TearDown() override;
  // More packages below the server root, before it is served.
  virtual void addPackages(const std::string& root) { (void)root; }
  // Whether the server sends this file (path below the root, "/"-led) a little at a time.
  virtual bool servedSlowly(const std::string& path) const;
  // Serves every file below root, those servedSlowly names a little at a time.
  void serveRoot(LoopbackHttpServer& server, const std::string& root) const;

  // Takes every line the agent printed and every history row the gateway wrote since the last
  // call.
  void pump();
  // Waits until done() holds, pumping as lines come and every 25 ms; false at the deadline or
  // when the agent's output has ended.
  bool waitUntil(const std::function<bool()>& done,
                 std::chrono::milliseconds deadline = kStepDeadline);
  // Sends an export call and waits until the agent has printed its return value.
  void call(const std::string& command, const std::string& printed);
  AgentLedger::Stats stats();
  // The agent's last lines for failure messages: from a sanitizer's report when it printed
  // one, else the last 40.
  std::string agentTail() const;

  // The commanded workload.
  int outstanding() const;
  int settled() const;
  void post(int distId);
  void postBurst(int limit);
  void maybeCancel();
  // Sends the cancel that maybeCancel holds once its job has shown a result; waits call it.
  void sendDueCancel();
  // Stops the commanded manager and starts it again; the agent's figures at each stop are kept.
  void stopAndRestart();
  int left() const { return m_nTarget - static_cast<int>(m_jobs.size()); }
  // Every job has its final result once, and one history row when it ran or was dropped.
  void checkCommandedResults() const;
  // The agent ends with no more threads than after loading, and no more descriptors beyond
  // the registry's connection cache; prints the figures.
  void checkNothingLeft(const AgentLedger::Stats& loaded, const AgentLedger::Stats& stopped) const;
  // At every commanded manager stop on the way, with no job running, the descriptors were as
  // flat as at the end (only for a soak without automatic passes, which hold their own).
  void checkFlatAtStops(const AgentLedger::Stats& loaded) const;

  std::string m_base;
  std::unique_ptr<TestMachine> m_machine;
  std::unique_ptr<GatewayProcess> m_gateway;
  std::unique_ptr<DbProbe> m_db;  // the gateway's database, read as it fills
  std::unique_ptr<LoopbackHttpServer> m_server;
  std::unique_ptr<AgentProcess> m_agent;
  AgentLedger m_ledger;
  std::vector<AutoReport> m_vecAutoReports;  // automatic history rows, in order
  std::mt19937 m_random;
  int m_nTarget = 0;  // commanded jobs to post
  std::vector<Job> m_jobs;

 private:
  std::set<int> busyDists();
  // Moves past the jobs at the front that are over for good, so that scans start after them.
  void advanceClosed();
  void checkHostResults() const;
  void checkDatabase() const;

  std::map<int, std::string> m_contents;
  size_t m_nLinesSeen = 0;
  int64_t m_nLastRow = 0;            // the last commanded history row taken
  int64_t m_nLastAutoRow = 0;        // the last automatic history row taken
  std::map<uint32_t, int> m_mapRows;  // commanded history rows by command id
  std::set<uint32_t> m_endedBefore;   // jobs that had ended at the last burst
  size_t m_nClosed = 0;               // leading jobs that are over for good
  int m_nClosedSettled = 0;           // of those, the ones that ran or were dropped
  Job m_pendingCancel{0, 0};          // a cancel held until its job has started
  std::vector<std::pair<size_t, AgentLedger::Stats>> m_vecAtStops;  // jobs posted, stats then
  uint32_t m_nNextCancelId = 900000;
};

}  // namespace cvdt::test
