// LgzCompanion: the extraction library cvlgz.dll, loaded and called exactly as the module calls
// it, so that what cvdt-pack unpacks and checks is what agents will unpack.
#pragma once

#include <string>

#include "net/CompanionApi.h"
#include "platform/PlatformLibrary.h"
#include "platform/Status.h"

namespace cvdt::pack {

class LgzCompanion {
 public:
  static constexpr const char* kFileName = "cvlgz.dll";

  // Loads folder/cvlgz.dll (folder: a host folder; empty means the build's stage folder).
  // Throws PackError when the library is missing or lacks an entry point.
  explicit LgzCompanion(const std::string& folder);

  // Unpacks the archive (with its further parts beside it) into the destination folder; both
  // are host paths. A failure when the library reports one; its message is the library's own
  // explanation, empty when it gives none.
  plat::Status extract(const std::string& destination, const std::string& archive) const;

 private:
  plat::Library m_library;
  GZipCreateExtractFn m_fnCreate = nullptr;
  GZipExtractFileFn m_fnExtract = nullptr;
  GZipCloseHandleFn m_fnClose = nullptr;
  GZipLastErrorFn m_fnLastError = nullptr;  // optional
};

}  // namespace cvdt::pack
