// cvsw.dll: the software status library's one exported entry point.
#include <cstdint>
#include <type_traits>

#include "SoftwareStatus.h"
#include "gendist/SwStatusApi.h"
#include "net/CompanionApi.h"
#include "platform/PlatformRegistry.h"

CVDT_COMPANION_EXPORT uint32_t cvfSwGiveStatusFlag(const char* softwareIdText) {
  uint32_t flags = SoftwareStatus::query(softwareIdText);
  // The caller frees the library after each query: keep no registry connection behind.
  plat::closeRegistryConnections();
  return flags;
}

static_assert(std::is_same_v<decltype(&cvfSwGiveStatusFlag), SwGiveStatusFlagFn>);
