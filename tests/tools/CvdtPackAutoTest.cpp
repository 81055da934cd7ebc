// cvdt-pack auto: the item entry, the auto index and every file's parts, read back with openssl
// and libarchive.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "PackTestSupport.h"

using ::testing::HasSubstr;

namespace cvdt::test::pack {
namespace {

namespace fs = std::filesystem;

class CvdtPackAutoTest : public PackFolderTest {
 protected:
  std::string autoFolder() const { return m_out + "/Corvane/dist/auto"; }

  // The index file inside <id>.idx.lgz.
  std::string indexBytes(const std::string& id) {
    ArchiveTree index;
    EXPECT_TRUE(readArchive(readBytes(autoFolder() + "/" + id + ".idx.lgz"), index));
    EXPECT_EQ(index.size(), 1u);
    return index[id + ".idx"].data;
  }
};

// Each file: its "M" line, "S" lines whose digests are those of the part files on the server,
// and parts that together unpack to exactly the file under its bare name.
void expectFileServed(const std::vector<std::vector<std::string>>& lines, size_t& at,
                      const std::string& src, const std::string& zip, const std::string& windows) {
  std::string relative = windows;
  std::replace(relative.begin(), relative.end(), '\\', '/');
  const std::string file = src + "/" + relative;
  const std::vector<std::string> parts = partsOf(fs::path(zip + "/" + relative).parent_path(),
                                                 fs::path(relative).filename());
  ASSERT_FALSE(parts.empty()) << windows;
  EXPECT_EQ(lines[at], (std::vector<std::string>{"M", windows, std::to_string(fs::file_size(file)),
                                                 "F", moduleDigestOf(file),
                                                 std::to_string(parts.size())}));
  for (size_t i = 0; i < parts.size(); ++i) {
    ASSERT_LT(++at, lines.size());
    EXPECT_EQ(lines[at], (std::vector<std::string>{"S", std::to_string(i), opensslMd5(parts[i])}));
  }
  ++at;
  ArchiveTree unpacked;
  ASSERT_TRUE(readArchive(concatenate(parts), unpacked));
  ASSERT_EQ(unpacked.size(), 1u) << windows;
  EXPECT_EQ(unpacked.begin()->first, fs::path(relative).filename().string());
  EXPECT_EQ(unpacked.begin()->second.data, readBytes(file));
}

TEST_F(CvdtPackAutoTest, EveryFileIsServedAsItsOwnPartsBesideItsPath) {
  makeSource();
  const PackRun run = runPack({"auto", "--id", "2001", "--name", "App", "--dest", "C:\\App\\",
                               "--src", m_src, "--out", m_out, "--part-size", "1500",
                               "--update-id", "7", "--label", "release 3", "--subfolders",
                               "--cleanup", "--program", "bin/tool.dll", "--args", "-s -x",
                               "--account", "L"});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.err, "");
  const std::string digest = opensslMd5(autoFolder() + "/2001.idx.lgz");
  EXPECT_EQ(run.line("item"), "2001|*App|*" + digest);
  EXPECT_EQ(run.line("index-digest"), digest);
  EXPECT_EQ(run.line("files"), "6");

  const auto lines = indexLines(indexBytes("2001"));
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines[0], (std::vector<std::string>{"2001", "7", "", "release 3", "C:\\App", "Y", "Y",
                                                "bin\\tool.dll", "-s -x", "L"}));
  // Byte order of the Windows paths, folders as "D" lines of their own.
  const std::vector<std::pair<std::string, bool>> entries = {
      {"bin", true}, {"bin\\tool.dll", false}, {"empty.txt", false}, {"emptydir", true},
      {"setup.exe", false}, {"setup.reg", false}, {"sub", true}, {"sub\\a b.txt", false},
      {"sub\\deep", true}, {"sub\\deep\\\xED\x8C\x8C\xEC\x9D\xBC \xED\x95\x9C.txt", false}};
  size_t at = 1;
  for (const auto& [windows, folder] : entries) {
    SCOPED_TRACE(windows);
    ASSERT_LT(at, lines.size());
    if (folder) {
      EXPECT_EQ(lines[at++], (std::vector<std::string>{"M", windows, "0", "D", "", "0"}));
    } else {
      expectFileServed(lines, at, m_src, autoFolder() + "/2001/zip", windows);
    }
  }
  EXPECT_EQ(at, lines.size());
}

}  // namespace
}  // namespace cvdt::test::pack
