// cvdt-pack refuses bad options, folders and file names with a message and a non-zero exit (2
// for a wrong command line, 1 for work that failed), and leaves nothing behind on the server
// root when it does.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "InProcessTool.h"
#include "PackCli.h"
#include "PackTestSupport.h"

using ::testing::HasSubstr;

namespace cvdt::test::pack {
namespace {

namespace fs = std::filesystem;

// base with the options of extra: an option base already has gets extra's value, the rest is
// appended.
std::vector<std::string> withOptions(std::vector<std::string> base,
                                     const std::vector<std::string>& extra) {
  for (size_t i = 0; i < extra.size(); ++i) {
    const auto found = std::find(base.begin(), base.end(), extra[i]);
    if (found != base.end() && found + 1 != base.end() && i + 1 < extra.size()) {
      *(found + 1) = extra[++i];
    } else {
      base.push_back(extra[i]);
    }
  }
  return base;
}

class CvdtPackInputTest : public PackFolderTest {
 protected:
  std::vector<std::string> normal(const std::vector<std::string>& extra) const {
    return withOptions({"normal", "--id", "1", "--name", "n", "--src", m_src, "--out", m_out},
                       extra);
  }
  std::vector<std::string> automatic(const std::vector<std::string>& extra) const {
    return withOptions({"auto", "--id", "1", "--name", "n", "--dest", "C:\\A", "--src", m_src,
                        "--out", m_out},
                       extra);
  }
  void expectRefused(const std::vector<std::string>& args, const std::string& message,
                     int status = 1) {
    const ProcessResult run = runInProcess(cvdt::pack::PackCli::run, "cvdt-pack", args);
    EXPECT_EQ(run.exitStatus, status) << run.out << run.err;
    EXPECT_THAT(run.err, HasSubstr(message)) << "stderr: " << run.err;
    EXPECT_EQ(run.out, "");
    std::vector<std::string> written;
    for (const auto& item : fs::recursive_directory_iterator(m_out)) {
      if (item.is_regular_file()) written.push_back(item.path());
    }
    EXPECT_TRUE(written.empty()) << written.front();
  }
};

TEST_F(CvdtPackInputTest, BadOptionsAreRefused) {
  writeBytes(m_src + "/run.bat", "x");
  struct Row {
    std::vector<std::string> args;
    std::string message;
    int status;
  };
  const std::vector<Row> rows = {
      {{"normal", "--id", "1", "--id", "2", "--name", "n", "--src", m_src, "--out", m_out},
       "--id given twice",
       2},
      {{"normal", "--name", "n", "--src", m_src, "--out", m_out}, "--id is required", 2},
      {normal({"--id", "010x"}), "--id must be a number from 1 to 2147483647, not '010x'", 2},
      {normal({"--part-size", "0"}), "--part-size must be a positive byte count", 2},
      {normal({"--exec-user", "X"}), "--exec-user must be one of S, L, C", 2},
      {normal({"--exec", "missing.exe"}), "--exec missing.exe is not a file", 1},
      {normal({"--exec", "x"}), "--exec needs a name of 2 or more", 1},
      {normal({"--name", std::string(65, 'n')}), "--name is longer than 64 bytes", 2},
      {normal({"--name", "a|@b"}), "must not contain \"|@\"", 1},
      {automatic({"--program", "none.exe"}), "--program none.exe is not a file", 1},
      {normal({"--sys-file", "../run.bat"}), "--sys-file must stay inside the package", 2},
      {normal({"--sys-file", "/etc/passwd"}), "--sys-file must be relative", 2},
      {normal({"--description", "a|$b"}), "--description must not contain \"|$\"", 2},
      {normal({"--name", "bad\xFF"}), "--name is not valid UTF-8", 2},
      {{"normal", "--id", "1", "--name", "n", "--src", m_folder + "/none", "--out", m_out},
       "source folder",
       1},
      {{"normal", "--id", "1", "--name", "n", "--src", m_src, "--out", m_src + "/run.bat/www"},
       "cannot create the output root",
       1},
      {automatic({"--dest", "App"}), "--dest must be a drive path", 2},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.message);
    expectRefused(row.args, row.message, row.status);
  }
}

// The server root and the folders above it are made when missing, as mkdir -p does. 01 is
// package 1: a leading zero is never octal.
TEST_F(CvdtPackInputTest, OutputRootIsCreated) {
  writeBytes(m_src + "/a.txt", "a");
  const std::string root = m_out + "/new/deeper/www";
  PackRun run = runPack(withOptions(normal({}), {"--out", root, "--id", "01"}));
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_TRUE(fs::is_regular_file(root + "/Corvane/dist/normal/1.idx.lgz"));
}

// Names a Windows machine cannot hold, or that the index could not carry, stop the packing.
TEST_F(CvdtPackInputTest, SourceTreesWindowsCannotHoldAreRefused) {
  struct Row {
    std::string name;
    std::string message;
  };
  const std::vector<Row> rows = {
      {"back\\slash.txt", "character Windows does not allow"},
      {"trailing.", "ends in a dot or a space"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.message);
    writeBytes(m_src + "/" + row.name, "x");
    expectRefused(normal({}), row.message);
    fs::remove(m_src + "/" + row.name);
  }
  writeBytes(m_src + "/Same.txt", "x");
  writeBytes(m_src + "/same.txt", "y");
  expectRefused(normal({}), "differ only in letter case");
  fs::remove(m_src + "/same.txt");
  fs::create_symlink("Same.txt", m_src + "/link.txt");
  expectRefused(automatic({}), "only folders and plain files");
  fs::remove(m_src + "/link.txt");
  ASSERT_EQ(mkfifo((m_src + "/pipe").c_str(), 0600), 0);
  expectRefused(normal({}), "only folders and plain files");
}

TEST_F(CvdtPackInputTest, UnreadableFilesAreRefused) {
  if (geteuid() == 0) GTEST_SKIP() << "root reads every file";
  writeBytes(m_src + "/secret.txt", "x");
  fs::permissions(m_src + "/secret.txt", fs::perms::none);
  expectRefused(normal({}), "cannot read");
}

}  // namespace
}  // namespace cvdt::test::pack
