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
  for (size_t piece : {1u, 55u, 56u, 64u, 65u}) {
    NMd5 md5;
    for (size_t at = 0; at < data.size(); at += piece)
      md5.update(data.data() + at, std::min(piece, data.size() - at));
    uint8_t digest[NMd5::kDigestSize];
    md5.final(digest);
    EXPECT_EQ(0, std::memcmp(expected, digest, sizeof digest)) << "piece " << piece;
  }
}

// Download checks compare exactly, so a digest in lower case would never match. The file is
// read in pieces of NHash::kReadBufferSize (524288 bytes); the digests of the leading bytes of
// patternBytes() were computed with `openssl dgst -md5`.
TEST(NHashTest, TextAndFileInputGiveRfc1321DigestsInUpperCase) {
  PlatformTempDir dir;
  NHash hash;
  EXPECT_STREQ("900150983CD24FB0D6963F7D28E17F72",
               hash.getHash(NHash::kAlgorithmMd5, NHash::kInputText, "abc"));
  EXPECT_STREQ("D41D8CD98F00B204E9800998ECF8427E", hash.getHash(5, 1, ""));
  const struct {
    size_t size;
    const char* digest;
  } cases[] = {
      {524287, "FF54E390640F1C69A43A53DF003AEB73"},
      {524288, "18F55C96CA9541F28508E6BC8DCECACA"},
      {524289, "ADC088A048122ABA39458296A464176C"},
  };
  const std::string content = patternBytes(524289);
  for (const auto& c : cases) {
    const std::string path = dir.write("part.bin", content.substr(0, c.size));
    EXPECT_STREQ(c.digest, hash.getHash(5, NHash::kInputFile, path.c_str())) << c.size << " bytes";
  }
}

TEST(NHashTest, UnusableInputsGiveTheEmptyText) {
  PlatformTempDir dir;
  NHash hash;
  const std::string abc = dir.write("abc.txt", "abc");
  const std::string empty = dir.write("empty.txt", "");  // an empty file serves as no check
  const std::string missing = dir.windowsPath("missing.txt");
  const std::string folder = dir.windowsPath("");
  struct Case {
    uint32_t algorithm;
    int kind;
    const char* input;
  } cases[] = {
      {5, 2, empty.c_str()}, {5, 2, missing.c_str()}, {5, 2, folder.c_str()},
      {5, 1, nullptr},       {5, 3, abc.c_str()},     {4, 1, "abc"},
  };
  for (const Case& c : cases) {
    // A good result first, so that a stale result would show.
    ASSERT_STRNE("", hash.getHash(5, 1, "abc"));
    EXPECT_STREQ("", hash.getHash(c.algorithm, c.kind, c.input))
        << c.algorithm << "/" << c.kind << "/" << (c.input ? c.input : "(null)");
  }
}

}  // namespace
