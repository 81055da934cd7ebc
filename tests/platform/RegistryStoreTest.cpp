// The SQLite registry store: keys, values of every type, views, deletion, enumeration, several
// processes at once and a database that another process holds.
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>

#include "platform/PlatformRegistry.h"
#include "platform/WinError.h"
#include "support/ForkedChild.h"
#include "support/TestMachine.h"

namespace {

using cvdt::test::TestMachine;
using namespace plat;

std::vector<uint8_t> bytesOf(const std::string& text) { return {text.begin(), text.end()}; }

TEST(RegistryStoreTest, KeysAndValuesIgnoreCaseAndKeepEveryType) {
  TestMachine machine;
  RegKey key;
  EXPECT_EQ(RegKey::open(RegRoot::LocalMachine, "SOFTWARE\\Acme\\Tool", kKeyRead, key),
            kErrorFileNotFound);
  bool created = false;
  ASSERT_EQ(RegKey::create(RegRoot::LocalMachine, "SOFTWARE\\Acme\\Tool", kKeyAllAccess, key,
                           &created), kErrorSuccess);
  EXPECT_TRUE(created);

  struct Row {
    uint32_t type;
    std::vector<uint8_t> data;
  } rows[] = {
      {kRegSz, bytesOf(std::string("text\0", 5))},
      {kRegExpandSz, bytesOf(std::string("%TEMP%\\x\0", 9))},
      {kRegBinary, {0x00, 0xFF, 0x10}},
      {kRegDword, {0xFF, 0xFF, 0xFF, 0xFF}},
      {kRegMultiSz, bytesOf(std::string("a\0b\0\0", 5))},
      {kRegQword, {1, 2, 3, 4, 5, 6, 7, 8}},
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
  EXPECT_EQ(again.queryValue("VALUE2", type, data), kErrorSuccess);
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
  EXPECT_EQ(again.enumValue(8, name), kErrorNoMoreItems);
  EXPECT_EQ(again.setValue("x", kRegSz, "a", 1), kErrorAccessDenied);
  EXPECT_EQ(key.deleteValue("VALUE1"), kErrorSuccess);
  EXPECT_EQ(key.deleteValue("Value1"), kErrorFileNotFound);
}

TEST(RegistryStoreTest, ThirtyTwoBitViewOfSoftwareIsWow6432Node) {
  TestMachine machine;
  RegKey plain, wide, node;
  ASSERT_EQ(RegKey::create(RegRoot::LocalMachine, "SOFTWARE\\Views", kKeyAllAccess, plain), 0u);
  ASSERT_EQ(RegKey::create(RegRoot::LocalMachine, "SOFTWARE\\Views",
                           kKeyAllAccess | kKeyWow64_64Key, wide), 0u);
  EXPECT_EQ(plain.fullPath(), "HKEY_LOCAL_MACHINE\\SOFTWARE\\WOW6432Node\\Views");
  EXPECT_EQ(wide.fullPath(), "HKEY_LOCAL_MACHINE\\SOFTWARE\\Views");
  ASSERT_EQ(plain.setValue("v", kRegSz, "32", 2), 0u);
  uint32_t type;
  std::vector<uint8_t> data;
  EXPECT_EQ(wide.queryValue("v", type, data), kErrorFileNotFound);
  ASSERT_EQ(RegKey::open(RegRoot::LocalMachine, "SOFTWARE\\WOW6432Node\\Views",
                         kKeyRead | kKeyWow64_64Key, node), 0u);
  EXPECT_EQ(node.queryValue("v", type, data), 0u);
  // Keys outside SOFTWARE are shared by both views.
  RegKey system32, system64;
  ASSERT_EQ(RegKey::create(RegRoot::LocalMachine, "SYSTEM\\X", kKeyAllAccess, system32), 0u);
  ASSERT_EQ(RegKey::open(RegRoot::LocalMachine, "SYSTEM\\X", kKeyRead | kKeyWow64_64Key,
                         system64), 0u);
}

TEST(RegistryStoreTest, DeleteTreeRemovesTheKeyAndBelowOnly) {
  TestMachine machine;
  RegKey key;
  for (const char* path : {"SOFTWARE\\T\\A", "SOFTWARE\\T\\A\\B", "SOFTWARE\\T\\A_B",
                           "SOFTWARE\\T\\AB"}) {
    ASSERT_EQ(RegKey::create(RegRoot::LocalMachine, path, kKeyAllAccess, key), 0u);
    ASSERT_EQ(key.setValue("v", kRegSz, "1", 1), 0u);
  }
  ASSERT_EQ(RegKey::deleteTree(RegRoot::LocalMachine, "software\\t\\a", kKeyAllAccess), 0u);
  EXPECT_NE(RegKey::open(RegRoot::LocalMachine, "SOFTWARE\\T\\A\\B", kKeyRead, key), 0u);
  // "A_B" and "AB" are siblings, not children: LIKE wildcards in names are escaped.
  EXPECT_EQ(RegKey::open(RegRoot::LocalMachine, "SOFTWARE\\T\\A_B", kKeyRead, key), 0u);
  EXPECT_EQ(RegKey::open(RegRoot::LocalMachine, "SOFTWARE\\T\\AB", kKeyRead, key), 0u);
  RegKey parent;
  ASSERT_EQ(RegKey::open(RegRoot::LocalMachine, "SOFTWARE\\T", kKeyRead, parent), 0u);
  std::string name;
  ASSERT_EQ(parent.enumSubKey(0, name), 0u);
  EXPECT_EQ(name, "A_B");
  EXPECT_EQ(parent.enumSubKey(2, name), kErrorNoMoreItems);
  EXPECT_EQ(RegKey::deleteTree(RegRoot::LocalMachine, "", kKeyAllAccess), kErrorAccessDenied);
  // A handle to a deleted key fails cleanly.
  RegKey doomed;
  ASSERT_EQ(RegKey::create(RegRoot::LocalMachine, "SOFTWARE\\Gone", kKeyAllAccess, doomed), 0u);
  ASSERT_EQ(RegKey::deleteTree(RegRoot::LocalMachine, "SOFTWARE\\Gone", kKeyAllAccess), 0u);
  EXPECT_EQ(doomed.setValue("v", kRegSz, "1", 1), kErrorKeyDeleted);
}

TEST(RegistryStoreTest, SeveralProcessesWriteAtOnce) {
  TestMachine machine;
  constexpr int kProcesses = 4;
  constexpr int kValues = 50;
  std::vector<cvdt::test::ForkedChild> children;
  for (int p = 0; p < kProcesses; ++p) {
    children.emplace_back([p] {
      RegKey key;
      bool ok = RegKey::create(RegRoot::LocalMachine, "SOFTWARE\\Shared", kKeyAllAccess, key) == 0;
      for (int i = 0; ok && i < kValues; ++i) {
        std::string name = "p" + std::to_string(p) + "v" + std::to_string(i);
        ok = key.setValue(name, kRegDword, &i, 4) == 0;
      }
      return ok ? 0 : 1;
    });
    ASSERT_TRUE(children.back().started());
  }
  for (cvdt::test::ForkedChild& child : children) EXPECT_EQ(child.wait(), 0);
  RegKey key;
  ASSERT_EQ(RegKey::open(RegRoot::LocalMachine, "SOFTWARE\\Shared", kKeyRead, key), 0u);
  std::string name;
  EXPECT_EQ(key.enumValue(kProcesses * kValues - 1, name), 0u);
  EXPECT_EQ(key.enumValue(kProcesses * kValues, name), kErrorNoMoreItems);
}

TEST(RegistryStoreTest, HeldDatabaseFailsAfterTheBusyTimeout) {
  TestMachine machine([](auto& config, auto&) { config.registryBusyTimeoutMs = 300; });
  RegKey key;
  ASSERT_EQ(RegKey::create(RegRoot::LocalMachine, "SOFTWARE\\Held", kKeyAllAccess, key), 0u);
  ASSERT_EQ(key.setValue("v", kRegSz, "1", 1), 0u);

  sqlite3* other = nullptr;
  ASSERT_EQ(sqlite3_open((machine.root() + "/registry.db").c_str(), &other), SQLITE_OK);
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

TEST(RegistryStoreTest, CorruptDatabaseFailsCleanly) {
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

}  // namespace
