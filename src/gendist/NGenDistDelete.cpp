// Deletion of completed commanded distributions.
#include "gendist/NGenDistDelete.h"

#include <string>
#include <vector>

#include "platform/NMisc.h"
#include "platform/NStrtok.h"
#include "platform/PlatformFs.h"

namespace {
constexpr int kMaxPath = 259;
}

int NGenDistDelete::isSafeToDelete(const char* path) {
  NString text = NString(path ? path : "").left(kMaxPath);
  NStrtok tokenizer;
  NStringArray& parts = tokenizer.split(text.text(), "\\");
  if (parts.getCount() < 2 || parts.getAt(0).getAt(1) != ':') return 0;
  int nonEmpty = 0;
  for (int i = 0; i < parts.getCount(); ++i) nonEmpty += parts.getAt(i).isEmpty() ? 0 : 1;
  return nonEmpty >= 2 ? 1 : 0;
}

int NGenDistDelete::deleteTree(const char* folder) {
  std::vector<plat::DirEntry> entries;
  if (folder == nullptr || !plat::listDirectory(folder, entries)) return 0;
  bool failed = false;
  for (const plat::DirEntry& entry : entries) {
    std::string path = std::string(folder) + "\\" + entry.name;
    if (entry.isDirectory) {
      failed |= deleteTree(path.c_str()) == 0;
    } else if (!isSafeToDelete(path.c_str())) {
      failed = true;
    } else {
      if (!entry.isLink) plat::setNormalAttributes(path);  // a link's target is never touched
      failed |= !plat::deleteFile(path);
    }
  }
  plat::removeDirectory(folder);
  return failed ? 0 : 1;
}

int NGenDistDelete::DeleteAll(int32_t distId, const char* folder, uint32_t& reason) {
  NString module = NMisc::getModuleFolder(NMisc::thisModule());
  NString jobPath;
  jobPath.format("%s\\ndist\\%d", module.text(), distId);
  bool jobAbsent = NMisc::getPathKind(jobPath.text(), 0) != 2;
  bool failed = !jobAbsent && deleteTree(jobPath.text()) == 0;

  NString indexFile;
  indexFile.format("%s\\ndist\\%d.idx", module.text(), distId);
  plat::deleteFile(indexFile.text());
  indexFile += ".lgz";
  plat::deleteFile(indexFile.text());

  bool tempAbsent = true;
  if (!NString(folder ? folder : "").equalsNoCase(".")) {
    reason = kReasonInstalledFolder;
  } else {
    NString tempPath;
    tempPath.format("%s\\ndist_temp\\%d", module.text(), distId);
    tempAbsent = NMisc::getPathKind(tempPath.text(), 0) != 2;
    if (!tempAbsent) failed |= deleteTree(tempPath.text()) == 0;
  }
  if (jobAbsent && tempAbsent) return 1;
  return failed ? 0 : 1;
}
