// The PE version-resource reader and the version block: answers lie inside the block, and
// hand-made hostile headers give "no resource", never a read outside the data (the sanitizer
// builds check that; fuzz/PeVersionFuzz damages images at random).
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/PeVersionResource.h"
#include "platform/PlatformFile.h"
#include "platform/VersionBlock.h"

namespace {

// Reads from an exact-size heap copy, so any read past the end is caught by the sanitizers.
bool readResource(const std::string& image, std::string& resource) {
  std::vector<char> exact(image.begin(), image.end());
  plat::ReadAt readAt = [&exact](uint64_t offset, void* buffer, size_t size) {
    if (offset > exact.size() || size > exact.size() - offset) return false;
    if (size > 0) std::memcpy(buffer, exact.data() + offset, size);
    return true;
  };
  return plat::readPeVersionResource(readAt, exact.size(), resource);
}

// Queries every path a reader asks for; the block is exactly as large as it must be.
void queryAll(const std::string& resource) {
  std::vector<char> block(plat::versionBlockSize(static_cast<uint32_t>(resource.size())));
  if (!plat::fillVersionBlock(resource, block.data(), static_cast<uint32_t>(block.size()))) return;
  const char* paths[] = {
      "\\", "\\VarFileInfo\\Translation", "\\StringFileInfo\\041204b0\\FileVersion",
      "\\StringFileInfo\\041204b0\\CompanyName", "\\StringFileInfo\\040904e4\\FileVersion"};
  for (const char* path : paths) {
    const void* value = nullptr;
    uint32_t length = 0;
    if (plat::queryVersionBlock(block.data(), path, &value, &length)) {
      const char* begin = block.data();
      const char* at = static_cast<const char*>(value);
      ASSERT_TRUE(at >= begin && at + length <= begin + block.size()) << path;
    }
  }
}

std::string madeFile(const char* name) {
  std::string content;
  if (std::string(CVDT_VERSION_DATA_DIR).empty()) return content;
  EXPECT_TRUE(plat::readHostFile(std::string(CVDT_VERSION_DATA_DIR) + "/" + name, content));
  return content;
}

void put32(std::string& image, size_t at, uint32_t value) {
  for (int i = 0; i < 4; ++i) image[at + i] = static_cast<char>(value >> (8 * i));
}
uint32_t get32(const std::string& image, size_t at) {
  uint32_t v = 0;
  for (int i = 3; i >= 0; --i) v = (v << 8) | static_cast<uint8_t>(image[at + i]);
  return v;
}

TEST(PeVersionResourceTest, MadeImagesAnswerInsideTheirBlock) {
  for (const char* name : {"fixed1234.dll", "fixed123464.dll"}) {
    SCOPED_TRACE(name);
    std::string image = madeFile(name);
    if (image.empty()) GTEST_SKIP() << "PE test files not built (MinGW-w64 binutils missing)";
    std::string resource;
    ASSERT_TRUE(readResource(image, resource));
    queryAll(resource);
    // A block smaller than the resource asks for is refused.
    std::vector<char> small(resource.size());
    EXPECT_FALSE(
        plat::fillVersionBlock(resource, small.data(), static_cast<uint32_t>(small.size())));
  }
}

TEST(PeVersionResourceTest, HostileHeaders) {
  std::string image = madeFile("fixed1234.dll");
  if (image.empty()) GTEST_SKIP() << "PE test files not built (MinGW-w64 binutils missing)";
  std::string resource;
  size_t pe = get32(image, 0x3C);
  size_t optional = pe + 24;
  size_t resourceDirectory = optional + 96 + 2 * 8;
  struct Damage {
    const char* what;
    size_t at;
    uint32_t value;
  };
  const Damage damages[] = {
      {"PE header offset past the end", 0x3C, 0xFFFFFFF0u},
      {"PE header offset at the end", 0x3C, static_cast<uint32_t>(image.size() - 4)},
      {"section count at its maximum", pe + 4, (0xFFFFu << 16) | (get32(image, pe + 4) & 0xFFFFu)},
      {"resource directory address past every section", resourceDirectory, 0x7FFFFFF0u},
      {"resource directory of 8 bytes", resourceDirectory + 4, 8},
      {"no data directories", optional + 92, 0},
  };
  for (const Damage& damage : damages) {
    SCOPED_TRACE(damage.what);
    std::string damaged = image;
    put32(damaged, damage.at, damage.value);
    EXPECT_FALSE(readResource(damaged, resource));
  }
  EXPECT_FALSE(readResource("", resource));
  EXPECT_FALSE(readResource("MZ", resource));
}

}  // namespace
