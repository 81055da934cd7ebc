// The command-line front end the four tools share: help on every command, `help COMMAND`,
// --version, strict numbers, one exit-code policy (0 done, 1 failed, 2 wrong command line), JSON
// that parses, bash completion from the option definitions, and progress only on a terminal.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "ReportCollector.h"
#include "support/TestMachine.h"

namespace {

namespace fs = std::filesystem;

struct ToolRun {
  int status = -1;
  std::string out, err;
};

std::string shellQuote(const std::string& text) {
  std::string quoted = "'";
  for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

std::string readAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream content;
  content << in.rdbuf();
  return content.str();
}

// Runs a shell command line, stdout and stderr apart.
ToolRun runShell(const std::string& command) {
  const std::string errors = fs::temp_directory_path() / ("cvdt-cli-err-" + std::to_string(getpid()));
  ToolRun run;
  FILE* pipe = popen((command + " 2>" + shellQuote(errors)).c_str(), "r");
  if (pipe == nullptr) return run;
  char chunk[4096];
  size_t got;
  while ((got = std::fread(chunk, 1, sizeof chunk, pipe)) > 0) run.out.append(chunk, got);
  int status = pclose(pipe);
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  run.err = readAll(errors);
  fs::remove(errors);
  return run;
}

ToolRun runTool(const std::string& program, const std::vector<std::string>& args) {
  std::string command = shellQuote(program);
  for (const std::string& arg : args) command += " " + shellQuote(arg);
  return runShell(command + " </dev/null");
}

bool has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

TEST(CvdtCliTest, EveryCommandHasHelpAndTheToolsShareOneExitCodePolicy) {
  struct Row {
    const char* program;
    std::vector<std::string> args;
    int status;
    std::vector<std::string> out, err;
  };
  const std::vector<Row> rows = {
      {CVDT_HOST_PATH, {"--help"}, 0, {"Usage: cvdt-host [OPTIONS] SUBCOMMAND", "machine", "agent"}, {}},
      {CVDT_HOST_PATH, {"-h"}, 0, {"Usage: cvdt-host"}, {}},
      {CVDT_HOST_PATH, {"agent", "--help"}, 0, {"Usage: cvdt-host agent", "--ft-port N=80", "ndist-cmd CMDID", "Example:"}, {}},
      {CVDT_HOST_PATH, {"machine", "init", "--help"}, 0, {"Usage: cvdt-host machine init [OPTIONS] DIR", "--language N=1033", "Example:"}, {}},
      {CVDT_HOST_PATH, {"registry", "--help"}, 0, {"Usage: cvdt-host registry", "show"}, {}},
      {CVDT_HOST_PATH, {"help", "machine", "init"}, 0, {"Usage: cvdt-host machine init", "--drive"}, {}},
      {CVDT_HOST_PATH, {"machine", "help"}, 0, {"Usage: cvdt-host machine [OPTIONS] SUBCOMMAND", "init", "show"}, {}},
      {CVDT_HOST_PATH, {"help", "nonsense"}, 2, {}, {"cvdt-host: no command 'nonsense'"}},
      {CVDT_HOST_PATH, {"machine", "grow"}, 2, {}, {"cvdt-host machine: unknown command 'grow'"}},
      {CVDT_HOST_PATH, {"--version"}, 0, {"cvdt-host "}, {}},
      {CVDT_HOST_PATH, {}, 2, {}, {"cvdt-host: A subcommand is required", "cvdt-host --help"}},
      {CVDT_HOST_PATH, {"agent", "--bogus"}, 2, {}, {"cvdt-host agent: ", "--bogus"}},
      {CVDT_HOST_PATH, {"agent", "--ft-port", "080x"}, 2, {}, {"--ft-port: '080x' is not a decimal number from 0 to 65535"}},
      {CVDT_HOST_PATH, {"agent", "--ft-protocol", "gopher"}, 2, {}, {"--ft-protocol"}},
      {CVDT_HOST_PATH, {"reports", "--seconds", "abc"}, 2, {}, {"cvdt-host reports: --seconds: 'abc' is not a decimal number"}},
      {CVDT_HOST_PATH, {"reports", "--seconds", "99999999999999999999999"}, 2, {}, {"--seconds"}},
      {CVDT_HOST_PATH, {"reports", "--seconds", "-1"}, 2, {}, {"--seconds"}},
      {CVDT_HOST_PATH, {"registry", "show", "HKXX\\SOFTWARE"}, 2, {}, {"cvdt-host registry show: unknown root"}},
      {CVDT_GATEWAY_PATH, {"--version"}, 0, {"cvdt-gateway "}, {}},
      {CVDT_GATEWAY_PATH, {"-h"}, 0, {"Usage: cvdt-gateway", "serve", "status", "target", "call"}, {}},
      {CVDT_GATEWAY_PATH, {"help"}, 0, {"Usage: cvdt-gateway [OPTIONS] SUBCOMMAND"}, {}},
      {CVDT_GATEWAY_PATH, {"help", "status"}, 0, {"Usage: cvdt-gateway status", "--watch", "--interval N=2"}, {}},
      {CVDT_GATEWAY_PATH, {"target", "add", "--help"}, 0, {"--policy-file FILE", "Example:"}, {}},
      {CVDT_GATEWAY_PATH, {"status", "--db", "x.db", "--interval", "0"}, 2, {}, {"--interval: '0' is not a decimal number from 1 to 3600"}},
      {CVDT_PACK_PATH, {"--version"}, 0, {"cvdt-pack "}, {}},
      {CVDT_PACK_PATH, {"normal", "--help"}, 0, {"Usage: cvdt-pack normal", "--part-size BYTES", "Example:"}, {}},
      {CVDT_PACK_PATH, {"help", "check"}, 0, {"Usage: cvdt-pack check [OPTIONS] ROOT", "--json"}, {}},
      {CVDT_PACK_PATH, {}, 2, {}, {"cvdt-pack: A subcommand is required"}},
      {CVDT_MSGC_PATH, {"--help"}, 0, {"Usage: cvdt-msgc [OPTIONS] OUT SRC...", "Example:"}, {}},
      {CVDT_MSGC_PATH, {"--version"}, 0, {"cvdt-msgc "}, {}},
      {CVDT_MSGC_PATH, {"out.bin"}, 2, {}, {"cvdt-msgc: SRC is required"}},
  };
  for (const Row& row : rows) {
    const ToolRun run = runTool(row.program, row.args);
    std::string shown = fs::path(row.program).filename().string();
    for (const std::string& arg : row.args) shown += " " + arg;
    SCOPED_TRACE(shown);
    EXPECT_EQ(run.status, row.status) << run.out << run.err;
    for (const std::string& part : row.out) EXPECT_TRUE(has(run.out, part)) << part << "\n" << run.out;
    for (const std::string& part : row.err) EXPECT_TRUE(has(run.err, part)) << part << "\n" << run.err;
    if (row.status == 0) {
      EXPECT_EQ(run.err, "");
    }
  }
  // The version names the commit when the build came from a checkout.
  EXPECT_TRUE(has(runTool(CVDT_HOST_PATH, {"--version"}).out, fs::exists(fs::path(CVDT_SOURCE_DIR) / ".git") ? "(commit " : ""));
}

// A leading zero is a decimal number (never octal), and `machine show --json` is one record.
TEST(CvdtCliTest, MachineInitReadsDecimalAndShowPrintsJson) {
  const std::string folder = cvdt::test::makeTempFolder("cvdt-cli-machine");
  const std::string root = folder + "/m";
  ToolRun init = runTool(CVDT_HOST_PATH, {"machine", "init", root, "--language", "01042", "--arch", "x86",
                                          "--console-user", "none", "--suite-mask", "0x0110",
                                          "--drive", "D=cdrom", "--name", "WS-7"});
  ASSERT_EQ(init.status, 0) << init.err;
  ToolRun show = runTool(CVDT_HOST_PATH, {"machine", "show", root, "--json"});
  ASSERT_EQ(show.status, 0) << show.err;
  nlohmann::json machine = nlohmann::json::parse(show.out);
  EXPECT_EQ(machine["language"], 1042);
  EXPECT_EQ(machine["name"], "WS-7");
  EXPECT_EQ(machine["root"], root);
  EXPECT_EQ(machine["windows"]["arch"], "x86");
  EXPECT_EQ(machine["windows"]["suite_mask"], 0x110);
  EXPECT_TRUE(machine["console_user"].is_null());
  std::string types;
  for (const auto& drive : machine["drives"])
    types += drive["letter"].get<std::string>() + "=" + drive["type"].get<std::string>() + " ";
  EXPECT_TRUE(has(types, "C=fixed D=cdrom ")) << types;
  EXPECT_EQ(machine["trace_threshold"], "3");
  EXPECT_FALSE(machine["module_files"].empty());
  ToolRun none = runTool(CVDT_HOST_PATH, {"machine", "show", folder + "/none", "--json"});
  EXPECT_EQ(none.status, 1);
  EXPECT_EQ(none.out, "");
  fs::remove_all(folder);
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

// What `cvdt-pack check --json` says about a good root and a damaged one.
TEST(CvdtCliTest, PackCheckJsonReportsEveryPackage) {
  const std::string folder = cvdt::test::makeTempFolder("cvdt-cli-check");
  fs::create_directories(folder + "/src/sub");
  std::ofstream(folder + "/src/a.txt") << "alpha";
  std::string noise(5000, '\0');
  std::mt19937 random(7);
  for (char& c : noise) c = static_cast<char>(random());
  std::ofstream(folder + "/src/sub/b.txt") << noise;  // does not compress: several 1K parts
  ASSERT_EQ(runTool(CVDT_PACK_PATH, {"normal", "--id", "12", "--name", "N", "--src", folder + "/src",
                                     "--out", folder + "/www", "--part-size", "1K"}).status, 0);
  ASSERT_EQ(runTool(CVDT_PACK_PATH, {"auto", "--id", "7", "--name", "A", "--dest", "C:\\A", "--src",
                                     folder + "/src", "--out", folder + "/www", "--subfolders"}).status, 0);
  ToolRun good = runTool(CVDT_PACK_PATH, {"check", folder + "/www", "--json"});
  ASSERT_EQ(good.status, 0) << good.err;
  nlohmann::json report = nlohmann::json::parse(good.out);
  ASSERT_EQ(report["packages"].size(), 2u);
  EXPECT_EQ(report["packages"][0]["flavour"], "normal");
  EXPECT_EQ(report["packages"][0]["id"], 12);
  EXPECT_EQ(report["packages"][1]["flavour"], "auto");
  EXPECT_EQ(report["packages"][1]["files"], 2);
  EXPECT_EQ(report["totals"]["problems"], 0);
  // A part cut short: the package fails, the others stay ok, exit 1.
  fs::resize_file(folder + "/www/Corvane/dist/normal/12/12.l00001", 10);
  ToolRun bad = runTool(CVDT_PACK_PATH, {"check", folder + "/www", "--json"});
  EXPECT_EQ(bad.status, 1);
  report = nlohmann::json::parse(bad.out);
  EXPECT_FALSE(report["packages"][0]["ok"]);
  EXPECT_FALSE(report["packages"][0]["problems"].empty());
  EXPECT_TRUE(report["packages"][1]["ok"]);
  EXPECT_GT(report["totals"]["problems"], 0);
  fs::remove_all(folder);
}

// Progress is drawn on a terminal and not at all into a pipe; the records are the same.
TEST(CvdtCliTest, ProgressOnlyOnATerminal) {
  if (runShell("command -v script >/dev/null").status != 0) GTEST_SKIP() << "no 'script' program";
  const std::string folder = cvdt::test::makeTempFolder("cvdt-cli-progress");
  fs::create_directories(folder + "/src");
  std::ofstream(folder + "/src/big.bin") << std::string(3 << 20, 'x');
  std::string command = shellQuote(CVDT_PACK_PATH) + " normal --id 5 --name P --src " +
                        shellQuote(folder + "/src") + " --out " + shellQuote(folder + "/www");
  ToolRun piped = runShell(command);
  ASSERT_EQ(piped.status, 0) << piped.err;
  EXPECT_EQ(piped.out.find_first_of("\r\033"), std::string::npos) << piped.out;
  ToolRun terminal = runShell("script -qec " + shellQuote(command) + " /dev/null");
  ASSERT_EQ(terminal.status, 0) << terminal.out;
  EXPECT_TRUE(has(terminal.out, "\r\033[Kpacking ")) << terminal.out;
  EXPECT_TRUE(has(terminal.out, "contents=5|$P|$")) << terminal.out;
  ToolRun checked = runShell("script -qec " +
                             shellQuote(shellQuote(CVDT_PACK_PATH) + " check " + shellQuote(folder + "/www")) +
                             " /dev/null");
  EXPECT_TRUE(has(checked.out, "\r\033[Kchecking 0 of 1 (0%) Corvane/dist/normal/5.idx.lgz")) << checked.out;
  EXPECT_TRUE(has(checked.out, "all digests match")) << checked.out;
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
    ASSERT_EQ(script.status, 0) << tool;
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
