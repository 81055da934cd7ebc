// A fresh temporary folder per test for the platform file tests, removed at the end, and the
// UTF-16 LE texts those tests write.
#pragma once

#include <filesystem>
#include <fstream>
#include <string>

#include "platform/PlatformFs.h"
#include "support/TestMachine.h"

namespace cvdt_test {

class PlatformTempDir {
 public:
  PlatformTempDir() : m_path(cvdt::test::makeTempFolder("cvdt_platform")) {}
  ~PlatformTempDir() {
    std::error_code ec;
    std::filesystem::remove_all(m_path, ec);
  }
  std::string hostPath(const std::string& name) const { return m_path + "/" + name; }
  std::string windowsPath(const std::string& name) const { return plat::toWindowsPath(hostPath(name)); }
  // Writes raw bytes and returns the file's Windows path.
  std::string write(const std::string& name, const std::string& bytes) const {
    std::ofstream(hostPath(name), std::ios::binary) << bytes;
    return windowsPath(name);
  }

 private:
  std::string m_path;
};

// UTF-16 LE bytes of a UTF-16 text (no byte-order mark).
inline std::string utf16le(const std::u16string& text) {
  std::string bytes;
  for (char16_t unit : text)
    bytes += {static_cast<char>(unit & 0xFF), static_cast<char>(unit >> 8)};
  return bytes;
}

inline const std::string kUtf16Bom("\xFF\xFE", 2);

}  // namespace cvdt_test
