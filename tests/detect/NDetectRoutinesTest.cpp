// The detection language's shared routines: elements, key operands, path macros and levels,
// versions and statuses, local addresses.
#include <gtest/gtest.h>

#include <string>

#include "detect/NDetectRoutines.h"
#ifndef _WIN32  // the host-name lookup is steered through a Linux namespace
#include "HostsNamespace.h"
#endif
#include "platform/PlatformRegistry.h"
#include "support/TestMachine.h"

namespace {

using cvdt::test::TestMachine;
using plat::RegRoot;

TEST(NDetectRoutinesTest, ElementsAreCutByPlainSearchFromTheStart) {
  struct Row {
    const char* text;
    const char* inner;    // getElementText
    const char* element;  // getElement
    int end;
  } rows[] = {
      {"x<a>1</a>y", "1", "<a>1</a>", 9},
      {"<a> \r\n1 </a>", " \r\n1 ", "<a> \r\n1 </a>", 12},
      {"</a><a>1</a>", "", "", -1},  // the first closing tag stands before the opening
      {"<a>1<a>2</a></a>", "1<a>2", "<a>1<a>2</a>", 12},  // no nesting
      {"<A>1</A>", "", "", -1},                           // case-sensitive
  };
  for (const Row& row : rows) {
    EXPECT_STREQ(getElementText(row.text, "<a>", "</a>").text(), row.inner) << row.text;
    int end = 99;
    EXPECT_STREQ(getElement(row.text, "<a>", "</a>", &end).text(), row.element) << row.text;
    EXPECT_EQ(end, row.end) << row.text;
  }
  // An opening tag that ends inside the closing tag: the inner text would start after it.
  EXPECT_STREQ(getElementText("<ab>", "<ab>", "b>").text(), "");
  int end = 0;
  EXPECT_STREQ(getElement("<ab>", "<ab>", "b>", &end).text(), "<ab>");
}

TEST(NDetectRoutinesTest, KeyOperandSplitsAtBackslashOrAnEarlierComma) {
  struct Row {
    const char* key;
    bool ok;
    RegRoot root;
    const char* path;
  } rows[] = {
      {"HKEY_LOCAL_MACHINE\\Software\\Vendor", true, RegRoot::LocalMachine, "Software\\Vendor"},
      {"HKEY_LOCAL_MACHINE,Software\\Vendor", true, RegRoot::LocalMachine, "Software\\Vendor"},
      {"HKEY_CURRENT_USER\\a,b", true, RegRoot::CurrentUser, "a,b"},
      {"HKEY_LOCAL_MACHINE", true, RegRoot::LocalMachine, ""},
      {"hkey_local_machine\\Software", false, RegRoot::LocalMachine, ""},
      {" HKEY_LOCAL_MACHINE\\Software", false, RegRoot::LocalMachine, ""},
  };
  for (const Row& row : rows) {
    RegRoot root = RegRoot::Users;
    NString path;
    ASSERT_EQ(splitKeyOperand(row.key, root, path), row.ok) << row.key;
    if (!row.ok) continue;
    EXPECT_EQ(root, row.root) << row.key;
    EXPECT_STREQ(path.text(), row.path) << row.key;
  }
}

TEST(NDetectRoutinesTest, PathMacrosFollowTheView) {
  TestMachine machine;
  plat::RegKey key;
  ASSERT_EQ(plat::RegKey::open(RegRoot::LocalMachine, "Software\\Microsoft\\Windows\\CurrentVersion",
                               plat::kKeyRead | plat::kKeyWow64_32Key, key), 0u);
  struct Row {
    const char* path;
    bool view64;
    const char* expanded;
  } rows[] = {
      {"%CSIDL_WINDOWS%\\Fonts", false, "C:\\Windows\\Fonts"},
      {"  %csidl_system%\\drivers\\ \n", false, "C:\\Windows\\SysWOW64\\drivers"},
      {"%csidl_system%", true, "C:\\Windows\\System32"},
      {"%csidl_program_files%\\Vendor\\App\\", true, "C:\\Program Files\\Vendor\\App"},
      {"%csidl_program_files_common%\\X", true, "C:\\Program Files\\Common Files\\X"},
      {"D:%unknown%\\X", false, "D:\\X"},
      {"C:\\Tools\\\\", false, "C:\\Tools\\"},  // one backslash goes
      {"100%", false, "100%"},
  };
  for (const Row& row : rows) {
#ifdef _WIN32  // the system names its folders in its own case (Wine: "C:\windows\system32")
    EXPECT_STRCASEEQ(resolvePathMacro(row.path, row.view64).text(), row.expanded) << row.path;
#else
    EXPECT_STREQ(resolvePathMacro(row.path, row.view64).text(), row.expanded) << row.path;
#endif
  }
}

TEST(NDetectRoutinesTest, PathLevelsAreStrippedFromTheEnd) {
  struct Row {
    const char* path;
    int levels;
    const char* stripped;
  } rows[] = {
      {"C:\\A\\B\\app.exe", 2, "C:\\A"},
      {"C:\\A\\B\\app.exe", 4, ""},
      {"C:\\A\\B\\", 1, "C:\\A"},
      {"C:\\A\\", -2, "C:\\A\\"},
      {"\\A", 1, ""},
      {"", 1, ""},
  };
  for (const Row& row : rows)
    EXPECT_STREQ(stripPathLevels(row.path, row.levels).text(), row.stripped) << row.path << row.levels;
  EXPECT_EQ(readPathLevel("2"), 2);
  EXPECT_EQ(readPathLevel("12abc"), 12);
  EXPECT_STREQ(stripPathLevels(std::string(300, 'a').append("\\b").c_str(), 1).text(), "");
}

TEST(NDetectRoutinesTest, VersionsCompareByNumericPartsAndStatusesJudgeTheResult) {
  struct Row {
    const char* installed;
    const char* required;
    int r;
  } rows[] = {
      {"1.2.3.4", "1.2", 1}, {"2", "2.0.0.0", 0}, {"1.10", "1.9", 1}, {"1,2", "1.2", 0},
      {"1..3", "1.0.3", 0},  {"-1", "0", -1},     {"", "0.0.1", -1},  {"4294967296", "1", 1},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(compareVersion(row.installed, row.required), row.r) << row.installed << " ? " << row.required;
    EXPECT_EQ(compareVersion(row.required, row.installed), -row.r) << row.required << " ? " << row.installed;
  }
  // Only 30 parts count.
  std::string a(30 * 2, '.'), b = a;
  for (size_t i = 0; i < a.size(); i += 2) a[i] = b[i] = '1';
  EXPECT_EQ(compareVersion((a + "5").c_str(), (b + "1").c_str()), 0);
  EXPECT_EQ(compareVersion(std::string(250, '0').append(".1").c_str(), ""), 0);  // 199 characters

  struct Status {
    const char* status;
    int lower, same, higher;
  } statuses[] = {
      {"HIGHER", 0, 0, 1},        {"HIGHER_OR_SAME", 0, 1, 1}, {"LOWER", 1, 0, 0},
      {"LOWER_OR_SAME", 1, 1, 0}, {" SAME\n", 0, 1, 0},        {"same", -1, -1, -1},
  };
  for (const Status& row : statuses) {
    EXPECT_EQ(judgeVersionStatus(row.status, -1), row.lower) << row.status;
    EXPECT_EQ(judgeVersionStatus(row.status, 0), row.same) << row.status;
    EXPECT_EQ(judgeVersionStatus(row.status, 1), row.higher) << row.status;
  }
}

#ifndef _WIN32  // a private mount and host-name namespace of Linux
std::string localAddresses() {
  NStringArray list;
  getLocalAddresses(list);
  std::string text;
  for (int i = 0; i < list.getCount(); ++i) text += list.getAt(i).text() + std::string(" ");
  return text;
}

TEST(NDetectRoutinesTest, LocalAddressesComeInResolverOrderPaddedAndAtMostTwenty) {
  std::string hosts = "127.0.0.1 localhost\n";
  for (int i = 25; i >= 1; --i) hosts += "10.1.2." + std::to_string(i) + " wsdetect\n";
  auto answer = cvdt::test::inHostsNamespace("wsdetect", hosts, localAddresses);
  if (!answer) GTEST_SKIP() << "no private mount and host-name namespace here";
  std::string expected;
  for (int i = 25; i >= 6; --i) {
    char text[20];
    std::snprintf(text, sizeof text, "010.001.002.%03d ", i);
    expected += text;
  }
  EXPECT_EQ(*answer, expected);

  answer = cvdt::test::inHostsNamespace("unresolvable-ws", "127.0.0.1 localhost\n", localAddresses);
  ASSERT_TRUE(answer);
  EXPECT_EQ(*answer, "");
}

#endif

}  // namespace
