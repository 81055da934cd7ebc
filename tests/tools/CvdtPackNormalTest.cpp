// cvdt-pack normal: the contents text, the index archive and the parts, read back with openssl
// and libarchive rather than with the packager's own code.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "PackTestSupport.h"

namespace cvdt::test::pack {
namespace {

namespace fs = std::filesystem;

uint64_t kib(uint64_t bytes) { return (bytes + 1023) / 1024; }

uint64_t contentBytes(const std::string& folder) {
  uint64_t total = 0;
  for (const auto& item : fs::recursive_directory_iterator(folder)) {
    if (item.is_regular_file()) total += item.file_size();
  }
  return total;
}

std::vector<std::string> namesIn(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& item : fs::directory_iterator(folder)) names.push_back(item.path().filename());
  std::sort(names.begin(), names.end());
  return names;
}

class CvdtPackNormalTest : public PackFolderTest {
 protected:
  std::string normalFolder() const { return m_out + "/Corvane/dist/normal"; }

  PackRun pack(const std::string& id, const std::string& partSize) {
    PackRun run = runPack({"normal", "--id", id, "--name", "n", "--src", m_src, "--out", m_out,
                           "--part-size", partSize});
    EXPECT_EQ(run.status, 0) << run.err;
    return run;
  }
};

TEST_F(CvdtPackNormalTest, ContentsIndexAndPartsReadBackExactly) {
  makeSource();
  const std::string name = "Office \xED\x95\x9C";
  const PackRun run = runPack(
      {"normal", "--id", "1001", "--name", name, "--version", "2.1", "--base-folder",
       "C:\\Apps\\Office", "--description", "the suite", "--agree", "--exec", "setup.exe",
       "--exec-options", "/quiet /norestart", "--exec-user", "L", "--reg-file", "setup.reg",
       "--kind", "swdt", "--sw-id", "7", "--platform", "6.1.7601.1.0.1.0.256.0.0", "--sys-file",
       "bin/tool.dll", "--sys-file", "sub\\a b.txt", "--src", m_src, "--out", m_out,
       "--part-size", "2000"});
  ASSERT_EQ(run.status, 0) << run.err;

  const std::string archive = normalFolder() + "/1001.idx.lgz";
  const std::vector<std::string> parts = partsOf(normalFolder() + "/1001", "1001");
  uint64_t partBytes = 0;
  for (size_t i = 0; i < parts.size(); ++i) {
    partBytes += fs::file_size(parts[i]);
    if (i + 1 < parts.size()) {
      EXPECT_EQ(fs::file_size(parts[i]), 2000u) << parts[i];
    }
  }
  ASSERT_GE(parts.size(), 5u);  // over 9,000 incompressible bytes
  std::vector<std::string> expectedNames;
  for (size_t i = 0; i < parts.size(); ++i) expectedNames.push_back(partName("1001", static_cast<int>(i)));
  std::sort(expectedNames.begin(), expectedNames.end());
  EXPECT_EQ(namesIn(normalFolder() + "/1001"), expectedNames);
  EXPECT_EQ(namesIn(normalFolder()), (std::vector<std::string>{"1001", "1001.idx.lgz"}));

  const std::string digest = opensslMd5(archive);
  EXPECT_EQ(run.line("index-digest"), digest);
  EXPECT_EQ(run.line("parts"), std::to_string(parts.size()));
  const std::vector<std::string> expected = {
      "1001", name, "2.1", "C:\\Apps\\Office", "the suite", "Y", "N", "setup.exe",
      "/quiet /norestart", "L", "setup.reg", std::to_string(parts.size()),
      std::to_string(kib(contentBytes(m_src)) + kib(partBytes)), "N", digest, "7", "SWDT",
      "6.1.7601.1.0.1.0.256.0.0", std::to_string(kib(partBytes)), "0"};
  EXPECT_EQ(split(run.line("contents"), "|$"), expected);

  ArchiveTree index;
  ASSERT_TRUE(readArchive(readBytes(archive), index));
  ASSERT_EQ(index.size(), 1u);
  ASSERT_EQ(index.begin()->first, "1001.idx");
  const auto lines = indexLines(index.begin()->second.data);
  ASSERT_EQ(lines.size(), 2 + parts.size());
  EXPECT_EQ(lines[0], (std::vector<std::string>{"1001", name, "2.1", std::to_string(parts.size()),
                                                std::to_string(partBytes)}));
  EXPECT_EQ(lines[1], (std::vector<std::string>{"bin\\tool.dll", "sub\\a b.txt"}));
  for (size_t i = 0; i < parts.size(); ++i) {
    EXPECT_EQ(lines[2 + i], (std::vector<std::string>{std::to_string(i), opensslMd5(parts[i])}));
  }

  ArchiveTree package;
  ASSERT_TRUE(readArchive(concatenate(parts), package));
  EXPECT_EQ(package, folderTree(m_src));
}

// The archive is one byte stream whatever the part size, so the cut points are the only thing
// that changes: one part when it fits exactly, no empty last part when the size divides the
// length, a one-byte last part when it is one short.
TEST_F(CvdtPackNormalTest, PartSizeOnlyMovesTheCutPoints) {
  makeSource();
  pack("5", "1G");
  const std::string stream = concatenate(partsOf(normalFolder() + "/5", "5"));
  const size_t length = stream.size();
  size_t pieces = 2;
  while (pieces < 64 && length % pieces != 0) ++pieces;
  ASSERT_EQ(length % pieces, 0u) << "no small divisor of " << length;

  struct Row {
    std::string partSize;
    size_t parts;
    size_t lastPart;
  };
  const std::vector<Row> rows = {
      {std::to_string(length), 1, length},
      {std::to_string(length - 1), 2, 1},
      {std::to_string(length / pieces), pieces, length / pieces},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE("part size " + row.partSize);
    const PackRun run = pack("5", row.partSize);
    const std::vector<std::string> parts = partsOf(normalFolder() + "/5", "5");
    ASSERT_EQ(parts.size(), row.parts);
    EXPECT_EQ(namesIn(normalFolder() + "/5").size(), row.parts) << "parts of a longer cut remain";
    EXPECT_EQ(fs::file_size(parts.back()), row.lastPart);
    EXPECT_EQ(concatenate(parts), stream);
    ArchiveTree index;
    ASSERT_TRUE(readArchive(readBytes(normalFolder() + "/5.idx.lgz"), index));
    EXPECT_EQ(indexLines(index["5.idx"].data).size(), 2 + row.parts);
    EXPECT_EQ(run.line("parts"), std::to_string(row.parts));
  }
}

}  // namespace
}  // namespace cvdt::test::pack
