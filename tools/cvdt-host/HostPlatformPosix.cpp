// The host agent on the emulated machine: the machine's module folder, descriptors from /proc.
#include <dirent.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "HostPlatform.h"
#include "platform/posix/MachineConfig.h"

namespace cvdt::host {
namespace {

// Entries of a /proc folder.
int procEntries(const char* folder) {
  std::error_code ec;
  int count = 0;
  for (std::filesystem::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec))
    ++count;
  return count;
}

// The "flags:" value of /proc/self/fdinfo/N (octal open flags), or "?".
std::string descriptorFlags(const std::string& number) {
  std::ifstream info("/proc/self/fdinfo/" + number);
  std::string key, value;
  while (info >> key >> value)
    if (key == "flags:") return value;
  return "?";
}

// Prints every open descriptor but the listing's own as "stats-fd N flags=F TARGET" and
// returns how many there are.
int printDescriptors() {
  DIR* listing = opendir("/proc/self/fd");
  if (listing == nullptr) return -1;
  std::vector<std::pair<int, std::string>> open;
  while (dirent* entry = readdir(listing)) {
    if (entry->d_name[0] == '.' || std::atoi(entry->d_name) == dirfd(listing)) continue;
    std::error_code error;
    std::string target =
        std::filesystem::read_symlink(std::string("/proc/self/fd/") + entry->d_name, error).string();
    open.emplace_back(std::atoi(entry->d_name), error ? "?" : target);
  }
  closedir(listing);
  for (const auto& [number, target] : open)
    std::printf("stats-fd %d flags=%s %s\n", number, descriptorFlags(std::to_string(number)).c_str(),
                target.c_str());
  return static_cast<int>(open.size());
}

}  // namespace

std::string defaultModulePath() { return plat::posix::currentMachine()->moduleFolder + "\\cvdt.dll"; }

void printProcessStats() {
  int descriptors = printDescriptors();
  std::printf("stats threads=%d fds=%d\n", procEntries("/proc/self/task"), descriptors);
}

}  // namespace cvdt::host
