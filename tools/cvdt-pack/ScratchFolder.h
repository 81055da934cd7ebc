// ScratchFolder: a private temporary folder, removed with everything in it when it goes.
#pragma once

#include <string>

namespace cvdt::pack {

class ScratchFolder {
 public:
  // Creates the folder under the system's temporary folder; throws PackError when it cannot.
  ScratchFolder();
  ~ScratchFolder();
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;

  const std::string& path() const { return m_strPath; }
  // A new empty folder below this one, named name; throws PackError when it cannot.
  std::string fresh(const std::string& name) const;

 private:
  std::string m_strPath;
};

}  // namespace cvdt::pack
