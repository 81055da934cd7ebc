// Machine layout for `cvdt-host machine init` and the tests' fresh machines.
#include "platform/posix/MachineLayout.h"

#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "platform/PlatformFile.h"
#include "platform/PlatformFs.h"
#include "platform/PlatformRegistry.h"

namespace plat::posix {
namespace {

namespace fs = std::filesystem;

const char* productName(const MachineConfig& config) {
  const OsVersion& v = config.version;
  bool server = v.productType != 1;
  if (v.platformId != kPlatformNt) return "Windows 98";
  if (v.major >= 10) return server ? "Windows Server 2019" : "Windows 10 Pro";
  if (v.major == 6) {
    static const char* const kClient[] = {"Windows Vista", "Windows 7", "Windows 8", "Windows 8.1"};
    static const char* const kServer[] = {"Windows Server 2008", "Windows Server 2008 R2",
                                          "Windows Server 2012", "Windows Server 2012 R2"};
    return (server ? kServer : kClient)[v.minor > 3 ? 3 : v.minor];
  }
  if (v.major == 5) return v.minor == 0 ? "Windows 2000" : v.minor == 1 ? "Windows XP" : "Windows Server 2003";
  return "Windows NT";
}

const char* productType(const MachineConfig& config) {
  switch (config.version.productType) {
    case 2: return "LanmanNT";
    case 3: return "ServerNT";
    default: return "WinNT";
  }
}

bool setText(RegRoot root, const std::string& key, uint32_t view, const std::string& name,
             const std::string& value, std::string& error) {
  RegKey handle;
  uint32_t rc = RegKey::create(root, key, kKeyAllAccess | view, handle);
  if (rc == 0) rc = handle.setValue(name, kRegSz, value.c_str(), value.size() + 1);
  if (rc != 0) error = "cannot write registry value " + key + "\\" + name + " (error " + std::to_string(rc) + ")";
  return rc == 0;
}

bool writeRegistry(const MachineConfig& config, const LayoutOptions& options, std::string& error) {
  const char* kCurrentVersion = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion";
  const char* kNtCurrentVersion = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion";
  const OsVersion& v = config.version;
  bool ok =
      setText(RegRoot::LocalMachine, "SYSTEM\\CurrentControlSet\\Control\\ProductOptions",
              kKeyWow64_64Key, "ProductType", productType(config), error) &&
      setText(RegRoot::LocalMachine, kCurrentVersion, kKeyWow64_64Key, "ProgramFilesDir",
              "C:\\Program Files", error) &&
      setText(RegRoot::LocalMachine, kCurrentVersion, kKeyWow64_64Key, "CommonFilesDir",
              "C:\\Program Files\\Common Files", error) &&
      setText(RegRoot::LocalMachine, kNtCurrentVersion, kKeyWow64_64Key, "ProductName",
              productName(config), error) &&
      setText(RegRoot::LocalMachine, kNtCurrentVersion, kKeyWow64_64Key, "CurrentVersion",
              std::to_string(v.major) + "." + std::to_string(v.minor), error) &&
      setText(RegRoot::LocalMachine, kNtCurrentVersion, kKeyWow64_64Key, "CurrentBuildNumber",
              std::to_string(v.build), error) &&
      setText(RegRoot::LocalMachine, kNtCurrentVersion, kKeyWow64_64Key, "CSDVersion",
              v.csdVersion, error);
  if (ok && config.is64Bit) {
    ok = setText(RegRoot::LocalMachine, kCurrentVersion, kKeyWow64_32Key, "ProgramFilesDir",
                 "C:\\Program Files (x86)", error) &&
         setText(RegRoot::LocalMachine, kCurrentVersion, kKeyWow64_32Key, "CommonFilesDir",
                 "C:\\Program Files (x86)\\Common Files", error);
  }
  RegKey agent;
  if (ok && RegKey::create(RegRoot::LocalMachine, "SOFTWARE\\Plumbex\\Corvane",
                           kKeyAllAccess | kKeyWow64_32Key, agent) != 0) {
    error = "cannot create the agent key";
    ok = false;
  }
  if (ok && !options.traceLevel.empty())
    ok = setText(RegRoot::LocalMachine, "SOFTWARE\\Plumbex\\Corvane", kKeyWow64_32Key, "cvdt",
                 options.traceLevel, error);
  return ok;
}

bool makeWindowsFolder(const std::string& windowsPath, std::string& error) {
  std::string host = toHostPath(windowsPath);
  std::error_code ec;
  if (!host.empty()) fs::create_directories(host, ec);
  if (host.empty() || ec) error = "cannot create " + windowsPath;
  return !host.empty() && !ec;
}

bool makeFolders(const MachineConfig& config, std::string& error) {
  std::vector<std::string> folders = {
      config.windowsFolder,
      config.windowsFolder + "\\System32",
      config.windowsFolder + "\\Temp",
      "C:\\Program Files\\Common Files",
      "C:\\Temp",
      config.agentFolder,
      config.agentFolder + "\\dataV2",
      config.moduleFolder,
  };
  if (config.is64Bit) {
    folders.push_back(config.windowsFolder + "\\SysWOW64");
    folders.push_back("C:\\Program Files (x86)\\Common Files");
  }
  void* old = nullptr;
  disableRedirection(&old);  // System32 itself, not its 32-bit view
  bool ok = true;
  for (const std::string& folder : folders) {
    if (!folder.empty() && !makeWindowsFolder(folder, error)) ok = false;
  }
  revertRedirection(old);
  return ok;
}

// Companions that Windows keeps outside the module folder: the logon program beside the host
// agent, regedit in the Windows folder, the command interpreter in the system folder. A 64-bit
// machine has 32-bit copies of the last two in SysWOW64, where the redirection of 32-bit
// programs finds them.
enum class StagePlace { Agent, Windows, System };
struct StagePlacement {
  const char* file;
  StagePlace place;
};
constexpr StagePlacement kStagePlacements[] = {
    {"cvlgn.exe", StagePlace::Agent},
    {"regedit.exe", StagePlace::Windows},
    {"CMD.EXE", StagePlace::System},
};

bool installStage(const MachineConfig& config, const std::string& stage, std::string& error) {
  if (stage.empty()) return true;
  auto foldersFor = [&config](const std::string& file) -> std::vector<std::string> {
    for (const StagePlacement& placement : kStagePlacements) {
      if (file != placement.file) continue;
      if (placement.place == StagePlace::Agent) return {config.agentFolder};
      std::string native = placement.place == StagePlace::Windows
                               ? config.windowsFolder
                               : config.windowsFolder + "\\System32";
      if (!config.is64Bit) return {native};
      return {native, config.windowsFolder + "\\SysWOW64"};
    }
    return {config.moduleFolder};
  };
  void* old = nullptr;
  disableRedirection(&old);  // System32 is the real one here
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(stage, ec)) {
    // Logs are what a module run from the stage itself wrote, not something to install.
    if (!entry.is_regular_file() || entry.path().extension() == ".log") continue;
    for (const std::string& folder : foldersFor(entry.path().filename().string())) {
      if (folder.empty()) continue;  // an agent folder left to the running program's own
      fs::copy_file(entry.path(), fs::path(toHostPath(folder)) / entry.path().filename(),
                    fs::copy_options::overwrite_existing, ec);
      if (ec) break;
    }
    if (ec) {
      revertRedirection(old);
      error = "cannot install " + entry.path().string() + ": " + ec.message();
      return false;
    }
  }
  revertRedirection(old);
  if (ec) error = "cannot read the stage folder " + stage + ": " + ec.message();
  return !ec;
}

}  // namespace

std::string defaultAgentFolder(bool is64Bit) {
  return is64Bit ? "C:\\Program Files (x86)\\Plumbex\\Corvane"
                 : "C:\\Program Files\\Plumbex\\Corvane";
}

MachineConfig defaultMachine(const std::string& root, bool is64Bit) {
  MachineConfig config = MachineConfig::parse(root, "");
  config.is64Bit = is64Bit;
  config.agentFolder = defaultAgentFolder(is64Bit);
  config.moduleFolder = config.agentFolder + "\\Modules";
  config.drives['C'] = DriveConfig{root + "/drives/c", DriveType::Fixed};
  return config;
}

bool layOutMachine(const MachineConfig& config, const LayoutOptions& options, std::string& error) {
  std::error_code ec;
  fs::create_directories(config.root, ec);
  for (const auto& [letter, drive] : config.drives) {
    if (letter != 'Z' && !ec) fs::create_directories(drive.folder, ec);
  }
  if (ec || !writeHostFile(config.root + "/machine.ini", config.toIni())) {
    error = "cannot write the machine in " + config.root;
    return false;
  }
  setenv("CVDT_MACHINE", config.root.c_str(), 1);
  reloadMachine();
  return makeFolders(config, error) && writeRegistry(config, options, error) &&
         installStage(config, options.stageFolder, error);
}

}  // namespace plat::posix
