// ServerCheck: verifies every package below a distribution server's root as an agent would:
// each index archive unpacks through cvlgz.dll and reads as an index, each part has the digest
// its index names, and the parts unpack (through cvlgz.dll) to what the index describes.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "IndexFile.h"
#include "ServerLayout.h"

namespace cvdt::cli {
class NCliProgress;
}

namespace cvdt::pack {

class LgzCompanion;
class ScratchFolder;

class ServerCheck {
 public:
  struct Totals {
    int packages = 0, files = 0, parts = 0, problems = 0;
  };
  // What the check found for one package.
  struct Report {
    std::string strFlavour;  // "normal" or "auto"
    std::string strId;
    std::string strIndex;    // the index archive, relative to the root
    std::string strDigest;   // the index archive's digest
    int nFiles = 0, nParts = 0;
    std::vector<std::string> problems;
  };

  // root: the server's document root (host folder); throws PackError when it is not a folder.
  ServerCheck(const std::string& root, const LgzCompanion& lgz);

  // Checks every "<id>.idx.lgz" of both flavours, printing (when out is not null) one line per
  // package, one indented line per problem, and a summary. Throws PackError only when scratch
  // space is missing.
  Totals run(FILE* out);
  // Every package checked by run, in the order checked.
  const std::vector<Report>& reports() const { return m_reports; }
  // Draws the packages checked so far on progress (not owned; null: none) while run works.
  void setProgress(cli::NCliProgress* progress) { m_pProgress = progress; }

 private:
  struct AutoEntry {
    std::string path, size, type, digest;
    int declaredParts = 0;
    std::vector<std::string> partDigests;
  };

  std::vector<std::string> packageIds(ServerLayout::Flavour flavour) const;
  void checkPackage(ServerLayout::Flavour flavour, const std::string& id,
                    const ScratchFolder& scratch, FILE* out);
  bool readIndex(ServerLayout::Flavour flavour, const std::string& id,
                 const ScratchFolder& scratch, IndexFile& index);
  void checkNormal(const std::string& id, const IndexFile& index, const ScratchFolder& scratch);
  void checkAuto(const std::string& id, const IndexFile& index, const ScratchFolder& scratch);
  bool autoEntries(const std::string& id, const IndexFile& index, std::vector<AutoEntry>& entries);
  void checkAutoFile(const std::string& id, const AutoEntry& entry, const ScratchFolder& scratch);
  // Compares one part's digest with the index; false (and a problem) when it differs.
  bool checkPart(const std::string& hostPath, const std::string& expected);
  void problem(const std::string& text) { m_problems.push_back(text); }
  std::string shown(const std::string& hostPath) const;

  ServerLayout m_layout;
  std::string m_strRoot;
  const LgzCompanion& m_lgz;
  Totals m_totals;
  std::vector<Report> m_reports;
  cli::NCliProgress* m_pProgress = nullptr;
  std::vector<std::string> m_problems;  // of the package being checked
  int m_nPackageParts = 0;
  int m_nPackageFiles = 0;
};

}  // namespace cvdt::pack
