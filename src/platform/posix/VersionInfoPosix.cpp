// Version resources of the Linux backend: the PE file named by a Windows path is read through
// the machine's drives and its version resource found by our own PE reader.
#include "platform/PeVersionResource.h"
#include "platform/PlatformFile.h"
#include "platform/PlatformVersionInfo.h"
#include "platform/VersionBlock.h"
#include "platform/WinError.h"

namespace plat {
namespace {

bool readResource(const std::string& windowsPath, std::string& resource) {
  File file;
  if (!file.open(windowsPath, FileMode::Read)) return false;  // lastError set by open
  int64_t size = file.size();
  ReadAt readAt = [&file](uint64_t offset, void* buffer, size_t count) {
    if (!file.seek(offset)) return false;
    for (size_t done = 0; done < count;) {
      size_t n = file.read(static_cast<char*>(buffer) + done, count - done);
      if (n == 0) return false;
      done += n;
    }
    return true;
  };
  if (size <= 0 || !readPeVersionResource(readAt, static_cast<uint64_t>(size), resource)) {
    setLastError(kErrorResourceTypeNotFound);
    return false;
  }
  return true;
}

}  // namespace

uint32_t fileVersionInfoSize(const std::string& windowsPath) {
  std::string resource;
  if (!readResource(windowsPath, resource)) return 0;
  return versionBlockSize(static_cast<uint32_t>(resource.size()));
}

bool fileVersionInfo(const std::string& windowsPath, void* block, uint32_t size) {
  std::string resource;
  if (block == nullptr || !readResource(windowsPath, resource)) return false;
  if (!fillVersionBlock(resource, block, size)) {
    setLastError(kErrorInvalidParameter);
    return false;
  }
  return true;
}

bool queryVersionValue(void* block, const char* subBlock, const void** value, uint32_t* length) {
  return queryVersionBlock(block, subBlock, value, length);
}

}  // namespace plat
