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
#include "MsgcCli.h"
#include "NCliApp.h"
#include "PackCli.h"
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

TEST(CvdtCliTest, HostCommandLines) {
  const std::string folder = cvdt::test::makeTempFolder("cvdt-cli-host");
  const std::string dir = folder + "/m";
  expectLines(cvdt::host::HostCli::run, "cvdt-host", {
      {{"--help"}, 0, {"Usage: cvdt-host [OPTIONS] SUBCOMMAND", "machine", "agent", "Example:"}, {}},
      {{"-h"}, 0, {"Usage: cvdt-host"}, {}},
      {{"agent", "--help"}, 0, {"Usage: cvdt-host agent", "--ft-port N=80", "ndist-cmd CMDID", "Example:"}, {}},
      {{"machine", "init", "--help"}, 0,
       {"Usage: cvdt-host machine init [OPTIONS] DIR", "--language N=1033", "--code-pages ANSI[/OEM]", "Example:"}, {}},
      {{"registry", "--help"}, 0, {"Usage: cvdt-host registry", "show"}, {}},
      {{"help", "machine", "init"}, 0, {"Usage: cvdt-host machine init", "--drive"}, {}},
      {{"machine", "help"}, 0, {"Usage: cvdt-host machine [OPTIONS] SUBCOMMAND", "init", "show"}, {}},
      {{"--version"}, 0, {versionLine("cvdt-host")}, {}},
      {{"help", "nonsense"}, 2, {}, {"cvdt-host: no command 'nonsense'"}},
      {{"machine", "grow"}, 2, {}, {"cvdt-host machine: unknown command 'grow'"}},
      {{}, 2, {}, {"cvdt-host: A subcommand is required"}},
      {{"agent", "--bogus"}, 2, {}, {"cvdt-host agent: The following argument was not expected: --bogus"}},
      {{"machine", "init", dir, "--language", "abc"}, 2, {},
       {"cvdt-host machine init: --language: 'abc' is not a decimal number from 0 to 65535"}},
      {{"machine", "init", dir, "--language", "0x412"}, 2, {}, {"--language: '0x412' is not a decimal number"}},
      {{"agent", "--ft-port", "080x"}, 2, {}, {"--ft-port: '080x' is not a decimal number from 0 to 65535"}},
      {{"agent", "--ft-protocol", "gopher"}, 2, {}, {"--ft-protocol: gopher not in {http,https,ftp}"}},
      {{"reports", "--seconds", "abc"}, 2, {}, {"cvdt-host reports: --seconds: 'abc' is not a decimal number"}},
      {{"reports", "--seconds", "99999999999999999999999"}, 2, {}, {"--seconds: '99999999999999999999999'"}},
      {{"reports", "--seconds", "-1"}, 2, {}, {"--seconds: '-1' is not a decimal number from 0"}},
      {{"machine", "init", dir, "--language"}, 2, {}, {"cvdt-host machine init: --language: 1 required N missing"}},
      {{"machine", "init"}, 2, {}, {"cvdt-host machine init: DIR is required"}},
      {{"agent", "--script", folder + "/none.txt"}, 1, {}, {"cvdt-host agent: cannot read " + folder + "/none.txt"}},
      {{"registry", "show", "HKXX\\SOFTWARE"}, 2, {}, {"cvdt-host registry show: unknown root"}},
  });
  EXPECT_FALSE(fs::exists(dir));
  fs::remove_all(folder);
}

TEST(CvdtCliTest, GatewayCommandLines) {
  const std::string folder = cvdt::test::makeTempFolder("cvdt-cli-gateway");
  const std::string db = folder + "/g.db";
  expectLines(cvdt::gateway::GatewayCli::run, "cvdt-gateway", {
      {{"--help"}, 0, {"Usage: cvdt-gateway", "serve", "status", "target", "call", "Example:"}, {}},
      {{"-h"}, 0, {"Usage: cvdt-gateway"}, {}},
      {{"help"}, 0, {"Usage: cvdt-gateway [OPTIONS] SUBCOMMAND"}, {}},
      {{"help", "status"}, 0, {"Usage: cvdt-gateway status", "--watch", "--interval N=2", "--codepage N"}, {}},
      {{"serve", "--help"}, 0, {"Usage: cvdt-gateway serve", "--listen ADDR:PORT=127.0.0.1:7221", "--codepage N", "Example:"}, {}},
      {{"target", "add", "--help"}, 0, {"--policy-file FILE", "Example:"}, {}},
      {{"target", "help", "list"}, 0, {"Usage: cvdt-gateway target list", "--json"}, {}},
      {{"--version"}, 0, {versionLine("cvdt-gateway")}, {}},
      {{"frobnicate"}, 2, {}, {"cvdt-gateway: unknown command 'frobnicate'"}},
      {{"status", "--db", db, "--bogus"}, 2, {}, {"cvdt-gateway status: The following argument was not expected: --bogus"}},
      // 012 is twelve, as every number an operator types.
      {{"target", "add", "--db", db, "--dist", "012", "--name", "N", "--policy", "<p/>"}, 0, {"added target 1\n"}, {}},
      {{"target", "list", "--db", db, "--dist", "00012", "--json"}, 0, {"\"dist_id\":12,"}, {}},
      {{"target", "add", "--db", db, "--dist", "abc", "--name", "N", "--policy", ""}, 2, {},
       {"cvdt-gateway target add: --dist: 'abc' is not a decimal number from 1 to 2147483647"}},
      {{"status", "--db", db, "--interval", "0"}, 2, {}, {"--interval: '0' is not a decimal number from 1 to 3600"}},
      {{"serve", "--listen", "127.0.0.1:0", "--codepage", "abc"}, 2, {},
       {"cvdt-gateway serve: --codepage: 'abc' is not a code page number"}},
      {{"status", "--db"}, 2, {}, {"cvdt-gateway status: --db: 1 required FILE missing"}},
      {{"status"}, 2, {}, {"cvdt-gateway status: --db is required"}},
  });
  fs::remove_all(folder);
}

TEST(CvdtCliTest, PackCommandLines) {
  const std::string folder = cvdt::test::makeTempFolder("cvdt-cli-pack");
  fs::create_directories(folder + "/src");
  std::ofstream(folder + "/src/a.txt") << "alpha";
  auto normal = [&](std::vector<std::string> extra) {
    std::vector<std::string> args = {"normal", "--name", "N", "--src", folder + "/src", "--out", folder + "/www"};
    args.insert(args.end(), extra.begin(), extra.end());
    return args;
  };
  expectLines(cvdt::pack::PackCli::run, "cvdt-pack", {
      {{"--help"}, 0, {"Usage: cvdt-pack", "normal", "auto", "unpack", "check", "Example:"}, {}},
      {{"normal", "--help"}, 0, {"Usage: cvdt-pack normal", "--part-size BYTES", "Example:"}, {}},
      {{"help", "check"}, 0, {"Usage: cvdt-pack check [OPTIONS] ROOT", "--json"}, {}},
      {{"--version"}, 0, {versionLine("cvdt-pack")}, {}},
      {{}, 2, {}, {"cvdt-pack: A subcommand is required"}},
      {normal({"--id", "1", "--bogus"}), 2, {}, {"cvdt-pack normal: The following argument was not expected: --bogus"}},
      // 01042 is package 1042, never octal 546.
      {normal({"--id", "01042"}), 0, {"contents=1042|$N|$"}, {}},
      {normal({"--id", "abc"}), 2, {}, {"cvdt-pack normal: --id must be a number from 1 to 2147483647, not 'abc'"}},
      {normal({"--id", "2", "--part-size"}), 2, {}, {"cvdt-pack normal: --part-size: 1 required BYTES missing"}},
      {{"check", folder + "/none"}, 1, {}, {"cvdt-pack check: ", "is not a folder"}},
  });
  EXPECT_TRUE(fs::is_regular_file(folder + "/www/Corvane/dist/normal/1042.idx.lgz"));
  EXPECT_FALSE(fs::exists(folder + "/www/Corvane/dist/normal/2.idx.lgz"));
  fs::remove_all(folder);
}

TEST(CvdtCliTest, MsgcCommandLines) {
  const std::string folder = cvdt::test::makeTempFolder("cvdt-cli-msgc");
  const std::string out = folder + "/cvmsg.bin";
  const std::string source = std::string(CVDT_SOURCE_DIR) + "/data/messages/1033.txt";
  expectLines(MsgcCli::run, "cvdt-msgc", {
      {{"--help"}, 0, {"Usage: cvdt-msgc [OPTIONS] OUT SRC...", "Example:"}, {}},
      {{"-h"}, 0, {"Usage: cvdt-msgc"}, {}},
      {{"--version"}, 0, {versionLine("cvdt-msgc")}, {}},
      {{"--bogus", out, source}, 2, {}, {"cvdt-msgc: The following argument was not expected: --bogus"}},
      {{out}, 2, {}, {"cvdt-msgc: SRC is required"}},
      {{out, folder + "/none.txt"}, 1, {}, {"cvdt-msgc: "}},
      {{out, source}, 0, {}, {}},
  });
  EXPECT_GT(fs::file_size(out), 0u);
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
  ToolRun checked = runShell("script -qec " +
                             shellQuote(shellQuote(CVDT_PACK_PATH) + " check " + shellQuote(folder + "/www")) +
                             " /dev/null");
  EXPECT_THAT(checked.out, HasSubstr("\r\033[Kchecking 0 of 1 (0%) Corvane/dist/normal/5.idx.lgz"));
  EXPECT_THAT(checked.out, HasSubstr("all digests match"));
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
      {CVDT_HOST_PATH, {"cvdt-host", "ma"}, "machine"},
      {CVDT_HOST_PATH, {"cvdt-host", "machine", "init", "--arch", ""}, "x64 x86"},
      {CVDT_HOST_PATH, {"cvdt-host", "machine", "init", "/tmp/m", "--lang"}, "--language"},
      {CVDT_HOST_PATH, {"cvdt-host", "agent", "--ft-protocol", "ht"}, "http https"},
      {CVDT_HOST_PATH, {"cvdt-host", "machine", "init", "--name", "x", "--arch", "x8"}, "x86"},
      {CVDT_GATEWAY_PATH, {"cvdt-gateway", "target", ""}, "add list remove help --help -h"},
      {CVDT_GATEWAY_PATH, {"cvdt-gateway", "status", "--db", "g.db", "--w"}, "--watch"},
      {CVDT_PACK_PATH, {"cvdt-pack", "normal", "--exec"}, "--exec --exec-options --exec-user"},
      {CVDT_PACK_PATH, {"cvdt-pack", "normal", "--id", "5", "--na"}, "--name"},
      {CVDT_PACK_PATH, {"cvdt-pack", "ch"}, "check"},
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
