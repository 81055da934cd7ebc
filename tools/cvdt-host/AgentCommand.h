// `cvdt-host agent`: the host agent. It loads the module from the machine, builds the host
// environment block from its options, runs the reporting component, and calls the exports as
// its script (or standard input) says, printing every call and every command result.
#pragma once

namespace cvdt::host {

int runAgentCommand(int argc, char** argv);

}  // namespace cvdt::host
