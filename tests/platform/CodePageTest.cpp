// The machine's ANSI and OEM code pages: chosen by its system language, used by every narrow
// conversion, and converted to the host's UTF-8 where file names and program arguments leave it.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/PlatformFile.h"
#include "platform/PlatformFs.h"
#include "platform/PlatformProcess.h"
#include "platform/PlatformText.h"
#include "support/TestMachine.h"

namespace {

namespace fs = std::filesystem;
using cvdt::test::TestMachine;

// "한글" (Hangul) in code page 949, and the same in UTF-8.
constexpr const char* kHangul949 = "\xC7\xD1\xB1\xDB";
constexpr const char* kHangulUtf8 = "\xED\x95\x9C\xEA\xB8\x80";

TestMachine::Customize language(uint16_t id, uint32_t ansi = 0, uint32_t oem = 0) {
  return [=](plat::posix::MachineConfig& config, plat::posix::LayoutOptions&) {
    config.language = id;
    config.ansiCodePage = ansi;
    config.oemCodePage = oem;
  };
}

std::string readHost(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

TEST(CodePageTest, LanguagesGiveWindowsPairs) {
  struct Row {
    uint16_t language;
    uint32_t ansi, oem;
  } rows[] = {
      {1033, 1252, 437}, {2057, 1252, 850}, {4100, 936, 936}, {3098, 1251, 855}, {0, 1252, 437},
  };
  for (const Row& row : rows) {
    plat::CodePages pages = plat::codePagesForLanguage(row.language);
    EXPECT_EQ(pages.ansi, row.ansi) << row.language;
    EXPECT_EQ(pages.oem, row.oem) << row.language;
  }
}

TEST(CodePageTest, MachineLanguageAndOverridesChooseTheConversions) {
  {
    TestMachine machine(language(1042));
    EXPECT_EQ(plat::ansiCodePage(), 949u);
    EXPECT_EQ(plat::oemCodePage(), 949u);
    EXPECT_EQ(plat::wideToAnsi(u"\uD55C\uAE00"), kHangul949);
    EXPECT_EQ(plat::ansiToUtf8(kHangul949), kHangulUtf8);
    // A character 949 lacks becomes one "?"; a surrogate pair too.
    EXPECT_EQ(plat::wideToAnsi(u"a\u0E01b\U0001F600c"), "a?b?c");
    // Half a character, where a text was cut at a byte count, decodes as U+FFFD.
    EXPECT_EQ(plat::ansiToWide("\xC7\xD1\xB1"), u"\uD55C\uFFFD");
  }
  {
    // The worldwide UTF-8 setting: both pages 65001, texts pass unchanged.
    TestMachine machine(language(1042, 65001, 65001));
    EXPECT_EQ(plat::ansiCodePage(), 65001u);
    EXPECT_EQ(plat::wideToAnsi(u"\uD55C\uAE00"), kHangulUtf8);
    EXPECT_EQ(plat::ansiToUtf8("\xC7\xD1"), "\xC7\xD1");  // even bytes that are no UTF-8
  }
  {
    TestMachine machine(language(1033));
    EXPECT_EQ(plat::ansiCodePage(), 1252u);
    EXPECT_EQ(plat::oemCodePage(), 437u);
    EXPECT_EQ(plat::oemToWide("caf\xE9"), u"caf\u0398");  // 0xE9 is a Greek theta in 437
    EXPECT_EQ(plat::ansiToWide("\x80\x81"), u"\u20AC\u0081");  // 1252's holes keep their value
  }
  // Outside any machine narrow text is the host's UTF-8.
  EXPECT_EQ(plat::ansiCodePage(), 65001u);
  EXPECT_EQ(plat::wideToAnsi(u"\uD55C"), "\xED\x95\x9C");
}

// A trail byte may look like an ASCII letter: only whole characters fold.
TEST(CodePageTest, CaseInsensitiveComparisonFoldsWholeCharactersOnly) {
  TestMachine machine(language(1042));
  EXPECT_EQ(plat::compareNoCase("\x81\x41x", "\x81\x61X"), -1);
  EXPECT_EQ(plat::compareNoCase("\xC7\xD1"
                                "Abc",
                                "\xC7\xD1"
                                "aBC"),
            0);
}

TEST(CodePageTest, FileNamesAreUtf8OnTheHostAndAnsiInTheMachine) {
  TestMachine machine(language(1042));
  std::string folder = std::string("C:\\") + kHangul949;
  ASSERT_TRUE(plat::createDirectory(folder));
  EXPECT_TRUE(fs::is_directory(machine.root() + "/drives/c/" + kHangulUtf8));
  plat::File file;
  ASSERT_TRUE(file.open(folder + "\\" + kHangul949 + ".txt", plat::FileMode::Write));
  file.close();
  std::vector<plat::DirEntry> entries;
  ASSERT_TRUE(plat::listDirectory(folder, entries));
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].name, std::string(kHangul949) + ".txt");
  EXPECT_EQ(plat::toWindowsPath(machine.root() + "/drives/c/" + kHangulUtf8),
            std::string("C:\\") + kHangul949);
  EXPECT_EQ(plat::findFirstKind(folder + "\\*.txt"), plat::PathKind::File);
}

// In 932 the second byte of "表" is a backslash; the path still names one folder.
TEST(CodePageTest, DoubleByteNamesWithABackslashTrailByteStayWhole) {
  TestMachine machine(language(1041));
  const std::string table932 = "\x95\x5C";
  ASSERT_TRUE(plat::createDirectory("C:\\" + table932));
  EXPECT_TRUE(fs::is_directory(machine.root() + "/drives/c/\xE8\xA1\xA8"));
  EXPECT_EQ(plat::pathKind("C:\\" + table932), plat::PathKind::Directory);
}

TEST(CodePageTest, ProgramsGetTheirPathAndArgumentsAsUtf8) {
  TestMachine machine(language(1042));
  std::string folder = machine.root() + "/drives/c/" + kHangulUtf8;
  fs::create_directories(folder);
  std::string out = machine.root() + "/args.txt";
  std::ofstream(folder + "/echo.sh") << "#!/bin/sh\nprintf '%s|%s' \"$1\" \"$2\" > \"$3\"\n";
  chmod((folder + "/echo.sh").c_str(), 0755);

  plat::LaunchRequest request;
  request.commandLine = std::string("\"C:\\") + kHangul949 + "\\echo.sh\" \"" + kHangul949 +
                        " x\" caf\xC7\xD1 " + out;
  plat::Process process;
  ASSERT_TRUE(process.start(request, true));
  EXPECT_EQ(process.wait(), 0);
  EXPECT_EQ(readHost(out), std::string(kHangulUtf8) + " x|caf\xED\x95\x9C");
}

}  // namespace
