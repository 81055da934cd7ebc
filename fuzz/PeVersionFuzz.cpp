// Fuzz target: the version resource inside a PE image, then the version block built from it and
// the lookups the detection conditions and the V3 reader make. Every read is bounded by the
// image, so nothing may read outside it, and every answer must lie inside the block.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/PeVersionResource.h"
#include "platform/VersionBlock.h"

namespace {

const char* const kQueries[] = {
    "\\", "\\VarFileInfo\\Translation", "\\StringFileInfo\\040904b0\\FileVersion",
    "\\StringFileInfo\\040904e4\\ProductName", "\\StringFileInfo\\041204b0\\CompanyName",
    "\\StringFileInfo", "\\StringFileInfo\\\\", "\\VarFileInfo\\..\\"};

void queryAll(std::vector<uint8_t>& block) {
  const uint8_t* begin = block.data();
  const uint8_t* end = begin + block.size();
  for (const char* query : kQueries) {
    const void* value = nullptr;
    uint32_t length = 0;
    if (!plat::queryVersionBlock(block.data(), query, &value, &length)) continue;
    const uint8_t* at = static_cast<const uint8_t*>(value);
    if (at < begin || at > end) std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  auto readAt = [&](uint64_t offset, void* buffer, size_t count) {
    if (offset > size || count > size - offset) return false;
    std::memcpy(buffer, data + offset, count);
    return true;
  };
  std::string resource;
  if (!plat::readPeVersionResource(readAt, size, resource)) return 0;
  if (resource.size() > size) std::abort();
  uint32_t blockSize = plat::versionBlockSize(static_cast<uint32_t>(resource.size()));
  std::vector<uint8_t> block(blockSize);
  if (!plat::fillVersionBlock(resource, block.data(), blockSize)) return 0;
  queryAll(block);
  return 0;
}
