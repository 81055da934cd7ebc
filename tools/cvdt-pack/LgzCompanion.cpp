// Loading cvlgz.dll and unpacking archives through it.
#include "LgzCompanion.h"

#include <filesystem>

#include "PackError.h"
#include "platform/PlatformFs.h"

namespace cvdt::pack {

namespace {

// The library takes Windows paths; host paths outside the machine's drives map to Z:.
std::string windowsPath(const std::string& hostPath) {
  return plat::toWindowsPath(std::filesystem::absolute(hostPath).string());
}

}  // namespace

LgzCompanion::LgzCompanion(const std::string& folder) {
  const std::string host = (folder.empty() ? std::string(CVDT_STAGE_DIR) : folder) + "/" + kFileName;
  std::error_code error;
  if (!std::filesystem::is_regular_file(host, error)) {
    throw PackError("the extraction library " + host + " is missing (build the cvlgz target, or "
                    "name its folder with --companions)");
  }
  if (!m_library.load(windowsPath(host))) {
    throw PackError("cannot load " + host + ": " + m_library.error());
  }
  m_fnCreate = reinterpret_cast<GZipCreateExtractFn>(m_library.symbol(kGZipCreateExtractName));
  m_fnExtract = reinterpret_cast<GZipExtractFileFn>(m_library.symbol(kGZipExtractFileName));
  m_fnClose = reinterpret_cast<GZipCloseHandleFn>(m_library.symbol(kGZipCloseHandleName));
  if (m_fnCreate == nullptr || m_fnExtract == nullptr || m_fnClose == nullptr) {
    throw PackError(host + " lacks one of its entry points");
  }
  m_fnLastError = reinterpret_cast<GZipLastErrorFn>(m_library.symbol(kGZipLastErrorName));
}

plat::Status LgzCompanion::extract(const std::string& destination,
                                   const std::string& archive) const {
  void* handle = m_fnCreate();
  if (handle == nullptr) return plat::Status::failure("");
  const int done =
      m_fnExtract(handle, windowsPath(destination).c_str(), windowsPath(archive).c_str(), 0);
  const char* why = m_fnLastError != nullptr ? m_fnLastError(handle) : nullptr;
  const std::string reason = done == 0 && why != nullptr ? why : "";
  m_fnClose(handle);
  return done != 0 ? plat::Status() : plat::Status::failure(reason);
}

}  // namespace cvdt::pack
