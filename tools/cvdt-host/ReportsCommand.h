// `cvdt-host reports [--once] [--seconds N]`: run the reporting component and print every
// command result it collects as one JSON line.
#pragma once

namespace cvdt::host {

// Returns the process exit code. JSON lines go to standard output, messages to standard error.
int runReportsCommand(int argc, char** argv);

}  // namespace cvdt::host
