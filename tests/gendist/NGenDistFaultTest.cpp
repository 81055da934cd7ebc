// Faults during a commanded job's transfers run by the real manager thread: the disk filling
// up, and a manager stop, an urgent cancel or a ban period while the index or a part is under
// way. Each job ends with its status at the host and in the gateway's history, leaves no partial
// download behind, and the next job runs.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <random>
#include <thread>

#include "gateway/GatewayProcess.h"
#include "gendist/CurrentDist.h"
#include "gendist/DistPackager.h"
#include "gendist/NGenDistMgr.h"
#include "gendist/NGenDistMgrTestAccess.h"
#include "net/NCompanionCache.h"
#include "support/CommandOutput.h"
#include "support/HostReports.h"
#include "support/LoopbackHttpServer.h"
#include "support/TestMachine.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using cvdt::test::ServedFile;

constexpr int kDist = 12;
constexpr const char* kPartFolder = "/Corvane/dist/normal/12";
constexpr const char* kIndex = "/Corvane/dist/normal/12.idx.lgz";
constexpr const char* kNoBan = "127.0.0.1|%0|&60";
constexpr const char* kBanAtThree = "127.0.0.1|%0|&60|&Y|%03:00:00|*04:00:00";
constexpr const char* kDayTime = "20261205120000";
constexpr const char* kBanTime = "20261205033000";
constexpr auto kDeadline = 60s;

// Waits for a condition with a deadline, looking every 10 ms.
bool eventually(const std::function<bool()>& done, std::chrono::milliseconds deadline = kDeadline) {
  auto end = std::chrono::steady_clock::now() + deadline;
  while (!done()) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(10ms);
  }
  return true;
}

class NGenDistFaultTest : public testing::Test {
 protected:
  void SetUp() override {
    m_base = cvdt::test::makeTempFolder("cvdt-faults");
    CurrentDist::setStopReason(kStopNone);  // a manager stop's reason outlives its thread
  }
  void TearDown() override {
    if (m_manager) m_manager->setEvent();
    m_manager.reset();
    m_server.reset();
    m_reports.reset();
    m_machine.reset();
    m_gateway.reset();
    if (!m_strMount.empty()) {
      NCompanionCache::releaseAll();  // the companions loaded from the mounted drive
      // Lazily, in case something of this process still maps a file there.
      cvdt::test::commandOutput("umount -l " + m_strMount + " 2>&1");
    }
    std::error_code ec;
    fs::remove_all(m_base, ec);
  }

  // Packs distribution 12 (incompressible data in 64 KiB parts), lays out the machine and starts
  // the gateway and the HTTP server.
  void prepare(const cvdt::test::TestMachine::Customize& customize = nullptr) {
    std::string src = m_base + "/src";
    fs::create_directories(src);
    fs::create_directories(m_base + "/root");
    std::mt19937 random(12);
    std::string noise(m_nDataSize, '\0');
    for (char& c : noise) c = static_cast<char>(random());
    std::ofstream(src + "/data.bin", std::ios::binary) << noise;
    std::string output =
        cvdt::test::packNormal(src, m_base + "/root", "--id 12 --name Faults --part-size 65536");
    m_strContents = cvdt::test::outputField(output, "contents");
    ASSERT_FALSE(m_strContents.empty()) << output;
    m_machine = std::make_unique<cvdt::test::TestMachine>(customize);
    m_reports = std::make_unique<cvdt::test::HostReports>();
    m_gateway = std::make_unique<cvdt::test::GatewayProcess>();
    ASSERT_NE(m_gateway->port(), 0);
    m_db = std::make_unique<cvdt::test::DbProbe>(m_gateway->dbPath());
    m_server = std::make_unique<cvdt::test::LoopbackHttpServer>();
    serveRoot();
    ASSERT_TRUE(m_server->start());
  }
  void serveRoot(const std::string& faultPath = "", ServedFile::Fault fault = ServedFile::Fault::None) {
    cvdt::test::serveFolder(*m_server, m_base + "/root", faultPath, fault);
  }

  void startManager(const char* equipCfg = kNoBan) {
    if (!m_manager) m_manager = std::make_unique<NGenDistMgr>();
    ASSERT_EQ(m_manager->initSetting(kDayTime, "", equipCfg, "", 0), 1);
    ASSERT_EQ(m_manager->createThread(), 1);
  }
  // Posts a job for distribution 12 against the HTTP server and the gateway; returns its command
  // id.
  uint32_t post() {
    auto* record = static_cast<DistCommandRecord*>(std::calloc(1, sizeof(DistCommandRecord)));
    uint32_t cmdId = m_nNextCmdId++;
    record->m_nCmdId = cmdId;
    std::strcpy(record->m_hostEnv.m_szEquipId, "EQ0000000001");
    std::strcpy(record->m_hostEnv.m_szDbAddress, "127.0.0.1");
    std::snprintf(record->m_hostEnv.m_szDbPort, sizeof record->m_hostEnv.m_szDbPort, "%d",
                  m_gateway->port());
    std::strcpy(record->m_hostEnv.m_szFtAddress, "http");
    std::snprintf(record->m_hostEnv.m_szFtPort, sizeof record->m_hostEnv.m_szFtPort, "%d",
                  m_server->port());
    std::strcpy(record->m_hostEnv.m_szTransferMode, "P");
    std::strcpy(record->m_szCurTime, kDayTime);
    std::strcpy(record->m_szCallArgs, "N|%10");
    std::strcpy(record->m_szEquipCfg, "127.0.0.1");
    EXPECT_EQ(parseDistContent(m_strContents.c_str(), record->m_content), 1);
    int length = 0;
    EXPECT_NE(m_manager->post(kDist, 0, 1, ThreadCommand{kRunGenDistFromCommandProc, record,
                                                         sizeof(DistCommandRecord), 0},
                              &length, 0), 0);
    return cmdId;
  }
  // The status the gateway's history holds for the command, waiting for its row.
  std::string historyStatus(uint32_t cmdId) {
    std::vector<std::string> rows;
    eventually([&] {
      rows = m_db->rows("SELECT status FROM n_equip_history WHERE cmd_id = " + std::to_string(cmdId));
      return !rows.empty();
    });
    return rows.empty() ? "<no row>" : rows.size() > 1 ? "<" + std::to_string(rows.size()) + " rows>" : rows[0];
  }
  // A job that must now run to its end: "060" at the host and in the history.
  void expectNextJobSucceeds() {
    // A job for the same distribution is refused ("100") until the last one has ended.
    ASSERT_TRUE(eventually([] { return CurrentDist::runningDistId() != kDist; }));
    uint32_t cmdId = post();
    EXPECT_TRUE(m_reports->waitFor(cmdId, "060", kDeadline)) << m_reports->codesOf(cmdId);
    EXPECT_EQ(historyStatus(cmdId), "060");
    EXPECT_EQ(m_machine->readFile(m_machine->config().moduleFolder + "\\ndist_temp\\12\\data.bin").size(),
              m_nDataSize);
    // Its row is written before its worker ends; the next post waits for that end.
    EXPECT_TRUE(eventually([] { return CurrentDist::runningDistId() != kDist; }));
  }
  // Nothing half-written in the job folder: no transfer's temporary file, and every part there
  // is the server's part, whole.
  void expectOnlyWholeParts() {
    std::string jobs = m_machine->host(m_machine->config().moduleFolder + "\\ndist");
    std::error_code ec;
    for (const auto& entry : fs::recursive_directory_iterator(jobs, ec)) {
      std::string name = entry.path().filename().string();
      EXPECT_EQ(name.find(".cvftc-"), std::string::npos) << "temporary file left: " << entry.path();
      if (entry.is_regular_file() && entry.path().parent_path().filename() == "12") {
        std::string served = m_base + "/root" + kPartFolder + "/" + name;
        EXPECT_EQ(fs::file_size(entry.path()), fs::file_size(served)) << "partial part " << entry.path();
      }
    }
  }
  // Bytes sent before the part at index (0-based) begins: the index and the earlier parts.
  uint64_t bytesBeforePart(int part) {
    uint64_t bytes = fs::file_size(m_base + "/root" + kIndex);
    for (int i = 0; i < part; ++i) bytes += fs::file_size(m_base + "/root" + partPath(i));
    return bytes;
  }
  static std::string partPath(int part) {
    char name[32];
    if (part == 0) std::snprintf(name, sizeof name, "/12.lgz");
    else std::snprintf(name, sizeof name, "/12.l%5.5d", part);
    return std::string(kPartFolder) + name;
  }

  std::string m_base;
  std::string m_strContents;
  std::string m_strMount;  // a tmpfs mounted by the test, unmounted afterwards
  std::unique_ptr<cvdt::test::TestMachine> m_machine;
  std::unique_ptr<cvdt::test::HostReports> m_reports;
  std::unique_ptr<cvdt::test::GatewayProcess> m_gateway;
  std::unique_ptr<cvdt::test::DbProbe> m_db;
  std::unique_ptr<cvdt::test::LoopbackHttpServer> m_server;
  std::unique_ptr<NGenDistMgr> m_manager;
  uint32_t m_nNextCmdId = 801;
  uint64_t m_nSent = 0;         // bytes the server had sent before the job under test
  size_t m_nDataSize = 200000;  // the package's data file
};

// The machine's C: drive is a small tmpfs that fills up during the download: the part that
// does not fit ends the job with "904", nothing partial stays, and once space is freed the next
// job runs. Needs permission to mount (CI runs as root).
TEST_F(NGenDistFaultTest, DiskFullDuringTheDownloadEndsWith904AndLeavesNothingPartial) {
  std::string drive = m_base + "/drive-c";
  fs::create_directories(drive);
  std::string mounted = cvdt::test::commandOutput("mount -t tmpfs -o size=160m cvdt-test " + drive +
                                                  " 2>&1 && echo mounted");
  if (mounted.find("mounted") == std::string::npos)
    GTEST_SKIP() << "cannot mount a tmpfs as the machine's C: drive (needs root): " << mounted;
  m_strMount = drive;
  // The extraction library keeps a reserve of at least 1 MiB free, so the index is only
  // unpacked with more room than that: the package is larger than the room left after it.
  m_nDataSize = 2500000;
  // Failures alone are traced, so the trace log on the same drive takes next to no room.
  ASSERT_NO_FATAL_FAILURE(prepare([&](plat::posix::MachineConfig& config, plat::posix::LayoutOptions& options) {
    config.drives['C'].folder = drive;
    options.traceLevel = "1";
  }));
  // The disk check sees room for the package: the contents text claims 1 KiB.
  size_t sizeField = 0;
  for (int i = 0; i < 12; ++i) sizeField = m_strContents.find("|$", sizeField) + 2;
  m_strContents.replace(sizeField, m_strContents.find("|$", sizeField) - sizeField, "1");
  startManager();
  // Room for the index (its archive, the extracted copy and the moved file), the extraction
  // library's reserve and about half the parts.
  std::string filler = drive + "/filler";
  uint64_t room = fs::space(drive).available;
  uint64_t keep = 2 * fs::file_size(m_base + "/root" + kIndex) + 1024 * 1024 + m_nDataSize / 2;
  ASSERT_GT(room, keep);
  ASSERT_EQ(cvdt::test::commandOutput("fallocate -l " + std::to_string(room - keep) + " " + filler +
                                      " 2>&1 && echo ok"), "ok\n");
  uint32_t full = post();
  EXPECT_EQ(historyStatus(full), "904");
  expectOnlyWholeParts();

  fs::remove(filler);
  expectNextJobSucceeds();
}

enum class Stop { Manager, Cancel, Ban };

const char* nameOf(Stop stop) {
  return stop == Stop::Manager ? "manager stop" : stop == Stop::Cancel ? "urgent cancel" : "ban period";
}

// Posts the stop while the job is held at a stage, and returns once the manager has signalled
// the worker (the manager stop runs on its own thread, since it waits for the job's end).
class StopDriver {
 public:
  StopDriver(NGenDistMgr& manager, const cvdt::test::TestMachine& machine)
      : m_manager(manager), m_machine(machine) {}
  ~StopDriver() { finish(); }
  bool post(Stop stop) {
    int32_t reason = stop == Stop::Manager ? kStopManager
                     : stop == Stop::Cancel ? kStopCancelByDistId
                                            : kStopBanPeriod;
    if (stop == Stop::Manager) {
      m_stopper = std::thread([this] { m_manager.setEvent(); });
    } else if (stop == Stop::Cancel) {
      auto* cancel = static_cast<UrgentCancelRecord*>(std::calloc(1, sizeof(UrgentCancelRecord)));
      cancel->m_nDistId = kDist;
      int length = 0;
      m_manager.post(kDist, 0, 1, ThreadCommand{kUrgentTopCancelForce, cancel, sizeof *cancel, 0}, &length, 1);
    } else {
      // The next ban check finds the time in the period; the manager clears the ban's reason
      // when the job ends, so its trace line tells that it was seen.
      size_t before = banChecksTraced();
      m_manager.initSetting(kBanTime, "", kBanAtThree, "", 0);
      bool seen = eventually([&] { return banChecksTraced() > before; });
      m_manager.initSetting(kDayTime, "", kBanAtThree, "", 0);
      return seen;
    }
    return eventually([&] { return CurrentDist::stopReason() == reason; });
  }
  // Waits for a manager stop to return.
  void finish() {
    if (m_stopper.joinable()) m_stopper.join();
  }

 private:
  size_t banChecksTraced() const {
    std::string log = m_machine.traceLog();
    size_t count = 0;
    for (size_t at = log.find(kBanLine); at != std::string::npos; at = log.find(kBanLine, at + 1)) ++count;
    return count;
  }
  static constexpr const char* kBanLine = "NGenDistMgr::run: curr time is BanDT_PeriodTime.!";

  NGenDistMgr& m_manager;
  const cvdt::test::TestMachine& m_machine;
  std::thread m_stopper;
};

// A stop that meets a transfer ends it: the failed step's status ("926" for the index, sent at
// once, "904" for a part, not), then the stop's own ("940", "941", "942"), which the gateway
// keeps. The host hears "040" for each status sent. Whole parts stay, nothing partial does, and
// the next job runs.
TEST_F(NGenDistFaultTest, StopsDuringTheIndexOrAPartEndTheTransferWithTheStopsStatus) {
  ASSERT_NO_FATAL_FAILURE(prepare());
  struct Row {
    bool index;  // stalled in the index, else in the second part
    Stop stop;
    const char* status;
    const char* host;
  } rows[] = {
      {true, Stop::Cancel, "942", "070 040 040"},  {true, Stop::Ban, "941", "070 040 040"},
      {false, Stop::Cancel, "942", "070 040"},     {false, Stop::Ban, "941", "070 040"},
      {true, Stop::Manager, "940", "070 040 040"}, {false, Stop::Manager, "940", "070 040"},
  };
  startManager(kBanAtThree);
  for (const Row& row : rows) {
    SCOPED_TRACE(std::string(nameOf(row.stop)) + (row.index ? " in the index" : " in a part"));
    fs::remove_all(m_machine->host(m_machine->config().moduleFolder + "\\ndist\\12"));
    serveRoot(row.index ? kIndex : partPath(1), ServedFile::Fault::Stall);
    uint32_t cmdId = post();
    ASSERT_TRUE(eventually([&] { return CurrentDist::runningDistId() == kDist; }));
    ASSERT_TRUE(m_server->waitForBytesSent(m_nSent + (row.index ? 1 : bytesBeforePart(1) + 1), kDeadline));
    StopDriver driver(*m_manager, *m_machine);
    ASSERT_TRUE(driver.post(row.stop));
    driver.finish();
    EXPECT_EQ(historyStatus(cmdId), row.status);
    EXPECT_TRUE(eventually([&] { return m_reports->codesOf(cmdId) == row.host; }))
        << m_reports->codesOf(cmdId);
    expectOnlyWholeParts();
    m_server->cutConnections();  // ends the stalled send
    m_nSent = m_server->bytesSent();
    serveRoot();
    if (row.stop == Stop::Manager) startManager(kBanAtThree);
    CurrentDist::setStopReason(kStopNone);
    expectNextJobSucceeds();
    m_nSent = m_server->bytesSent();
  }
}

// The manager signals the worker's stop event for a ban check that it makes while it still
// counts a job as running, which happens when the worker has just ended and the manager has
// not yet taken its end signal. Nobody waits for that signal any more: it must not stop the
// next job at its first transfer.
TEST_F(NGenDistFaultTest, AStopSignalledAfterItsJobEndedDoesNotStopTheNextJob) {
  ASSERT_NO_FATAL_FAILURE(prepare());
  startManager();
  NGenDistMgrTestAccess::workerStop(*m_manager).set();
  expectNextJobSucceeds();
}

}  // namespace
