// `cvdt-host agent`: the host agent. It loads the module from the machine, builds the host
// environment block from its options, runs the reporting component, and calls the exports as
// its script (or standard input) says, printing every call and every command result.
#pragma once

#include "NCliApp.h"

namespace cvdt::host {

// Adds "agent": exits 0 when every script line ran, 1 when a line could not be run or the
// module could not be loaded, 2 for a wrong command line.
void addAgentCommand(cli::NCliApp& cli);

}  // namespace cvdt::host
