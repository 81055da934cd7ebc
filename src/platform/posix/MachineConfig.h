// The emulated Windows machine of the Linux backend: the machine root named by CVDT_MACHINE
// and the facts of its machine.ini (version, processor, language, folders, drives, sessions).
#pragma once

#include <map>
#include <memory>
#include <string>

#include "platform/PlatformFs.h"
#include "platform/PlatformSystem.h"
#include "platform/PlatformText.h"

namespace plat::posix {

struct DriveConfig {
  std::string folder;  // absolute host folder
  DriveType type = DriveType::Fixed;
};

struct MachineConfig {
  std::string root;  // absolute host folder of the machine; empty without a machine
  std::string computerName = "CVDT-WS";
  OsVersion version;
  bool is64Bit = true;
  uint16_t language = 1033;
  uint32_t ansiCodePage = 0;  // 0: the language's
  uint32_t oemCodePage = 0;   // 0: the language's
  std::string windowsFolder = "C:\\Windows";
  std::string agentFolder;   // host (agent) program folder; empty: the executable's folder
  std::string moduleFolder;  // where the host loads the module from
  std::map<char, DriveConfig> drives;  // upper-case letters; Z: is "/" unless given
  int consoleSession = 1;
  std::string consoleUser;  // Linux user logged on at the console; empty: nobody
  int moduleSession = 0;    // the session the module's own process runs in
  int registryBusyTimeoutMs = 5000;

  // The ANSI and OEM code pages: those of the language unless machine.ini names them; 65001
  // (UTF-8) for both without a machine.
  CodePages codePages() const;
  std::string registryPath() const { return root.empty() ? std::string() : root + "/registry.db"; }
  // Parses machine.ini text; relative drive folders are taken below root.
  static MachineConfig parse(const std::string& root, const std::string& iniText);
  // The machine.ini text for this configuration.
  std::string toIni() const;
};

// The current machine (CVDT_MACHINE), read again whenever the variable names another folder.
// Without the variable the machine has only Z: and default version facts.
std::shared_ptr<const MachineConfig> currentMachine();
// Forgets the cached machine so that the next call reads machine.ini again.
void reloadMachine();

const char* driveTypeName(DriveType type);
bool driveTypeFromName(const std::string& name, DriveType& type);

}  // namespace plat::posix
