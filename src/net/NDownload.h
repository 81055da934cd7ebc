// NDownload: the module's wrapper over the file-transfer library cvftc.dll in the module folder.
// The constructor loads the library, the destructor unloads it; every operation is traced and
// reports failure by its result. Callers always close an open connection themselves.
#pragma once

#include "net/CompanionApi.h"
#include "net/NCompanionCache.h"

class NDownload {
 public:
  NDownload();
  virtual ~NDownload() = default;
  NDownload(const NDownload&) = delete;
  NDownload& operator=(const NDownload&) = delete;

  bool connect(const char* server, const char* secondText, const char* thirdText, int port,
               int modeFlag, void* stopEvent);
  bool get(const char* remotePath, const char* localPath);
  // get without the failure's trace line, for a transfer run ahead on another thread whose
  // failure is traced later, in its turn, with traceGetError. The connection is used by one
  // thread at a time.
  bool fetch(const char* remotePath, const char* localPath);
  void traceGetError(const char* remotePath, const char* localPath) const;
  void close(int flag);

 private:
  void loadFtcLibrary();

  plat::Library* m_pLibrary = nullptr;  // kept by NCompanionCache
  FtcCreateConnection1V2Fn fnFtcCreateConnection1V2 = nullptr;
  FtcEndConnection2Fn fnFtcEndConnection2 = nullptr;
  FtcGet1Fn fnFtcGet1 = nullptr;
  void* m_pFtcHandle = nullptr;
};
