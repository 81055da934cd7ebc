// The registry conditions of the detection evaluator: a key or value exists, a value's text
// contains, equals or differs from a text, a value read as a version.
#include <string>

#include "detect/NDetectRoutines.h"
#include "detect/NEswDetectParser.h"
#include "detect/NRegistry.h"

namespace {

const char* rootName(plat::RegRoot root) {
  const char* name = plat::regRootName(root);
  return name != nullptr ? name : "?";
}

}  // namespace

int NEswDetectParser::openKey(Condition& cond, const NString& key, NRegistry& registry) {
  plat::RegRoot root = plat::RegRoot::LocalMachine;
  NString path;
  if (!splitKeyOperand(key.text(), root, path)) {
    fail(cond, "unknown hive name");
    return -1;
  }
  cond.step.strLookedAt = std::string(rootName(root)) + "\\" + path.text();
  if (registry.open(root, path.text(), true, true, cond.bView64)) return 1;
  cond.step.strFound = "(no such key)";
  return 0;
}

int NEswDetectParser::evalRegKeyExists(Condition& cond) {
  NString key = operand(cond, "key");
  NString entry = operand(cond, "entry");
  if (!requireAll(cond, {&key}, {"key"})) return 0;
  NRegistry registry;
  int opened = openKey(cond, key, registry);
  if (opened <= 0) return 0;
  if (entry.isEmpty()) {
    cond.step.strFound = "(key exists)";
    return 1;
  }
  bool has = hasValueName(registry.handle(), entry.text());
  cond.step.strLookedAt += std::string(" : ") + entry.text();
  cond.step.strFound = has ? "(value exists)" : "(no such value)";
  return has ? 1 : 0;
}

// Variant 0: the value contains the text; 1: equals it ignoring case; 2: differs from it
// ignoring case, or the key does not open.
int NEswDetectParser::evalRegKeyText(Condition& cond) {
  NString entry = operand(cond, "entry");
  NString key = operand(cond, "key");
  NString value = operand(cond, "value", false);
  if (!requireAll(cond, {&entry, &key, &value}, {"entry", "key", "value"})) return 0;
  NRegistry registry;
  int opened = openKey(cond, key, registry);
  if (opened < 0) return 0;
  if (opened == 0) return cond.nVariant == 2 ? 1 : 0;
  NString text = registry.readValue(entry.text());
  cond.step.strLookedAt += std::string(" : ") + entry.text();
  cond.step.strFound = text.text();
  if (cond.nVariant == 0) return text.find(value.text()) >= 0 ? 1 : 0;
  bool equal = text.equalsNoCase(value);
  return cond.nVariant == 1 ? (equal ? 1 : 0) : (equal ? 0 : 1);
}

int NEswDetectParser::evalRegKeyVersion(Condition& cond) {
  NString status = operand(cond, "versionStatus");
  NString key = operand(cond, "key");
  NString version = operand(cond, "version", false);
  NString entry = operand(cond, "entry");
  if (!requireAll(cond, {&status, &key, &version}, {"versionStatus", "key", "version"})) return 0;
  NRegistry registry;
  if (openKey(cond, key, registry) <= 0) return 0;
  NString text = registry.readValue(entry.text());
  cond.step.strLookedAt += std::string(" : ") + entry.text();
  cond.step.strFound = text.text();
  return judge(cond, status, compareVersion(text.text(), version.text()));
}

int NEswDetectParser::registryFilePath(Condition& cond, const NString& fileName, NString& path) {
  NString key = operand(cond, "key");
  NString entry = operand(cond, "entry");
  NString level = cond.nVariant == 3 ? operand(cond, "pathLevel") : NString("1");
  if (!requireAll(cond, {&key, &level}, {"key", "pathLevel"})) return -1;
  NRegistry registry;
  int opened = openKey(cond, key, registry);
  if (opened <= 0) return opened;
  std::string directory = registry.readValue(entry.text()).text();
  cond.step.strLookedAt += std::string(" : ") + entry.text() + " = " + directory;
  if (!directory.empty() && directory.back() == '\\') directory.pop_back();
  if (cond.nVariant == 3)
    directory = stripPathLevels(directory.c_str(), readPathLevel(level.text())).text();
  path = (directory + "\\" + fileName.text()).c_str();
  return 1;
}
