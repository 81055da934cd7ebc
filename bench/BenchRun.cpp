// Shared benchmark pieces; see BenchRun.h.
#include "BenchRun.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "support/LoopbackHttpServer.h"

namespace cvdt::bench {

namespace fs = std::filesystem;

double secondsSince(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

std::string readText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

std::string outputOf(const std::string& command) {
  std::string out;
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return out;
  char chunk[4096];
  for (size_t n; (n = std::fread(chunk, 1, sizeof chunk, pipe)) > 0;) out.append(chunk, n);
  return pclose(pipe) == 0 ? out : std::string();
}

double median(std::vector<double> values) {
  if (values.empty()) return -1;
  std::sort(values.begin(), values.end());
  size_t half = values.size() / 2;
  return values.size() % 2 ? values[half] : (values[half - 1] + values[half]) / 2;
}

double best(const std::vector<double>& values) {
  return values.empty() ? -1 : *std::min_element(values.begin(), values.end());
}

long statusKiB(const char* field) {
  std::ifstream status("/proc/self/status");
  size_t length = std::strlen(field);
  for (std::string line; std::getline(status, line);)
    if (line.compare(0, length, field) == 0) return std::atol(line.c_str() + length);
  return -1;
}

void serveAndCache(cvdt::test::LoopbackHttpServer& server, const std::string& root,
                   const std::vector<std::string>& paths) {
  std::vector<char> buffer(1 << 20);
  for (const std::string& path : paths) {
    server.addFile(path, cvdt::test::ServedFile::fromDisk(root + path));
    std::ifstream in(root + path, std::ios::binary);
    while (in.read(buffer.data(), static_cast<std::streamsize>(buffer.size()))) {
    }
  }
}

std::vector<std::string> filesUnder(const std::string& root) {
  std::vector<std::string> paths;
  for (const auto& entry : fs::recursive_directory_iterator(root))
    if (entry.is_regular_file()) paths.push_back("/" + fs::relative(entry.path(), root).string());
  return paths;
}

}  // namespace cvdt::bench
