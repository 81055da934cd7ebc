// `cvdt-host registry show KEY`: the values of a key of the machine's registry, for operators.
#pragma once

#include "CommandLine.h"

namespace cvdt::host {

int runRegistryCommand(const CommandLine& line);

}  // namespace cvdt::host
