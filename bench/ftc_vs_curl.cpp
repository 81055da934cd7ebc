// Downloads one file from a loopback HTTP server through cvftc.dll and through the curl command
// line, alternately, and prints the best time of each and their ratio.
// Usage: cvdt_ftc_vs_curl FILE [RUNS]   (the copies are written beside FILE and removed)
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>

#include "net/CompanionApi.h"
#include "platform/PlatformFs.h"
#include "platform/PlatformLibrary.h"
#include "support/LoopbackHttpServer.h"

namespace {

namespace fs = std::filesystem;
using cvdt::test::LoopbackHttpServer;
using cvdt::test::ServedFile;

// Wall time of one download in seconds, or a negative number when the copy is not whole.
double timed(const std::function<bool()>& download, const std::string& copy, uintmax_t bytes) {
  auto start = std::chrono::steady_clock::now();
  bool ok = download();
  double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::error_code ec;
  ok = ok && fs::file_size(copy, ec) == bytes;
  fs::remove(copy, ec);
  return ok ? seconds : -1.0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: cvdt_ftc_vs_curl FILE [RUNS]\n");
    return 2;
  }
  std::string file = fs::absolute(argv[1]).string();
  int runs = argc > 2 ? std::atoi(argv[2]) : 5;
  std::error_code ec;
  uintmax_t bytes = fs::file_size(file, ec);
  plat::Library library;
  if (ec || !library.load(plat::toWindowsPath(CVDT_STAGE_DIR "/cvftc.dll"))) {
    std::fprintf(stderr, "cvdt_ftc_vs_curl: no %s or no cvftc.dll: %s\n", file.c_str(),
                 library.error().c_str());
    return 1;
  }
  auto connect = reinterpret_cast<FtcCreateConnection1V2Fn>(library.symbol(kFtcCreateConnectionName));
  auto get = reinterpret_cast<FtcGet1Fn>(library.symbol(kFtcGetName));
  auto end = reinterpret_cast<FtcEndConnection2Fn>(library.symbol(kFtcEndConnectionName));
  LoopbackHttpServer server;
  server.addFile("/bench.bin", ServedFile::fromDisk(file));
  if (!server.start()) return 1;

  std::string copy = file + ".copy";
  std::string url = "http://127.0.0.1:" + std::to_string(server.port()) + "/bench.bin";
  std::string curlCommand = "curl -s -f -o '" + copy + "' " + url;
  std::string windowsCopy = plat::toWindowsPath(copy);
  auto viaCurl = [&] { return std::system(curlCommand.c_str()) == 0; };
  auto viaFtc = [&] {
    void* connection = connect("http", "", "127.0.0.1", server.port(), 1, nullptr);
    bool ok = connection != nullptr && get(connection, "/bench.bin", windowsCopy.c_str()) != 0;
    if (connection != nullptr) end(connection, ok ? 1 : 0);
    return ok;
  };

  double bestCurl = 1e30, bestFtc = 1e30;
  for (int i = 0; i < runs; ++i) {
    double curlSeconds = timed(viaCurl, copy, bytes);
    double ftcSeconds = timed(viaFtc, copy, bytes);
    if (curlSeconds < 0 || ftcSeconds < 0) {
      std::fprintf(stderr, "cvdt_ftc_vs_curl: a download failed\n");
      return 1;
    }
    bestCurl = std::min(bestCurl, curlSeconds);
    bestFtc = std::min(bestFtc, ftcSeconds);
  }
  double curlRate = static_cast<double>(bytes) / 1e6 / bestCurl;
  double ftcRate = static_cast<double>(bytes) / 1e6 / bestFtc;
  std::printf("file: %ju bytes over loopback HTTP, best of %d runs each\n", bytes, runs);
  std::printf("curl (command line): %8.1f MB/s (%.3f s)\n", curlRate, bestCurl);
  std::printf("cvftc.dll:           %8.1f MB/s (%.3f s)\n", ftcRate, bestFtc);
  std::printf("ratio cvftc/curl: %.3f\n", ftcRate / curlRate);
  return 0;
}
