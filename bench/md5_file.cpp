// Hashes one file through NHash (MD5, file input) and prints the digest, the seconds taken and
// the throughput, as one line: DIGEST SECONDS MB_PER_S.
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>

#include "platform/NHash.h"
#include "platform/PlatformFs.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: cvdt_md5_file HOST_PATH\n");
    return 2;
  }
  std::error_code error;
  const auto bytes = std::filesystem::file_size(argv[1], error);
  if (error) {
    std::fprintf(stderr, "cvdt_md5_file: cannot stat %s: %s\n", argv[1], error.message().c_str());
    return 1;
  }
  const std::string windowsPath = plat::toWindowsPath(argv[1]);
  NHash hash;
  const auto start = std::chrono::steady_clock::now();
  const std::string digest = hash.getHash(NHash::kAlgorithmMd5, NHash::kInputFile,
                                          windowsPath.c_str());
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  if (digest.empty()) {
    std::fprintf(stderr, "cvdt_md5_file: no digest for %s\n", windowsPath.c_str());
    return 1;
  }
  std::printf("%s %.3f %.1f\n", digest.c_str(), seconds,
              static_cast<double>(bytes) / 1e6 / seconds);
  return 0;
}
