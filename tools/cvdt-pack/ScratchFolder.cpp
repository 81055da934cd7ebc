// A temporary folder for unpacking what a check reads.
#include "ScratchFolder.h"

#include <stdlib.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <vector>

#include "PackError.h"

namespace cvdt::pack {

namespace fs = std::filesystem;

ScratchFolder::ScratchFolder() {
  std::error_code error;
  std::string pattern = (fs::temp_directory_path(error) / "cvdt-pack-XXXXXX").string();
  std::vector<char> buffer(pattern.begin(), pattern.end());
  buffer.push_back('\0');
  if (error || mkdtemp(buffer.data()) == nullptr) {
    throw PackError("cannot create a temporary folder: " + std::string(std::strerror(errno)));
  }
  m_strPath = buffer.data();
}

ScratchFolder::~ScratchFolder() {
  std::error_code error;
  fs::remove_all(m_strPath, error);
}

std::string ScratchFolder::fresh(const std::string& name) const {
  const std::string folder = m_strPath + "/" + name;
  std::error_code error;
  fs::remove_all(folder, error);
  if (!error) fs::create_directories(folder, error);
  if (error) throw PackError("cannot create " + folder + ": " + error.message());
  return folder;
}

}  // namespace cvdt::pack
