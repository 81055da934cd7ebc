// Fuzz target: the commanded index file loader (UTF-16 lines, "|@" fields: header, system
// files, one digest line per part). Input: one byte giving the job's part count, then the file.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "gendist/DistContent.h"
#include "gendist/NGenDist.h"
#include "support/FuzzScratch.h"

namespace {

cvdt::fuzz::FuzzScratch& scratch() {
  static cvdt::fuzz::FuzzScratch folder;
  return folder;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  static const std::string path = scratch().windows("12.idx");
  scratch().write("12.idx", data + 1, size - 1);
  DistContent content;
  std::memset(&content, 0, sizeof content);
  content.m_nDistId = 12;
  content.m_nSplitCount = data[0];
  NGenDist job;
  job.set(content);
  job.idxFileLoad(path.c_str());
  return 0;
}
