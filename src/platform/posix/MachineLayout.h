// Lays out a complete emulated machine in a folder: machine.ini, drive folders, the Windows
// folders, Program Files, the agent and module folders, the registry values the module reads,
// and the companions and catalogue from a build's stage folder.
#pragma once

#include <string>

#include "platform/posix/MachineConfig.h"

namespace plat::posix {

struct LayoutOptions {
  std::string traceLevel = "3";  // "cvdt" trace threshold; empty: no value
  std::string stageFolder;       // companions and cvmsg.bin to install; empty: none
};

// A machine description with the usual folders for its version and bitness, rooted at root:
// C: fixed (drives/c), agent "C:\Program Files (x86)\Plumbex\Corvane" (without "(x86)" on a
// 32-bit machine) and the module folder "Modules" below it.
MachineConfig defaultMachine(const std::string& root, bool is64Bit);
// Folder of the agent inside Program Files for a bitness.
std::string defaultAgentFolder(bool is64Bit);

// Writes the machine into config.root (created when absent). The registry is written through
// the platform layer, so CVDT_MACHINE is set to config.root. False with a message on failure.
bool layOutMachine(const MachineConfig& config, const LayoutOptions& options, std::string& error);

}  // namespace plat::posix
