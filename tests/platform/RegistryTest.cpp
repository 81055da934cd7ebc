// The registry on its SQLite store: keys and values of every type, deletion, enumeration,
// several processes at once, a held or corrupt database; and the roots as Windows shows them:
// HKEY_CLASSES_ROOT merges the machine's and the current user's classes, HKEY_CURRENT_USER of
// the system account is HKEY_USERS\.DEFAULT, and the 32-bit view of a 64-bit machine shares
// the keys Windows 7 and later share.
#include <gtest/gtest.h>
#include <pwd.h>
#include <sqlite3.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/PlatformRegistry.h"
#include "platform/WinError.h"
#include "support/ForkedChild.h"
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

std::vector<uint8_t> bytesOf(const std::string& text) { return {text.begin(), text.end()}; }

TEST(RegistryTest, KeysAndValuesIgnoreCaseAndKeepEveryType) {
  TestMachine machine;
  RegKey key;
  EXPECT_EQ(RegKey::open(RegRoot::LocalMachine, "SOFTWARE\\Acme\\Tool", kKeyRead, key),
            kErrorFileNotFound);
  bool created = false;
  ASSERT_EQ(
      RegKey::create(RegRoot::LocalMachine, "SOFTWARE\\Acme\\Tool", kKeyAllAccess, key, &created),
      kErrorSuccess);
  EXPECT_TRUE(created);
  EXPECT_EQ(key.fullPath(),
            "HKEY_LOCAL_MACHINE\\SOFTWARE\\WOW6432Node\\Acme\\Tool");  // 32-bit view

  struct Row {
    uint32_t type;
    std::vector<uint8_t> data;
  } rows[] = {
      {kRegMultiSz, bytesOf(std::string("a\0b\0\0", 5))},
      {kRegNone, {}},
      {0x1234, std::vector<uint8_t>(70000, 0xAB)},  // unknown type, large value
  };
  int index = 0;
  for (const Row& row : rows) {
    std::string name = "Value" + std::to_string(index++);
    ASSERT_EQ(key.setValue(name, row.type, row.data.data(), row.data.size()), kErrorSuccess);
    uint32_t type = 0;
    std::vector<uint8_t> data;
    ASSERT_EQ(key.queryValue(name, type, data), kErrorSuccess);
    EXPECT_EQ(type, row.type);
    EXPECT_EQ(data, row.data) << name;
  }
  RegKey again;
  ASSERT_EQ(RegKey::open(RegRoot::LocalMachine, "software\\ACME\\tool", kKeyRead, again),
            kErrorSuccess);
  uint32_t type = 0;
  std::vector<uint8_t> data;
  EXPECT_EQ(again.queryValue("VALUE1", type, data), kErrorSuccess);
  EXPECT_EQ(again.queryValue("missing", type, data), kErrorFileNotFound);
  uint32_t maxName = 0, maxValue = 0;
  ASSERT_EQ(again.queryInfo(maxName, maxValue), kErrorSuccess);
  EXPECT_EQ(maxName, 6u);
  EXPECT_EQ(maxValue, 70000u);

  // Overwriting keeps the value's place in the enumeration; read-only keys refuse writes.
  ASSERT_EQ(key.setValue("value0", kRegSz, "b", 1), kErrorSuccess);
  std::string name;
  ASSERT_EQ(again.enumValue(0, name), kErrorSuccess);
  EXPECT_EQ(name, "Value0");
  EXPECT_EQ(again.enumValue(3, name), kErrorNoMoreItems);
  EXPECT_EQ(again.setValue("x", kRegSz, "a", 1), kErrorAccessDenied);
  EXPECT_EQ(key.deleteValue("VALUE1"), kErrorSuccess);
  EXPECT_EQ(key.deleteValue("Value1"), kErrorFileNotFound);
}

TEST(RegistryTest, DeleteTreeRemovesTheKeyAndBelowOnly) {
  TestMachine machine;
  RegKey key;
  for (const char* path :
       {"SOFTWARE\\T\\A", "SOFTWARE\\T\\A\\B", "SOFTWARE\\T\\A_B", "SOFTWARE\\T\\AB"}) {
    ASSERT_EQ(RegKey::create(RegRoot::LocalMachine, path, kKeyAllAccess, key), 0u);
    ASSERT_EQ(key.setValue("v", kRegSz, "1", 1), 0u);
  }
  ASSERT_EQ(RegKey::deleteTree(RegRoot::LocalMachine, "software\\t\\a", kKeyAllAccess), 0u);
  EXPECT_NE(RegKey::open(RegRoot::LocalMachine, "SOFTWARE\\T\\A\\B", kKeyRead, key), 0u);
  // "A_B" and "AB" are siblings, not children: LIKE wildcards in names are escaped.
  RegKey parent;
  ASSERT_EQ(RegKey::open(RegRoot::LocalMachine, "SOFTWARE\\T", kKeyRead, parent), 0u);
  EXPECT_EQ(listed(parent, true), (std::vector<std::string>{"A_B", "AB"}));
  EXPECT_EQ(RegKey::deleteTree(RegRoot::LocalMachine, "", kKeyAllAccess), kErrorAccessDenied);
  // A handle to a deleted key fails cleanly.
  RegKey doomed;
  ASSERT_EQ(RegKey::create(RegRoot::LocalMachine, "SOFTWARE\\Gone", kKeyAllAccess, doomed), 0u);
  ASSERT_EQ(RegKey::deleteTree(RegRoot::LocalMachine, "SOFTWARE\\Gone", kKeyAllAccess), 0u);
  EXPECT_EQ(doomed.setValue("v", kRegSz, "1", 1), kErrorKeyDeleted);
}

TEST(RegistryTest, SeveralProcessesWriteAtOnceAndAHeldDatabaseFailsAfterTheBusyTimeout) {
  TestMachine machine;
  constexpr int kProcesses = 4, kValues = 50;
  std::vector<cvdt::test::ForkedChild> children;
  for (int p = 0; p < kProcesses; ++p) {
    children.emplace_back([p] {
      RegKey key;
      bool ok = RegKey::create(RegRoot::LocalMachine, "SOFTWARE\\Shared", kKeyAllAccess, key) == 0;
      for (int i = 0; ok && i < kValues; ++i)
        ok = key.setValue("p" + std::to_string(p) + "v" + std::to_string(i), kRegDword, &i, 4) == 0;
      return ok ? 0 : 1;
    });
    ASSERT_TRUE(children.back().started());
  }
  for (cvdt::test::ForkedChild& child : children) EXPECT_EQ(child.wait(), 0);
  RegKey key;
  ASSERT_EQ(RegKey::open(RegRoot::LocalMachine, "SOFTWARE\\Shared", kKeyAllAccess, key), 0u);
  EXPECT_EQ(listed(key, false).size(), size_t{kProcesses * kValues});

  TestMachine held([](auto& config, auto&) { config.registryBusyTimeoutMs = 300; });
  ASSERT_EQ(RegKey::create(RegRoot::LocalMachine, "SOFTWARE\\Held", kKeyAllAccess, key), 0u);
  ASSERT_EQ(key.setValue("v", kRegSz, "1", 1), 0u);
  sqlite3* other = nullptr;
  ASSERT_EQ(sqlite3_open((held.root() + "/registry.db").c_str(), &other), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(other, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr), SQLITE_OK);
  auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(key.setValue("v", kRegSz, "2", 1), kErrorBusy);
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(250));
  uint32_t type;
  std::vector<uint8_t> data;
  EXPECT_EQ(key.queryValue("v", type, data), 0u);  // readers are not blocked by a writer
  sqlite3_exec(other, "ROLLBACK", nullptr, nullptr, nullptr);
  sqlite3_close(other);
  EXPECT_EQ(key.setValue("v", kRegSz, "2", 1), 0u);
}

TEST(RegistryTest, CorruptDatabaseFailsCleanly) {
  TestMachine machine;
  std::string path = machine.root() + "/broken";
  std::filesystem::create_directories(path);
  std::ofstream(path + "/registry.db") << std::string(8192, 'x');
  setenv("CVDT_MACHINE", path.c_str(), 1);
  RegKey key;
  EXPECT_EQ(RegKey::create(RegRoot::LocalMachine, "SOFTWARE\\X", kKeyAllAccess, key),
            kErrorRegistryCorrupt);
  EXPECT_FALSE(key.isOpen());
}

TEST(RegistryTest, ClassesRootMergesTheMachinesAndTheUsersClasses) {
  TestMachine machine;
  for (uint32_t view : {k32, k64}) {
    SCOPED_TRACE(view == k32 ? "32-bit view" : "64-bit view");
    setText(RegRoot::LocalMachine, "SOFTWARE\\Classes\\.cvdt", view, "", "machine");
    setText(RegRoot::LocalMachine, "SOFTWARE\\Classes\\.cvdt", view, "Machine", "m");
    setText(RegRoot::CurrentUser, "Software\\Classes\\.CVDT", view, "", "user");
    setText(RegRoot::CurrentUser, "Software\\Classes\\UserOnly", view, "", "uo");

    EXPECT_EQ(textOf(RegRoot::ClassesRoot, ".cvdt", view, ""), "user");  // the user's wins
    EXPECT_EQ(textOf(RegRoot::ClassesRoot, ".cvdt", view, "machine"), "m");
    EXPECT_EQ(textOf(RegRoot::ClassesRoot, "UserOnly", view, ""), "uo");
    RegKey merged, root;
    ASSERT_EQ(RegKey::open(RegRoot::ClassesRoot, ".cvdt", kKeyRead | view, merged), 0u);
    EXPECT_EQ(listed(merged, false), (std::vector<std::string>{"", "Machine"}));
    ASSERT_EQ(RegKey::open(RegRoot::ClassesRoot, "", kKeyRead | view, root), 0u);
    std::vector<std::string> keys = listed(root, true);
    EXPECT_EQ(std::count(keys.begin(), keys.end(), ".cvdt") +
                  std::count(keys.begin(), keys.end(), ".CVDT"),
              1);
  }

  // New keys go to the machine's classes; a value goes to the user's key when there is one.
  RegKey created, user;
  ASSERT_EQ(RegKey::create(RegRoot::ClassesRoot, "NewType\\shell", kKeyAllAccess, created), 0u);
  EXPECT_EQ(created.fullPath(), "HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\NewType\\shell");
  ASSERT_EQ(RegKey::open(RegRoot::ClassesRoot, ".cvdt", kKeyAllAccess, user), 0u);
  ASSERT_EQ(user.setValue("Machine", kRegSz, "written", 8), 0u);
  EXPECT_EQ(textOf(RegRoot::CurrentUser, "Software\\Classes\\.cvdt", k64, "Machine"), "written");
  EXPECT_EQ(textOf(RegRoot::LocalMachine, "SOFTWARE\\Classes\\.cvdt", k64, "Machine"), "m");
  ASSERT_EQ(RegKey::deleteTree(RegRoot::ClassesRoot, ".cvdt", kKeyAllAccess), 0u);
  EXPECT_EQ(textOf(RegRoot::ClassesRoot, ".cvdt", k64, ""), "<no key>");
}

TEST(RegistryTest, CurrentUserIsTheAccountsKeyUnderUsers) {
  TestMachine machine;
  RegKey key;
  ASSERT_EQ(RegKey::create(RegRoot::CurrentUser, "Software\\Acme", kKeyAllAccess, key), 0u);
  EXPECT_EQ(key.fullPath(), expectedUserHive() + "\\Software\\Acme");
  EXPECT_EQ(RegKey::deleteTree(RegRoot::CurrentUser, "", kKeyAllAccess), kErrorAccessDenied);
}

TEST(RegistryTest, ThirtyTwoBitViewSharesWhatWindowsSharesAndRedirectsTheRest) {
  struct Row {
    const char* path;      // below HKLM
    const char* stored32;  // where the 32-bit view keeps it, below HKLM
  } rows[] = {
      {"SOFTWARE\\Acme", "SOFTWARE\\WOW6432Node\\Acme"},
      {"SOFTWARE", "SOFTWARE\\WOW6432Node"},
      {"software\\policies\\Acme", "software\\policies\\Acme"},
      {"SOFTWARE\\PoliciesX", "SOFTWARE\\WOW6432Node\\PoliciesX"},
      {"SOFTWARE\\Microsoft\\Cryptography\\Calais\\Readers",
       "SOFTWARE\\Microsoft\\Cryptography\\Calais\\Readers"},
      {"SOFTWARE\\Microsoft\\Cryptography", "SOFTWARE\\WOW6432Node\\Microsoft\\Cryptography"},
      {"SOFTWARE\\Classes\\.txt", "SOFTWARE\\Classes\\.txt"},
      {"SOFTWARE\\Classes\\CLSID\\{2}", "SOFTWARE\\Classes\\WOW6432Node\\CLSID\\{2}"},
      {"SOFTWARE\\WOW6432Node\\Acme", "SOFTWARE\\WOW6432Node\\Acme"},
      {"SYSTEM\\Acme", "SYSTEM\\Acme"},
  };
  TestMachine machine;
  for (const Row& row : rows) {
    RegKey key32;
    ASSERT_EQ(RegKey::create(RegRoot::LocalMachine, row.path, kKeyAllAccess | k32, key32), 0u);
    EXPECT_EQ(key32.fullPath(), std::string("HKEY_LOCAL_MACHINE\\") + row.stored32) << row.path;
    ASSERT_EQ(key32.setValue("view", kRegSz, "32", 3), 0u);
    std::string seen64 = textOf(RegRoot::LocalMachine, row.path, k64, "view");
    EXPECT_EQ(seen64 == "32", std::string(row.path) == row.stored32) << row.path << ": " << seen64;
  }
  // Through HKEY_CLASSES_ROOT too: CLSID entries are per view.
  EXPECT_EQ(textOf(RegRoot::ClassesRoot, "CLSID\\{2}", k64, "view"), "<no key>");

  // A 32-bit machine has one view.
  TestMachine narrow([](auto& config, auto&) { config.is64Bit = false; });
  RegKey key;
  ASSERT_EQ(RegKey::create(RegRoot::LocalMachine, "SOFTWARE\\Acme", kKeyAllAccess, key), 0u);
  EXPECT_EQ(key.fullPath(), "HKEY_LOCAL_MACHINE\\SOFTWARE\\Acme");
}

}  // namespace
