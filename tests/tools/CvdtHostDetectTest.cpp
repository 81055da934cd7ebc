// `cvdt-host detect` and `cvdt-host platform`: verdicts, exit codes, the explanation as text and
// as JSON read back.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "support/Subprocess.h"
#include "support/TestMachine.h"

using ::testing::HasSubstr;

namespace {

namespace fs = std::filesystem;
using cvdt::test::TestMachine;

struct HostRun {
  int status = -1;
  std::string output;
};

// Runs cvdt-host; standard error joins the output unless errToNull.
HostRun runHost(const std::string& arguments, bool errToNull = false) {
  auto host = cvdt::test::Subprocess::shell(std::string(CVDT_HOST_PATH) + " " + arguments);
  cvdt::test::ProcessResult result = errToNull ? host.run() : host.mergeErrors().run();
  return {result.exitStatus, result.out};
}

const std::string kThis = "ver_platform_win32_nt.10.0.x64......";
const std::string kOther = "ver_platform_win32_nt.5.1.x86......";

const std::string kInstalled =
    "<installed><expression><and>"
    "<expression><fileExists1><fileName>cvdt.dll</fileName>"
    "<path>%csidl_program_files%\\Plumbex\\Corvane\\Modules</path></fileExists1></expression>"
    "<expression><not><expression><regKeyValue><key>HKEY_LOCAL_MACHINE\\SOFTWARE\\Plumbex\\Corvane</key>"
    "<entry>cvdt</entry><value>9</value></regKeyValue></expression></not></expression>"
    "</and></expression></installed>";

std::string policy(const std::string& platform, const std::string& installed) {
  return "<polProduct><flatform01>" + kOther + "</flatform01><flatform02>" + platform +
         "</flatform02>" + installed + "</polProduct>";
}

class CvdtHostDetectTest : public testing::Test {
 protected:
  std::string write(const std::string& name, const std::string& text) {
    std::string path = m_machine.root() + "/" + name;
    std::ofstream(path, std::ios::binary) << text;
    return path;
  }
  TestMachine m_machine;
};

TEST_F(CvdtHostDetectTest, VerdictsAndExitCodes) {
  struct Row {
    const char* name;
    std::string policy;
    const char* verdict;
    int status;
  } rows[] = {
      {"installed", policy(kThis, kInstalled), "installed", 0},
      {"platform", policy(kOther, kInstalled), "platform does not match", 0},
      {"failed", policy(kThis, "<installed><expression><and>\n</and></expression></installed>"),
       "evaluation failed", 1},
  };
  for (const Row& row : rows) {
    HostRun run = runHost("detect --policy " + write("policy.xml", row.policy));
    EXPECT_EQ(run.status, row.status) << row.name << ": " << run.output;
    EXPECT_EQ(run.output, std::string(row.verdict) + "\n") << row.name;
  }
  EXPECT_EQ(runHost("detect --policy " + m_machine.root() + "/absent.xml").status, 1);
  EXPECT_EQ(runHost("detect").status, 2);
}

TEST_F(CvdtHostDetectTest, ExplainPrintsPlatformsSectionsAndTheConditionTree) {
  std::string path = write("policy.xml", policy(kThis, kInstalled));
  HostRun platforms = runHost("platform");
  ASSERT_EQ(platforms.status, 0);
  std::vector<std::string> lines;
  std::istringstream in(platforms.output);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  ASSERT_EQ(lines.size(), 17u) << platforms.output;
  EXPECT_EQ(lines[0], ".........");
  EXPECT_EQ(lines[2], kThis);

  HostRun run = runHost("detect --policy " + path + " --explain");
  ASSERT_EQ(run.status, 0) << run.output;
  for (const std::string& expected : std::vector<std::string>{
           std::string("verdict: installed\n"),
           std::string("platform strings of this machine (17):\n  .........\n"),
           "  flatform01 \"" + kOther + "\": no\n  flatform02 \"" + kThis + "\": matches\n",
           std::string("installed-section (4 tokens):\n  and = true\n    fileExists1 = true  [32-bit view]\n"
                       "        fileName: \"cvdt.dll\"\n"),
           std::string("        looked at: C:\\Program Files (x86)\\Plumbex\\Corvane\\Modules\\cvdt.dll\n"
                       "        found: (file)\n    not = true\n      regKeyValue = false  [32-bit view]\n"),
           std::string("          found: 10\n"),
       }) {
    EXPECT_THAT(run.output, HasSubstr(expected)) << expected << "\n---\n" << run.output;
  }

  // Two top-level expressions: the first decides, the second is shown apart.
  std::string f = "<expression><boolean><value>0</value></boolean></expression>";
  std::string t = "<expression><boolean><value>1</value></boolean></expression>";
  run = runHost("detect --policy " + write("two.xml", policy(kThis, "<installed>" + f + t + "</installed>")) +
                " --explain");
  EXPECT_EQ(run.status, 0);
  EXPECT_THAT(run.output, HasSubstr("verdict: not installed\n"));
  EXPECT_THAT(run.output,
              HasSubstr("  boolean = false  [32-bit view]\n      value: \"0\"\n"
                        "left on the stack, not part of the result:\n  boolean = true"));
}

TEST_F(CvdtHostDetectTest, JsonCarriesTheSameExplanation) {
  std::string path = write("policy.xml", policy(kThis, kInstalled));
  HostRun run = runHost("detect --policy " + path + " --explain --json", true);
  ASSERT_EQ(run.status, 0) << run.output;
  nlohmann::json json = nlohmann::json::parse(run.output);
  EXPECT_EQ(json["verdict"], "installed");
  EXPECT_EQ(json["matched_section"], "flatform02");
  ASSERT_EQ(json["platform_sections"].size(), 2u);
  const auto& root = json["expressions"][0];
  EXPECT_EQ(root["operator"], "and");
  ASSERT_EQ(root["children"].size(), 2u);
  EXPECT_EQ(root["children"][0]["found"], "(file)");
  EXPECT_EQ(root["children"][1]["children"][0]["found"], "10");

  // A failing policy: the error shows at its condition, and a carriage return stays visible.
  path = write("bad.xml", policy(kThis, "<installed><expression><boolean><value>1\r</value></boolean>"
                                        "</expression></installed>"));
  run = runHost("detect --policy " + path + " --explain --json", true);
  EXPECT_EQ(run.status, 1);
  json = nlohmann::json::parse(run.output);
  EXPECT_EQ(json["verdict"], "evaluation failed");
  EXPECT_EQ(json["expressions"][0]["error"], true);
  EXPECT_EQ(json["expressions"][0]["operands"][0]["value"], "1\r");

  // Without --explain the object holds the verdict and the flags only.
  run = runHost("detect --policy " + path + " --json", true);
  json = nlohmann::json::parse(run.output);
  EXPECT_EQ(json["verdict"], "evaluation failed");
  EXPECT_FALSE(json.contains("expressions"));
}

}  // namespace
