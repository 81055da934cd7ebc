// AutoPackager: an automatic-distribution package: one archive per file, each cut into parts
// below the package's "zip" folder, the auto index archive, and the item entry of the
// equipment configuration.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "PackArgs.h"

namespace cvdt::cli {
class NCliProgress;
}

namespace cvdt::pack {

class IndexText;
class SourceTree;

struct AutoOptions {
  std::string id, name, destination, updateId = "1", label;
  bool subfolders = false, cleanup = false;
  std::string program, arguments, account = "S";
  std::string source, root;
  uint64_t partSize = 0;
};

struct AutoResult {
  std::string item;         // "<id>|*<name>|*<index digest>"
  std::string indexDigest;  // digest of <id>.idx.lgz
  int files = 0;
  int parts = 0;
};

class AutoPackager {
 public:
  static constexpr uint64_t kDefaultPartSize = 10 * 1024 * 1024;

  // The options of the "auto" command; throws PackError for a missing or bad one.
  static AutoOptions optionsFrom(const PackArgs& args);
  static const PackArgs::Known& knownOptions();

  explicit AutoPackager(AutoOptions options) : m_options(std::move(options)) {}
  // Draws the content bytes archived so far on progress (not owned; null: none) while run works.
  void setProgress(cli::NCliProgress* progress) { m_pProgress = progress; }
  // Writes the package below the root and returns what to print. Throws PackError.
  AutoResult run();
  // Notes for the operator (printed to stderr), filled by run.
  const std::vector<std::string>& warnings() const { return m_warnings; }

 private:
  void checkTree(const SourceTree& tree);
  AutoResult writePackage(const SourceTree& tree, const std::string& staging);
  // Archives one file into its parts; adds its "M" and "S" lines; returns the part count.
  int writeFile(const std::string& relative, const std::string& windows, const std::string& host,
                uint64_t size, const std::string& zipFolder, IndexText& index);

  AutoOptions m_options;
  cli::NCliProgress* m_pProgress = nullptr;
  uint64_t m_nDoneBytes = 0;   // content archived so far, for the progress line
  uint64_t m_nTotalBytes = 0;  // content of the whole tree
  std::vector<std::string> m_warnings;
};

}  // namespace cvdt::pack
