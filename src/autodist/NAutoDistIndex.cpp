// NAutoDist stages 1 and 2: the item's index archive (local copy with the right digest, else
// fetched from the distribution servers in turn) and the index file read into the item and
// the index file map.
#include <cstdlib>
#include <cstring>

#include "autodist/NAutoDist.h"
#include "autodist/NAutoDistPaths.h"
#include "autodist/NDistMgr.h"
#include "entry/NModuleState.h"
#include "entry/StatusCodes.h"
#include "net/NDownload.h"
#include "net/NLgzExtract.h"
#include "platform/NStrtok.h"
#include "platform/NUnicodeFileReader.h"
#include "platform/PlatformSync.h"
#include "platform/Trace.h"

namespace {

constexpr const char* kFieldSeparator = "|@";
constexpr uint32_t kRetryPauseMs = 500;

// The get-error lines of the two stages that fetch the index archive; the pointer tells the
// stage apart.
constexpr const char* kStage1GetError = "NAutoDist::idxFileCheck: get error (%s, %s)\n";

// Bounded copy into a fixed text field of the item.
template <size_t N>
void store(char (&field)[N], const NString& text) {
  std::strncpy(field, text.text(), N - 1);
  field[N - 1] = '\0';
}

// 0 when the header fits; otherwise the invalid-format case number.
int checkHeader(const NStringArray& fields, int32_t distId) {
  if (fields.getCount() < 9) return 2;
  if (std::atoi(fields.getAt(0).text()) != distId) return 3;
  static const struct { int index; int limit; } kLimits[] = {
      {3, 261}, {4, 261}, {5, 2}, {6, 2}, {7, 261}, {8, 100}, {9, 2}};
  for (const auto& limit : kLimits) {
    if (limit.index < fields.getCount() && fields.getAt(limit.index).length() >= limit.limit)
      return 4;
  }
  return 0;
}

void storeHeader(const NStringArray& fields, ADistItem& item) {
  item.m_nUpdateId = std::atoi(fields.getAt(1).text());
  store(item.m_szLabel, fields.getAt(3));
  store(item.m_szDstFolder, fields.getAt(4));
  store(item.m_szSubFolder, fields.getAt(5));
  store(item.m_szCleanUp, fields.getAt(6));
  store(item.m_szProgram, fields.getAt(7));
  store(item.m_szProgramArgs, fields.getAt(8));
  store(item.m_szAccount, fields.getCount() > 9 ? fields.getAt(9) : NString("S"));
}

// 0 when the file line was added (or named an entry already there); else the case number.
int loadFileLine(const NStringArray& fields, NFileMap& map, NFileData*& current) {
  if (fields.getCount() < 6) return 7;
  // Entry paths are joined to the destination and package folders: a path that could lead
  // out of them is refused with the whole index.
  if (!NAutoDistPaths::isContainedRelative(fields.getAt(1).text())) return 10;
  const NString& type = fields.getAt(3);
  current = map.add(fields.getAt(1).text(),
                    static_cast<uint32_t>(std::strtoul(fields.getAt(2).text(), nullptr, 10)),
                    type.isEmpty() ? 'F' : type.getAt(0), fields.getAt(4).text(),
                    static_cast<uint32_t>(std::strtoul(fields.getAt(5).text(), nullptr, 10)));
  return 0;
}

int loadPartLine(const NStringArray& fields, NFileData* current) {
  if (fields.getCount() < 3) return 8;
  if (current == nullptr || std::atoi(fields.getAt(1).text()) != current->parts().getCount())
    return 9;
  current->addPart(fields.getAt(2).text());
  return 0;
}

}  // namespace

bool NAutoDist::connectServer(NDownload& download) {
  std::unique_ptr<HostEnvironment> env = NModuleState::hostEnvironment();
  int modeFlag = std::strcmp(env->m_szTransferMode, "A") == 0 ? 0 : 1;
  return download.connect(env->m_szFtAddress, env->m_szFtSecond, m_strCurrentServer.text(),
                          std::atoi(env->m_szFtPort), modeFlag, nullptr);
}

// Walks the servers from the one after the current server. On true the current server is the
// one that served the archive; on false it is empty (no server left) or a stop was requested.
bool NAutoDist::fetchIndexArchive(ADistItem& item, const NString& remote, const NString& local,
                                  const char* errorLine) {
  const bool stage1 = errorLine == kStage1GetError;
  const char* connectLine = stage1
                                ? "NAutoDist::idxFileCheck: cannot connect to dist server(%s)\n"
                                : "NAutoDist::distFileDownload: cannot connect to dist server(%s)\n";
  const int retries = m_pManager->getRetryCount();
  // Only this thread writes the current server; the setter lets the manager thread read it.
  for (setCurrentServer(m_pManager->getNextServer(m_strCurrentServer.text()));
       !m_strCurrentServer.isEmpty();
       setCurrentServer(m_pManager->getNextServer(m_strCurrentServer.text()))) {
    if (stopRequested()) return false;
    NDownload download;
    if (!connectServer(download)) {
      trace(1, connectLine, m_strCurrentServer.text());
      continue;
    }
    bool done = false;
    for (int attempt = 0; attempt < retries && !done && !stopRequested(); ++attempt) {
      if (!download.get(remote.text(), local.text())) {
        trace(1, errorLine, remote.text(), local.text(), attempt);
        plat::sleepMs(kRetryPauseMs);
        continue;
      }
      done = NAutoDistPaths::digestOf(local) == item.m_szIdxDigest;
    }
    download.close(1);
    if (done) return true;
  }
  return false;
}

bool NAutoDist::idxFileCheck(ADistItem& item) {
  NString local;
  local.format("%s\\%d.idx.lgz", m_strLocalFolder.text(), item.m_nDistId);
  NString remote;
  remote.format("%s\\%d.idx.lgz", m_strServerPath.text(), item.m_nDistId);
  remote.replaceChar('\\', '/');
  reportStatus(item.m_nDistId, 0, auto_status::kIndexFetch, "", false);
  if (NAutoDistPaths::isFileWithDigest(local, item.m_szIdxDigest)) {
    setCurrentServer("");
  } else if (!fetchIndexArchive(item, remote, local, kStage1GetError)) {
    if (stopRequested())
      return fail(item, "NAutoDist::idxFileCheck: stopped\n", auto_status::kStopped,
                  catalogueText(auto_message::kStopped).text());
    return fail(item, "NAutoDist::idxFileCheck: index file check failed\n",
                auto_status::kIndexUnavailable,
                catalogueText(auto_message::kIndexUnavailable).text());
  }
  if (stopRequested())
    return fail(item, "NAutoDist::idxFileCheck: stopped\n", auto_status::kStopped,
                catalogueText(auto_message::kStopped).text());
  reportStatus(item.m_nDistId, 50, auto_status::kIndexFetch, "", true);
  trace(1, "NAutoDist::idxFileCheck:***** (%s)(%s)\n", m_strLocalFolder.text(), local.text());
  NLgzExtract extractor;
  if (!extractor.extract(m_strLocalFolder.text(), local.text())) {
    return fail(item, "NAutoDist::idxFileCheck: index file unzip failed\n",
                auto_status::kIndexUnavailable,
                (catalogueText(auto_message::kIndexUnavailable) + local).text());
  }
  reportStatus(item.m_nDistId, 100, auto_status::kIndexFetch, "", false);
  return true;
}

int NAutoDist::loadIndexLine(int number, const NString& line, ADistItem& item,
                             NFileData*& current) {
  NStrtok tokenizer;
  NStringArray& fields = tokenizer.split(line.text(), kFieldSeparator);
  if (number == 0) {
    int invalid = checkHeader(fields, item.m_nDistId);
    if (invalid == 0) storeHeader(fields, item);
    return invalid;
  }
  if (fields.getAt(0) == "M") return loadFileLine(fields, *m_pIndexMap, current);
  if (fields.getAt(0) == "S") return loadPartLine(fields, current);
  return 6;
}

bool NAutoDist::idxFileLoad(ADistItem& item) {
  writeStateFile(1, item);
  reportStatus(item.m_nDistId, 0, auto_status::kIndexLoad, "", false);
  NString path;
  path.format("%s\\%d.idx", m_strLocalFolder.text(), item.m_nDistId);
  NUnicodeFileReader reader;
  if (!reader.open(path.text())) {
    return fail(item, "NAutoDist::idxFileLoad: index file open failed\n",
                auto_status::kIndexInvalid,
                (catalogueText(auto_message::kIndexNotLoaded) +
                 catalogueText(auto_message::kIndexUnopened) + path)
                    .text());
  }
  NFileData* current = nullptr;
  NString line;
  int endOfFile = 0;
  for (int number = 0;; ++number) {
    if (stopRequested())
      return fail(item, "NAutoDist::idxFileLoad: stopped\n", auto_status::kStopped,
                  catalogueText(auto_message::kStopped).text());
    reader.readLine(line, endOfFile);
    if (endOfFile) break;
    int invalid = loadIndexLine(number, line, item, current);
    if (invalid != 0) {
      NString log;
      log.format("NAutoDist::idxFileLoad: index file ==> invalid format (%d)%s \n", invalid,
                 invalid == 3 || invalid == 4 ? ", dist_id" : "");
      return fail(item, log.text(), auto_status::kIndexInvalid,
                  (catalogueText(auto_message::kIndexNotLoaded) +
                   catalogueText(auto_message::kIndexInvalid))
                      .text());
    }
  }
  reader.close();
  reportStatus(item.m_nDistId, 100, auto_status::kIndexLoad, "", false);
  return true;
}
