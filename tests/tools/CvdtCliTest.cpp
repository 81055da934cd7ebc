// The command-line front end the four tools share: help on every command, `help COMMAND`,
// --version, strict numbers, one exit-code policy (0 done, 1 failed, 2 wrong command line), JSON
// that parses, bash completion from the option definitions, and progress only on a terminal.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "GatewayCli.h"
#include "HostCli.h"
#include "InProcessTool.h"
#include "NCliApp.h"
#include "ReportCollector.h"
#include "support/Subprocess.h"
#include "support/TestMachine.h"

using ::testing::HasSubstr;

namespace {

namespace fs = std::filesystem;

using ToolRun = cvdt::test::ProcessResult;
using cvdt::test::Subprocess;

std::string shellQuote(const std::string& text) {
  std::string quoted = "'";
  for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

std::string readAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

ToolRun runShell(const std::string& command) { return Subprocess::shell(command).run(); }

ToolRun runTool(const std::string& program, const std::vector<std::string>& args) {
  return Subprocess(program).run(args);
}

using cvdt::test::runInProcess;
using cvdt::test::ToolMain;

// One command line and what it must give: the exit code and texts each stream must hold. A line
// that succeeds prints nothing to stderr; one that fails prints nothing to stdout.
struct Line {
  std::vector<std::string> args;
  int status;
  std::vector<std::string> out, err;
};

void expectLines(ToolMain tool, const char* program, const std::vector<Line>& lines) {
  for (const Line& line : lines) {
    std::string shown = program;
    for (const std::string& arg : line.args) shown += " " + arg;
    SCOPED_TRACE(shown);
    const ToolRun run = runInProcess(tool, program, line.args);
    EXPECT_EQ(run.exitStatus, line.status) << run.out << run.err;
    for (const std::string& part : line.out) EXPECT_THAT(run.out, HasSubstr(part));
    for (const std::string& part : line.err) EXPECT_THAT(run.err, HasSubstr(part));
    if (line.status == 0) {
      EXPECT_EQ(run.err, "");
    } else if (line.status == 2) {
      EXPECT_EQ(run.out, "");
      EXPECT_THAT(run.err, HasSubstr("--help' for the options."));
    }
  }
}

std::string versionLine(const char* tool) { return cvdt::cli::NCliApp::versionText(tool) + "\n"; }

// The front end's paths once each (help, help COMMAND, version, usage errors with exit 2, strict
// numbers, work that failed with exit 1); a leading zero is decimal, as every number an operator
// types.
TEST(CvdtCliTest, CommandLines) {
  const std::string folder = cvdt::test::makeTempFolder("cvdt-cli");
  const std::string dir = folder + "/m", db = folder + "/g.db";
  expectLines(
      cvdt::host::HostCli::run, "cvdt-host",
      {
          {{"--help"},
           0,
           {"Usage: cvdt-host [OPTIONS] SUBCOMMAND", "machine", "agent", "Example:"},
           {}},
          {{"help", "machine", "init"},
           0,
           {"Usage: cvdt-host machine init", "--drive", "Example:"},
           {}},
          {{"--version"}, 0, {versionLine("cvdt-host")}, {}},
          {{"help", "nonsense"}, 2, {}, {"cvdt-host: no command 'nonsense'"}},
          {{"machine", "grow"}, 2, {}, {"cvdt-host machine: unknown command 'grow'"}},
          {{"registry", "show", "HKXX\\SOFTWARE"},
           2,
           {},
           {"cvdt-host registry show: unknown root"}},
          {{"machine", "init", dir, "--language", "abc"},
           2,
           {},
           {"cvdt-host machine init: --language: 'abc' is not a decimal number from 0 to 65535"}},
          {{"reports", "--seconds", "99999999999999999999999"},
           2,
           {},
           {"--seconds: '99999999999999999999999'"}},
          {{"agent", "--script", folder + "/none.txt"},
           1,
           {},
           {"cvdt-host agent: cannot read " + folder + "/none.txt"}},
      });
  EXPECT_FALSE(fs::exists(dir));
  expectLines(
      cvdt::gateway::GatewayCli::run, "cvdt-gateway",
      {
          {{"target", "add", "--db", db, "--dist", "012", "--name", "N", "--policy", "<p/>"},
           0,
           {"added target 1\n"},
           {}},
          {{"target", "list", "--db", db, "--dist", "00012", "--json"}, 0, {"\"dist_id\":12,"}, {}},
          {{"status", "--db", db, "--interval", "0"},
           2,
           {},
           {"--interval: '0' is not a decimal number from 1 to 3600"}},
      });
  fs::remove_all(folder);
}

// The version names the commit the sources are at, even one made after the build was configured.
TEST(CvdtCliTest, VersionNamesTheCommitOfTheCheckout) {
  ToolRun head = runShell("git -C " + shellQuote(CVDT_SOURCE_DIR) + " log -1 --format='%ct %H'");
  if (head.exitStatus != 0) GTEST_SKIP() << "not built from a git checkout";
  const long long committedAt = std::stoll(head.out);
  const std::string commit = head.out.substr(head.out.find(' ') + 1, 12);
  auto builtAt = std::chrono::duration_cast<std::chrono::seconds>(
      std::chrono::file_clock::to_sys(fs::last_write_time(CVDT_HOST_PATH)).time_since_epoch());
  if (builtAt.count() < committedAt) GTEST_SKIP() << "the program was built before the last commit";
  const std::string version = runTool(CVDT_HOST_PATH, {"--version"}).out;
  EXPECT_THAT(version, HasSubstr("(commit "));
  EXPECT_THAT(version, HasSubstr(commit)) << version << " built; the checkout is at " << commit;
}

// The result lines of `cvdt-host agent` and `reports` stay JSON whatever the module reported.
TEST(CvdtCliTest, ResultLinesParseWithEveryByteOfTheDetail) {
  cvdt::test::TestMachine machine;
  cvdt::host::CommandResult result;
  result.source = "file";
  result.cmdId = 4294967295u;
  result.dateTime = "20260102030405";
  result.code = "060";
  result.detail = std::string("tab\tquote\" back\\ nl\n ctl\x01 bad\xFF end");
  result.unitKey = "WS1";
  nlohmann::json line = nlohmann::json::parse(cvdt::host::ReportCollector::toJson(result));
  EXPECT_EQ(line["cmd_id"], 4294967295u);
  EXPECT_EQ(line["code"], "060");
  EXPECT_EQ(line["unit_key"], "WS1");
  // A byte that is no UTF-8 becomes U+FFFD, everything else comes back as it was.
  EXPECT_EQ(line["detail"], "tab\tquote\" back\\ nl\n ctl\x01 bad\xEF\xBF\xBD end");
  result.source = "queue";
  EXPECT_FALSE(nlohmann::json::parse(cvdt::host::ReportCollector::toJson(result)).contains("unit_key"));
}

// Progress is drawn on a terminal and not at all into a pipe; the records are the same.
TEST(CvdtCliTest, ProgressOnlyOnATerminal) {
  if (runShell("command -v script >/dev/null").exitStatus != 0)
    GTEST_SKIP() << "no 'script' program";
  const std::string folder = cvdt::test::makeTempFolder("cvdt-cli-progress");
  fs::create_directories(folder + "/src");
  std::ofstream(folder + "/src/big.bin") << std::string(3 << 20, 'x');
  std::string command = shellQuote(CVDT_PACK_PATH) + " normal --id 5 --name P --src " +
                        shellQuote(folder + "/src") + " --out " + shellQuote(folder + "/www");
  ToolRun piped = runShell(command);
  ASSERT_EQ(piped.exitStatus, 0) << piped.err;
  EXPECT_EQ(piped.out.find_first_of("\r\033"), std::string::npos) << piped.out;
  ToolRun terminal = runShell("script -qec " + shellQuote(command) + " /dev/null");
  ASSERT_EQ(terminal.exitStatus, 0) << terminal.out;
  EXPECT_THAT(terminal.out, HasSubstr("\r\033[Kpacking "));
  EXPECT_THAT(terminal.out, HasSubstr("contents=5|$P|$"));
  fs::remove_all(folder);
}

// On a terminal `status --watch` redraws the screen with each reading, and ends with 0 on SIGINT.
TEST(CvdtCliTest, StatusWatchRedrawsATerminal) {
  if (runShell("command -v script >/dev/null").exitStatus != 0)
    GTEST_SKIP() << "no 'script' program";
  const std::string folder = cvdt::test::makeTempFolder("cvdt-cli-watch");
  const std::string db = folder + "/g.db";
  ASSERT_EQ(
      runInProcess(cvdt::gateway::GatewayCli::run, "cvdt-gateway",
                   {"target", "add", "--db", db, "--dist", "3", "--name", "N", "--policy", ""})
          .exitStatus,
      0);
  // SIGINT after 4 s: the first reading comes at once, however busy the machine.
  std::string watch = "timeout --preserve-status -s INT 4 " + shellQuote(CVDT_GATEWAY_PATH) +
                      " status --db " + shellQuote(db) + " --watch --interval 1";
  ToolRun terminal = runShell("script -qec " + shellQuote(watch) + " /dev/null");
  EXPECT_EQ(terminal.exitStatus, 0) << terminal.out;
  EXPECT_THAT(terminal.out, HasSubstr("\033[H\033[2J" + db + "  every 1s, "));
  EXPECT_THAT(terminal.out, HasSubstr("Commanded distribution (0)"));
  fs::remove_all(folder);
}

// The completion script each tool prints (and the build installs) completes commands, options
// and their fixed choices at every level.
TEST(CvdtCliTest, BashCompletionFollowsTheOptionDefinitions) {
  struct Row {
    const char* program;
    std::vector<std::string> words;  // the last one is being completed
    std::string expected;            // COMPREPLY joined by blanks
  };
  const std::vector<Row> rows = {
      {CVDT_HOST_PATH, {"cvdt-host", "machine", "init", "--arch", ""}, "x64 x86"},
      {CVDT_GATEWAY_PATH, {"cvdt-gateway", "target", ""}, "add list remove help --help -h"},
      {CVDT_PACK_PATH, {"cvdt-pack", "normal", "--exec"}, "--exec --exec-options --exec-user"},
      {CVDT_MSGC_PATH, {"cvdt-msgc", "--v"}, "--version"},
  };
  const std::string folder = cvdt::test::makeTempFolder("cvdt-cli-completion");
  for (const Row& row : rows) {
    std::string tool = fs::path(row.program).filename().string();
    ToolRun script = runTool(row.program, {"--bash-completion"});
    ASSERT_EQ(script.exitStatus, 0) << tool;
    std::ofstream(folder + "/" + tool) << script.out;
    EXPECT_EQ(readAll(std::string(CVDT_COMPLETION_DIR) + "/" + tool), script.out) << "installed " << tool;
    std::string words;
    for (const std::string& word : row.words) words += " " + shellQuote(word);
    std::string function = "_" + tool + "_complete";
    for (char& c : function) c = c == '-' ? '_' : c;
    std::string program = "source " + shellQuote(folder + "/" + tool) + "; COMP_WORDS=(" + words +
                          "); COMP_CWORD=" + std::to_string(row.words.size() - 1) + "; " + function +
                          "; echo \"${COMPREPLY[*]}\"";
    ToolRun completed = runShell("bash -c " + shellQuote(program));
    EXPECT_EQ(completed.out, row.expected + "\n") << tool << words << completed.err;
  }
  fs::remove_all(folder);
}

}  // namespace
