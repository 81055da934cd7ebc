// The test machine of the Windows test programs: the system they run on (Wine's prefix under
// scripts/test-windows), not an emulated one. It gets the agent's registry key with the trace
// level, the module folder with the build's stage folder, and a scratch root; when the machine
// goes, every folder entry and registry key added to the usual places since the first test
// machine of the run is removed again, so each test starts on the same machine.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <utility>
#include <vector>

#include "net/NCompanionCache.h"
#include "platform/NMisc.h"
#include "platform/PlatformFs.h"
#include "platform/PlatformRegistry.h"
#include "support/TestMachine.h"
#include "support/win32/MachineSnapshot.h"

namespace cvdt::test {
namespace {

namespace fs = std::filesystem;

const MachineSnapshot& runSnapshot() {
  static const MachineSnapshot snapshot;
  return snapshot;
}

plat::posix::MachineConfig systemMachine(const std::string& root) {
  plat::posix::MachineConfig config;
  config.root = root;
  plat::osVersion(config.version);
  config.is64Bit = plat::isNative64Bit();
  config.language = plat::systemLanguage();
  config.windowsFolder = plat::windowsFolder();
  config.agentFolder = config.is64Bit ? "C:\\Program Files (x86)\\Plumbex\\Corvane"
                                      : "C:\\Program Files\\Plumbex\\Corvane";
  config.moduleFolder = config.agentFolder + "\\Modules";
  return config;
}

// What a customization may change here: the trace level. The rest is the system's own.
bool sameMachine(const plat::posix::MachineConfig& a, const plat::posix::MachineConfig& b) {
  return a.is64Bit == b.is64Bit && a.language == b.language && a.version.major == b.version.major &&
         a.version.minor == b.version.minor && a.version.build == b.version.build &&
         a.version.productType == b.version.productType && a.drives.size() == b.drives.size() &&
         a.windowsFolder == b.windowsFolder && a.agentFolder == b.agentFolder &&
         a.moduleFolder == b.moduleFolder && a.ansiCodePage == b.ansiCodePage &&
         a.oemCodePage == b.oemCodePage && a.consoleUser == b.consoleUser;
}

void writeAgentKey(const std::string& traceLevel) {
  plat::RegKey agent;
  ASSERT_EQ(plat::RegKey::create(plat::RegRoot::LocalMachine, "SOFTWARE\\Plumbex\\Corvane",
                                 plat::kKeyAllAccess | plat::kKeyWow64_32Key, agent),
            0u);
  if (!traceLevel.empty()) {
    ASSERT_EQ(agent.setValue("cvdt", plat::kRegSz, traceLevel.c_str(), traceLevel.size() + 1), 0u);
  }
}

// 64-bit Windows names the 32-bit program folders in the 32-bit view of the registry too; a
// prefix made by a wine64 without its 32-bit half lacks them.
void writeProgramFolders32() {
  const char* kCurrentVersion = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion";
  const std::pair<const char*, const char*> values[] = {
      {"ProgramFilesDir", "C:\\Program Files (x86)"},
      {"CommonFilesDir", "C:\\Program Files (x86)\\Common Files"}};
  plat::RegKey key;
  ASSERT_EQ(plat::RegKey::create(plat::RegRoot::LocalMachine, kCurrentVersion,
                                 plat::kKeyAllAccess | plat::kKeyWow64_32Key, key),
            0u);
  for (const auto& [name, folder] : values) {
    uint32_t type = 0;
    std::vector<uint8_t> data;
    if (key.queryValue(name, type, data) == 0) continue;
    ASSERT_EQ(key.setValue(name, plat::kRegSz, folder, std::strlen(folder) + 1), 0u);
  }
}

// The stage folder's files go to the module folder, the logon program to the agent folder;
// Windows has its own regedit.exe and cmd.exe. Copies, never links: tests replace companions
// in the module folder, and that must not reach the build's stage folder.
void installStage(const plat::posix::MachineConfig& config, const std::string& stage) {
  fs::create_directories(config.moduleFolder);
  fs::create_directories(config.agentFolder + "\\dataV2");
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(stage, ec)) {
    std::string name = entry.path().filename().string();
    if (!entry.is_regular_file() || entry.path().extension() == ".log" || name == "cvdt-host.exe")
      continue;
    fs::path target =
        fs::path(name == "cvlgn.exe" ? config.agentFolder : config.moduleFolder) / name;
    fs::copy_file(entry.path(), target, fs::copy_options::overwrite_existing, ec);
    ASSERT_FALSE(ec) << "cannot install " << entry.path() << ": " << ec.message();
  }
}

}  // namespace

std::string makeTempFolder(const std::string& prefix) {
  static std::atomic<int> counter{0};
  fs::path base = fs::temp_directory_path();
  for (;;) {
    fs::path candidate =
        base / (prefix + "-" + std::to_string(plat::processId()) + "-" + std::to_string(counter++));
    std::error_code ec;
    if (fs::create_directory(candidate, ec)) return candidate.string();
    if (ec) ADD_FAILURE() << "cannot create " << candidate << ": " << ec.message();
  }
}

TestMachine::TestMachine(const Customize& customize) {
  runSnapshot().restore();
  m_config = systemMachine(makeTempFolder("cvdt-machine"));
  plat::posix::LayoutOptions options;
  options.traceLevel = "10";
#ifdef CVDT_STAGE_DIR
  options.stageFolder = CVDT_STAGE_DIR;
#endif
  if (customize) {
    plat::posix::MachineConfig wanted = m_config;
    customize(wanted, options);
    if (!sameMachine(wanted, m_config))
      ADD_FAILURE() << "a Windows test runs on the system's own machine, which cannot be reshaped";
  }
  if (m_config.is64Bit) writeProgramFolders32();
  writeAgentKey(options.traceLevel);
  if (!options.stageFolder.empty()) installStage(m_config, options.stageFolder);
  NMisc::setThisModule(moduleHandle());
}

TestMachine::~TestMachine() {
  NMisc::setThisModule(nullptr);
  // Windows keeps a loaded library's file from being replaced: the next machine installs the
  // companions anew.
  NCompanionCache::releaseAll();
  runSnapshot().restore();
  std::error_code ec;
  fs::permissions(m_config.root, fs::perms::owner_all, fs::perm_options::add, ec);
  fs::remove_all(m_config.root, ec);
}

}  // namespace cvdt::test
