// The detection manager: platform sections first, then the installed-section of one target.
#include "detect/NEswDetectMgr.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "detect/NDetectRoutines.h"
#include "detect/NEswDetectParser.h"
#include "detect/NPlatformStrings.h"
#include "platform/NMisc.h"

namespace CRV::CVDT::AUTO_DIST {

int32_t g_bChangedProductInstall = 0;

namespace {

constexpr int kLastPlatformSection = 99;

// The policy text up to its terminating zero, never past the field.
NString policyText(const ProductTarget& target) {
  size_t length = strnlen(target.pcPolicy, sizeof target.pcPolicy);
  return NString(std::string(target.pcPolicy, length).c_str());
}

}  // namespace

NEswDetectMgr::~NEswDetectMgr() = default;

void NEswDetectMgr::init(const char* documentPath, const char* extraText) {
  m_arrPlatforms.clear();
  m_arrUnused.clear();
  if (NMisc::is64BitWindows()) buildPlatformStringsX64(m_arrPlatforms);
  else buildPlatformStringsX86(m_arrPlatforms);
  m_strDocumentPath = documentPath != nullptr ? documentPath : "";
  m_strExtraText = extraText != nullptr ? extraText : "";
}

int NEswDetectMgr::detect(ProductTarget* targets, int count, int index) {
  if (targets == nullptr || index < 0 || index >= count) return 0;
  ProductTarget& target = targets[index];
  target.bDetectDone = 0;
  NString policy = policyText(target);
  NString element = getElement(policy.text(), "<polProduct>", "</polProduct>", nullptr);
  if (m_pObserver != nullptr) m_pObserver->onPolicyElement(!element.isEmpty());
  if (element.isEmpty()) return 1;
  if (!matchPlatform(element.text())) {
    target.bPlatformMatched = 0;
    return 1;
  }
  target.bPlatformMatched = 1;
  NString installed = getElementText(element.text(), "<installed>", "</installed>");
  NEswDetectParser parser;
  parser.setObserver(m_pObserver);
  int result = 0;
  if (!parser.evaluate(installed, result)) return 0;
  uint32_t installedNow = result != 0 ? 1u : 0u;
  if (installedNow != target.bReal_Installed) g_bChangedProductInstall = 1;
  target.bReal_Installed = installedNow;
  target.bDetectDone = 1;
  return 1;
}

bool NEswDetectMgr::matchPlatform(const char* element) {
  if (element == nullptr) return false;
  const char* position = element;
  for (int number = 1; number <= kLastPlatformSection; ++number) {
    char open[32];
    char close[32];
    std::snprintf(open, sizeof open, "<flatform%2.2d>", number);
    std::snprintf(close, sizeof close, "</flatform%2.2d>", number);
    int end = -1;
    NString section = getElement(position, open, close, &end);
    if (end < 0) continue;
    NString text = getElementText(section.text(), open, close);
    bool matched = false;
    for (int i = 0; i < m_arrPlatforms.getCount() && !matched; ++i)
      matched = m_arrPlatforms.getAt(i) == text;
    if (m_pObserver != nullptr) m_pObserver->onPlatformSection(number, text.text(), matched);
    if (matched) return true;
    position += end;
  }
  return false;
}

}  // namespace CRV::CVDT::AUTO_DIST
