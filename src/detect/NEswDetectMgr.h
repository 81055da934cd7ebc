// NEswDetectMgr: product detection for one product target. It checks whether one of the
// target's platform sections names this machine, and only then evaluates the target's
// installed-section; it records the outcome in the target's flags and raises the module-wide
// changed flag when the detected installed state changed. It writes no log lines.
#pragma once

#include <cstdint>

#include "detect/NEswDetectObserver.h"
#include "detect/ProductTarget.h"
#include "platform/NString.h"
#include "platform/NStringArray.h"

namespace CRV::CVDT::AUTO_DIST {

// Set to 1 by NEswDetectMgr::detect when a successful evaluation gives a result that differs
// from the target's detected installed flag; never cleared here (the installed-product check
// clears it before each check).
extern int32_t g_bChangedProductInstall;

class NEswDetectMgr {
 public:
  NEswDetectMgr() = default;
  virtual ~NEswDetectMgr();
  NEswDetectMgr(const NEswDetectMgr&) = delete;
  NEswDetectMgr& operator=(const NEswDetectMgr&) = delete;

  // Builds this machine's platform strings and keeps the two texts (null extra: empty).
  void init(const char* documentPath, const char* extraText);
  // Examines targets[index]. 1 when it was examined (installed or not, platform matched or not,
  // no policy element); 0 when index is not below count, or the installed-section could not be
  // evaluated (the target's detected installed flag then stays as it was).
  int detect(ProductTarget* targets, int count, int index);
  // True when one of the element's platform sections, searched forward from 01 to 99, equals one
  // of this machine's platform strings byte for byte.
  bool matchPlatform(const char* element);

  // Reports the policy element, the platform sections and every evaluated token to observer
  // (not owned; null for none). The module passes none.
  void setObserver(NEswDetectObserver* observer) { m_pObserver = observer; }
  const NStringArray& platformStrings() const { return m_arrPlatforms; }

 private:
  NStringArray m_arrPlatforms;
  NStringArray m_arrUnused;
  NString m_strDocumentPath;
  NString m_strExtraText;
  NEswDetectObserver* m_pObserver = nullptr;
};

}  // namespace CRV::CVDT::AUTO_DIST
