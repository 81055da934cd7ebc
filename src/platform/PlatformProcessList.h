// The running processes of the machine: ids, image paths and executable names.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace plat {

struct ProcessEntry {
  uint32_t id = 0;
  std::string exeName;  // the executable's file name, as a process snapshot gives it
};

// A snapshot of the running processes in ascending id order; false, with processes empty, when
// none can be listed.
bool listProcesses(std::vector<ProcessEntry>& processes);
// The Windows path of a process's image; false, with path untouched, when it cannot be read
// (another user's process, a process that has ended).
bool processImagePath(uint32_t processId, std::string& path);

}  // namespace plat

namespace plat {
// TerminateProcess: ends the process at once; false when it cannot be ended.
bool terminateProcess(uint32_t processId, uint32_t exitCode);
}  // namespace plat
