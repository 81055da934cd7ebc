// The packager's runs for the gendist tests.
#include "gendist/DistPackager.h"

#include <filesystem>

#include "support/CommandOutput.h"
#ifdef _WIN32
#include "support/win32/LinuxCommand.h"
#endif

namespace cvdt::test {

std::string shellPath(const std::string& path) {
#ifdef _WIN32
  return linuxPath(path);
#else
  return path;
#endif
}

std::string packNormal(const std::string& src, const std::string& out, const std::string& options) {
  return commandOutput(std::string(CVDT_PACK_PATH) + " normal --src '" + shellPath(src) +
                       "' --out '" + shellPath(out) + "' " + options);
}

void serveFolder(LoopbackHttpServer& server, const std::string& root, const std::string& faultPath,
                 ServedFile::Fault fault) {
  namespace fs = std::filesystem;
  for (const auto& entry : fs::recursive_directory_iterator(root)) {
    if (!entry.is_regular_file()) continue;
    std::string path = "/" + fs::relative(entry.path(), root).generic_string();
    server.addFile(path, ServedFile::fromDisk(entry.path().string(),
                                              path == faultPath ? fault : ServedFile::Fault::None));
  }
}

std::string outputField(const std::string& output, const std::string& key) {
  size_t at = output.find(key + "=");
  if (at == std::string::npos) return {};
  size_t end = output.find('\n', at);
  return output.substr(at + key.size() + 1, end - at - key.size() - 1);
}

}  // namespace cvdt::test
