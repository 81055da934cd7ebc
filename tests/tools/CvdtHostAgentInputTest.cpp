// `cvdt-host agent` reads the numbers of its script lines strictly: a command id, distribution
// id, session or process id that is not a whole number of its field's range is refused with an
// error naming it, the export is not called, and the agent ends with status 1.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "ScriptNumber.h"
#include "support/CommandOutput.h"
#include "support/TestMachine.h"

using ::testing::HasSubstr;
using ::testing::Not;

namespace {

using cvdt::host::BadScriptNumber;
using cvdt::host::scriptInt32;
using cvdt::host::scriptUint32;

TEST(CvdtHostAgentInputTest, ScriptNumbersAreWholeNumbersOfTheirRange) {
  struct Row {
    const char* text;
    bool unsignedOk;
    uint32_t unsignedValue;
    bool signedOk;
    int32_t signedValue;
  } rows[] = {
      {"0", true, 0, true, 0},
      {"007", true, 7, true, 7},
      {"4294967295", true, 4294967295u, false, 0},
      {"4294967296", false, 0, false, 0},
      {"4294967297", false, 0, false, 0},  // once read as 1
      {"-1", false, 0, true, -1},          // once read as 4294967295
      {"2147483648", true, 2147483648u, false, 0},
      {"-2147483648", false, 0, true, INT32_MIN},
      {"-2147483649", false, 0, false, 0},
      {"12abc", false, 0, false, 0},
      {"", false, 0, false, 0},
  };
  for (const Row& row : rows) {
    if (row.unsignedOk) {
      EXPECT_EQ(scriptUint32(row.text, "command id"), row.unsignedValue) << row.text;
    } else {
      try {
        scriptUint32(row.text, "command id");
        ADD_FAILURE() << "accepted " << row.text;
      } catch (const BadScriptNumber& bad) {
        EXPECT_EQ(std::string(bad.what()), std::string("command id \"") + row.text +
                                               "\" is not a number from 0 to 4294967295");
      }
    }
    if (row.signedOk) {
      EXPECT_EQ(scriptInt32(row.text, "distribution id"), row.signedValue) << row.text;
    } else {
      EXPECT_THROW(scriptInt32(row.text, "distribution id"), BadScriptNumber) << row.text;
    }
  }
}

TEST(CvdtHostAgentInputTest, BadIdsAreRefusedAndNoExportIsCalled) {
  cvdt::test::TestMachine machine;
  std::string script = machine.root() + "/bad-ids.txt";
  const char* contents = "201|$Pkg|$1|$C:\\\\P|$d|$N|$N|$a.bat|$|$S|$|$1|$1|$N|$x";
  std::ofstream(script) << "ndist-cmd 4294967297 \"" << contents << "\"\n"
                        << "ndist-outer 5 \"" << contents << "\" 4294967296 10\n"
                        << "ndist-cancel 7 4294967497\n"
                        << "ndist-cancel 8 201\n"
                        << "echo finished\n";
  std::string output =
      cvdt::test::commandOutput("(" + std::string(CVDT_HOST_PATH) + " agent --script " + script +
                                " 2>&1; echo \"status=$?\")");
  const char* refusals[] = {
      "cvdt-host agent: cannot run: ndist-cmd 4294967297 ",
      "session id \"4294967296\" is not a number from 0 to 4294967295",
      "distribution id \"4294967497\" is not a number from -2147483648 to 2147483647",
  };
  for (const char* refusal : refusals) {
    EXPECT_THAT(output, HasSubstr(refusal)) << refusal << "\n" << output;
  }
  // Only the good line reached the module.
  EXPECT_THAT(output, Not(HasSubstr("call cvfNDistCmd")));
  EXPECT_THAT(output, Not(HasSubstr("call cvfNDistCmdOuterRequest")));
  EXPECT_THAT(output, Not(HasSubstr("cvfNDistUrgentTopCancelForceCmd(4294967497)")));
  EXPECT_THAT(output, HasSubstr("call cvfNDistUrgentTopCancelForceCmd(201) = 0"));
  EXPECT_THAT(output, HasSubstr("finished"));
  EXPECT_THAT(output, HasSubstr("status=1"));
}

}  // namespace
