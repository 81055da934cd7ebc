// `cvdt-host reports [--once] [--seconds N]`: run the reporting component and print every
// command result it collects as one JSON line.
#pragma once

#include "NCliApp.h"

namespace cvdt::host {

// Adds "reports": JSON lines go to standard output, messages to standard error; exits 1 when the
// queue cannot be created.
void addReportsCommand(cli::NCliApp& cli);

}  // namespace cvdt::host
