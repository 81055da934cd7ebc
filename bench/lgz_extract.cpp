// Extracts one archive (with its volumes) through cvlgz.dll and prints the seconds taken; the
// cvlgz half of lgz_vs_bsdtar.sh.
// Usage: cvdt_lgz_extract ARCHIVE DESTINATION [LIBRARY]   (host paths; ARCHIVE is part 0,
// "X.lgz"; LIBRARY is another build of cvlgz.dll, the stage folder's by default)
#include <chrono>
#include <cstdio>
#include <string>

#include "net/CompanionApi.h"
#include "platform/PlatformFs.h"
#include "platform/PlatformLibrary.h"

int main(int argc, char** argv) {
  if (argc != 3 && argc != 4) {
    std::fprintf(stderr, "usage: cvdt_lgz_extract ARCHIVE DESTINATION [LIBRARY]\n");
    return 2;
  }
  plat::Library library;
  if (!library.load(plat::toWindowsPath(argc == 4 ? argv[3] : CVDT_STAGE_DIR "/cvlgz.dll"))) {
    std::fprintf(stderr, "cvdt_lgz_extract: %s\n", library.error().c_str());
    return 1;
  }
  auto create = reinterpret_cast<GZipCreateExtractFn>(library.symbol(kGZipCreateExtractName));
  auto extract = reinterpret_cast<GZipExtractFileFn>(library.symbol(kGZipExtractFileName));
  auto close = reinterpret_cast<GZipCloseHandleFn>(library.symbol(kGZipCloseHandleName));
  std::string archive = plat::toWindowsPath(argv[1]);
  std::string destination = plat::toWindowsPath(argv[2]);

  auto start = std::chrono::steady_clock::now();
  void* handle = create();
  int ok = handle != nullptr ? extract(handle, destination.c_str(), archive.c_str(), 0) : 0;
  if (handle != nullptr) close(handle);
  double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  if (ok == 0) {
    std::fprintf(stderr, "cvdt_lgz_extract: extraction of %s failed\n", argv[1]);
    return 1;
  }
  std::printf("%.3f\n", seconds);
  return 0;
}
