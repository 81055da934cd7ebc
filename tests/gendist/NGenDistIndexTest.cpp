// A commanded job's index: each way an index file or its archive fails to load, what a good one
// gives the job, and the disk check's boundary (a package exactly as large as the free space
// does not fit).
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "NGenDistTestAccess.h"
#include "gendist/NGenDist.h"
#include "platform/PlatformFs.h"
#include "support/CommandOutput.h"
#include "support/TestMachine.h"

namespace {

namespace fs = std::filesystem;
using cvdt::test::TestMachine;
using Lines = std::vector<std::string>;

// An index file as the packager writes it: UTF-16LE with its byte-order mark, CR LF lines.
std::string indexBytes(const Lines& lines) {
  std::string bytes = "\xFF\xFE";
  for (size_t i = 0; i < lines.size(); ++i) {
    for (char c : lines[i] + (i + 1 < lines.size() ? "\r\n" : "")) {
      bytes.push_back(c);
      bytes.push_back('\0');
    }
  }
  return bytes;
}

std::vector<std::string> listOf(const NStringArray& array) {
  std::vector<std::string> list;
  for (int i = 0; i < array.getCount(); ++i) list.push_back(array.getAt(i).text());
  return list;
}

// Whether the trace log has the text after its first `from` bytes.
bool tracedSince(const TestMachine& machine, size_t from, const std::string& text) {
  std::string log = machine.traceLog();
  return log.size() > from && log.find(text, from) != std::string::npos;
}

TEST(NGenDistIndexTest, IndexFileFormatsAndTheirFailures) {
  TestMachine machine;
  const Lines good = {"header", "a.dll|@|@sub\\b.dll", "0|@D0", "1|@D1"};
  struct Row {
    const char* what;
    Lines lines;
    uint32_t parts;
    int result;
    const char* trace;  // null: loaded
    Lines systemFiles;
    Lines digests;
  } rows[] = {
      {"a good index", good, 2, 1, nullptr, {"a.dll", "sub\\b.dll"}, {"D0", "D1"}},
      {"lines that are not two fields are skipped",
       {"header", "", "0|@D0", "garbage", "1|@D1|@extra", "", "1|@D1"},
       2,
       1,
       nullptr,
       {},
       {"D0", "D1"}},
      {"no parts", {"header", "sys.dll"}, 0, 1, nullptr, {"sys.dll"}, {}},
      {"a part number skipped",
       {"header", "", "0|@D0", "2|@D2"},
       3,
       0,
       "invalid format (2) \n",
       {},
       {}},
      {"fewer parts than the contents says", good, 3, 0, "invalid format (3) \n", {}, {}},
      {"more parts than the contents says", good, 1, 0, "invalid format (3) \n", {}, {}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    machine.writeFile("C:\\Temp\\row.idx", indexBytes(row.lines));
    NGenDist job;
    NGenDistTestAccess access(job);
    access.splitCount() = row.parts;
    size_t before = machine.traceLog().size();
    ASSERT_EQ(job.idxFileLoad("C:\\Temp\\row.idx"), row.result);
    if (row.trace != nullptr) {
      EXPECT_TRUE(tracedSince(machine, before, std::string("NGenDist::idxFileLoad: index file ==> ") + row.trace));
      continue;
    }
    EXPECT_EQ(listOf(access.systemFiles()), row.systemFiles);
    EXPECT_EQ(listOf(access.partDigests()), row.digests);
  }

  // A file that is not UTF-16 with its mark loads nothing.
  machine.writeFile("C:\\Temp\\ansi.idx", "header\r\n\r\n0|@D0\r\n");
  NGenDist ansi;
  EXPECT_EQ(ansi.idxFileLoad("C:\\Temp\\ansi.idx"), 0);

  // A second load replaces what the first gave.
  machine.writeFile("C:\\Temp\\good.idx", indexBytes(good));
  machine.writeFile("C:\\Temp\\bare.idx", indexBytes({"header"}));
  NGenDist job;
  NGenDistTestAccess access(job);
  access.splitCount() = 2;
  ASSERT_EQ(job.idxFileLoad("C:\\Temp\\good.idx"), 1);
  access.splitCount() = 0;
  ASSERT_EQ(job.idxFileLoad("C:\\Temp\\bare.idx"), 1);
  EXPECT_EQ(access.systemFiles().getCount(), 0);
  EXPECT_EQ(access.partDigests().getCount(), 0);
}

#ifndef _WIN32  // archives packed by tar through a POSIX shell
// The index archive in the job folder: unpacked, its index moved beside it and loaded.
TEST(NGenDistIndexTest, IndexArchivesThatFail) {
  TestMachine machine;
  const std::string jobs = machine.config().moduleFolder + "\\ndist";
  const std::string scratch = cvdt::test::makeTempFolder("cvdt-index");
  // Packs the files (name, bytes) as distribution id's index archive.
  auto archive = [&](int id, const std::vector<std::pair<std::string, std::string>>& files) {
    std::string folder = scratch + "/" + std::to_string(id);
    fs::create_directories(folder);
    std::string names;
    for (const auto& [name, bytes] : files) {
      std::ofstream(folder + "/" + name, std::ios::binary) << bytes;
      names += " '" + name + "'";
    }
    std::string archivePath = machine.host(jobs) + "/" + std::to_string(id) + ".idx.lgz";
    fs::create_directories(machine.host(jobs));
    cvdt::test::commandOutput("tar -czf '" + archivePath + "' -C '" + folder + "'" + names);
  };
  const std::string good = indexBytes({"header", "", "0|@D0"});
  archive(41, {{"41.idx", good}});
  archive(42, {{"readme.txt", "no index here"}});
  archive(43, {{"other.idx", good}});  // the first index file there, whatever its name
  machine.writeFile(jobs + "\\45.idx.lgz", "not an archive");
  struct Row {
    int id;
    int result;
    const char* trace;
  } rows[] = {
      {41, 1, nullptr},
      {42, 0, "NGenDist::checkIdxFile(2): invalid idx file\n"},
      {43, 1, nullptr},
      {45, 0, "NGenDist::checkIdxFile(1): invalid idx file\n"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.id);
    NGenDist job;
    NGenDistTestAccess access(job);
    access.distId() = std::to_string(row.id).c_str();
    access.splitCount() = 1;
    size_t before = machine.traceLog().size();
    EXPECT_EQ(job.checkIdxFile(), row.result);
    if (row.trace != nullptr) {
      EXPECT_TRUE(tracedSince(machine, before, row.trace));
    } else {
      EXPECT_EQ(listOf(access.partDigests()), Lines{"D0"});
      EXPECT_EQ(machine.readFile(jobs + "\\" + std::to_string(row.id) + ".idx"), good);
    }
  }
  fs::remove_all(scratch);
}
#endif

#ifndef _WIN32  // tmpfs mounts as the machine's drives (Linux, root)
// The package fits when its size in KiB is below the free space of the module's drive plus,
// when the base folder is on another drive, that drive's. Both drives are small file systems
// of their own, so nothing else changes their free space while the test looks.
TEST(NGenDistIndexTest, APackageAsLargeAsTheFreeSpaceDoesNotFit) {
  const std::string base = cvdt::test::makeTempFolder("cvdt-diskcheck");
  std::vector<std::string> mounts;
  for (const char* name : {"m", "n"}) {
    std::string folder = base + "/" + name;
    fs::create_directories(folder);
    std::string size = std::string(name) == "m" ? "8m" : "4m";
    std::string output = cvdt::test::commandOutput("mount -t tmpfs -o size=" + size + " cvdt-test " +
                                                   folder + " 2>&1 && echo mounted");
    if (output.find("mounted") == std::string::npos) break;
    mounts.push_back(folder);
  }
  if (mounts.size() == 2) {
    TestMachine machine([&](plat::posix::MachineConfig& config, plat::posix::LayoutOptions& options) {
      config.drives['M'] = {mounts[0], plat::DriveType::Fixed};
      config.drives['N'] = {mounts[1], plat::DriveType::Fixed};
      config.moduleFolder = "M:\\Modules";
      options.stageFolder.clear();
    });
    struct Row {
      const char* baseFolder;
      bool bothDrives;
      int64_t delta;  // KiB beside the free space
      int result;
    } rows[] = {
        {"M:\\Apps", false, 0, 0}, {"M:\\Apps", false, -1, 1}, {".", false, 0, 0},
        {"N:\\Apps", true, 0, 0},  {"N:\\Apps", true, -1, 1},
    };
    for (const Row& row : rows) {
      SCOPED_TRACE(std::string(row.baseFolder) + " " + std::to_string(row.delta));
      NGenDist job;
      NGenDistTestAccess access(job);
      access.baseFolder() = row.baseFolder;
      uint64_t freeM = 0, freeN = 0, total = 0;
      ASSERT_TRUE(plat::diskSpace('M', freeM, total));
      ASSERT_TRUE(plat::diskSpace('N', freeN, total));
      uint64_t kib = (freeM + (row.bothDrives ? freeN : 0)) / 1024;
      access.size() = std::to_string(static_cast<int64_t>(kib) + row.delta).c_str();
      EXPECT_EQ(job.checkDiskSpace(), row.result) << access.size().text() << " KiB";
    }
  }
  for (const std::string& folder : mounts) cvdt::test::commandOutput("umount -l " + folder + " 2>&1");
  fs::remove_all(base);
  if (mounts.size() != 2) GTEST_SKIP() << "cannot mount a tmpfs as a machine's drive (needs root)";
}
#endif

}  // namespace
