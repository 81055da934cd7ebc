// The fixture of the cvlgz.dll tests: the library loaded from a fresh test machine, archives
// written into its package folder, and the tree of a folder as a map for comparisons.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <string>

#include "ArchiveBuilder.h"
#include "CompanionLibrary.h"
#include "net/CompanionApi.h"

namespace cvdt::test {

using Tree = std::map<std::string, std::string>;

// Every entry below folder: files map to their content (or their size, past 64 MiB), folders to "<dir>", links to "-> target".
inline Tree treeOf(const std::string& folder) {
  namespace fs = std::filesystem;
  Tree tree;
  std::error_code ec;
  for (auto it = fs::recursive_directory_iterator(folder, ec); it != fs::end(it); ++it) {
    std::string name = it->path().lexically_relative(folder).string();
    if (it->is_symlink()) {
      tree[name] = "-> " + fs::read_symlink(it->path()).string();
    } else if (it->is_directory()) {
      tree[name] = "<dir>";
    } else if (it->file_size() > (64u << 20)) {
      tree[name] = "<" + std::to_string(it->file_size()) + " bytes>";  // a sparse file, say
    } else {
      std::ifstream in(it->path(), std::ios::binary);
      tree[name] = std::string(std::istreambuf_iterator<char>(in), {});
    }
  }
  return tree;
}

class LgzTest : public ::testing::Test {
 protected:
  static constexpr const char* kArchive = "C:\\Work\\Packages\\pkg.lgz";
  static constexpr const char* kTarget = "C:\\Work\\Target";

  void SetUp() override {
    ASSERT_TRUE(m_library.load(m_machine, "cvlgz.dll")) << m_library.error();
    m_create = m_library.entry<GZipCreateExtractFn>(kGZipCreateExtractName);
    m_extract = m_library.entry<GZipExtractFileFn>(kGZipExtractFileName);
    m_close = m_library.entry<GZipCloseHandleFn>(kGZipCloseHandleName);
    ASSERT_TRUE(m_create && m_extract && m_close);
    m_lastError = m_library.entry<GZipLastErrorFn>(kGZipLastErrorName);
    std::filesystem::create_directories(host("C:\\Work\\Packages"));
    m_machine.writeFile("C:\\Work\\outside.txt", "untouched");
  }

  std::string host(const std::string& windowsPath) const { return m_machine.host(windowsPath); }
  std::string packageBase() const { return host("C:\\Work\\Packages") + "/pkg"; }

  int extract(const char* destination = kTarget, const char* archive = kArchive) {
    void* handle = m_create();
    if (handle == nullptr) return -1;
    int result = m_extract(handle, destination, archive, 0);
    m_strLastError = m_lastError != nullptr ? m_lastError(handle) : "<no GZipLastError>";
    m_close(handle);
    return result;
  }
  int write(const std::string& bytes, size_t volumeSize) {
    return ArchiveBuilder::writeVolumes(packageBase(), bytes, volumeSize);
  }
  // C:\Work holds only the packages, the target, the untouched marker and the empty folder
  // that planted links point to.
  void expectNothingOutsideTarget() {
    Tree work = treeOf(host("C:\\Work"));
    for (const auto& [name, content] : work) {
      bool allowed = name == "outside.txt" || name == "Elsewhere" ||
                     name.rfind("Packages", 0) == 0 || name.rfind("Target", 0) == 0;
      EXPECT_TRUE(allowed) << "written outside the destination: " << name;
    }
    EXPECT_EQ(work["outside.txt"], "untouched");
  }

  cvdt::test::TestMachine m_machine;
  cvdt::test::CompanionLibrary m_library;
  GZipCreateExtractFn m_create = nullptr;
  GZipExtractFileFn m_extract = nullptr;
  GZipCloseHandleFn m_close = nullptr;
  GZipLastErrorFn m_lastError = nullptr;
  std::string m_strLastError;  // why the last extract() failed, as the library says
};

}  // namespace cvdt::test
