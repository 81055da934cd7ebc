// The registry's roots as Windows shows them: HKEY_CLASSES_ROOT merges the machine's and the
// current user's classes, HKEY_CURRENT_USER of the system account is HKEY_USERS\.DEFAULT, and
// the 32-bit view of a 64-bit machine shares the keys Windows 7 and later share.
#include <gtest/gtest.h>
#include <pwd.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <vector>

#include "platform/PlatformRegistry.h"
#include "platform/WinError.h"
#include "support/TestMachine.h"

namespace {

using cvdt::test::TestMachine;
using namespace plat;

constexpr uint32_t k32 = kKeyWow64_32Key;
constexpr uint32_t k64 = kKeyWow64_64Key;

// The key HKEY_CURRENT_USER stands for in this test process.
std::string expectedUserHive() {
  if (geteuid() == 0) return "HKEY_USERS\\.DEFAULT";
  passwd* entry = getpwuid(geteuid());
  return std::string("HKEY_USERS\\") + (entry ? entry->pw_name : "");
}

void setText(RegRoot root, const std::string& path, uint32_t view, const std::string& name,
             const std::string& text) {
  RegKey key;
  ASSERT_EQ(RegKey::create(root, path, kKeyAllAccess | view, key), 0u) << path;
  ASSERT_EQ(key.setValue(name, kRegSz, text.c_str(), text.size() + 1), 0u) << path;
}

std::string textOf(RegRoot root, const std::string& path, uint32_t view, const std::string& name) {
  RegKey key;
  uint32_t type = 0;
  std::vector<uint8_t> data;
  if (RegKey::open(root, path, kKeyRead | view, key) != 0) return "<no key>";
  if (key.queryValue(name, type, data) != 0) return "<no value>";
  return std::string(data.begin(), data.end()).c_str();
}

std::vector<std::string> listed(const RegKey& key, bool subKeys) {
  std::vector<std::string> names;
  std::string name;
  for (uint32_t i = 0; (subKeys ? key.enumSubKey(i, name) : key.enumValue(i, name)) == 0; ++i)
    names.push_back(name);
  return names;
}

TEST(RegistryRootsTest, ClassesRootMergesTheMachinesAndTheUsersClasses) {
  TestMachine machine;
  for (uint32_t view : {k32, k64}) {
    SCOPED_TRACE(view == k32 ? "32-bit view" : "64-bit view");
    setText(RegRoot::LocalMachine, "SOFTWARE\\Classes\\.cvdt", view, "", "machine");
    setText(RegRoot::LocalMachine, "SOFTWARE\\Classes\\.cvdt", view, "Machine", "m");
    setText(RegRoot::LocalMachine, "SOFTWARE\\Classes\\MachineOnly", view, "", "mo");
    setText(RegRoot::CurrentUser, "Software\\Classes\\.CVDT", view, "", "user");
    setText(RegRoot::CurrentUser, "Software\\Classes\\.cvdt", view, "User", "u");
    setText(RegRoot::CurrentUser, "Software\\Classes\\UserOnly", view, "", "uo");

    EXPECT_EQ(textOf(RegRoot::ClassesRoot, ".cvdt", view, ""), "user");  // the user's wins
    EXPECT_EQ(textOf(RegRoot::ClassesRoot, ".cvdt", view, "machine"), "m");
    EXPECT_EQ(textOf(RegRoot::ClassesRoot, ".cvdt", view, "user"), "u");
    EXPECT_EQ(textOf(RegRoot::ClassesRoot, "MachineOnly", view, ""), "mo");
    EXPECT_EQ(textOf(RegRoot::ClassesRoot, "UserOnly", view, ""), "uo");
    EXPECT_EQ(textOf(RegRoot::ClassesRoot, "Nowhere", view, ""), "<no key>");

    RegKey merged, root;
    ASSERT_EQ(RegKey::open(RegRoot::ClassesRoot, ".cvdt", kKeyRead | view, merged), 0u);
    EXPECT_EQ(listed(merged, false), (std::vector<std::string>{"", "User", "Machine"}));
    uint32_t maxName = 0, maxValue = 0;
    ASSERT_EQ(merged.queryInfo(maxName, maxValue), 0u);
    EXPECT_EQ(maxName, 7u);   // "Machine"
    EXPECT_EQ(maxValue, 8u);  // "machine" and its zero
    ASSERT_EQ(RegKey::open(RegRoot::ClassesRoot, "", kKeyRead | view, root), 0u);
    std::vector<std::string> keys = listed(root, true);
    EXPECT_EQ(std::count(keys.begin(), keys.end(), ".cvdt") +
                  std::count(keys.begin(), keys.end(), ".CVDT"), 1);
    EXPECT_EQ(std::count(keys.begin(), keys.end(), "MachineOnly"), 1);
    EXPECT_EQ(std::count(keys.begin(), keys.end(), "UserOnly"), 1);
  }

  // New keys go to the machine's classes; a value goes to the user's key when there is one.
  RegKey created, user;
  ASSERT_EQ(RegKey::create(RegRoot::ClassesRoot, "NewType\\shell", kKeyAllAccess, created), 0u);
  EXPECT_EQ(created.fullPath(), "HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\NewType\\shell");
  ASSERT_EQ(created.setValue("v", kRegSz, "n", 2), 0u);
  EXPECT_EQ(textOf(RegRoot::LocalMachine, "SOFTWARE\\Classes\\NewType\\shell", k64, "v"), "n");
  ASSERT_EQ(RegKey::open(RegRoot::ClassesRoot, ".cvdt", kKeyAllAccess, user), 0u);
  ASSERT_EQ(user.setValue("Machine", kRegSz, "written", 8), 0u);
  EXPECT_EQ(textOf(RegRoot::CurrentUser, "Software\\Classes\\.cvdt", k64, "Machine"), "written");
  EXPECT_EQ(textOf(RegRoot::LocalMachine, "SOFTWARE\\Classes\\.cvdt", k64, "Machine"), "m");
  ASSERT_EQ(user.deleteValue("Machine"), 0u);  // the user's copy goes first
  EXPECT_EQ(textOf(RegRoot::ClassesRoot, ".cvdt", k64, "Machine"), "m");
  ASSERT_EQ(RegKey::deleteTree(RegRoot::ClassesRoot, ".cvdt", kKeyAllAccess), 0u);
  EXPECT_EQ(textOf(RegRoot::ClassesRoot, ".cvdt", k64, "user"), "<no key>");
  EXPECT_EQ(RegKey::deleteTree(RegRoot::ClassesRoot, "", kKeyAllAccess), kErrorAccessDenied);
}

TEST(RegistryRootsTest, CurrentUserIsTheAccountsKeyUnderUsers) {
  TestMachine machine;
  RegKey key, root;
  ASSERT_EQ(RegKey::create(RegRoot::CurrentUser, "Software\\Acme", kKeyAllAccess, key), 0u);
  EXPECT_EQ(key.fullPath(), expectedUserHive() + "\\Software\\Acme");
  ASSERT_EQ(key.setValue("v", kRegSz, "cu", 3), 0u);
  std::string below = expectedUserHive().substr(std::string("HKEY_USERS\\").size());
  EXPECT_EQ(textOf(RegRoot::Users, below + "\\Software\\Acme", 0, "v"), "cu");
  // The root always opens, and cannot be deleted.
  EXPECT_EQ(RegKey::open(RegRoot::CurrentUser, "", kKeyRead, root), 0u);
  EXPECT_EQ(RegKey::deleteTree(RegRoot::CurrentUser, "", kKeyAllAccess), kErrorAccessDenied);
  if (geteuid() == 0) {
    EXPECT_EQ(textOf(RegRoot::Users, ".DEFAULT\\Software\\Acme", 0, "v"), "cu");
  }
}

TEST(RegistryRootsTest, ThirtyTwoBitViewSharesWhatWindowsSharesAndRedirectsTheRest) {
  struct Row {
    const char* path;  // below HKLM
    const char* stored32;  // where the 32-bit view keeps it, below HKLM
  } rows[] = {
      {"SOFTWARE\\Acme", "SOFTWARE\\WOW6432Node\\Acme"},
      {"SOFTWARE", "SOFTWARE\\WOW6432Node"},
      {"SOFTWARE\\Policies\\Acme", "SOFTWARE\\Policies\\Acme"},
      {"software\\policies", "software\\policies"},
      {"SOFTWARE\\PoliciesX", "SOFTWARE\\WOW6432Node\\PoliciesX"},
      {"SOFTWARE\\RegisteredApplications", "SOFTWARE\\RegisteredApplications"},
      {"SOFTWARE\\Clients\\Mail", "SOFTWARE\\Clients\\Mail"},
      {"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\x.exe",
       "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\x.exe"},
      {"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Policies\\System",
       "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Policies\\System"},
      {"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run",
       "SOFTWARE\\WOW6432Node\\Microsoft\\Windows\\CurrentVersion\\Run"},
      {"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Acme",
       "SOFTWARE\\WOW6432Node\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Acme"},
      {"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Fonts",
       "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Fonts"},
      {"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion",
       "SOFTWARE\\WOW6432Node\\Microsoft\\Windows NT\\CurrentVersion"},
      {"SOFTWARE\\Microsoft\\Cryptography\\Calais\\Readers",
       "SOFTWARE\\Microsoft\\Cryptography\\Calais\\Readers"},
      {"SOFTWARE\\Microsoft\\Cryptography",
       "SOFTWARE\\WOW6432Node\\Microsoft\\Cryptography"},
      {"SOFTWARE\\Classes\\.txt", "SOFTWARE\\Classes\\.txt"},
      {"SOFTWARE\\Classes\\AppID\\{1}", "SOFTWARE\\Classes\\AppID\\{1}"},
      {"SOFTWARE\\Classes\\CLSID\\{2}", "SOFTWARE\\Classes\\WOW6432Node\\CLSID\\{2}"},
      {"SOFTWARE\\Classes\\Interface", "SOFTWARE\\Classes\\WOW6432Node\\Interface"},
      {"SOFTWARE\\WOW6432Node\\Acme", "SOFTWARE\\WOW6432Node\\Acme"},
      {"SYSTEM\\Acme", "SYSTEM\\Acme"},
  };
  TestMachine machine;
  for (const Row& row : rows) {
    RegKey key32, key64;
    ASSERT_EQ(RegKey::create(RegRoot::LocalMachine, row.path, kKeyAllAccess | k32, key32), 0u);
    EXPECT_EQ(key32.fullPath(), std::string("HKEY_LOCAL_MACHINE\\") + row.stored32) << row.path;
    ASSERT_EQ(key32.setValue("view", kRegSz, "32", 3), 0u);
    std::string seen64 = textOf(RegRoot::LocalMachine, row.path, k64, "view");
    if (std::string(row.path) == row.stored32) {
      EXPECT_EQ(seen64, "32") << row.path << " is shared";
    } else {
      EXPECT_NE(seen64, "32") << row.path << " is redirected";
    }
  }
  // Through HKEY_CLASSES_ROOT too: the shared .txt is one key, CLSID entries are per view.
  EXPECT_EQ(textOf(RegRoot::ClassesRoot, ".txt", k64, "view"), "32");
  EXPECT_EQ(textOf(RegRoot::ClassesRoot, "CLSID\\{2}", k32, "view"), "32");
  EXPECT_EQ(textOf(RegRoot::ClassesRoot, "CLSID\\{2}", k64, "view"), "<no key>");
  RegKey userClsid;
  ASSERT_EQ(RegKey::create(RegRoot::CurrentUser, "Software\\Classes\\CLSID\\{3}",
                           kKeyAllAccess | k32, userClsid), 0u);
  EXPECT_EQ(userClsid.fullPath(), expectedUserHive() + "\\Software\\Classes\\WOW6432Node\\CLSID\\{3}");
}

TEST(RegistryRootsTest, AThirtyTwoBitMachineHasOneView) {
  TestMachine machine([](auto& config, auto&) { config.is64Bit = false; });
  RegKey key;
  for (const char* path : {"SOFTWARE\\Acme", "SOFTWARE\\Classes\\CLSID\\{4}"}) {
    ASSERT_EQ(RegKey::create(RegRoot::LocalMachine, path, kKeyAllAccess, key), 0u);
    EXPECT_EQ(key.fullPath(), std::string("HKEY_LOCAL_MACHINE\\") + path);
  }
}

}  // namespace
