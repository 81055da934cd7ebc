// Soak test of automatic distribution beside commanded jobs, through the host agent and the
// loaded module, against the real gateway and loopback HTTP servers. Rounds of automatic
// calls ("now" and command calls for some items, refreshes, stops in the middle of a slow
// transfer followed by a restart) run while commanded jobs are posted in bursts with cancels
// and manager stops. Afterwards every status an item showed (published for the dialog or sent
// to the gateway) is one of the automatic status codes, a last pass brings every item to its
// one expected status, every commanded job ended once, and the agent holds no more threads
// or descriptors than after it loaded the module (past the registry's connection cache).
// CVDT_SOAK_PASSES sets the number of automatic rounds (default 6), CVDT_SOAK_SEED the seed.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "SoakFixture.h"
#include "support/CommandOutput.h"

using ::testing::HasSubstr;

namespace {

namespace fs = std::filesystem;
using cvdt::test::AgentLedger;
using cvdt::test::joined;
using cvdt::test::noise;

// The automatic items, each with a product target at the gateway, so that every item has an
// update id and its outcome is reported even when it fails before its index is read. The
// policies: one that finds the product installed (no download, "060"), one that cannot be
// evaluated ("920"), one that finds it missing (distributed, program run again), and empty
// ones (distributed as usual). Plain, Tree, Slow and Missing have packages, Slow's parts come
// slowly, so stops meet its transfers; the servers hold another item's index archive under
// Broken's name, whose digest never matches: "901".
enum class Kind { Package, Installed, BadPolicy, Missing, Broken };

struct Item {
  int id;
  const char* name;
  Kind kind;
  const char* expected;  // the status a pass that nothing disturbs ends with
};

// In the order of the list the manager keeps, newest first: the installed product is looked at
// first in every sweep, so its report raises the report flag before any item fails early.
const Item kItems[] = {
    {85, "Installed", Kind::Installed, "060"}, {87, "Missing", Kind::Missing, "060"},
    {81, "Plain", Kind::Package, "060"},       {82, "Tree", Kind::Package, "060"},
    {83, "Slow", Kind::Package, "060"},        {86, "BadPolicy", Kind::BadPolicy, "920"},
    {84, "Broken", Kind::Broken, "901"},
};
constexpr int kSlowItem = 83;
// An index check starts with the server after the one the last index came from, and fails when
// there is none: with as many servers as packages, every index a sweep needs can come.
constexpr int kServers = 4;
// Retry twice, a pass every hour unless called, show the dialog (so the state is published),
// a status report from the manager thread every minute, and at the start of every pass.
constexpr const char* kCallArgs = "2|%60|%Y|%1";
// The last pass has no report from the manager thread, whose copy of the status record may
// be older than the pass's last report.
constexpr const char* kLastCallArgs = "2|%60|%Y|%0";
const char* kCountingBatch = "echo ran >> \"$(dirname \"$0\")/runs.txt\"\nexit 0\n";

bool isAutomaticStatus(const std::string& status) {
  static const std::set<std::string> codes = {
      "010", "060", "070", "071", "072", "073", "074", "075", "076", "901", "902",
      "903", "904", "905", "906", "907", "908", "909", "910", "920"};
  return codes.count(status) != 0;
}

// The end of an item's handling in a pass: complete, or a failure.
bool endsItem(const std::string& status) { return status == "060" || status[0] == '9'; }

class AutomaticSoakTest : public cvdt::test::SoakFixture {
 protected:
  void SetUp() override {
    SoakFixture::SetUp();
    if (HasFatalFailure()) return;
    m_machine->writeFile(m_machine->config().moduleFolder + "\\crvUI.ini",
                         "[cvdt]\nWRITE_STATE=1\nERR_DETL_LOG=1\n");
    ASSERT_NO_FATAL_FAILURE(addTargets());
    // The other servers listen on further loopback addresses, on the port the host names.
    for (int n = 2; n <= kServers; ++n) {
      m_vecServers.push_back(std::make_unique<cvdt::test::LoopbackHttpServer>());
      serveRoot(*m_vecServers.back(), m_base + "/root");
      ASSERT_TRUE(m_vecServers.back()->start("127.0.0." + std::to_string(n), m_server->port()));
    }
  }
  void TearDown() override {
    m_vecServers.clear();
    SoakFixture::TearDown();
  }
  void addPackages(const std::string& root) override;
  bool servedSlowly(const std::string& path) const override {
    return SoakFixture::servedSlowly(path) ||
           path.find("/auto/" + std::to_string(kSlowItem)) != std::string::npos;
  }
  void addTargets();
  std::string source(int id) const { return m_base + "/auto-src" + std::to_string(id); }
  static std::string destination(int id) { return "C:\\Soak\\" + std::to_string(id); }

  // The equipment configuration naming the items (all of them when ids is empty).
  std::string equipCfg(const std::set<int>& ids) const;
  void automaticCall(const std::string& verb, const std::set<int>& ids, const char* callArgs);
  bool reportedEnd(const std::set<int>& ids, size_t from) const;
  std::string notEnded(const std::set<int>& ids, size_t from) const;
  // For failure messages: the agent's last lines and the automatic side's last trace lines.
  std::string automaticTail() const { return agentTail(); }
  std::set<int> someItems();
  void disturbDestinations();
  void commandedStep();
  void recommandRound(const std::string& verb);
  void stopRound();
  void runRounds(int rounds);
  void lastPass();
  void checkStatuses() const;
  void checkItemsInPlace() const;

  std::vector<std::unique_ptr<cvdt::test::LoopbackHttpServer>> m_vecServers;  // 127.0.0.2 on
  std::map<int, std::string> m_digests;  // index digests of the packed items
  int m_nCommandedSteps = 0;
};

void AutomaticSoakTest::addPackages(const std::string& root) {
  for (const Item& item : kItems) {
    if (item.kind != Kind::Package && item.kind != Kind::Missing) continue;
    std::string src = source(item.id);
    fs::create_directories(src);
    std::ofstream(src + "/readme.txt") << "automatic " << item.id << "\n";
    std::ofstream(src + "/install.bat") << kCountingBatch;
    std::ofstream(src + "/payload.bin", std::ios::binary)
        << noise(item.id == kSlowItem ? 96 * 1024 : 12 * 1024, static_cast<unsigned>(item.id));
    std::string options = " --program install.bat --part-size 32K --update-id " + std::to_string(item.id - 70);
    if (item.id == 82) {
      fs::create_directories(src + "/docs/old");
      std::ofstream(src + "/docs/guide.txt") << "guide\n";
      std::ofstream(src + "/docs/old/notes.txt") << "notes\n";
      options += " --subfolders --cleanup";
    }
    std::string output = cvdt::test::commandOutput(
        std::string(CVDT_PACK_PATH) + " auto --id " + std::to_string(item.id) + " --name " + item.name +
        " --dest '" + destination(item.id) + "' --src " + src + " --out " + root + options);
    size_t at = output.find("index-digest=");
    ASSERT_NE(at, std::string::npos) << output;
    m_digests[item.id] = output.substr(at + 13, 32);
  }
  fs::copy_file(root + "/Corvane/dist/auto/81.idx.lgz", root + "/Corvane/dist/auto/84.idx.lgz");
}

// Product targets, their policies naming this machine's first platform string.
void AutomaticSoakTest::addTargets() {
  std::string platform = cvdt::test::commandOutput(std::string(CVDT_HOST_PATH) + " platform");
  platform = platform.substr(0, platform.find('\n'));
  ASSERT_FALSE(platform.empty());
  auto installedSection = [](const char* value) {
    return std::string("<installed><expression><boolean><value>") + value +
           "</value></boolean></expression></installed>";
  };
  const std::string head = "<polProduct><flatform01>" + platform + "</flatform01>";
  for (const Item& item : kItems) {
    std::string policy = item.kind == Kind::Installed ? head + installedSection("1") + "</polProduct>"
                         : item.kind == Kind::Missing ? head + installedSection("0") + "</polProduct>"
                         : item.kind == Kind::BadPolicy ? head + "</polProduct>"
                                                        : "<polProduct />";
    cvdt::test::CommandResult added = cvdt::test::runGatewayCommand(
        {"target", "add", "--db", m_gateway->dbPath(), "--dist", std::to_string(item.id), "--name",
         item.name, "--policy", policy, "--update-id", std::to_string(item.id - 70)});
    ASSERT_EQ(added.status, 0) << added.err;
  }
}

std::string AutomaticSoakTest::equipCfg(const std::set<int>& ids) const {
  std::string entries;
  // The manager puts each new item first: the text names them oldest first.
  for (auto it = std::rbegin(kItems); it != std::rend(kItems); ++it) {
    if (!ids.empty() && !ids.count(it->id)) continue;
    auto digest = m_digests.find(it->id);
    entries += (entries.empty() ? "" : "|&") + std::to_string(it->id) + "|*" + it->name + "|*" +
               (digest != m_digests.end() ? digest->second : std::string(32, '0'));
  }
  std::string servers;
  for (int n = 1; n <= kServers; ++n)
    servers += (n > 1 ? "|&127.0.0." : "127.0.0.") + std::to_string(n);
  return "EQ0000000001|%" + entries + "|%" + servers;
}

void AutomaticSoakTest::automaticCall(const std::string& verb, const std::set<int>& ids,
                                      const char* callArgs) {
  std::string name = verb == "adist-now" ? "cvfADistNow" : verb == "adist-cmd" ? "cvfADistCmd" : "cvfADistFunc";
  ASSERT_NO_FATAL_FAILURE(call(verb + " \"" + equipCfg(ids) + "\" \"" + callArgs + "\"", name + " = 1"));
}

// Whether each of the items has a report at the gateway, from the from-th on, that ends its
// handling.
bool AutomaticSoakTest::reportedEnd(const std::set<int>& ids, size_t from) const {
  std::set<int> ended;
  for (size_t i = from; i < m_vecAutoReports.size(); ++i)
    if (endsItem(m_vecAutoReports[i].status)) ended.insert(m_vecAutoReports[i].distId);
  return std::all_of(ids.begin(), ids.end(), [&](int id) { return ended.count(id) != 0; });
}

std::string AutomaticSoakTest::notEnded(const std::set<int>& ids, size_t from) const {
  std::string text;
  for (int id : ids)
    if (!reportedEnd({id}, from)) text += (text.empty() ? "items " : ", ") + std::to_string(id);
  return text.empty() ? "every item ended" : text + " did not end";
}

std::set<int> AutomaticSoakTest::someItems() {
  std::set<int> ids;
  for (const Item& item : kItems)
    if (m_random() % 2 == 0) ids.insert(item.id);
  if (ids.empty()) ids.insert(kItems[m_random() % std::size(kItems)].id);
  return ids;
}

// Now and then files go missing from a destination, as a user might remove them: the next
// pass that handles the item fetches them again and runs its program.
void AutomaticSoakTest::disturbDestinations() {
  std::error_code ec;
  if (m_random() % 3 == 0) fs::remove(m_machine->host(destination(81) + "\\payload.bin"), ec);
  if (m_random() % 3 == 0) fs::remove_all(m_machine->host(destination(82) + "\\docs"), ec);
  if (m_random() % 4 == 0) std::ofstream(m_machine->host(destination(82)) + "/stale.txt") << "stale";
}

// A burst of commanded jobs, a cancel now and then, and a stop of the commanded manager every
// fourth time (its start pauses for seconds).
void AutomaticSoakTest::commandedStep() {
  if (left() <= 0) return;
  if (++m_nCommandedSteps % 4 == 3) {
    ASSERT_NO_FATAL_FAILURE(stopAndRestart());
    return;
  }
  postBurst(left());
  maybeCancel();
}

// Commands some items again ("now" or a command call) while commanded jobs go on, and waits
// until each of them has reported its end and a commanded job has ended (or at most one is
// left).
void AutomaticSoakTest::recommandRound(const std::string& verb) {
  std::set<int> ids = someItems();
  disturbDestinations();
  size_t from = m_vecAutoReports.size();
  int settledBefore = settled();
  ASSERT_NO_FATAL_FAILURE(automaticCall(verb, ids, kCallArgs));
  ASSERT_NO_FATAL_FAILURE(commandedStep());
  ASSERT_TRUE(waitUntil([&] {
    sendDueCancel();
    return reportedEnd(ids, from) && (settled() > settledBefore || outstanding() <= 1);
  })) << verb << ": an item or a commanded job never ended: " << notEnded(ids, from) << ", "
       << outstanding() << " commanded jobs waiting\n" << automaticTail();
}

// Commands every item with the slow item's files gone, stops automatic distribution once the
// slow transfer is under way (or after a while), and starts it again with every item new.
void AutomaticSoakTest::stopRound() {
  std::error_code ec;
  fs::remove(m_machine->host(destination(kSlowItem) + "\\payload.bin"), ec);
  fs::remove_all(
      m_machine->host(m_machine->config().moduleFolder + "\\adist\\" + std::to_string(kSlowItem)), ec);
  size_t slowBefore = m_ledger.recordStatusesOf(kSlowItem).size();
  ASSERT_NO_FATAL_FAILURE(automaticCall("adist-cmd", {}, kCallArgs));
  ASSERT_NO_FATAL_FAILURE(commandedStep());
  waitUntil([&] {
    const std::vector<std::string>& seen = m_ledger.recordStatusesOf(kSlowItem);
    return std::find(seen.begin() + static_cast<std::ptrdiff_t>(std::min(slowBefore, seen.size())),
                     seen.end(), "075") != seen.end();
  }, std::chrono::seconds(20));
  ASSERT_NO_FATAL_FAILURE(call("adist-stop", "cvfADistFunc(stop) = 1"));
  size_t from = m_vecAutoReports.size();
  ASSERT_NO_FATAL_FAILURE(automaticCall("adist-func", {}, kCallArgs));
  std::set<int> all;
  for (const Item& item : kItems) all.insert(item.id);
  ASSERT_TRUE(waitUntil([&] {
    sendDueCancel();
    return reportedEnd(all, from);
  }))
      << "after a restart an item never ended: " << notEnded(all, from) << "\n" << automaticTail();
}

// The first four rounds take each kind once, so that even a short run has them all; later
// rounds choose at random.
void AutomaticSoakTest::runRounds(int rounds) {
  static const char* const kKinds[] = {"now", "stop", "command", "refresh"};
  ASSERT_NO_FATAL_FAILURE(automaticCall("adist-func", {}, kCallArgs));
  for (int round = 0; round < rounds && !HasFatalFailure(); ++round) {
    std::string kind = kKinds[round < 4 ? round : static_cast<int>(m_random() % 4)];
    if (kind == "now" || kind == "command") {
      ASSERT_NO_FATAL_FAILURE(recommandRound(kind == "now" ? "adist-now" : "adist-cmd"));
    } else if (kind == "refresh") {
      // Settings and names again, no pass forced: items keep their statuses.
      ASSERT_NO_FATAL_FAILURE(automaticCall("adist-func", {}, kCallArgs));
      ASSERT_NO_FATAL_FAILURE(commandedStep());
    } else {
      ASSERT_NO_FATAL_FAILURE(stopRound());
    }
  }
}

// After a stop, a new start runs one pass that nothing disturbs: each item reports its one
// expected status, the published block shows it, and the state files say "complete".
void AutomaticSoakTest::lastPass() {
  ASSERT_NO_FATAL_FAILURE(call("adist-stop", "cvfADistFunc(stop) = 1"));
  size_t from = m_vecAutoReports.size();
  ASSERT_NO_FATAL_FAILURE(automaticCall("adist-func", {}, kLastCallArgs));
  auto lastReported = [&](int id) {
    std::string last;
    for (size_t i = from; i < m_vecAutoReports.size(); ++i)
      if (m_vecAutoReports[i].distId == id) last = m_vecAutoReports[i].status;
    return last;
  };
  auto lastPublished = [&](int id) {
    const std::vector<std::string>& seen = m_ledger.itemStatusesOf(id);
    return seen.empty() ? std::string() : seen.back();
  };
  bool settledAll = waitUntil([&] {
    return std::all_of(std::begin(kItems), std::end(kItems), [&](const Item& item) {
      return lastReported(item.id) == item.expected && lastPublished(item.id) == item.expected;
    });
  });
  for (const Item& item : kItems) {
    EXPECT_EQ(lastReported(item.id), item.expected) << item.name;
    EXPECT_EQ(lastPublished(item.id), item.expected) << item.name;
  }
  ASSERT_TRUE(settledAll) << automaticTail();
  ASSERT_NO_FATAL_FAILURE(call("adist-stop", "cvfADistFunc(stop) = 1"));
}

// Every status seen anywhere is an automatic status code.
void AutomaticSoakTest::checkStatuses() const {
  for (int32_t id : m_ledger.automaticItems()) {
    for (const std::string& status : m_ledger.itemStatusesOf(id))
      EXPECT_TRUE(isAutomaticStatus(status)) << "item " << id << " published " << status;
    for (const std::string& status : m_ledger.recordStatusesOf(id))
      EXPECT_TRUE(isAutomaticStatus(status)) << "record of " << id << " showed " << status;
  }
  for (const AutoReport& report : m_vecAutoReports)
    EXPECT_TRUE(isAutomaticStatus(report.status))
        << "item " << report.distId << " reported " << report.status;
  EXPECT_TRUE(m_ledger.otherLines().empty()) << joined(m_ledger.otherLines());
  EXPECT_TRUE(m_gateway->logLines().empty()) << joined(m_gateway->logLines());
}

// The packaged items' files are in place, whole, their programs ran, the state file says the
// item completed, and the clean-up removed what the index does not name.
void AutomaticSoakTest::checkItemsInPlace() const {
  for (const Item& item : kItems) {
    if (item.kind != Kind::Package && item.kind != Kind::Missing) continue;
    SCOPED_TRACE(item.name);
    for (const auto& entry : fs::recursive_directory_iterator(source(item.id))) {
      if (!entry.is_regular_file()) continue;
      std::string relative = fs::relative(entry.path(), source(item.id)).string();
      if (item.id != 82 && relative.find('/') != std::string::npos) continue;
      std::ifstream in(entry.path(), std::ios::binary);
      std::string expected((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
      std::replace(relative.begin(), relative.end(), '/', '\\');
      EXPECT_EQ(m_machine->readFile(destination(item.id) + "\\" + relative), expected) << relative;
    }
    EXPECT_EQ(m_machine->readFile(destination(item.id) + "\\ADist_Status.txt"), "2");
    EXPECT_THAT(m_machine->readFile(destination(item.id) + "\\runs.txt"), HasSubstr("ran\n"));
  }
  EXPECT_EQ(m_machine->readFile(destination(82) + "\\stale.txt"), "<missing>");
}

TEST_F(AutomaticSoakTest, PassesBesideCommandedJobsWithStopsAndReCommandsEndEveryItemAndLeakNothing) {
  const int rounds = cvdt::test::envNumber("CVDT_SOAK_PASSES", 6);
  m_nTarget = 3 * rounds;
  m_random.seed(static_cast<unsigned>(cvdt::test::envNumber("CVDT_SOAK_SEED", 20261206)));

  AgentLedger::Stats loaded = stats();
  ASSERT_GT(loaded.threads, 0);
  ASSERT_NO_FATAL_FAILURE(call("ndist-func", "cvfNDistFunc = 1"));
  ASSERT_NO_FATAL_FAILURE(runRounds(rounds));
  ASSERT_TRUE(waitUntil([&] {
    sendDueCancel();
    return outstanding() == 0;
  })) << outstanding() << " commanded jobs never ended\n" << agentTail();
  ASSERT_NO_FATAL_FAILURE(lastPass());
  ASSERT_NO_FATAL_FAILURE(call("ndist-stop", "cvfNDistFunc(stop) = 1"));
  AgentLedger::Stats stopped = stats();
  ASSERT_EQ(m_agent->finish(kStepDeadline), 0);
  pump();

  checkStatuses();
  checkItemsInPlace();
  checkCommandedResults();
  checkNothingLeft(loaded, stopped);
}

}  // namespace
