// cvlgz.dll's gzip layer: which compressed streams it takes and which it refuses (damaged
// members and trailers, what follows the member's end, streams that are not gzip), and where
// reading stops when the member's end falls near a volume boundary.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "ArchiveBuilder.h"
#include "LgzFixture.h"

using ::testing::HasSubstr;

namespace {

namespace fs = std::filesystem;
using cvdt::test::ArchiveBuilder;
using cvdt::test::randomBytes;
using cvdt::test::Tree;
using cvdt::test::treeOf;

// The tar bytes inside a gzip member.
std::string inflated(const std::string& member) {
  z_stream stream{};
  EXPECT_EQ(inflateInit2(&stream, 16 + MAX_WBITS), Z_OK);
  std::string out(64u << 20, '\0');
  stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(member.data()));
  stream.avail_in = static_cast<uInt>(member.size());
  stream.next_out = reinterpret_cast<Bytef*>(out.data());
  stream.avail_out = static_cast<uInt>(out.size());
  EXPECT_EQ(inflate(&stream, Z_FINISH), Z_STREAM_END);
  out.resize(stream.total_out);
  inflateEnd(&stream);
  return out;
}

// bytes in a zlib wrapper (not gzip).
std::string zlibWrapped(const std::string& bytes) {
  uLongf size = compressBound(static_cast<uLong>(bytes.size()));
  std::string out(size, '\0');
  EXPECT_EQ(compress(reinterpret_cast<Bytef*>(out.data()), &size,
                     reinterpret_cast<const Bytef*>(bytes.data()), static_cast<uLong>(bytes.size())),
            Z_OK);
  out.resize(size);
  return out;
}

class LgzGzipTest : public cvdt::test::LgzTest {
 protected:
  // Extracts the volumes now in the package folder into a fresh target.
  int extractFresh() {
    fs::remove_all(host(kTarget));
    return extract();
  }
  // The package folder holding only bytes as part 0.
  void writeFresh(const std::string& bytes) {
    fs::remove_all(host("C:\\Work\\Packages"));
    fs::create_directories(host("C:\\Work\\Packages"));
    write(bytes, 0);
  }
  std::string volume(int index) const {
    char suffix[16];
    std::snprintf(suffix, sizeof suffix, ".l%05d", index);
    return packageBase() + (index == 0 ? std::string(".lgz") : suffix);
  }
};

TEST_F(LgzGzipTest, TakesOneMemberAndRefusesDamageAndFurtherMembers) {
  std::string member =
      ArchiveBuilder().file("a.txt", "alpha").file("b.bin", randomBytes(70000, 21)).bytes();
  std::string tar = inflated(member);
  std::string secondMember = ArchiveBuilder().file("c.txt", "gamma").bytes();
  auto changed = [&](size_t fromEnd) {
    std::string bytes = member;
    bytes[bytes.size() - fromEnd] ^= 0x40;
    return bytes;
  };
  struct Case {
    const char* name;
    std::string bytes;
    const char* error;  // nullptr: the archive is taken
  } cases[] = {
      {"plain member", member, nullptr},
      {"wrong check sum", changed(8), "damaged"},
      {"trailer cut short", member.substr(0, member.size() - 3), "cut short"},
      {"a signature alone after the end", member + std::string("\x1f\x8b\x08", 3), nullptr},
      {"a second member", member + secondMember, "more than one gzip member"},
      {"uncompressed tar", tar, nullptr},
      {"zlib wrapper", zlibWrapped(tar), ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    writeFresh(c.bytes);
    int result = extractFresh();
    if (c.error == nullptr) {
      EXPECT_EQ(result, 1) << m_strLastError;
      Tree tree = treeOf(host(kTarget));
      EXPECT_EQ(tree.size(), 2u);
      EXPECT_EQ(tree["a.txt"], "alpha");
    } else {
      EXPECT_EQ(result, 0);
      EXPECT_THAT(m_strLastError, HasSubstr(c.error));
      EXPECT_FALSE(fs::exists(host(kTarget)));
    }
  }
}

// The member's end decides: a member whose trailer is split over two volumes reads the second;
// one that ends inside or at the end of a volume opens nothing after it, even when a whole
// archive (which would count as a second member) lies there as the next volume.
TEST_F(LgzGzipTest, ReadingStopsExactlyAtTheMembersEnd) {
  std::string member = ArchiveBuilder()
                           .file("first.txt", "one")
                           .file("data.bin", randomBytes(300 << 10, 22))
                           .file("last.txt", "end")
                           .bytes();
  std::string stale = ArchiveBuilder().file("stale.txt", "old").bytes();
  Tree expected;
  for (size_t inLast : {size_t{0}, size_t{1}, size_t{4}, size_t{8}, size_t{9}}) {
    for (const std::string& after : {std::string(), std::string("some bytes after the end")}) {
      SCOPED_TRACE("bytes of the member in the last volume: " + std::to_string(inLast) +
                   (after.empty() ? "" : ", then other bytes"));
      // Part 0 holds all but the last inLast bytes of the member; volume 1 the rest.
      std::string bytes = member + after;
      size_t cut = member.size() - inLast;
      writeFresh(bytes.substr(0, cut));
      int next = 1;
      if (cut < bytes.size()) {
        std::ofstream(volume(next++), std::ios::binary) << bytes.substr(cut);
      }
      std::ofstream(volume(next), std::ios::binary) << stale;
      ASSERT_EQ(extractFresh(), 1) << m_strLastError;
      Tree tree = treeOf(host(kTarget));
      if (expected.empty()) expected = tree;
      EXPECT_EQ(tree, expected);
      EXPECT_EQ(tree.count("stale.txt"), 0u);
    }
  }
  EXPECT_EQ(expected["last.txt"], "end");
}

}  // namespace
