// Tests of the message catalogue: language choice, the second file's precedence, the App
// filter, and malformed catalogue files.
#include <gtest/gtest.h>

#include <string>

#include "PlatformTempDir.h"
#include "platform/NMisc.h"
#include "platform/NMsgFile.h"
#include "support/TestMachine.h"

namespace {

using cvdt::test::TestMachine;
using cvdt_test::kUtf16Bom;
using cvdt_test::utf16le;

constexpr const char* kFolder = "C:\\msgtest";
constexpr const char* kStandard = "C:\\msgtest\\cvmsg.bin";
constexpr const char* kCustom = "C:\\msgtest\\cvmsg_ct.bin";

plat::ModuleHandle testModule() { return plat::moduleHandleForFile(std::string(kFolder) + "\\cvdt.dll"); }

std::string catalogue(const std::u16string& lines) { return kUtf16Bom + utf16le(lines); }

TestMachine::Customize korean() {
  return [](plat::posix::MachineConfig& config, plat::posix::LayoutOptions&) { config.language = 1042; };
}

const std::u16string kStandardLines =
    u"<Msg Lang=\"1033\" Id=\"1530\" App=\"cvdt\" Text=\"Installing\"/>\r\n"
    u"<Msg Lang=\"1042\" Id=\"1530\" App=\"cvdt\" Text=\"\uC124\uCE58 \uC911\"/>\r\n"
    u"<Msg Lang=\"1033\" Id=\"1531\" App=\"cvdt\" Text=\"Done\"/>\r\n"
    u"<Msg Lang=\"1041\" Id=\"1532\" App=\"cvdt\" Text=\"Japanese only\"/>\r\n"
    u"<Msg Lang=\"1033\" Id=\"1478\" App=\"cvdt\" Text=\"Line one\\nLine two\"/>\r\n"
    u"<Msg Lang=\"1033\" Id=\"1600\" App=\"cvdt\" Text=\"standard\"/>\r\n";

TEST(NMsgFileTest, SystemLanguageFirstThenEnglish) {
  TestMachine machine(korean());
  machine.writeFile(kStandard, catalogue(kStandardLines));
  NMsgFile msg;
  EXPECT_EQ(msg.load(testModule(), ""), 1);
  // "설치 중" in the machine's ANSI code page, 949.
  EXPECT_STREQ(msg.getText("1530").text(), "\xBC\xB3\xC4\xA1 \xC1\xDF");
  EXPECT_STREQ(msg.getText("1531").text(), "Done");
  EXPECT_STREQ(msg.getText("1532").text(), "");
  EXPECT_STREQ(msg.getText("1478").text(), "Line one\r\nLine two");

  TestMachine english;  // an English system keeps only English
  english.writeFile(kStandard, catalogue(kStandardLines));
  EXPECT_STREQ(NMisc::getMessage(testModule(), "1530", "").text(), "Installing");
  EXPECT_STREQ(NMisc::getMessage(testModule(), "1532", "").text(), "");
}

TEST(NMsgFileTest, SecondFileReplacesTheFirst) {
  TestMachine machine(korean());
  machine.writeFile(kStandard, catalogue(kStandardLines));
  machine.writeFile(kCustom, catalogue(u"<Msg Lang=\"1033\" Id=\"1600\" App=\"cvdt\" Text=\"custom\"/>\r\n"
                                       u"<Msg Lang=\"1033\" Id=\"1530\" App=\"cvdt\" Text=\"en custom\"/>\r\n"
                                       u"<Msg Lang=\"1033\" Id=\"1601\" App=\"cvdt\" Text=\"first\"/>\r\n"
                                       u"<Msg Lang=\"1033\" Id=\"1601\" App=\"cvdt\" Text=\"second\"/>\r\n"));
  EXPECT_STREQ(NMisc::getMessage(testModule(), "1600", "").text(), "custom");
  // The system language still wins over an English entry of the second file.
  EXPECT_STREQ(NMisc::getMessage(testModule(), "1530", "").text(), "\xBC\xB3\xC4\xA1 \xC1\xDF");
  EXPECT_STREQ(NMisc::getMessage(testModule(), "1601", "").text(), "second");
}

TEST(NMsgFileTest, AppFilterIgnoresCase) {
  TestMachine machine;
  machine.writeFile(kStandard, catalogue(u"<Msg Lang=\"1033\" Id=\"1\" App=\"cvdt\" Text=\"mine\"/>\r\n"
                                         u"<Msg Lang=\"1033\" Id=\"2\" App=\"other\" Text=\"theirs\"/>\r\n"
                                         u"<Msg Lang=\"1033\" Id=\"1\" App=\"other\" Text=\"not mine\"/>\r\n"));
  EXPECT_STREQ(NMisc::getMessage(testModule(), "1", "CVDT").text(), "mine");
  EXPECT_STREQ(NMisc::getMessage(testModule(), "2", "CVDT").text(), "");
  EXPECT_STREQ(NMisc::getMessage(testModule(), "2", nullptr).text(), "theirs");
}

TEST(NMsgFileTest, MalformedLines) {
  TestMachine machine;
  machine.writeFile(
      kStandard, catalogue(u"  \t<Msg Text=\"any order\" App=\"a\" Id=\"10\" Lang=\"1033\"/>  \r\n"
                           u"<Msg Lang=\"1033\" Id=\"12\" Text=\"unterminated/>\r\n"
                           u"Msg Lang=\"1033\" Id=\"14\" Text=\"no angle\"/>\r\n"
                           u"<Msg>\r\n"
                           u"<M\r\n\r\n\r\n"
                           u"<Msg Lang=\"1033\" Id=\"99999999999\" Text=\"huge\"/>\r\n"
                           u"<Msg Lang=\"1033\" Id=\"-1\" Text=\"minus one\"/>\r\n"
                           u"<Msg Lang=\"1033\" Id=\"abc\" Text=\"not a number\"/>\r\n"
                           u"<Msg Lang=\"1033\" Id=\"18\" Text=\"no line end\"/>"));
  const struct {
    const char* id;
    const char* text;
  } rows[] = {
      {"10", "any order"},    {"12", ""},          {"14", ""},
      {"2147483647", "huge"}, {"-1", "minus one"}, {"0", "not a number"},
      {"18", "no line end"},
  };
  for (const auto& r : rows) EXPECT_STREQ(NMisc::getMessage(testModule(), r.id, "").text(), r.text) << r.id;
}

TEST(NMsgFileTest, BadFiles) {
  TestMachine machine;
  NMsgFile none;
  EXPECT_EQ(none.load(testModule(), ""), 0);  // neither file exists
  EXPECT_STREQ(none.getText("1").text(), "");

  // Empty file, a lone byte, and a file without a byte-order mark: the first two bytes are
  // skipped whatever they are, so its first line loses its "<".
  const std::string files[] = {"", "\xFF", utf16le(u"<Msg Lang=\"1033\" Id=\"1\" Text=\"lost\"/>\r\n"
                                                   u"<Msg Lang=\"1033\" Id=\"2\" Text=\"kept\"/>\r\n")};
  for (const std::string& bytes : files) {
    machine.writeFile(kStandard, bytes);
    NMsgFile msg;
    EXPECT_EQ(msg.load(testModule(), ""), 1);
    EXPECT_STREQ(msg.getText("1").text(), "");
  }
  EXPECT_STREQ(NMisc::getMessage(testModule(), "2", "").text(), "kept");
}

}  // namespace
