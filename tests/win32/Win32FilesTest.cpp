// The win32 backend's files and folders on the system's own file system: whole-file writes and
// appends, read-only files refused as Windows refuses them, listings, wildcard finds, drives.
#include <gtest/gtest.h>

#include <algorithm>

#include "platform/PlatformFile.h"
#include "platform/PlatformFs.h"
#include "platform/WinError.h"
#include "win32/Win32Scratch.h"

namespace {

using namespace plat;
using cvdt::win32test::ScratchFolder;

std::string contentOf(const std::string& path) {
  std::string content;
  EXPECT_TRUE(readHostFile(path, content)) << path;
  return content;
}

TEST(Win32FilesTest, WriteAppendReadAndSeek) {
  ScratchFolder scratch;
  std::string path = scratch.file("a.txt");
  ASSERT_TRUE(writeHostFile(path, "hello"));
  File file;
  ASSERT_TRUE(file.open(path, FileMode::Append));
  EXPECT_EQ(file.write(" world", 6), 6u);
  file.close();
  EXPECT_EQ(contentOf(path), "hello world");
  ASSERT_TRUE(file.open(path, FileMode::ReadWrite));
  EXPECT_EQ(file.size(), 11);
  ASSERT_TRUE(file.seek(6));
  char word[5];
  EXPECT_EQ(file.read(word, 5), 5u);
  EXPECT_EQ(std::string(word, 5), "world");
  EXPECT_EQ(file.read(word, 5), 0u);  // the end
  file.close();
  EXPECT_FALSE(file.open(scratch.file("absent.txt"), FileMode::Read));
  EXPECT_EQ(lastError(), kErrorFileNotFound);
  EXPECT_FALSE(file.open(scratch.path(), FileMode::Read));  // a folder is no file
}

TEST(Win32FilesTest, ReadOnlyFilesAreNeitherDeletedNorOverwritten) {
  ScratchFolder scratch;
  std::string path = scratch.file("locked.txt");
  std::string copy = scratch.file("copy.txt");
  ASSERT_TRUE(writeHostFile(path, "keep"));
  ASSERT_TRUE(writeHostFile(copy, "other"));
  ASSERT_TRUE(setReadOnly(path, true));
  EXPECT_TRUE(isReadOnly(path));
  EXPECT_FALSE(deleteFile(path));
  EXPECT_EQ(lastError(), kErrorAccessDenied);
  File file;
  EXPECT_FALSE(file.open(path, FileMode::Write));
  EXPECT_FALSE(copyFile(copy, path, false));
  EXPECT_EQ(contentOf(path), "keep");
  EXPECT_FALSE(copyFile(path, copy, true));  // fail if it exists
  EXPECT_TRUE(copyFile(path, copy, false));
  EXPECT_EQ(contentOf(copy), "keep");
  EXPECT_TRUE(setNormalAttributes(path));
  EXPECT_FALSE(isReadOnly(path));
  EXPECT_TRUE(deleteFile(path));
  EXPECT_EQ(pathKind(path), PathKind::None);
}

TEST(Win32FilesTest, FoldersListingsAndFinds) {
  ScratchFolder scratch;
  std::string folder = scratch.file("Sub");
  ASSERT_TRUE(createDirectory(folder));
  EXPECT_FALSE(createDirectory(folder));
  EXPECT_EQ(lastError(), kErrorAlreadyExists);
  EXPECT_FALSE(createDirectory(scratch.file("No\\Parent")));
  ASSERT_TRUE(writeHostFile(folder + "\\Setup.EXE", "12345"));
  ASSERT_TRUE(createDirectory(folder + "\\data"));
  std::vector<DirEntry> entries;
  ASSERT_TRUE(listDirectory(folder, entries));
  std::sort(entries.begin(), entries.end(),
            [](const DirEntry& a, const DirEntry& b) { return a.name < b.name; });
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_EQ(entries[0].name, "Setup.EXE");
  EXPECT_FALSE(entries[0].isDirectory);
  EXPECT_EQ(entries[0].size, 5u);
  EXPECT_TRUE(entries[1].isDirectory);
  EXPECT_EQ(pathKind(folder), PathKind::Directory);
  EXPECT_EQ(findFirstKind(folder + "\\setup.*"), PathKind::File);
  EXPECT_EQ(findFirstKind(folder + "\\dat?"), PathKind::Directory);
  EXPECT_EQ(findFirstKind(folder + "\\*.dll"), PathKind::None);
  EXPECT_FALSE(removeDirectory(folder));  // not empty
  EXPECT_FALSE(listDirectory(scratch.file("absent"), entries));
}

TEST(Win32FilesTest, DrivesFreeSpaceAndTheRedirectionSwitch) {
  EXPECT_TRUE(redirectionEnabled());
  void* old = nullptr;
  ASSERT_TRUE(disableRedirection(&old));
  EXPECT_FALSE(redirectionEnabled());
  ASSERT_TRUE(revertRedirection(old));
  EXPECT_TRUE(redirectionEnabled());
  EXPECT_NE(logicalDrives() & (1u << ('C' - 'A')), 0u);
  EXPECT_EQ(driveType('C'), DriveType::Fixed);
  uint64_t freeBytes = 0, totalBytes = 0;
  ASSERT_TRUE(diskSpace('C', freeBytes, totalBytes));
  EXPECT_GT(totalBytes, 0u);
  EXPECT_LE(freeBytes, totalBytes);
  EXPECT_EQ(toHostPath("C:\\Windows"), "C:\\Windows");
  char missing = 'A';
  while (missing <= 'Z' && (logicalDrives() & (1u << (missing - 'A'))) != 0) ++missing;
  if (missing <= 'Z') {
    EXPECT_EQ(toHostPath(std::string(1, missing) + ":\\x"), "");
    EXPECT_FALSE(diskSpace(missing, freeBytes, totalBytes));
    EXPECT_EQ(freeBytes + totalBytes, 0u);
  }
}

}  // namespace
