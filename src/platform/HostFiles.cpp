// Whole files named by host paths, on either backend's plat::File.
#include <string>

#include "platform/PlatformFile.h"

namespace plat {

bool readHostFile(const std::string& hostPath, std::string& content) {
  File file;
  if (!file.openHost(hostPath, FileMode::Read)) return false;
  content.clear();
  char chunk[65536];
  size_t n;
  while ((n = file.read(chunk, sizeof chunk)) > 0) content.append(chunk, n);
  return !file.readFailed();
}

bool writeHostFile(const std::string& hostPath, const std::string& content) {
  File file;
  return file.openHost(hostPath, FileMode::Write) &&
         file.write(content.data(), content.size()) == content.size();
}

}  // namespace plat
