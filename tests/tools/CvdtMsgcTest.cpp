// Tests of the message catalogue compiler: the staged cvmsg.bin as the module reads it raw,
// the exact encoding of a small source, and the refusal of malformed sources.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "PackTestSupport.h"
#include "support/Subprocess.h"

namespace {

namespace fs = std::filesystem;
using cvdt::test::pack::readBytes;
using cvdt::test::pack::writeBytes;

// Every key the module looks up.
std::vector<uint32_t> requiredKeys() {
  std::vector<uint32_t> keys = {1478, 1920, 1930, 1931, 1994, 1995};
  const std::pair<uint32_t, uint32_t> ranges[] = {
      {1530, 1541}, {1901, 1907}, {1909, 1917}, {1933, 1938}, {1940, 1946}};
  for (const auto& [first, last] : ranges) {
    for (uint32_t key = first; key <= last; ++key) {
      keys.push_back(key);
    }
  }
  return keys;
}

// The value of name="..." inside an ASCII-tagged UTF-16 line; empty when absent.
std::u16string attribute(const std::u16string& line, const std::u16string& name) {
  const size_t at = line.find(u" " + name + u"=\"");
  if (at == std::u16string::npos) {
    return {};
  }
  const size_t start = at + name.size() + 3;
  const size_t end = line.find(u'"', start);
  return end == std::u16string::npos ? std::u16string() : line.substr(start, end - start);
}

uint32_t number(const std::u16string& digits) {
  uint32_t value = 0;
  for (char16_t c : digits) {
    value = value * 10 + static_cast<uint32_t>(c - u'0');
  }
  return value;
}

class CvdtMsgcRunTest : public cvdt::test::pack::PackFolderTest {
 protected:
  // Runs the compiler on one source into out.bin; returns its exit status, stderr in m_strErrors.
  int compile(const std::string& sourceName, const std::string& content) {
    writeBytes(m_folder + "/" + sourceName, content);
    cvdt::test::ProcessResult run = cvdt::test::Subprocess(CVDT_MSGC_PATH)
                                        .run({m_folder + "/out.bin", m_folder + "/" + sourceName});
    m_strErrors = run.err;
    return run.exitStatus;
  }

  std::string m_strErrors;
};

TEST(CvdtMsgcTest, StagedCatalogueHoldsEveryKeyInBothLanguages) {
  const std::string bytes = readBytes(fs::path(CVDT_STAGE_DIR) / "cvmsg.bin");
  ASSERT_GE(bytes.size(), 4u);
  ASSERT_EQ(0u, bytes.size() % 2);
  EXPECT_EQ('\xFF', bytes[0]);
  EXPECT_EQ('\xFE', bytes[1]);

  std::u16string units;
  for (size_t i = 2; i + 1 < bytes.size(); i += 2) {
    units.push_back(static_cast<char16_t>(static_cast<uint8_t>(bytes[i]) |
                                          (static_cast<uint8_t>(bytes[i + 1]) << 8)));
  }

  std::map<std::pair<uint32_t, uint32_t>, std::u16string> texts;  // (language, id)
  for (size_t start = 0, cr; (cr = units.find(u"\r\n", start)) != std::u16string::npos;
       start = cr + 2) {
    const std::u16string line = units.substr(start, cr - start);
    const auto key = std::make_pair(number(attribute(line, u"Lang")), number(attribute(line, u"Id")));
    EXPECT_TRUE(texts.emplace(key, attribute(line, u"Text")).second) << key.second;
  }

  for (uint32_t id : requiredKeys()) {
    for (uint32_t language : {1033u, 1042u}) {
      const auto found = texts.find({language, id});
      ASSERT_NE(texts.end(), found) << language << "/" << id;
      EXPECT_FALSE(found->second.empty()) << language << "/" << id;
    }
    // The Korean source is Korean: every entry holds Hangul syllables.
    const std::u16string& korean = texts[std::make_pair(1042u, id)];
    EXPECT_NE(korean.end(), std::find_if(korean.begin(), korean.end(), [](char16_t c) {
                return c >= 0xAC00 && c <= 0xD7A3;
              })) << id;
  }
  // A path or a second text follows these, so they keep their trailing space.
  for (uint32_t id : {1531u, 1532u, 1536u, 1537u, 1538u, 1539u, 1541u}) {
    for (uint32_t language : {1033u, 1042u}) {
      const std::u16string& text = texts[std::make_pair(language, id)];
      EXPECT_TRUE(!text.empty() && text.back() == u' ') << language << "/" << id;
    }
  }
}

TEST_F(CvdtMsgcRunTest, EncodesASourceExactly) {
  // A byte-order mark, a comment, a blank line, CR LF and LF line ends, a Hangul syllable
  // (U+D55C) and a character outside the BMP (U+1F600).
  ASSERT_EQ(0, compile("1042.txt",
                       "\xEF\xBB\xBF# comment\r\n\r\n7\tA\\nb\r\n0012\t\xED\x95\x9C \xF0\x9F\x98\x80\n"));
  auto utf16 = [](const std::string& ascii) {
    std::string out;
    for (char c : ascii) {
      out += c;
      out += '\0';
    }
    return out;
  };
  const std::string expected =
      "\xFF\xFE" + utf16("<Msg Lang=\"1042\" Id=\"7\" App=\"cvdt\" Text=\"A\\nb\"/>\r\n") +
      utf16("<Msg Lang=\"1042\" Id=\"12\" App=\"cvdt\" Text=\"") + std::string("\x5C\xD5", 2) +
      utf16(" ") + std::string("\x3D\xD8\x00\xDE", 4) + utf16("\"/>\r\n");
  EXPECT_EQ(expected, readBytes(m_folder + "/out.bin"));
}

TEST_F(CvdtMsgcRunTest, RefusesMalformedSources) {
  const struct {
    const char* name;
    std::string content;
    const char* message;  // part of the diagnostic
  } cases[] = {
      {"1033.txt", "1\tok\n12a\tbad\n", "1033.txt:2:"},
      {"1033.txt", "99999999999\ttoo big\n", ":1: the id"},
      {"1033.txt", "1 no tab\n", "ID<TAB>text"},
      {"1033.txt", "1\t\n", "empty"},
      {"1033.txt", "1\tone\there\n", "control character"},
      {"1033.txt", "1\t\xED\xA0\x80\n", "invalid UTF-8"},  // a surrogate
      {"1033.txt", "1\t\xC0\xAF\n", "invalid UTF-8"},      // an overlong '/'
      {"1033.txt", "1\t" + std::string(2100, 'x') + "\n", "longer than 2045"},
      {"1033.txt", "1\tsay \"hi\"\n", "double quote"},
      {"1033.txt", "1\tok\n2\t\xC3\x28\n", "1033.txt:2: invalid UTF-8"},
      {"1033.txt", "1\tone\n1\tagain\n", "1033.txt:2: id 1 is defined twice"},
      {"english.txt", "1\tok\n", "file name"},
  };
  for (const auto& c : cases) {
    writeBytes(m_folder + "/out.bin", "stale");
    EXPECT_NE(0, compile(c.name, c.content)) << c.message;
    EXPECT_NE(std::string::npos, m_strErrors.find(c.message)) << m_strErrors;
    EXPECT_FALSE(fs::exists(m_folder + "/out.bin")) << c.message;
    fs::remove(m_folder + "/" + c.name);
  }
}

}  // namespace
