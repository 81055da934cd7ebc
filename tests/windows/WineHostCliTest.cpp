// The command line of cvdt-host.exe under wine64: the shared front end with the commands a real
// Windows machine has (agent, reports, registry; the emulated machine's machine, detect and
// platform are Linux's), the same exit codes (0 done, 1 failed, 2 wrong command line), and the
// registry command reading Wine's registry.
#include <gtest/gtest.h>

#include <regex>
#include <string>
#include <vector>

#include "WineProgram.h"

namespace {

using cvdt::test::WineProgram;

struct HostRun {
  int code = -1;
  std::string output;
};

HostRun runHost(const std::vector<std::string>& arguments) {
  HostRun run;
  run.output = WineProgram::run(WineProgram::stageFolder() + "/cvdt-host.exe", arguments, run.code);
  return run;
}

bool has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// Whether a help text lists the command: a line that starts, after its indent, with the name.
bool listsCommand(const std::string& help, const std::string& command) {
  return std::regex_search(help, std::regex("(^|\n) +" + command + " "));
}

class WineHostCliTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string why = WineProgram::unavailable();
    if (!why.empty()) GTEST_SKIP() << why;
  }
};

TEST_F(WineHostCliTest, HelpVersionAndWrongCommandLinesOfTheWindowsHost) {
  HostRun help = runHost({"--help"});
  EXPECT_EQ(help.code, 0) << help.output;
  for (const char* command : {"agent", "reports", "registry"})
    EXPECT_TRUE(listsCommand(help.output, command)) << command << "\n" << help.output;
  for (const char* command : {"machine", "detect", "platform"})
    EXPECT_FALSE(listsCommand(help.output, command)) << command << "\n" << help.output;

  HostRun agentHelp = runHost({"help", "agent"});
  EXPECT_EQ(agentHelp.code, 0) << agentHelp.output;
  EXPECT_TRUE(has(agentHelp.output, "cvdt.dll beside this program")) << agentHelp.output;

  HostRun version = runHost({"--version"});
  EXPECT_EQ(version.code, 0) << version.output;
  EXPECT_TRUE(has(version.output, "cvdt-host")) << version.output;

  // Every wrong command line exits 2 before anything runs: a Linux-only command, a number that
  // is not one, a value out of range, a missing value. (The output holds standard output only;
  // the messages on standard error are the Linux tools' and are checked there.)
  for (const std::vector<std::string>& wrong :
       std::vector<std::vector<std::string>>{{"machine", "init", "x"},
                                             {"detect", "--policy", "p.json"},
                                             {"agent", "--ft-port", "abc"},
                                             {"agent", "--ft-port", "65536"},
                                             {"agent", "--script"}}) {
    HostRun run = runHost(wrong);
    EXPECT_EQ(run.code, 2) << wrong[0] << " " << wrong[1] << ": " << run.output;
  }
}

TEST_F(WineHostCliTest, RegistryShowReadsWinesRegistry) {
  HostRun shown = runHost({"registry", "show", "HKLM\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion", "--64"});
  EXPECT_EQ(shown.code, 0) << shown.output;
  EXPECT_TRUE(has(shown.output, "CurrentVersion = ")) << shown.output;

  HostRun missing = runHost({"registry", "show", "HKLM\\SOFTWARE\\NoSuchCvdtKey"});
  EXPECT_EQ(missing.code, 1) << missing.output;

  HostRun badRoot = runHost({"registry", "show", "HKXX\\SOFTWARE"});
  EXPECT_EQ(badRoot.code, 2) << badRoot.output;
}

}  // namespace
