// cvdt_companion_probe.exe: drives the Windows companion libraries of a stage folder as the
// module does (LoadLibrary, the entry points by name), for the Linux tests that run it under
// wine64 against their own servers and archives.
//   cvdt_companion_probe.exe lgz STAGE DESTINATION ARCHIVE
//       prints "extracted", or "failed: " and the library's reason; exit 0 or 1
//   cvdt_companion_probe.exe ftc STAGE PROTOCOL CREDENTIALS HOST PORT MODE REMOTE LOCAL [...]
//       prints "connect failed" (exit 2), or one "get REMOTE ok|failed" line per pair; exit 0
//       when every fetch succeeded, 1 otherwise
//   cvdt_companion_probe.exe ftc-stop STAGE STOP_MS PROTOCOL ... (as ftc)
//       the same with a stop event, signalled STOP_MS after the connect; each line also says
//       how many milliseconds the fetch took ("get REMOTE failed 812 ms")
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include "net/CompanionApi.h"
#include "platform/PlatformLibrary.h"
#include "platform/PlatformSync.h"

namespace {

int usage() {
  std::fprintf(stderr, "usage: cvdt_companion_probe.exe lgz STAGE DESTINATION ARCHIVE\n"
                       "       cvdt_companion_probe.exe ftc STAGE PROTOCOL CREDENTIALS HOST PORT "
                       "MODE REMOTE LOCAL [REMOTE LOCAL]...\n");
  return 3;
}

bool load(plat::Library& library, const std::string& path) {
  if (library.load(path)) return true;
  std::printf("cannot load %s: %s\n", path.c_str(), library.error().c_str());
  return false;
}

int extract(const std::string& stage, const char* destination, const char* archive) {
  plat::Library library;
  if (!load(library, stage + "\\cvlgz.dll")) return 3;
  auto create = reinterpret_cast<GZipCreateExtractFn>(library.symbol(kGZipCreateExtractName));
  auto run = reinterpret_cast<GZipExtractFileFn>(library.symbol(kGZipExtractFileName));
  auto close = reinterpret_cast<GZipCloseHandleFn>(library.symbol(kGZipCloseHandleName));
  auto why = reinterpret_cast<GZipLastErrorFn>(library.symbol(kGZipLastErrorName));
  if (!create || !run || !close || !why) return 3;
  void* handle = create();
  int result = run(handle, destination, archive, 0);
  if (result != 0) {
    std::printf("extracted\n");
  } else {
    std::printf("failed: %s\n", why(handle));
  }
  close(handle);
  return result != 0 ? 0 : 1;
}

// stopAfterMs < 0: no stop event.
int fetch(const std::string& stage, int stopAfterMs, int argc, char** argv) {
  plat::Library library;
  if (!load(library, stage + "\\cvftc.dll")) return 3;
  auto connect = reinterpret_cast<FtcCreateConnection1V2Fn>(library.symbol(kFtcCreateConnectionName));
  auto get = reinterpret_cast<FtcGet1Fn>(library.symbol(kFtcGetName));
  auto end = reinterpret_cast<FtcEndConnection2Fn>(library.symbol(kFtcEndConnectionName));
  if (!connect || !get || !end) return 3;
  plat::Event stop(true);
  void* connection = connect(argv[0], argv[1], argv[2], std::atoi(argv[3]), std::atoi(argv[4]),
                             stopAfterMs < 0 ? nullptr : &stop);
  if (connection == nullptr) {
    std::printf("connect failed\n");
    return 2;
  }
  std::thread stopper;
  if (stopAfterMs >= 0) {
    stopper = std::thread([&stop, stopAfterMs] {
      std::this_thread::sleep_for(std::chrono::milliseconds(stopAfterMs));
      stop.set();
    });
  }
  bool all = true;
  for (int i = 5; i + 1 < argc; i += 2) {
    auto started = std::chrono::steady_clock::now();
    bool ok = get(connection, argv[i], argv[i + 1]) != 0;
    long long ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                       std::chrono::steady_clock::now() - started).count();
    std::printf("get %s %s %lld ms\n", argv[i], ok ? "ok" : "failed", ms);
    all = all && ok;
  }
  end(connection, all ? 1 : 0);
  if (stopper.joinable()) stopper.join();
  return all ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) return usage();
  std::string verb = argv[1];
  if (verb == "lgz" && argc == 5) return extract(argv[2], argv[3], argv[4]);
  if (verb == "ftc" && argc >= 10 && (argc - 8) % 2 == 0) return fetch(argv[2], -1, argc - 3, argv + 3);
  if (verb == "ftc-stop" && argc >= 11 && (argc - 9) % 2 == 0)
    return fetch(argv[2], std::atoi(argv[3]), argc - 4, argv + 4);
  return usage();
}
