// A fresh temporary folder per test for the platform file tests, removed at the end.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "platform/PlatformFs.h"

namespace cvdt_test {

class PlatformTempDir {
 public:
  PlatformTempDir() {
    static std::atomic<unsigned> s_nCounter{0};
    std::random_device rd;
    std::string name = "cvdt_platform_" + std::to_string(rd()) + "_" + std::to_string(++s_nCounter) + "_" +
                       std::to_string(std::chrono::steady_clock::now().time_since_epoch().count());
    m_path = std::filesystem::path(testing::TempDir()) / name;
    std::filesystem::create_directories(m_path);
  }
  ~PlatformTempDir() {
    std::error_code ec;
    std::filesystem::remove_all(m_path, ec);
  }
  PlatformTempDir(const PlatformTempDir&) = delete;
  PlatformTempDir& operator=(const PlatformTempDir&) = delete;

  std::string hostPath(const std::string& name) const { return (m_path / name).string(); }
  std::string windowsPath(const std::string& name) const { return plat::toWindowsPath(hostPath(name)); }
  // Writes raw bytes and returns the file's Windows path.
  std::string write(const std::string& name, const std::string& bytes) const {
    std::ofstream out(hostPath(name), std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return windowsPath(name);
  }

 private:
  std::filesystem::path m_path;
};

// UTF-16 LE bytes of a UTF-16 text (no byte-order mark).
inline std::string utf16le(const std::u16string& text) {
  std::string bytes;
  for (char16_t unit : text) {
    bytes.push_back(static_cast<char>(unit & 0xFF));
    bytes.push_back(static_cast<char>(unit >> 8));
  }
  return bytes;
}

inline const std::string kUtf16Bom("\xFF\xFE", 2);

}  // namespace cvdt_test
