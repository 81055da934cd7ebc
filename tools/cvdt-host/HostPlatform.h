// What the host agent does differently on Linux (the emulated machine) and on Windows.
#pragma once

#include <string>

namespace cvdt::host {

// Where the agent loads the module from by default, as a Windows path: the machine's module
// folder on Linux, the folder of cvdt-host.exe on Windows.
std::string defaultModulePath();
// The "stats" script command: this process's open descriptors or handles, then its thread count
// ("stats threads=N fds=M" last).
void printProcessStats();

}  // namespace cvdt::host
