// CMD.EXE on a fresh machine: batch files (shell scripts) run in the current folder with their
// arguments in both /c forms, and their exit codes pass through whole.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>

#include "platform/NMisc.h"
#include "support/Subprocess.h"
#include "support/TestMachine.h"

using ::testing::HasSubstr;

namespace {

using cvdt::test::ProcessResult;
using cvdt::test::Subprocess;
using cvdt::test::TestMachine;

// Writes each argument on a line of args.txt in the current folder, then the folder itself.
constexpr const char* kRecordingScript =
    "printf '%s\\n' \"$#\" \"$@\" > args.txt\npwd >> args.txt\nexit 0\n";

class CmdTest : public testing::Test {
 protected:
  std::string cmd() const { return NMisc::getSystemFolder(0).text() + std::string("\\CMD.EXE"); }
  std::string recorded(const std::string& folder) const { return m_machine.readFile(folder + "\\args.txt"); }
  std::string lines(const std::vector<std::string>& words, const std::string& folder) const {
    std::string text = std::to_string(words.size()) + "\n";
    for (const std::string& word : words) text += word + "\n";
    return text + m_machine.host(folder) + "\n";
  }

  TestMachine m_machine;
};

TEST_F(CmdTest, ExitCodesPassThroughWhole) {
  m_machine.writeFile("C:\\Batch\\zero.bat", "exit 0\n");
  m_machine.writeFile("C:\\Batch\\five.bat", "exit 5\n");
  m_machine.writeFile("C:\\Batch\\FAIL.BAT", "false\n");
  // What the module builds: the interpreter, two blanks, /c and the quoted batch text.
  EXPECT_EQ(NMisc::createProcessWait((cmd() + "  /c \"C:\\Batch\\zero.bat \"").c_str(), "C:\\Batch", 1), 0);
  EXPECT_EQ(NMisc::createProcessWait((cmd() + "  /c \"C:\\Batch\\five.bat \"").c_str(), "C:\\Batch", 1), 5);
  EXPECT_EQ(NMisc::createProcessWait((cmd() + " /C C:\\batch\\fail.bat").c_str(), nullptr, 1), 1);
  EXPECT_EQ(NMisc::createProcessWait((cmd() + " /c C:\\Batch\\none.bat").c_str(), nullptr, 1), 9009);
}

TEST_F(CmdTest, ProgramsTheScriptStartsCannotAnswerInItsName) {
  // The inner interpreter ends with 9009, whose low byte is 49; the script's own 49 must win.
  m_machine.writeFile("C:\\Batch\\nested.bat", "\"$CMD\" /c C:\\\\Batch\\\\none.bat 2>/dev/null\nexit 49\n");
  setenv("CMD", m_machine.host(cmd()).c_str(), 1);
  EXPECT_EQ(NMisc::createProcessWait((cmd() + " /c C:\\Batch\\nested.bat").c_str(), nullptr, 1), 49);
  unsetenv("CMD");
}

TEST_F(CmdTest, ArgumentsArriveInBothFormsAndTheScriptRunsInTheCurrentFolder) {
  m_machine.writeFile("C:\\Batch Files\\args.bat", kRecordingScript);
  m_machine.writeFile("C:\\Work\\.keep", "");
  // The batch path and its options inside one pair of quotes, the path with a blank in it.
  ASSERT_EQ(NMisc::createProcessWait((cmd() + "  /c \"C:\\Batch Files\\args.bat one two\"").c_str(), "C:\\Work", 1), 0);
  EXPECT_EQ(recorded("C:\\Work"), lines({"one", "two"}, "C:\\Work"));
  // Separate arguments, one of them quoted.
  ASSERT_EQ(NMisc::createProcessWait((cmd() + " /q /c \"C:\\Batch Files\\args.bat\" \"two words\" x").c_str(), "C:\\Work", 1), 0);
  EXPECT_EQ(recorded("C:\\Work"), lines({"two words", "x"}, "C:\\Work"));
  // A batch file named relative to the current folder.
  m_machine.writeFile("C:\\Work\\sub\\rel.bat", kRecordingScript);
  ASSERT_EQ(NMisc::createProcessWait((cmd() + " /c sub\\rel.bat").c_str(), "C:\\Work", 1), 0);
  EXPECT_EQ(recorded("C:\\Work"), lines({}, "C:\\Work"));
}

// On a Korean machine the module's command line is in 949: the batch file's folder is found
// and the script gets its argument in UTF-8.
TEST(CmdCodePageTest, BatchPathsAndArgumentsInTheMachinesCodePage) {
  TestMachine machine([](auto& config, auto&) { config.language = 1042; });
  const std::string folder = "C:\\\xC7\xD1\xB1\xDB";  // "한글"
  machine.writeFile(folder + "\\args.bat", kRecordingScript);
  machine.writeFile("C:\\Work\\.keep", "");
  std::string cmd = NMisc::getSystemFolder(0).text() + std::string("\\CMD.EXE");
  std::string line = cmd + " /c \"" + folder + "\\args.bat\" \xBC\xB3\xC4\xA1";  // "설치"
  ASSERT_EQ(NMisc::createProcessWait(line.c_str(), "C:\\Work", 1), 0);
  EXPECT_EQ(machine.readFile("C:\\Work\\args.txt"),
            "1\n\xEC\x84\xA4\xEC\xB9\x98\n" + machine.host("C:\\Work") + "\n");
}

TEST_F(CmdTest, RefusesCommandLinesWithoutABatchFile) {
  Subprocess interpreter(m_machine.host(cmd()));
  ProcessResult noSwitch = interpreter.run({"C:\\Batch\\x.bat"});
  EXPECT_EQ(noSwitch.exitStatus, 1);
  EXPECT_THAT(noSwitch.err, HasSubstr("expected /c"));
  ProcessResult nothing = interpreter.run({"/c", "  "});
  EXPECT_EQ(nothing.exitStatus, 1);
  EXPECT_THAT(nothing.err, HasSubstr("nothing to run"));
  ProcessResult missing = interpreter.run({"/c", "C:\\Nowhere\\x.bat", "a"});
  EXPECT_EQ(missing.exitStatus, 9009 & 0xFF);
  EXPECT_THAT(missing.err, HasSubstr("'C:\\Nowhere\\x.bat' is not recognized"));
}

}  // namespace
