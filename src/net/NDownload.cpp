// The file-transfer wrapper: loading cvftc.dll, connect, get and close with their trace lines.
#include "net/NDownload.h"

#include "platform/NMisc.h"
#include "platform/Trace.h"

NDownload::NDownload() { loadFtcLibrary(); }

void NDownload::loadFtcLibrary() {
  NString path = NMisc::getModuleFolder(NMisc::thisModule()) + "\\cvftc.dll";
  std::string error;
  m_pLibrary = NCompanionCache::get(path.text(), error);
  if (m_pLibrary == nullptr) {
    trace(1, "NDownload::loadFtcLibrary: LoadLibrary failed 1 (%s)\n", path.text());
    return;
  }
  fnFtcCreateConnection1V2 =
      reinterpret_cast<FtcCreateConnection1V2Fn>(m_pLibrary->symbol(kFtcCreateConnectionName));
  fnFtcEndConnection2 =
      reinterpret_cast<FtcEndConnection2Fn>(m_pLibrary->symbol(kFtcEndConnectionName));
  fnFtcGet1 = reinterpret_cast<FtcGet1Fn>(m_pLibrary->symbol(kFtcGetName));
  if (!fnFtcCreateConnection1V2 || !fnFtcEndConnection2 || !fnFtcGet1) {
    NCompanionCache::drop(path.text());
    m_pLibrary = nullptr;
    fnFtcCreateConnection1V2 = nullptr;
    fnFtcEndConnection2 = nullptr;
    fnFtcGet1 = nullptr;
    trace(1, "NDownload::loadFtcLibrary: LoadLibrary failed 2 (%s)\n", path.text());
  }
}

bool NDownload::connect(const char* server, const char* secondText, const char* thirdText,
                        int port, int modeFlag, void* stopEvent) {
  if (m_pLibrary == nullptr) {
    trace(1, "NDownload::connect: dll load error\n");
    return false;
  }
  server = server ? server : "";
  secondText = secondText ? secondText : "";
  thirdText = thirdText ? thirdText : "";
  m_pFtcHandle = fnFtcCreateConnection1V2(server, secondText, thirdText, port, modeFlag, stopEvent);
  if (m_pFtcHandle == nullptr) {
    trace(1, "NDownload::connect: connect failed (%s, %s, %s, %d, %d)\n", server, secondText,
          thirdText, port, modeFlag);
    return false;
  }
  trace(3, "NDownload::connect: connect success (%s, %s, %s, %d, %d)\n", server, secondText,
        thirdText, port, modeFlag);
  return true;
}

bool NDownload::get(const char* remotePath, const char* localPath) {
  if (fetch(remotePath, localPath)) return true;
  traceGetError(remotePath, localPath);
  return false;
}

bool NDownload::fetch(const char* remotePath, const char* localPath) {
  if (m_pFtcHandle == nullptr) return false;
  return fnFtcGet1(m_pFtcHandle, remotePath ? remotePath : "", localPath ? localPath : "") != 0;
}

void NDownload::traceGetError(const char* remotePath, const char* localPath) const {
  if (m_pFtcHandle == nullptr) {
    trace(1, "NDownload::get: FtcHandle is null\n");
    return;
  }
  trace(1, "NDownload::get: error, (%s, %s)\n", remotePath ? remotePath : "", localPath ? localPath : "");
}

void NDownload::close(int flag) {
  if (m_pFtcHandle == nullptr) {
    trace(1, "NDownload::close: close error, m_pFtcHandle is null \n");
    return;
  }
  fnFtcEndConnection2(m_pFtcHandle, flag);
  m_pFtcHandle = nullptr;
  trace(3, "NDownload::close: close success \n");
}
