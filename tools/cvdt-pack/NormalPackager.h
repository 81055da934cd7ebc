// NormalPackager: a commanded ("normal") package: the package archive cut into parts, its index
// archive, and the contents text the host passes with the command.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "PackArgs.h"

namespace cvdt::cli {
class NCliProgress;
}

namespace cvdt::pack {

class SourceTree;

struct NormalOptions {
  std::string id, name, version, baseFolder = ".", description;
  bool agree = false, isPublic = false;
  std::string execFile, execOptions, execUser = "S", regFile;
  std::string kind = "NDT", swId = "0", platform;
  std::vector<std::string> sysFiles;  // Windows form, relative to the target folder
  std::string source, root;
  uint64_t partSize = 0;
};

struct NormalResult {
  std::string contents;     // the "|$"-joined contents text
  std::string indexDigest;  // digest of <id>.idx.lgz
  int parts = 0;
};

class NormalPackager {
 public:
  static constexpr uint64_t kDefaultPartSize = 10 * 1024 * 1024;

  // The options of the "normal" command; throws PackError for a missing or bad one.
  static NormalOptions optionsFrom(const PackArgs& args);
  static const PackArgs::Known& knownOptions();

  explicit NormalPackager(NormalOptions options) : m_options(std::move(options)) {}
  // Draws the content bytes archived so far on progress (not owned; null: none) while run works.
  void setProgress(cli::NCliProgress* progress) { m_pProgress = progress; }
  // Writes the package below the root and returns what to print. Throws PackError.
  NormalResult run();

 private:
  void checkNamedFiles(const SourceTree& tree) const;
  NormalResult writePackage(const SourceTree& tree, const std::string& staging);
  std::string indexText(const std::vector<std::string>& partDigests, uint64_t packageBytes) const;
  std::string contentsText(int parts, uint64_t contentBytes, uint64_t packageBytes,
                           const std::string& indexDigest) const;

  NormalOptions m_options;
  cli::NCliProgress* m_pProgress = nullptr;
  uint64_t m_nDoneBytes = 0;  // content archived so far, for the progress line
};

}  // namespace cvdt::pack
