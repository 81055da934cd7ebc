// ProductTarget: one installed-product target of this equipment as product detection sees it:
// the policy text it reads and the three flags it writes. The automatic-distribution subsystem,
// which fills targets from the gateway, owns the record's full layout.
#pragma once

#include <cstddef>
#include <cstdint>

struct ProductTarget {
  char szPolicy[5120];       // the "<polProduct>" element, at most 5,119 characters, zero-ended
  int32_t bDetectionDone;    // 1 when the installed-section was evaluated
  int32_t bReal_Installed;   // the detected installed state (1 installed)
  int32_t bPlatformMatched;  // a platform section named this machine
};

static_assert(sizeof(ProductTarget) == 5132, "ProductTarget layout");
static_assert(offsetof(ProductTarget, bDetectionDone) == 5120, "ProductTarget layout");
static_assert(offsetof(ProductTarget, bPlatformMatched) == 5128, "ProductTarget layout");
