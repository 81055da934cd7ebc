// NAutoDist stage 4: the parts of every file that is missing from the destination or differs,
// fetched whole into the package folder (parts already there with their digest are kept) and
// unpacked beside themselves.
#include <cstring>

#include "autodist/NAutoDist.h"
#include "autodist/NAutoDistPaths.h"
#include "autodist/NDistMgr.h"
#include "entry/StatusCodes.h"
#include "net/NDownload.h"
#include "net/NLgzExtract.h"
#include "platform/NMisc.h"
#include "platform/PlatformFs.h"
#include "platform/PlatformSync.h"
#include "platform/Trace.h"

namespace {

constexpr uint32_t kRetryPauseMs = 500;
constexpr const char* kIndexGetError =
    "NAutoDist::distFileDownload: idx file get error (%s, %s), iRetry: %d\n";

bool isPending(const NFileData& entry) {
  return std::strcmp(entry.state(), "A") == 0 || std::strcmp(entry.state(), "C") == 0;
}

}  // namespace

bool NAutoDist::distFileDownload(ADistItem& item, int& fetched) {
  writeStateFile(1, item);
  reportStatus(item.m_nDistId, 0, auto_status::kDownload, "", false);
  int totalParts = 0;
  fetched = 0;
  for (const auto& [name, entry] : *m_pIndexMap) {
    if (!isPending(*entry)) continue;
    totalParts += static_cast<int>(entry->partCount());
    fetched = 1;
  }
  if (fetched) {
    if (stopRequested()) return downloadStopped(item, 1);
    if (!chooseServer(item)) return false;
    if (stopRequested()) return downloadStopped(item, 3);
    reportStatus(item.m_nDistId, 5, auto_status::kDownload, "", true);
    if (!downloadEntries(item, totalParts)) return false;
  }
  reportStatus(item.m_nDistId, 100, auto_status::kDownload, "", false);
  return true;
}

// Steps 5 to 7 of the stage: one connection to the current server for the parts of every
// entry that is missing or differs.
bool NAutoDist::downloadEntries(ADistItem& item, int totalParts) {
  NDownload download;
  if (!connectServer(download)) {
    trace(1, "NAutoDist::distFileDownload: cannot connect to dist server(%s)\n",
          m_strCurrentServer.text());
    NString zipFolder;
    zipFolder.format("%s/%d/zip", m_strServerPath.text(), item.m_nDistId);
    zipFolder.replaceChar('\\', '/');
    return downloadFailed(item, zipFolder, packageFolder(item));
  }
  int handled = 0;
  for (const auto& [name, entry] : *m_pIndexMap) {
    if (!isPending(*entry)) continue;
    if (!downloadEntry(item, download, *entry, handled, totalParts)) {
      download.close(1);
      return false;
    }
  }
  download.close(1);
  return true;
}

// Step 4 of the stage: when stage 1 took the index from the local folder, find a server that
// still serves it, in the same order as stage 1.
bool NAutoDist::chooseServer(ADistItem& item) {
  if (!m_strCurrentServer.isEmpty()) return true;
  NString local;
  local.format("%s\\%d.idx.lgz", m_strLocalFolder.text(), item.m_nDistId);
  NString remote;
  remote.format("%s\\%d.idx.lgz", m_strServerPath.text(), item.m_nDistId);
  remote.replaceChar('\\', '/');
  if (fetchIndexArchive(item, remote, local, kIndexGetError)) return true;
  if (stopRequested()) return downloadStopped(item, 2);
  return downloadFailed(item, remote, local);
}

// One index entry: a folder is made, a file already unpacked with its digest is kept, anything
// else is fetched part by part and unpacked.
bool NAutoDist::downloadEntry(ADistItem& item, NDownload& download, const NFileData& entry,
                              int& handled, int totalParts) {
  if (stopRequested()) return downloadStopped(item, 4);
  const NString local = packageFolder(item) + "\\" + entry.name();
  if (entry.type() == 'D') {
    makeFolderPath(local.text(), false);
    return true;
  }
  if (NAutoDistPaths::isFileWithDigest(local, entry.digest())) return true;
  makeFolderPath(local.text(), true);
  if (entry.partCount() != static_cast<uint32_t>(entry.parts().getCount())) {
    return fail(item, "NAutoDist::distFileDownload: CVD_ADIST_STATUS_FAIL_INVALID_INDEX (1) \n",
                auto_status::kIndexInconsistent, catalogueText(auto_message::kInvalidIndex).text());
  }
  for (uint32_t part = 0; part < entry.partCount(); ++part) {
    if (!downloadPart(item, download, entry, part)) return false;
    int percent = totalParts > 0 ? 5 + 95 * handled / totalParts : 5;
    reportStatus(item.m_nDistId, percent, auto_status::kDownload, entry.name().text(), true);
    ++handled;
  }
  if (stopRequested()) return downloadStopped(item, 7);
  const NString archive = local + ".lgz";
  trace(1, "NAutoDist::distFileDownload: 1537(%.1024s) \n", archive.text());
  NLgzExtract extractor;
  if (!extractor.extract(archive.text())) {
    NString log;
    log.format("NAutoDist::distFileDownload: CVD_ADIST_STATUS_FAIL_FILE_UNZIP (%.1024s) \n",
               archive.text());
    return fail(item, log.text(), auto_status::kUnpackFailed,
                (catalogueText(auto_message::kFileUnzip) + archive).text());
  }
  plat::deleteFile(archive.text());
  return true;
}

bool NAutoDist::downloadPart(ADistItem& item, NDownload& download, const NFileData& entry,
                             uint32_t part) {
  if (stopRequested()) return downloadStopped(item, 5);
  const NString local = NAutoDistPaths::partName(packageFolder(item) + "\\" + entry.name(), part);
  const NString digest = entry.parts().getAt(static_cast<int>(part));
  if (NAutoDistPaths::isFileWithDigest(local, digest.text())) return true;
  if (stopRequested()) return downloadStopped(item, 6);
  NString remote;
  remote.format("%s/%d/zip/%s", m_strServerPath.text(), item.m_nDistId,
                NAutoDistPaths::partName(entry.name(), part).text());
  remote.replaceChar('\\', '/');
  const int retries = m_pManager->getRetryCount();
  for (int attempt = 0; attempt < retries; ++attempt) {
    if (stopRequested()) return downloadStopped(item, 6);
    trace(1, "NAutoDist::distFileDownload: get ***** (%.1024s, %.1024s)\n", remote.text(),
          local.text());
    if (!download.get(remote.text(), local.text())) {
      trace(1, "NAutoDist::distFileDownload: get error (%.1024s, %.1024s)\n", remote.text(),
            local.text());
      plat::sleepMs(kRetryPauseMs);
      continue;
    }
    if (NAutoDistPaths::digestOf(local) == digest) return true;
  }
  return downloadFailed(item, remote, local);
}

bool NAutoDist::downloadFailed(ADistItem& item, const NString& remote, const NString& local) {
  NString log;
  log.format("NAutoDist::distFileDownload: CVD_ADIST_STATUS_FAIL_FILE_DOWN (1) (%.255s), (%.1024s, %.1024s)\n",
             m_strCurrentServer.text(), remote.text(), local.text());
  return fail(item, log.text(), auto_status::kPartFailed,
              (catalogueText(auto_message::kFileDownload) + remote).text());
}

bool NAutoDist::downloadStopped(ADistItem& item, int stopCase) {
  NString log;
  log.format("NAutoDist::distFileDownload: stopped (%d)\n", stopCase);
  return fail(item, log.text(), auto_status::kStopped,
              catalogueText(auto_message::kStopped).text());
}
