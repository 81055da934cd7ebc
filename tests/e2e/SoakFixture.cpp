// The soak tests' shared fixture: machine, gateway, HTTP server and agent, the commanded
// workload and its checks, and the accounting of what the agent holds.
#include "SoakFixture.h"

#include <gmock/gmock.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>

#include "support/CommandOutput.h"

using ::testing::HasSubstr;

namespace cvdt::test {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// Distribution 61 runs a batch file, 62 imports a registry file, and 69 and 70 come slowly, so
// that cancels and stops meet transfers in progress.
constexpr int kFirstSlowDist = 69;
constexpr uint32_t kFirstJobId = 10000;
constexpr uint32_t kFirstCancelId = 900000;

std::string packOne(const std::string& base, int id, int firstDist) {
  std::string src = base + "/src" + std::to_string(id);
  fs::create_directories(src);
  std::ofstream(src + "/readme.txt") << "package " << id << "\n";
  std::ofstream(src + "/payload.bin", std::ios::binary)
      << noise(id >= kFirstSlowDist ? 96 * 1024 : 20 * 1024, static_cast<unsigned>(id));
  std::string options;
  if (id == firstDist) {
    std::ofstream(src + "/install.bat") << "echo installed > \"$(dirname \"$0\")/ran.txt\"\nexit 0\n";
    options = " --exec install.bat";
  } else if (id == firstDist + 1) {
    std::ofstream(src + "/settings.reg")
        << "Windows Registry Editor Version 5.00\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Soak]\r\n"
           "\"Installed\"=\"yes\"\r\n";
    options = " --reg-file settings.reg";
  }
  return packNormal(id, "Soak" + std::to_string(id), src, base + "/root",
                    "--part-size 32K" + options);
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
// the registry's: each as "fd N -> TARGET (flags F)".
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

}  // namespace

std::string noise(size_t size, unsigned seed) {
  std::mt19937 random(seed);
  std::string bytes(size, '\0');
  for (char& c : bytes) c = static_cast<char>(random());
  return bytes;
}

std::string packNormal(int id, const std::string& name, const std::string& src,
                       const std::string& root, const std::string& options) {
  std::string output =
      commandOutput(std::string(CVDT_PACK_PATH) + " normal --id " + std::to_string(id) +
                    " --name " + name + " --src " + src + " --out " + root + " " + options);
  size_t at = output.find("contents=");
  return at == std::string::npos ? "" : output.substr(at + 9, output.find('\n', at) - at - 9);
}

std::string joined(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) text += line + "\n";
  return text;
}

int envNumber(const char* name, int fallback) {
  const char* text = std::getenv(name);
  return text != nullptr && std::atoi(text) > 0 ? std::atoi(text) : fallback;
}

void SoakFixture::SetUp() {
  m_base = makeTempFolder("cvdt-soak");
  fs::create_directories(m_base + "/root");
  for (int id = kFirstDist; id < kFirstDist + kDists; ++id) {
    m_contents[id] = packOne(m_base, id, kFirstDist);
    ASSERT_FALSE(m_contents[id].empty()) << "cannot pack distribution " << id;
  }
  ASSERT_NO_FATAL_FAILURE(addPackages(m_base + "/root"));
  m_machine = std::make_unique<TestMachine>();
  m_gateway = std::make_unique<GatewayProcess>();
  ASSERT_NE(m_gateway->port(), 0);
  m_db = std::make_unique<DbProbe>(m_gateway->dbPath());
  m_server = std::make_unique<LoopbackHttpServer>();
  serveRoot(*m_server, m_base + "/root");
  ASSERT_TRUE(m_server->start());
  m_agent = std::make_unique<AgentProcess>(std::vector<std::string>{
      "--gateway", "127.0.0.1:" + std::to_string(m_gateway->port()), "--ft-port",
      std::to_string(m_server->port())});
}

void SoakFixture::TearDown() {
  m_agent.reset();
  m_db.reset();
  m_server.reset();
  m_gateway.reset();
  m_machine.reset();
  std::error_code ec;
  fs::remove_all(m_base, ec);
}

bool SoakFixture::servedSlowly(const std::string& path) const {
  for (int id = kFirstSlowDist; id < kFirstDist + kDists; ++id)
    if (path.find("/normal/" + std::to_string(id) + ".") != std::string::npos ||
        path.find("/normal/" + std::to_string(id) + "/") != std::string::npos)
      return true;
  return false;
}

// Slow files come a little at a time: an index 32 bytes, a part 8 KiB per 40 ms.
void SoakFixture::serveRoot(LoopbackHttpServer& server, const std::string& root) const {
  for (const auto& entry : fs::recursive_directory_iterator(root)) {
    if (!entry.is_regular_file()) continue;
    std::string path = "/" + fs::relative(entry.path(), root).string();
    auto file = ServedFile::fromDisk(entry.path().string(), servedSlowly(path)
                                                                ? ServedFile::Fault::Slow
                                                                : ServedFile::Fault::None);
    file.slowChunk = path.find(".idx.") != std::string::npos ? 32 : 8 * 1024;
    file.slowPauseMs = 40;
    server.addFile(path, file);
  }
}

void SoakFixture::pump() {
  for (const std::string& line : m_agent->linesFrom(m_nLinesSeen)) {
    m_ledger.consume(line);
    ++m_nLinesSeen;
  }
  for (const std::string& row : m_db->rows("SELECT history_id, cmd_id FROM n_equip_history "
                                            "WHERE history_id > " + std::to_string(m_nLastRow))) {
    m_nLastRow = std::stoll(row);
    ++m_mapRows[static_cast<uint32_t>(std::stoul(row.substr(row.find(',') + 1)))];
  }
  for (const std::string& row : m_db->rows("SELECT history_id, dist_id, status FROM a_equip_history "
                                            "WHERE history_id > " + std::to_string(m_nLastAutoRow))) {
    size_t first = row.find(','), second = row.find(',', first + 1);
    m_nLastAutoRow = std::stoll(row);
    m_vecAutoReports.push_back({m_nLastAutoRow, std::stoi(row.substr(first + 1)), row.substr(second + 1)});
  }
  advanceClosed();
}

// Jobs from the front that are over for good (final result, and the gateway's row unless
// refused): later scans start after them, so a long soak does not rescan every job it posted.
void SoakFixture::advanceClosed() {
  while (m_nClosed < m_jobs.size()) {
    const Job& job = m_jobs[m_nClosed];
    std::vector<std::string> finals = m_ledger.finalsOf(job.cmdId);
    bool refused = !finals.empty() && finals[0] == "100";
    if (finals.empty() || (!refused && !m_mapRows.count(job.cmdId))) break;
    m_nClosedSettled += refused ? 0 : 1;
    ++m_nClosed;
  }
}

bool SoakFixture::waitUntil(const std::function<bool()>& done, std::chrono::milliseconds deadline) {
  auto end = std::chrono::steady_clock::now() + deadline;
  for (pump(); !done(); pump()) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
    if (left <= 0ms || m_agent->outputEnded()) return false;
    m_agent->waitForMoreThan(m_nLinesSeen, std::min<std::chrono::milliseconds>(left, 25ms));
  }
  return true;
}

void SoakFixture::call(const std::string& command, const std::string& printed) {
  int before = m_ledger.callsSeen(printed);
  m_agent->send(command);
  ASSERT_TRUE(waitUntil([&] { return m_ledger.callsSeen(printed) > before; }))
      << command << "\n" << agentTail();
}

AgentLedger::Stats SoakFixture::stats() {
  size_t before = m_ledger.stats().size();
  m_agent->send("stats");
  EXPECT_TRUE(waitUntil([&] { return m_ledger.stats().size() > before; }));
  return m_ledger.stats().empty() ? AgentLedger::Stats{} : m_ledger.stats().back();
}

std::string SoakFixture::agentTail() const {
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

int SoakFixture::outstanding() const {
  int count = 0;
  for (size_t i = m_nClosed; i < m_jobs.size(); ++i) count += m_ledger.hasFinal(m_jobs[i].cmdId) ? 0 : 1;
  return count;
}

// Jobs that ran or were dropped and are over: the host has their final result and the
// gateway their row, which the module writes last (a refused duplicate does not count).
int SoakFixture::settled() const {
  int count = m_nClosedSettled;
  for (size_t i = m_nClosed; i < m_jobs.size(); ++i) {
    std::vector<std::string> finals = m_ledger.finalsOf(m_jobs[i].cmdId);
    count += !finals.empty() && finals[0] != "100" && m_mapRows.count(m_jobs[i].cmdId) ? 1 : 0;
  }
  return count;
}

void SoakFixture::post(int distId) {
  uint32_t cmdId = kFirstJobId + static_cast<uint32_t>(m_jobs.size());
  m_jobs.push_back({cmdId, distId});
  m_agent->send("ndist-cmd " + std::to_string(cmdId) + " \"" + m_contents[distId] + "\"");
}

// Distributions still in the works as far as the results tell, and those whose job ended
// since the last burst: the module may still be writing that job's row to the gateway, and
// until it has, a job for the same distribution is refused as a duplicate.
std::set<int> SoakFixture::busyDists() {
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
void SoakFixture::postBurst(int limit) {
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
void SoakFixture::maybeCancel() {
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

void SoakFixture::sendDueCancel() {
  if (m_pendingCancel.cmdId == 0 || m_ledger.codesOf(m_pendingCancel.cmdId).empty()) return;
  m_agent->send("ndist-cancel " + std::to_string(m_nNextCancelId++) + " " +
                std::to_string(m_pendingCancel.distId));
  m_pendingCancel = {0, 0};
}

// Posts a burst and stops the manager at once (queued jobs are dropped, the running one is
// stopped), takes the agent's figures, sometimes posts while it is stopped, and starts it again.
void SoakFixture::stopAndRestart() {
  postBurst(left());
  ASSERT_NO_FATAL_FAILURE(call("ndist-stop", "cvfNDistFunc(stop) = 1"));
  AgentLedger::Stats atStop = stats();  // no commanded job runs now
  std::cout << "soak: stopped after " << m_jobs.size() << " jobs: threads " << atStop.threads
            << ", descriptors " << atStop.fds << std::endl;
  m_vecAtStops.emplace_back(m_jobs.size(), atStop);
  if (left() > 0 && m_random() % 2 == 0) postBurst(left());
  ASSERT_NO_FATAL_FAILURE(call("ndist-func", "cvfNDistFunc = 1"));
}

void SoakFixture::checkCommandedResults() const {
  checkHostResults();
  checkDatabase();
}

// Every job has a final result: "100" alone for a refused duplicate; otherwise "060" alone, or
// "040" (a failure status, at most twice: a stop that ends the index transfer reports the
// failed step and then the stop). Nothing else receives results.
void SoakFixture::checkHostResults() const {
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
void SoakFixture::checkDatabase() const {
  std::map<uint32_t, std::vector<std::string>> rows;
  for (const std::string& row :
       m_db->rows("SELECT cmd_id, dist_id, status, equip_id, proc_type FROM n_equip_history")) {
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
    EXPECT_THAT(mine[0], HasSubstr(",EQ0000000001,NDT"));
  }
  EXPECT_EQ(static_cast<size_t>(m_db->count("n_equip_history")), expected);
}

void SoakFixture::checkNothingLeft(const AgentLedger::Stats& loaded,
                                   const AgentLedger::Stats& stopped) const {
  const std::string registry = m_machine->root() + "/registry.db";
  RegistryFiles loadedRegistry = registryFilesOf(loaded, registry);
  RegistryFiles stoppedRegistry = registryFilesOf(stopped, registry);
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
}

void SoakFixture::checkFlatAtStops(const AgentLedger::Stats& loaded) const {
  const std::string registry = m_machine->root() + "/registry.db";
  RegistryFiles loadedRegistry = registryFilesOf(loaded, registry);
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

}  // namespace cvdt::test
