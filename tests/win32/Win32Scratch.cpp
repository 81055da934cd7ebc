// Scratch folders and key names of the win32 backend tests.
#include "win32/Win32Scratch.h"

#include <filesystem>

#include "platform/PlatformSystem.h"

namespace cvdt::win32test {

ScratchFolder::ScratchFolder() {
  static int s_nCount = 0;
  std::string name = "cvdt-test-" + std::to_string(plat::processId()) + "-" +
                     std::to_string(++s_nCount);
  std::filesystem::path folder = std::filesystem::temp_directory_path() / name;
  std::filesystem::create_directories(folder);
  m_strPath = folder.string();
  while (!m_strPath.empty() && (m_strPath.back() == '\\' || m_strPath.back() == '/'))
    m_strPath.pop_back();
}

ScratchFolder::~ScratchFolder() {
  std::error_code error;
  std::filesystem::permissions(m_strPath, std::filesystem::perms::owner_all,
                               std::filesystem::perm_options::add, error);
  std::filesystem::remove_all(m_strPath, error);
}

std::string uniqueKeyName(const char* purpose) {
  static int s_nCount = 0;
  return std::string("cvdt-test-") + purpose + "-" + std::to_string(plat::processId()) + "-" +
         std::to_string(++s_nCount);
}

std::string thisProgram() { return plat::moduleFileName(nullptr); }

}  // namespace cvdt::win32test
