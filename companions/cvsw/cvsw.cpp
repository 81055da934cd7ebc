// cvsw.dll: the software status library's one exported entry point.
#include <cstdint>
#include <type_traits>

#include "SoftwareStatus.h"
#include "gendist/SwStatusApi.h"
#include "net/CompanionApi.h"

CVDT_COMPANION_EXPORT uint32_t cvfSwGiveStatusFlag(const char* softwareIdText) {
  return SoftwareStatus::query(softwareIdText);
}

static_assert(std::is_same_v<decltype(&cvfSwGiveStatusFlag), SwGiveStatusFlagFn>);
