// NGenDist transfers: the index archive from the first address that works, its extraction and
// load, and the package parts (skipping parts already present with the right digest).
#include <cstdlib>
#include <cstring>
#include <vector>

#include "entry/Trace.h"
#include "gendist/NGenDist.h"
#include "net/NDownload.h"
#include "net/NLgzExtract.h"
#include "platform/NHash.h"
#include "platform/NMisc.h"
#include "platform/NStrtok.h"
#include "platform/NUnicodeFileReader.h"
#include "platform/PlatformFs.h"

namespace {

constexpr const char* kServerFolder = "/Corvane/dist/normal";

NString remotePath(const NString& local) {
  NString remote = local;
  remote.replaceChar('\\', '/');
  return remote;
}

NString digestOf(const NString& path) {
  NHash hash;
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

int NGenDist::downloadFiles(const char* address, plat::Event* stopEvent) {
  NMisc::makePath((jobFolder() + "\\" + m_strDistId).text());
  NDownload download;
  if (!connectTo(download, m_pRecord->m_hostEnv, address, stopEvent)) return 0;
  for (uint32_t i = 0; i < m_nSplitCount; ++i) {
    NString local = jobFolder() + "\\" + m_strDistId + partName(i);
    NString remote = remotePath(NString(kServerFolder) + "/" + m_strDistId + partName(i));
    NString expected = m_arrPartDigests.getAt(static_cast<int>(i));
    if (plat::pathKind(local.text()) == plat::PathKind::File && digestOf(local) == expected) {
      trace(3, "NGenDist::downloadFiles: fild(%s) download SKIPPED! beacause same digest(%d, %.200s) \n",
            local.text(), static_cast<int>(i), expected.text());
    } else if (!fetchPart(download, address, remote, local, expected, i)) {
      return 0;
    }
    m_nProgress = static_cast<int>((i + 1) * 100 / m_nSplitCount);
    NString detail;
    detail.format("%s(%d %%)", stepText(1903).text(), m_nProgress);
    report(0, m_bShowProgress ? 1 : 0, "075", detail.text(), 0);
  }
  download.close(1);
  return 1;
}

bool NGenDist::fetchPart(NDownload& download, const char* address, const NString& remote,
                         const NString& local, const NString& expected, uint32_t part) {
  if (!download.get(remote.text(), local.text())) {
    trace(1, "NGenDist::downloadFiles: get error (%s, %s, %s)\n", address, remote.text(),
          local.text());
    download.close(0);
    return false;
  }
  if (digestOf(local) != expected) {
    trace(1, "NGenDist::downloadFiles: invalid file (%s, %d)\n", local.text(), static_cast<int>(part));
    download.close(0);
    return false;
  }
  return true;
}
