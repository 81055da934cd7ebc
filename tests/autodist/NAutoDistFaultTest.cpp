// Faults around automatic passes: the gateway down while the pass reports (the items still
// complete and their statuses still reach the status record, the registry and the state file;
// how long a silent gateway may hold a report is NDBQuery's own), and the machine's C: drive
// filling up during a download (the item ends "904" with its detail, only whole parts stay,
// nothing reaches the destination, and the next pass resumes).
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <random>

#include "StagesFixture.h"
#include "autodist/AutoDistTestAccess.h"
#include "net/NCompanionCache.h"
#include "platform/NMisc.h"
#include "support/CommandOutput.h"

using ::testing::HasSubstr;
using ::testing::Not;

namespace cvdt::test {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using Access = NAutoDistTestAccess;

std::string noise(size_t size) {
  std::mt19937 random(static_cast<unsigned>(size));
  std::string bytes(size, '\0');
  for (char& c : bytes) c = static_cast<char>(random());
  return bytes;
}

class AutoFaultTest : public StagesTest {
 protected:
  // The machine goes before its drive is unmounted, and the drive before its folder.
  void TearDown() override {
    m_server.stop();  // before the drive it serves from goes
    m_access.reset();
    m_worker.reset();
    m_manager.reset();
    m_machine.reset();
    if (!m_strMount.empty()) {
      NCompanionCache::releaseAll();  // the companions loaded from the mounted drive
      // Lazily, in case something of this process still maps a file there.
      commandOutput("umount -l " + m_strMount + " 2>&1");
    }
    StagesTest::TearDown();
  }
  // The item's status in the published block, or "" when it is not there.
  std::string publishedStatus(int32_t id) {
    std::vector<uint8_t> image = publishedBlock();
    if (image.size() != ADistSharedState::kSize) return "";
    const auto* state = reinterpret_cast<const ADistSharedState*>(image.data());
    for (int i = 0; i < state->m_nItemCount; ++i)
      if (state->m_items[i].m_nDistId == id) return state->m_items[i].m_szStatus;
    return "";
  }
  std::string m_strMount;  // a tmpfs mounted by the test, unmounted afterwards
};

// Item 31 has a package; item 32 has none (its index archive is missing: "901") and comes
// last. Nothing listens at the gateway's port, so every report fails: the pass completes its
// items all the same, and their statuses reach the record, the registry and the state file.
TEST_F(AutoFaultTest, GatewayDownDuringReportsLeavesThePassAndItsStatusesWhole) {
  makeMachine();
  m_machine->writeFile(moduleFolder() + "\\crvUI.ini", "[cvdt]\nWRITE_STATE=1\nERR_DETL_LOG=1\n");
  AutoPackage package = pack(31, {{"install.bat", kCountingBatch}, {"data.txt", "data"}},
                             "--dest 'C:\\Apps\\31' --program install.bat --update-id 4");
  serve(m_server, package.root);
  ASSERT_TRUE(m_server.start());
  setHostEnvironment(1, m_server.port());
  command("2|%60|%Y|%0",
          "32|*Missing|*00000000000000000000000000000000|&31|*Good|*" + package.digest, 3);
  Access::run(*m_worker);
  EXPECT_STREQ(item(31).m_szStatus, "060");
  EXPECT_EQ(m_machine->readFile("C:\\Apps\\31\\data.txt"), "data");
  EXPECT_EQ(m_machine->readFile("C:\\Apps\\31\\runs.txt"), "ran\n");
  EXPECT_EQ(m_machine->readFile("C:\\Apps\\31\\ADist_Status.txt"), "2");
  EXPECT_EQ(publishedStatus(31), "060");
  EXPECT_STREQ(item(32).m_szStatus, "901");
  EXPECT_EQ(publishedStatus(32), "901");
  EXPECT_STREQ(m_worker->sharedState().m_status.m_szStatus, "901");
  EXPECT_THAT(
      traceLog(),
      HasSubstr(
          "NAutoDist::updateDBDistStatus: failed (EQUIP_ID|#S|#EQ0000000001|$DIST_ID|#I|#31|$"));
}

// The machine's C: drive (destination, package folder and trace log) is a small tmpfs.
class DiskFullTest : public AutoFaultTest {
 protected:
  // False (and the test skipped) when mounting is not permitted.
  bool mountDrive() {
    std::string drive = m_base + "/drive-c";
    fs::create_directories(drive);
    std::string mounted = commandOutput("mount -t tmpfs -o size=160m cvdt-test " + drive + " 2>&1 && echo mounted");
    if (mounted.find("mounted") == std::string::npos) {
      m_strSkip = "cannot mount a tmpfs as the machine's C: drive (needs root): " + mounted;
      return false;
    }
    m_strMount = drive;
    return true;
  }
  // Fills the drive until less than keep bytes are free.
  void fill(uint64_t keep) {
    for (int n = 0; n < 8; ++n) {
      uint64_t available = fs::space(m_strMount).available;
      if (available <= keep + 4096) break;
      std::string filler = m_strMount + "/filler" + std::to_string(m_nFillers++);
      commandOutput("fallocate -l " + std::to_string(available - keep) + " " + filler + " 2>&1");
    }
    ASSERT_LT(fs::space(m_strMount).available, keep + 64 * 1024);
  }
  void unfill() {
    for (int n = 0; n < m_nFillers; ++n) fs::remove(m_strMount + "/filler" + std::to_string(n));
    m_nFillers = 0;
  }
  // No transfer's temporary file anywhere in the package folder, and every part there is the
  // served part, whole; how many parts there are.
  int expectOnlyWholeParts(const std::string& root) {
    int parts = 0;
    std::string packageFolder = m_machine->host(moduleFolder() + "\\adist\\34");
    std::error_code ec;
    for (const auto& entry : fs::recursive_directory_iterator(packageFolder, ec)) {
      std::string name = entry.path().filename().string();
      EXPECT_THAT(name, Not(HasSubstr(".cvftc-"))) << "temporary file left: " << entry.path();
      if (!entry.is_regular_file() || name.rfind("data.bin.l", 0) != 0) continue;
      std::string served = root + "/Corvane/dist/auto/34/zip/" + name;
      EXPECT_EQ(fs::file_size(entry.path()), fs::file_size(served)) << "partial part " << entry.path();
      ++parts;
    }
    return parts;
  }
  std::string m_strSkip;
  int m_nFillers = 0;
};

// The drive fills up while the parts come: the part that does not fit fails every attempt, the
// item ends "904" with the download failure's text and the part's remote path, and only whole
// parts stay. With room again, the next pass fetches only the missing parts and completes.
TEST_F(DiskFullTest, DriveFullAtTheCheckOrDuringTheDownloadEndsTheItemCleanly) {
  if (!mountDrive()) GTEST_SKIP() << m_strSkip;
  const size_t size = 3 * 1024 * 1024;
  // Failures alone are traced, so the trace log on the same drive takes next to no room.
  makeMachine([&](plat::posix::MachineConfig& config, plat::posix::LayoutOptions& options) {
    config.drives['C'].folder = m_strMount;
    options.traceLevel = "1";
  });
  AutoPackage package = pack(34, {{"data.bin", noise(size)}}, "--dest 'C:\\Apps\\34' --part-size 64K");
  for (const auto& entry : fs::recursive_directory_iterator(package.root)) {
    if (!entry.is_regular_file()) continue;
    std::string path = "/" + fs::relative(entry.path(), package.root).string();
    ServedFile file = ServedFile::fromDisk(entry.path().string(), path.find("/zip/") != std::string::npos
                                                                      ? ServedFile::Fault::Slow
                                                                      : ServedFile::Fault::None);
    file.slowChunk = 8 * 1024;
    file.slowPauseMs = 20;
    m_server.addFile(path, file);
  }
  ASSERT_TRUE(m_server.start());
  setHostEnvironment(1, m_server.port());
  const std::string entry = "34|*Big|*" + package.digest;
  const std::string indexArchive = package.root + "/Corvane/dist/auto/34.idx.lgz";

  // Full once a few parts are in.
  command("2|%60|%N|%0", entry, 3);
  ASSERT_TRUE(m_worker->createThread());
  ASSERT_TRUE(m_server.waitForBytesSent(fs::file_size(indexArchive) + 4 * 64 * 1024, 60s));
  ASSERT_NO_FATAL_FAILURE(fill(0));
  ASSERT_TRUE(waitUntil([&] { return !m_worker->isRunning(); }, 120s));
  EXPECT_STREQ(item(34).m_szStatus, "904");
  std::string detail = m_worker->errorDetail().text();
  std::string text = NMisc::getMessage(NMisc::thisModule(), "1536", "").text();
  EXPECT_EQ(detail.rfind(text + "/Corvane/dist/auto/34/zip/data.bin.l", 0), 0u) << detail;
  EXPECT_EQ(m_worker->sharedState().m_status.m_nPercent, 0);
  int kept = expectOnlyWholeParts(package.root);
  EXPECT_GE(kept, 3);
  EXPECT_FALSE(fs::exists(m_machine->host("C:\\Apps\\34\\data.bin")));
  auto partRequests = [&] {
    int count = 0;
    for (const std::string& request : m_server.requests()) count += request.find("/zip/") != std::string::npos;
    return count;
  };
  int requested = partRequests();

  unfill();
  command("2|%60|%N|%0", entry, 2);
  Access::run(*m_worker);
  EXPECT_STREQ(item(34).m_szStatus, "060");
  EXPECT_EQ(m_machine->readFile("C:\\Apps\\34\\data.bin"), noise(size));
  // The parts already in place were not fetched again.
  int served = 0;
  for (const auto& part : fs::directory_iterator(package.root + "/Corvane/dist/auto/34/zip"))
    served += part.path().filename().string().rfind("data.bin.l", 0) == 0 ? 1 : 0;
  EXPECT_EQ(partRequests() - requested, served - kept);
}

}  // namespace
}  // namespace cvdt::test
