// The agent's descriptor count (`stats`), as the soak test reads it: it is taken between two
// sweeps of the result folder by the reporting thread, never in the middle of one, while a
// descriptor that something really holds open is counted and named.
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

#include "SoakFixture.h"
#include "gateway/GatewayProcess.h"
#include "support/CommandOutput.h"
#include "support/LoopbackHttpServer.h"
#include "support/TestMachine.h"

using ::testing::HasSubstr;
using ::testing::Not;

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using cvdt::test::AgentLedger;
using cvdt::test::AgentProcess;

constexpr auto kDeadline = 60s;
// A complete result file's name: "M01_", unit key, date-time and id.
constexpr const char* kResultName = "M01_EQ0000000001_20261206090000_000000000001";

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

class AgentStatsTest : public testing::Test {
 protected:
  void SetUp() override {
    m_base = cvdt::test::makeTempFolder("cvdt-agent-stats");
    m_machine = std::make_unique<cvdt::test::TestMachine>();
    m_gateway = std::make_unique<cvdt::test::GatewayProcess>();
    ASSERT_NE(m_gateway->port(), 0);
  }
  void TearDown() override {
    m_agent.reset();
    m_server.reset();
    m_gateway.reset();
    m_machine.reset();
    fs::remove_all(m_base);
  }
  void startAgent(int ftPort) {
    m_agent = std::make_unique<AgentProcess>(std::vector<std::string>{
        "--gateway", "127.0.0.1:" + std::to_string(m_gateway->port()), "--ft-port", std::to_string(ftPort)});
  }
  void pump() {
    for (const std::string& line : m_agent->linesFrom(m_nSeen)) {
      m_ledger.consume(line);
      ++m_nSeen;
    }
  }
  bool waitFor(const std::function<bool()>& done) {
    return eventually([&] {
      pump();
      return done() || m_agent->outputEnded();
    }) && done();
  }
  AgentLedger::Stats stats() {
    size_t before = m_ledger.stats().size();
    m_agent->send("stats");
    EXPECT_TRUE(waitFor([&] { return m_ledger.stats().size() > before; }));
    return m_ledger.stats().empty() ? AgentLedger::Stats{} : m_ledger.stats().back();
  }
  std::string resultFolder() const {
    return m_machine->host(m_machine->config().agentFolder + "\\dataV2");
  }

  std::string m_base;
  std::unique_ptr<cvdt::test::TestMachine> m_machine;
  std::unique_ptr<cvdt::test::GatewayProcess> m_gateway;
  std::unique_ptr<cvdt::test::LoopbackHttpServer> m_server;
  std::unique_ptr<AgentProcess> m_agent;
  AgentLedger m_ledger;
  size_t m_nSeen = 0;
};

// A named pipe named as a result file holds the reporting thread inside its sweep (opening the
// pipe waits for a writer). A stats line asked for then waits, its thread blocked on the sweep's
// lock, and comes once the pipe is opened and the sweep has ended, with the count it had before:
// nothing of the sweep is counted.
TEST_F(AgentStatsTest, StatsWaitsForTheResultFolderSweepInProgress) {
  startAgent(80);
  AgentLedger::Stats before = stats();
  ASSERT_GT(before.fds, 0);

  std::string pipe = resultFolder() + "/" + kResultName;
  ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0) << pipe;
  auto sweepHeld = [&] {
    for (const auto& [tid, function] : sleepingIn(m_agent->pid()))
      if (function == "wait_for_partner") return true;
    return false;
  };
  ASSERT_TRUE(eventually(sweepHeld)) << "the reporting thread never opened the pipe";

  size_t shown = m_ledger.stats().size();
  m_agent->send("stats");
  // The command thread (the process's first) waits for the sweep's lock.
  ASSERT_TRUE(eventually([&] {
    for (const auto& [tid, function] : sleepingIn(m_agent->pid()))
      if (tid == m_agent->pid()) return function.find("futex") != std::string::npos;
    return false;
  })) << "stats did not wait for the sweep";
  pump();
  EXPECT_EQ(m_ledger.stats().size(), shown) << "stats was taken in the middle of a sweep";
  EXPECT_TRUE(sweepHeld());

  int writer = open(pipe.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);  // a reader waits: no block
  ASSERT_GE(writer, 0);
  ASSERT_TRUE(waitFor([&] { return m_ledger.stats().size() > shown; }));
  AgentLedger::Stats during = m_ledger.stats().back();
  EXPECT_EQ(during.fds, before.fds);
  for (const AgentLedger::Descriptor& descriptor : during.descriptors)
    EXPECT_THAT(descriptor.target, Not(HasSubstr("dataV2")));
  fs::remove(pipe);
  close(writer);
  EXPECT_EQ(m_agent->finish(kDeadline), 0);
}

// A job held in the middle of a part (the server stalls it) really holds the part's temporary
// file and its connection: stats counts and names them. Cancelled, the job lets them go.
TEST_F(AgentStatsTest, DescriptorsReallyHeldOpenAreCountedAndNamed) {
  std::string src = m_base + "/src";
  fs::create_directories(src);
  std::ofstream(src + "/data.bin", std::ios::binary) << cvdt::test::noise(200000, 7);
  std::string contents =
      cvdt::test::packNormal(12, "Held", src, m_base + "/root", "--part-size 65536");
  ASSERT_FALSE(contents.empty());
  m_server = std::make_unique<cvdt::test::LoopbackHttpServer>();
  for (const auto& entry : fs::recursive_directory_iterator(m_base + "/root")) {
    if (!entry.is_regular_file()) continue;
    std::string path = "/" + fs::relative(entry.path(), m_base + "/root").string();
    bool held = entry.path().filename() == "12.lgz";
    m_server->addFile(path, cvdt::test::ServedFile::fromDisk(
                                entry.path().string(), held ? cvdt::test::ServedFile::Fault::Stall
                                                            : cvdt::test::ServedFile::Fault::None));
  }
  ASSERT_TRUE(m_server->start());
  startAgent(m_server->port());
  m_agent->send("ndist-func");
  AgentLedger::Stats idle = stats();

  m_agent->send("ndist-cmd 701 \"" + contents + "\"");
  uint64_t index = fs::file_size(m_base + "/root/Corvane/dist/normal/12.idx.lgz");
  ASSERT_TRUE(m_server->waitForBytesSent(index + 65536 / 2, kDeadline));
  AgentLedger::Stats held = stats();
  bool partial = false;
  bool socket = false;
  for (const AgentLedger::Descriptor& descriptor : held.descriptors) {
    partial = partial || descriptor.target.find(".cvftc-") != std::string::npos;
    socket = socket || descriptor.target.rfind("socket:", 0) == 0;
  }
  EXPECT_TRUE(partial) << "the part's temporary file is not listed";
  EXPECT_TRUE(socket);
  EXPECT_GE(held.fds, idle.fds + 2);

  m_agent->send("ndist-cancel 702 12");
  ASSERT_TRUE(waitFor([&] { return m_ledger.hasFinal(701); }));
  AgentLedger::Stats after = stats();
  for (const AgentLedger::Descriptor& descriptor : after.descriptors)
    EXPECT_THAT(descriptor.target, Not(HasSubstr(".cvftc-")));
  m_agent->send("ndist-stop");
  EXPECT_EQ(m_agent->finish(kDeadline), 0);
}

}  // namespace
