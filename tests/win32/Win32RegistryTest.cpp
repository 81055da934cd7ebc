// The win32 backend's registry against the system's own (Wine's under test): values of every
// type the module writes, enumeration, the two views of HKLM\SOFTWARE, and tree deletion.
#include <gtest/gtest.h>

#include <cstring>
#include <set>

#include "platform/PlatformRegistry.h"
#include "platform/PlatformSystem.h"
#include "platform/WinError.h"
#include "win32/Win32Scratch.h"

namespace {

using namespace plat;
using cvdt::win32test::uniqueKeyName;

TEST(Win32RegistryTest, ValuesRoundTripAndEnumerate) {
  std::string path = "Software\\" + uniqueKeyName("values");
  RegKey key;
  bool created = false;
  ASSERT_EQ(RegKey::create(RegRoot::CurrentUser, path, kKeyAllAccess, key, &created), kErrorSuccess);
  EXPECT_TRUE(created);
  uint32_t minusOne = 0xFFFFFFFFu;
  ASSERT_EQ(key.setValue("Text", kRegSz, "abc", 3), kErrorSuccess);
  ASSERT_EQ(key.setValue("Number", kRegDword, &minusOne, 4), kErrorSuccess);
  ASSERT_EQ(key.setValue("Multi", kRegMultiSz, "one\0two\0", 9), kErrorSuccess);
  ASSERT_EQ(key.setValue("", kRegSz, "default", 8), kErrorSuccess);

  uint32_t type = 0;
  std::vector<uint8_t> data;
  ASSERT_EQ(key.queryValue("TEXT", type, data), kErrorSuccess);  // names ignore case
  EXPECT_EQ(type, kRegSz);
  // A string written without its zero reads back with one added by the system, or as written.
  EXPECT_EQ(std::string(data.begin(), data.end()).substr(0, 3), "abc");
  ASSERT_EQ(key.queryValue("Number", type, data), kErrorSuccess);
  EXPECT_EQ(type, kRegDword);
  ASSERT_EQ(data.size(), 4u);
  EXPECT_EQ(key.queryValue("Absent", type, data), kErrorFileNotFound);

  std::set<std::string> names;
  std::string name;
  for (uint32_t i = 0; key.enumValue(i, name) == kErrorSuccess; ++i) names.insert(name);
  EXPECT_EQ(names, (std::set<std::string>{"Text", "Number", "Multi", ""}));
  uint32_t longestName = 0, longestValue = 0;
  ASSERT_EQ(key.queryInfo(longestName, longestValue), kErrorSuccess);
  EXPECT_EQ(longestName, 6u);  // "Number"
  EXPECT_GE(longestValue, 9u);

  EXPECT_EQ(key.deleteValue("Text"), kErrorSuccess);
  EXPECT_EQ(key.deleteValue("Text"), kErrorFileNotFound);
  EXPECT_EQ(RegKey::deleteTree(RegRoot::CurrentUser, path, kKeyAllAccess), kErrorSuccess);
  RegKey gone;
  EXPECT_EQ(RegKey::open(RegRoot::CurrentUser, path, kKeyRead, gone), kErrorFileNotFound);
  EXPECT_FALSE(gone.isOpen());
}

TEST(Win32RegistryTest, ReadAccessRefusesWritesAndOpenNeedsTheKey) {
  std::string path = "Software\\" + uniqueKeyName("access");
  RegKey key;
  EXPECT_EQ(RegKey::open(RegRoot::CurrentUser, path, kKeyRead, key), kErrorFileNotFound);
  ASSERT_EQ(RegKey::create(RegRoot::CurrentUser, path + "\\Sub\\Deeper", kKeyAllAccess, key),
            kErrorSuccess);
  RegKey reader;
  ASSERT_EQ(RegKey::open(RegRoot::CurrentUser, path + "\\Sub", kKeyRead, reader), kErrorSuccess);
  EXPECT_EQ(reader.setValue("x", kRegSz, "y", 1), kErrorAccessDenied);
  std::string sub;
  ASSERT_EQ(reader.enumSubKey(0, sub), kErrorSuccess);
  EXPECT_EQ(sub, "Deeper");
  EXPECT_EQ(reader.enumSubKey(1, sub), kErrorNoMoreItems);
  EXPECT_EQ(RegKey::deleteTree(RegRoot::CurrentUser, path, kKeyAllAccess), kErrorSuccess);
  EXPECT_EQ(RegKey::deleteTree(RegRoot::CurrentUser, path, kKeyAllAccess), kErrorFileNotFound);
}

// On 64-bit Windows the 32-bit view of HKLM\SOFTWARE is another key (WOW6432Node).
TEST(Win32RegistryTest, ViewsOfTheMachineSoftwareKeyAreApart) {
  if (!isNative64Bit()) GTEST_SKIP() << "a 32-bit Windows has one view";
  std::string path = "SOFTWARE\\" + uniqueKeyName("views");
  RegKey key32, key64;
  ASSERT_EQ(RegKey::create(RegRoot::LocalMachine, path, kKeyAllAccess | kKeyWow64_32Key, key32),
            kErrorSuccess);
  ASSERT_EQ(key32.setValue("Width", kRegSz, "32", 2), kErrorSuccess);
  EXPECT_EQ(RegKey::open(RegRoot::LocalMachine, path, kKeyRead | kKeyWow64_64Key, key64),
            kErrorFileNotFound);
  RegKey node;
  EXPECT_EQ(RegKey::open(RegRoot::LocalMachine, "SOFTWARE\\WOW6432Node\\" + path.substr(9),
                         kKeyRead | kKeyWow64_64Key, node),
            kErrorSuccess);
  EXPECT_EQ(RegKey::deleteTree(RegRoot::LocalMachine, path, kKeyAllAccess | kKeyWow64_64Key),
            kErrorFileNotFound);
  EXPECT_EQ(RegKey::deleteTree(RegRoot::LocalMachine, path, kKeyAllAccess | kKeyWow64_32Key),
            kErrorSuccess);
}

}  // namespace
