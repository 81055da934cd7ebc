// NV3Info against V3 products laid out in test machines: product names by version and settings
// (read through the library of the major version), the engine date through the replacement
// V3VName.dll, and machines without a product.
#include <gtest/gtest.h>

#include <string>

#include "detect/NV3Info.h"
#include "platform/PlatformFs.h"
#include "support/TestMachine.h"
#include "support/V3Install.h"

namespace {

using cvdt::test::TestMachine;
using cvdt::test::V3Product;

#define REQUIRE_V3_FILES()                                         \
  do {                                                             \
    std::string why;                                               \
    if (!cvdt::test::v3InstallAvailable(why)) GTEST_SKIP() << why; \
  } while (0)

struct NameRow {
  const char* productFile;
  const char* fileVersion;
  bool net, css, master;
  const char* name;
};

TEST(NV3InfoTest, ProductNames) {
  REQUIRE_V3_FILES();
  const NameRow rows[] = {
      {"V3MainUI.dll", "6.0.3.5", false, false, false, "V3Pro 2004 SP3"},
      {"V3MainUI.dll", "6.0.0.5", false, false, false, "V3Pro 2004"},
      {"V3MainUI.dll", "6.0.1.0", true, false, false, "V3Net for Windows Server 6.0"},
      {"V3MainUI.dll", "5.0.0.0", false, false, false, "V3Pro 2002 DLX"},
      {"V3MainUI.dll", "5.0.2.1", false, true, false,
       "V3Pro 2002 DLX (for Ahnlab Client Security)"},
      {"V3MainUI.dll", "5.0.2.0", true, false, false, "V3Net for Windows Server SE SP2"},
      {"V3Pro32.exe", "4.0.1.0", false, false, false, "V3Pro 2000 DLX SP1"},
      {"V3MainUI.dll", "7.0.0.0", false, false, false, "Unknown V3 Product Name"},
      {"V3MainUI.dll", "", false, false, false, ""},  // no version resource: "None"
      {"V3MainUI.dll", "6.0.3.5", false, false, true, "V3Pro 2004 (for V3 Internet Security) SP3"},
      {"V3MainUI.dll", "6.0.3.5", false, true, true, ""},
      {"V3MainUI.dll", "6.0.2.0", true, true, false, "V3Net for Windows Server 6.0 SP2"},
      {"V3MainUI.dll", "5.0.3.1", false, true, false,
       "V3Pro 2002 DLX (for Ahnlab Client Security) SP3"},
      {"V3MainUI.dll", "5.0.1.0", true, true, false,
       "V3Net for Windows Server (for Ahnlab Client Security) SP1"},
      {"V3Pro32.exe", "4,0, 2", false, false, true, "V3Pro 2000 DLX SP2"},
      {"V3Pro32.exe", "4.5.7.0", true, true, false, "Unknown V3 Product Name"},
      {"V3MainUI.dll", "3.9.9.9", false, false, false, ""},
      {"V3MainUI.dll", "6.0.-1.0", false, false, false, ""},  // negative service pack
      {"", "6.0.3.5", false, false, false, ""},               // no product file
  };
  for (const NameRow& row : rows) {
    SCOPED_TRACE(std::string(row.productFile) + " " + row.fileVersion);
    TestMachine machine;
    V3Product product;
    product.productFile = row.productFile;
    product.fileVersion = row.fileVersion;
    product.isV3Net = row.net;
    product.isV3Css = row.css;
    product.masterType = row.master;
    ASSERT_TRUE(cvdt::test::installV3(machine, product));
    NV3Info info;
    EXPECT_STREQ(info.getProductName().text(), row.name);
  }
}

TEST(NV3InfoTest, ProductFileChoiceAndVersionPieces) {
  REQUIRE_V3_FILES();
  TestMachine machine;
  V3Product product;
  product.fileVersion = "6.0.3.5";
  ASSERT_TRUE(cvdt::test::installV3(machine, product));
  ASSERT_TRUE(cvdt::test::writeV3ProductFile(machine, product.folder + "\\V3Pro32.exe", "5.0.1.0"));
  NV3Info info;
  EXPECT_STREQ(info.getInstallDir().text(), product.folder.c_str());
  int major = 0, servicePack = 0;
  ASSERT_TRUE(info.getProductVersion(product.folder.c_str(), major, servicePack));
  EXPECT_EQ(major, 6);  // V3MainUI.dll wins over V3Pro32.exe
  EXPECT_EQ(servicePack, 3);
  EXPECT_STREQ(info.getProductName().text(), "V3Pro 2004 SP3");

  ASSERT_TRUE(plat::deleteFile(product.folder + "\\V3MainUI.dll"));
  ASSERT_TRUE(info.getProductVersion((product.folder + "\\").c_str(), major, servicePack));
  EXPECT_EQ(major, 5);
  EXPECT_EQ(servicePack, 1);

  ASSERT_TRUE(cvdt::test::writeV3ProductFile(machine, product.folder + "\\V3Pro32.exe", "8"));
  major = -5;
  EXPECT_FALSE(info.getProductVersion(product.folder.c_str(), major, servicePack));
  EXPECT_EQ(major, 8);  // stored before the missing pieces were noticed
}

TEST(NV3InfoTest, EngineDate) {
  REQUIRE_V3_FILES();
  TestMachine machine;
  V3Product product;
  product.engineDate = "2026.12.01.07";
  ASSERT_TRUE(cvdt::test::installV3(machine, product));
  NV3Info info;
  info.init((product.folder + "\\").c_str());
  EXPECT_STREQ(info.getEngineVersion().text(), "2026.12.01.07");

  // A longer text is cut by the library's buffer of 49 units (48 and the zero).
  machine.writeFile(product.folder + "\\V3EngineDate.txt", std::string(60, '7'));
  EXPECT_EQ(std::string(info.getEngineVersion().text()), std::string(48, '7'));

  ASSERT_TRUE(plat::deleteFile(product.folder + "\\V3EngineDate.txt"));
  EXPECT_STREQ(info.getEngineVersion().text(), "");  // the library answers 0

  NV3Info elsewhere;
  elsewhere.init("C:\\Elsewhere");
  EXPECT_STREQ(elsewhere.getEngineVersion().text(), "");  // no V3VName.dll to be found

  // A library in the system folder is found by its bare name.
  ASSERT_TRUE(
      plat::copyFile(product.folder + "\\V3VName.dll", "C:\\Windows\\System32\\V3VName.dll", true));
  machine.writeFile("C:\\Windows\\System32\\V3EngineDate.txt", "2027.01.02\r\nsecond line");
  EXPECT_STREQ(elsewhere.getEngineVersion().text(), "2027.01.02");
}

TEST(NV3InfoTest, NotInstalled) {
  TestMachine machine;
  NV3Info info;
  info.init("");
  EXPECT_STREQ(info.getInstallDir().text(), "");
  EXPECT_STREQ(info.getProductName().text(), "");
  EXPECT_STREQ(info.getEngineVersion().text(), "");
  int major = 0, servicePack = 0;
  EXPECT_FALSE(info.getProductVersion("C:\\Program Files\\AhnLab\\V3", major, servicePack));
  EXPECT_FALSE(info.isSettingSet("C:\\Program Files\\AhnLab\\V3", "IsV3Net", 6));
}

}  // namespace
