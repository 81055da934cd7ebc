// The order a commanded job shows while a part's digest is checked during the next part's
// transfer: trace lines and progress reports come part after part, the lowest-numbered bad part
// is the one that fails the job, and a part fetched ahead of a bad one is not left behind.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <future>
#include <random>
#include <string>
#include <vector>

#include "gendist/DistPackager.h"
#include "gendist/NGenDist.h"
#include "platform/PlatformSync.h"
#include "support/HostReports.h"
#include "support/LoopbackHttpServer.h"
#include "support/TestMachine.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using cvdt::test::ServedFile;

constexpr int kParts = 6;
constexpr size_t kPartSize = 4 * 1024 * 1024;
constexpr uint32_t kCmdId = 601;

std::string partName(int part) {
  char name[32];
  if (part == 0) std::snprintf(name, sizeof name, "12.lgz");
  else std::snprintf(name, sizeof name, "12.l%5.5d", part);
  return name;
}

class NGenDistPartOrderTest : public testing::Test {
 protected:
  // Distribution 12 in kParts parts of incompressible data.
  void SetUp() override {
    m_base = cvdt::test::makeTempFolder("cvdt-part-order");
    fs::create_directories(m_base + "/src");
    fs::create_directories(m_base + "/root");
    std::mt19937 random(12);
    std::string noise(kPartSize * kParts - kPartSize / 2, '\0');
    for (char& c : noise) c = static_cast<char>(random());
    std::ofstream(m_base + "/src/data.bin", std::ios::binary) << noise;
    std::string output =
        cvdt::test::packNormal(m_base + "/src", m_base + "/root",
                               "--id 12 --name Order --part-size " + std::to_string(kPartSize));
    m_strContents = cvdt::test::outputField(output, "contents");
    ASSERT_FALSE(m_strContents.empty()) << output;
    ASSERT_TRUE(fs::exists(m_base + "/root/Corvane/dist/normal/12/" + partName(kParts - 1)));
  }
  void TearDown() override { fs::remove_all(m_base); }

  // A server for the package whose part `changed` has one byte changed (its digest no longer
  // matches) and whose part `faulty` shows the fault; -1 for none.
  void serve(cvdt::test::LoopbackHttpServer& server, int changed, int faulty, ServedFile::Fault fault) {
    std::string root = m_base + "/root";
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
      if (!entry.is_regular_file()) continue;
      std::string path = "/" + fs::relative(entry.path(), root).generic_string();
      ServedFile file = ServedFile::fromDisk(entry.path().string());
      if (changed >= 0 && entry.path().filename() == partName(changed)) {
        std::ifstream in(entry.path(), std::ios::binary);
        file = ServedFile::of(std::string((std::istreambuf_iterator<char>(in)), {}));
        file.content[file.content.size() / 2] ^= 0x5A;
      }
      if (faulty >= 0 && entry.path().filename() == partName(faulty)) file.fault = fault;
      server.addFile(path, file);
    }
  }

  // Runs the job on a thread of its own; a job that is still running after the deadline is
  // freed by cutting the server's connections and fails the test.
  int runJob(cvdt::test::LoopbackHttpServer& server) {
    auto record = std::make_unique<DistCommandRecord>();
    std::memset(record.get(), 0, sizeof(DistCommandRecord));
    record->m_nCmdId = kCmdId;
    std::strcpy(record->m_hostEnv.m_szFtAddress, "http");
    std::snprintf(record->m_hostEnv.m_szFtPort, sizeof record->m_hostEnv.m_szFtPort, "%d", server.port());
    std::strcpy(record->m_hostEnv.m_szTransferMode, "P");
    std::strcpy(record->m_szCurTime, "20261205120000");
    std::strcpy(record->m_szCallArgs, "Y|%0");  // every progress report reaches the host
    std::strcpy(record->m_szEquipCfg, "127.0.0.1");
    EXPECT_EQ(parseDistContent(m_strContents.c_str(), record->m_content), 1);
    plat::Event stop(false);
    NGenDist job;
    int distId = 0;
    EXPECT_EQ(job.initSetting(*record, distId), 1);
    auto done = std::async(std::launch::async, [&] { return job.doDistNormal(&stop); });
    if (done.wait_for(60s) != std::future_status::ready) {
      ADD_FAILURE() << "the job still waits for a transfer";
      server.cutConnections();
    }
    int result = done.get();
    m_strStatus = job.status().text();
    return result;
  }

  // The percentages of the job's part progress reports at the host, in arrival order.
  std::vector<int> progressShown(cvdt::test::HostReports& reports) {
    std::vector<int> shown;
    for (const auto& result : reports.results()) {
      size_t percent = result.detail.find(" %)");
      size_t open = result.detail.rfind('(', percent);
      if (result.cmdId == kCmdId && result.code == "070" && percent != std::string::npos && open != std::string::npos)
        shown.push_back(std::stoi(result.detail.substr(open + 1)));
    }
    return shown;
  }
  static std::vector<int> progressUpTo(int parts) {
    std::vector<int> expected;
    for (int i = 1; i <= parts; ++i) expected.push_back(i * 100 / kParts);
    return expected;
  }
  std::string partFolder(const cvdt::test::TestMachine& machine) const {
    return machine.host(machine.config().moduleFolder + "\\ndist\\12");
  }
  // The parts in the job folder by name; a transfer's temporary file fails the test.
  std::vector<std::string> partsInPlace(const cvdt::test::TestMachine& machine) const {
    std::vector<std::string> names;
    for (int i = 0; i < kParts; ++i)
      if (fs::exists(partFolder(machine) + "/" + partName(i))) names.push_back(partName(i));
    for (const auto& entry : fs::directory_iterator(partFolder(machine)))
      EXPECT_EQ(entry.path().filename().string().find(".cvftc-"), std::string::npos) << entry.path();
    return names;
  }

  std::string m_base;
  std::string m_strContents;
  std::string m_strStatus;
};

// Part 2 arrives with a wrong digest while part 3 is fetched ahead: the job ends with "904" for
// part 2, shows progress only for parts 0 and 1, traces nothing about part 3 and leaves no part 3
// behind (the bad part 2 stays, as any part already downloaded does). Part 3 is either held
// half-sent by the server, so the job must end its transfer (repeated until a run has caught
// part 3 on the wire), or served whole, so it may have arrived and must be removed again.
TEST_F(NGenDistPartOrderTest, BadPartFailsTheJobAndThePartFetchedAheadIsDropped) {
  for (ServedFile::Fault ahead : {ServedFile::Fault::Stall, ServedFile::Fault::None}) {
    bool stalled = ahead == ServedFile::Fault::Stall;
    bool caughtOnTheWire = false;
    for (int attempt = 0; attempt < (stalled ? 10 : 3) && !caughtOnTheWire && !HasFailure(); ++attempt) {
      SCOPED_TRACE(std::string(stalled ? "held" : "whole") + ", attempt " + std::to_string(attempt));
      cvdt::test::TestMachine machine;
      cvdt::test::HostReports reports;
      cvdt::test::LoopbackHttpServer server;
      serve(server, 2, 3, ahead);
      ASSERT_TRUE(server.start());
      EXPECT_EQ(runJob(server), 0);
      EXPECT_EQ(m_strStatus, "904");
      for (const std::string& request : server.requests())
        caughtOnTheWire = caughtOnTheWire || (stalled && request.find(partName(3)) != std::string::npos);

      ASSERT_TRUE(reports.waitFor(kCmdId, "040"));
      EXPECT_EQ(progressShown(reports), progressUpTo(2));
      EXPECT_EQ(partsInPlace(machine), (std::vector<std::string>{partName(0), partName(1), partName(2)}));
      std::string log = machine.traceLog();
      size_t invalid = log.find("NGenDist::downloadFiles: invalid file (");
      ASSERT_NE(invalid, std::string::npos) << log;
      EXPECT_NE(log.find(partName(2) + ", 2)", invalid), std::string::npos) << log.substr(invalid, 200);
      EXPECT_EQ(log.find(partName(3)), std::string::npos) << "part 3 was traced";
      EXPECT_EQ(log.find("get error"), std::string::npos);
    }
    if (stalled) {
      EXPECT_TRUE(caughtOnTheWire) << "no run requested part 3 before part 2 was found bad";
    }
  }
}

// A whole job with every part fetched: progress for every part in order, "060", every part in
// place; run again, every part is kept and the same progress is shown.
TEST_F(NGenDistPartOrderTest, EveryPartIsReportedInOrderFetchedOrKept) {
  cvdt::test::TestMachine machine;
  cvdt::test::LoopbackHttpServer server;
  serve(server, -1, -1, ServedFile::Fault::None);
  ASSERT_TRUE(server.start());
  for (int run = 0; run < 2; ++run) {
    SCOPED_TRACE(run == 0 ? "fetched" : "kept");
    cvdt::test::HostReports reports;
    EXPECT_EQ(runJob(server), 1);
    EXPECT_EQ(m_strStatus, "060");
    ASSERT_TRUE(reports.waitFor(kCmdId, "060"));
    EXPECT_EQ(progressShown(reports), progressUpTo(kParts));
    EXPECT_EQ(partsInPlace(machine).size(), static_cast<size_t>(kParts));
  }
  std::string log = machine.traceLog();
  size_t skipped = log.find("download SKIPPED");
  ASSERT_NE(skipped, std::string::npos);
  // Each kept part's line comes before its own progress line and after the previous one's.
  for (int i = 0; i < kParts; ++i) {
    size_t line = log.find("download SKIPPED! beacause same digest(" + std::to_string(i) + ",", skipped);
    size_t progress = log.find("(" + std::to_string((i + 1) * 100 / kParts) + " %)", skipped);
    ASSERT_NE(line, std::string::npos) << i;
    EXPECT_LT(line, progress) << i;
    skipped = progress;
  }
}

}  // namespace
