// The extraction wrapper: loading cvlgz.dll and unpacking archives with their trace lines.
#include "net/NLgzExtract.h"

#include <string>

#include "platform/NMisc.h"
#include "platform/Trace.h"

namespace {
constexpr size_t kMaxArchivePath = 511;
}

NLgzExtract::NLgzExtract() { loadGZipLibrary(); }

void NLgzExtract::loadGZipLibrary() {
  NString path = NMisc::getModuleFolder(NMisc::thisModule()) + "\\cvlgz.dll";
  std::string error;
  m_pLibrary = NCompanionCache::get(path.text(), error);
  if (m_pLibrary == nullptr) {
    trace(1, "NDownload::loadGZipLibrary: LoadLibrary failed 1 (%s)\n", path.text());
    return;
  }
  fnGZipCreateExtract =
      reinterpret_cast<GZipCreateExtractFn>(m_pLibrary->symbol(kGZipCreateExtractName));
  fnGZipExtractFile = reinterpret_cast<GZipExtractFileFn>(m_pLibrary->symbol(kGZipExtractFileName));
  fnGZipCloseHandle = reinterpret_cast<GZipCloseHandleFn>(m_pLibrary->symbol(kGZipCloseHandleName));
  if (!fnGZipCreateExtract || !fnGZipExtractFile || !fnGZipCloseHandle) {
    NCompanionCache::drop(path.text());
    m_pLibrary = nullptr;
    fnGZipCreateExtract = nullptr;
    fnGZipExtractFile = nullptr;
    fnGZipCloseHandle = nullptr;
    trace(1, "NDownload::loadGZipLibrary: LoadLibrary failed 2 (%s)\n", path.text());
  }
}

int NLgzExtract::run(const char* destination, const char* archive) {
  if (m_pLibrary == nullptr) {
    trace(1, "NLgzExtract::extract: dll load error\n");
    return -1;
  }
  void* handle = fnGZipCreateExtract();
  if (handle == nullptr) return 1;
  int ok = fnGZipExtractFile(handle, destination, archive, 0);
  fnGZipCloseHandle(handle);
  return ok != 0 ? 0 : 2;
}

bool NLgzExtract::extract(const char* destination, const char* archive) {
  destination = destination ? destination : "";
  archive = archive ? archive : "";
  int step = run(destination, archive);
  if (step > 0) {
    trace(1, "NLgzExtract::extract: GZipCreateExtract failed (1-%d) (%s)(%s)\n", step, archive,
          destination);
  }
  return step == 0;
}

bool NLgzExtract::extract(const char* archive) {
  std::string path = archive ? archive : "";
  if (path.size() > kMaxArchivePath) path.resize(kMaxArchivePath);
  size_t slash = path.rfind('\\');
  std::string destination = slash == std::string::npos ? "." : path.substr(0, slash);
  int step = run(destination.c_str(), archive ? archive : "");
  if (step > 0) trace(1, "NLgzExtract::extract: GZipCreateExtract failed (%d) (%s)\n", step, archive ? archive : "");
  return step == 0;
}
