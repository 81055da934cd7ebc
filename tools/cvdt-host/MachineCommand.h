// `cvdt-host machine init DIR` and `cvdt-host machine show [DIR]`.
#pragma once

#include "CommandLine.h"

namespace cvdt::host {

// Returns the process exit code; messages go to standard output and standard error.
int runMachineCommand(const CommandLine& line);

}  // namespace cvdt::host
