// Checking the packages on a server root as agents would fetch and unpack them.
#include "ServerCheck.h"

#include <algorithm>
#include <filesystem>

#include "LgzCompanion.h"
#include "NCliProgress.h"
#include "PackError.h"
#include "ScratchFolder.h"
#include "VolumeSink.h"
#include "platform/NHash.h"
#include "platform/PlatformFs.h"

namespace cvdt::pack {

namespace fs = std::filesystem;
using Flavour = ServerLayout::Flavour;

namespace {

// The module's own digest of a file (empty for an empty or unreadable one).
std::string moduleDigest(const std::string& hostPath) {
  NHash hash;
  const std::string windows = plat::toWindowsPath(fs::absolute(hostPath).string());
  return hash.getHash(NHash::kAlgorithmMd5, NHash::kInputFile, windows.c_str());
}

bool isDecimal(const std::string& text) {
  return !text.empty() && text.size() <= 10 &&
         std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

std::string hostRelative(const std::string& windows) {
  std::string host = windows;
  std::replace(host.begin(), host.end(), '\\', '/');
  return host;
}

}  // namespace

ServerCheck::ServerCheck(const std::string& root, const LgzCompanion& lgz)
    : m_layout(root), m_strRoot(root), m_lgz(lgz) {
  while (m_strRoot.size() > 1 && m_strRoot.back() == '/') m_strRoot.pop_back();
}

std::string ServerCheck::shown(const std::string& hostPath) const {
  return hostPath.compare(0, m_strRoot.size() + 1, m_strRoot + "/") == 0
             ? hostPath.substr(m_strRoot.size() + 1)
             : hostPath;
}

ServerCheck::Totals ServerCheck::run(FILE* out) {
  const ScratchFolder scratch;
  const std::vector<std::string> normal = packageIds(Flavour::Normal), automatic = packageIds(Flavour::Auto);
  const int total = static_cast<int>(normal.size() + automatic.size());
  for (Flavour flavour : {Flavour::Normal, Flavour::Auto}) {
    for (const std::string& id : flavour == Flavour::Normal ? normal : automatic) {
      if (m_pProgress != nullptr)
        m_pProgress->update(static_cast<uint64_t>(m_reports.size()), static_cast<uint64_t>(total),
                            shown(m_layout.indexArchive(flavour, id)));
      checkPackage(flavour, id, scratch, out);
    }
  }
  if (m_pProgress != nullptr) m_pProgress->clear();
  if (m_totals.packages == 0) ++m_totals.problems;
  if (out == nullptr) return m_totals;
  std::fprintf(out, "checked %d packages, %d files, %d parts: ", m_totals.packages,
               m_totals.files, m_totals.parts);
  if (m_totals.packages == 0) {
    std::fprintf(out, "no index archive below %s/Corvane/dist\n", m_strRoot.c_str());
  } else if (m_totals.problems == 0) {
    std::fprintf(out, "all digests match\n");
  } else {
    std::fprintf(out, "%d problem%s\n", m_totals.problems, m_totals.problems == 1 ? "" : "s");
  }
  return m_totals;
}

std::vector<std::string> ServerCheck::packageIds(Flavour flavour) const {
  std::vector<std::string> ids;
  std::error_code error;
  for (fs::directory_iterator it(m_layout.folder(flavour), error), end; !error && it != end;
       it.increment(error)) {
    const std::string name = it->path().filename().string();
    const size_t suffix = name.size() > 8 ? name.size() - 8 : 0;
    if (suffix > 0 && name.compare(suffix, 8, ".idx.lgz") == 0 && isDecimal(name.substr(0, suffix))) {
      ids.push_back(name.substr(0, suffix));
    }
  }
  std::sort(ids.begin(), ids.end(), [](const std::string& a, const std::string& b) {
    return a.size() != b.size() ? a.size() < b.size() : a < b;
  });
  return ids;
}

void ServerCheck::checkPackage(Flavour flavour, const std::string& id,
                               const ScratchFolder& scratch, FILE* out) {
  m_problems.clear();
  m_nPackageParts = m_nPackageFiles = 0;
  const std::string archive = m_layout.indexArchive(flavour, id);
  IndexFile index;
  if (readIndex(flavour, id, scratch, index)) {
    if (flavour == Flavour::Normal) {
      checkNormal(id, index, scratch);
    } else {
      checkAuto(id, index, scratch);
    }
  }
  Report report{flavour == Flavour::Normal ? "normal" : "auto", id, shown(archive),
                moduleDigest(archive), m_nPackageFiles, m_nPackageParts, m_problems};
  if (out != nullptr) {
    if (m_pProgress != nullptr) m_pProgress->clear();
    std::fprintf(out, "%s  %s  %d files, %d parts  %s\n", report.strIndex.c_str(),
                 report.strDigest.c_str(), m_nPackageFiles, m_nPackageParts,
                 m_problems.empty() ? "ok" : "FAILED");
    for (const std::string& text : m_problems) std::fprintf(out, "  %s\n", text.c_str());
  }
  m_reports.push_back(std::move(report));
  ++m_totals.packages;
  m_totals.files += m_nPackageFiles;
  m_totals.parts += m_nPackageParts;
  m_totals.problems += static_cast<int>(m_problems.size());
}

bool ServerCheck::readIndex(Flavour flavour, const std::string& id, const ScratchFolder& scratch,
                            IndexFile& index) {
  const std::string archive = m_layout.indexArchive(flavour, id);
  const std::string folder = scratch.fresh("index");
  if (!m_lgz.extract(folder, archive)) {
    problem("the index archive does not unpack");
    return false;
  }
  if (!index.read(folder + "/" + id + ".idx")) {
    problem("the index archive holds no readable " + id + ".idx (UTF-16 with the mark FF FE)");
    return false;
  }
  return true;
}

bool ServerCheck::checkPart(const std::string& hostPath, const std::string& expected) {
  ++m_nPackageParts;
  std::error_code error;
  if (!fs::is_regular_file(hostPath, error)) {
    problem(shown(hostPath) + ": missing");
    return false;
  }
  const std::string digest = moduleDigest(hostPath);
  if (digest != expected) {
    problem(shown(hostPath) + ": digest " + (digest.empty() ? "(none)" : digest) +
            ", the index says " + (expected.empty() ? "(none)" : expected));
    return false;
  }
  return true;
}

// Line 0 is a header, line 1 the system files, then one "number|@digest" line per part.
void ServerCheck::checkNormal(const std::string& id, const IndexFile& index,
                              const ScratchFolder& scratch) {
  const auto& lines = index.lines();
  if (lines.size() < 2) {
    problem("the index has no system file line");
    return;
  }
  const std::string folder = m_layout.packageFolder(Flavour::Normal, id);
  bool partsGood = lines.size() > 2;
  if (!partsGood) problem("the index names no part");
  for (size_t i = 2; i < lines.size(); ++i) {
    const int number = static_cast<int>(i - 2);
    if (lines[i].size() != 2 || lines[i][0] != std::to_string(number)) {
      problem("index line " + std::to_string(i + 1) + " is not part " + std::to_string(number));
      return;
    }
    partsGood = checkPart(folder + "/" + VolumeSink::partName(id, number), lines[i][1]) && partsGood;
  }
  if (!partsGood) return;
  const std::string unpacked = scratch.fresh("package");
  if (!m_lgz.extract(unpacked, folder + "/" + VolumeSink::partName(id, 0))) {
    problem("the parts do not unpack as one archive");
    return;
  }
  for (const std::string& file : lines[1]) {
    std::error_code error;
    if (!file.empty() && !fs::is_regular_file(unpacked + "/" + hostRelative(file), error)) {
      problem("system file " + file + " is not in the package");
    }
  }
}

void ServerCheck::checkAuto(const std::string& id, const IndexFile& index,
                            const ScratchFolder& scratch) {
  std::vector<AutoEntry> entries;
  if (!autoEntries(id, index, entries)) return;
  for (const AutoEntry& entry : entries) {
    if (entry.type.compare(0, 1, "D") != 0) checkAutoFile(id, entry, scratch);
  }
}

// Reads the header and the "M" and "S" lines under the module's rules.
bool ServerCheck::autoEntries(const std::string& id, const IndexFile& index,
                              std::vector<AutoEntry>& entries) {
  const auto& lines = index.lines();
  if (lines.empty() || lines[0].size() < 9 || lines[0][0] != id) {
    problem("the index header is missing, short, or not for distribution " + id);
    return false;
  }
  for (size_t i = 1; i < lines.size(); ++i) {
    const IndexFile::Fields& line = lines[i];
    const std::string where = "index line " + std::to_string(i + 1);
    if (line[0] == "M" && line.size() >= 6) {
      const int parts = isDecimal(line[5]) ? std::stoi(line[5]) : -1;
      entries.push_back({line[1], line[2], line[3], line[4], parts, {}});
    } else if (line[0] == "S" && line.size() >= 3 && !entries.empty() &&
               line[1] == std::to_string(entries.back().partDigests.size())) {
      entries.back().partDigests.push_back(line[2]);
    } else {
      problem(where + " is neither a file line nor the next part line");
      return false;
    }
  }
  return true;
}

void ServerCheck::checkAutoFile(const std::string& id, const AutoEntry& entry,
                                const ScratchFolder& scratch) {
  ++m_nPackageFiles;
  const std::string base = m_layout.packageFolder(Flavour::Auto, id) + "/zip/" +
                           hostRelative(entry.path);
  const int count = static_cast<int>(entry.partDigests.size());
  if (count == 0 || count != entry.declaredParts) {
    problem(entry.path + ": the index lists " + std::to_string(count) + " parts, its file line " +
            "says " + std::to_string(entry.declaredParts));
    return;
  }
  bool partsGood = true;
  for (int i = 0; i < count; ++i) {
    partsGood = checkPart(VolumeSink::partName(base, i), entry.partDigests[i]) && partsGood;
  }
  if (!partsGood) return;
  const std::string unpacked = scratch.fresh("file");
  const std::string file = unpacked + "/" + fs::path(base).filename().string();
  std::error_code error;
  if (!m_lgz.extract(unpacked, VolumeSink::partName(base, 0)) || !fs::is_regular_file(file, error)) {
    problem(entry.path + ": the parts do not unpack to the file");
    return;
  }
  const std::string digest = moduleDigest(file);
  const std::string size = std::to_string(fs::file_size(file, error));
  if (digest != entry.digest || size != entry.size) {
    problem(entry.path + ": unpacks to " + size + " bytes with digest " +
            (digest.empty() ? "(none)" : digest) + ", the index says " + entry.size +
            " bytes with digest " + (entry.digest.empty() ? "(none)" : entry.digest));
  }
}

}  // namespace cvdt::pack
