// `cvdt-host machine init`: a complete machine from the command line, and refusals of bad input.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <sstream>

#include "HostCli.h"
#include "InProcessTool.h"
#include "detect/NPlatformStrings.h"
#include "detect/NRegistry.h"
#include "platform/PlatformFs.h"
#include "platform/posix/MachineConfig.h"
#include "support/Subprocess.h"
#include "support/TestMachine.h"

using ::testing::HasSubstr;

namespace {

namespace fs = std::filesystem;

struct HostRun {
  int status;
  std::string output;
};

HostRun runHost(const std::string& arguments) {
  auto result = cvdt::test::Subprocess::shell(std::string(CVDT_HOST_PATH) + " " + arguments)
                    .mergeErrors()
                    .run();
  return {result.exitStatus, result.out};
}

class CvdtHostMachineTest : public testing::Test {
 protected:
  void SetUp() override { m_root = cvdt::test::makeTempFolder("cvdt-host-machine") + "/m"; }
  void TearDown() override {
    leave();
    fs::remove_all(fs::path(m_root).parent_path());
  }
  // A fresh machine made by `machine init` with the options, then current in this process.
  void init(const std::string& options) {
    leave();
    fs::remove_all(m_root);
    HostRun run = runHost("machine init " + m_root + " " + options);
    ASSERT_EQ(run.status, 0) << options << "\n" << run.output;
    setenv("CVDT_MACHINE", m_root.c_str(), 1);
    plat::posix::reloadMachine();
  }
  void leave() {
    unsetenv("CVDT_MACHINE");
    plat::posix::reloadMachine();
  }
  std::string m_root;
};

TEST_F(CvdtHostMachineTest, InitLaysOutTheMachineTheOptionsDescribe) {
  // A leading zero is a decimal number, never octal.
  HostRun run = runHost("machine init " + m_root +
                        " --arch x86 --os 5.1.2600 --service-pack 3 --language 01042"
                        " --drive D=cdrom --drive E=remote:shares/e --console-user none"
                        " --trace-level 5 --name WS-42 --suite-mask 0x0110");
  ASSERT_EQ(run.status, 0) << run.output;
  EXPECT_THAT(run.output, HasSubstr("export CVDT_MACHINE=" + m_root));

  setenv("CVDT_MACHINE", m_root.c_str(), 1);
  auto machine = plat::posix::currentMachine();
  EXPECT_FALSE(machine->is64Bit);
  EXPECT_EQ(machine->version.csdVersion, "Service Pack 3");
  EXPECT_EQ(machine->language, 1042);
  EXPECT_TRUE(machine->consoleUser.empty());
  EXPECT_EQ(machine->drives.at('E').folder, m_root + "/shares/e");
  EXPECT_EQ(plat::driveType('D'), plat::DriveType::CdRom);

  NRegistry agent;
  ASSERT_TRUE(agent.open(plat::RegRoot::LocalMachine, "SOFTWARE\\Plumbex\\Corvane", true, true, false));
  EXPECT_STREQ(agent.readText("cvdt").text(), "5");

  // `machine show --json` is one record.
  cvdt::test::Subprocess host(CVDT_HOST_PATH);
  cvdt::test::ProcessResult json = host.run({"machine", "show", m_root, "--json"});
  ASSERT_EQ(json.exitStatus, 0) << json.err;
  nlohmann::json record = nlohmann::json::parse(json.out);
  EXPECT_EQ(record["name"], "WS-42");
  EXPECT_EQ(record["windows"]["suite_mask"], 0x110);
  std::string types;
  for (const auto& drive : record["drives"])
    types += drive["letter"].get<std::string>() + "=" + drive["type"].get<std::string>() + " ";
  EXPECT_THAT(types, HasSubstr("C=fixed D=cdrom "));
  EXPECT_EQ(record["trace_threshold"], "5");
  cvdt::test::ProcessResult none = host.run({"machine", "show", m_root + "-none", "--json"});
  EXPECT_EQ(none.exitStatus, 1);
  EXPECT_EQ(none.out, "");
}

// The version options reach what the module reads (service pack minor, product type, suite,
// the 9x platform), through the platform strings built from the machine.
TEST_F(CvdtHostMachineTest, VersionFactsThatPlatformStringsRead) {
  init(
      "--arch x64 --os 5.2.3790 --service-pack 2.1 --suite-mask 0x0110 --product-type server"
      " --language 2052");
  EXPECT_EQ(plat::posix::currentMachine()->version.servicePackMinor, 1);
  NStringArray list;
  buildPlatformStrings(list);
  ASSERT_EQ(list.getCount(), 19);
  EXPECT_STREQ(list.getAt(18).text(),
               "ver_platform_win32_nt.5.2.x64..ver_nt_server.ver_suite_singleusernt.3790.2.1");
  init("--platform 9x --arch x86 --os 4.90.3000 --language 1041");
  buildPlatformStrings(list);
  ASSERT_EQ(list.getCount(), 5);
  EXPECT_STREQ(list.getAt(4).text(), "ver_platform_win32_windows.4.90.x86.ja...3000..");
}

// The language's code pages unless --code-pages names others; 65001 alone sets both.
TEST_F(CvdtHostMachineTest, CodePagesFollowTheLanguageUnlessNamed) {
  struct Row {
    const char* options;
    uint32_t ansi, oem;
  } rows[] = {
      {"--language 1042", 949, 949},
      {"--language 1042 --code-pages 65001", 65001, 65001},
      {"--language 1049 --code-pages 1252", 1252, 866},
  };
  for (const Row& row : rows) {
    init(row.options);
    plat::CodePages pages = plat::posix::currentMachine()->codePages();
    EXPECT_EQ(pages.ansi, row.ansi) << row.options;
    EXPECT_EQ(pages.oem, row.oem) << row.options;
  }
}

TEST_F(CvdtHostMachineTest, BadOptionsAreRefusedWithAMessage) {
  const char* bad[] = {
      "--arch arm",
      "--os ten",
      "--os 10.0.1.2",
      "--service-pack 3.x",
      "--drive CC=fixed",
      "--drive D=floppy",
      "--drive Z=fixed",
      "--windows-folder Q:\\Windows",
      "--console-user no-such-user-here",
      "--suite-mask 0x10000",
      "--suite-mask 0x-1",
      "--code-pages 949/",
  };
  for (const char* options : bad) {
    std::vector<std::string> args = {"machine", "init", m_root};
    std::istringstream words(options);
    for (std::string word; words >> word;) args.push_back(word);
    cvdt::test::ProcessResult run =
        cvdt::test::runInProcess(cvdt::host::HostCli::run, "cvdt-host", args);
    EXPECT_EQ(run.exitStatus, 2) << options << "\n" << run.out << run.err;
    EXPECT_THAT(run.err, HasSubstr("cvdt-host machine init:")) << options;
  }
  EXPECT_FALSE(fs::exists(m_root + "/machine.ini"));
}

}  // namespace
