// `cvdt-host detect --policy FILE [--explain] [--json]`: evaluates a product policy on the
// machine named by CVDT_MACHINE with the module's own detection manager, and explains why.
// `cvdt-host platform`: this machine's platform strings, one per line.
#pragma once

#include "NCliApp.h"

namespace cvdt::host {

// Adds "detect" and "platform". detect exits 0 when the policy was examined (whatever the
// verdict), 1 when the evaluation failed or the file cannot be read, 2 for a wrong command line.
void addDetectCommands(cli::NCliApp& cli);

}  // namespace cvdt::host
