// cvlgz.dll: the extraction library's exported entry points over libarchive.
#include <new>
#include <type_traits>

#include "LgzExtraction.h"
#include "net/CompanionApi.h"

CVDT_COMPANION_EXPORT void* GZipCreateExtract() {
  return new (std::nothrow) cvlgz::LgzExtraction();
}

// The last argument is reserved and always 0.
CVDT_COMPANION_EXPORT int GZipExtractFile(void* extraction, const char* destination,
                                          const char* archive, int /*reserved*/) {
  if (extraction == nullptr) return 0;
  try {
    return static_cast<cvlgz::LgzExtraction*>(extraction)->extract(destination, archive) ? 1 : 0;
  } catch (...) {
    return 0;
  }
}

CVDT_COMPANION_EXPORT int GZipCloseHandle(void* extraction) {
  if (extraction == nullptr) return 0;
  delete static_cast<cvlgz::LgzExtraction*>(extraction);
  return 1;
}

// Not one of the three the module uses: tools (cvdt-pack) ask it why an extraction failed. The
// text belongs to the handle and holds until its next extraction or its close; "" after a
// success, null for a null handle.
CVDT_COMPANION_EXPORT const char* GZipLastError(void* extraction) {
  if (extraction == nullptr) return nullptr;
  return static_cast<cvlgz::LgzExtraction*>(extraction)->lastError().c_str();
}

static_assert(std::is_same_v<decltype(&GZipCreateExtract), GZipCreateExtractFn>);
static_assert(std::is_same_v<decltype(&GZipExtractFile), GZipExtractFileFn>);
static_assert(std::is_same_v<decltype(&GZipCloseHandle), GZipCloseHandleFn>);
static_assert(std::is_same_v<decltype(&GZipLastError), GZipLastErrorFn>);
