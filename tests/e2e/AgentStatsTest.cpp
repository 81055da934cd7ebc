// The agent's descriptor count (`stats`), as the soak test reads it: it is taken between two
// sweeps of the result folder by the reporting thread, never in the middle of one.
#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <thread>

#include "AgentLedger.h"
#include "AgentProcess.h"
#include "gateway/GatewayProcess.h"
#include "support/TestMachine.h"

using ::testing::HasSubstr;
using ::testing::Not;

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using cvdt::test::AgentLedger;

constexpr auto kDeadline = 60s;

// The kernel function each thread of the process sleeps in (/proc/PID/task/TID/wchan).
std::vector<std::pair<int, std::string>> sleepingIn(pid_t pid) {
  std::vector<std::pair<int, std::string>> threads;
  std::error_code ec;
  for (fs::directory_iterator it("/proc/" + std::to_string(pid) + "/task", ec), end; !ec && it != end;
       it.increment(ec)) {
    std::ifstream wchan(it->path() / "wchan");
    std::string name;
    std::getline(wchan, name);
    threads.emplace_back(std::stoi(it->path().filename().string()), name);
  }
  return threads;
}

bool eventually(const std::function<bool()>& done) {
  auto end = std::chrono::steady_clock::now() + kDeadline;
  while (!done()) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(5ms);
  }
  return true;
}

// A named pipe named as a result file holds the reporting thread inside its sweep (opening the
// pipe waits for a writer). A stats line asked for then waits, its thread blocked on the sweep's
// lock, and comes once the pipe is opened and the sweep has ended, with the count it had before:
// nothing of the sweep is counted.
TEST(AgentStatsTest, StatsWaitsForTheResultFolderSweepInProgress) {
  cvdt::test::TestMachine machine;
  cvdt::test::GatewayProcess gateway;
  ASSERT_NE(gateway.port(), 0);
  cvdt::test::AgentProcess agent(
      {"--gateway", "127.0.0.1:" + std::to_string(gateway.port()), "--ft-port", "80"});
  AgentLedger ledger;
  size_t seen = 0;
  // Takes the agent's lines until it has printed count stats lines; false at the deadline.
  auto statsShown = [&](size_t count) {
    return eventually([&] {
             for (const std::string& line : agent.linesFrom(seen)) {
               ledger.consume(line);
               ++seen;
             }
             return ledger.stats().size() >= count || agent.outputEnded();
           }) &&
           ledger.stats().size() >= count;
  };
  agent.send("stats");
  ASSERT_TRUE(statsShown(1));
  AgentLedger::Stats before = ledger.stats().back();

  // A complete result file's name: "M01_", unit key, date-time and id.
  std::string pipe = machine.host(machine.config().agentFolder + "\\dataV2") +
                     "/M01_EQ0000000001_20261206090000_000000000001";
  ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0) << pipe;
  auto sweepHeld = [&] {
    for (const auto& [tid, function] : sleepingIn(agent.pid()))
      if (function == "wait_for_partner") return true;
    return false;
  };
  ASSERT_TRUE(eventually(sweepHeld)) << "the reporting thread never opened the pipe";

  agent.send("stats");
  // The command thread (the process's first) waits for the sweep's lock.
  ASSERT_TRUE(eventually([&] {
    for (const auto& [tid, function] : sleepingIn(agent.pid()))
      if (tid == agent.pid()) return function.find("futex") != std::string::npos;
    return false;
  })) << "stats did not wait for the sweep";
  statsShown(0);
  EXPECT_EQ(ledger.stats().size(), 1u) << "stats was taken in the middle of a sweep";
  EXPECT_TRUE(sweepHeld());

  int writer = open(pipe.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);  // a reader waits: no block
  ASSERT_GE(writer, 0);
  ASSERT_TRUE(statsShown(2));
  AgentLedger::Stats during = ledger.stats().back();
  EXPECT_EQ(during.fds, before.fds);
  for (const AgentLedger::Descriptor& descriptor : during.descriptors)
    EXPECT_THAT(descriptor.target, Not(HasSubstr("dataV2")));
  fs::remove(pipe);
  close(writer);
  EXPECT_EQ(agent.finish(kDeadline), 0);
}

}  // namespace
