// cvdtndlg.exe, the commanded progress dialog, run from a test machine's module folder against
// the registry record that a job writes.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <string>
#include <vector>

#include "NGenDistTestAccess.h"
#include "detect/NRegistry.h"
#include "gendist/NDtDlgRecord.h"
#include "support/TestMachine.h"

namespace {

using cvdt::test::TestMachine;
using Args = std::vector<std::string>;

constexpr const char* kToken = "7E2A9F04B13D";

std::string shellQuoted(const std::string& text) {
  std::string quoted = "'";
  for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

// The dialog as the module starts it, after the test's options.
Args moduleArguments(const std::string& distId) {
  return {kToken, distId, "Office Suite", "2.1", "Word and more", "Corvane Agent", "0", "0", "4321"};
}

class CvdtNDlgTest : public testing::Test {
 protected:
  CvdtNDlgTest() {
    job().distId() = "42";
    job().showProgress() = true;
  }

  NGenDistTestAccess job() { return NGenDistTestAccess(m_job); }
  bool haveDialog() const {
    return m_machine.readFile(m_machine.config().moduleFolder + "\\cvdtndlg.exe") != "<missing>";
  }
  // Starts the dialog with standard error joined to standard output.
  FILE* start(const Args& arguments) const {
    std::string line = shellQuoted(m_machine.host(m_machine.config().moduleFolder + "\\cvdtndlg.exe"));
    for (const std::string& argument : arguments) line += " " + shellQuoted(argument);
    return popen((line + " 2>&1").c_str(), "r");
  }
  // Reads one line; empty at the end.
  static std::string readLine(FILE* out) {
    char buffer[1024];
    return std::fgets(buffer, sizeof buffer, out) ? std::string(buffer) : std::string();
  }
  // Reads everything and returns the exit status.
  static int finish(FILE* out, std::string& rest) {
    for (std::string line = readLine(out); !line.empty(); line = readLine(out)) rest += line;
    int status = pclose(out);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  int run(const Args& arguments, std::string& output) const { return finish(start(arguments), output); }

  TestMachine m_machine;
  NGenDist m_job;
};

TEST_F(CvdtNDlgTest, RefusesAWrongLaunchTokenOrAMissingId) {
  if (!haveDialog()) GTEST_SKIP() << "cvdtndlg.exe is not in the stage";
  Args wrong = moduleArguments("42");
  wrong[0] = "7E2A9F04B13E";
  std::string output;
  EXPECT_EQ(run(wrong, output), 2);
  EXPECT_NE(output.find("wrong launch token"), std::string::npos) << output;
  output.clear();
  EXPECT_EQ(run({kToken}, output), 1);
  EXPECT_NE(output.find("usage:"), std::string::npos) << output;
}

TEST_F(CvdtNDlgTest, OnceDrawsTheRecordTheJobWrote) {
  if (!haveDialog()) GTEST_SKIP() << "cvdtndlg.exe is not in the stage";
  m_job.dialogUpdate(45, "070", "Downloading the package files (45 %)", 1);
  Args arguments = moduleArguments("42");
  arguments.insert(arguments.begin(), "--once");
  std::string output;
  EXPECT_EQ(run(arguments, output), 0);
  EXPECT_EQ(output,
            "Corvane Agent: Office Suite 2.1\nWord and more\n"
            "[#########-----------]  45%  070  Downloading the package files (45 %)\n");

  arguments[2] = "43";  // a distribution without a record
  output.clear();
  EXPECT_EQ(run(arguments, output), 3);
  EXPECT_NE(output.find("ndtdlg_cfg_43"), std::string::npos) << output;
}

TEST_F(CvdtNDlgTest, FollowsTheRecordUntilTheJobEndsOrTheRecordGoes) {
  if (!haveDialog()) GTEST_SKIP() << "cvdtndlg.exe is not in the stage";
  struct Row {
    const char* status;  // the last record; null: the record is removed
    const char* lastLine;
  } rows[] = {
      {"060", "[####################] 100%  060  Done\n"},
      {nullptr, ""},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.status ? row.status : "removed");
    m_job.dialogUpdate(10, "070", "Downloading", 1);
    Args arguments = moduleArguments("42");
    arguments.insert(arguments.begin(), {"--interval-ms", "10", "--linger-ms", "0"});
    FILE* out = start(arguments);
    ASSERT_NE(out, nullptr);
    EXPECT_EQ(readLine(out), "Corvane Agent: Office Suite 2.1\n");
    EXPECT_EQ(readLine(out), "Word and more\n");
    EXPECT_EQ(readLine(out), "[##------------------]  10%  070  Downloading\n");
    if (row.status != nullptr) {
      m_job.dialogUpdate(100, row.status, "Done", 1);
    } else {
      NRegistry registry;
      ASSERT_TRUE(registry.open(plat::RegRoot::LocalMachine, kAgentKey, true, false, false));
      EXPECT_TRUE(registry.deleteValue((std::string(kNDtDlgRecordPrefix) + "42").c_str()));
    }
    std::string rest;
    EXPECT_EQ(finish(out, rest), 0);
    EXPECT_EQ(rest, row.lastLine);
  }
}

}  // namespace
