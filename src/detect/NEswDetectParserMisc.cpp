// The remaining conditions of the detection evaluator: windows, the V3 product and engine,
// boolean constants, platform strings, local addresses and running processes.
#include <cstring>
#include <string>

#include "detect/NDetectRoutines.h"
#include "detect/NEswDetectParser.h"
#include "detect/NPlatformStrings.h"
#include "detect/NProcess.h"
#include "detect/NV3Info.h"
#include "platform/PlatformWindow.h"

namespace {

std::string joined(const NStringArray& list) {
  std::string text;
  for (int i = 0; i < list.getCount(); ++i) {
    if (i > 0) text += ", ";
    text += list.getAt(i).text();
  }
  return text;
}

}  // namespace

int NEswDetectParser::evalWindowExists(Condition& cond) {
  NString className = operand(cond, "className");
  NString title = operand(cond, "windowTitle");
  const char* classArg = className.isEmpty() ? nullptr : className.text();
  plat::WindowHandle window = plat::findWindow(classArg, title.text());
  cond.step.strLookedAt = std::string("top-level windows titled \"") + title.text() + "\"" +
                          (classArg != nullptr ? std::string(" of class ") + classArg : "");
  cond.step.strFound = window != 0 ? "(window found)" : "(no such window)";
  return window != 0 ? 1 : 0;
}

// Variant 0: the product name equals the value; 1: contains it (both lower-cased).
int NEswDetectParser::evalV3Product(Condition& cond) {
  NString value = operand(cond, "value");
  if (!requireAll(cond, {&value}, {"value"})) return 0;
  NV3Info info;
  info.init(m_strV3Folder.text());
  NString name = info.getProductName();
  cond.step.strLookedAt = "V3 product name";
  cond.step.strFound = name.text();
  name.makeLower();
  value.makeLower();
  if (cond.nVariant == 0) return name == value ? 1 : 0;
  return name.find(value.text()) >= 0 ? 1 : 0;
}

int NEswDetectParser::evalV3EngineVersion(Condition& cond) {
  NString status = operand(cond, "versionStatus");
  NString version = operand(cond, "version");
  if (!requireAll(cond, {&status, &version}, {"versionStatus", "version"})) return 0;
  NV3Info info;
  info.init(m_strV3Folder.text());
  NString engine = info.getEngineVersion();
  cond.step.strLookedAt = "V3 engine version";
  cond.step.strFound = engine.text();
  engine.makeLower();
  version.makeLower();
  int r = std::strcmp(engine.text(), version.text());
  return judge(cond, status, r > 0 ? 1 : r < 0 ? -1 : 0);
}

int NEswDetectParser::evalBoolean(Condition& cond) {
  NString value = operand(cond, "value");
  if (value.length() != 1) return fail(cond, "boolean value is not exactly one character");
  return value == "0" ? 0 : 1;
}

int NEswDetectParser::evalFlatform(Condition& cond) {
  NString value = operand(cond, "value");
  if (!requireAll(cond, {&value}, {"value"})) return 0;
  NStringArray platforms;
  buildPlatformStrings(platforms);
  cond.step.strLookedAt = "this machine's platform strings";
  for (int i = 0; i < platforms.getCount(); ++i) {
    if (platforms.getAt(i) == value) {
      cond.step.strFound = value.text();
      return 1;
    }
  }
  cond.step.strFound = "(none equal among " + std::to_string(platforms.getCount()) + ")";
  return 0;
}

int NEswDetectParser::evalIpAddressRange(Condition& cond) {
  NString from = operand(cond, "fromIP");
  NString to = operand(cond, "toIP");
  NStringArray addresses;
  getLocalAddresses(addresses);
  cond.step.strLookedAt = "local addresses";
  cond.step.strFound = joined(addresses);
  for (int i = 0; i < addresses.getCount(); ++i) {
    NString address = addresses.getAt(i);
    if (address.compare(from.text()) >= 0 && address.compare(to.text()) <= 0) return 1;
  }
  return 0;
}

int NEswDetectParser::evalProcessExists(Condition& cond) {
  NString name = operand(cond, "processName");
  if (!requireAll(cond, {&name}, {"processName"})) return 0;
  NProcess processes;
  cond.step.strLookedAt = "running processes";
  if (!processes.snapshot()) {
    cond.step.strFound = "(the process list cannot be read)";
    return 0;
  }
  uint32_t id = processes.find(name.text());
  cond.step.strFound = id != 0 ? "process " + std::to_string(id) : "(no such process)";
  return id != 0 ? 1 : 0;
}
