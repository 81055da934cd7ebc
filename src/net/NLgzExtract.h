// NLgzExtract: the module's wrapper over the extraction library cvlgz.dll in the module folder.
// The constructor loads the library, the destructor unloads it.
#pragma once

#include "net/CompanionApi.h"
#include "net/NCompanionCache.h"

class NLgzExtract {
 public:
  NLgzExtract();
  virtual ~NLgzExtract() = default;
  NLgzExtract(const NLgzExtract&) = delete;
  NLgzExtract& operator=(const NLgzExtract&) = delete;

  // Unpacks the archive (and its volumes) into the destination folder.
  bool extract(const char* destination, const char* archive);
  // Unpacks the archive into its own folder ("." when the path has no backslash).
  bool extract(const char* archive);

 private:
  void loadGZipLibrary();
  // 1 on success; otherwise the step that failed: -1 not loaded, 1 no handle, 2 not unpacked.
  int run(const char* destination, const char* archive);

  plat::Library* m_pLibrary = nullptr;  // kept by NCompanionCache
  GZipCreateExtractFn fnGZipCreateExtract = nullptr;
  GZipExtractFileFn fnGZipExtractFile = nullptr;
  GZipCloseHandleFn fnGZipCloseHandle = nullptr;
};
