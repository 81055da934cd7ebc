// A fresh folder and registry key per test for the win32 backend tests, removed at the end.
#pragma once

#include <string>

namespace cvdt::win32test {

// A folder under the system's temporary folder, as a Windows path without a trailing backslash.
class ScratchFolder {
 public:
  ScratchFolder();
  ~ScratchFolder();
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;
  const std::string& path() const { return m_strPath; }
  std::string file(const std::string& name) const { return m_strPath + "\\" + name; }

 private:
  std::string m_strPath;
};

// A key name unique to this process and test, for HKEY_CURRENT_USER\Software or
// HKEY_LOCAL_MACHINE\SOFTWARE.
std::string uniqueKeyName(const char* purpose);
// The path of this test program.
std::string thisProgram();

}  // namespace cvdt::win32test
