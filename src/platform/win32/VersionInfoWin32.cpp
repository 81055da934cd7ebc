// Version resources of the win32 backend: the version library's own calls. A text entry's
// length is given without its terminating zero, whatever the version library counted.
#include <cstring>

#include "platform/PlatformVersionInfo.h"
#include "platform/win32/WindowsApi.h"

namespace plat {
namespace {

bool isTextEntry(const char* subBlock) {
  static constexpr char kStrings[] = "\\StringFileInfo\\";
  return _strnicmp(subBlock, kStrings, sizeof kStrings - 1) == 0;
}

}  // namespace

uint32_t fileVersionInfoSize(const std::string& windowsPath) {
  DWORD ignored = 0;
  return GetFileVersionInfoSizeA(windowsPath.c_str(), &ignored);
}

bool fileVersionInfo(const std::string& windowsPath, void* block, uint32_t size) {
  if (block == nullptr) return win32::failWith(ERROR_INVALID_PARAMETER);
  return GetFileVersionInfoA(windowsPath.c_str(), 0, size, block) != 0;
}

bool queryVersionValue(void* block, const char* subBlock, const void** value, uint32_t* length) {
  if (block == nullptr || subBlock == nullptr) return false;
  void* found = nullptr;
  UINT size = 0;
  if (!VerQueryValueA(block, subBlock, &found, &size) || found == nullptr) return false;
  if (isTextEntry(subBlock)) size = static_cast<UINT>(strnlen(static_cast<const char*>(found), size));
  if (value != nullptr) *value = found;
  if (length != nullptr) *length = size;
  return true;
}

}  // namespace plat
