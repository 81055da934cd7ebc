// The Windows companion libraries of the win64 build (cvlgz.dll on zlib and our tar reader,
// cvftc.dll on WinINet) run under wine64 through cvdt_companion_probe.exe, on archives packed
// here with libarchive (hostile ones included) and against the loopback HTTP and FTP servers:
// the same rules as the Linux libraries, checked on the files Wine wrote.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "WineProgram.h"
#include "companions/ArchiveBuilder.h"
#include "companions/LgzFixture.h"
#include "support/LoopbackFtpServer.h"
#include "support/LoopbackHttpServer.h"
#include "support/TestMachine.h"

namespace {

namespace fs = std::filesystem;
using cvdt::test::ArchiveBuilder;
using cvdt::test::randomBytes;
using cvdt::test::ServedFile;
using cvdt::test::Tree;
using cvdt::test::treeOf;
using cvdt::test::WineProgram;

// A tree with large contents shown by size and hash, so that a failed comparison stays readable.
Tree summary(Tree tree) {
  for (auto& [name, content] : tree)
    if (content.size() > 64)
      content = "<" + std::to_string(content.size()) + " bytes, hash " +
                std::to_string(std::hash<std::string>()(content)) + ">";
  return tree;
}

// The tree of a folder, summarised.
Tree treeAt(const std::string& folder) { return summary(treeOf(folder)); }

class WineCompanionsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string why = WineProgram::unavailable();
    if (!why.empty()) GTEST_SKIP() << why;
    m_base = cvdt::test::makeTempFolder("cvdt-wine");
    fs::create_directories(m_base + "/packages");
    std::ofstream(m_base + "/outside.txt") << "untouched";
  }
  void TearDown() override {
    if (!m_base.empty()) fs::remove_all(m_base);
  }

  std::string target() const { return m_base + "/target"; }
  std::string archiveBase() const { return m_base + "/packages/pkg"; }

  int writeArchive(const std::string& bytes, size_t volumeSize) {
    return ArchiveBuilder::writeVolumes(archiveBase(), bytes, volumeSize);
  }
  // Extracts packages/pkg.lgz into target; "extracted" or "failed: why".
  std::string extract() {
    int code = 0;
    std::string output = probe({"lgz", WineProgram::windowsPath(WineProgram::stageFolder()),
                                WineProgram::windowsPath(target()),
                                WineProgram::windowsPath(archiveBase() + ".lgz")},
                               code);
    EXPECT_TRUE(code == 0 || code == 1) << output;
    return output;
  }
  std::string probe(std::vector<std::string> arguments, int& code) {
    return WineProgram::run(std::string(CVDT_WIN64_BUILD) + "/tests/cvdt_companion_probe.exe",
                            arguments, code);
  }
  // Only the target and the packages: nothing was written anywhere else.
  void expectNothingOutsideTarget(const char* label) {
    std::ifstream outside(m_base + "/outside.txt");
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(outside), {}), "untouched") << label;
    for (const auto& entry : fs::directory_iterator(m_base)) {
      std::string name = entry.path().filename().string();
      EXPECT_TRUE(name == "target" || name == "packages" || name == "outside.txt") << label << ": " << name;
    }
  }

  std::string m_base;
};

TEST_F(WineCompanionsTest, ExtractsArchivesAndVolumeSetsAndMergesIntoTheDestination) {
  std::string app = randomBytes(1 << 20, 21);
  std::string bytes = ArchiveBuilder()
                          .folder("./")
                          .folder("bin")
                          .file("bin/app.exe", app)
                          .file("readme.txt", "hello")
                          .file("empty.dat", "")
                          .file("deep/a/b/c/file.txt", "deep")
                          .file("Windows\\style\\name.txt", "backslashes")
                          .file(std::string(150, 'n') + "/long-name-in-pax-or-prefix.txt", "long")
                          .hardlink("bin/copy.exe", "bin/app.exe")
                          .bytes();
  Tree expected = {{"bin", "<dir>"},
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
                   {std::string(150, 'n'), "<dir>"},
                   {std::string(150, 'n') + "/long-name-in-pax-or-prefix.txt", "long"}};
  for (size_t volumeSize : {size_t{0}, size_t{256} << 10, size_t{1000}}) {
    fs::remove_all(target());
    fs::remove_all(m_base + "/packages");
    fs::create_directories(m_base + "/packages");
    int volumes = writeArchive(bytes, volumeSize);
    EXPECT_EQ(extract(), "extracted\n") << volumes << " volumes";
    EXPECT_EQ(treeAt(target()), summary(expected)) << volumes << " volumes";
  }
  // Into a destination that holds files: the archive's replace theirs (a read-only one too),
  // files it does not name stay, and no staging folder is left behind.
  fs::remove_all(target());
  fs::create_directories(target());
  std::ofstream(target() + "/readme.txt") << "old";
  std::ofstream(target() + "/keep.txt") << "keep";
  fs::permissions(target() + "/readme.txt", fs::perms::owner_write | fs::perms::group_write |
                                                fs::perms::others_write, fs::perm_options::remove);
  writeArchive(ArchiveBuilder().file("readme.txt", "new").bytes(), 0);
  EXPECT_EQ(extract(), "extracted\n");
  Tree merged = treeAt(target());
  EXPECT_EQ(merged, (Tree{{"readme.txt", "new"}, {"keep.txt", "keep"}}));
  expectNothingOutsideTarget("merge");
}

TEST_F(WineCompanionsTest, RefusesWhatTheLinuxLibraryRefusesAndLeavesTheDestinationAlone) {
  struct Case {
    const char* name;
    ArchiveBuilder archive;
  } cases[] = {
      {"dot-dot", ArchiveBuilder().file("ok.txt", "x").file("../escape.txt", "x")},
      {"dot-dot inside", ArchiveBuilder().file("sub/../../escape.txt", "x")},
      {"backslash dot-dot", ArchiveBuilder().file("..\\escape.txt", "x")},
      {"absolute", ArchiveBuilder().file(m_base + "/escape.txt", "x")},
      {"drive", ArchiveBuilder().file("C:\\escape.txt", "x")},
      {"stream", ArchiveBuilder().file("file.txt:stream", "x")},
      {"symlink", ArchiveBuilder().file("ok.txt", "x").symlink("link", "ok.txt")},
      {"symlink up", ArchiveBuilder().symlink("link", "..").file("link/escape.txt", "x")},
      {"hardlink up", ArchiveBuilder().hardlink("hl", "../outside.txt")},
      {"hardlink to nothing", ArchiveBuilder().hardlink("hl", "missing.txt")},
      {"sparse", ArchiveBuilder().sparseFile("sparse.bin", 1 << 20, "data")},
  };
  for (Case& c : cases) {
    fs::remove_all(target());
    fs::create_directories(target());
    std::ofstream(target() + "/before.txt") << "before";
    writeArchive(c.archive.bytes(), 0);
    std::string result = extract();
    EXPECT_EQ(result.rfind("failed: refused", 0), 0u) << c.name << ": " << result;
    EXPECT_EQ(treeAt(target()), (Tree{{"before.txt", "before"}})) << c.name;
    expectNothingOutsideTarget(c.name);
  }
}

TEST_F(WineCompanionsTest, ReadingEndsWithTheMemberAndDamageFailsTheWholeArchive) {
  std::string big = randomBytes(3 << 20, 22);
  std::string bytes = ArchiveBuilder().file("first.txt", "complete").file("big.bin", big).bytes();
  // A longer archive's volumes left in the folder: the shorter one's member ends before them.
  std::string longer = ArchiveBuilder().file("old-only.bin", randomBytes(5 << 20, 23)).bytes();
  writeArchive(longer, 1 << 20);
  int volumes = writeArchive(bytes, 1 << 20);
  EXPECT_EQ(extract(), "extracted\n");
  Tree tree = treeOf(target());
  EXPECT_EQ(tree.count("old-only.bin"), 0u);
  EXPECT_EQ(tree["big.bin"] == big, true);

  struct Case {
    const char* name;
    std::function<void()> damage;
  } cases[] = {
      {"missing last volume", [&] { fs::remove(archiveBase() + ".l0000" + std::to_string(volumes - 1)); }},
      {"one byte changed", [&] {
         std::fstream volume(archiveBase() + ".l00001", std::ios::in | std::ios::out | std::ios::binary);
         volume.seekp(5000);
         volume.put('\x5a');
       }},
      {"a second member", [&] {
         fs::remove_all(m_base + "/packages");
         fs::create_directories(m_base + "/packages");
         writeArchive(ArchiveBuilder().file("a", "a").bytes() + ArchiveBuilder().file("b", "b").bytes(), 0);
       }},
      {"not an archive", [&] { std::ofstream(archiveBase() + ".lgz", std::ios::trunc) << "plain text"; }},
  };
  for (Case& c : cases) {
    fs::remove_all(target());
    fs::remove_all(m_base + "/packages");
    fs::create_directories(m_base + "/packages");
    writeArchive(bytes, 1 << 20);
    c.damage();
    std::string result = extract();
    EXPECT_EQ(result.rfind("failed: ", 0), 0u) << c.name << ": " << result;
    EXPECT_EQ(treeAt(target()), Tree{}) << c.name;
    expectNothingOutsideTarget(c.name);
  }
}

TEST_F(WineCompanionsTest, FetchesWholeFilesOverHttpAndFtpOrLeavesNothing) {
  std::string payload = randomBytes(3 << 20, 24);
  cvdt::test::LoopbackHttpServer http;
  http.addFile("/Corvane/dist/normal/7/pkg.lgz", ServedFile::of(payload));
  http.addFile("/Corvane/dist/normal/7/short.bin", ServedFile::of(payload, ServedFile::Fault::ShortBody));
  ASSERT_TRUE(http.start());
  std::string stage = WineProgram::windowsPath(WineProgram::stageFolder());
  std::string local = WineProgram::windowsPath(m_base + "/packages");
  std::ofstream(m_base + "/packages/missing.bin") << "an older file";
  int code = 0;
  std::string output =
      probe({"ftc", stage, "http", "", "127.0.0.1", std::to_string(http.port()), "1",
             "/Corvane/dist/normal/7/pkg.lgz", local + "\\pkg.lgz",
             "/Corvane/dist/normal/7/missing.bin", local + "\\missing.bin",
             "/Corvane/dist/normal/7/short.bin", local + "\\short.bin"},
            code);
  EXPECT_EQ(code, 1) << output;
  EXPECT_NE(output.find("get /Corvane/dist/normal/7/pkg.lgz ok "), std::string::npos) << output;
  EXPECT_NE(output.find("get /Corvane/dist/normal/7/missing.bin failed "), std::string::npos) << output;
  EXPECT_NE(output.find("get /Corvane/dist/normal/7/short.bin failed "), std::string::npos) << output;
  // The whole file, and nothing of the failed ones (the older file at a failed path is gone).
  EXPECT_EQ(treeAt(m_base + "/packages"), summary(Tree{{"pkg.lgz", payload}})) << output;

  // Nothing listens there; an unknown protocol name.
  http.stop();
  output = probe({"ftc", stage, "http", "", "127.0.0.1", std::to_string(http.port()), "1", "/x", local + "\\x"}, code);
  EXPECT_EQ(code, 2) << output;
  output = probe({"ftc", stage, "gopher", "", "127.0.0.1", "70", "1", "/x", local + "\\x"}, code);
  EXPECT_EQ(code, 2) << output;

  cvdt::test::LoopbackFtpServer ftp;
  ftp.requireCredentials("dist", "s3cret");
  ftp.addFile("/Corvane/dist/auto/9/part.l00001", ServedFile::of(payload));
  ASSERT_TRUE(ftp.start());
  for (const char* mode : {"1", "0"}) {  // passive, then active
    fs::remove_all(m_base + "/packages");
    fs::create_directories(m_base + "/packages");
    output = probe({"ftc", stage, "ftp", "dist:s3cret", "127.0.0.1", std::to_string(ftp.port()), mode,
                    "/Corvane/dist/auto/9/part.l00001", local + "\\part.l00001"},
                   code);
    EXPECT_EQ(code, 0) << "mode " << mode << ": " << output;
    EXPECT_EQ(treeAt(m_base + "/packages"), summary(Tree{{"part.l00001", payload}})) << "mode " << mode;
  }
  EXPECT_GE(ftp.passiveTransfers(), 1);
  EXPECT_GE(ftp.activeTransfers(), 1);
  output = probe({"ftc", stage, "ftp", "dist:wrong", "127.0.0.1", std::to_string(ftp.port()), "1", "/x", local + "\\x"}, code);
  EXPECT_EQ(code, 2) << output;  // a refused login is a failed connect
}

// The milliseconds a probe line "get REMOTE ok|failed N ms" reports for remote, or -1.
long long fetchMs(const std::string& output, const std::string& remote, const char* result) {
  std::string needle = "get " + remote + " " + result + " ";
  size_t at = output.find(needle);
  return at == std::string::npos ? -1 : std::atoll(output.c_str() + at + needle.size());
}

TEST_F(WineCompanionsTest, AStopEventOrAStalledServerEndsAFetchEarlyAndLeavesNothing) {
  cvdt::test::LoopbackHttpServer http;
  // 4 MiB at 1 KiB every 50 ms would take more than three minutes.
  ServedFile slow = ServedFile::of(randomBytes(4 << 20, 25), ServedFile::Fault::Slow);
  slow.slowChunk = 1024;
  slow.slowPauseMs = 50;
  http.addFile("/slow.bin", slow);
  http.addFile("/stall.bin", ServedFile::of(randomBytes(4 << 20, 26), ServedFile::Fault::Stall));
  ASSERT_TRUE(http.start());
  std::string stage = WineProgram::windowsPath(WineProgram::stageFolder());
  std::string local = WineProgram::windowsPath(m_base + "/packages");
  int code = 0;
  // The stop comes 1.5 s after the connect, while the file trickles in; the connection's next
  // fetch fails at once.
  std::string output = probe({"ftc-stop", stage, "1500", "http", "", "127.0.0.1",
                              std::to_string(http.port()), "1", "/slow.bin", local + "\\slow.bin",
                              "/slow.bin", local + "\\again.bin"},
                             code);
  EXPECT_EQ(code, 1) << output;
  long long stopped = fetchMs(output, "/slow.bin", "failed");
  EXPECT_GE(stopped, 1000) << output;
  EXPECT_LT(stopped, 5000) << output;  // 1.53 s on the development machine
  size_t second = output.find("get /slow.bin failed", output.find("get /slow.bin failed") + 1);
  ASSERT_NE(second, std::string::npos) << output;
  EXPECT_LT(fetchMs(output.substr(second), "/slow.bin", "failed"), 100) << output;
  EXPECT_EQ(treeAt(m_base + "/packages"), Tree{}) << output;
  http.cutConnections();

  // A server that goes silent half-way fails the fetch at the stall limit.
  setenv("CVDT_FTC_LOW_SPEED_SECONDS", "3", 1);
  output = probe({"ftc", stage, "http", "", "127.0.0.1", std::to_string(http.port()), "1",
                  "/stall.bin", local + "\\stall.bin"},
                 code);
  unsetenv("CVDT_FTC_LOW_SPEED_SECONDS");
  long long stalled = fetchMs(output, "/stall.bin", "failed");
  EXPECT_GE(stalled, 2500) << output;
  EXPECT_LT(stalled, 8000) << output;  // the stall limit, not the 10-second server check's
  EXPECT_EQ(treeAt(m_base + "/packages"), Tree{}) << output;
  http.cutConnections();
}

}  // namespace
