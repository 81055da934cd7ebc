// A stand-in extraction library for tests that must hold a job inside its package extraction:
// installed as cvlgz.dll with the real library beside it as cvlgz-real.dll, it forwards every
// call to the real one, but before it unpacks a package (not an index archive) it creates
// "extracting" in the folder named by CVDT_LGZ_GATE and waits until "open" appears there.
#include <dlfcn.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "net/CompanionApi.h"

namespace {

struct Real {
  GZipCreateExtractFn create = nullptr;
  GZipExtractFileFn extract = nullptr;
  GZipCloseHandleFn close = nullptr;
};

// The real library beside this one, loaded once.
const Real& real() {
  static const Real loaded = [] {
    Real functions;
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(&real), &info) == 0 || info.dli_fname == nullptr) return functions;
    std::string path = std::filesystem::path(info.dli_fname).parent_path().string() + "/cvlgz-real.dll";
    void* library = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) return functions;
    functions.create = reinterpret_cast<GZipCreateExtractFn>(dlsym(library, kGZipCreateExtractName));
    functions.extract = reinterpret_cast<GZipExtractFileFn>(dlsym(library, kGZipExtractFileName));
    functions.close = reinterpret_cast<GZipCloseHandleFn>(dlsym(library, kGZipCloseHandleName));
    return functions;
  }();
  return loaded;
}

void waitAtTheGate(const char* archive) {
  const char* gate = std::getenv("CVDT_LGZ_GATE");
  if (gate == nullptr || archive == nullptr || std::strstr(archive, ".idx.lgz") != nullptr) return;
  std::ofstream(std::string(gate) + "/extracting") << archive;
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (!std::filesystem::exists(std::string(gate) + "/open") &&
         std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

}  // namespace

CVDT_COMPANION_EXPORT void* GZipCreateExtract() { return real().create ? real().create() : nullptr; }

CVDT_COMPANION_EXPORT int GZipExtractFile(void* extraction, const char* destination,
                                          const char* archive, int reserved) {
  waitAtTheGate(archive);
  return real().extract ? real().extract(extraction, destination, archive, reserved) : 0;
}

CVDT_COMPANION_EXPORT int GZipCloseHandle(void* extraction) {
  return real().close ? real().close(extraction) : 0;
}
