// cvlgz.dll loaded from a test machine and driven through its entry points on real archives:
// whole archives and volume sets, broken and missing volumes, and volumes left over from a
// longer archive (hostile names and links are LgzSafetyTest's).
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <string>

#include "ArchiveBuilder.h"
#include "LgzFixture.h"

namespace {

namespace fs = std::filesystem;
using cvdt::test::ArchiveBuilder;
using cvdt::test::LgzTest;
using cvdt::test::randomBytes;
using cvdt::test::Tree;
using cvdt::test::treeOf;

TEST_F(LgzTest, ExtractsWholeArchivesAndVolumeSets) {
  std::string app = randomBytes(1 << 20, 11);
  ArchiveBuilder builder;
  builder.folder("./")
      .folder("bin")
      .file("bin/app.exe", app)
      .file("readme.txt", "hello")
      .file("empty.dat", "")
      .file("deep/a/b/c/file.txt", "deep")
      .file("Windows\\style\\name.txt", "backslashes")
      .file("\xED\x95\x9C\xEA\xB8\x80.txt", "korean name")
      .symlink("docs/latest", "../readme.txt")
      .hardlink("bin/copy.exe", "bin/app.exe");
  Tree expected = {
      {"bin", "<dir>"},
      {"bin/app.exe", app},
      {"bin/copy.exe", app},
      {"readme.txt", "hello"},
      {"empty.dat", ""},
      {"deep", "<dir>"},
      {"deep/a", "<dir>"},
      {"deep/a/b", "<dir>"},
      {"deep/a/b/c", "<dir>"},
      {"deep/a/b/c/file.txt", "deep"},
      {"Windows", "<dir>"},
      {"Windows/style", "<dir>"},
      {"Windows/style/name.txt", "backslashes"},
      {"\xED\x95\x9C\xEA\xB8\x80.txt", "korean name"},
      {"docs", "<dir>"},
      {"docs/latest", "-> ../readme.txt"},
  };
  std::string bytes = builder.bytes();
  for (size_t volumeSize : {size_t{0}, size_t{256} << 10, size_t{1000}}) {
    fs::remove_all(host("C:\\Work"));
    fs::create_directories(host("C:\\Work\\Packages"));
    int volumes = write(bytes, volumeSize);
    EXPECT_EQ(extract(), 1) << volumes << " volumes";
    EXPECT_EQ(treeOf(host(kTarget)), expected) << volumes << " volumes";
  }
  // A part 0 of one byte: the gzip signature straddles it and the next volume.
  fs::remove_all(host("C:\\Work"));
  fs::create_directories(host("C:\\Work\\Packages"));
  std::ofstream(packageBase() + ".lgz", std::ios::binary) << bytes.substr(0, 1);
  std::ofstream(packageBase() + ".l00001", std::ios::binary) << bytes.substr(1);
  EXPECT_EQ(extract(), 1) << m_strLastError;
  EXPECT_EQ(treeOf(host(kTarget)), expected);
}

TEST_F(LgzTest, BrokenOrMissingVolumesFailAndLeaveNoFile) {
  std::string big = randomBytes(4 << 20, 12);
  std::string bytes =
      ArchiveBuilder().file("first.txt", "complete").file("big.bin", big).bytes();
  std::string base = packageBase();
  struct Case {
    const char* name;
    std::function<void()> damage;
  } cases[] = {
      {"missing middle volume", [&] { fs::remove(base + ".l00002"); }},
      {"truncated last volume", [&] { fs::resize_file(base + ".l00004", 1000); }},
      {"middle volume is a folder",
       [&] {
         fs::remove(base + ".l00002");
         fs::create_directory(base + ".l00002");
       }},
  };
  for (Case& c : cases) {
    fs::remove_all(host("C:\\Work"));
    fs::create_directories(host("C:\\Work\\Packages"));
    ASSERT_EQ(write(bytes, 1 << 20), 5);
    c.damage();
    EXPECT_EQ(extract(), 0) << c.name;
    EXPECT_TRUE(treeOf(host(kTarget)).empty()) << c.name;
  }
}

TEST_F(LgzTest, VolumesLeftFromALongerArchiveAreIgnored) {
  ArchiveBuilder longer;
  longer.file("old-only.bin", randomBytes(600 << 10, 14)).file("shared.txt", "old");
  std::string shorterBytes;
  // A shorter archive whose length is a whole number of volumes, so its end falls exactly on a
  // volume boundary and the reader is asked for more right where the stale volume begins.
  size_t volumeSize = 0;
  for (int pad = 0; volumeSize == 0; ++pad) {
    shorterBytes = ArchiveBuilder()
                       .file("new.bin", randomBytes(200 << 10, 15))
                       .file("pad.txt", randomBytes(static_cast<size_t>(pad), 16))
                       .file("shared.txt", "new")
                       .bytes();
    if (shorterBytes.size() % 3 == 0) volumeSize = shorterBytes.size() / 3;
  }
  Tree expected;
  // A whole archive of its own: read as a second gzip member it would fail the trailer check.
  std::string intruder = ArchiveBuilder().file("intruder.txt", "stale").bytes();
  struct Case {
    const char* name;
    size_t volumeSize;
    std::function<void(const std::string& staleVolume)> stale;
  } cases[] = {
      {"short last volume", volumeSize + 1000, nullptr},
      {"exact last volume", volumeSize, nullptr},
      {"stale volume is a whole archive", volumeSize,
       [&](const std::string& path) { std::ofstream(path, std::ios::trunc) << intruder; }},
      {"stale volume is a folder", volumeSize,
       [&](const std::string& path) {
         fs::remove(path);
         fs::create_directory(path);
       }},
  };
  for (Case& c : cases) {
    fs::remove_all(host("C:\\Work"));
    fs::create_directories(host("C:\\Work\\Packages"));
    int oldVolumes = write(longer.bytes(), c.volumeSize);
    int newVolumes = write(shorterBytes, c.volumeSize);
    ASSERT_GT(oldVolumes, newVolumes + 1) << c.name;
    char next[16];
    std::snprintf(next, sizeof next, ".l%05d", newVolumes);
    if (c.stale) c.stale(packageBase() + next);
    EXPECT_EQ(extract(), 1) << c.name;
    Tree target = treeOf(host(kTarget));
    EXPECT_EQ(target.count("old-only.bin") + target.count("intruder.txt"), 0u) << c.name;
    EXPECT_EQ(target["shared.txt"], "new") << c.name;
    if (expected.empty()) expected = target;
    EXPECT_EQ(target, expected) << c.name;
  }
}

TEST_F(LgzTest, BadArgumentsAndNonArchivesFail) {
  m_machine.writeFile("C:\\Work\\Packages\\text.lgz", "this is not an archive at all");
  m_machine.writeFile("C:\\Work\\Packages\\empty.lgz", "");
  EXPECT_EQ(extract(kTarget, "C:\\Work\\Packages\\missing.lgz"), 0);
  EXPECT_EQ(extract(kTarget, "C:\\Work\\Packages\\text.lgz"), 0);
  EXPECT_EQ(extract(kTarget, "C:\\Work\\Packages\\empty.lgz"), 0);
  EXPECT_EQ(m_extract(nullptr, kTarget, kArchive, 0), 0);
  EXPECT_EQ(m_close(nullptr), 0);

  // One handle serves several extractions; a missing destination is created.
  write(ArchiveBuilder().file("a.txt", "a").bytes(), 0);
  void* handle = m_create();
  ASSERT_NE(handle, nullptr);
  EXPECT_EQ(m_extract(handle, "C:\\Work\\Target\\One", kArchive, 0), 1);
  EXPECT_EQ(m_extract(handle, "C:\\Work\\Target\\Two", kArchive, 0), 1);
  EXPECT_EQ(m_close(handle), 1);
  EXPECT_EQ(m_machine.readFile("C:\\Work\\Target\\One\\a.txt"), "a");
  EXPECT_EQ(m_machine.readFile("C:\\Work\\Target\\Two\\a.txt"), "a");
}

}  // namespace
