// `cvdt-host machine init DIR` and `cvdt-host machine show [DIR]`: lay out an emulated Windows
// machine and describe one (as text or as a JSON record).
#pragma once

#include "NCliApp.h"

namespace cvdt::host {

// Adds "machine" with "init" and "show" to the tool. init exits 0 when the machine was laid
// out, 2 for options that describe no machine, 1 when the layout failed; show exits 1 when
// there is no machine.
void addMachineCommands(cli::NCliApp& cli);

}  // namespace cvdt::host
