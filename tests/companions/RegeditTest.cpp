// regedit.exe on a fresh machine: every value form of both file formats lands in the 64-bit view
// and reads back through plat::RegKey and NRegistry; deletions; malformed files change nothing;
// the 32-bit copy in SysWOW64 imports into the 32-bit view.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <string>
#include <vector>

#include "detect/NRegistry.h"
#include "platform/PlatformRegistry.h"
#include "platform/PlatformText.h"
#include "support/Subprocess.h"
#include "support/TestMachine.h"

using ::testing::HasSubstr;

namespace {

using cvdt::test::ProcessResult;
using cvdt::test::Subprocess;
using cvdt::test::TestMachine;

constexpr const char* kHeader4 = "REGEDIT4";
constexpr const char* kHeader5 = "Windows Registry Editor Version 5.00";
constexpr const char* kKey = "SOFTWARE\\CvdtRegTest";

// A version 5.00 file as regedit writes it: UTF-16LE with its byte-order mark, CR LF lines.
std::string utf16File(const std::string& text) {
  std::string bytes = "\xFF\xFE";
  for (char16_t unit : plat::ansiToWide(text)) {
    bytes.push_back(static_cast<char>(unit & 0xFF));
    bytes.push_back(static_cast<char>(unit >> 8));
  }
  return bytes;
}

std::vector<uint8_t> bytesOf(const std::string& text) { return {text.begin(), text.end()}; }

// The Windows folder's regedit itself: this test program is a 32-bit one, which would be
// given the SysWOW64 copy.
std::string nativeRegedit(const TestMachine& machine) {
  void* old = nullptr;
  plat::disableRedirection(&old);
  std::string path = machine.host("C:\\Windows\\regedit.exe");
  plat::revertRedirection(old);
  return path;
}

ProcessResult importFile(const TestMachine& machine, const std::string& content,
                         const std::vector<std::string>& extra = {"/s"},
                         const std::string& program = {}) {
  machine.writeFile("C:\\Temp\\import.reg", content);
  std::vector<std::string> arguments = extra;
  arguments.push_back("C:\\Temp\\import.reg");
  return Subprocess(program.empty() ? nativeRegedit(machine) : program).run(arguments);
}

bool readValue(const std::string& key, const std::string& name, uint32_t view, uint32_t& type,
               std::vector<uint8_t>& data) {
  plat::RegKey handle;
  return plat::RegKey::open(plat::RegRoot::LocalMachine, key, plat::kKeyRead | view, handle) == 0 &&
         handle.queryValue(name, type, data) == 0;
}

struct ValueCase {
  const char* line4;  // the value line in a REGEDIT4 file
  const char* line5;  // in a version 5.00 file; null: as line4
  const char* name;
  uint32_t type;
  std::vector<uint8_t> data;
};

const std::vector<ValueCase>& valueCases() {
  static const std::vector<ValueCase> cases = {
      {"\"Text\"=\"hello world\"", nullptr, "Text", plat::kRegSz,
       bytesOf(std::string("hello world") + '\0')},
      {R"("Escaped"="C:\\Program Files\\\"x\"")", nullptr, "Escaped", plat::kRegSz,
       bytesOf(std::string(R"(C:\Program Files\"x")") + '\0')},
      {"@=\"the default\"", nullptr, "", plat::kRegSz, bytesOf(std::string("the default") + '\0')},
      {"\"Korean\"=\"\xED\x95\x9C\xEA\xB8\x80\"", nullptr, "Korean", plat::kRegSz,
       bytesOf(std::string("\xED\x95\x9C\xEA\xB8\x80") + '\0')},
      {"\"Name = with sign\"=\"v\"", nullptr, "Name = with sign", plat::kRegSz,
       bytesOf(std::string("v") + '\0')},
      {"\"Number\"=dword:0000012c", nullptr, "Number", plat::kRegDword, {0x2c, 0x01, 0, 0}},
      {"\"Short\"=DWORD:f ; a comment", nullptr, "Short", plat::kRegDword, {0x0f, 0, 0, 0}},
      {"\"Continued\"=hex:01,02,\\\r\n    03,04",
       nullptr,
       "Continued",
       plat::kRegBinary,
       {1, 2, 3, 4}},
      {"\"Expand\"=hex(2):25,54,45,4d,50,25,5c,78,00",
       "\"Expand\"=hex(2):25,00,54,00,45,00,4d,00,50,00,25,00,5c,00,78,00,00,00", "Expand",
       plat::kRegExpandSz, bytesOf(std::string("%TEMP%\\x") + '\0')},
      {"\"Multi\"=hex(7):61,00,62,63,00,00",
       "\"Multi\"=hex(7):61,00,00,00,62,00,63,00,00,00,\\\r\n  00,00", "Multi", plat::kRegMultiSz,
       bytesOf(std::string("a\0bc\0\0", 6))},
  };
  return cases;
}

std::string fileOf(const char* header, bool version5) {
  std::string text = std::string(header) + "\r\n\r\n; written by the test\r\n[HKEY_LOCAL_MACHINE\\" + kKey + "]\r\n";
  for (const ValueCase& c : valueCases()) text += std::string(version5 && c.line5 ? c.line5 : c.line4) + "\r\n";
  return text + "\r\n[HKLM\\" + kKey + "\\Sub Key\\Deeper]\r\n\"Inner\"=\"1\"\r\n";
}

TEST(RegeditTest, EveryValueFormOfBothFormatsLandsInThe64BitViewAndReadsBack) {
  for (bool version5 : {false, true}) {
    TestMachine machine;
    std::string text = fileOf(version5 ? kHeader5 : kHeader4, version5);
    ProcessResult result = importFile(machine, version5 ? utf16File(text) : text);
    ASSERT_EQ(result.exitStatus, 0) << result.err;
    EXPECT_EQ(result.out, "");  // silent with /s
    for (const ValueCase& c : valueCases()) {
      uint32_t type = 99;
      std::vector<uint8_t> data;
      ASSERT_TRUE(readValue(kKey, c.name, plat::kKeyWow64_64Key, type, data)) << c.name;
      EXPECT_EQ(type, c.type) << c.name << (version5 ? " (5.00)" : " (4)");
      EXPECT_EQ(data, c.data) << c.name << (version5 ? " (5.00)" : " (4)");
    }
    uint32_t type = 0;
    std::vector<uint8_t> data;
    EXPECT_FALSE(readValue(kKey, "Text", plat::kKeyWow64_32Key, type, data));  // not WOW6432Node
    EXPECT_TRUE(readValue(std::string(kKey) + "\\Sub Key\\Deeper", "Inner", plat::kKeyWow64_64Key, type, data));

    NRegistry reader;
    ASSERT_TRUE(reader.open(plat::RegRoot::LocalMachine, kKey, true, true, true));
    EXPECT_STREQ(reader.readValue("Number").text(), "300");
    EXPECT_STREQ(reader.readValue("").text(), "the default");
    EXPECT_STREQ(reader.readText("Expand").text(), "%TEMP%\\x");
    EXPECT_STREQ(reader.readText("Korean").text(), "\xED\x95\x9C\xEA\xB8\x80");
  }
}

TEST(RegeditTest, DeletesKeyTreesAndValuesAndTakesHostAndRelativePaths) {
  TestMachine machine;
  ASSERT_EQ(importFile(machine, std::string(kHeader4) + "\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Del]\n"
                                "\"Keep\"=\"k\"\n\"Gone\"=\"g\"\n@=\"d\"\n"
                                "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Del\\Tree\\Leaf]\n\"x\"=dword:1\n"
                                "[HKCU\\Software\\Del]\n\"User\"=\"u\"\n").exitStatus, 0);
  ProcessResult result =
      importFile(machine,
                 std::string(kHeader5) +
                     "\r\n[-HKEY_LOCAL_MACHINE\\SOFTWARE\\Del\\Tree]\r\n"
                     "[-HKEY_LOCAL_MACHINE\\SOFTWARE\\Never\\There]\r\n"
                     "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Del]\r\n\"Gone\"=-\r\n@=-\r\n\"Missing\"=-\r\n"
                     "[-HKEY_CURRENT_USER\\Software\\Del]\r\n",
                 {});
  ASSERT_EQ(result.exitStatus, 0) << result.err;
  EXPECT_THAT(result.out, HasSubstr("imported"));  // without /s it says what it did
  uint32_t type = 0;
  std::vector<uint8_t> data;
  EXPECT_TRUE(readValue("SOFTWARE\\Del", "Keep", plat::kKeyWow64_64Key, type, data));
  EXPECT_FALSE(readValue("SOFTWARE\\Del", "Gone", plat::kKeyWow64_64Key, type, data));
  EXPECT_FALSE(readValue("SOFTWARE\\Del", "", plat::kKeyWow64_64Key, type, data));
  plat::RegKey key;
  EXPECT_NE(plat::RegKey::open(plat::RegRoot::LocalMachine, "SOFTWARE\\Del\\Tree", plat::kKeyRead | plat::kKeyWow64_64Key, key), 0u);
  EXPECT_NE(plat::RegKey::open(plat::RegRoot::CurrentUser, "Software\\Del", plat::kKeyRead, key), 0u);

  // A file named by its host path, and one relative to the current folder.
  machine.writeFile("C:\\Temp\\host.reg",
                    std::string(kHeader4) + "\n[HKLM\\SOFTWARE\\Paths]\n\"Host\"=\"1\"\n");
  machine.writeFile("C:\\Temp\\relative.reg",
                    std::string(kHeader4) + "\n[HKLM\\SOFTWARE\\Paths]\n\"Relative\"=\"1\"\n");
  Subprocess regedit(nativeRegedit(machine));
  EXPECT_EQ(regedit.run({"/s", machine.host("C:\\Temp\\host.reg")}).exitStatus, 0);
  EXPECT_EQ(regedit.folder(machine.host("C:\\Temp")).run({"/S", "relative.reg"}).exitStatus, 0);
  EXPECT_TRUE(readValue("SOFTWARE\\Paths", "Host", plat::kKeyWow64_64Key, type, data));
  EXPECT_TRUE(readValue("SOFTWARE\\Paths", "Relative", plat::kKeyWow64_64Key, type, data));
}

struct MalformedCase {
  const char* what;
  std::string content;  // the file after a valid first value, or the whole file (whole = true)
  bool whole;
  const char* message;  // part of the reason on stderr
};

TEST(RegeditTest, AMalformedFileExitsNonZeroAndChangesNothing) {
  const std::string start = std::string(kHeader4) + "\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Bad]\n\"Before\"=\"written?\"\n";
  const std::vector<MalformedCase> cases = {
      {"empty file", "", true, "no header"},
      {"wrong header", "REGEDIT5\n", true, "line 1: not a registry file"},
      {"odd UTF-16 file", "\xFF\xFE\x52\x00\x45", true, "odd number"},
      {"unknown root", "[HKEY_NOWHERE\\X]\n", false, "line 4: unknown root"},
      {"unclosed key", "[HKEY_LOCAL_MACHINE\\SOFTWARE\\X\n", false, "line 4: a key line without"},
      {"root itself", "[HKEY_LOCAL_MACHINE]\n", false, "line 4: a root key"},
      {"nine dword digits", "\"v\"=dword:123456789\n", false, "line 4: dword"},
      {"bad hex byte", "\"v\"=hex:01,2g\n", false, "line 4: hex data holds \"2g\""},
      {"bad hex type", "\"v\"=hex(zz):00\n", false, "line 4: hex(N)"},
      {"unterminated string", "\"v\"=\"open\n", false, "line 4: a string value"},
      {"unterminated name", "\"v=\"a\"\n", false, "line 4:"},
      {"no equals sign", "\"v\" \"a\"\n", false, "line 4: a value name without \"=\""},
      {"unknown data", "\"v\"=str:abc\n", false, "line 4: unknown value data"},
      {"stray text", "this is not a line of a .reg file\n", false, "line 4: neither"},
      {"value under a deleted key", "[-HKEY_LOCAL_MACHINE\\SOFTWARE\\Bad2]\n\"v\"=\"a\"\n", false,
       "line 5: a value line outside"},
  };
  TestMachine machine;
  for (const MalformedCase& c : cases) {
    std::string content = c.whole ? c.content : start + c.content;
    ProcessResult result = importFile(machine, content);
    EXPECT_EQ(result.exitStatus, 1) << c.what;
    EXPECT_THAT(result.err, HasSubstr(c.message)) << c.what << ": " << result.err;
    plat::RegKey key;
    EXPECT_NE(plat::RegKey::open(plat::RegRoot::LocalMachine, "SOFTWARE\\Bad", plat::kKeyRead | plat::kKeyWow64_64Key, key), 0u)
        << c.what << " changed the registry";
  }
  Subprocess regedit(nativeRegedit(machine));
  EXPECT_EQ(regedit.run({"/s", "C:\\Temp\\no-such.reg"}).exitStatus, 1);
  EXPECT_EQ(regedit.run({"/s"}).exitStatus, 2);
}

// Every key and value of the machine's registry, in a fixed order, as one text.
std::string registrySnapshot(const TestMachine& machine) {
  sqlite3* db = nullptr;
  std::string dump;
  if (sqlite3_open_v2(machine.config().registryPath().c_str(), &db, SQLITE_OPEN_READONLY,
                      nullptr) != SQLITE_OK) {
    sqlite3_close(db);
    return "<no registry>";
  }
  const char* sql =
      "SELECT k.path, ifnull(v.name, ''), ifnull(v.type, -1), ifnull(hex(v.data), '')"
      " FROM reg_key k LEFT JOIN reg_value v ON v.key_id = k.id ORDER BY k.path, v.name";
  sqlite3_exec(db, sql, [](void* out, int columns, char** texts, char**) {
    auto* text = static_cast<std::string*>(out);
    for (int i = 0; i < columns; ++i) *text += std::string(texts[i] ? texts[i] : "") + "|";
    *text += "\n";
    return 0;
  }, &dump, nullptr);
  sqlite3_close(db);
  return dump;
}

TEST(RegeditTest, KeysWindowsRefusesAreRefusedAndNothingIsWritten) {
  const std::string longName(256, 'n');
  const std::string longestName(255, 'n');
  std::string deep = "SOFTWARE";
  for (int level = 1; level < 513; ++level) deep += "\\L";  // 513 levels below the root
  std::string deepest = "SOFTWARE";
  for (int level = 1; level < 512; ++level) deepest += "\\L";
  struct Case {
    const char* what;
    std::string keyLine;
    const char* message;  // empty: accepted
  } cases[] = {
      {"key name of 256 characters", "[HKEY_LOCAL_MACHINE\\SOFTWARE\\" + longName + "]",
       "a key name longer than 255"},
      {"513 levels", "[HKEY_LOCAL_MACHINE\\" + deep + "]", "a key more than 512 levels"},
      {"empty key name inside", "[HKEY_LOCAL_MACHINE\\SOFTWARE\\A\\\\B]", "an empty key name"},
      {"deleting HKLM\\SOFTWARE", "[-HKEY_LOCAL_MACHINE\\SOFTWARE]", "a top-level key of a hive"},
      {"key name of 255 characters", "[HKEY_LOCAL_MACHINE\\SOFTWARE\\" + longestName + "]", ""},
      {"512 levels", "[HKEY_LOCAL_MACHINE\\" + deepest + "]", ""},
      {"deleting a second-level key", "[-HKEY_LOCAL_MACHINE\\SOFTWARE\\Plumbex]", ""},
  };
  TestMachine machine;
  for (const Case& c : cases) {
    std::string before = registrySnapshot(machine);
    // A good key first: a refused file must not write it either.
    ProcessResult result = importFile(machine, std::string(kHeader4) +
                                                   "\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Before]\n"
                                                   "\"v\"=\"x\"\n" +
                                                   c.keyLine + "\n");
    if (*c.message == '\0') {
      EXPECT_EQ(result.exitStatus, 0) << c.what << ": " << result.err;
      continue;
    }
    EXPECT_EQ(result.exitStatus, 1) << c.what;
    EXPECT_THAT(result.err, HasSubstr(std::string("line 4: ") + c.message))
        << c.what << ": " << result.err;
    EXPECT_TRUE(registrySnapshot(machine) == before) << c.what << " changed the registry";
  }
  plat::RegKey key;
  EXPECT_EQ(plat::RegKey::open(plat::RegRoot::LocalMachine, "SOFTWARE\\" + longestName,
                               plat::kKeyRead | plat::kKeyWow64_64Key, key), 0u);
  EXPECT_EQ(plat::RegKey::open(plat::RegRoot::LocalMachine, deepest,
                               plat::kKeyRead | plat::kKeyWow64_64Key, key), 0u);
  EXPECT_NE(plat::RegKey::open(plat::RegRoot::LocalMachine, "SOFTWARE\\Plumbex",
                               plat::kKeyRead | plat::kKeyWow64_64Key, key), 0u);
}

// The copy a 32-bit program starts for the Windows folder's regedit is SysWOW64's: it imports
// into the 32-bit view (HKLM\SOFTWARE\WOW6432Node), keeps the keys both views share as one key,
// and leaves the 64-bit view alone. On a 32-bit machine the one regedit has the one view.
TEST(RegeditTest, TheSysWow64CopyImportsIntoThe32BitView) {
  const std::string file = std::string(kHeader4) + "\n[HKLM\\SOFTWARE\\Wow\\Sub]\n\"V\"=\"32\"\n"
                           "[HKLM\\SOFTWARE\\Policies\\Wow]\n\"Shared\"=\"1\"\n";
  uint32_t type = 0;
  std::vector<uint8_t> data;
  {
    TestMachine machine;
    const std::string redirected = machine.host("C:\\Windows\\regedit.exe");
    ASSERT_NE(redirected, nativeRegedit(machine));
    ASSERT_EQ(redirected, machine.root() + "/drives/c/Windows/SysWOW64/regedit.exe");
    ProcessResult result = importFile(machine, file, {"/s"}, redirected);
    ASSERT_EQ(result.exitStatus, 0) << result.err;
    EXPECT_TRUE(readValue("SOFTWARE\\WOW6432Node\\Wow\\Sub", "V", plat::kKeyWow64_64Key, type, data));
    EXPECT_EQ(data, bytesOf(std::string("32") + '\0'));
    EXPECT_TRUE(readValue("SOFTWARE\\Wow\\Sub", "V", plat::kKeyWow64_32Key, type, data));
    EXPECT_FALSE(readValue("SOFTWARE\\Wow\\Sub", "V", plat::kKeyWow64_64Key, type, data));
    EXPECT_TRUE(readValue("SOFTWARE\\Policies\\Wow", "Shared", plat::kKeyWow64_64Key, type, data));
    EXPECT_FALSE(readValue("SOFTWARE\\WOW6432Node\\Policies\\Wow", "Shared", plat::kKeyWow64_64Key, type, data));
  }
  TestMachine thirtyTwo([](auto& config, auto&) { config.is64Bit = false; });
  ProcessResult result =
      importFile(thirtyTwo, file, {"/s"}, thirtyTwo.host("C:\\Windows\\regedit.exe"));
  ASSERT_EQ(result.exitStatus, 0) << result.err;
  EXPECT_TRUE(readValue("SOFTWARE\\Wow\\Sub", "V", plat::kKeyRead, type, data));
  EXPECT_FALSE(readValue("SOFTWARE\\WOW6432Node\\Wow\\Sub", "V", plat::kKeyRead, type, data));
}

}  // namespace
