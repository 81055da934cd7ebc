// plat::File tells a failed read from the end of the file, and readHostFile fails on either.
#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "PlatformTempDir.h"
#include "platform/PlatformFile.h"

namespace {

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
  plat::File moved(std::move(writeOnly));
  EXPECT_TRUE(moved.readFailed());

  plat::File closed;
  EXPECT_EQ(closed.read(buffer, sizeof buffer), 0u);
  EXPECT_TRUE(closed.readFailed());

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
