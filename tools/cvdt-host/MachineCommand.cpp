// The machine commands of cvdt-host: lay out an emulated Windows machine and describe one.
#include "MachineCommand.h"

#include <pwd.h>
#include <unistd.h>

#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <optional>
#include <stdexcept>

#include "NCliJson.h"
#include "NCliNumber.h"
#include "detect/NRegistry.h"
#include "platform/IniFile.h"
#include "platform/PlatformFs.h"
#include "platform/PlatformText.h"
#include "platform/posix/MachineConfig.h"
#include "platform/posix/MachineLayout.h"

namespace cvdt::host {
namespace {

namespace fs = std::filesystem;
using plat::posix::MachineConfig;

// What `machine init` was given; an empty text or an absent number keeps the machine's default.
struct InitOptions {
  std::string strDir, strArch = "x64", strOs, strPlatform = "nt", strServicePack, strProductType = "workstation";
  std::optional<int64_t> nSuiteMask, nConsoleSession, nModuleSession;
  int64_t nLanguage = 1033, nRegistryBusyMs = 5000;
  std::vector<std::string> drives;
  std::string strWindowsFolder, strAgentFolder, strModuleFolder, strConsoleUser, strTraceLevel = "3";
  std::string strCodePages, strName, strStage = CVDT_STAGE_DIR;
  bool bConsoleUserGiven = false;
};

std::vector<std::string> split(const std::string& text, char separator) {
  std::vector<std::string> fields;
  size_t nStart = 0;
  for (size_t nAt = text.find(separator); nAt != std::string::npos; nAt = text.find(separator, nStart)) {
    fields.push_back(text.substr(nStart, nAt - nStart));
    nStart = nAt + 1;
  }
  fields.push_back(text.substr(nStart));
  return fields;
}

// A suite mask: decimal, or "0x" and hexadecimal digits as masks are usually written.
int64_t suiteMask(const std::string& text) {
  int64_t value = 0;
  bool bHex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
  if (bHex) {
    std::string digits = text.substr(2);
    auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value, 16);
    if (error == std::errc() && end == digits.data() + digits.size() && digits[0] != '-' &&
        value <= 0xFFFF)
      return value;
  } else if (cli::NCliNumber::parse(text, 0, 0xFFFF, value)) {
    return value;
  }
  throw CLI::ValidationError("--suite-mask", "'" + text + "' is not a mask from 0 to 65535 (0xffff)");
}

// A refused option value: reported with the command's name, exit code 2.
[[noreturn]] void fail(const std::string& message) { throw cli::NCliUsageError(message); }

// A decimal field of a dotted value ("10.0.19045", "2.1").
uint32_t dottedField(const std::string& text, const std::string& option, const std::string& form) {
  int64_t value = 0;
  if (!cli::NCliNumber::parse(text, 0, 0xFFFF'FFFFLL, value))
    fail(option + " wants " + form + ", not '" + text + "'");
  return static_cast<uint32_t>(value);
}

void applyVersion(const InitOptions& o, MachineConfig& config) {
  plat::OsVersion& v = config.version;
  if (!o.strOs.empty()) {
    std::vector<std::string> fields = split(o.strOs, '.');
    const char* form = "MAJOR.MINOR[.BUILD]";
    if (fields.size() < 2 || fields.size() > 3) fail("--os wants " + std::string(form) + ", not '" + o.strOs + "'");
    v.major = dottedField(fields[0], "--os", form);
    v.minor = dottedField(fields[1], "--os", form);
    v.build = fields.size() == 3 ? dottedField(fields[2], "--os", form) : 0;
  }
  if (o.strPlatform == "nt") v.platformId = plat::kPlatformNt;
  else if (o.strPlatform == "9x") v.platformId = plat::kPlatformWindows9x;
  else v.platformId = plat::kPlatformWin32s;
  if (!o.strServicePack.empty()) {
    std::vector<std::string> fields = split(o.strServicePack, '.');
    if (fields.size() > 2) fail("--service-pack wants N or N.M, not '" + o.strServicePack + "'");
    int64_t major = 0, minor = 0;
    if (!cli::NCliNumber::parse(fields[0], 0, 0xFFFF, major) ||
        (fields.size() == 2 && !cli::NCliNumber::parse(fields[1], 0, 0xFFFF, minor)))
      fail("--service-pack wants N or N.M (0 to 65535), not '" + o.strServicePack + "'");
    v.servicePackMajor = static_cast<uint16_t>(major);
    v.servicePackMinor = static_cast<uint16_t>(minor);
    v.csdVersion = major > 0 ? "Service Pack " + std::to_string(major) : "";
  }
  if (o.nSuiteMask) v.suiteMask = static_cast<uint16_t>(*o.nSuiteMask);
  if (o.strProductType == "workstation" || o.strProductType == "1") v.productType = 1;
  else if (o.strProductType == "dc" || o.strProductType == "2") v.productType = 2;
  else if (o.strProductType == "server" || o.strProductType == "3") v.productType = 3;
}

void applyDrives(const InitOptions& o, MachineConfig& config) {
  for (const std::string& spec : o.drives) {
    size_t equals = spec.find('=');
    if (equals != 1 || !std::isalpha(static_cast<unsigned char>(spec[0])))
      fail("--drive wants L=TYPE[:FOLDER], not '" + spec + "'");
    char letter = static_cast<char>(std::toupper(static_cast<unsigned char>(spec[0])));
    std::string rest = spec.substr(2);
    size_t colon = rest.find(':');
    plat::posix::DriveConfig drive;
    if (!plat::posix::driveTypeFromName(rest.substr(0, colon), drive.type))
      fail("unknown drive type in '" + spec + "'");
    std::string folder = colon == std::string::npos ? "drives/" + std::string(1, std::tolower(letter))
                                                    : rest.substr(colon + 1);
    fs::path path(folder);
    if (path.is_relative()) path = fs::path(config.root) / path;
    drive.folder = path.lexically_normal().string();
    if (letter == 'Z') fail("Z: is the host's root and cannot be changed");
    config.drives[letter] = drive;
  }
  std::string windows = config.windowsFolder;
  if (windows.size() < 2 || windows[1] != ':' ||
      config.drives.count(static_cast<char>(std::toupper(static_cast<unsigned char>(windows[0])))) == 0)
    fail("the Windows folder " + windows + " is on no drive of this machine");
}

std::string currentUserName() {
  const char* sudoUser = std::getenv("SUDO_USER");
  if (sudoUser != nullptr && *sudoUser != '\0') return sudoUser;
  passwd* entry = getpwuid(getuid());
  return entry != nullptr ? entry->pw_name : "";
}

void applySessions(const InitOptions& o, MachineConfig& config) {
  if (o.nConsoleSession) config.consoleSession = static_cast<int>(*o.nConsoleSession);
  if (o.nModuleSession) config.moduleSession = static_cast<int>(*o.nModuleSession);
  std::string user = o.bConsoleUserGiven ? o.strConsoleUser : currentUserName();
  if (user != "none" && !user.empty() && getpwnam(user.c_str()) == nullptr)
    fail("no Linux user '" + user + "' for the console session");
  config.consoleUser = user == "none" ? "" : user;
}

// "ANSI" or "ANSI/OEM", code pages the converter knows. A lone ANSI page 65001 makes the OEM
// page 65001 too, as Windows' worldwide UTF-8 setting does; otherwise a lone ANSI page keeps the
// language's OEM page.
void applyCodePages(const std::string& text, MachineConfig& config) {
  std::vector<std::string> fields = split(text, '/');
  int64_t ansi = 0, oem = 0;
  bool bRead = fields.size() <= 2 && cli::NCliNumber::parse(fields[0], 1, 0xFFFF, ansi) &&
               (fields.size() == 1 || cli::NCliNumber::parse(fields[1], 1, 0xFFFF, oem));
  if (bRead && fields.size() == 1) oem = ansi == plat::kCodePageUtf8 ? ansi : 0;
  if (!bRead || !plat::isCodePageAvailable(static_cast<uint32_t>(ansi)) ||
      (oem != 0 && !plat::isCodePageAvailable(static_cast<uint32_t>(oem))))
    fail("--code-pages wants ANSI[/OEM], code pages this system converts, not '" + text + "'");
  config.ansiCodePage = static_cast<uint32_t>(ansi);
  config.oemCodePage = static_cast<uint32_t>(oem);
}

void buildConfig(const InitOptions& o, const std::string& root, MachineConfig& config,
                 plat::posix::LayoutOptions& options) {
  config = plat::posix::defaultMachine(root, o.strArch != "x86");
  if (!o.strName.empty()) config.computerName = o.strName;
  if (!o.strWindowsFolder.empty()) config.windowsFolder = o.strWindowsFolder;
  if (!o.strAgentFolder.empty()) config.agentFolder = o.strAgentFolder;
  config.moduleFolder = o.strModuleFolder.empty() ? config.agentFolder + "\\Modules" : o.strModuleFolder;
  config.language = static_cast<uint16_t>(o.nLanguage);
  if (!o.strCodePages.empty()) applyCodePages(o.strCodePages, config);
  config.registryBusyTimeoutMs = static_cast<int>(o.nRegistryBusyMs);
  options.traceLevel = o.strTraceLevel == "none" ? "" : o.strTraceLevel;
  options.stageFolder = o.strStage;
  applyVersion(o, config);
  applyDrives(o, config);
  applySessions(o, config);
}

void printMachine(const MachineConfig& config) {
  const plat::OsVersion& v = config.version;
  std::printf("Machine %s in %s\n", config.computerName.c_str(), config.root.c_str());
  std::printf("  Windows          %u.%u.%u %s(%s, %s), product type %d, suite mask 0x%04x\n",
              v.major, v.minor, v.build, v.csdVersion.empty() ? "" : (v.csdVersion + " ").c_str(),
              v.platformId == plat::kPlatformNt ? "NT" : "9x", config.is64Bit ? "x64" : "x86",
              v.productType, v.suiteMask);
  std::printf("  Language         %u, code pages %u (ANSI) and %u (OEM)\n", config.language,
              config.codePages().ansi, config.codePages().oem);
  for (const auto& [letter, drive] : config.drives) {
    std::printf("  Drive %c:         %-9s -> %s\n", letter, plat::posix::driveTypeName(drive.type),
                drive.folder.c_str());
  }
  std::printf("  Windows folder   %s\n", config.windowsFolder.c_str());
  std::printf("  Agent folder     %s\n", config.agentFolder.c_str());
  std::printf("  Module folder    %s\n", config.moduleFolder.c_str());
  std::printf("  Console session  %d, user %s\n", config.consoleSession,
              config.consoleUser.empty() ? "(nobody logged on)" : config.consoleUser.c_str());
  std::printf("  Module session   %d\n", config.moduleSession);
  std::printf("  Registry         %s\n", config.registryPath().c_str());
  NRegistry agent;
  if (agent.open(plat::RegRoot::LocalMachine, "SOFTWARE\\Plumbex\\Corvane", true, true, false)) {
    NString level = agent.readText("cvdt");
    std::printf("  Trace threshold  %s (HKLM\\SOFTWARE\\Plumbex\\Corvane, value \"cvdt\")\n",
                level.isEmpty() ? "none" : level.text());
  }
  std::vector<plat::DirEntry> files;
  if (plat::listDirectory(config.moduleFolder, files)) {
    std::printf("  Module files    ");
    for (const auto& file : files) std::printf(" %s", file.name.c_str());
    std::printf("%s\n", files.empty() ? " (none)" : "");
  }
}

cli::NJson machineJson(const MachineConfig& config) {
  const plat::OsVersion& v = config.version;
  cli::NJson drives = cli::NJson::array();
  for (const auto& [letter, drive] : config.drives)
    drives.push_back({{"letter", std::string(1, letter)},
                      {"type", plat::posix::driveTypeName(drive.type)},
                      {"folder", cli::NCliJson::utf8(drive.folder)}});
  cli::NJson json = {
      {"name", cli::NCliJson::utf8(config.computerName)},
      {"root", cli::NCliJson::utf8(config.root)},
      {"windows", {{"major", v.major}, {"minor", v.minor}, {"build", v.build},
                   {"csd_version", cli::NCliJson::utf8(v.csdVersion)},
                   {"service_pack", {v.servicePackMajor, v.servicePackMinor}},
                   {"platform", v.platformId == plat::kPlatformNt ? "nt" : "9x"},
                   {"arch", config.is64Bit ? "x64" : "x86"},
                   {"product_type", v.productType}, {"suite_mask", v.suiteMask}}},
      {"language", config.language},
      {"code_pages", {{"ansi", config.codePages().ansi}, {"oem", config.codePages().oem}}},
      {"drives", drives},
      {"windows_folder", cli::NCliJson::utf8(config.windowsFolder)},
      {"agent_folder", cli::NCliJson::utf8(config.agentFolder)},
      {"module_folder", cli::NCliJson::utf8(config.moduleFolder)},
      {"console_session", config.consoleSession},
      {"console_user", config.consoleUser.empty() ? cli::NJson() : cli::NJson(config.consoleUser)},
      {"module_session", config.moduleSession},
      {"registry", cli::NCliJson::utf8(config.registryPath())}};
  NRegistry agent;
  json["trace_threshold"] = nullptr;
  if (agent.open(plat::RegRoot::LocalMachine, "SOFTWARE\\Plumbex\\Corvane", true, true, false)) {
    NString level = agent.readText("cvdt");
    if (!level.isEmpty()) json["trace_threshold"] = cli::NCliJson::utf8(level.text());
  }
  std::vector<plat::DirEntry> files;
  json["module_files"] = cli::NJson::array();
  if (plat::listDirectory(config.moduleFolder, files))
    for (const auto& file : files) json["module_files"].push_back(cli::NCliJson::utf8(file.name));
  return json;
}

int initMachine(const InitOptions& o) {
  std::string root = fs::absolute(o.strDir).lexically_normal().string();
  while (root.size() > 1 && root.back() == '/') root.pop_back();
  MachineConfig config;
  plat::posix::LayoutOptions options;
  buildConfig(o, root, config, options);
  std::string error;
  if (!plat::posix::layOutMachine(config, options, error)) throw std::runtime_error(error);
  printMachine(*plat::posix::currentMachine());
  std::printf("\nUse it with:  export CVDT_MACHINE=%s\n", root.c_str());
  return cli::kExitOk;
}

int showMachine(const std::string& dir, bool bJson) {
  if (!dir.empty()) {
    std::string root = fs::absolute(dir).lexically_normal().string();
    setenv("CVDT_MACHINE", root.c_str(), 1);
  }
  auto machine = plat::posix::currentMachine();
  if (machine->root.empty() || !fs::exists(machine->root + "/machine.ini"))
    throw std::runtime_error("no machine (give DIR or set CVDT_MACHINE)");
  if (bJson) std::printf("%s\n", cli::NCliJson::line(machineJson(*machine)).c_str());
  else printMachine(*machine);
  return cli::kExitOk;
}

void addInitOptions(CLI::App& init, InitOptions& o) {
  init.add_option("DIR", o.strDir, "the folder of the machine (created)")->required()->type_name("DIR");
  init.add_option("--arch", o.strArch, "processor of the emulated Windows")
      ->check(CLI::IsMember({"x64", "x86"}))->capture_default_str();
  init.add_option("--os", o.strOs, "Windows version (default 10.0.19045)")->type_name("MAJOR.MINOR[.BUILD]");
  init.add_option("--platform", o.strPlatform, "platform family")
      ->check(CLI::IsMember({"nt", "9x", "win32s"}))->capture_default_str();
  init.add_option("--service-pack", o.strServicePack, "service pack major and minor (CSD text \"Service Pack N\")")
      ->type_name("N[.M]");
  init.add_option_function<std::string>("--suite-mask", [&o](const std::string& text) {
        o.nSuiteMask = suiteMask(text);
      }, "suite mask, decimal or 0x followed by hexadecimal digits (default 0x100)")->type_name("MASK");
  init.add_option("--product-type", o.strProductType, "product type")
      ->check(CLI::IsMember({"workstation", "dc", "server", "1", "2", "3"}))->capture_default_str();
  cli::NCliNumber::add(init, "--language", o.nLanguage, 0, 0xFFFF, "system language id, e.g. 1033 or 1042");
  init.add_option("--code-pages", o.strCodePages, "code pages other than the language's (65001: UTF-8)")
      ->type_name("ANSI[/OEM]");
  init.add_option("--drive", o.drives,
                  "a drive: TYPE fixed|removable|remote|cdrom|ramdisk; FOLDER relative to DIR "
                  "(default drives/<l>); repeatable; C=fixed is always there unless given otherwise")
      ->type_name("L=TYPE[:FOLDER]")->allow_extra_args(false);
  init.add_option("--windows-folder", o.strWindowsFolder, "the Windows folder (default C:\\Windows)")->type_name("PATH");
  init.add_option("--agent-folder", o.strAgentFolder, "host agent folder (default under Program Files)")->type_name("PATH");
  init.add_option("--module-folder", o.strModuleFolder, "module folder (default <agent folder>\\Modules)")->type_name("PATH");
  cli::NCliNumber::add(init, "--console-session", o.nConsoleSession, 0, 65535, "console session id (default 1)");
  init.add_option("--console-user", o.strConsoleUser, "Linux user logged on at the console, or none (default: you)")
      ->type_name("NAME|none")->each([&o](const std::string&) { o.bConsoleUserGiven = true; });
  cli::NCliNumber::add(init, "--module-session", o.nModuleSession, 0, 65535, "session of the module's own process (default 0)");
  init.add_option("--trace-level", o.strTraceLevel, "the \"cvdt\" trace threshold, or none")
      ->type_name("N|none")->capture_default_str();
  init.add_option("--name", o.strName, "computer name");
  init.add_option("--stage", o.strStage, "companions and catalogue to install (default: the build's)")->type_name("DIR");
  cli::NCliNumber::add(init, "--registry-busy-ms", o.nRegistryBusyMs, 0, 3600000, "registry busy time-out");
}

}  // namespace

void addMachineCommands(cli::NCliApp& cli) {
  CLI::App* machine = cli.addCommand(cli.root(), "machine", "lay out and describe emulated Windows machines",
                                     "cvdt-host machine init demo/machine --language 1042\n"
                                     "cvdt-host machine show demo/machine");
  auto init = std::make_shared<InitOptions>();
  CLI::App* initCommand = cli.addCommand(
      *machine, "init", "lay out an emulated Windows machine in DIR",
      "cvdt-host machine init /tmp/ws --arch x86 --os 5.1.2600 --service-pack 3 --language 1042 "
      "--drive D=cdrom --console-user none",
      [init] { return initMachine(*init); });
  addInitOptions(*initCommand, *init);
  auto show = std::make_shared<std::pair<std::string, bool>>();
  CLI::App* showCommand = cli.addCommand(
      *machine, "show", "describe a machine (default: the one $CVDT_MACHINE names)",
      "cvdt-host machine show demo/machine --json", [show] { return showMachine(show->first, show->second); });
  showCommand->add_option("DIR", show->first, "the machine's folder")->type_name("DIR");
  showCommand->add_flag("--json", show->second, "print one JSON record instead of text");
}

}  // namespace cvdt::host
