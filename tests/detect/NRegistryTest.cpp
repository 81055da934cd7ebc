// NRegistry and hasValueName over the machine's registry.
#include <gtest/gtest.h>

#include "detect/NRegistry.h"
#include "platform/PlatformRegistry.h"
#include "support/TestMachine.h"

namespace {

using cvdt::test::TestMachine;
using plat::RegRoot;

#ifdef _WIN32  // a 64-bit test program: its keys are in the 64-bit view unless it asks for the
               // 32-bit one, which the 32-bit module sees
constexpr uint32_t kModuleView = plat::kKeyWow64_32Key;
#else
constexpr uint32_t kModuleView = 0;
#endif

TEST(NRegistryTest, OpenExistingOrCreateAndWriteTexts) {
  TestMachine machine;
  NRegistry registry;
  EXPECT_FALSE(registry.open(RegRoot::LocalMachine, "SOFTWARE\\New\\Key", true, false, false));
  EXPECT_EQ(registry.handle(), nullptr);
  EXPECT_STREQ(registry.readText("x").text(), "");  // no key: empty, and no crash
  EXPECT_FALSE(registry.writeText("x", "y"));
  ASSERT_TRUE(registry.open(RegRoot::LocalMachine, "SOFTWARE\\New\\Key", false, false, false));
  ASSERT_NE(registry.handle(), nullptr);
  ASSERT_TRUE(registry.writeText("name", "abc"));
  uint32_t type = 0;
  std::vector<uint8_t> data;
  ASSERT_EQ(registry.handle()->queryValue("name", type, data), 0u);
  EXPECT_EQ(type, plat::kRegSz);
#ifdef _WIN32  // the system's ANSI query hands a string back with its terminating zero
  EXPECT_EQ(std::string(data.begin(), data.end()), std::string("abc", 4));
#else
  EXPECT_EQ(data.size(), 3u);  // no terminating zero stored
#endif
  EXPECT_STREQ(registry.readText("NAME").text(), "abc");
  EXPECT_TRUE(registry.deleteValue("name"));
  EXPECT_FALSE(registry.deleteValue("name"));

  NRegistry readOnly;
  ASSERT_TRUE(readOnly.open(RegRoot::LocalMachine, "SOFTWARE\\New\\Key", true, true, false));
  EXPECT_FALSE(readOnly.writeText("name", "abc"));
}

TEST(NRegistryTest, ReadValueRendersByTypeAndReadTextGivesRawBytes) {
  TestMachine machine;
  plat::RegKey key;
  ASSERT_EQ(plat::RegKey::create(RegRoot::LocalMachine, "SOFTWARE\\Types",
                                 plat::kKeyAllAccess | kModuleView, key),
            0u);
  const uint32_t allBits = 0xFFFFFFFFu;
  const uint32_t big = 0x01000000u;
  const uint8_t qword[8] = {1, 0, 0, 0, 0, 0, 0, 0};
  key.setValue("dword", plat::kRegDword, &allBits, 4);
  key.setValue("short", plat::kRegDword, "\x07", 1);
  key.setValue("bigendian", plat::kRegDwordBigEndian, &big, 4);
  key.setValue("qword", plat::kRegQword, qword, 8);
  key.setValue("multi", plat::kRegMultiSz, "first\0second\0", 14);
  key.setValue("binary", plat::kRegBinary, "AB\0CD", 5);
  key.setValue("unterminated", plat::kRegSz, "xyz", 3);

  NRegistry registry;
  ASSERT_TRUE(registry.open(RegRoot::LocalMachine, "SOFTWARE\\Types", true, true, false));
  struct Row {
    const char* name;
    const char* value;
    const char* text;
  } rows[] = {
      {"dword", "-1", "\xFF\xFF\xFF\xFF"},
      {"short", "7", "\x07"},
      {"bigendian", "", ""},
      {"qword", "", "\x01"},
      {"multi", "first", "first"},
      {"binary", "AB", "AB"},
      {"unterminated", "xyz", "xyz"},
  };
  for (const Row& row : rows) {
    EXPECT_STREQ(registry.readValue(row.name).text(), row.value) << row.name;
    EXPECT_STREQ(registry.readText(row.name).text(), row.text) << row.name;
  }
}

TEST(NRegistryTest, HasValueNameIgnoresCase) {
  TestMachine machine;
  NRegistry registry;
  ASSERT_TRUE(registry.open(RegRoot::LocalMachine, "SOFTWARE\\Names", false, false, false));
  EXPECT_FALSE(hasValueName(registry.handle(), "anything"));  // no values at all
  registry.writeText("dtdlg_cfg", "x");
  registry.writeText("Other", "y");
  EXPECT_TRUE(hasValueName(registry.handle(), "DTDLG_CFG"));
  EXPECT_FALSE(hasValueName(registry.handle(), "dtdlg_cfgcnt"));
  EXPECT_FALSE(hasValueName(nullptr, "x"));
}

}  // namespace
