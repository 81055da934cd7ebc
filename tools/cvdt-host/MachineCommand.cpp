// The machine commands of cvdt-host: lay out an emulated Windows machine and describe one.
#include "MachineCommand.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>

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

const std::vector<std::string> kInitOptions = {
    "arch", "os", "platform", "service-pack", "suite-mask", "product-type", "language",
    "code-pages",    "drive", "windows-folder", "agent-folder", "module-folder", "console-session",
    "console-user", "module-session", "trace-level", "name", "stage", "registry-busy-ms"};

void printMachineHelp() {
  std::printf(
      "cvdt-host machine init DIR [options]\n"
      "  --arch x64|x86               processor of the emulated Windows (default x64)\n"
      "  --os MAJOR.MINOR[.BUILD]     Windows version (default 10.0.19045)\n"
      "  --platform nt|9x|win32s      platform family (default nt)\n"
      "  --service-pack N[.M]         service pack major and minor (CSD text \"Service Pack N\")\n"
      "  --suite-mask N               suite mask (default 0x100)\n"
      "  --product-type workstation|dc|server   (default workstation)\n"
      "  --language LANGID            system language, e.g. 1033 or 1042 (default 1033)\n"
      "  --code-pages ANSI[/OEM]      code pages other than the language's (65001: UTF-8)\n"
      "  --drive L=TYPE[:FOLDER]      a drive: TYPE fixed|removable|remote|cdrom|ramdisk;\n"
      "                               FOLDER relative to DIR (default drives/<l>); repeatable;\n"
      "                               C=fixed is always there unless given otherwise\n"
      "  --windows-folder PATH        (default C:\\Windows)\n"
      "  --agent-folder PATH          host agent folder (default under Program Files)\n"
      "  --module-folder PATH         module folder (default <agent folder>\\Modules)\n"
      "  --console-session N          console session id (default 1)\n"
      "  --console-user NAME|none     Linux user logged on at the console (default: you)\n"
      "  --module-session N           session of the module's own process (default 0)\n"
      "  --trace-level N|none         the \"cvdt\" trace threshold (default 3)\n"
      "  --name NAME                  computer name\n"
      "  --stage DIR                  companions and catalogue to install (default: the build's)\n"
      "  --registry-busy-ms N         registry busy time-out (default 5000)\n");
}

bool fail(const std::string& message) {
  std::fprintf(stderr, "cvdt-host machine init: %s\n", message.c_str());
  return false;
}

bool parseNumber(const std::string& text, long& value) {
  char* end = nullptr;
  value = std::strtol(text.c_str(), &end, 0);
  return !text.empty() && end != nullptr && *end == '\0';
}

bool applyVersion(const CommandLine& line, MachineConfig& config) {
  plat::OsVersion& v = config.version;
  std::string os = line.value("os", "");
  if (!os.empty()) {
    unsigned major = 0, minor = 0, build = 0;
    int fields = std::sscanf(os.c_str(), "%u.%u.%u", &major, &minor, &build);
    if (fields < 2) return fail("--os wants MAJOR.MINOR[.BUILD], not '" + os + "'");
    v.major = major;
    v.minor = minor;
    v.build = fields == 3 ? build : 0;
  }
  std::string platform = line.value("platform", "nt");
  if (platform == "nt") v.platformId = plat::kPlatformNt;
  else if (platform == "9x") v.platformId = plat::kPlatformWindows9x;
  else if (platform == "win32s") v.platformId = plat::kPlatformWin32s;
  else return fail("--platform wants nt, 9x or win32s");
  long number = 0;
  if (line.has("service-pack")) {
    std::string text = line.value("service-pack");
    size_t dot = text.find('.');
    long minor = 0;
    if (!parseNumber(text.substr(0, dot), number) || number < 0 || number > 0xFFFF ||
        (dot != std::string::npos &&
         (!parseNumber(text.substr(dot + 1), minor) || minor < 0 || minor > 0xFFFF)))
      return fail("--service-pack wants N or N.M, not '" + text + "'");
    v.servicePackMajor = static_cast<uint16_t>(number);
    v.servicePackMinor = static_cast<uint16_t>(minor);
    v.csdVersion = number > 0 ? "Service Pack " + std::to_string(number) : "";
  }
  if (line.has("suite-mask")) {
    if (!parseNumber(line.value("suite-mask"), number)) return fail("bad --suite-mask");
    v.suiteMask = static_cast<uint16_t>(number);
  }
  std::string product = line.value("product-type", "workstation");
  if (product == "workstation" || product == "1") v.productType = 1;
  else if (product == "dc" || product == "2") v.productType = 2;
  else if (product == "server" || product == "3") v.productType = 3;
  else return fail("--product-type wants workstation, dc or server");
  return true;
}

bool applyDrives(const CommandLine& line, MachineConfig& config) {
  for (const std::string& spec : line.values("drive")) {
    size_t equals = spec.find('=');
    if (equals != 1 || !std::isalpha(static_cast<unsigned char>(spec[0])))
      return fail("--drive wants L=TYPE[:FOLDER], not '" + spec + "'");
    char letter = static_cast<char>(std::toupper(static_cast<unsigned char>(spec[0])));
    std::string rest = spec.substr(2);
    size_t colon = rest.find(':');
    plat::posix::DriveConfig drive;
    if (!plat::posix::driveTypeFromName(rest.substr(0, colon), drive.type))
      return fail("unknown drive type in '" + spec + "'");
    std::string folder = colon == std::string::npos ? "drives/" + std::string(1, std::tolower(letter))
                                                    : rest.substr(colon + 1);
    fs::path path(folder);
    if (path.is_relative()) path = fs::path(config.root) / path;
    drive.folder = path.lexically_normal().string();
    if (letter == 'Z') return fail("Z: is the host's root and cannot be changed");
    config.drives[letter] = drive;
  }
  std::string windows = config.windowsFolder;
  if (windows.size() < 2 || windows[1] != ':' ||
      config.drives.count(static_cast<char>(std::toupper(static_cast<unsigned char>(windows[0])))) == 0)
    return fail("the Windows folder " + windows + " is on no drive of this machine");
  return true;
}

std::string currentUserName() {
  const char* sudoUser = std::getenv("SUDO_USER");
  if (sudoUser != nullptr && *sudoUser != '\0') return sudoUser;
  passwd* entry = getpwuid(getuid());
  return entry != nullptr ? entry->pw_name : "";
}

bool applySessions(const CommandLine& line, MachineConfig& config) {
  long number = 0;
  if (line.has("console-session")) {
    if (!parseNumber(line.value("console-session"), number)) return fail("bad --console-session");
    config.consoleSession = static_cast<int>(number);
  }
  if (line.has("module-session")) {
    if (!parseNumber(line.value("module-session"), number)) return fail("bad --module-session");
    config.moduleSession = static_cast<int>(number);
  }
  std::string user = line.value("console-user", currentUserName());
  if (user != "none" && !user.empty() && getpwnam(user.c_str()) == nullptr)
    return fail("no Linux user '" + user + "' for the console session");
  config.consoleUser = user == "none" ? "" : user;
  return true;
}

// "ANSI" or "ANSI/OEM", code pages the converter knows. A lone ANSI page 65001 makes the OEM
// page 65001 too, as Windows' worldwide UTF-8 setting does.
bool applyCodePages(const std::string& text, MachineConfig& config) {
  size_t slash = text.find('/');
  long ansi = 0, oem = 0;
  if (!parseNumber(text.substr(0, slash), ansi) || ansi <= 0) return false;
  if (slash == std::string::npos) {
    oem = ansi == plat::kCodePageUtf8 ? ansi : 0;
  } else if (!parseNumber(text.substr(slash + 1), oem) || oem <= 0) {
    return false;
  }
  config.ansiCodePage = static_cast<uint32_t>(ansi);
  config.oemCodePage = static_cast<uint32_t>(oem);
  return plat::isCodePageAvailable(config.ansiCodePage) &&
         (oem == 0 || plat::isCodePageAvailable(config.oemCodePage));
}

bool buildConfig(const CommandLine& line, const std::string& root, MachineConfig& config,
                 plat::posix::LayoutOptions& options) {
  bool is64 = line.value("arch", "x64") != "x86";
  if (line.has("arch") && line.value("arch") != "x64" && line.value("arch") != "x86")
    return fail("--arch wants x64 or x86");
  config = plat::posix::defaultMachine(root, is64);
  config.computerName = line.value("name", config.computerName);
  config.windowsFolder = line.value("windows-folder", config.windowsFolder);
  config.agentFolder = line.value("agent-folder", config.agentFolder);
  config.moduleFolder = line.value("module-folder", config.agentFolder + "\\Modules");
  long number = 0;
  if (!parseNumber(line.value("language", "1033"), number)) return fail("bad --language");
  config.language = static_cast<uint16_t>(number);
  if (line.has("code-pages") && !applyCodePages(line.value("code-pages", ""), config))
    return fail("bad --code-pages");
  if (!parseNumber(line.value("registry-busy-ms", "5000"), number) || number < 0)
    return fail("bad --registry-busy-ms");
  config.registryBusyTimeoutMs = static_cast<int>(number);
  std::string level = line.value("trace-level", "3");
  options.traceLevel = level == "none" ? "" : level;
  options.stageFolder = line.value("stage", CVDT_STAGE_DIR);
  return applyVersion(line, config) && applyDrives(line, config) && applySessions(line, config);
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

int initMachine(const CommandLine& line) {
  const auto& words = line.words();
  if (words.size() != 3) {
    printMachineHelp();
    return 2;
  }
  for (const std::string& name : line.unknown(kInitOptions)) return fail("unknown option --" + name), 2;
  if (!line.missingValue().empty()) return fail("--" + line.missingValue() + " needs a value"), 2;
  std::string root = fs::absolute(words[2]).lexically_normal().string();
  while (root.size() > 1 && root.back() == '/') root.pop_back();
  MachineConfig config;
  plat::posix::LayoutOptions options;
  if (!buildConfig(line, root, config, options)) return 2;
  std::string error;
  if (!plat::posix::layOutMachine(config, options, error)) return fail(error), 1;
  printMachine(*plat::posix::currentMachine());
  std::printf("\nUse it with:  export CVDT_MACHINE=%s\n", root.c_str());
  return 0;
}

int showMachine(const CommandLine& line) {
  if (line.words().size() > 2) {
    std::string root = fs::absolute(line.words()[2]).lexically_normal().string();
    setenv("CVDT_MACHINE", root.c_str(), 1);
  }
  auto machine = plat::posix::currentMachine();
  if (machine->root.empty() || !fs::exists(machine->root + "/machine.ini")) {
    std::fprintf(stderr, "cvdt-host machine show: no machine (give DIR or set CVDT_MACHINE)\n");
    return 1;
  }
  printMachine(*machine);
  return 0;
}

}  // namespace

int runMachineCommand(const CommandLine& line) {
  const auto& words = line.words();
  std::string verb = words.size() > 1 ? words[1] : "help";
  if (verb == "init") return initMachine(line);
  if (verb == "show") return showMachine(line);
  printMachineHelp();
  return verb == "help" ? 0 : 2;
}

}  // namespace cvdt::host
