// Tests of NMd5 and NHash: RFC 1321 vectors, file reading across piece boundaries, and the
// empty result for files that cannot serve as a download check.
#include <gtest/gtest.h>

#include <cstdint>
#include <algorithm>
#include <cctype>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/NHash.h"
#include "platform/NMd5.h"
#include "platform/PlatformFs.h"
#include "platform/PlatformSystem.h"

namespace {

namespace fs = std::filesystem;

struct Vector {
  const char* text;
  const char* digest;
};

// RFC 1321, appendix A.5.
const Vector kRfc1321[] = {
    {"", "D41D8CD98F00B204E9800998ECF8427E"},
    {"a", "0CC175B9C0F1B6A831C399E269772661"},
    {"abc", "900150983CD24FB0D6963F7D28E17F72"},
    {"message digest", "F96B697D7CB7938D525A2F31AAF161D0"},
    {"abcdefghijklmnopqrstuvwxyz", "C3FCD3D76192E4007DFB496CCA67E13B"},
    {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789",
     "D174AB98D277D9F5A5611C2C9F419D9F"},
    {"1234567890123456789012345678901234567890123456789012345678901234567890123456789"
     "0",
     "57EDF4A22BE3C955AC49DA2E2107B67A"},
};

// Deterministic test content: the low bytes of a xorshift32 sequence seeded with 0x12345678.
std::string patternBytes(size_t size) {
  std::string bytes(size, '\0');
  uint32_t state = 0x12345678u;
  for (size_t i = 0; i < size; ++i) {
    state ^= state << 13;
    state ^= state >> 17;
    state ^= state << 5;
    bytes[i] = static_cast<char>(state & 0xFFu);
  }
  return bytes;
}

class NHashFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    m_strFolder = fs::temp_directory_path() /
                  (std::string("cvdt_nhash_") + info->name() + "_" + std::to_string(plat::processId()));
    fs::remove_all(m_strFolder);
    fs::create_directories(m_strFolder);
  }
  void TearDown() override { fs::remove_all(m_strFolder); }

  // Writes a file and returns its Windows path.
  std::string writeFile(const std::string& name, const std::string& content) {
    const fs::path path = m_strFolder / name;
    std::ofstream out(path, std::ios::binary);
    out.write(content.data(), static_cast<std::streamsize>(content.size()));
    out.close();
    return plat::toWindowsPath(path.string());
  }

  fs::path m_strFolder;
};

TEST(NMd5Test, DigestDoesNotDependOnHowTheInputIsCut) {
  const std::string data = patternBytes(10000);
  NMd5 whole;
  whole.update(data.data(), data.size());
  uint8_t expected[NMd5::kDigestSize];
  whole.final(expected);

  for (size_t piece : {1u, 3u, 55u, 56u, 63u, 64u, 65u, 127u, 2048u, 9999u}) {
    NMd5 md5;
    for (size_t at = 0; at < data.size(); at += piece) {
      md5.update(data.data() + at, std::min(piece, data.size() - at));
    }
    md5.update(nullptr, 0);
    uint8_t digest[NMd5::kDigestSize];
    md5.final(digest);
    EXPECT_EQ(0, std::memcmp(expected, digest, sizeof digest)) << "piece " << piece;
  }

  // final() starts a new digest, so the object is reusable.
  whole.update(data.data(), data.size());
  uint8_t again[NMd5::kDigestSize];
  whole.final(again);
  EXPECT_EQ(0, std::memcmp(expected, again, sizeof again));
}

TEST(NHashTest, TextInputGivesRfc1321DigestsInUpperCase) {
  NHash hash;
  for (const Vector& v : kRfc1321) {
    EXPECT_STREQ(v.digest, hash.getHash(NHash::kAlgorithmMd5, NHash::kInputText, v.text))
        << '"' << v.text << '"';
  }
  // A million "a": many blocks through one update.
  const std::string million(1000000, 'a');
  EXPECT_STREQ("7707D6AE4E027C70EEA2A935C2296F21", hash.getHash(5, 1, million.c_str()));
}

// Download checks compare exactly, so a digest stored in lower case never matches.
TEST_F(NHashFileTest, FileInputGivesUpperCaseRfc1321DigestsAndEmptyFileGivesNothing) {
  NHash hash;
  for (const Vector& v : kRfc1321) {
    const std::string path = writeFile("v.bin", v.text);
    const char* result = hash.getHash(NHash::kAlgorithmMd5, NHash::kInputFile, path.c_str());
    if (v.text[0] == '\0') {
      EXPECT_STREQ("", result);
      continue;
    }
    EXPECT_STREQ(v.digest, result) << '"' << v.text << '"';
    std::string lower = v.digest;
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    EXPECT_NE(0, std::strcmp(lower.c_str(), result));
  }
}

TEST_F(NHashFileTest, UnusableInputsGiveTheEmptyText) {
  NHash hash;
  const std::string abc = writeFile("abc.txt", "abc");
  const std::string empty = writeFile("empty.txt", "");
  const std::string missing = plat::toWindowsPath((m_strFolder / "missing.txt").string());
  const std::string folder = plat::toWindowsPath(m_strFolder.string());
  struct Case {
    uint32_t algorithm;
    int kind;
    const char* input;
  } cases[] = {
      {5, 2, empty.c_str()},   {5, 2, missing.c_str()}, {5, 2, folder.c_str()},
      {5, 2, ""},              {5, 2, nullptr},         {5, 1, nullptr},
      {5, 0, abc.c_str()},     {5, 3, abc.c_str()},     {0, 2, abc.c_str()},
      {1, 2, abc.c_str()},     {4, 1, "abc"},           {6, 1, "abc"},
      {7, 2, abc.c_str()},     {99, 1, "abc"},
  };
  for (const Case& c : cases) {
    // A good result first, so that a stale result would show.
    ASSERT_STRNE("", hash.getHash(5, 1, "abc"));
    EXPECT_STREQ("", hash.getHash(c.algorithm, c.kind, c.input))
        << c.algorithm << "/" << c.kind << "/" << (c.input ? c.input : "(null)");
  }
}

TEST_F(NHashFileTest, FilesAcrossPieceBoundariesMatchIndependentDigests) {
  // Digests of the leading bytes of patternBytes(), computed with `openssl dgst -md5`.
  const struct {
    size_t size;
    const char* digest;
  } cases[] = {
      {1, "AB3AF8566DDD20D7EFC9B314ABE90755"},
      {63, "E400281DEE68FA8E6C5F9F5E6ED06A66"},
      {64, "FE76D1FA6495A5365F73DAF0B4D54EC0"},
      {65, "74BD768FFD602E91BF98DB4122ED24E9"},
      {2047, "2E23CEFAB142F281E2BACE9AE34CA4BC"},
      {2048, "20EAAC5434B59D6D524A0E4F8CC72183"},
      {2049, "0D42CB3C2B72F1C5C14B4769A4CB2952"},
      {4096, "BA30D216A4982079F7DBDDBF74A96ADD"},
      {524287, "FF54E390640F1C69A43A53DF003AEB73"},
      {524288, "18F55C96CA9541F28508E6BC8DCECACA"},
      {524289, "ADC088A048122ABA39458296A464176C"},
      {3 * 524288 + 17, "8B78C13FE56B20FC06B125B14F7CF1D5"},
      {5 * 1048576 + 123, "A2EDFEBA90433FFAEDA4934335D52D55"},
  };
  const std::string content = patternBytes(5 * 1048576 + 123);
  NHash hash;
  for (const auto& c : cases) {
    const std::string path = writeFile("part.bin", content.substr(0, c.size));
    EXPECT_STREQ(c.digest, hash.getHash(5, 2, path.c_str())) << c.size << " bytes";
  }
}

}  // namespace
