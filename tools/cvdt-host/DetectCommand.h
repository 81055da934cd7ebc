// `cvdt-host detect --policy FILE [--explain] [--json]`: evaluates a product policy on the
// machine named by CVDT_MACHINE with the module's own detection manager, and explains why.
// `cvdt-host platform`: this machine's platform strings, one per line.
#pragma once

#include "CommandLine.h"

namespace cvdt::host {

// 0 when the policy was examined (whatever the verdict), 1 when the evaluation failed or the
// file cannot be read, 2 for a wrong command line.
int runDetectCommand(const CommandLine& line);
int runPlatformCommand(const CommandLine& line);

}  // namespace cvdt::host
