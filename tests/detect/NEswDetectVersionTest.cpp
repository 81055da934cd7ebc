// Version conditions on real version resources: file versions by path and by registry
// directory, and the V3 product and engine of an installed V3.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "DetectTestSupport.h"
#include "platform/PlatformFs.h"
#include "support/V3Install.h"

namespace {

using cvdt::test::condition;
using cvdt::test::evaluateText;
using cvdt::test::TestMachine;

const std::string kApp = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Vendor\\App";

std::string byPath(const char* tag, const std::string& file, const std::string& folder,
                   const std::string& status, const std::string& version) {
  return condition(tag, {{"versionStatus", status}, {"fileName", file}, {"filePath", folder}, {"version", version}});
}

std::string byKey(const char* tag, const std::string& key, const std::string& entry,
                  const std::string& status, const std::string& version, const std::string& level = "") {
  return condition(tag, {{"versionStatus", status}, {"fileName", "ver.dll"}, {"key", key}, {"entry", entry},
                         {"pathLevel", level}, {"version", version}});
}

TEST(NEswDetectVersionTest, FileVersionsByPathAndByRegistryDirectory) {
  TestMachine machine;
  cvdt::test::layOutDetectFacts(machine);
  // 1.2.3.40 in the 32-bit program folder, 3.1.0.7 in System32.
  if (!cvdt::test::placeVersionFile(machine, "C:\\Program Files (x86)\\Vendor\\App\\ver.dll",
                                    "fixed1234.dll") ||
      !cvdt::test::placeVersionFile(machine, "C:\\Windows\\System32\\ver.dll", "nolang64.dll") ||
      !cvdt::test::placeVersionFile(machine, "C:\\Program Files (x86)\\Vendor\\App\\plain.dll",
                                    "noversion.dll"))
    GTEST_SKIP() << "the build made no version resource files (MinGW-w64 binutils missing)";
  const std::string pf = "%csidl_program_files%\\Vendor\\App";
  struct Row {
    const char* name;
    std::string text;
    int expected;
  } rows[] = {
      {"same", byPath("fileVersion1", "ver.dll", pf, "SAME", "1.2.3.40"), 1},
      {"lower-case status", byPath("fileVersion1", "ver.dll", pf, "same", "1"), -1},
      {"missing file: no comparison", byPath("fileVersion1", "none.dll", pf, "same", "1"), 0},
      {"no version resource", byPath("fileVersion1", "plain.dll", pf, "LOWER", "9"), 0},
      {"System32 written out, any form: versions read natively",
       byPath("fileVersion1", "ver.dll", "C:\\Windows\\System32", "SAME", "3.1.0.7"), 1},
      {"empty version", byPath("fileVersion1", "ver.dll", pf, "SAME", ""), -1},
      {"registry directory",
       byKey("fileVersion2", kApp, "InstallDir", "HIGHER_OR_SAME", "1.2.3.40"), 1},
      {"stripped directory", byKey("fileVersion3", kApp, "ExePath", "SAME", "1.2.3.40", "2"), 1},
  };
  for (const Row& row : rows) EXPECT_EQ(evaluateText(row.text), row.expected) << row.name;
}

TEST(NEswDetectVersionTest, V3ProductAndEngineOfAnInstalledV3) {
  std::string why;
  if (!cvdt::test::v3InstallAvailable(why)) GTEST_SKIP() << why;
  TestMachine machine;
  cvdt::test::V3Product product;  // 6.0.3.5, no flags: "V3Pro 2004 SP3", engine 2026.12.01
  ASSERT_TRUE(cvdt::test::installV3(machine, product));
  auto engine = [](const char* status, const std::string& version) {
    return condition("v3EngineVersion", {{"versionStatus", status}, {"version", version}});
  };
  struct Row {
    const char* name;
    std::string text;
    int expected;
  } rows[] = {
      {"name ignoring case", condition("v3Product", {{"value", "v3pro 2004 sp3"}}), 1},
      {"substring", condition("v3ProductSubstring", {{"value", "PRO 2004"}}), 1},
      // The evaluator's V3 folder is empty: V3VName.dll is only found by the library search,
      // and the one in the product folder is not on it, so the engine text is empty.
      {"engine in the product folder unseen", engine("SAME", "2026.12.01"), 0},
      {"empty engine is lower", engine("LOWER", "0"), 1},
      {"engine, bad status", engine("NEWER", "2027"), -1},
  };
  for (const Row& row : rows) EXPECT_EQ(evaluateText(row.text), row.expected) << row.name;

  // In the system folder the library is found by its bare name.
  ASSERT_TRUE(plat::copyFile(product.folder + "\\V3VName.dll", "C:\\Windows\\System32\\V3VName.dll", true));
  machine.writeFile("C:\\Windows\\System32\\V3EngineDate.txt", "2026.12.01");
  Row engines[] = {
      {"engine same", engine("SAME", "2026.12.01"), 1},
      {"engine compared as text, not numbers", engine("HIGHER", "2026.12.1"), 0},
      {"a longer text is higher", engine("LOWER", "2026.12.01a"), 1},
  };
  for (const Row& row : engines) EXPECT_EQ(evaluateText(row.text), row.expected) << row.name;
}

}  // namespace
