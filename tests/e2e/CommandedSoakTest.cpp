// Soak test of commanded distribution through the host agent and the loaded module: many small
// jobs posted in bursts, with duplicates, urgent cancels and manager stops, against the real
// gateway and a loopback HTTP server. Afterwards every posted job has a final result at the
// host, each job that ran or was dropped has exactly one row in the gateway's history and a
// refused duplicate none, and the agent holds no more threads than after it loaded the module
// and no more descriptors beyond those of the registry's connection cache.
// CVDT_SOAK_JOBS sets the number of jobs (default 60), CVDT_SOAK_SEED the workload's seed.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "SoakFixture.h"

namespace {

namespace fs = std::filesystem;
using cvdt::test::AgentLedger;
using cvdt::test::joined;

class CommandedSoakTest : public cvdt::test::SoakFixture {
 protected:
  // True when the agent runs no more threads than while the manager waited with nothing to do:
  // the worker of the last job has ended, so the manager has been told and a post now makes it
  // take the next queued job at once instead of at its next 2-second pass.
  bool workerGone() const { return agentThreads() <= m_nIdleThreads; }
  int agentThreads() const {
    std::error_code ec;
    int count = 0;
    for (fs::directory_iterator it("/proc/" + std::to_string(m_agent->pid()) + "/task", ec), end;
         !ec && it != end; it.increment(ec))
      ++count;
    return count;
  }

  // Bursts until every job is posted; after each, waits until a job that runs has ended and its
  // worker is gone (so the next burst's post starts a queued job at once) or at most one is
  // left, so the queue stays short and keeps moving.
  void runWorkload(int stops) {
    int nextStop = 1;
    while (left() > 0 && !HasFatalFailure()) {
      if (nextStop <= stops && static_cast<int>(m_jobs.size()) >= nextStop * m_nTarget / (stops + 1)) {
        ASSERT_NO_FATAL_FAILURE(stopAndRestart());
        ++nextStop;
        continue;
      }
      int before = settled();
      postBurst(left());
      maybeCancel();
      ASSERT_TRUE(waitUntil([&] {
        sendDueCancel();
        return (settled() > before && workerGone()) || outstanding() <= 1;
      })) << "no job ended; " << outstanding() << " waiting\n" << agentTail();
    }
  }

  int m_nIdleThreads = 0;  // the agent's threads while the manager waits idle
};

TEST_F(CommandedSoakTest, BurstsDuplicatesCancelsAndStopsLoseNoResultAndLeakNothing) {
  m_nTarget = cvdt::test::envNumber("CVDT_SOAK_JOBS", 60);
  const int stops = std::max(1, m_nTarget / 60);
  m_random.seed(static_cast<unsigned>(cvdt::test::envNumber("CVDT_SOAK_SEED", 20261206)));

  AgentLedger::Stats loaded = stats();
  ASSERT_GT(loaded.threads, 0);
  ASSERT_NO_FATAL_FAILURE(call("ndist-func", "cvfNDistFunc = 1"));
  m_nIdleThreads = agentThreads();
  ASSERT_NO_FATAL_FAILURE(runWorkload(stops));
  ASSERT_TRUE(waitUntil([&] { return outstanding() == 0; }))
      << outstanding() << " jobs never ended\n" << agentTail();
  ASSERT_NO_FATAL_FAILURE(call("ndist-stop", "cvfNDistFunc(stop) = 1"));
  AgentLedger::Stats stopped = stats();
  ASSERT_EQ(m_agent->finish(kStepDeadline), 0);
  pump();

  EXPECT_TRUE(m_ledger.otherLines().empty()) << joined(m_ledger.otherLines());
  checkCommandedResults();
  EXPECT_TRUE(m_gateway->logLines().empty()) << joined(m_gateway->logLines());
  checkNothingLeft(loaded, stopped);
  checkFlatAtStops(loaded);
}

}  // namespace
