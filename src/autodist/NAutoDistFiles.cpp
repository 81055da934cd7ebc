// NAutoDist stages 3, 5 and 6: the destination compared with the index and the disk space
// checked, the unpacked files moved into the destination, and files the index no longer names
// removed when the destination is safe to clean.
#include <cstring>
#include <string>
#include <vector>

#include "autodist/NAutoDist.h"
#include "autodist/NAutoDistPaths.h"
#include "autodist/NLinkGuard.h"
#include "entry/StatusCodes.h"
#include "platform/NMisc.h"
#include "platform/NStrtok.h"
#include "platform/PlatformFs.h"
#include "platform/PlatformSystem.h"
#include "platform/Trace.h"

namespace {

bool isPending(const NFileData& entry) {
  return std::strcmp(entry.state(), "A") == 0 || std::strcmp(entry.state(), "C") == 0;
}

// The destination walk of stage 3: marks index entries found in the destination and records
// the entries the index does not name.
struct FolderComparison {
  NAutoDist& worker;
  const ADistItem& item;
  NFileMap& index;
  NFileMap& stale;
  int total;
  int seen = 0;

  bool walk(const NString& folder, const NString& relative) {
    std::vector<plat::DirEntry> entries;
    if (!plat::listDirectory(folder.text(), entries)) return false;
    for (const plat::DirEntry& entry : entries) {
      if (worker.stopRequested()) return false;
      NString path = relative.isEmpty() ? NString(entry.name.c_str())
                                        : relative + "\\" + entry.name.c_str();
      NString full = folder + "\\" + entry.name.c_str();
      if (entry.isDirectory) {
        if (NFileData* known = index.find(path.text())) known->setState("N");
        else stale.add(path.text(), 0, 'D', "", 0, "D");
        if (std::strcmp(item.m_szSubFolder, "Y") == 0 && !walk(full, path)) return false;
        continue;
      }
      worker.reportStatus(item.m_nDistId, total > 0 ? 100 * seen / total : 0,
                          auto_status::kDestinationCheck, path.text(), true);
      ++seen;
      if (NFileData* known = index.find(path.text()))
        known->setState(NAutoDistPaths::digestOf(full) == known->digest() ? "N" : "C");
      else
        stale.add(path.text(), 0, 'F', "", 0, "D");
    }
    return true;
  }
};

bool sameTextNoCase(const NString& a, const std::string& b) { return a.equalsNoCase(b.c_str()); }

// The clean-up guard's drive test: the destination must start with a drive of this machine and
// must not be that drive's root. A UNC path matches no drive.
bool isOnLocalDrive(const NString& destination) {
  NString reduced = destination;
  reduced.replace("\\", "");
  uint32_t drives = plat::logicalDrives();
  bool matched = false;
  for (int i = 0; i < 26; ++i) {
    if ((drives & (1u << i)) == 0) continue;
    char drive[3] = {static_cast<char>('A' + i), ':', '\0'};
    trace(3, "NAutoDist::isSafeToDelete: (2) - strDstFolderTmp:%s, pcDrive:%s \n", reduced.text(), drive);
    if (reduced.equalsNoCase(drive)) {
      trace(3, "NAutoDist::isSafeToDelete: (3) - FALSE : Root Drive\n");
      return false;
    }
    if (reduced.left(2).equalsNoCase(drive)) {
      trace(3, "NAutoDist::isSafeToDelete: (4) bRet = TRUE\n");
      matched = true;
    }
  }
  if (!matched) trace(3, "NAutoDist::isSafeToDelete: (5) bRet = FALSE\n");
  return matched;
}

// The clean-up guard's folder test: the Windows folder, its system folders, Program Files.
bool isSystemFolder(const NString& destination) {
  std::string windir;
  if (plat::environmentVariable("windir", windir) && windir.size() <= 256) {
    trace(3, "NAutoDist::isSafeToDelete: (6)\n");
    if (sameTextNoCase(destination, windir)) {
      trace(3, "NAutoDist::isSafeToDelete: (7) - FALSE : windir \n");
      return true;
    }
    if (sameTextNoCase(destination, windir + "\\system")) {
      trace(3, "NAutoDist::isSafeToDelete: (8) - FALSE : windir\\system \n");
      return true;
    }
    if (sameTextNoCase(destination, windir + "\\system32")) {
      trace(3, "NAutoDist::isSafeToDelete: (9) - FALSE : windir\\system32 \n");
      return true;
    }
  }
  std::string programFiles;
  if (plat::environmentVariable("ProgramFiles", programFiles) && programFiles.size() <= 256) {
    trace(3, "NAutoDist::isSafeToDelete: (10)\n");
    if (sameTextNoCase(destination, programFiles)) {
      trace(3, "NAutoDist::isSafeToDelete: (11) - FALSE : ProgramFiles. \n");
      return true;
    }
  }
  return false;
}

// True when the first count parts, joined by "\", name an existing folder at least 4
// characters long (shorter leading parts are never created).
bool existingFolder(NStringArray& parts, int count) {
  NString folder = parts.getAt(0);
  for (int i = 1; i < count; ++i) folder += NString("\\") + parts.getAt(i);
  return folder.length() >= 4 && plat::pathKind(folder.text()) == plat::PathKind::Directory;
}

}  // namespace

bool NAutoDist::makeFolderPath(const char* path, bool withoutLastComponent) {
  NStrtok tokenizer;
  NStringArray& parts = tokenizer.split(path, "\\");
  int count = parts.getCount() - (withoutLastComponent ? 1 : 0);
  // A folder that already exists has every leading part as a folder too, so creating them in
  // turn would change nothing: one probe instead of one per part (two per file in a pass).
  if (count > 0 && existingFolder(parts, count)) return true;
  NString prefix;
  for (int i = 0; i < count; ++i) {
    prefix += (i == 0 ? NString() : NString("\\")) + parts.getAt(i);
    if (prefix.length() < 4) continue;
    if (!NMisc::makePath(prefix.text())) return false;
  }
  return true;
}

bool NAutoDist::countFiles(const char* folder, bool subFolders, int& count) {
  std::vector<plat::DirEntry> entries;
  if (!plat::listDirectory(folder, entries)) return false;
  for (const plat::DirEntry& entry : entries) {
    if (!entry.isDirectory) ++count;
    else if (subFolders && !countFiles((NString(folder) + "\\" + entry.name.c_str()).text(), true, count))
      return false;
  }
  return true;
}

bool NAutoDist::compareFolder(ADistItem& item, int total) {
  FolderComparison comparison{*this, item, *m_pIndexMap, *m_pStaleMap, total};
  return comparison.walk(NString(item.m_szDstFolder), NString());
}

uint64_t NAutoDist::getDiskFreeSpace(char driveLetter) {
  uint64_t freeBytes = 0;
  uint64_t totalBytes = 0;
  if (!plat::diskSpace(driveLetter, freeBytes, totalBytes)) return 0;
  return freeBytes;
}

bool NAutoDist::checkDiskSpace(ADistItem& item) {
  uint64_t required = 0;
  for (const auto& [name, entry] : *m_pIndexMap) {
    if (isPending(*entry)) required += entry->size();
  }
  char destination = item.m_szDstFolder[0];
  char local = m_strLocalFolder.getAt(0);
  if (destination < 'a') destination = static_cast<char>(destination + 32);
  if (local < 'a') local = static_cast<char>(local + 32);
  uint64_t available = getDiskFreeSpace(destination);
  if (destination != local) available += getDiskFreeSpace(local);
  return required < available;
}

bool NAutoDist::distFileCheck(ADistItem& item) {
  writeStateFile(1, item);
  reportStatus(item.m_nDistId, 0, auto_status::kDestinationCheck, "", false);
  makeFolderPath(item.m_szDstFolder, false);
  const char* checkFailed = "NAutoDist::distFileCheck: CVD_ADIST_STATUS_FAIL_FILE_CHECK (1) \n";
  int count = 0;
  if (!countFiles(item.m_szDstFolder, std::strcmp(item.m_szSubFolder, "Y") == 0, count))
    return fail(item, checkFailed, auto_status::kDestinationFailed,
                catalogueText(auto_message::kFileCheckFailed).text());
  if (stopRequested())
    return fail(item, "NAutoDist::distFileCheck: stopped(1)\n", auto_status::kStopped,
                catalogueText(auto_message::kStopped).text());
  if (!compareFolder(item, count)) {
    if (stopRequested())
      return fail(item, "NAutoDist::distFileCheck: stopped (2)\n", auto_status::kStopped,
                  catalogueText(auto_message::kStopped).text());
    return fail(item, checkFailed, auto_status::kDestinationFailed,
                catalogueText(auto_message::kFileCheckFailed).text());
  }
  if (!checkDiskSpace(item))
    return fail(item, "NAutoDist::distFileCheck: CVD_ADIST_STATUS_FAIL_DISK_CAPA (1) \n",
                auto_status::kDiskFull, catalogueText(auto_message::kDiskCapacity).text());
  if (stopRequested())
    return fail(item, "NAutoDist::distFileCheck: stopped (3)\n", auto_status::kStopped,
                catalogueText(auto_message::kStopped).text());
  reportStatus(item.m_nDistId, 100, auto_status::kDestinationCheck, "", false);
  return true;
}

bool NAutoDist::distFileCopy(ADistItem& item) {
  writeStateFile(1, item);
  reportStatus(item.m_nDistId, 0, auto_status::kCopy, "", false);
  int count = 0;
  for (const auto& [name, entry] : *m_pIndexMap) count += isPending(*entry) ? 1 : 0;
  if (stopRequested())
    return fail(item, "NAutoDist::distFileCopy: stopped (1)\n", auto_status::kStopped,
                catalogueText(auto_message::kStopped).text());
  const NString package = packageFolder(item);
  NLinkGuard links{NString(item.m_szDstFolder)};  // one guard, so each folder is listed once
  int handled = 0;
  for (const auto& [name, entry] : *m_pIndexMap) {
    if (!isPending(*entry)) continue;
    if (!copyEntry(item, *entry, package, links)) return false;
    reportStatus(item.m_nDistId, 99 * handled / count, auto_status::kCopy, entry->name().text(),
                 true);
    ++handled;
  }
  reportStatus(item.m_nDistId, 100, auto_status::kCopy, "", false);
  return true;
}

bool NAutoDist::copyEntry(ADistItem& item, const NFileData& entry, const NString& package,
                          NLinkGuard& links) {
  const NString target = NString(item.m_szDstFolder) + "\\" + entry.name();
  const NString source = package + "\\" + entry.name();
  if (links.passesThroughLink(entry.name())) return copyFailed(item, source, target);
  if (entry.type() == 'D') {
    makeFolderPath(target.text(), false);
    return true;
  }
  makeFolderPath(target.text(), true);
  if (stopRequested())
    return fail(item, "NAutoDist::distFileCopy: stopped (2)\n", auto_status::kStopped,
                catalogueText(auto_message::kStopped).text());
  if (!NMisc::moveFile(source.text(), target.text())) return copyFailed(item, source, target);
  return true;
}

bool NAutoDist::copyFailed(ADistItem& item, const NString& source, const NString& target) {
  NString log;
  log.format("NAutoDist::distFileDownload: CVD_ADIST_STATUS_FAIL_FILE_COPY (%.1024s, %.1024s) \n",
             source.text(), target.text());
  return fail(item, log.text(), auto_status::kMoveFailed,
              (catalogueText(auto_message::kFileCopy) + target).text());
}

bool NAutoDist::isSafeToDelete(ADistItem& item) {
  writeStateFile(1, item);
  const NString destination(item.m_szDstFolder);
  trace(3, "NAutoDist::isSafeToDelete: (1) - strDstFolder:%s\n", destination.text());
  if (!isOnLocalDrive(destination) || isSystemFolder(destination)) return false;
  if (destination.equalsNoCase(NMisc::getModuleFolder(NMisc::thisModule()))) {
    trace(3, "NAutoDist::isSafeToDelete: (12) - FALSE : getModulePath. \n");
    return false;
  }
  trace(3, "NAutoDist::isSafeToDelete: (13)\n");
  return true;
}

bool NAutoDist::removeStaleFiles(ADistItem& item, int& removed) {
  const NString destination(item.m_szDstFolder);
  for (const auto& [name, entry] : *m_pStaleMap) {
    if (entry->type() != 'F') continue;
    plat::deleteFile((destination + "\\" + entry->name()).text());
    removed = 1;
  }
  // Deepest first, so a stale folder whose stale subfolders go first can go too; a folder that
  // still holds anything stays.
  std::vector<const NFileData*> folders;
  for (const auto& [name, entry] : *m_pStaleMap) {
    if (entry->type() == 'D') folders.push_back(entry.get());
  }
  for (auto it = folders.rbegin(); it != folders.rend(); ++it)
    plat::removeDirectory((destination + "\\" + (*it)->name()).text());
  NMisc::deleteTree(packageFolder(item).text());
  return true;
}
