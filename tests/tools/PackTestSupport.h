// Helpers of the cvdt-pack tests: running the packager, and reading what it wrote with code of
// the tests' own (openssl for digests, libarchive directly for archives, a UTF-16 decoder).
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace cvdt::test::pack {

struct PackRun {
  int status = -1;
  std::string out;  // stdout
  std::string err;  // stderr
  // The value of a "key=value" line of stdout, or "<none>".
  std::string line(const std::string& key) const;
};

// Runs cvdt-pack with the given arguments (no shell interpretation of them).
PackRun runPack(const std::vector<std::string>& args);

// One entry read back from an archive: folders carry no data.
struct ArchiveEntry {
  bool folder = false;
  std::string data;
  bool operator==(const ArchiveEntry&) const = default;
};
using ArchiveTree = std::map<std::string, ArchiveEntry>;  // name without a trailing "/"

// Reads a gzip-compressed tar from memory with libarchive; false (and a test failure) when
// libarchive reports an error.
bool readArchive(const std::string& bytes, ArchiveTree& tree);
// The same tree for a folder on disk, names relative and "/"-separated.
ArchiveTree folderTree(const std::string& folder);

std::string readBytes(const std::string& path);
void writeBytes(const std::string& path, const std::string& bytes);  // parents created
// Bytes that do not compress (so part counts are predictable), from a fixed seed.
std::string noise(size_t size, uint32_t seed);

// "openssl dgst -md5" of a file, upper-cased.
std::string opensslMd5(const std::string& path);
// The digest the module gives: the empty text for an empty file, else the openssl digest.
std::string moduleDigestOf(const std::string& path);

// An index file as lines of "|@"-separated fields. Fails the test unless it starts with FF FE
// and every line ends in CR LF with no other CR or LF.
std::vector<std::vector<std::string>> indexLines(const std::string& bytes);
std::vector<std::string> split(const std::string& text, const std::string& separator);

// "base.lgz", "base.l00001", ...
std::string partName(const std::string& base, int index);
// The parts of base in folder, in order, as long as they exist.
std::vector<std::string> partsOf(const std::string& folder, const std::string& base);
std::string concatenate(const std::vector<std::string>& paths);

// A temporary folder per test with a source tree that has what packages must survive: nested
// and empty folders, an empty file, names with spaces and Hangul, incompressible content.
class PackFolderTest : public testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;
  // Fills m_src with the standard tree.
  void makeSource();

  std::string m_folder, m_src, m_out;
};

}  // namespace cvdt::test::pack
