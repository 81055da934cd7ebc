// Tests of NMd5 and NHash: RFC 1321 vectors, file reading across piece boundaries, and the
// empty result for files that cannot serve as a download check.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>

#include "PlatformTempDir.h"
#include "platform/NHash.h"
#include "platform/NMd5.h"

namespace {

using cvdt_test::PlatformTempDir;

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

// Download checks compare exactly, so a digest in lower case would never match; an empty file
// cannot serve as a check and gives nothing.
TEST(NHashTest, TextAndFileInputGiveRfc1321DigestsInUpperCase) {
  PlatformTempDir dir;
  NHash hash;
  for (const Vector& v : kRfc1321) {
    SCOPED_TRACE(v.text);
    EXPECT_STREQ(v.digest, hash.getHash(NHash::kAlgorithmMd5, NHash::kInputText, v.text));
    const std::string path = dir.write("v.bin", v.text);
    EXPECT_STREQ(v.text[0] == '\0' ? "" : v.digest,
                 hash.getHash(NHash::kAlgorithmMd5, NHash::kInputFile, path.c_str()));
  }
  // A million "a": many blocks through one update.
  const std::string million(1000000, 'a');
  EXPECT_STREQ("7707D6AE4E027C70EEA2A935C2296F21", hash.getHash(5, 1, million.c_str()));
}

TEST(NHashTest, UnusableInputsGiveTheEmptyText) {
  PlatformTempDir dir;
  NHash hash;
  const std::string abc = dir.write("abc.txt", "abc");
  const std::string empty = dir.write("empty.txt", "");
  const std::string missing = dir.windowsPath("missing.txt");
  const std::string folder = dir.windowsPath("");
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

// The file is read in pieces of NHash::kReadBufferSize (524288 bytes).
TEST(NHashTest, FilesAcrossPieceBoundariesMatchIndependentDigests) {
  // Digests of the leading bytes of patternBytes(), computed with `openssl dgst -md5`.
  const struct {
    size_t size;
    const char* digest;
  } cases[] = {
      {1, "AB3AF8566DDD20D7EFC9B314ABE90755"},
      {64, "FE76D1FA6495A5365F73DAF0B4D54EC0"},
      {524287, "FF54E390640F1C69A43A53DF003AEB73"},
      {524288, "18F55C96CA9541F28508E6BC8DCECACA"},
      {524289, "ADC088A048122ABA39458296A464176C"},
      {3 * 524288 + 17, "8B78C13FE56B20FC06B125B14F7CF1D5"},
  };
  const std::string content = patternBytes(3 * 524288 + 17);
  PlatformTempDir dir;
  NHash hash;
  for (const auto& c : cases) {
    const std::string path = dir.write("part.bin", content.substr(0, c.size));
    EXPECT_STREQ(c.digest, hash.getHash(5, 2, path.c_str())) << c.size << " bytes";
  }
}

}  // namespace
