// A stand-in companion library for tests of the module's wrappers: it exports the connect and
// get entry points of the file-transfer library and the create and extract entry points of the
// extraction library, but neither library's release entry point, so the wrappers must refuse it.
#include "net/CompanionApi.h"

CVDT_COMPANION_EXPORT void* FtcCreateConnection1V2(const char*, const char*, const char*, int,
                                                   int, void*) {
  static int connection;
  return &connection;
}

CVDT_COMPANION_EXPORT int FtcGet1(void*, const char*, const char*) { return 1; }

CVDT_COMPANION_EXPORT void* GZipCreateExtract() {
  static int extraction;
  return &extraction;
}

CVDT_COMPANION_EXPORT int GZipExtractFile(void*, const char*, const char*, int) { return 1; }
