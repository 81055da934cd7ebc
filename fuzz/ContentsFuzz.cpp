// Fuzz target: the commanded contents text ("|$" fields) parsed into the fixed DistContent
// record, then taken over by a job as its settings.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "gendist/DistContent.h"
#include "gendist/NGenDist.h"

namespace {

// Every text field of the record must stay terminated inside its width.
void checkTerminated(const char* field, size_t width) {
  if (std::memchr(field, '\0', width) == nullptr) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string text(reinterpret_cast<const char*>(data), size);
  DistContent content;
  int parsed = parseDistContent(text.c_str(), content);
  if (!parsed) return 0;
  checkTerminated(content.m_szDistName, sizeof content.m_szDistName);
  checkTerminated(content.m_szVersion, sizeof content.m_szVersion);
  checkTerminated(content.m_szBaseFolder, sizeof content.m_szBaseFolder);
  checkTerminated(content.m_szDescr, sizeof content.m_szDescr);
  checkTerminated(content.m_szExecFile, sizeof content.m_szExecFile);
  checkTerminated(content.m_szExecOpt, sizeof content.m_szExecOpt);
  checkTerminated(content.m_szExecUser, sizeof content.m_szExecUser);
  checkTerminated(content.m_szRegFile, sizeof content.m_szRegFile);
  checkTerminated(content.m_szIdxFileDigest, sizeof content.m_szIdxFileDigest);
  checkTerminated(content.m_szPlatform, sizeof content.m_szPlatform);
  NGenDist job;
  job.set(content);
  if (job.targetFolder().isEmpty()) std::abort();
  return 0;
}
