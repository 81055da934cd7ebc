// NGenDist transfers: the index archive from the first address that works, its extraction and
// load, and the package parts (skipping parts already present with the right digest).
#include <cstdlib>
#include <cstring>
#include <vector>

#include "entry/StatusCodes.h"
#include "gendist/NGenDist.h"
#include "gendist/NTransferThread.h"
#include "net/NDownload.h"
#include "net/NLgzExtract.h"
#include "platform/NHash.h"
#include "platform/NMisc.h"
#include "platform/NStrtok.h"
#include "platform/NUnicodeFileReader.h"
#include "platform/PlatformFs.h"
#include "platform/Trace.h"

namespace {

constexpr const char* kServerFolder = "/Corvane/dist/normal";

NString remotePath(const NString& local) {
  NString remote = local;
  remote.replaceChar('\\', '/');
  return remote;
}

// With transfers, the job's stop is passed on to the transfer running meanwhile between the
// pieces of the digest.
NString digestOf(const NString& path, NTransferThread* transfers = nullptr) {
  NHash hash;
  if (transfers != nullptr) hash.setPieceHook([transfers] { transfers->passStopOn(); });
  return NString(hash.getHash(5, 2, path.text(), 256));
}

bool connectTo(NDownload& download, const HostEnvironment& env, const char* address,
               plat::Event* stopEvent) {
  int modeFlag = std::strcmp(env.m_szTransferMode, "A") == 0 ? 0 : 1;
  return download.connect(env.m_szFtAddress, env.m_szFtSecond, address, std::atoi(env.m_szFtPort),
                          modeFlag, stopEvent);
}

bool endsWithNoCase(const std::string& text, const char* suffix) {
  size_t length = std::strlen(suffix);
  return text.size() >= length && NString(text.c_str() + text.size() - length).equalsNoCase(suffix);
}

}  // namespace

NString NGenDist::partName(uint32_t part) const {
  NString name;
  if (part == 0) name.format("\\%s.lgz", m_strDistId.text());
  else name.format("\\%s.l%5.5u", m_strDistId.text(), part);
  return name;
}

int NGenDist::downloadIdxFile(const char* address, plat::Event* stopEvent) {
  NMisc::makePath(jobFolder().text());
  NDownload download;
  if (!connectTo(download, m_pRecord->m_hostEnv, address, stopEvent)) return 0;
  NString local;
  local.format("%s\\%s.idx.lgz", jobFolder().text(), m_strDistId.text());
  NString remote;
  remote.format("%s\\%s.idx.lgz", kServerFolder, m_strDistId.text());
  remote = remotePath(remote);
  if (!download.get(remote.text(), local.text())) {
    trace(1, "NGenDist::downloadIdxFile: get error (%s, %s, %s)\n", address, remote.text(), local.text());
    download.close(0);
    return 0;
  }
  download.close(1);
  if (digestOf(local) == m_strIdxFileDigest) return 1;
  trace(1, "NGenDist::downloadIdxFile: invalid idx file (%s)\n", local.text());
  return 0;
}

int NGenDist::checkIdxFile() {
  NString archive;
  archive.format("%s\\%s.idx.lgz", jobFolder().text(), m_strDistId.text());
  NString extraction = jobFolder() + "\\idx_tmp";
  NString index;
  index.format("%s\\%s.idx", jobFolder().text(), m_strDistId.text());
  {
    plat::CriticalSectionLock lock(indexLock());
    NMisc::makePath(extraction.text());
    NLgzExtract extractor;
    if (!extractor.extract(extraction.text(), archive.text())) {
      trace(1, "NGenDist::checkIdxFile(1): invalid idx file\n");
      return 0;
    }
    moveExtractedIndex(extraction, index);
  }
  if (idxFileLoad(index.text())) return 1;
  trace(1, "NGenDist::checkIdxFile(2): invalid idx file\n");
  return 0;
}

// Moves the index file out of the shared extraction folder: this job's own "<id>.idx" when the
// archive held it, otherwise the first "*.idx" there.
void NGenDist::moveExtractedIndex(const NString& extraction, const NString& index) {
  std::vector<plat::DirEntry> entries;
  if (!plat::listDirectory(extraction.text(), entries)) return;
  NString own = m_strDistId + ".idx";
  const plat::DirEntry* chosen = nullptr;
  for (const plat::DirEntry& entry : entries) {
    if (entry.isDirectory || !endsWithNoCase(entry.name, ".idx")) continue;
    if (chosen == nullptr || own.equalsNoCase(entry.name.c_str())) chosen = &entry;
  }
  if (chosen != nullptr)
    NMisc::moveFile((extraction + "\\" + chosen->name.c_str()).text(), index.text());
}

int NGenDist::idxFileLoad(const char* indexPath) {
  NUnicodeFileReader reader;
  if (!reader.open(indexPath)) {
    trace(1, "NGenDist::idxFileLoad: index file open failed\n");
    return 0;
  }
  m_arrSysFiles.clear();
  m_arrPartDigests.clear();
  NString line;
  int endOfFile = 0;
  for (int number = 0;; ++number) {
    reader.readLine(line, endOfFile);
    if (endOfFile) break;
    if (number == 1) loadSystemFiles(line);
    if (number >= 2 && !loadPartLine(line)) {
      trace(1, "NGenDist::idxFileLoad: index file ==> invalid format (2) \n");
      return 0;
    }
  }
  if (static_cast<uint32_t>(m_arrPartDigests.getCount()) != m_nSplitCount) {
    trace(1, "NGenDist::idxFileLoad: index file ==> invalid format (3) \n");
    return 0;
  }
  return 1;
}

void NGenDist::loadSystemFiles(const NString& line) {
  NStrtok tokenizer;
  NStringArray& files = tokenizer.split(line.text(), "|@");
  for (int i = 0; i < files.getCount(); ++i) {
    NString file = files.getAt(i);
    if (!file.isEmpty()) m_arrSysFiles.add(file);
  }
}

// False when the part number is out of sequence; lines that are not two fields are skipped.
bool NGenDist::loadPartLine(const NString& line) {
  NStrtok tokenizer;
  NStringArray& fields = tokenizer.split(line.text(), "|@");
  if (fields.getCount() != 2) return true;
  if (std::atoi(fields.getAt(0).text()) != m_arrPartDigests.getCount()) return false;
  m_arrPartDigests.add(fields.getAt(1));
  return true;
}

// Part i's digest is checked while part i + 1 arrives on the transfer thread. Everything the
// job shows (trace lines, progress reports, the failure of the lowest-numbered bad part) keeps
// the order of one part after the other: a part's lines come only in its own turn, and a part
// fetched ahead of a bad one is removed again.
int NGenDist::downloadFiles(const char* address, plat::Event* stopEvent) {
  NMisc::makePath((jobFolder() + "\\" + m_strDistId).text());
  NDownload download;
  NTransferThread transfers(stopEvent);
  const HostEnvironment& env = m_pRecord->m_hostEnv;
  transfers.begin([&] { return connectTo(download, env, address, transfers.transferStop()); });
  if (!transfers.end()) return 0;
  PartTurn next;
  if (m_nSplitCount > 0) next = beginPart(0, download, transfers);
  for (uint32_t i = 0; i < m_nSplitCount; ++i) {
    PartTurn part = next;
    if (!part.kept && !transfers.end()) {
      download.traceGetError(part.remote.text(), part.local.text());
      trace(1, "NGenDist::downloadFiles: get error (%s, %s, %s)\n", address, part.remote.text(),
            part.local.text());
      download.close(0);
      return 0;
    }
    if (i + 1 < m_nSplitCount) next = beginPart(i + 1, download, transfers);
    if (!checkPart(part, transfers)) {
      if (transfers.busy() && transfers.abandon()) plat::deleteFile(next.local.text());
      download.close(0);
      return 0;
    }
    m_nProgress = static_cast<int>((i + 1) * 100 / m_nSplitCount);
    NString detail;
    detail.format("%s(%d %%)", stepText(step_text::kPartFetch).text(), m_nProgress);
    report(0, m_bShowProgress ? 1 : 0, commanded_status::kPackageFetching, detail.text(), 0);
  }
  download.close(1);
  return 1;
}

// Decides whether part index is already present with its digest and, when it is not, starts
// its transfer. Nothing is traced here: the part's lines wait for its turn.
NGenDist::PartTurn NGenDist::beginPart(uint32_t index, NDownload& download,
                                       NTransferThread& transfers) {
  PartTurn part;
  part.index = index;
  part.local = jobFolder() + "\\" + m_strDistId + partName(index);
  part.remote = remotePath(NString(kServerFolder) + "/" + m_strDistId + partName(index));
  part.expected = m_arrPartDigests.getAt(static_cast<int>(index));
  part.kept = plat::pathKind(part.local.text()) == plat::PathKind::File &&
              digestOf(part.local, &transfers) == part.expected;
  if (!part.kept) {
    NString remote = part.remote;
    NString local = part.local;
    transfers.begin([&download, remote, local] { return download.fetch(remote.text(), local.text()); });
  }
  return part;
}

// The part's own lines in its turn: kept, or fetched and checked against its digest.
bool NGenDist::checkPart(const PartTurn& part, NTransferThread& transfers) {
  if (part.kept) {
    trace(3, "NGenDist::downloadFiles: fild(%s) download SKIPPED! beacause same digest(%d, %.200s) \n",
          part.local.text(), static_cast<int>(part.index), part.expected.text());
    return true;
  }
  if (digestOf(part.local, &transfers) == part.expected) return true;
  trace(1, "NGenDist::downloadFiles: invalid file (%s, %d)\n", part.local.text(),
        static_cast<int>(part.index));
  return false;
}
