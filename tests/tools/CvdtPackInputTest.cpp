// cvdt-pack refuses bad options, folders and file names with a message and a non-zero exit,
// and leaves nothing behind on the server root when it does.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "PackTestSupport.h"

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
  void expectRefused(const std::vector<std::string>& args, const std::string& message) {
    const PackRun run = runPack(args);
    EXPECT_NE(run.status, 0) << run.out;
    EXPECT_NE(run.err.find(message), std::string::npos) << "stderr: " << run.err;
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
  const std::string longName(65, 'n');
  const std::vector<std::pair<std::vector<std::string>, std::string>> rows = {
      {{"normal", "--name", "n", "--src", m_src, "--out", m_out}, "--id is required"},
      {{"normal", "--id", "1", "--id", "2", "--name", "n", "--src", m_src, "--out", m_out},
       "--id given twice"},
      {normal({"--bogus", "1"}), "unknown option --bogus"},
      {normal({"--agree=Y"}), "--agree takes no value"},
      {normal({"--version"}), "--version needs a value"},
      {normal({"stray"}), "unexpected argument 'stray'"},
      {normal({"--part-size", "0"}), "--part-size must be a positive byte count"},
      {normal({"--part-size", "12X"}), "--part-size must be a positive byte count"},
      {normal({"--exec-user", "X"}), "--exec-user must be one of S, L, C"},
      {normal({"--kind", "FOO"}), "--kind must be NDT, SWDT or DELDT"},
      {normal({"--sw-id", "-2"}), "--sw-id must be a number"},
      {normal({"--exec", "missing.exe"}), "--exec missing.exe is not a file"},
      {normal({"--exec", "x"}), "--exec needs a name of 2 or more"},
      {normal({"--reg-file", "r.r"}), "--reg-file r.r is not a file"},
      {normal({"--sys-file", "../run.bat"}), "--sys-file must stay inside the package"},
      {normal({"--sys-file", "/etc/passwd"}), "--sys-file must be relative"},
      {normal({"--description", "a|$b"}), "--description must not contain \"|$\""},
      {normal({"--base-folder", "relative\\x"}), "--base-folder must be a drive path"},
      {normal({"--name", longName}), "--name is longer than 64 bytes"},
      {normal({"--name", "a|@b"}), "must not contain \"|@\""},
      {normal({"--name", "bad\xFF"}), "--name is not valid UTF-8"},
      {{"normal", "--id", "1", "--name", "n", "--src", m_folder + "/none", "--out", m_out},
       "source folder"},
      {{"normal", "--id", "1", "--name", "n", "--src", m_src + "/run.bat", "--out", m_out},
       "is not a folder"},
      {{"normal", "--id", "1", "--name", "n", "--src", m_src, "--out", m_folder + "/none"},
       "output root"},
      {automatic({"--dest", "App"}), "--dest must be a drive path"},
      {automatic({"--account", "Q"}), "--account must be one of S, L, C"},
      {automatic({"--args", std::string(100, 'a')}), "--args is longer than 99 bytes"},
      {automatic({"--name", "a|*b"}), "--name must not contain \"|*\""},
      {automatic({"--program", "none.exe"}), "--program none.exe is not a file"},
      {automatic({"--update-id", "x"}), "--update-id must be a number"},
      {{"unpack"}, "unpack takes ARCHIVE [DEST]"},
      {{"check", m_folder + "/none"}, "is not a folder"},
      {{"frobnicate"}, "unknown command"},
  };
  for (const auto& [args, message] : rows) {
    SCOPED_TRACE(message);
    expectRefused(args, message);
  }
}

// Names a Windows machine cannot hold, or that the index could not carry, stop the packing.
TEST_F(CvdtPackInputTest, SourceTreesWindowsCannotHoldAreRefused) {
  struct Row {
    std::string name;
    std::string message;
  };
  const std::vector<Row> rows = {
      {"back\\slash.txt", "character Windows does not allow"},
      {"colon:.txt", "character Windows does not allow"},
      {"trailing.", "ends in a dot or a space"},
      {"bad\xFF.txt", "not valid UTF-8"},
      {"line\nbreak.txt", "character Windows does not allow"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.message);
    writeBytes(m_src + "/" + row.name, "x");
    expectRefused(normal({}), row.message);
    expectRefused(automatic({}), row.message);
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
  expectRefused(automatic({}), "cannot read");
}

}  // namespace
}  // namespace cvdt::test::pack
