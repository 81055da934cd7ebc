// Soak test of commanded distribution through the host agent and the loaded module: many small
// jobs posted in bursts, with duplicates, urgent cancels and manager stops, against the real
// gateway and a loopback HTTP server. Afterwards every posted job has a final result at the
// host, each job that ran or was dropped has exactly one row in the gateway's history and a
// refused duplicate none, and the agent holds no more threads than after it loaded the module
// and no more descriptors beyond those of the registry's connection cache.
// CVDT_SOAK_JOBS sets the number of jobs (default 60), CVDT_SOAK_SEED the workload's seed.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <map>
#include <memory>
#include <random>
#include <set>

#include "AgentLedger.h"
#include "AgentProcess.h"
#include "gateway/GatewayProcess.h"
#include "support/CommandOutput.h"
#include "support/LoopbackHttpServer.h"
#include "support/TestMachine.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using cvdt::test::AgentLedger;
using cvdt::test::AgentProcess;

// Distributions 61..70: 61 runs a batch file, 62 imports a registry file, and 69 and 70 come
// slowly, so that cancels and stops meet transfers in progress.
constexpr int kFirstDist = 61;
constexpr int kDists = 10;
constexpr int kFirstSlowDist = 69;
constexpr uint32_t kFirstJobId = 10000;
constexpr uint32_t kFirstCancelId = 900000;
// The deadline of each awaited step: generous, so sanitizer builds pass too; a healthy run
// never waits for it.
constexpr std::chrono::milliseconds kStepDeadline = 120s;

int envNumber(const char* name, int fallback) {
  const char* text = std::getenv(name);
  return text != nullptr && std::atoi(text) > 0 ? std::atoi(text) : fallback;
}

std::string packOne(const std::string& base, int id) {
  std::string src = base + "/src" + std::to_string(id);
  fs::create_directories(src);
  std::ofstream(src + "/readme.txt") << "package " << id << "\n";
  std::mt19937 random(static_cast<unsigned>(id));
  std::string noise(id >= kFirstSlowDist ? 96 * 1024 : 20 * 1024, '\0');
  for (char& c : noise) c = static_cast<char>(random());
  std::ofstream(src + "/payload.bin", std::ios::binary) << noise;
  std::string options;
  if (id == kFirstDist) {
    std::ofstream(src + "/install.bat") << "echo installed > \"$(dirname \"$0\")/ran.txt\"\nexit 0\n";
    options = " --exec install.bat";
  } else if (id == kFirstDist + 1) {
    std::ofstream(src + "/settings.reg")
        << "Windows Registry Editor Version 5.00\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Soak]\r\n"
           "\"Installed\"=\"yes\"\r\n";
    options = " --reg-file settings.reg";
  }
  std::string output = cvdt::test::commandOutput(
      std::string(CVDT_PACK_PATH) + " normal --id " + std::to_string(id) + " --name Soak" +
      std::to_string(id) + " --src " + src + " --out " + base + "/root --part-size 32K" + options);
  size_t at = output.find("contents=");
  return at == std::string::npos ? "" : output.substr(at + 9, output.find('\n', at) - at - 9);
}

// Slow distributions send their index and parts a little at a time.
void serveRoot(cvdt::test::LoopbackHttpServer& server, const std::string& root) {
  for (const auto& entry : fs::recursive_directory_iterator(root)) {
    if (!entry.is_regular_file()) continue;
    std::string path = "/" + fs::relative(entry.path(), root).string();
    bool slow = false;
    for (int id = kFirstSlowDist; id < kFirstDist + kDists; ++id)
      slow = slow || path.find("/" + std::to_string(id) + ".") != std::string::npos;
    auto file = cvdt::test::ServedFile::fromDisk(
        entry.path().string(),
        slow ? cvdt::test::ServedFile::Fault::Slow : cvdt::test::ServedFile::Fault::None);
    file.slowChunk = path.find(".idx.") != std::string::npos ? 32 : 8 * 1024;
    file.slowPauseMs = 40;
    server.addFile(path, file);
  }
}

class CommandedSoakTest : public testing::Test {
 protected:
  struct Job {
    uint32_t cmdId;
    int distId;
  };

  // The packages, the machine, the gateway, the HTTP server and the agent.
  void SetUp() override {
    m_base = cvdt::test::makeTempFolder("cvdt-soak");
    fs::create_directories(m_base + "/root");
    for (int id = kFirstDist; id < kFirstDist + kDists; ++id) {
      m_contents[id] = packOne(m_base, id);
      ASSERT_FALSE(m_contents[id].empty()) << "cannot pack distribution " << id;
    }
    m_machine = std::make_unique<cvdt::test::TestMachine>();
    m_gateway = std::make_unique<cvdt::test::GatewayProcess>();
    ASSERT_NE(m_gateway->port(), 0);
    m_db = std::make_unique<cvdt::test::DbProbe>(m_gateway->dbPath());
    m_server = std::make_unique<cvdt::test::LoopbackHttpServer>();
    serveRoot(*m_server, m_base + "/root");
    ASSERT_TRUE(m_server->start());
    suppressTimeZoneRace();
    m_agent = std::make_unique<AgentProcess>(std::vector<std::string>{
        "--gateway", "127.0.0.1:" + std::to_string(m_gateway->port()), "--ft-port",
        std::to_string(m_server->port())});
  }
  // glibc's mktime copies the TZ text afresh on every call, under a lock of its own that the
  // thread sanitizer cannot see, so two threads of the module that convert times at once are
  // reported as a race inside glibc. Only that report is suppressed, and only for the agent.
  void suppressTimeZoneRace() {
    std::string file = m_base + "/tsan.supp";
    std::ofstream(file) << "race:tzset_internal\n";
    const char* options = std::getenv("TSAN_OPTIONS");
    m_strTsanOptions = options ? options : "";
    std::string extended = m_strTsanOptions + (m_strTsanOptions.empty() ? "" : ":") + "suppressions=" + file;
    setenv("TSAN_OPTIONS", extended.c_str(), 1);
  }
  // The agent ends first, so that nothing it uses goes away under it.
  void TearDown() override {
    if (m_strTsanOptions.empty()) unsetenv("TSAN_OPTIONS");
    else setenv("TSAN_OPTIONS", m_strTsanOptions.c_str(), 1);
    m_agent.reset();
    m_db.reset();
    m_server.reset();
    m_gateway.reset();
    m_machine.reset();
    fs::remove_all(m_base);
  }

  // Takes every line the agent printed and every history row the gateway wrote since the last
  // call.
  void pump() {
    for (const std::string& line : m_agent->linesFrom(m_nLinesSeen)) {
      m_ledger.consume(line);
      ++m_nLinesSeen;
    }
    for (const std::string& row : m_db->rows("SELECT history_id, cmd_id FROM n_equip_history "
                                              "WHERE history_id > " + std::to_string(m_nLastRow))) {
      m_nLastRow = std::stoll(row);
      ++m_mapRows[static_cast<uint32_t>(std::stoul(row.substr(row.find(',') + 1)))];
    }
    advanceClosed();
  }
  // Waits until done() holds, taking the agent's lines as they come and looking at the gateway's
  // history every 25 ms; false at the deadline or when the agent's output has ended.
  bool waitUntil(const std::function<bool()>& done, std::chrono::milliseconds deadline) {
    auto end = std::chrono::steady_clock::now() + deadline;
    for (pump(); !done(); pump()) {
      auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
      if (left <= 0ms || m_agent->outputEnded()) return false;
      m_agent->waitForMoreThan(m_nLinesSeen, std::min<std::chrono::milliseconds>(left, 25ms));
    }
    return true;
  }
  // Sends an export call and waits until the agent has printed its return value.
  void call(const std::string& command, const std::string& printed) {
    int before = m_ledger.callsSeen(printed);
    m_agent->send(command);
    ASSERT_TRUE(waitUntil([&] { return m_ledger.callsSeen(printed) > before; }, kStepDeadline))
        << command << "\n" << agentTail();
  }
  AgentLedger::Stats stats() {
    size_t before = m_ledger.stats().size();
    m_agent->send("stats");
    EXPECT_TRUE(waitUntil([&] { return m_ledger.stats().size() > before; }, kStepDeadline));
    return m_ledger.stats().empty() ? AgentLedger::Stats{} : m_ledger.stats().back();
  }

  // The agent's last lines for failure messages: from a sanitizer's report when it printed
  // one, else the last 40.
  std::string agentTail() const {
    std::vector<std::string> lines = m_agent->linesFrom(0);
    size_t from = lines.size() > 40 ? lines.size() - 40 : 0;
    for (size_t i = 0; i < lines.size(); ++i) {
      if (lines[i].find("Sanitizer") != std::string::npos) {
        from = i > 0 ? i - 1 : 0;
        break;
      }
    }
    std::string text = m_agent->outputEnded() ? "the agent's output ended; its last lines:\n" : "";
    for (size_t i = from; i < lines.size(); ++i) text += lines[i] + "\n";
    return text;
  }

  // Jobs from the front that are over for good (final result, and the gateway's row unless
  // refused): later scans start after them, so a long soak does not rescan every job it posted.
  void advanceClosed() {
    while (m_nClosed < m_jobs.size()) {
      const Job& job = m_jobs[m_nClosed];
      std::vector<std::string> finals = m_ledger.finalsOf(job.cmdId);
      bool refused = !finals.empty() && finals[0] == "100";
      if (finals.empty() || (!refused && !m_mapRows.count(job.cmdId))) break;
      m_nClosedSettled += refused ? 0 : 1;
      ++m_nClosed;
    }
  }
  int outstanding() const {
    int count = 0;
    for (size_t i = m_nClosed; i < m_jobs.size(); ++i) count += m_ledger.hasFinal(m_jobs[i].cmdId) ? 0 : 1;
    return count;
  }
  // Jobs that ran or were dropped and are over: the host has their final result and the
  // gateway their row, which the module writes last (a refused duplicate does not count).
  int settled() const {
    int count = m_nClosedSettled;
    for (size_t i = m_nClosed; i < m_jobs.size(); ++i) {
      std::vector<std::string> finals = m_ledger.finalsOf(m_jobs[i].cmdId);
      count += !finals.empty() && finals[0] != "100" && m_mapRows.count(m_jobs[i].cmdId) ? 1 : 0;
    }
    return count;
  }
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

  void post(int distId) {
    uint32_t cmdId = kFirstJobId + static_cast<uint32_t>(m_jobs.size());
    m_jobs.push_back({cmdId, distId});
    m_agent->send("ndist-cmd " + std::to_string(cmdId) + " \"" + m_contents[distId] + "\"");
  }
  // Distributions still in the works as far as the results tell, and those whose job ended
  // since the last burst: the module may still be writing that job's row to the gateway, and
  // until it has, a job for the same distribution is refused as a duplicate.
  std::set<int> busyDists() {
    std::set<int> busy;
    std::set<uint32_t> ended;
    for (const Job& job : m_jobs) {
      if (!m_ledger.hasFinal(job.cmdId)) {
        busy.insert(job.distId);
        continue;
      }
      ended.insert(job.cmdId);
      if (!m_endedBefore.count(job.cmdId)) busy.insert(job.distId);
    }
    m_endedBefore = ended;
    return busy;
  }
  // Up to three jobs: one in eight deliberately for a distribution still in the works, the
  // others for one that is not; when every distribution is in the works the burst ends early.
  // A burst that would hold only duplicates gets one new job as well: a refused duplicate never
  // reaches the queue, so only a new job's post wakes the manager for the jobs waiting there.
  void postBurst(int limit) {
    int size = std::min(limit, 1 + static_cast<int>(m_random() % 3));
    std::set<int> busy = busyDists();
    bool posted = false;
    for (int i = 0; i < size; ++i) {
      std::vector<int> choice;
      bool duplicate = !busy.empty() && m_random() % 8 == 0 && (posted || i + 1 < size);
      for (int id = kFirstDist; id < kFirstDist + kDists; ++id)
        if (busy.count(id) == duplicate) choice.push_back(id);
      if (choice.empty()) return;
      int distId = choice[m_random() % choice.size()];
      busy.insert(distId);
      posted = posted || !duplicate;
      post(distId);
    }
  }
  // Now and then an urgent cancel. When the job that runs next (the oldest one waiting) is a
  // slow one, half the time: it is sent once that job has started (sendDueCancel), so the cancel
  // meets its transfers. Otherwise seldom, at once, for a distribution that may not be running.
  void maybeCancel() {
    auto next = std::find_if(m_jobs.begin() + static_cast<std::ptrdiff_t>(m_nClosed), m_jobs.end(),
                             [&](const Job& job) { return !m_ledger.hasFinal(job.cmdId); });
    bool slow = next != m_jobs.end() && next->distId >= kFirstSlowDist;
    if (m_pendingCancel.cmdId != 0 || m_random() % (slow ? 2 : 15) != 0) return;
    int distId = kFirstDist + static_cast<int>(m_random() % kDists);
    if (slow) {
      m_pendingCancel = *next;
      sendDueCancel();
      return;
    }
    m_agent->send("ndist-cancel " + std::to_string(m_nNextCancelId++) + " " + std::to_string(distId));
  }
  // Sends the held cancel once its job has shown a result.
  void sendDueCancel() {
    if (m_pendingCancel.cmdId == 0 || m_ledger.codesOf(m_pendingCancel.cmdId).empty()) return;
    m_agent->send("ndist-cancel " + std::to_string(m_nNextCancelId++) + " " +
                  std::to_string(m_pendingCancel.distId));
    m_pendingCancel = {0, 0};
  }
  // Posts a burst and stops the manager at once (queued jobs are dropped, the running one is
  // stopped), sometimes posts while it is stopped, and starts it again.
  void stopAndRestart() {
    postBurst(left());
    call("ndist-stop", "cvfNDistFunc(stop) = 1");
    AgentLedger::Stats atStop = stats();  // no job runs now
    std::cout << "soak: stopped after " << m_jobs.size() << " jobs: threads " << atStop.threads
              << ", descriptors " << atStop.fds << std::endl;
    m_vecAtStops.emplace_back(m_jobs.size(), atStop);
    if (left() > 0 && m_random() % 2 == 0) postBurst(left());
    call("ndist-func", "cvfNDistFunc = 1");
  }
  int left() const { return m_nTarget - static_cast<int>(m_jobs.size()); }
  // Bursts until every job is posted; after each, waits until a job that runs has ended and its
  // worker is gone (so the next burst's post starts a queued job at once) or at most one is
  // left, so the queue stays short and keeps moving.
  void runWorkload(int stops) {
    int nextStop = 1;
    while (left() > 0 && !HasFatalFailure()) {
      if (nextStop <= stops && static_cast<int>(m_jobs.size()) >= nextStop * m_nTarget / (stops + 1)) {
        stopAndRestart();
        ++nextStop;
        continue;
      }
      int before = settled();
      postBurst(left());
      maybeCancel();
      ASSERT_TRUE(waitUntil([&] {
        sendDueCancel();
        return (settled() > before && workerGone()) || outstanding() <= 1;
      }, kStepDeadline)) << "no job ended; " << outstanding() << " waiting\n" << agentTail();
    }
  }

  void checkHostResults() const;
  void checkDatabase(const cvdt::test::DbProbe& db) const;
  void printSummary(const cvdt::test::DbProbe& db) const;

  std::string m_base;
  std::string m_strTsanOptions;  // the test's own sanitizer options, restored afterwards
  std::map<int, std::string> m_contents;
  std::unique_ptr<cvdt::test::TestMachine> m_machine;
  std::unique_ptr<cvdt::test::GatewayProcess> m_gateway;
  std::unique_ptr<cvdt::test::DbProbe> m_db;  // the gateway's database, read as it fills
  int64_t m_nLastRow = 0;                      // the last history row taken
  std::map<uint32_t, int> m_mapRows;           // history rows by command id
  std::unique_ptr<cvdt::test::LoopbackHttpServer> m_server;
  std::unique_ptr<AgentProcess> m_agent;
  AgentLedger m_ledger;
  size_t m_nLinesSeen = 0;
  int m_nTarget = 0;  // jobs to post
  std::set<uint32_t> m_endedBefore;  // jobs that had ended at the last burst
  std::vector<Job> m_jobs;
  size_t m_nClosed = 0;          // leading jobs that are over for good
  int m_nClosedSettled = 0;      // of those, the ones that ran or were dropped
  int m_nIdleThreads = 0;        // the agent's threads while the manager waits idle
  Job m_pendingCancel{0, 0};     // a cancel held until its job has started
  std::vector<std::pair<size_t, AgentLedger::Stats>> m_vecAtStops;  // jobs posted, stats then
  uint32_t m_nNextCancelId = kFirstCancelId;
  std::mt19937 m_random;
};

// Every job has a final result: "100" alone for a refused duplicate; otherwise "060" alone, or
// "040" (a failure status, at most twice: a stop that ends the index transfer reports the
// failed step and then the stop). Nothing else receives results.
void CommandedSoakTest::checkHostResults() const {
  std::set<uint32_t> posted;
  for (const Job& job : m_jobs) {
    posted.insert(job.cmdId);
    std::vector<std::string> finals = m_ledger.finalsOf(job.cmdId);
    std::string all;
    for (const std::string& code : m_ledger.codesOf(job.cmdId)) all += code + " ";
    ASSERT_FALSE(finals.empty()) << "job " << job.cmdId << " has no final result: " << all;
    bool refused = finals == std::vector<std::string>{"100"};
    bool done = finals == std::vector<std::string>{"060"};
    bool failed = finals.size() <= 2 && std::all_of(finals.begin(), finals.end(),
                                                    [](const std::string& c) { return c == "040"; });
    EXPECT_TRUE(refused || done || failed) << "job " << job.cmdId << ": " << all;
  }
  for (uint32_t cmdId : m_ledger.commands())
    EXPECT_TRUE(posted.count(cmdId)) << "a result for command " << cmdId << ", never posted";
}

// One history row for each job that ran or was dropped, none for a refused duplicate: "060"
// for a job the host saw end with "060"; for one that ended with "040", "940" (stopped with the
// manager, or dropped from its queue) or "942" (an urgent cancel): no job fails on its own here.
void CommandedSoakTest::checkDatabase(const cvdt::test::DbProbe& db) const {
  std::map<uint32_t, std::vector<std::string>> rows;
  for (const std::string& row :
       db.rows("SELECT cmd_id, dist_id, status, equip_id, proc_type FROM n_equip_history")) {
    rows[static_cast<uint32_t>(std::stoul(row))].push_back(row.substr(row.find(',') + 1));
  }
  size_t expected = 0;
  for (const Job& job : m_jobs) {
    std::vector<std::string> finals = m_ledger.finalsOf(job.cmdId);
    if (finals.empty() || finals[0] == "100") {
      EXPECT_EQ(rows.count(job.cmdId), 0u) << "refused job " << job.cmdId << " reached the database";
      continue;
    }
    ++expected;
    const std::vector<std::string>& mine = rows[job.cmdId];
    ASSERT_EQ(mine.size(), 1u) << "job " << job.cmdId << " has " << mine.size() << " history rows";
    std::string prefix = std::to_string(job.distId) + ",";
    bool matches = finals[0] == "060" ? mine[0].rfind(prefix + "060,", 0) == 0
                                      : mine[0].rfind(prefix + "940,", 0) == 0 ||
                                            mine[0].rfind(prefix + "942,", 0) == 0;
    EXPECT_TRUE(matches) << "job " << job.cmdId << " ended " << finals[0] << " at the host: " << mine[0];
    EXPECT_NE(mine[0].find(",EQ0000000001,NDT"), std::string::npos) << mine[0];
  }
  EXPECT_EQ(static_cast<size_t>(db.count("n_equip_history")), expected);
}

void CommandedSoakTest::printSummary(const cvdt::test::DbProbe& db) const {
  std::map<std::string, int> tally;
  for (const Job& job : m_jobs) {
    std::string finals;
    for (const std::string& code : m_ledger.finalsOf(job.cmdId)) finals += (finals.empty() ? "" : "+") + code;
    ++tally[finals];
  }
  std::cout << "soak: " << m_jobs.size() << " jobs, " << (m_nNextCancelId - kFirstCancelId)
            << " urgent cancels; final results at the host:";
  for (const auto& [finals, count] : tally) std::cout << " " << finals << " x" << count;
  std::cout << "; in the gateway's history:";
  for (const std::string& row : db.rows("SELECT status, COUNT(*) FROM n_equip_history GROUP BY status"))
    std::cout << " " << row.substr(0, row.find(',')) << " x" << row.substr(row.find(',') + 1);
  std::cout << std::endl;
}

// The agent's descriptors on the machine's registry database (file, WAL, shared index), which
// the registry's connection cache keeps open between calls until the module unloads; counted in
// the same listing as the stats line, so nothing opened or closed in between skews them.
struct RegistryFiles {
  int descriptors = 0;
  int connections = 0;  // descriptors on the database file itself
};

RegistryFiles registryFilesOf(const AgentLedger::Stats& stats, const std::string& database) {
  RegistryFiles files;
  for (const AgentLedger::Descriptor& descriptor : stats.descriptors) {
    if (descriptor.target.rfind(database, 0) != 0) continue;
    ++files.descriptors;
    files.connections += descriptor.target == database ? 1 : 0;
  }
  return files;
}

// The descriptors open at the end that were not open after loading (matched by target), past
// the registry's: each as "/proc/PID/fd/N -> TARGET (flags F)".
std::string extraDescriptors(const AgentLedger::Stats& loaded, const AgentLedger::Stats& stopped,
                             const std::string& database) {
  std::multiset<std::string> before;
  for (const AgentLedger::Descriptor& descriptor : loaded.descriptors) before.insert(descriptor.target);
  std::string text;
  for (const AgentLedger::Descriptor& descriptor : stopped.descriptors) {
    auto found = before.find(descriptor.target);
    if (found != before.end()) {
      before.erase(found);
    } else if (descriptor.target.rfind(database, 0) != 0) {
      text += "  fd " + std::to_string(descriptor.number) + " -> " + descriptor.target + " (flags " +
              descriptor.flags + ")\n";
    }
  }
  for (const std::string& gone : before)
    if (gone.rfind(database, 0) != 0) text += "  closed since loading: " + gone + "\n";
  return text;
}

std::string joined(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) text += line + "\n";
  return text;
}

TEST_F(CommandedSoakTest, BurstsDuplicatesCancelsAndStopsLoseNoResultAndLeakNothing) {
  m_nTarget = envNumber("CVDT_SOAK_JOBS", 60);
  const int stops = std::max(1, m_nTarget / 60);
  m_random.seed(static_cast<unsigned>(envNumber("CVDT_SOAK_SEED", 20261206)));

  const std::string registry = m_machine->root() + "/registry.db";
  AgentLedger::Stats loaded = stats();
  RegistryFiles loadedRegistry = registryFilesOf(loaded, registry);
  ASSERT_GT(loaded.threads, 0);
  ASSERT_NO_FATAL_FAILURE(call("ndist-func", "cvfNDistFunc = 1"));
  m_nIdleThreads = agentThreads();
  ASSERT_NO_FATAL_FAILURE(runWorkload(stops));
  ASSERT_TRUE(waitUntil([&] { return outstanding() == 0; }, kStepDeadline))
      << outstanding() << " jobs never ended\n" << agentTail();
  ASSERT_NO_FATAL_FAILURE(call("ndist-stop", "cvfNDistFunc(stop) = 1"));
  AgentLedger::Stats stopped = stats();
  RegistryFiles stoppedRegistry = registryFilesOf(stopped, registry);
  ASSERT_EQ(m_agent->finish(kStepDeadline), 0);
  pump();
  printSummary(*m_db);

  EXPECT_TRUE(m_ledger.otherLines().empty()) << joined(m_ledger.otherLines());
  checkHostResults();
  checkDatabase(*m_db);
  EXPECT_TRUE(m_gateway->logLines().empty()) << joined(m_gateway->logLines());
  std::cout << "soak: threads " << loaded.threads << " after loading, " << stopped.threads
            << " at the end; descriptors " << loaded.fds << ", " << stopped.fds << " ("
            << loadedRegistry.descriptors << ", " << stoppedRegistry.descriptors
            << " of them on the registry, " << stoppedRegistry.connections
            << " connections cached at the end)" << std::endl;
  EXPECT_LE(stopped.threads, loaded.threads);
  // Past the registry's cache, which holds at most 8 idle connections, nothing is left open.
  EXPECT_LE(stopped.fds - stoppedRegistry.descriptors, loaded.fds - loadedRegistry.descriptors)
      << "descriptors open now that were not after loading:\n"
      << extraDescriptors(loaded, stopped, registry);
  EXPECT_LE(stoppedRegistry.connections, 8);
  // At every stop on the way, with no job running, as flat as at the end.
  std::string overTime;
  for (const auto& [jobs, atStop] : m_vecAtStops) {
    RegistryFiles files = registryFilesOf(atStop, registry);
    overTime += " " + std::to_string(jobs) + ":" + std::to_string(atStop.fds - files.descriptors) +
                "+" + std::to_string(files.descriptors);
    EXPECT_LE(atStop.fds - files.descriptors, loaded.fds - loadedRegistry.descriptors)
        << "after " << jobs << " jobs, open and not open after loading:\n"
        << extraDescriptors(loaded, atStop, registry);
  }
  std::cout << "soak: descriptors at each stop (jobs posted:others+registry):" << overTime << std::endl;
}

}  // namespace
