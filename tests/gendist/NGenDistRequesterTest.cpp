// Commanded jobs posted through the module's exports, in this process, and run by the real
// manager thread against a loopback HTTP server and the real gateway: the requester's process
// and session ids by actor kind, a user-side (outer) request that runs to "060", and the urgent
// cancel that a user-side requester matches by its process id.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <thread>

#include "entry/Exports.h"
#include "entry/HostEnvironment.h"
#include "entry/NModule.h"
#include "gateway/GatewayProcess.h"
#include "gendist/CurrentDist.h"
#include "gendist/DistPackager.h"
#include "gendist/NGenDistMgr.h"
#include "gendist/NGenDistMgrTestAccess.h"
#include "gendist/StandInProgram.h"
#include "platform/PlatformProcess.h"
#include "support/HostReports.h"
#include "support/LoopbackHttpServer.h"
#include "support/TestMachine.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using cvdt::test::ServedFile;

constexpr int kDist = 21;
constexpr const char* kIndex = "/Corvane/dist/normal/21.idx.lgz";
constexpr const char* kPart = "/Corvane/dist/normal/21/21.lgz";
constexpr const char* kTime = "20261205120000";
constexpr const char* kEquipCfg = "127.0.0.1|%0|&60";
constexpr const char* kCallArgs = "N|%10";
constexpr uint32_t kRequesterPid = 4321;
constexpr uint32_t kRequesterSession = 7;
#ifdef _WIN32  // the system's own console session: the Windows test machine is the system itself
const uint32_t kConsoleSession = plat::activeConsoleSessionId();
#else
constexpr int kConsoleSession = 3;
#endif

bool eventually(const std::function<bool()>& done, std::chrono::milliseconds deadline = 60s) {
  auto end = std::chrono::steady_clock::now() + deadline;
  while (!done()) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(10ms);
  }
  return true;
}

size_t occurrences(const std::string& text, const std::string& needle) {
  size_t count = 0;
  for (size_t at = text.find(needle); at != std::string::npos; at = text.find(needle, at + 1)) ++count;
  return count;
}

class NGenDistRequesterTest : public testing::Test {
 protected:
  void SetUp() override {
    m_base = cvdt::test::makeTempFolder("cvdt-requester");
    CurrentDist::setStopReason(kStopNone);
    std::string src = m_base + "/src";
    fs::create_directories(src);
    fs::create_directories(m_base + "/root");
    std::ofstream(src + "/readme.txt", std::ios::binary) << "requested\n";
    std::string output = cvdt::test::packNormal(src, m_base + "/root", "--id 21 --name Asked");
    m_strContents = cvdt::test::outputField(output, "contents");
    ASSERT_FALSE(m_strContents.empty()) << output;
    m_machine = std::make_unique<cvdt::test::TestMachine>(
        [](auto& config, auto&) { config.consoleSession = kConsoleSession; });
    m_reports = std::make_unique<cvdt::test::HostReports>();
    m_gateway = std::make_unique<cvdt::test::GatewayProcess>();
    ASSERT_NE(m_gateway->port(), 0);
    m_server = std::make_unique<cvdt::test::LoopbackHttpServer>();
    serveRoot(ServedFile::Fault::None);
    ASSERT_TRUE(m_server->start());
    m_messageProgram = m_machine->host(m_machine->config().moduleFolder + "\\crvmsg.exe");
    cvdt::test::installStandIn(m_messageProgram, 1);  // a busy refusal's message box
    NModule::attach(m_machine->moduleHandle());
    m_bAttached = true;
    fillEnvironment();
    ASSERT_EQ(cvfNDistFunc(0, 0, &m_env, kTime, kCallArgs, kEquipCfg, "", 0, 0, ""), 1);
  }
  void TearDown() override {
    if (m_server) m_server->cutConnections();
    if (m_bAttached) NModule::detach();  // stops the manager thread after the running job
    m_server.reset();
    m_reports.reset();
    m_machine.reset();
    m_gateway.reset();
    std::error_code ec;
    fs::remove_all(m_base, ec);
  }

  void serveRoot(ServedFile::Fault partFault) {
    cvdt::test::serveFolder(*m_server, m_base + "/root", kPart, partFault);
  }
  void fillEnvironment() {
    std::memset(&m_env, 0, sizeof m_env);
    std::strcpy(m_env.m_szEquipId, "EQ0000000001");
    std::strcpy(m_env.m_szDbAddress, "127.0.0.1");
    std::snprintf(m_env.m_szDbPort, sizeof m_env.m_szDbPort, "%d", m_gateway->port());
    std::strcpy(m_env.m_szFtAddress, "http");
    std::snprintf(m_env.m_szFtPort, sizeof m_env.m_szFtPort, "%d", m_server->port());
    std::strcpy(m_env.m_szTransferMode, "P");
  }
  // A user-side request for the package, as a requester fills its content block.
  int postOuter(uint32_t cmdId, uint32_t actorKind, int32_t distId = kDist) {
    DistContent content{};
    EXPECT_EQ(parseDistContent(m_strContents.c_str(), content), 1);
    content.m_nDistId = distId;
    content.m_nActorKind = actorKind;
    content.m_nActorProcessId = kRequesterPid;
    content.m_nActorSessionId = kRequesterSession;
    return cvfNDistCmdOuterRequest(0, cmdId, &m_env, kTime, kCallArgs, kEquipCfg, &content, 0);
  }
  void postCancel(uint32_t cmdId, uint32_t actorKind, uint32_t processId, int32_t distId) {
    UrgentCancelRecord cancel{};
    cancel.m_nActorKind = actorKind;
    cancel.m_nActorProcessId = processId;
    cancel.m_nDistId = distId;
    EXPECT_EQ(cvfNDistUrgentTopCancelForceCmd(0, cmdId, &m_env, kTime, "", "", &cancel, 0), 0);
  }
  std::string historyStatus(uint32_t cmdId) {
    cvdt::test::DbProbe db(m_gateway->dbPath());
    std::vector<std::string> rows;
    eventually([&] {
      rows = db.rows("SELECT status FROM n_equip_history WHERE cmd_id = " + std::to_string(cmdId));
      return !rows.empty();
    });
    return rows.size() == 1 ? rows[0] : "<" + std::to_string(rows.size()) + " rows>";
  }
  // The job settings the worker traced for the job after the log's first `from` bytes.
  std::string settingsTracedAfter(size_t from) {
    std::string log;
    eventually([&] {
      log = m_machine->traceLog();
      return log.size() > from && log.find("_n_dt_actor_session_id", from) != std::string::npos;
    });
    return log.size() > from ? log.substr(from) : "";
  }
  bool workerEnded() {
    return eventually([] { return CurrentDist::runningDistId() <= 0; });
  }

  std::string m_base;
  std::string m_strContents;
  std::string m_messageProgram;
  std::unique_ptr<cvdt::test::TestMachine> m_machine;
  std::unique_ptr<cvdt::test::HostReports> m_reports;
  std::unique_ptr<cvdt::test::GatewayProcess> m_gateway;
  std::unique_ptr<cvdt::test::LoopbackHttpServer> m_server;
  HostEnvironment m_env{};
  bool m_bAttached = false;
};

// A user-side requester's ids are kept; a request in the command actor's name carries this
// process's id and the console session, whatever the caller wrote. Both requests are accepted
// with the queue empty and nothing running, run to "060", and write their result to the gateway.
TEST_F(NGenDistRequesterTest, ActorIdsFollowTheActorKindAndAnAcceptedOuterRequestRunsTo060) {
  struct Row {
    uint32_t cmdId;
    uint32_t actorKind;
    uint32_t processId;
    uint32_t sessionId;
  } rows[] = {
      {701, 1, kRequesterPid, kRequesterSession},
      {702, 0, static_cast<uint32_t>(getpid()), kConsoleSession},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE("actor kind " + std::to_string(row.actorKind));
    size_t before = m_machine->traceLog().size();
    EXPECT_NE(postOuter(row.cmdId, row.actorKind), 0);  // queued
    EXPECT_TRUE(m_reports->waitFor(row.cmdId, "060", 60s)) << m_reports->codesOf(row.cmdId);
    EXPECT_EQ(historyStatus(row.cmdId), "060");
    std::string traced = settingsTracedAfter(before);
    EXPECT_NE(traced.find("NGenDist::set: _n_dt_actor: " + std::to_string(row.actorKind) + "\n"),
              std::string::npos) << traced;
    EXPECT_NE(traced.find("NGenDist::set: _n_dt_actor_process_id: " + std::to_string(row.processId) + "\n"),
              std::string::npos) << traced;
    EXPECT_NE(traced.find("NGenDist::set: _n_dt_actor_session_id: " + std::to_string(row.sessionId) + "\n"),
              std::string::npos) << traced;
    EXPECT_EQ(m_machine->readFile(m_machine->config().moduleFolder + "\\ndist_temp\\21\\readme.txt"),
              "requested\n");
    ASSERT_TRUE(workerEnded());
  }
  // The host's own command always stands for the command actor.
  size_t before = m_machine->traceLog().size();
  ASSERT_EQ(cvfNDistCmd(0, 703, &m_env, kTime, kCallArgs, kEquipCfg, m_strContents.c_str(), 0), 1);
  EXPECT_TRUE(m_reports->waitFor(703, "060", 60s)) << m_reports->codesOf(703);
  std::string traced = settingsTracedAfter(before);
  EXPECT_NE(traced.find("NGenDist::set: _n_dt_actor_process_id: " + std::to_string(getpid()) + "\n"),
            std::string::npos) << traced;
  EXPECT_NE(traced.find("NGenDist::set: _n_dt_actor_session_id: " + std::to_string(kConsoleSession) + "\n"),
            std::string::npos) << traced;
}

// A user-side requester's job, held in its download: another outer request is refused as busy;
// cancels that are not the requester's (another process, process id
// 0, another distribution, an unknown actor kind) leave it running; the requester's own cancel
// stops it ("942", the gateway keeps it). The refused request is told to its requester only
// (the message program's text is the manager tests' concern).
TEST_F(NGenDistRequesterTest, TheRequestersCancelMatchesItsJobByProcessId) {
  serveRoot(ServedFile::Fault::Stall);
  ASSERT_NE(postOuter(711, 1), 0);
  ASSERT_TRUE(eventually([] { return CurrentDist::runningDistId() == kDist; }));
  // Held in the part: the index has gone out whole.
  ASSERT_TRUE(m_server->waitForBytesSent(fs::file_size(m_base + "/root" + kIndex) + 1, 60s));

  EXPECT_EQ(postOuter(712, 1, kDist + 1), 0);  // a job runs: busy

  struct Cancel {
    uint32_t actorKind;
    uint32_t processId;
    int32_t distId;
  } others[] = {{1, kRequesterPid + 1, kDist}, {1, 0, kDist}, {1, kRequesterPid, kDist + 1},
                {2, kRequesterPid, kDist}};
  NGenDistMgr& manager = *NModule::commandedManager();
  const std::string taken = "NGenDistMgr::run: GetNextCommand SUCC! code=5\n";
  size_t cancelsTaken = occurrences(m_machine->traceLog(), taken);
  uint32_t cmdId = 713;
  for (const Cancel& cancel : others) {
    SCOPED_TRACE("cancel kind " + std::to_string(cancel.actorKind) + " pid " +
                 std::to_string(cancel.processId) + " dist " + std::to_string(cancel.distId));
    postCancel(cmdId++, cancel.actorKind, cancel.processId, cancel.distId);
    ++cancelsTaken;
    ASSERT_TRUE(eventually([&] {
      return NGenDistMgrTestAccess::queued(manager) == 0 &&
             occurrences(m_machine->traceLog(), taken) >= cancelsTaken;
    }));
    EXPECT_EQ(CurrentDist::stopReason(), kStopNone);
    EXPECT_EQ(CurrentDist::runningDistId(), kDist);
  }
  postCancel(cmdId, 1, kRequesterPid, kDist);
  ASSERT_TRUE(eventually([] { return CurrentDist::stopReason() == kStopCancelByActor; }));
  EXPECT_EQ(historyStatus(711), "942");
  EXPECT_TRUE(eventually([&] { return m_reports->codesOf(711) == "070 040"; })) << m_reports->codesOf(711);
  EXPECT_EQ(m_reports->codesOf(712), "");  // the refused request is told to its requester only
  EXPECT_TRUE(workerEnded());
}

}  // namespace
