// A commanded job from record to "060" against a real HTTP distribution server on loopback,
// with packages made by cvdt-pack and the machine's own companions (transfer, archives,
// regedit.exe, CMD.EXE).
#include <gtest/gtest.h>
#ifndef _WIN32
#include <sys/mount.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <random>

#include "detect/NRegistry.h"
#include "gendist/DistPackager.h"
#include "gendist/NGenDist.h"
#include "platform/NHash.h"
#include "platform/PlatformFs.h"
#include "platform/PlatformRegistry.h"
#include "support/CommandOutput.h"
#include "support/HostReports.h"
#include "support/LoopbackHttpServer.h"
#include "support/TestMachine.h"

namespace {

namespace fs = std::filesystem;
using cvdt::test::TestMachine;

using cvdt::test::commandOutput;
using cvdt::test::serveFolder;
using cvdt::test::shellPath;

#ifdef _WIN32
// The module runs a batch file as CMD.EXE /c "<folder>\<file> <options>", which Windows' CMD.EXE
// cannot run from below "C:\Program Files (x86)" (the module folder's "(x86)" makes it drop the
// quotes): the packages unpack into a folder of their own there.
const std::string kTargetOption = "--base-folder C:\\\\CvdtPipeline ";
std::string targetFolder(const TestMachine&) { return "C:\\CvdtPipeline"; }
// This 64-bit build runs the 64-bit regedit and keeps the agent's key in the 32-bit view.
constexpr uint32_t kModuleView = plat::kKeyWow64_32Key;
#else
const std::string kTargetOption;
std::string targetFolder(const TestMachine& machine) {
  return machine.config().moduleFolder + "\\ndist_temp\\12";
}
constexpr uint32_t kModuleView = 0;
#endif

// A package folder, its server root and the contents text the host would pass.
struct Package {
  std::string root;
  std::string contents;
};

Package pack(const std::string& base, const std::string& options,
             const std::string& partSize = "65536") {
  fs::create_directories(base + "/src/sub");
  std::ofstream(base + "/src/readme.txt", std::ios::binary) << "installed by cvdt\n";
  std::ofstream(base + "/src/sub/data.bin") << std::string(200000, 'd');
#ifdef _WIN32  // the system's own CMD.EXE runs the package's batch files
  std::ofstream(base + "/src/install.bat") << "@echo ran %* > \"%~dp0ran.txt\"\r\n@exit 0\r\n";
#else
  std::ofstream(base + "/src/install.bat") << "echo ran \"$@\" > \"$(dirname \"$0\")/ran.txt\"\nexit 0\n";
#endif
  std::ofstream(base + "/src/sys.dll") << "system file";
  std::ofstream(base + "/src/settings.reg")
      << "Windows Registry Editor Version 5.00\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Demo]\r\n"
         "\"Installed\"=\"yes\"\r\n";
  fs::create_directories(base + "/root");
  std::string output = cvdt::test::packNormal(
      base + "/src", base + "/root",
      "--id 12 --name Demo --part-size " + partSize + " " + kTargetOption + options);
  return {base + "/root", cvdt::test::outputField(output, "contents")};
}

std::unique_ptr<DistCommandRecord> recordFor(const std::string& contents, int port,
                                             const char* addresses) {
  auto record = std::make_unique<DistCommandRecord>();
  std::memset(record.get(), 0, sizeof(DistCommandRecord));
  record->m_nCmdId = 501;
  std::strcpy(record->m_hostEnv.m_szEquipId, "EQ0000000001");
  std::strcpy(record->m_hostEnv.m_szFtAddress, "http");
  std::snprintf(record->m_hostEnv.m_szFtPort, sizeof record->m_hostEnv.m_szFtPort, "%d", port);
  std::strcpy(record->m_hostEnv.m_szTransferMode, "P");
  std::strcpy(record->m_szCurTime, "20261205120000");
  std::strcpy(record->m_szCallArgs, "N|%10");
  std::strncpy(record->m_szEquipCfg, addresses, sizeof record->m_szEquipCfg - 1);
  EXPECT_EQ(parseDistContent(contents.c_str(), record->m_content), 1) << contents;
  return record;
}

class NGenDistPipelineTest : public testing::Test {
 protected:
  void SetUp() override { m_base = cvdt::test::makeTempFolder("cvdt-pipeline"); }
  void TearDown() override { fs::remove_all(m_base); }
  std::string m_base;
};

TEST_F(NGenDistPipelineTest, JobRunsToCompletion) {
  TestMachine machine;
  cvdt::test::HostReports reports;
  Package package = pack(m_base, "--exec install.bat --exec-options 'first arg' --reg-file settings.reg");
  ASSERT_FALSE(package.contents.empty());
  cvdt::test::LoopbackHttpServer server;
  serveFolder(server, package.root);
  ASSERT_TRUE(server.start());

  // The first address has no server: the job falls through to the second.
  auto record = recordFor(package.contents, server.port(), "127.0.0.2|&127.000.000.001");
  plat::Event stop(false);
  {
    NGenDist job;
    int distId = 0;
    ASSERT_EQ(job.initSetting(*record, distId), 1);
    EXPECT_EQ(distId, 12);
    ASSERT_EQ(job.doDistNormal(&stop), 1) << job.status().text() << " " << job.detail().text();
    EXPECT_STREQ(job.status().text(), "060");
  }
  const std::string target = targetFolder(machine);
  EXPECT_EQ(machine.readFile(target + "\\readme.txt"), "installed by cvdt\n");
  EXPECT_EQ(machine.readFile(target + "\\sub\\data.bin").size(), 200000u);
  EXPECT_NE(machine.readFile(target + "\\ran.txt").find("ran first arg"), std::string::npos);
#ifdef _WIN32  // the 64-bit regedit of this 64-bit build: the key is in the 64-bit view (the
               // emulated machine's 32-bit view is pinned by the execution tests)
  NRegistry demo;
  ASSERT_TRUE(demo.open(plat::RegRoot::LocalMachine, "SOFTWARE\\Demo", true, true, true));
  EXPECT_STREQ(demo.readText("Installed").text(), "yes");
  NRegistry redirected;
  EXPECT_FALSE(redirected.open(plat::RegRoot::LocalMachine, "SOFTWARE\\WOW6432Node\\Demo", true,
                               true, true));
#endif
  ASSERT_TRUE(reports.waitFor(501, "060"));
  EXPECT_EQ(reports.codesOf(501), "070 060");
}

// A job that shows its progress keeps the dialog's record (264 bytes) at its last status, with a
// counter that moved at every update.
TEST_F(NGenDistPipelineTest, ShownProgressKeepsTheDialogRecord) {
  TestMachine machine;
  cvdt::test::HostReports reports;  // drains the host's queue, which every report reaches
  Package package = pack(m_base, "");
  cvdt::test::LoopbackHttpServer server;
  serveFolder(server, package.root);
  ASSERT_TRUE(server.start());
  auto record = recordFor(package.contents, server.port(), "127.0.0.1");
  std::strcpy(record->m_szCallArgs, "Y|%0");
  plat::Event stop(false);
  NGenDist job;
  int distId = 0;
  ASSERT_EQ(job.initSetting(*record, distId), 1);
  ASSERT_EQ(job.doDistNormal(&stop), 1);
  plat::RegKey key;
  ASSERT_EQ(plat::RegKey::open(plat::RegRoot::LocalMachine, "SOFTWARE\\Plumbex\\Corvane",
                               plat::kKeyRead | kModuleView, key),
            0u);
  uint32_t type = 0;
  std::vector<uint8_t> data;
  ASSERT_EQ(key.queryValue("ndtdlg_cfg_12", type, data), 0u);
  EXPECT_EQ(type, plat::kRegBinary);
  ASSERT_EQ(data.size(), 264u);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(data.data()) + 4), "060");
  ASSERT_EQ(key.queryValue("ndtdlg_cfgcnt_12", type, data), 0u);
  EXPECT_GT(std::stoi(std::string(data.begin(), data.end())), 2);
}

TEST_F(NGenDistPipelineTest, FailuresEndWithTheirStatus) {
  TestMachine machine;
  cvdt::test::HostReports reports;
  Package package = pack(m_base, "");
  cvdt::test::LoopbackHttpServer server;
  serveFolder(server, package.root);
  ASSERT_TRUE(server.start());
  plat::Event stop(false);
  auto runJob = [&](const std::string& contents, const char* addresses) {
    auto record = recordFor(contents, server.port(), addresses);
    NGenDist job;
    int distId = 0;
    EXPECT_EQ(job.initSetting(*record, distId), 1);
    EXPECT_EQ(job.doDistNormal(&stop), 0);
    return std::string(job.status().text());
  };
  // A wrong index digest on every address: "926".
  std::string stale = package.contents;
  size_t digestField = 0;
  for (int i = 0; i < 14; ++i) digestField = stale.find("|$", digestField) + 2;
  stale.replace(digestField, 32, std::string(32, 'A'));
  EXPECT_EQ(runJob(stale, "127.0.0.1"), "926");
  // More than the disk holds: "907".
  std::string huge = package.contents;
  size_t sizeField = 0;
  for (int i = 0; i < 12; ++i) sizeField = huge.find("|$", sizeField) + 2;
  huge.replace(sizeField, huge.find("|$", sizeField) - sizeField, "4000000000");
  EXPECT_EQ(runJob(huge, "127.0.0.1"), "907");
}

#ifdef _WIN32
// Whether the system refuses to open a read-only file for writing.
bool readOnlyHolds() {
  const std::string probe = cvdt::test::makeTempFolder("cvdt-read-only") + "\\probe";
  std::ofstream(probe) << "x";
  plat::setReadOnly(probe, true);
  bool holds = !std::ofstream(probe, std::ios::app);
  plat::setReadOnly(probe, false);
  fs::remove_all(fs::path(probe).parent_path());
  return holds;
}
#endif

// One failing step each: the job ends with that step's status.
TEST_F(NGenDistPipelineTest, EachFailingStepEndsTheJobWithItsStatus) {
  struct Row {
    const char* options;
    const char* status;
    uint32_t swStatus;  // the software status cvsw.dll reports for id 5 (0: none set)
    bool swStatusAsText;
  } rows[] = {
      {"--agree", "922", 0, false},  // nobody answers yes on a machine without a display
      {"--kind SWDT --sw-id 5", "923", 0, true},
      {"--kind SWDT --sw-id 5", "945", 0x2000010, false},
      {"--kind SWDT --sw-id 5", "946", 0x2000020, false},
      {"--sys-file sys.dll", "928", 0, false},  // the system folder's copy is read-only
  };
  int index = 0;
  for (const Row& row : rows) {
    SCOPED_TRACE(std::string(row.options) + " -> " + row.status);
#ifdef _WIN32
    // Wine run as root overwrites a read-only file (it protects one through its Unix permissions).
    if (row.status == std::string("928") && !readOnlyHolds()) continue;
#endif
    TestMachine machine;
    cvdt::test::HostReports reports;
    Package package = pack(m_base + "/case" + std::to_string(index++), row.options);
    ASSERT_FALSE(package.contents.empty());
    if (row.swStatus != 0 || row.swStatusAsText) {
      plat::RegKey status;
      ASSERT_EQ(plat::RegKey::create(plat::RegRoot::LocalMachine,
                                     "SOFTWARE\\Plumbex\\Corvane\\SoftwareStatus",
                                     plat::kKeyAllAccess, status), 0u);
      if (row.swStatusAsText) status.setValue("5", plat::kRegSz, "text", 4);
      else status.setValue("5", plat::kRegDword, &row.swStatus, 4);
    }
    machine.writeFile("C:\\Windows\\System32\\sys.dll", "older");
    plat::setReadOnly("C:\\Windows\\System32\\sys.dll", true);
    cvdt::test::LoopbackHttpServer server;
    serveFolder(server, package.root);
    ASSERT_TRUE(server.start());
    auto record = recordFor(package.contents, server.port(), "127.0.0.1");
    plat::Event stop(false);
    NGenDist job;
    int distId = 0;
    ASSERT_EQ(job.initSetting(*record, distId), 1);
    EXPECT_EQ(job.doDistNormal(&stop), 0);
    EXPECT_STREQ(job.status().text(), row.status);
    EXPECT_TRUE(reports.waitFor(501, "040"));  // failures reach the host as "040"
  }
}

#ifndef _WIN32  // a tmpfs mounted as a drive; links made on the host around the machine
// The digest the module computes for a host file.
std::string digestOfHostFile(const std::string& hostPath) {
  NHash hash;
  return hash.getHash(5, 2, plat::toWindowsPath(hostPath).c_str(), 256);
}

std::string utf16Of(const std::string& ascii) {
  std::string wide;
  for (char c : ascii) wide += std::string{c, '\0'};
  return wide;
}

// Changes the package's archive but keeps every digest right: change() rewrites the part, then
// the index lists the part's new digest and the contents text the index archive's new digest.
std::string changePartKeepingDigests(const std::string& root, std::string contents,
                                     const std::function<void(const std::string&)>& change) {
  const std::string folder = root + "/Corvane/dist/normal";
  const std::string part = folder + "/12/12.lgz";
  std::string oldPart = digestOfHostFile(part);
  change(part);
  std::string newPart = digestOfHostFile(part);
  commandOutput("cd " + shellPath(folder) + " && tar xzf 12.idx.lgz");
  std::ifstream in(folder + "/12.idx", std::ios::binary);
  std::string index((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  in.close();
  size_t at = index.find(utf16Of(oldPart));
  EXPECT_NE(at, std::string::npos);
  if (at != std::string::npos) index.replace(at, oldPart.size() * 2, utf16Of(newPart));
  std::ofstream(folder + "/12.idx", std::ios::binary) << index;
  commandOutput("cd " + shellPath(folder) + " && tar czf 12.idx.lgz 12.idx && rm 12.idx");
  size_t field = 0;
  for (int i = 0; i < 14; ++i) field = contents.find("|$", field) + 2;  // the index digest
  contents.replace(field, 32, digestOfHostFile(folder + "/12.idx.lgz"));
  return contents;
}

// Every file, folder and link below folder (links not followed): files map to their size.
std::map<std::string, std::string> snapshot(const std::string& folder) {
  std::map<std::string, std::string> tree;
  for (const auto& entry : fs::directory_iterator(folder)) {
    std::string name = entry.path().filename().string();
    fs::file_status status = fs::symlink_status(entry.path());
    if (fs::is_symlink(status)) {
      tree[name] = "-> " + fs::read_symlink(entry.path()).string();
    } else if (fs::is_directory(status)) {
      tree[name] = "<dir>";
      for (const auto& [inner, what] : snapshot(entry.path().string())) tree[name + "/" + inner] = what;
    } else {
      tree[name] = std::to_string(fs::file_size(entry.path()));
    }
  }
  return tree;
}

// The package is larger than the drive it is unpacked to, although the job's disk check (which
// trusts the size the server declares and adds the module's drive) lets it pass: the extraction
// fails before the drive is full, the job ends with "905" and its program does not run.
TEST_F(NGenDistPipelineTest, FullDiskDuringExtractionFailsTheJob) {
  if (geteuid() != 0) GTEST_SKIP() << "mounting a small tmpfs as the D: drive needs root";
  std::string drive;
  TestMachine machine([&](plat::posix::MachineConfig& config, plat::posix::LayoutOptions&) {
    drive = config.root + "/drives/d";
    config.drives['D'] = {drive, plat::DriveType::Fixed};
  });
  fs::create_directories(drive);
  if (mount("tmpfs", drive.c_str(), "tmpfs", 0, "size=16m") != 0)
    GTEST_SKIP() << "cannot mount a tmpfs: " << std::strerror(errno);
  struct Unmount {
    std::string folder;
    ~Unmount() { umount2(folder.c_str(), MNT_DETACH); }
  } unmount{drive};
  cvdt::test::HostReports reports;
  fs::create_directories(m_base + "/src");
  {
    // 24 MiB that do not compress, sorted before the program, so it is written first.
    std::ofstream big(m_base + "/src/a_big.bin", std::ios::binary);
    std::mt19937 generator(7);
    std::string block(1 << 20, '\0');
    for (int i = 0; i < 24; ++i) {
      for (char& c : block) c = static_cast<char>(generator());
      big << block;
    }
  }
  Package package = pack(m_base, "--base-folder 'D:\\App' --exec install.bat", "4M");
  ASSERT_FALSE(package.contents.empty());
  cvdt::test::LoopbackHttpServer server;
  serveFolder(server, package.root);
  ASSERT_TRUE(server.start());
  auto record = recordFor(package.contents, server.port(), "127.0.0.1");
  plat::Event stop(false);
  NGenDist job;
  int distId = 0;
  ASSERT_EQ(job.initSetting(*record, distId), 1);
  EXPECT_EQ(job.doDistNormal(&stop), 0);
  EXPECT_STREQ(job.status().text(), "905");
  EXPECT_TRUE(reports.waitFor(501, "040"));
  EXPECT_EQ(machine.readFile("D:\\App\\ran.txt"), "<missing>");
  // Nothing of the package is left on the drive: only the folder the job made for it.
  EXPECT_EQ(snapshot(drive), (std::map<std::string, std::string>{{"App", "<dir>"}}));
}

// The package's system file is the end of a chain of links that climbs above the target folder
// to the host's root and down to a file outside the machine. The job fails with "905"; the file
// is not copied into the machine and nothing outside the machine changes.
TEST_F(NGenDistPipelineTest, LinkChainInThePackageFailsTheJob) {
  TestMachine machine;
  cvdt::test::HostReports reports;
  fs::create_directories(m_base + "/src/d");
  std::ofstream(m_base + "/src/d/shadow") << "harmless";
  Package package = pack(m_base, "--sys-file 'd\\shadow' --exec install.bat");
  ASSERT_FALSE(package.contents.empty());
  std::ofstream(m_base + "/secret.txt") << "secret outside the machine";
  const std::string hostile = m_base + "/hostile";
  fs::copy(m_base + "/src", hostile, fs::copy_options::recursive);
  fs::remove(hostile + "/d/shadow");
  fs::create_symlink("..", hostile + "/d/h0");
  // Sixteen steps up reach the host's root from the target folder; the system allows 40 links
  // in one lookup.
  for (int i = 1; i <= 16; ++i)
    fs::create_symlink("h" + std::to_string(i - 1) + "/..", hostile + "/d/h" + std::to_string(i));
  fs::create_symlink("h16" + m_base + "/secret.txt", hostile + "/d/shadow");
  std::string contents = changePartKeepingDigests(package.root, package.contents,
                                                  [&](const std::string& part) {
    commandOutput("tar czf " + part + " -C " + hostile + " .");
  });
  cvdt::test::LoopbackHttpServer server;
  serveFolder(server, package.root);
  ASSERT_TRUE(server.start());
  auto outside = snapshot(m_base);

  auto record = recordFor(contents, server.port(), "127.0.0.1");
  plat::Event stop(false);
  NGenDist job;
  int distId = 0;
  ASSERT_EQ(job.initSetting(*record, distId), 1);
  EXPECT_EQ(job.doDistNormal(&stop), 0);
  EXPECT_STREQ(job.status().text(), "905");
  EXPECT_EQ(machine.readFile("C:\\Windows\\System32\\shadow"), "<missing>");
  EXPECT_EQ(machine.readFile("C:\\Windows\\SysWOW64\\shadow"), "<missing>");
  const std::string target = machine.host(machine.config().moduleFolder + "\\ndist_temp\\12");
  EXPECT_TRUE(!fs::exists(target) || fs::is_empty(target));
  EXPECT_EQ(snapshot(m_base), outside);
}

#endif

}  // namespace
