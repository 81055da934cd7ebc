// machine.ini parsing and writing, and the process-wide cache of the current machine.
#include "platform/posix/MachineConfig.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <sstream>

#include "platform/IniFile.h"

namespace plat::posix {
namespace {

struct DriveTypeName {
  DriveType type;
  const char* name;
};
constexpr DriveTypeName kDriveTypeNames[] = {
    {DriveType::Fixed, "fixed"},   {DriveType::Removable, "removable"},
    {DriveType::Remote, "remote"}, {DriveType::CdRom, "cdrom"},
    {DriveType::RamDisk, "ramdisk"},
};

std::string absoluteFolder(const std::string& root, const std::string& folder) {
  std::filesystem::path path(folder);
  if (path.is_relative()) path = std::filesystem::path(root) / path;
  std::string text = path.lexically_normal().string();
  while (text.size() > 1 && text.back() == '/') text.pop_back();
  return text;
}

void parseVersion(const IniFile& ini, MachineConfig& config) {
  OsVersion& v = config.version;
  v.platformId = static_cast<uint32_t>(ini.getInt("os", "platform_id", v.platformId));
  v.major = static_cast<uint32_t>(ini.getInt("os", "major", v.major));
  v.minor = static_cast<uint32_t>(ini.getInt("os", "minor", v.minor));
  v.build = static_cast<uint32_t>(ini.getInt("os", "build", v.build));
  v.csdVersion = ini.getString("os", "csd_version", v.csdVersion);
  v.servicePackMajor = static_cast<uint16_t>(ini.getInt("os", "service_pack_major", 0));
  v.servicePackMinor = static_cast<uint16_t>(ini.getInt("os", "service_pack_minor", 0));
  v.suiteMask = static_cast<uint16_t>(ini.getInt("os", "suite_mask", v.suiteMask));
  v.productType = static_cast<uint8_t>(ini.getInt("os", "product_type", v.productType));
  config.is64Bit = ini.getString("os", "arch", "x64") != "x86";
  config.language = static_cast<uint16_t>(ini.getInt("os", "language", config.language));
  config.ansiCodePage = static_cast<uint32_t>(ini.getInt("os", "ansi_code_page", 0));
  config.oemCodePage = static_cast<uint32_t>(ini.getInt("os", "oem_code_page", 0));
}

void parseDrives(const IniFile& ini, MachineConfig& config) {
  for (const auto& [letter, value] : ini.entries("drives")) {
    if (letter.size() != 1 || !std::isalpha(static_cast<unsigned char>(letter[0]))) continue;
    DriveConfig drive;
    std::string folder = value;
    size_t colon = value.find(':');
    if (colon != std::string::npos && driveTypeFromName(value.substr(0, colon), drive.type))
      folder = value.substr(colon + 1);
    if (folder.empty()) continue;
    drive.folder = absoluteFolder(config.root, folder);
    config.drives.emplace(static_cast<char>(std::toupper(letter[0])), drive);
  }
  config.drives.emplace('Z', DriveConfig{"/", DriveType::Fixed});
}

}  // namespace

const char* driveTypeName(DriveType type) {
  for (const auto& entry : kDriveTypeNames) {
    if (entry.type == type) return entry.name;
  }
  return "unknown";
}

bool driveTypeFromName(const std::string& name, DriveType& type) {
  for (const auto& entry : kDriveTypeNames) {
    if (name == entry.name) {
      type = entry.type;
      return true;
    }
  }
  return false;
}

MachineConfig MachineConfig::parse(const std::string& root, const std::string& iniText) {
  IniFile ini;
  ini.parse(iniText);
  MachineConfig config;
  config.root = root;
  config.computerName = ini.getString("machine", "name", config.computerName);
  parseVersion(ini, config);
  config.windowsFolder = ini.getString("folders", "windows", config.windowsFolder);
  config.agentFolder = ini.getString("folders", "agent", "");
  config.moduleFolder = ini.getString("folders", "module", "");
  parseDrives(ini, config);
  config.consoleSession = static_cast<int>(ini.getInt("session", "console_session", 1));
  config.consoleUser = ini.getString("session", "console_user", "");
  if (config.consoleUser == "none") config.consoleUser.clear();
  config.moduleSession = static_cast<int>(ini.getInt("session", "module_session", 0));
  config.registryBusyTimeoutMs =
      static_cast<int>(ini.getInt("registry", "busy_timeout_ms", config.registryBusyTimeoutMs));
  return config;
}

CodePages MachineConfig::codePages() const {
  // Outside any machine a program is a plain Linux program: its narrow text is the host's UTF-8.
  CodePages pages = root.empty() ? CodePages{kCodePageUtf8, kCodePageUtf8}
                                 : codePagesForLanguage(language);
  if (ansiCodePage != 0) pages.ansi = ansiCodePage;
  if (oemCodePage != 0) pages.oem = oemCodePage;
  return pages;
}

std::string MachineConfig::toIni() const {
  std::ostringstream out;
  char suite[16];
  std::snprintf(suite, sizeof suite, "0x%04x", version.suiteMask);
  out << "; cvdt machine description (see docs/machine-ini.md)\n"
      << "[machine]\nname=" << computerName << "\n\n"
      << "[os]\nplatform_id=" << version.platformId << "\nmajor=" << version.major
      << "\nminor=" << version.minor << "\nbuild=" << version.build
      << "\ncsd_version=" << version.csdVersion
      << "\nservice_pack_major=" << version.servicePackMajor
      << "\nservice_pack_minor=" << version.servicePackMinor << "\nsuite_mask=" << suite
      << "\nproduct_type=" << static_cast<int>(version.productType)
      << "\narch=" << (is64Bit ? "x64" : "x86") << "\nlanguage=" << language << "\n";
  if (ansiCodePage != 0) out << "ansi_code_page=" << ansiCodePage << "\n";
  if (oemCodePage != 0) out << "oem_code_page=" << oemCodePage << "\n";
  out << "\n"
      << "[folders]\nwindows=" << windowsFolder << "\nagent=" << agentFolder
      << "\nmodule=" << moduleFolder << "\n\n[drives]\n";
  for (const auto& [letter, drive] : drives) {
    if (letter == 'Z' && drive.folder == "/") continue;
    std::string folder = drive.folder;
    if (folder.rfind(root + "/", 0) == 0) folder = folder.substr(root.size() + 1);
    out << letter << "=" << driveTypeName(drive.type) << ":" << folder << "\n";
  }
  out << "\n[session]\nconsole_session=" << consoleSession
      << "\nconsole_user=" << (consoleUser.empty() ? "none" : consoleUser)
      << "\nmodule_session=" << moduleSession << "\n\n[registry]\nbusy_timeout_ms="
      << registryBusyTimeoutMs << "\n";
  return out.str();
}

namespace {

std::mutex g_machineMutex;
std::shared_ptr<const MachineConfig> g_machine;
std::string g_machineVariable;

std::shared_ptr<const MachineConfig> loadMachine(const std::string& variable) {
  if (variable.empty()) return std::make_shared<MachineConfig>(MachineConfig::parse("", ""));
  std::string root = absoluteFolder("/", variable);
  IniFile probe;
  std::string text;
  FILE* file = std::fopen((root + "/machine.ini").c_str(), "rb");
  if (file != nullptr) {
    char chunk[4096];
    size_t n;
    while ((n = std::fread(chunk, 1, sizeof chunk, file)) > 0) text.append(chunk, n);
    std::fclose(file);
  }
  return std::make_shared<MachineConfig>(MachineConfig::parse(root, text));
}

}  // namespace

std::shared_ptr<const MachineConfig> currentMachine() {
  const char* value = std::getenv("CVDT_MACHINE");
  std::string variable = value ? value : "";
  std::lock_guard<std::mutex> lock(g_machineMutex);
  if (!g_machine || variable != g_machineVariable) {
    g_machine = loadMachine(variable);
    g_machineVariable = variable;
  }
  return g_machine;
}

void reloadMachine() {
  std::lock_guard<std::mutex> lock(g_machineMutex);
  g_machine.reset();
}

}  // namespace plat::posix
