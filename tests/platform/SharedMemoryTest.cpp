// Named shared memory: one object per name and machine, reached from other processes, owned by
// its creator.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "platform/PlatformSharedMemory.h"
#include "platform/WinError.h"
#include "platform/posix/KernelObjectName.h"
#include "platform/posix/MachineConfig.h"
#include "support/ForkedChild.h"
#include "support/TestMachine.h"

namespace {

using cvdt::test::TestMachine;

constexpr uint32_t kSize = 3 * 4096;

TEST(SharedMemoryTest, OneNameIsOneMemoryForEveryProcess) {
  TestMachine machine;
  plat::SharedMemory created;
  ASSERT_TRUE(created.create("Global\\Global\\cvdt_test_mem", kSize));
  EXPECT_FALSE(created.alreadyExisted());
  auto* bytes = static_cast<unsigned char*>(created.map());
  ASSERT_NE(bytes, nullptr);
  EXPECT_EQ(created.map(), bytes);  // one view per handle
  EXPECT_TRUE(std::all_of(bytes, bytes + kSize, [](unsigned char b) { return b == 0; }));
  std::memcpy(bytes, "parent", 7);
  auto* word = reinterpret_cast<uint32_t*>(bytes + 4096);
  EXPECT_EQ(plat::interlockedCompareExchange(word, 5, 1), 0u);  // no match: unchanged
  EXPECT_EQ(plat::interlockedCompareExchange(word, 5, 0), 0u);

  int child = cvdt::test::exitCodeInChild([] {
    plat::SharedMemory opened;
    // The doubled global prefix names the same object, as it does on Windows.
    if (!opened.open("Global\\cvdt_test_mem") || opened.size() != kSize) return 1;
    auto* view = static_cast<char*>(opened.map());
    if (view == nullptr || std::strcmp(view, "parent") != 0) return 2;
    std::memcpy(view + kSize - 6, "child", 6);
    return plat::interlockedExchange(reinterpret_cast<uint32_t*>(view + 4096), 9) == 5 ? 0 : 3;
  });
  EXPECT_EQ(child, 0);
  EXPECT_STREQ(reinterpret_cast<char*>(bytes) + kSize - 6, "child");
  EXPECT_EQ(plat::interlockedRead(word), 9u);

  plat::SharedMemory again;
  ASSERT_TRUE(again.create("Global\\cvdt_test_mem", 64));
  EXPECT_TRUE(again.alreadyExisted());
  EXPECT_EQ(plat::lastError(), plat::kErrorAlreadyExists);
  EXPECT_EQ(again.size(), kSize);  // the existing object keeps its size
  again.close();

  plat::SharedMemory missing;
  EXPECT_FALSE(missing.open("Global\\cvdt_no_such_mem"));
  EXPECT_EQ(plat::lastError(), plat::kErrorFileNotFound);
  EXPECT_EQ(missing.map(), nullptr);
}

TEST(SharedMemoryTest, TheCreatorsCloseRemovesTheNameButNotOtherViews) {
  TestMachine machine;
  plat::SharedMemory owner, user;
  ASSERT_TRUE(owner.create("Global\\cvdt_owned_mem", 4096));
  ASSERT_TRUE(user.open("Global\\cvdt_owned_mem"));
  auto* view = static_cast<char*>(user.map());
  ASSERT_NE(view, nullptr);
  std::memcpy(static_cast<char*>(owner.map()), "still here", 11);
  owner.close();

  plat::SharedMemory late;
  EXPECT_FALSE(late.open("Global\\cvdt_owned_mem"));
  EXPECT_STREQ(view, "still here");
  ASSERT_TRUE(late.create("Global\\cvdt_owned_mem", 4096));
  EXPECT_FALSE(late.alreadyExisted());
  EXPECT_EQ(static_cast<char*>(late.map())[0], '\0');  // a new object, not the old one
}

TEST(SharedMemoryTest, NamesArePerMachine) {
  TestMachine first;
  std::string firstRoot = first.root();
  plat::SharedMemory memory;
  ASSERT_TRUE(memory.create("Global\\cvdt_machine_mem", 4096));
  std::string firstName = plat::posix::kernelObjectName('m', "Global\\cvdt_machine_mem");

  TestMachine second;  // CVDT_MACHINE now names the second machine
  plat::SharedMemory other;
  EXPECT_FALSE(other.open("Global\\cvdt_machine_mem"));
  EXPECT_NE(plat::posix::kernelObjectName('m', "Global\\cvdt_machine_mem"), firstName);

  setenv("CVDT_MACHINE", firstRoot.c_str(), 1);
  EXPECT_TRUE(other.open("Global\\cvdt_machine_mem"));
  setenv("CVDT_MACHINE", second.root().c_str(), 1);
}

TEST(SharedMemoryTest, WindowsNamesBecomeDistinctPosixNames) {
  TestMachine machine;
  auto name = [](char kind, const char* windowsName) {
    std::string posix = plat::posix::kernelObjectName(kind, windowsName);
    size_t tail = posix.find('.', 6);  // after "/cvdt.<machine hash>"
    return tail == std::string::npos ? posix : posix.substr(tail);
  };
  EXPECT_EQ(name('m', "Global\\Global\\CVReportDataImplCommand_IPC_mem"),
            ".m.G.CVReportDataImplCommand_IPC_mem");
  EXPECT_EQ(name('e', "Global\\x"), ".e.G.x");
  EXPECT_EQ(name('e', "Local\\x"), ".e.L.x");
  EXPECT_EQ(name('e', "x"), ".e.L.x");
  EXPECT_EQ(name('e', "a b/c\\d%"), ".e.L.a%20b%2Fc%5Cd%25");
  EXPECT_EQ(name('e', "Global\\"), "");
  EXPECT_EQ(name('e', std::string(300, 'n').c_str()), "");

  plat::SharedMemory tooLong;
  EXPECT_FALSE(tooLong.create(std::string(300, 'n'), 4096));
  EXPECT_EQ(plat::lastError(), plat::kErrorInvalidName);
}

}  // namespace
