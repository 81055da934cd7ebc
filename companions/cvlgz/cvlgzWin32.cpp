// cvlgz.dll on Windows: the extraction library's exported entry points over zlib and our own
// tar reader.
#include <new>
#include <type_traits>

#include "WinLgzExtraction.h"
#include "net/CompanionApi.h"

CVDT_COMPANION_EXPORT void* GZipCreateExtract() {
  return new (std::nothrow) cvlgz::WinLgzExtraction();
}

// The last argument is reserved and always 0.
CVDT_COMPANION_EXPORT int GZipExtractFile(void* extraction, const char* destination,
                                          const char* archive, int /*reserved*/) {
  if (extraction == nullptr) return 0;
  try {
    return static_cast<cvlgz::WinLgzExtraction*>(extraction)->extract(destination, archive) ? 1 : 0;
  } catch (...) {
    return 0;
  }
}

CVDT_COMPANION_EXPORT int GZipCloseHandle(void* extraction) {
  if (extraction == nullptr) return 0;
  delete static_cast<cvlgz::WinLgzExtraction*>(extraction);
  return 1;
}

// For tools: why the handle's last extraction failed ("" after a success, null for no handle).
CVDT_COMPANION_EXPORT const char* GZipLastError(void* extraction) {
  if (extraction == nullptr) return nullptr;
  return static_cast<cvlgz::WinLgzExtraction*>(extraction)->lastError().c_str();
}

static_assert(std::is_same_v<decltype(&GZipCreateExtract), GZipCreateExtractFn>);
static_assert(std::is_same_v<decltype(&GZipExtractFile), GZipExtractFileFn>);
static_assert(std::is_same_v<decltype(&GZipCloseHandle), GZipCloseHandleFn>);
static_assert(std::is_same_v<decltype(&GZipLastError), GZipLastErrorFn>);
