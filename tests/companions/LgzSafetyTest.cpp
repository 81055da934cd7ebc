// cvlgz.dll when things go wrong: writes that fail as on a full disk, archives that expand
// beyond the disk or declare sparse files, chains of links that would lead out of the
// destination, and failures that must leave the destination exactly as it was.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/statvfs.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <string>

#include "ArchiveBuilder.h"
#include "LgzFixture.h"
#include "support/ForkedChild.h"

using ::testing::HasSubstr;

namespace {

namespace fs = std::filesystem;
using cvdt::test::ArchiveBuilder;
using cvdt::test::randomBytes;
using cvdt::test::Tree;
using cvdt::test::treeOf;

constexpr uint64_t kMiB = 1024 * 1024;

// A small tmpfs mounted at a folder for one test (root only); unmounted at the end.
class SmallDisk {
 public:
  SmallDisk(const std::string& folder, int mebibytes) : m_strFolder(folder) {
    fs::create_directories(folder);
    std::string options = "size=" + std::to_string(mebibytes) + "m";
    m_bMounted = geteuid() == 0 && mount("tmpfs", folder.c_str(), "tmpfs", 0, options.c_str()) == 0;
  }
  ~SmallDisk() {
    if (m_bMounted) umount2(m_strFolder.c_str(), MNT_DETACH);
  }
  bool mounted() const { return m_bMounted; }
  uint64_t freeBytes() const {
    struct statvfs info {};
    statvfs(m_strFolder.c_str(), &info);
    return static_cast<uint64_t>(info.f_bavail) * info.f_frsize;
  }

 private:
  std::string m_strFolder;
  bool m_bMounted = false;
};

class LgzSafetyTest : public cvdt::test::LgzTest {
 protected:
  // One extraction in a child process in which no file may grow beyond limit bytes, so writes
  // fail as they do on a full disk (a write that crosses the limit is cut short first). The
  // child's exit code is the extraction's result; -1 when it did not end normally.
  int extractWithFileSizeLimit(rlim_t limit) {
    return cvdt::test::exitCodeInChild([&] {
      signal(SIGXFSZ, SIG_IGN);
      struct rlimit rl {
        limit, limit
      };
      setrlimit(RLIMIT_FSIZE, &rl);
      return extract() == 1 ? 1 : 0;
    });
  }

  // The destination before each case: files, a read-only file, a folder with a file, an empty
  // folder, a folder that is not empty, links that lead out of it and one inside it.
  void layOutTarget() {
    std::string work = host("C:\\Work");
    fs::remove_all(host(kTarget));
    fs::create_directories(work + "/Elsewhere");
    m_machine.writeFile("C:\\Work\\Target\\good.txt", "good");
    m_machine.writeFile("C:\\Work\\Target\\replace.txt", "old");
    m_machine.writeFile("C:\\Work\\Target\\readonly.txt", "ro");
    fs::permissions(host(kTarget) + "/readonly.txt", fs::perms::owner_read | fs::perms::group_read);
    m_machine.writeFile("C:\\Work\\Target\\sub\\keep.txt", "keep");
    m_machine.writeFile("C:\\Work\\Target\\full\\inside.txt", "inside");
    m_machine.writeFile("C:\\Work\\Target\\realdir\\inner.txt", "inner");
    fs::create_directories(host(kTarget) + "/emptydir");
    fs::create_symlink("good.txt", host(kTarget) + "/lnk");
    fs::create_directory_symlink(work + "/Elsewhere", host(kTarget) + "/planted");
    fs::create_symlink(work + "/outside.txt", host(kTarget) + "/plantedfile");
  }
};

TEST_F(LgzSafetyTest, WriteErrorsFailTheExtractionAndLeaveTheDestinationAsItWas) {
  std::string bytes = ArchiveBuilder()
                          .file("a_big.bin", randomBytes(3 * kMiB, 21))
                          .file("good.txt", "new good")
                          .file("z_small.txt", "small")
                          .bytes();
  // At a block boundary the next write fails outright; in the middle of a block the write
  // that crosses the limit is cut short first.
  for (rlim_t limit : {rlim_t{kMiB}, rlim_t{kMiB + 1000}}) {
    SCOPED_TRACE("file size limit " + std::to_string(limit));
    layOutTarget();
    Tree before = treeOf(host(kTarget));
    write(bytes, 256 << 10);
    EXPECT_EQ(extractWithFileSizeLimit(limit), 0);
    EXPECT_EQ(treeOf(host(kTarget)), before);
    expectNothingOutsideTarget();
  }
  // Without a limit the same archive unpacks.
  layOutTarget();
  EXPECT_EQ(extractWithFileSizeLimit(RLIM_INFINITY), 1);
  EXPECT_EQ(m_machine.readFile("C:\\Work\\Target\\z_small.txt"), "small");
}

TEST_F(LgzSafetyTest, ArchivesLargerThanTheDiskFailBeforeItFills) {
  const std::string disk = host("C:\\Work\\Disk");
  SmallDisk small(disk, 20);
  if (!small.mounted()) GTEST_SKIP() << "mounting a 20 MiB tmpfs needs root; not tested here";
  struct Case {
    const char* name;
    std::string bytes;
    bool fits;
  } cases[] = {
      {"30 MiB of random data, then a small file",
       ArchiveBuilder().file("a_big.bin", randomBytes(30 * kMiB, 22)).file("z.txt", "z").bytes(),
       false},
      {"30 MiB of zeros in an archive of a few KiB",
       ArchiveBuilder().file("zeros.bin", std::string(30 * kMiB, '\0')).file("z.txt", "z").bytes(),
       false},
      {"many small files adding up to 24 MiB",
       [] {
         ArchiveBuilder many;
         for (int i = 0; i < 96; ++i) many.file("f" + std::to_string(i), std::string(256 << 10, 'x'));
         return many.bytes();
       }(),
       false},
      {"8 MiB fits", ArchiveBuilder().file("a_big.bin", randomBytes(8 * kMiB, 23)).bytes(), true},
  };
  for (const Case& c : cases) {
    // Beside the destination, and with the destination the root of the small disk.
    for (const char* destination : {"C:\\Work\\Disk\\Target", "C:\\Work\\Disk"}) {
      SCOPED_TRACE(std::string(c.name) + " into " + destination);
      for (const auto& entry : fs::directory_iterator(disk)) fs::remove_all(entry.path());
      m_machine.writeFile("C:\\Work\\Disk\\good.txt", "good");
      uint64_t freeBefore = small.freeBytes();
      write(c.bytes, 0);
      ASSERT_EQ(extract(destination), c.fits ? 1 : 0) << m_strLastError;
      Tree tree = treeOf(disk);
      if (c.fits) {
        EXPECT_EQ(tree.size(), std::string(destination).size() > 13 ? 3u : 2u);
        continue;
      }
      EXPECT_THAT(m_strLastError, HasSubstr("not enough free space"));
      EXPECT_EQ(tree, (Tree{{"good.txt", "good"}}));
      EXPECT_EQ(small.freeBytes(), freeBefore);
    }
  }
}

TEST_F(LgzSafetyTest, SparseFilesAndSizesBeyondTheDiskAreRefused) {
  struct Case {
    const char* name;
    std::string bytes;
    const char* error;
  } cases[] = {
      {"10 GiB sparse file", ArchiveBuilder().file("a.txt", "a").sparseFile("hole.bin", 10ull << 30, "end").bytes(),
       "sparse"},
      {"a header declaring a petabyte",
       ArchiveBuilder::gzip(ArchiveBuilder::tarHeader("huge.bin", 1ull << 50) + std::string(1 << 16, 'x')),
       "not enough free space"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    layOutTarget();
    Tree before = treeOf(host(kTarget));
    write(c.bytes, 0);
    EXPECT_EQ(extract(), 0);
    EXPECT_THAT(m_strLastError, HasSubstr(c.error));
    EXPECT_EQ(treeOf(host(kTarget)), before);
    expectNothingOutsideTarget();
  }
}

// Entries and links that would lead out of the destination, alone, in chains and through links
// (the archive's own or planted there before); a link that stays inside is kept.
TEST_F(LgzSafetyTest, LinkChainsAndLinksThroughLinksAreRefused) {
  const std::string work = host("C:\\Work");
  ArchiveBuilder deepChain;
  deepChain.folder("d").symlink("d/h0", "..");
  for (int i = 1; i <= 16; ++i)
    deepChain.symlink("d/h" + std::to_string(i), "h" + std::to_string(i - 1) + "/..");
  deepChain.symlink("d/shadow", "h16/etc/shadow");
  struct Case {
    const char* name;
    ArchiveBuilder archive;
    bool allowed;
  } cases[] = {
      {"dot-dot", ArchiveBuilder().file("../escape.txt", "x"), false},
      {"dot-dot inside", ArchiveBuilder().file("sub/../../escape.txt", "x"), false},
      {"backslash dot-dot", ArchiveBuilder().file("..\\escape.txt", "x"), false},
      {"absolute", ArchiveBuilder().file(work + "/escape.txt", "x"), false},
      {"drive", ArchiveBuilder().file("C:\\escape.txt", "x"), false},
      {"symlink up", ArchiveBuilder().symlink("link", "..").file("link/escape.txt", "x"), false},
      {"symlink deep up", ArchiveBuilder().symlink("a/b/link", "../../../Elsewhere"), false},
      {"symlink absolute", ArchiveBuilder().symlink("link", work + "/Elsewhere"), false},
      {"hardlink up", ArchiveBuilder().hardlink("hl", "../outside.txt"), false},
      {"hardlink absolute", ArchiveBuilder().hardlink("hl", work + "/outside.txt"), false},
      {"hardlink to planted link", ArchiveBuilder().hardlink("hl", "plantedfile"), false},
      {"chain up", ArchiveBuilder().symlink("d/l1", "..").symlink("d/l2", "l1/.."), false},
      {"chain up, then written through",
       ArchiveBuilder().symlink("d/l1", "..").symlink("d/l2", "l1/..").file("d/l2/escape.txt", "x"),
       false},
      {"chain written in reverse order",
       ArchiveBuilder().symlink("d/l2", "l1/..").symlink("d/l1", ".."), false},
      {"link through a link written later",
       ArchiveBuilder().symlink("d/l2", "l1/Elsewhere").symlink("d/l1", ".."), false},
      {"deep chain to the host's /etc", deepChain, false},
      {"link to a link of the archive",
       ArchiveBuilder().file("a.txt", "a").symlink("l1", "a.txt").symlink("l2", "l1"), false},
      {"link to a planted link", ArchiveBuilder().symlink("l", "planted"), false},
      {"link through a planted link", ArchiveBuilder().symlink("l", "planted/x"), false},
      {"absolute target", ArchiveBuilder().symlink("l", "/etc/shadow"), false},
      {"backslash target", ArchiveBuilder().symlink("l", "..\\..\\Elsewhere"), false},
      {"entry through a link of the archive",
       ArchiveBuilder().folder("sub2").symlink("l", "sub2").file("l/x.txt", "x"), false},
      {"hard link to a link",
       ArchiveBuilder().file("a.txt", "a").symlink("l", "a.txt").hardlink("h", "l"), false},
      {"hard link through a link",
       ArchiveBuilder().file("sub2/f", "f").symlink("l", "sub2").hardlink("h", "l/f"), false},
      {"hard link to a file the archive did not write", ArchiveBuilder().hardlink("h", "good.txt"),
       false},
      {"link to a folder of the destination", ArchiveBuilder().symlink("l", "realdir"), true},
      {"link across folders of the archive",
       ArchiveBuilder().file("a/f.txt", "f").symlink("b/l", "../a/f.txt"), true},
  };
  for (Case& c : cases) {
    SCOPED_TRACE(c.name);
    layOutTarget();
    Tree before = treeOf(host(kTarget));
    write(c.archive.bytes(), 0);
    EXPECT_EQ(extract(), c.allowed ? 1 : 0) << m_strLastError;
    if (!c.allowed) {
      EXPECT_EQ(treeOf(host(kTarget)), before);
    }
    expectNothingOutsideTarget();
    EXPECT_TRUE(fs::is_empty(work + "/Elsewhere"));
  }
  EXPECT_EQ(treeOf(host(kTarget))["b/l"], "-> ../a/f.txt");
}

TEST_F(LgzSafetyTest, FailuresLeaveTheDestinationAsItWasAndSuccessMerges) {
  const std::string filler = randomBytes(512 << 10, 24);
  ArchiveBuilder replacing;
  replacing.file("good.txt", "new good").file("replace.txt", "new").file("sub/new.txt", "new");
  for (int i = 0; i < 20; ++i) replacing.file("n" + std::to_string(i) + ".txt", "n");
  struct Case {
    const char* name;
    ArchiveBuilder archive;
    std::function<void()> damage;
  } cases[] = {
      {"refused entry at the end", ArchiveBuilder(replacing).file("../escape.txt", "x"), nullptr},
      {"one byte changed", ArchiveBuilder(replacing).file("zz.bin", filler),
       [&] {
         std::fstream part(packageBase() + ".l00001", std::ios::in | std::ios::out | std::ios::binary);
         part.seekp(1000);
         part.put('\x5a');
       }},
      {"missing last volume", ArchiveBuilder(replacing).file("zz.bin", filler),
       [&] { fs::remove(packageBase() + ".l00002"); }},
      {"a file in place of a folder that is not empty", ArchiveBuilder(replacing).file("full", "f"),
       nullptr},
  };
  for (Case& c : cases) {
    SCOPED_TRACE(c.name);
    layOutTarget();
    Tree before = treeOf(host(kTarget));
    write(c.archive.bytes(), 200 << 10);
    if (c.damage) c.damage();
    EXPECT_EQ(extract(), 0);
    EXPECT_EQ(treeOf(host(kTarget)), before) << m_strLastError;
    expectNothingOutsideTarget();
  }

  // Success merges: existing folders are filled, files and links of the same name replaced
  // (read-only or not), an empty folder gives way to a file, other files stay.
  layOutTarget();
  Tree expected = treeOf(host(kTarget));
  write(ArchiveBuilder(replacing)
            .file("readonly.txt", "new ro")
            .file("emptydir", "now a file")
            .file("lnk", "now a file")
            .file("planted/inside.txt", "real folder")
            .bytes(),
        0);
  ASSERT_EQ(extract(), 1) << m_strLastError;
  expected["good.txt"] = "new good";
  expected["replace.txt"] = "new";
  expected["sub/new.txt"] = "new";
  for (int i = 0; i < 20; ++i) expected["n" + std::to_string(i) + ".txt"] = "n";
  expected["readonly.txt"] = "new ro";
  expected["emptydir"] = "now a file";
  expected["lnk"] = "now a file";
  expected["planted"] = "<dir>";
  expected["planted/inside.txt"] = "real folder";
  EXPECT_EQ(treeOf(host(kTarget)), expected);
  expectNothingOutsideTarget();
  EXPECT_TRUE(fs::is_empty(host("C:\\Work\\Elsewhere")));
}

}  // namespace
