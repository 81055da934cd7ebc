// ProductTarget: one installed-product target of this equipment, as the gateway lists it for an
// automatic item, with the flags that product detection leaves in it.
#pragma once

#include <cstddef>
#include <cstdint>

struct ProductTarget {
  static constexpr int kNameSize = 128;
  static constexpr int kPolicySize = 5120;

  int32_t iDist_id;
  char pcName[kNameSize];        // at most 127 characters
  char pcPolicy[kPolicySize];    // at most 5,119 characters: the "<polProduct>" element
  uint32_t bDetectDone;          // 1 when the installed-section was evaluated
  uint32_t bInstalled;           // the gateway says "060"
  uint32_t bReal_Installed;      // what detection found
  uint32_t bPlatformMatched;     // a platform section named this machine
  int32_t iUpdate_id;
};

static_assert(offsetof(ProductTarget, pcPolicy) == 132);
static_assert(offsetof(ProductTarget, bDetectDone) == 5252);
static_assert(sizeof(ProductTarget) == 5272);

// The targets of one item: the array is owned by the automatic worker.
struct ProductTargetList {
  char pcReserved1[64];
  char pcReserved2[64];
  ProductTarget* pProd = nullptr;
  int iProd = 0;
};
