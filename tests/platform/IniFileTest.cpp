// Private-profile parsing with Windows rules.
#include <gtest/gtest.h>

#include "platform/IniFile.h"
#include "platform/PlatformProfile.h"
#include "support/TestMachine.h"

namespace {

using plat::IniFile;

TEST(IniFileTest, ProfileIntegersFollowWindowsRules) {
  struct Row {
    const char* text;
    long value;
  } rows[] = {
      {"  7", 7}, {"12abc", 12}, {"abc", 0}, {"-5", -5}, {"0X10", 16}, {"4294967295", -1},
  };
  for (const Row& row : rows) EXPECT_EQ(IniFile::profileInt(row.text), row.value) << row.text;
  IniFile::profileInt(std::string(5000, '9'));  // wraps like the 32-bit conversion, no overflow trap
}

TEST(IniFileTest, SectionsAndKeysIgnoreCaseAndTheFirstWins) {
  IniFile ini;
  ini.parse(
      "garbage line\n"
      "key=before any section\n"
      "[Options]\r\n"
      "  Retry = 5 \r\n"
      "retry=9\n"
      "; comment=1\n"
      "Name=\"quoted value\"\n"
      "[broken\n"
      "[options]\n"
      "Extra=1\n"
      "[Empty]\n");
  EXPECT_EQ(ini.getInt("OPTIONS", "RETRY", -1), 5);
  EXPECT_EQ(ini.getString("options", "name", ""), "quoted value");
  EXPECT_EQ(ini.getInt("options", "extra", -1), -1);  // only the first section of a name counts
  EXPECT_EQ(ini.getInt("options", "comment", -1), -1);
  EXPECT_TRUE(ini.hasSection("EMPTY"));
  EXPECT_FALSE(ini.hasSection("broken"));
}

TEST(IniFileTest, Utf16AndUtf8ByteOrderMarksAreRead) {
  std::string utf16 = "\xFF\xFE";
  for (char c : std::string("[s]\r\nk=12\r\n")) {
    utf16.push_back(c);
    utf16.push_back('\0');
  }
  IniFile wide;
  wide.parse(utf16);
  EXPECT_EQ(wide.getInt("s", "k", 0), 12);
  IniFile bom;
  bom.parse("\xEF\xBB\xBF[s]\nk=3\n");
  EXPECT_EQ(bom.getInt("s", "k", 0), 3);
  IniFile odd;
  odd.parse(std::string("\xFF\xFE[\0s", 5));  // odd byte count: no crash, nothing usable
  EXPECT_FALSE(odd.hasSection("s"));
}

TEST(IniFileTest, PrivateProfileIntegersOfMachineFiles) {
  cvdt::test::TestMachine machine;
  machine.writeFile("C:\\Program Files (x86)\\Plumbex\\Corvane\\crv.ini",
                    "[NDIST]\nUSER_TYPE=2\nIGNORE_EXITCODE=yes\n");
  const std::string ini = "c:\\program files (x86)\\plumbex\\corvane\\CRV.INI";
  EXPECT_EQ(plat::getPrivateProfileInt("ndist", "user_type", 9, ini), 2);
  EXPECT_EQ(plat::getPrivateProfileInt("NDIST", "IGNORE_EXITCODE", 9, ini), 0);
  EXPECT_EQ(plat::getPrivateProfileInt("NDIST", "USER_TYPE", 9, "C:\\absent.ini"), 9);
  EXPECT_EQ(plat::getPrivateProfileInt("NDIST", "USER_TYPE", 9, "C:\\Windows"), 9);  // a folder
}

}  // namespace
