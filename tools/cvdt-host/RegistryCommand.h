// `cvdt-host registry show KEY`: the values of a key of the machine's registry, for operators.
#pragma once

#include "NCliApp.h"

namespace cvdt::host {

// Adds "registry show KEY [--64]": 0 when the key was listed, 1 when there is no such key, 2
// for a key under an unknown root.
void addRegistryCommand(cli::NCliApp& cli);

}  // namespace cvdt::host
