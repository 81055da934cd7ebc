// Fuzz target: the commanded contents text ("|$" fields) parsed into the fixed DistContent
// record, then taken over by a job as its settings.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <strings.h>
#include <vector>

#include "gendist/DistContent.h"
#include "gendist/NGenDist.h"

namespace {

// Every text field of the record must stay terminated inside its width.
void checkTerminated(const char* field, size_t width) {
  if (std::memchr(field, '\0', width) == nullptr) std::abort();
}

std::vector<std::string> fieldsOf(const std::string& text) {
  std::vector<std::string> fields;
  size_t start = 0;
  for (size_t at; (at = text.find("|$", start)) != std::string::npos; start = at + 2)
    fields.push_back(text.substr(start, at - start));
  fields.push_back(text.substr(start));
  return fields;
}

// A text field holds the first width - 1 bytes of its field.
void checkField(const char* field, size_t width, const std::string& text) {
  checkTerminated(field, width);
  if (text.compare(0, width - 1, field) != 0) std::abort();
}

// The field counts decide which parts of the record are filled.
void checkAgainstFields(const DistContent& c, const std::vector<std::string>& f) {
  checkField(c.m_szDistName, sizeof c.m_szDistName, f[1]);
  checkField(c.m_szBaseFolder, sizeof c.m_szBaseFolder, f[3]);
  checkField(c.m_szExecUser, sizeof c.m_szExecUser, f[9]);
  checkField(c.m_szIdxFileDigest, 33, f[14]);
  if (c.m_nActorKind != 0) std::abort();
  if (f.size() < 18 && (c.m_nProcType != 0 || c.m_nSwId != 0 || c.m_szPlatform[0] != '\0'))
    std::abort();
  if (f.size() >= 18) {
    if (c.m_nSwId == 0 || (c.m_nSwId < 0 && c.m_nSwId != -1)) std::abort();
    int32_t kind = strcasecmp(f[16].c_str(), "SWDT") == 0    ? kProcTypeSwdt
                   : strcasecmp(f[16].c_str(), "DELDT") == 0 ? kProcTypeDeldt
                                                             : kProcTypeNdt;
    if (c.m_nProcType != kind) std::abort();
    checkField(c.m_szPlatform, sizeof c.m_szPlatform, f[17]);
  }
  if (f.size() < 20 && (c.m_nCompressedSizeSum != 0 || c.m_nField19 != 0)) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string text(reinterpret_cast<const char*>(data), size);
  text = text.c_str();  // the host's text ends at its first zero byte
  DistContent content;
  int parsed = parseDistContent(text.c_str(), content);
  std::vector<std::string> fields = fieldsOf(text);
  if (parsed != (fields.size() >= 15 ? 1 : 0)) std::abort();
  if (!parsed) return 0;
  checkAgainstFields(content, fields);
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
