// The file conditions of the detection evaluator: a file exists, or its version stands to a
// version as a status says, at a path with macros or at a directory read from the registry.
#include <string>

#include "detect/NDetectRoutines.h"
#include "detect/NEswDetectParser.h"
#include "detect/NFileVersion.h"
#include "platform/NMisc.h"

namespace {

const char* kindName(int kind) {
  return kind == 1 ? "(file)" : kind == 2 ? "(directory)" : "(nothing there)";
}

}  // namespace

// Variant 1: "path" with macros; 2: the directory in a registry value; 3: the same, stripped by
// "pathLevel" components.
int NEswDetectParser::evalFileExists(Condition& cond) {
  NString fileName = operand(cond, "fileName");
  NString path;
  if (cond.nVariant == 1) {
    NString folder = operand(cond, "path");
    if (!requireAll(cond, {&fileName, &folder}, {"fileName", "path"})) return 0;
    path = resolvePathMacro(folder.text(), cond.bView64) + "\\" + fileName;
  } else {
    if (!requireAll(cond, {&fileName}, {"fileName"})) return 0;
    int found = registryFilePath(cond, fileName, path);
    if (found <= 0) return 0;
  }
  int kind = NMisc::getPathKind(path.text(), cond.bView64 ? 1 : 0);
  cond.step.strLookedAt = cond.nVariant == 1 ? std::string(path.text())
                                             : cond.step.strLookedAt + " -> " + path.text();
  cond.step.strFound = kindName(kind);
  return kind == 1 ? 1 : 0;
}

int NEswDetectParser::evalFileVersion(Condition& cond) {
  NString status = operand(cond, "versionStatus");
  NString fileName = operand(cond, "fileName");
  NString version = operand(cond, "version");
  NString path;
  if (cond.nVariant == 1) {
    NString folder = operand(cond, "filePath");
    if (!requireAll(cond, {&status, &fileName, &folder, &version},
                    {"versionStatus", "fileName", "filePath", "version"}))
      return 0;
    path = resolvePathMacro(folder.text(), cond.bView64) + "\\" + fileName;
    cond.step.strLookedAt = path.text();
  } else {
    if (!requireAll(cond, {&status, &fileName, &version}, {"versionStatus", "fileName", "version"}))
      return 0;
    if (registryFilePath(cond, fileName, path) <= 0) return 0;
    cond.step.strLookedAt += std::string(" -> ") + path.text();
  }
  NString installed = getFileVersionNumber(path.text());
  cond.step.strFound = installed.isEmpty() ? "(no file version)" : installed.text();
  if (installed.isEmpty() || installed.equalsNoCase("none")) return 0;
  return judge(cond, status, compareVersion(installed.text(), version.text()));
}
