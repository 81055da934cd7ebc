// Reading files: NUnicodeFileReader (byte-order mark check, line-break rules, line limit and bad
// files), and plat::File telling a failed read from the end of the file.
#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "PlatformTempDir.h"
#include "platform/NUnicodeFileReader.h"
#include "platform/PlatformFile.h"

namespace {

using cvdt_test::kUtf16Bom;
using cvdt_test::PlatformTempDir;
using cvdt_test::utf16le;
using Lines = std::vector<std::string>;

// Every line up to the end-of-file flag; bounded so that a reader that never ends fails.
Lines readAll(NUnicodeFileReader& reader) {
  Lines lines;
  NString line;
  int endOfFile = 0;
  for (int guard = 0; guard < 100000; ++guard) {
    int read = reader.readLine(line, endOfFile);
    if (endOfFile) {
      EXPECT_EQ(read, 0);
      EXPECT_TRUE(line.isEmpty());
      return lines;
    }
    EXPECT_EQ(read, 1);
    lines.emplace_back(line.text());
  }
  ADD_FAILURE() << "reader did not reach the end";
  return lines;
}

TEST(NUnicodeFileReaderTest, OpenChecksTheByteOrderMark) {
  PlatformTempDir dir;
  struct Row {
    std::string bytes;
    int expected;
  };
  const Row rows[] = {
      {kUtf16Bom, 1},
      {std::string("\xFE\xFF\0a", 4), 0},
      {"\xFF", 0},
  };
  int n = 0;
  for (const Row& r : rows) {
    std::string path = dir.write("f" + std::to_string(n++), r.bytes);
    NUnicodeFileReader reader;
    EXPECT_EQ(reader.open(path.c_str()), r.expected) << n;
    EXPECT_EQ(reader.isOpen(), r.expected == 1);
    if (r.expected == 0) {
      EXPECT_TRUE(readAll(reader).empty());
    }
  }
  NUnicodeFileReader reader;
  EXPECT_EQ(reader.open(dir.windowsPath("missing").c_str()), 0);
  EXPECT_TRUE(readAll(reader).empty());
  // Without a mark the first two bytes are skipped whatever they are.
  ASSERT_EQ(reader.openSkippingMark(dir.write("nobom", utf16le(u"#a\r\nb")).c_str()), 1);
  EXPECT_EQ(readAll(reader), (Lines{"a", "b"}));
}

TEST(NUnicodeFileReaderTest, LineBreakRules) {
  struct Row {
    std::u16string content;
    Lines expected;
  };
  const Row rows[] = {
      {u"a\nb\nc\n", {"abc"}},  // single line feeds run the lines together
      {u"a\r\n\r\nb", {"a", "", "b"}},
      {u"a\r\rb\n\n", {"a", "b"}},
      {u"x\r", {"x"}},
      // Units with a high byte are never breaks (outside a machine the ANSI code page is UTF-8).
      {u"\u010D\u0D0A\u0A0D\r\n", {"\u010D\u0D0A\u0A0D"}},
  };
  PlatformTempDir dir;
  int n = 0;
  for (const Row& r : rows) {
    std::string path = dir.write("l" + std::to_string(n++), kUtf16Bom + utf16le(r.content));
    NUnicodeFileReader reader;
    ASSERT_EQ(reader.open(path.c_str()), 1);
    EXPECT_EQ(readAll(reader), r.expected) << n;
  }
}

TEST(NUnicodeFileReaderTest, LongLinesAndOddSizes) {
  PlatformTempDir dir;
  const size_t max = NUnicodeFileReader::kMaxLineUnits;
  std::u16string longLine(max + 10, u'x');
  std::string path = dir.write("long", kUtf16Bom + utf16le(longLine + u"\r\nend\r\n"));
  NUnicodeFileReader reader;
  ASSERT_EQ(reader.open(path.c_str()), 1);
  EXPECT_EQ(readAll(reader), (Lines{std::string(max, 'x'), std::string(10, 'x'), "end"}));

  // A line of exactly the limit leaves its CR LF behind as an empty line.
  path = dir.write("exact", kUtf16Bom + utf16le(std::u16string(max, u'y') + u"\r\nz"));
  ASSERT_EQ(reader.open(path.c_str()), 1);
  EXPECT_EQ(readAll(reader), (Lines{std::string(max, 'y'), "", "z"}));

  // A lone last byte is read as a unit with a zero high byte.
  path = dir.write("odd", kUtf16Bom + utf16le(u"a") + "b");
  ASSERT_EQ(reader.open(path.c_str()), 1);
  EXPECT_EQ(readAll(reader), (Lines{"ab"}));

  // Many lines across the read buffer's boundaries.
  std::u16string many;
  for (int i = 0; i < 20000; ++i) many += u"line\r\n";
  path = dir.write("many", kUtf16Bom + utf16le(many));
  ASSERT_EQ(reader.open(path.c_str()), 1);
  Lines lines = readAll(reader);
  ASSERT_EQ(lines.size(), 20000u);
  EXPECT_EQ(lines.back(), "line");
}

TEST(FileTest, AFailedReadIsToldApartFromTheEndOfTheFile) {
  cvdt_test::PlatformTempDir dir;
  std::string path = dir.hostPath("three.txt");
  std::ofstream(path) << "abc";
  char buffer[16];

  plat::File file;
  ASSERT_TRUE(file.openHost(path, plat::FileMode::Read));
  EXPECT_EQ(file.read(buffer, sizeof buffer), 3u);
  EXPECT_FALSE(file.readFailed());
  EXPECT_EQ(file.read(buffer, sizeof buffer), 0u);
  EXPECT_FALSE(file.readFailed()) << "the end of the file is not a failure";

  plat::File writeOnly;
  ASSERT_TRUE(writeOnly.openHost(dir.hostPath("out.txt"), plat::FileMode::Write));
  EXPECT_EQ(writeOnly.read(buffer, sizeof buffer), 0u);
  EXPECT_TRUE(writeOnly.readFailed());

  // The first page of the address space is never mapped: reading it fails with EIO.
  plat::File memory;
  ASSERT_TRUE(memory.openHost("/proc/self/mem", plat::FileMode::Read));
  EXPECT_EQ(memory.read(buffer, sizeof buffer), 0u);
  EXPECT_TRUE(memory.readFailed());
  std::string content;
  EXPECT_FALSE(plat::readHostFile("/proc/self/mem", content));
  EXPECT_TRUE(plat::readHostFile(path, content));
  EXPECT_EQ(content, "abc");
}

}  // namespace
