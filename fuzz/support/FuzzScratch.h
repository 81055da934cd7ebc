// FuzzScratch: a private folder for one fuzz process, below TMPDIR, removed when the process
// ends normally (scripts/fuzz runs every target inside a scratch TMPDIR of its own, so what a
// crashing run leaves behind goes with it). Optionally an emulated machine lives there.
#pragma once

#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "platform/PlatformFs.h"
#include "platform/posix/MachineConfig.h"
#include "platform/posix/MachineLayout.h"

namespace cvdt::fuzz {

class FuzzScratch {
 public:
  // language: when non-zero, an emulated machine with that system language is laid out in the
  // folder and CVDT_MACHINE names it; otherwise Windows paths reach the folder through Z:.
  explicit FuzzScratch(uint16_t language = 0) {
    namespace fs = std::filesystem;
    fs::path base = fs::temp_directory_path();
    m_strRoot = (base / ("cvdt-fuzz-" + std::to_string(getpid()))).string();
    fs::remove_all(m_strRoot);
    fs::create_directories(m_strRoot);
    if (language != 0) layOut(language);
  }
  ~FuzzScratch() {
    std::error_code ec;
    std::filesystem::remove_all(m_strRoot, ec);
  }
  FuzzScratch(const FuzzScratch&) = delete;
  FuzzScratch& operator=(const FuzzScratch&) = delete;

  const std::string& root() const { return m_strRoot; }
  // Host path of a name inside the folder.
  std::string host(const std::string& name) const { return m_strRoot + "/" + name; }
  // Windows path of a name inside the folder.
  std::string windows(const std::string& name) const { return plat::toWindowsPath(host(name)); }
  // Writes bytes to a file inside the folder; aborts when it cannot, since every later result
  // would be meaningless.
  void write(const std::string& name, const uint8_t* data, size_t size) const {
    std::ofstream out(host(name), std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    if (!out) std::abort();
  }

 private:
  void layOut(uint16_t language) {
    plat::posix::MachineConfig config = plat::posix::defaultMachine(m_strRoot + "/machine", true);
    config.language = language;
    plat::posix::LayoutOptions options;
    options.traceLevel = "";
    std::string error;
    if (!plat::posix::layOutMachine(config, options, error)) std::abort();
  }

  std::string m_strRoot;
};

}  // namespace cvdt::fuzz
