// NFileVersion and getFileVersionNumber on real PE files: libraries made from the .rc files in
// tests/detect/data by the MinGW resource compiler, and a Wine library read by pefile; and the
// platform's version block queries that they rest on.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "detect/NFileVersion.h"
#include "platform/PlatformFile.h"
#include "platform/PlatformVersionInfo.h"
#include "support/TestMachine.h"

namespace {

using cvdt::test::TestMachine;

struct Fields {
  const char* fileVersion;
  const char* originalFileName;
  const char* companyName;
  const char* fileDescription;
  const char* productName;
  const char* productVersion;
  const char* internalName;
  const char* translation;
  const char* number;
};

void expectFields(const char* path, const Fields& f) {
  NFileVersion version;
  version.load(path);
  EXPECT_STREQ(version.fileVersion(), f.fileVersion);
  EXPECT_STREQ(version.originalFileName(), f.originalFileName);
  EXPECT_STREQ(version.companyName(), f.companyName);
  EXPECT_STREQ(version.fileDescription(), f.fileDescription);
  EXPECT_STREQ(version.productName(), f.productName);
  EXPECT_STREQ(version.productVersion(), f.productVersion);
  EXPECT_STREQ(version.internalName(), f.internalName);
  EXPECT_STREQ(version.translation(), f.translation);
  EXPECT_STREQ(version.filePath(), path);
  EXPECT_STREQ(getFileVersionNumber(path).text(), f.number);
}

std::string readHost(const std::string& path) {
  std::string content;
  EXPECT_TRUE(plat::readHostFile(path, content)) << path;
  return content;
}

// The made test file's content; skips the test when the build could not make it.
#define MADE_FILE(content, name)                                                    \
  if (std::string(CVDT_VERSION_DATA_DIR).empty())                                   \
    GTEST_SKIP() << "PE test files not built: install binutils-mingw-w64-i686 and " \
                    "binutils-mingw-w64-x86-64 and re-run cmake";                   \
  std::string content = readHost(std::string(CVDT_VERSION_DATA_DIR) + "/" + (name))

#ifndef _WIN32  // a Korean machine (code page 949): the Windows test machine is the system itself
std::string longDescription() {
  std::string text;
  for (int i = 0; i < 20; ++i)
    text += (i < 10 ? "00" : "0") + std::to_string(i) + "-longdescription-";
  return text.substr(0, 300);
}

TEST(NFileVersionTest, MadeLibrariesPe32AndPe32Plus) {
  TestMachine machine([](auto& config, auto&) { config.language = 1042; });
  const std::string korean = "Plumbex \xC7\xD1\xB1\xDB";  // the UTF-16 text in code page 949
  const std::string cut = longDescription().substr(0, 255);
  struct Row {
    const char* file;
    Fields fields;
  };
  const Row rows[] = {
      // First translation (Korean, Unicode) wins over the English block; entry names ignore
      // case ("OriginalFilename" in the resource).
      {"fixed1234",
       {"1.2.3.40", "fixed1234.dll", korean.c_str(), "Fixed version test library", "Corvane Test",
        "1.2", "fixed1234", "041204b0", "1.2.3.40"}},
      // 0000/04E4 without its own block: read through 040904e4.
      {"nolang", {"3.1.0.7", "", "", "", "No Language", "", "", "000004e4", "3.1.0.7"}},
      // 0000/0000: read through 040904e4.
      {"zerotrans", {"2.0.0.1", "", "", "", "", "", "zero", "00000000", "2.0.0.1"}},
      {"long", {"4.0.0.0", "", "", cut.c_str(), "", "", "", "040904b0", "4.0.0.0"}},
      {"noversion", {"None", "", "", "", "", "", "", "", ""}},
  };
  for (const char* suffix : {"", "64"}) {
    for (const Row& row : rows) {
      std::string name = std::string(row.file) + suffix + ".dll";
      SCOPED_TRACE(name);
      MADE_FILE(content, name);
      std::string path = "C:\\Data\\" + name;
      machine.writeFile(path, content);
      expectFields(path.c_str(), row.fields);
    }
  }
}
#endif

TEST(NFileVersionTest, WineLibraryReadByAnIndependentReader) {
  TestMachine machine;
  // Values read with python3-pefile (see tests/detect/data/README.md); its string table is
  // named "040904B0", upper case, while the translation gives "040904b0".
  machine.writeFile("C:\\Wine\\lz32.dll",
                    readHost(std::string(CVDT_VERSION_DATA_SOURCE) + "/wine-lz32.dll"));
  expectFields("C:\\Wine\\lz32.dll",
               {"5.1.2600.2180", "lz32.dll", "Microsoft Corporation", "Wine lz32", "Wine",
                "5.1.2600.2180", "", "040904b0", "5.1.2600.2180"});
}

TEST(NFileVersionTest, NoResourceGivesNoneAndEmpty) {
  TestMachine machine;
  machine.writeFile("C:\\Data\\text.dll", "MZ but nothing else");
  const Fields none = {"None", "", "", "", "", "", "", "", ""};
  for (const char* path : {"C:\\Data\\text.dll", "C:\\Data\\absent.dll", "C:\\Data"}) {
    SCOPED_TRACE(path);
    expectFields(path, none);
  }
  NFileVersion version;
  version.load(nullptr);  // nothing happens
  EXPECT_STREQ(version.fileVersion(), "None");
  EXPECT_STREQ(getFileVersionNumber(nullptr).text(), "");
}

TEST(NFileVersionTest, VersionBlockQueries) {
  MADE_FILE(content, "fixed1234.dll");
  TestMachine machine;
  machine.writeFile("C:\\Data\\f.dll", content);
  uint32_t size = plat::fileVersionInfoSize("C:\\Data\\f.dll");
  ASSERT_GT(size, 0u);
  std::string block(size, '\0');
#ifndef _WIN32  // Windows fills a too-small buffer with what fits and succeeds
  EXPECT_FALSE(plat::fileVersionInfo("C:\\Data\\f.dll", block.data(), 8));  // too small
#endif
  ASSERT_TRUE(plat::fileVersionInfo("C:\\Data\\f.dll", block.data(), size));
  const void* value = nullptr;
  uint32_t length = 0;
  ASSERT_TRUE(plat::queryVersionValue(block.data(), "\\", &value, &length));
  ASSERT_EQ(length, 52u);
  EXPECT_EQ(std::memcmp(value, "\xBD\x04\xEF\xFE", 4), 0);  // VS_FIXEDFILEINFO signature
  ASSERT_TRUE(plat::queryVersionValue(block.data(), "\\VarFileInfo\\Translation", &value, &length));
  ASSERT_EQ(length, 8u);  // both pairs, first 0412/04B0, then 0409/04E4
  EXPECT_EQ(std::memcmp(value, "\x12\x04\xB0\x04\x09\x04\xE4\x04", 8), 0);
  ASSERT_TRUE(plat::queryVersionValue(block.data(), "\\stringfileinfo\\040904E4\\companyname",
                                      &value, &length));
  EXPECT_STREQ(static_cast<const char*>(value), "Wrong Translation");
  EXPECT_EQ(length, 17u);
  // Korean text converted to the ANSI code page (1252 here: nothing of it fits).
  ASSERT_TRUE(plat::queryVersionValue(block.data(), "\\StringFileInfo\\041204b0\\CompanyName",
                                      &value, &length));
  EXPECT_STREQ(static_cast<const char*>(value), "Plumbex ??");
  const char* absent[] = {"\\StringFileInfo\\041204b0\\Comments",
                          "\\StringFileInfo\\04120000\\FileVersion", "\\VarFileInfo\\Nothing",
                          "\\Nothing",
#ifndef _WIN32  // Windows answers a query for a string table itself with the table
                          "\\StringFileInfo\\041204b0"
#endif
  };
  for (const char* query : absent) {
    SCOPED_TRACE(query);
    value = nullptr;
    EXPECT_FALSE(plat::queryVersionValue(block.data(), query, &value, &length));
    EXPECT_EQ(value, nullptr);
  }
}

}  // namespace
